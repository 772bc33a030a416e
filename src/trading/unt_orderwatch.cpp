#include "trading/unt_orderwatch.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <utility>

#include "base/ini_file.h"
#include "base/text.h"

namespace trading {
namespace {

constexpr char kSection[] = "委托结果";

std::vector<std::string> SplitWords(std::string_view list) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t bar = std::min(list.find('|', start), list.size());
    const std::string_view word = base::Trim(list.substr(start, bar - start));
    if (!word.empty()) words.emplace_back(word);
    start = bar + 1;
  }
  return words;
}

std::string JoinWords(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : "|") + w;
  return out;
}

bool HasAny(const std::string& text, const std::vector<std::string>& words) {
  return std::any_of(words.begin(), words.end(), [&](const std::string& w) { return text.find(w) != std::string::npos; });
}

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Join(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) {
    if (!t.empty()) out += (out.empty() ? "" : " / ") + t;
  }
  return out;
}

// Where the order number after a key stands: [begin, end), or begin == end.
std::pair<size_t, size_t> NumberSpan(const std::string& text) {
  static const char* const keys[] = {"合同编号", "委托编号", "委托序号", "申请编号", "合同号", "委托号", "订单号"};
  for (const char* key : keys) {
    const std::string k = key;
    for (size_t at = text.find(k); at != std::string::npos; at = text.find(k, at + 1)) {
      size_t i = at + k.size();
      for (;;) {
        if (i < text.size() && (text[i] == ' ' || text[i] == ':' || text[i] == '[')) {
          ++i;
        } else if (text.compare(i, 3, "：") == 0 || text.compare(i, 3, "为") == 0 || text.compare(i, 3, "是") == 0 ||
                   text.compare(i, 3, "【") == 0) {
          i += 3;
        } else {
          break;
        }
      }
      size_t end = i;
      while (end < text.size() && IsAsciiAlnum(text[end])) ++end;
      if (end > i) return {i, end};
    }
  }
  return {0, 0};
}

// A number standing on its own in a box: "600000", "10.100", "1000".
struct Token {
  std::string text;
  bool decimal = false;
};

std::vector<Token> Numbers(const std::string& text, std::pair<size_t, size_t> skip) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < text.size()) {
    if (!IsDigit(text[i]) || (i > 0 && (IsAsciiAlnum(text[i - 1]) || text[i - 1] == '.'))) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && IsDigit(text[end])) ++end;
    Token t;
    if (end + 1 < text.size() && text[end] == '.' && IsDigit(text[end + 1])) {
      t.decimal = true;
      for (++end; end < text.size() && IsDigit(text[end]);) ++end;
    }
    const bool alone = end >= text.size() || !IsAsciiAlnum(text[end]);
    if (alone && !(i >= skip.first && i < skip.second)) {
      t.text = text.substr(i, end - i);
      tokens.push_back(t);
    }
    i = end;
  }
  return tokens;
}

bool SameNumber(const std::string& a, const std::string& b) {
  char* endA = nullptr;
  char* endB = nullptr;
  const double x = std::strtod(a.c_str(), &endA), y = std::strtod(b.c_str(), &endB);
  return endA != a.c_str() && endB != b.c_str() && std::fabs(x - y) < 1e-6;
}

bool AllZeros(const std::string& number) { return number.find_first_not_of('0') == std::string::npos; }

}  // namespace

OutcomeWords OutcomeWords::Defaults() {
  OutcomeWords w;
  w.accepted = {"已成功提交", "委托已提交", "提交成功", "委托成功", "已报", "合同编号", "委托编号"};
  w.refused = {"失败", "不足", "错误", "超出", "拒绝", "无效", "不允许", "不能", "禁止", "非法", "必须"};
  w.notices = {"已成交", "全部成交", "部分成交", "成交回报", "撤单", "已撤"};
  return w;
}

OutcomeWords OutcomeWords::Load(const std::string& iniPath) {
  OutcomeWords w = Defaults();
  const base::IniFile ini(iniPath);
  w.accepted = SplitWords(ini.ReadString(kSection, "成功", JoinWords(w.accepted)));
  w.refused = SplitWords(ini.ReadString(kSection, "失败", JoinWords(w.refused)));
  w.notices = SplitWords(ini.ReadString(kSection, "通知", JoinWords(w.notices)));
  w.watchMs = static_cast<uint32_t>(std::clamp(ini.ReadInteger(kSection, "观察毫秒", 3000), 0, 60000));
  return w;
}

