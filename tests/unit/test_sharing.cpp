// Stock sharing: the posting window worked as a user does (lookup, checks in
// their order, confirmation, the post and the quota line), the quota read
// back from a daily log across days, and the feed received, kept in its file
// and loaded again after a restart.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/datetime.h"
#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "sharing/unt_frmshowstock.h"
#include "sharing/unt_showstockfeed.h"
#include "support/temp_dir.h"

namespace {

using sharing::Tfrmshowstock;

class PostingService : public account::IAccountService {
 public:
  std::vector<sharing::TShowStockRecord> posts;
  std::string where;
  void Init(uintptr_t) override {}
  void FInit() override {}
  std::optional<int32_t> Login(const std::string&, int32_t, const std::string&, const std::string&, void*,
                               std::string&) override {
    return 0;
  }
  void Logout(const std::string&, int32_t, const std::string&) override {}
  bool GetUserInfo(const std::string&, int32_t, const account::TAccountRecord&, account::TUserInfoRecord&) override {
    return true;
  }
  void ShowMyStock(const std::string& server, int32_t port, const account::TSharePostBlock& block) override {
    where = server + ":" + std::to_string(port);
    posts.push_back(base::LoadRecord<sharing::TShowStockRecord>(block.bytes));
  }
  void UpdateOnlineTime(const std::string&) override {}
};

// The window's surroundings: the quote engine answers one security, the
// daily log is a real file written as the program's log writer does.
class PostingHost : public sharing::IFrmshowstockHost {
 public:
  explicit PostingHost(std::string log) : logPath(std::move(log)) {}
  std::string logPath;
  std::vector<bool> answers;
  std::vector<std::string> calls;
  bool AskYesNo(const std::string& text, const std::string& title) override {
    calls.push_back("ask " + title + ": " + text);
    const bool a = !answers.empty() && answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return a;
  }
  void RequestQuote(const std::string& code, quotes::TQuoteReport& out) override {
    if (code != "600000") return;
    base::WriteFixedUtf8(out.code, code);
    base::WriteFixedUtf8(out.name, "浦发银行");
    out.quoteTime = 1772416800;
    out.prevClose = 10.0f;
  }
  void StartLivePrice(const std::string& code) override { calls.push_back("live " + code); }
  void StopLivePrice() override { calls.push_back("live stop"); }
  void WriteDailyLog(const std::string& text) override {
    base::AppendLine(logPath, base::Utf8ToGbkLossy("2026-03-02 10:00:00[trader01]" + text));
  }
  void StartCalculator() override {}
};

class Posting : public ::testing::Test {
 protected:
  Posting() {
    session.accountServer = "127.0.0.9";
    session.accountPort = 8085;
    session.userId = "trader01";
    base::WriteFixedUtf8(session.userInfo.userId, "trader01");
    base::WriteFixedUtf8(session.userInfo.userName, "王五");
  }
  std::string LogOf(base::TDateTime day) const { return dir.File(base::FormatDateTime("yyyy-mm-dd", day) + ".log"); }
  // Opens the window and fills it for 600000 at the given entry price.
  void Fill(Tfrmshowstock& w, const std::string& price) {
    w.Open();
    w.FormShow();
    w.codeText = "60000";
    w.RzEditLabelKeyUp();
    EXPECT_FALSE(w.postEnabled) << "five characters do not look anything up";
    w.codeText = "600000";
    w.RzEditLabelKeyUp();
    w.buyPriceText = price;
    w.setPriceText = "12";
    w.backPriceText = "5";
    w.backYuan = false;
    w.lossLimitText = "9.5";
    w.downText = "0.3";
  }

