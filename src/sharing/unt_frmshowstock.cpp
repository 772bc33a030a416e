#include "sharing/unt_frmshowstock.h"

#include <cmath>
#include <cstring>
#include <optional>

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/text.h"

namespace sharing {

std::string QuotaLogEntry(base::TDateTime today, std::string_view userId, std::string_view code) {
  return "[晒股]-" + base::FormatDateTime("yyyy-mm-dd", today) + "-" + std::string(userId) + "-" + std::string(code);
}

int CountPostsToday(const std::string& dailyLogPath, base::TDateTime today, std::string_view userId) {
  const auto bytes = base::ReadFileBytes(dailyLogPath);
  if (!bytes || userId.empty()) return 0;
  // The entry ends the user with "-" before the code, so that one user's
  // posts never count for another whose name begins the same.
  const std::string needle = base::Utf8ToGbkLossy(QuotaLogEntry(today, userId, ""));
  int count = 0;
  std::string_view rest(*bytes);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    if (line.find(needle) != std::string_view::npos) ++count;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return count;
}

std::string QuotaCaption(int postsToday) {
  if (postsToday >= kDailyPostQuota) return "晒股(已无可晒次数！)";
  return "晒股(剩余可晒次数：" + std::to_string(kDailyPostQuota - postsToday) + ")";
}

bool WithinTenPercent(double price, double previousClose) {
  // C - 0.1C <= price <= C + 0.1C; the float close and the typed price
  // meet at three decimals, so a bound typed exactly is inside.
  constexpr double kSlack = 0.0000005;
  const double low = previousClose - 0.1 * previousClose;
  const double high = previousClose + 0.1 * previousClose;
  return price >= low - kSlack && price <= high + kSlack;
}

namespace {

// A finite number in the trimmed text; nullopt otherwise.
std::optional<double> NumberOf(const std::string& text) {
  const auto v = base::ParseDecimal(base::Trim(text));
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

// "%.3f" of the field, cut to what the record's field holds.
template <size_t N>
void WritePrice(char (&field)[N], const std::string& text, const char* unit = "") {
  base::WriteFixedUtf8(field, base::FormatPrice(NumberOf(text).value_or(0.0)) + unit);
}

}  // namespace

Tfrmshowstock::Tfrmshowstock(IFrmshowstockHost& host, account::IAccountService& service,
                             const account::TSessionValues& session,
                             std::function<std::string(base::TDateTime)> dailyLogPath,
                             std::function<base::TDateTime()> clock)
    : host_(host),
      service_(service),
      session_(session),
      dailyLogPath_(std::move(dailyLogPath)),
      clock_(std::move(clock)) {}

int Tfrmshowstock::PostsToday() const {
  const base::TDateTime now = clock_();
  return CountPostsToday(dailyLogPath_(now), now, session_.userId);
}

void Tfrmshowstock::Open() {
  fieldsEditable = true;
  resetEnabled = true;
  unitsEnabled = true;
  closeRequested = false;
}

void Tfrmshowstock::FormShow() {
  caption = QuotaCaption(PostsToday());
  ButtonCZClick();
}

void Tfrmshowstock::ButtonCZClick() {
  status.clear();
  codeText.clear();
  nameText.clear();
  buyPriceText.clear();
  setPriceText.clear();
  backPriceText.clear();
  lossLimitText.clear();
  downText.clear();
  backYuan = downYuan = true;
  remarkText = kDefaultRemark;
  focus = Focus::Code;
  selectFocused = false;
  // The cleared code names no security: nothing can be posted until a new
  // one is looked up, and the old live price goes.
  postEnabled = false;
  quote_ = {};
  host_.StopLivePrice();
}

void Tfrmshowstock::RzEditLabelKeyUp() {
  const std::string code(base::Trim(codeText));
  // Six characters of the trimmed text; a GBK character would count its bytes.
  if (base::Utf8ToUtf16(code).size() != static_cast<size_t>(kCodeLength)) {
    postEnabled = false;
    host_.StopLivePrice();
    return;
  }
  codeEnabled = false;
  quote_ = {};
  host_.RequestQuote(code, quote_);
  nameText = base::ReadFixedUtf8(quote_.name);
  focus = Focus::BuyPrice;
  selectFocused = true;
  host_.StartLivePrice(code);
  codeEnabled = true;
  // Only a security the engine knows can be posted: an unknown code has no
  // previous close to hold the entry price to.
  postEnabled = quotes::FoundQuote(quote_, code);
}

void Tfrmshowstock::Fail(const std::string& text, Focus at, bool select) {
  status = text;
  focus = at;
  selectFocused = select;
}

TShowStockRecord Tfrmshowstock::BuildPost() const {
  TShowStockRecord post{};
  base::WriteFixedUtf8(post.code, base::Trim(codeText));
  base::WriteFixedUtf8(post.name, nameText);
  WritePrice(post.buyPrice, buyPriceText);
  WritePrice(post.setPrice, setPriceText);
  WritePrice(post.backAmount, backPriceText, backYuan ? "元" : "%");
  WritePrice(post.lossLimit, lossLimitText);
  WritePrice(post.downAmount, downText, downYuan ? "元" : "%");
  // The poster as the user information names them; the login's identifier
  // when the service gave no information.
  const std::string id = base::ReadFixedText(session_.userInfo.userId);
  if (id.empty()) {
    base::WriteFixedUtf8(post.posterId, session_.userId);
  } else {
    base::WriteFixedText(post.posterId, id);
  }
  base::WriteFixedText(post.posterName, base::ReadFixedText(session_.userInfo.userName));
  base::WriteFixedUtf8(post.remark, remarkText);
  return post;
}

bool Tfrmshowstock::ExitFieldsValid() {
  const struct {
    const std::string& text;
    const char* name;
    Focus focus;
  } fields[] = {{setPriceText, "移动止盈设定价格", Focus::SetPrice},
                {backPriceText, "回落数量", Focus::BackPrice},
                {lossLimitText, "条件止损设定价位", Focus::LossLimit},
                {downText, "下跌数量", Focus::Down}};
  for (const auto& f : fields) {
    // An empty field is a level the poster does not give: 0, as a numeric
    // edit without text holds.
    if (base::Trim(f.text).empty()) continue;
    const std::optional<double> value = NumberOf(f.text);
    const char* fault = !value ? "不是有效的数字！" : *value < 0 ? "不能小于0！" : nullptr;
    if (fault) {
      Fail(f.name + std::string(fault), f.focus, true);
      return false;
    }
  }
  return true;
}

void Tfrmshowstock::ButtonSGClick() {
  if (!postEnabled) return;
  status.clear();
  // The code box may have been changed since its lookup (pasted text).
  if (!quotes::FoundQuote(quote_, base::Trim(codeText))) return Fail(kPostCodeText, Focus::Code, true);
  if (PostsToday() >= kDailyPostQuota) return Fail(kQuotaUsedText, focus, false);
  const std::optional<double> price = NumberOf(buyPriceText);
  if (!price || !(*price > 0) || !WithinTenPercent(*price, quote_.prevClose)) return Fail(kPriceRangeText, Focus::BuyPrice, true);
  if (!ExitFieldsValid()) return;
  if (base::Trim(remarkText).empty()) return Fail(kRemarkMissingText, Focus::Remark, false);
  if (!host_.AskYesNo(kPostQuestion, "提示")) return;

  const TShowStockRecord post = BuildPost();
  account::TSharePostBlock block{};
  std::memcpy(block.bytes, &post, sizeof post);
  try {
    service_.ShowMyStock(session_.accountServer, session_.accountPort, block);
  } catch (...) {
    // The service reports nothing back; the quota line is written all the same.
  }
  host_.WriteDailyLog(QuotaLogEntry(clock_(), session_.userId, base::Trim(codeText)));
  Close();
}

void Tfrmshowstock::bsSkinButton2Click() { Close(); }

void Tfrmshowstock::Close() {
  closeRequested = true;
  FormClose();
}

void Tfrmshowstock::FormClose() { host_.StopLivePrice(); }

}  // namespace sharing