std::string OrderNumberIn(const std::string& text) {
  const auto [begin, end] = NumberSpan(text);
  return text.substr(begin, end - begin);
}

Classification ClassifyBox(const std::string& text, const OutcomeWords& words) {
  Classification c;
  if (HasAny(text, words.notices)) return c;
  const std::string number = OrderNumberIn(text);
  if (!number.empty() && !AllZeros(number)) {
    c.result = policy::OrderResult::Accepted;
    c.orderNumber = number;
  } else if (HasAny(text, words.refused)) {
    c.result = policy::OrderResult::Refused;
  } else if (HasAny(text, words.accepted)) {
    c.result = policy::OrderResult::Accepted;
  } else {
    return c;
  }
  c.text = text;
  return c;
}

Classification ClassifyBoxes(const std::vector<std::string>& boxes, const OutcomeWords& words) {
  std::vector<Classification> answers;
  for (const std::string& box : boxes) {
    Classification c = ClassifyBox(box, words);
    if (c.result != policy::OrderResult::Unknown) answers.push_back(std::move(c));
  }
  Classification out;
  if (answers.empty()) {
    out.text = Join(boxes);
    return out;
  }
  std::vector<std::string> texts, numbers;
  bool accepted = false, refused = false;
  for (const Classification& a : answers) {
    texts.push_back(a.text);
    accepted |= a.result == policy::OrderResult::Accepted;
    refused |= a.result == policy::OrderResult::Refused;
    if (!a.orderNumber.empty() && std::find(numbers.begin(), numbers.end(), a.orderNumber) == numbers.end()) {
      numbers.push_back(a.orderNumber);
    }
  }
  // Two different answers to one order: one of them was another order's.
  if ((accepted && refused) || numbers.size() > 1) {
    out.text = Join(texts);
    return out;
  }
  out.result = refused ? policy::OrderResult::Refused : policy::OrderResult::Accepted;
  out.orderNumber = numbers.empty() ? std::string() : numbers.front();
  const auto decided = std::find_if(answers.begin(), answers.end(), [&](const Classification& a) {
    return out.orderNumber.empty() || a.orderNumber == out.orderNumber;
  });
  out.text = decided->text;
  return out;
}

int NamesOrder(const std::string& text, const policy::TOrderOutcome& order) {
  int score = 0;
  bool otherCode = false, ownCode = false;
  for (const Token& t : Numbers(text, NumberSpan(text))) {
    if (t.decimal) {
      if (!order.price.empty() && SameNumber(t.text, order.price)) ++score;
      continue;
    }
    if (!order.quantity.empty() && t.text == order.quantity) {
      ++score;
    } else if (t.text.size() == 6) {
      (t.text == order.code ? ownCode : otherCode) = true;
    }
  }
  if (ownCode) ++score;
  else if (otherCode) return -1;
  const bool buy = text.find("买入") != std::string::npos, sell = text.find("卖出") != std::string::npos;
  if (buy != sell) {
    if ((buy ? "买入" : "卖出") != order.side) return -1;
    ++score;
  }
  return score;
}

std::string TOrderWatch::BoxText(IDesktop& desktop, WindowHandle box) {
  std::string text;
  for (const WindowHandle child : desktop.ChildWindows(box)) {
    const std::string kind = desktop.ClassName(child);
    std::string lower = kind;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    // Brokers put long answers into read-only edit and rich-edit fields.
    if (kind != "Static" && kind != "Edit" && !lower.starts_with("richedit")) continue;
    const std::string part(base::Trim(desktop.ControlText(child)));
    if (!part.empty()) text += (text.empty() ? "" : " ") + part;
  }
  // One line, for the logs and orders.csv: each run of line breaks and tabs
  // becomes a blank.
  std::string line;
  for (const char c : text) {
    const bool blank = c == '\r' || c == '\n' || c == '\t';
    if (!blank) line += c;
    else if (!line.empty() && line.back() != ' ') line += ' ';
  }
  return line;
}

void TOrderWatch::Begin(const policy::TOrderOutcome& order, WindowHandle window) {
  // Boxes standing now are answers to earlier orders, or to none.
  Scan();
  Watched w;
  w.outcome = order;
  w.process = window == kNoWindow ? 0 : desktop_.WindowProcessId(window);
  orders_.push_back(std::move(w));
  for (const WindowHandle box : StandingBoxes()) seen_.insert(box);
}