  testing_support::TempDir dir;
  account::TSessionValues session;
  base::TDateTime today = base::EncodeDateTime(2026, 3, 2, 10, 0, 0);
  PostingService service;
  PostingHost host{""};
};

TEST_F(Posting, ChecksInOrderThenPostsAndCountsTheDailyQuota) {
  host.logPath = LogOf(today);
  // Another user whose name begins the same has posted today: not ours.
  base::AppendLine(host.logPath, base::Utf8ToGbkLossy("x[trader0][晒股]-2026-03-02-trader0-600001"));
  Tfrmshowstock w(host, service, session, [this](base::TDateTime d) { return LogOf(d); }, [this] { return today; });

  Fill(w, "8.99");
  EXPECT_EQ(w.caption, "晒股(剩余可晒次数：3)");
  EXPECT_EQ(w.nameText, "浦发银行");
  EXPECT_TRUE(w.postEnabled);
  EXPECT_EQ(host.calls.back(), "live 600000");
  w.ButtonSGClick();
  EXPECT_EQ(w.status, sharing::kPriceRangeText);
  EXPECT_EQ(w.focus, Tfrmshowstock::Focus::BuyPrice);
  w.buyPriceText = "11.01";
  w.ButtonSGClick();
  EXPECT_EQ(w.status, sharing::kPriceRangeText);
  w.buyPriceText = "11.00";
  w.remarkText = "  ";
  w.ButtonSGClick();
  EXPECT_EQ(w.status, sharing::kRemarkMissingText);
  w.remarkText = "看好";
  host.answers = {false};
  w.ButtonSGClick();
  EXPECT_EQ(host.calls.back(), "ask 提示: 您确定要晒出该信息？");
  EXPECT_TRUE(service.posts.empty()) << "No: nothing is posted";
  EXPECT_FALSE(w.closeRequested);

  host.answers = {true};
  w.ButtonSGClick();
  ASSERT_EQ(service.posts.size(), 1u);
  EXPECT_TRUE(w.closeRequested);
  EXPECT_EQ(service.where, "127.0.0.9:8085");
  const sharing::TShowStockRecord& p = service.posts[0];
  EXPECT_EQ(p.postTime, 0);
  EXPECT_EQ(base::ReadFixedUtf8(p.code), "600000");
  EXPECT_EQ(base::ReadFixedUtf8(p.name), "浦发银行");
  EXPECT_EQ(base::ReadFixedUtf8(p.buyPrice), "11.000");
  EXPECT_EQ(base::ReadFixedUtf8(p.setPrice), "12.000");
  EXPECT_EQ(base::ReadFixedUtf8(p.backAmount), "5.000%");
  EXPECT_EQ(base::ReadFixedUtf8(p.lossLimit), "9.500");
  EXPECT_EQ(base::ReadFixedUtf8(p.downAmount), "0.300元");
  EXPECT_EQ(base::ReadFixedUtf8(p.posterId), "trader01");
  EXPECT_EQ(base::ReadFixedUtf8(p.posterName), "王五");
  EXPECT_EQ(base::ReadFixedUtf8(p.remark), "看好");
  EXPECT_EQ(sharing::CountPostsToday(host.logPath, today, "trader01"), 1);

  // Two more: the lower bound is accepted too; then the quota is used up.
  for (int i = 0; i < 2; ++i) {
    Fill(w, "9.00");
    host.answers = {true};
    w.ButtonSGClick();
  }
  EXPECT_EQ(service.posts.size(), 3u);
  w.Open();
  w.FormShow();
  EXPECT_FALSE(w.postEnabled) << "a reset code posts nothing";
  Fill(w, "10");
  EXPECT_EQ(w.caption, "晒股(已无可晒次数！)");
  EXPECT_EQ(w.remarkText, sharing::kDefaultRemark);
  w.ButtonSGClick();
  EXPECT_EQ(w.status, sharing::kQuotaUsedText);
  EXPECT_EQ(service.posts.size(), 3u);

  // The next day has its own log and its own three posts.
  today += 1;
  Fill(w, "10");
  EXPECT_EQ(w.caption, "晒股(剩余可晒次数：3)");
  host.logPath = LogOf(today);
  host.answers = {true};
  w.ButtonSGClick();
  EXPECT_EQ(service.posts.size(), 4u);
}

TEST_F(Posting, OnlyNumbersOfALookedUpCodeAreBroadcast) {
  host.logPath = LogOf(today);
  Tfrmshowstock w(host, service, session, [this](base::TDateTime d) { return LogOf(d); }, [this] { return today; });
  host.answers = {true, true, true, true, true};
  // A code the engine does not know has no close to hold an entry of 0 to.
  w.Open();
  w.FormShow();
  w.codeText = "999999";
  w.RzEditLabelKeyUp();
  EXPECT_FALSE(w.postEnabled);
  w.buyPriceText = "0";
  w.ButtonSGClick();

  // Exit fields that hold text that is no number, or a negative number, are
  // refused in turn (an empty one is a level not given).
  Fill(w, "10");
  const struct {
    std::string Tfrmshowstock::*field;
    const char* text;
    const char* status;
    Tfrmshowstock::Focus focus;
  } steps[] = {
      {&Tfrmshowstock::setPriceText, "abc", "移动止盈设定价格不是有效的数字！", Tfrmshowstock::Focus::SetPrice},
      {&Tfrmshowstock::setPriceText, "12", nullptr, {}},
      {&Tfrmshowstock::backPriceText, "1.2.3", "回落数量不是有效的数字！", Tfrmshowstock::Focus::BackPrice},
      {&Tfrmshowstock::backPriceText, "5", nullptr, {}},
      {&Tfrmshowstock::lossLimitText, "-9.5", "条件止损设定价位不能小于0！", Tfrmshowstock::Focus::LossLimit},
      {&Tfrmshowstock::lossLimitText, "9.5", nullptr, {}},
      {&Tfrmshowstock::downText, "1e999", "下跌数量不是有效的数字！", Tfrmshowstock::Focus::Down},
  };
  for (const auto& step : steps) {
    w.*step.field = step.text;
    if (!step.status) continue;
    w.ButtonSGClick();
    EXPECT_EQ(w.status, step.status);
    EXPECT_EQ(w.focus, step.focus);
  }
  // A code pasted over the looked-up one is not posted with its data.
  w.downText = "0.3";
  w.codeText = "600001";
  w.ButtonSGClick();
  EXPECT_EQ(w.status, sharing::kPostCodeText);
  EXPECT_TRUE(service.posts.empty());
  EXPECT_EQ(host.answers.size(), 5u) << "nothing was asked";
}

TEST(ShareRules, TenPercentBoundsAtThreeDecimals) {
  EXPECT_TRUE(sharing::WithinTenPercent(9.0, 10.0f));
  EXPECT_TRUE(sharing::WithinTenPercent(11.0, 10.0f));
  EXPECT_FALSE(sharing::WithinTenPercent(8.999, 10.0f));
  EXPECT_FALSE(sharing::WithinTenPercent(11.001, 10.0f));
  // A close that a float cannot hold exactly keeps its bounds typed exactly.
  EXPECT_TRUE(sharing::WithinTenPercent(9.315, 10.35f));
  EXPECT_TRUE(sharing::WithinTenPercent(11.385, 10.35f));
  EXPECT_FALSE(sharing::WithinTenPercent(0.01, 0.0f));
}

// ---- the feed ----

class FeedHost : public sharing::IShowStockFeedHost {
 public:
  bool soundOn = true;
  std::vector<std::string> calls;
  std::vector<bool> answers;
  bool SoundOn() override { return soundOn; }
  void PlaySound(const std::string& path) override {
    calls.push_back("sound " + std::filesystem::path(path).filename().string());
  }
  void ShowBalloon(const std::string& title, const std::string& text) override {
    calls.push_back("balloon " + title + ": " + text);
  }
  bool AskYesNo(const std::string&, const std::string&) override {
    const bool a = !answers.empty() && answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return a;
  }
  void ShowDetail(const std::array<std::string, sharing::kFeedColumns>& cells) override {
    calls.push_back("detail " + cells[sharing::kColCode] + " " + cells[sharing::kColRemark]);
  }
};

sharing::TShowStockRecord Post(const char* code, const char* poster, int32_t time) {
  sharing::TShowStockRecord p{};
  p.postTime = time;
  base::WriteFixedUtf8(p.code, code);
  base::WriteFixedUtf8(p.name, "名称" + std::string(code));
  base::WriteFixedUtf8(p.buyPrice, "10.000");
  base::WriteFixedUtf8(p.setPrice, "12.000");
  base::WriteFixedUtf8(p.backAmount, "5.000%");
  base::WriteFixedUtf8(p.lossLimit, "9.000");
  base::WriteFixedUtf8(p.downAmount, "0.300元");
  base::WriteFixedUtf8(p.posterId, poster);
  base::WriteFixedUtf8(p.posterName, "王五");
  base::WriteFixedUtf8(p.remark, "备注" + std::string(code));
  return p;
}

TEST(ShareFeed, ReceivedPostsShowNewestFirstAndKeepTheirOrderAcrossARestart) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.path() / "data");
  std::filesystem::create_directories(dir.path() / "res");
  std::ofstream(dir.File("res/Money_Take.wav")) << "RIFF";
  const std::string folder = base::PathToUtf8(dir.path()) + "/";
  FeedHost host;
  {
    sharing::TShowStockFeed feed(folder, host);
    feed.LoadFeed();
    EXPECT_EQ(feed.RowCount(), 0u) << "no file: an empty feed";
    // 2026-03-02 01:30:05 UTC is 09:30:05 on the market's clock.
    feed.ReceiveSharePost(Post("600000", "trader01", 1772415005));
    feed.ReceiveSharePost(Post("000001", "1000000", 1772415065));
    feed.ReceiveSharePost(Post("600036", "trader02", 1772415125));
    ASSERT_EQ(feed.RowCount(), 3u);
    EXPECT_EQ(feed.Cell(0, sharing::kColCode), "600036");
    EXPECT_EQ(feed.Cell(2, sharing::kColTime), "03-02 09:30:05");
    EXPECT_EQ(feed.Cell(2, sharing::kColBuyPrice), "10.000元");
    EXPECT_EQ(feed.Cell(2, sharing::kColBackAmount), "5.000%");
    EXPECT_EQ(feed.Cell(2, sharing::kColLossLimit), "9.000元");
    EXPECT_TRUE(feed.Maroon(1)) << "a cell reading 1000000";
    EXPECT_FALSE(feed.Maroon(0));
    EXPECT_EQ(feed.Hint(2), "提示：600000 名称600000  备注：备注600000");
    feed.ShowDetail(2);
    EXPECT_EQ(host.calls.back(), "detail 600000 备注600000");
  }
  EXPECT_EQ(host.calls[0], "sound Money_Take.wav");
  EXPECT_EQ(host.calls[1], "balloon 晒股动态: 用户王五(trader01)晒出了一只股票:600000(名称600000),详情请查看晒股动态栏.");
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "data" / sharing::kFeedFile), 3 * 534u);

  // A restart: the same order, without sound or balloon; then a damaged
  // tail (half a post) is shown as nothing and set aside before the next
  // post, which lands aligned.
  host.calls.clear();
  base::AppendToFile(dir.File("data/showstock.tmp"), std::string(100, 'x'));
  sharing::TShowStockFeed again(folder, host);
  again.LoadFeed();
  ASSERT_EQ(again.RowCount(), 3u);
  EXPECT_EQ(again.Cell(0, sharing::kColCode), "600036");
  EXPECT_EQ(again.Cell(2, sharing::kColCode), "600000");
  EXPECT_TRUE(host.calls.empty());
  again.ReceiveSharePost(Post("601398", "trader03", 1772415185));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "data" / sharing::kFeedFile), 4 * 534u);
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "data" / sharing::kFeedRestFile), 100u);
  sharing::TShowStockFeed third(folder, host);
  third.LoadFeed();
  EXPECT_EQ(third.Cell(0, sharing::kColCode), "601398");

  // Clearing asks first; No keeps everything, Yes removes rows and file.
  host.answers = {false, true};
  third.ClearFeed();
  EXPECT_EQ(third.RowCount(), 4u);
  third.ClearFeed();
  EXPECT_EQ(third.RowCount(), 0u);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "data" / sharing::kFeedFile));
}