std::vector<WindowHandle> TOrderWatch::StandingBoxes() {
  std::vector<WindowHandle> boxes;
  for (const WindowHandle window : desktop_.TopLevelWindows()) {
    const uint32_t process = desktop_.WindowProcessId(window);
    const bool watched = std::any_of(orders_.begin(), orders_.end(),
                                     [&](const Watched& w) { return w.process != 0 && w.process == process; });
    if (watched && desktop_.ClassName(window) == "#32770" && desktop_.IsWindowVisible(window)) boxes.push_back(window);
  }
  return boxes;
}

void TOrderWatch::Take(const std::string& text, uint32_t process) {
  const Classification c = ClassifyBox(text, words);
  if (c.result == policy::OrderResult::Unknown) {
    // A question or a notice: kept with the running order for its record.
    for (Watched& w : orders_) {
      if (w.endsAt < 0 && w.process == process) w.others.push_back(text);
    }
    return;
  }
  if (!c.orderNumber.empty() &&
      std::find(numbersSeen_.begin(), numbersSeen_.end(), c.orderNumber) != numbersSeen_.end()) {
    return;  // an order that has its answer already
  }
  std::vector<Watched*> named, unnamed;
  int best = 0;
  for (Watched& w : orders_) {
    if (w.process != process) continue;
    const int score = NamesOrder(text, w.outcome);
    if (score == 0) unnamed.push_back(&w);
    if (score <= 0 || score < best) continue;
    if (score > best) named.clear();
    best = score;
    named.push_back(&w);
  }
  std::vector<Watched*> owners = named;
  if (owners.empty()) {
    // Nothing in the box says whose it is: the one order still waiting for
    // an answer, if there is just one; with none waiting it is a second
    // answer, and contradicts whichever order it might belong to.
    std::copy_if(unnamed.begin(), unnamed.end(), std::back_inserter(owners),
                 [](const Watched* w) { return w->answers.empty() && !w->ambiguous; });
    if (owners.empty()) owners = unnamed;
  }
  for (Watched* w : owners) {
    w->answers.push_back(text);
    if (owners.size() > 1) w->ambiguous = true;
  }
  if (owners.size() == 1 && !c.orderNumber.empty()) {
    numbersSeen_.push_back(c.orderNumber);
    if (numbersSeen_.size() > 256) numbersSeen_.pop_front();
  }
}

void TOrderWatch::Scan() {
  if (orders_.empty()) return;
  const std::vector<WindowHandle> standing = StandingBoxes();
  std::set<WindowHandle> read;
  for (const WindowHandle box : standing) {
    if (seen_.count(box)) {
      read.insert(box);
      continue;
    }
    const std::string text = BoxText(desktop_, box);
    // A box whose text is not filled in yet is read again next time.
    if (text.empty()) continue;
    read.insert(box);
    Take(text, desktop_.WindowProcessId(box));
  }
  // A closed box's handle may come back for a new box.
  seen_ = std::move(read);
}

void TOrderWatch::ScriptEnded() {
  Scan();
  for (Watched& w : orders_) {
    if (w.endsAt < 0) w.endsAt = clock_() + words.watchMs;
  }
}

void TOrderWatch::Finish(Watched w, std::optional<policy::OrderResult> forced) {
  Classification c;
  if (w.ambiguous) {
    c.text = "（提示框无法确定属于哪笔委托）" + Join(w.answers);
  } else if (w.answers.empty()) {
    c.text = Join(w.others);
  } else {
    c = ClassifyBoxes(w.answers, words);
  }
  policy::TOrderOutcome outcome = std::move(w.outcome);
  outcome.result = forced.value_or(c.result);
  outcome.orderNumber = outcome.result == policy::OrderResult::Accepted ? c.orderNumber : std::string();
  outcome.brokerText += (outcome.brokerText.empty() || c.text.empty() ? "" : "；") + c.text;
  if (onFinal) onFinal(outcome);
}

void TOrderWatch::Tick() {
  if (orders_.empty()) return;
  Scan();
  const int64_t now = clock_();
  while (!orders_.empty() && orders_.front().endsAt >= 0 && now >= orders_.front().endsAt) {
    Watched w = std::move(orders_.front());
    orders_.pop_front();
    Finish(std::move(w), std::nullopt);
  }
}

void TOrderWatch::FinishAll(policy::OrderResult result) {
  Scan();
  while (!orders_.empty()) {
    Watched w = std::move(orders_.front());
    orders_.pop_front();
    Finish(std::move(w), result);
  }
}

}  // namespace trading