// Every user receives every user's posts: a file of 20,000 posts loads in
// linear time (it took minutes when each post was put on top of a vector)
// and is cut to the newest kFeedKeptPosts, the damaged tail kept behind them.
TEST(ShareFeed, ALongFileLoadsQuicklyAndKeepsOnlyTheNewestPosts) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.path() / "data");
  const std::string folder = base::PathToUtf8(dir.path()) + "/";
  constexpr size_t kPosts = 20000;
  std::string bytes;
  for (size_t i = 0; i < kPosts; ++i) {
    const auto post = Post(std::to_string(600000 + i).c_str(), "trader01", 1772415005 + static_cast<int32_t>(i));
    bytes.append(reinterpret_cast<const char*>(&post), sizeof post);
  }
  bytes += "tail";
  ASSERT_TRUE(base::AtomicReplace(dir.File("data/showstock.tmp"), bytes));
  FeedHost host;
  sharing::TShowStockFeed feed(folder, host);
  const auto start = std::chrono::steady_clock::now();
  feed.LoadFeed();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(feed.RowCount(), sharing::kFeedKeptPosts);
  EXPECT_EQ(feed.Cell(0, sharing::kColCode), std::to_string(600000 + kPosts - 1));
  EXPECT_EQ(feed.Cell(sharing::kFeedKeptPosts - 1, sharing::kColCode),
            std::to_string(600000 + kPosts - sharing::kFeedKeptPosts));
  const size_t kept = sharing::kFeedKeptPosts * sharing::kShowStockRecordSize;
  EXPECT_EQ(*base::ReadFileBytes(dir.File("data/showstock.tmp")), bytes.substr(bytes.size() - kept - 4));

  // A post received in the session keeps the feed at its bound too.
  feed.ReceiveSharePost(Post("601398", "trader03", 1772415185));
  EXPECT_EQ(feed.RowCount(), sharing::kFeedKeptPosts);
  EXPECT_EQ(feed.Cell(0, sharing::kColCode), "601398");
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "data" / sharing::kFeedFile), kept + 534u);
}

TEST(ShareFeed, UntrustedPostsAreReadWithinTheirFieldsAndAnUnwritableFileIsToldOnce) {
  testing_support::TempDir dir;  // no data folder: the file cannot be written
  FeedHost host;
  host.soundOn = false;
  sharing::TShowStockFeed feed(base::PathToUtf8(dir.path()) + "/", host);
  unsigned char bytes[534];
  std::memset(bytes, 0xB0, sizeof bytes);  // no NUL anywhere, half characters at every end
  feed.ReceiveSharePost(sharing::ShowStockFromBytes(bytes));
  feed.ReceiveSharePost(Post("600000", "trader01", 0));
  ASSERT_EQ(feed.RowCount(), 2u);
  EXPECT_LE(feed.Cell(1, sharing::kColCode).size(), 3 * 10u);
  EXPECT_LE(feed.Cell(1, sharing::kColRemark).size(), 3 * 128u);
  int told = 0;
  for (const std::string& c : host.calls) told += c.find("未能保存") != std::string::npos;
  EXPECT_EQ(told, 1);
  EXPECT_EQ(host.calls.size(), 3u) << "two post balloons and one failure, no sound while it is off";
}

}  // namespace
