// The main window's model, worked as a user and the rest of the program
// would: start-up and shut-down sequences, the enabling by login, the list
// commands, the fine-tune field, the hover tip and the balloons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>
#include <cmath>
#include <ctime>
#include <fstream>
#include <mutex>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "app/unt_frmmain.h"
#include "app/unt_orderoutcomes.h"
#include "app/unt_frmprogress.h"
#include "app/unt_storesaver.h"
#include "base/files.h"
#include "base/gbk.h"
#include "base/ini_file.h"
#include "base/worker.h"
#include "policy/unt_policy_describe.h"
#include "quotes/login_session.h"
#include "quotes/quote_tape.h"
#include "quotes/unt_frmdebug.h"
#include "quotes/unt_frmstocktip.h"
#include "support/frmmain_fake_host.h"
#include "support/policy_fixtures.h"
#include "support/temp_dir.h"
#include "support/unreadable_file.h"
#include "support/trading_fake_desktop.h"

namespace {

using app::Cmd;
using testing_support::TempDir;

using testing_support::FakeHost;

// An application folder as shipped, with a store of three monitors.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"data", "log", "res", "settings"}) std::filesystem::create_directories(dir.path() / d);
    folder = base::PathToUtf8(dir.path()) + "/";
    std::ofstream(dir.File("setup.ini")).flush();
    base::IniFile setup(dir.File("setup.ini"));
    setup.WriteBool("参数配置", "关闭启动提示", false);
    setup.WriteInteger("扩展参数配置", "Tarvolen软件透明度", 200);
    policy::TPolicyList seed;
    auto a = testing_support::Monitor(0, policy::kKindPrice, "600000", 10.0f);
    auto b = testing_support::Monitor(1, policy::kKindTime, "000001", 8.5f);
    b.priceBasis = policy::kBasisTradePrice;
    auto c = testing_support::Monitor(2, policy::kKindPayoff, "600036", 30.0f);
    for (auto* m : {&a, &b, &c}) {
      policy::UpdateDescription(*m);
      seed.Add(*m);
    }
    ASSERT_TRUE(seed.SaveStore(policy::PolicyStorePath(folder)).ok);
    std::ofstream(dir.File("data/cached.jpg")) << "x";
    std::ofstream(dir.File("data/face.BMP")) << "x";
    std::ofstream(dir.File("data/keep.txt")) << "x";
  }

  std::unique_ptr<app::Tfrmmain> Create() {
    auto w = std::make_unique<app::Tfrmmain>(folder, host, desktop, [this] { return now; }, [this] { return now; });
    w->FormCreate();
    return w;
  }
  // A running stop-loss on 600000 that fires below 10.000, as the last row
  // after the store's three.
  static void StartWithAStopLoss(app::Tfrmmain& w) {
    auto stop = testing_support::Monitor(7, policy::kKindLossLimit, "600000", 10.0f, 0.5f);
    policy::UpdateDescription(stop);
    w.Monitors().Add(stop);
    w.StartAllMonitoring();
  }

  TempDir dir;
  std::string folder;
  FakeHost host;
  testing_support::FakeDesktop desktop;
  base::TDateTime now = base::EncodeDateTime(2026, 12, 9, 10, 30, 0);
};

// setup.ini held by another program is not replaced by a file holding only
// the notice's key: the user hears that the choice was not kept, and the
// start goes on.
TEST_F(MainWindowTest, AnUnreadableSetupIsKeptAndTheUserIsTold) {
  auto w = Create();
  const std::string setup = dir.File("setup.ini");
  const std::string before = *base::ReadFileBytes(setup);
  testing_support::UnreadableFile held(setup);
  if (!held.Made()) GTEST_SKIP() << "no way to make a file unreadable here";
  host.noticeShowAgain = false;
  w->FormShow();
  EXPECT_TRUE(host.Has("balloon Tarvolen-Merrowick: “关闭启动提示”未能保存：Unable to write to " + folder + "setup.ini"));
  EXPECT_EQ(w->RowCount(), 3u);
  held.Release();
  EXPECT_EQ(*base::ReadFileBytes(setup), before);
  EXPECT_FALSE(base::IniFile(setup).ReadBool("参数配置", "关闭启动提示", true));
}

TEST_F(MainWindowTest, StartsUpShowsTheStoreLogsInAndShutsDownInOrder) {
  std::ofstream(dir.File("patch.exe")) << "MZ";
  host.deleteFails = true;  // the patch still holds its file at first
  auto w = Create();

  // Creation: patch run and gone, caption, screen saver, cache emptied,
  // settings applied, libraries bound, everything loaded stopped.
  EXPECT_EQ(host.calls[0], "start " + folder + "patch.exe");
  EXPECT_TRUE(host.Has("sleep 2000"));
  EXPECT_FALSE(base::FileExists(folder + "patch.exe"));
  EXPECT_TRUE(host.Has("caption Tarvolen系列-Merrowickv1.7.6"));
  EXPECT_TRUE(host.Has("screensaver off"));
  EXPECT_FALSE(base::FileExists(folder + "data/cached.jpg"));
  EXPECT_FALSE(base::FileExists(folder + "data/face.BMP"));
  EXPECT_TRUE(base::FileExists(folder + "data/keep.txt"));
  EXPECT_TRUE(host.Has("alpha 200"));
  EXPECT_LT(std::find(host.calls.begin(), host.calls.end(), "bind"),
            std::find(host.calls.begin(), host.calls.end(), "account init"));
  EXPECT_TRUE(host.Has("share feed"));
  EXPECT_EQ(w->Monitors().Count(), 3u);
  EXPECT_FALSE(w->Monitors().AnyRunning());
  EXPECT_FALSE(w->MarqueeVisible());
  EXPECT_FALSE(w->ListEnabled());
  EXPECT_EQ(w->Pane(app::Tfrmmain::kPane2), "未登录");
  EXPECT_TRUE(w->AntiLockTimerEnabled());
  EXPECT_EQ(w->AntiLockIntervalMs(), 300000u);

  // Showing: the notice (the user clears "show again"), the list, the
  // notice page, the quiet version check that leads to the login.
  host.noticeShowAgain = false;
  w->FormShow();
  EXPECT_TRUE(host.Has("notice 使用提示！: 为确保下单成功，请确认以下条件是否具备："));
  EXPECT_TRUE(base::IniFile(folder + "setup.ini").ReadBool("参数配置", "关闭启动提示", false));
  ASSERT_EQ(w->RowCount(), 3u);
  EXPECT_EQ(w->Cell(0, 0), "0");
  EXPECT_EQ(w->Cell(0, 2), "600000");
  EXPECT_EQ(w->Cell(0, 3), "浦发银行");
  EXPECT_EQ(w->Cell(0, 4), "10.000");
  EXPECT_EQ(w->Cell(1, 4), "即时成交价");
  EXPECT_EQ(w->StateIconOfRow(0), app::kStateIconStop);
  EXPECT_EQ(w->RowIconOf(2), app::RowIcon(policy::kKindPayoff, false));
  EXPECT_TRUE(host.Has("navigate https://www.quorvel.com/notice"));
  EXPECT_TRUE(host.Has("version check quiet"));
  EXPECT_FALSE(host.Has("login"));
  w->VersionCheckDone(app::JudgeVersionReply(std::nullopt, app::kProgramVersion), true);
  EXPECT_EQ(host.Count("login"), 1u);  // a failed check still logs in, silently
  EXPECT_EQ(host.Count("info"), 0u);

  // A second run does not show the notice any more.
  host.calls.clear();
  auto again = std::make_unique<app::Tfrmmain>(folder, host, desktop, [this] { return now; }, [this] { return now; });
  again->FormCreate();
  again->FormShow();
  EXPECT_EQ(host.Count("notice"), 0u);

  // Closing: No keeps the window, Yes sets the closing flag; destruction
  // saves the store (with a change made since) and releases everything.
  host.calls.clear();
  EXPECT_FALSE(w->FormCloseQuery());
  EXPECT_FALSE(w->Flags().closing);
  host.answers = {true};
  EXPECT_TRUE(w->FormCloseQuery());
  EXPECT_TRUE(w->Flags().closing);
  w->Monitors().RemoveAll();
  w->FormDestroy();
  EXPECT_EQ(host.calls[2], "screensaver on");
  for (const char* c : {"disconnect", "account finit", "engine quit", "unbind"}) EXPECT_TRUE(host.Has(c)) << c;
  EXPECT_EQ(base::ReadFileBytes(policy::PolicyStorePath(folder))->size(), 0u);
}

TEST_F(MainWindowTest, VersionCheckOutcomes) {
  auto w = Create();
  app::VersionCheckResult newer;
  newer.outcome = app::VersionCheckResult::Newer;
  newer.newest = {"1.8.0", "更快", "/s.msi", std::string(64, 'a'), 15, app::kUpdateProduct};
  host.answers = {false};  // later
  w->VersionCheckDone(newer, true);
  EXPECT_TRUE(host.Has("login"));
  host.calls.clear();
  host.answers = {true};  // now: the upgrade, and no login
  w->VersionCheckDone(newer, true);
  EXPECT_TRUE(host.Has("upgrade 1.8.0"));
  EXPECT_FALSE(host.Has("login"));
  // A download that failed or was cancelled leaves the program as it was:
  // the start-up check goes on to the login as after "later".
  host.calls.clear();
  host.answers = {true};
  host.upgradeCloses = false;
  w->VersionCheckDone(newer, true);
  EXPECT_TRUE(host.Has("upgrade 1.8.0"));
  EXPECT_TRUE(host.Has("login"));
  // Monitors started meanwhile: no upgrade.
  host.calls.clear();
  host.answers = {true};
  w->Monitors().StartOrStopAll(true);
  w->VersionCheckDone(newer, false);
  EXPECT_TRUE(host.Has(std::string("info Tarvolen-Merrowick: ") + app::kUpdateWhileMonitoring));
  EXPECT_FALSE(host.Has("upgrade 1.8.0"));
  w->Monitors().StartOrStopAll(false);

  // The menu's check never logs in and says what it found.
  host.calls.clear();
  app::VersionCheckResult same;
  same.outcome = app::VersionCheckResult::NoNewer;
  w->VersionCheckDone(same, false);
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 当前已是最新版本。"));
  EXPECT_FALSE(host.Has("login"));
  // A reply the vendor did not sign is refused, in so many words from the
  // menu, silently at start-up (which logs in as after no newer version);
  // the log says why either way.
  const auto unsigned_ = app::JudgeVersionReply(std::string("version=1.8.0\n"), app::kProgramVersion);
  ASSERT_EQ(unsigned_.outcome, app::VersionCheckResult::Refused);
  w->VersionCheckDone(unsigned_, false);
  EXPECT_TRUE(host.Has(std::string("info Tarvolen-Merrowick: ") + app::kUpdateRefused));
  EXPECT_FALSE(host.Has("upgrade 1.8.0"));
  host.calls.clear();
  w->VersionCheckDone(unsigned_, true);
  EXPECT_EQ(host.Count("info"), 0u);
  EXPECT_EQ(host.Count("login"), 1u);
  const auto logged = base::ReadFileBytes(folder + "log/" + app::kUpdateLogFile);
  ASSERT_TRUE(logged);
  EXPECT_NE(base::GbkToUtf8Lossy(*logged).find("检测最新版本：版本信息格式不对（缺少“product”），已拒绝"),
            std::string::npos);
}

TEST_F(MainWindowTest, LoginStateDecidesWhatTheUserCanDo) {
  auto w = Create();
  w->FormShow();
  // Logged out: login items disabled, the others and the logout rule.
  for (Cmd c : {Cmd::AccountInfo, Cmd::StartAll, Cmd::TradeLog, Cmd::Sound, Cmd::Settings, Cmd::TbStart,
                Cmd::TbRefresh, Cmd::TbShowStock})
    EXPECT_FALSE(w->Enabled(c)) << static_cast<int>(c);
  for (Cmd c : {Cmd::Login, Cmd::Exit, Cmd::AddLimitDown, Cmd::AddIndex, Cmd::CheckVersion, Cmd::UpdateHistory,
                Cmd::Help, Cmd::About})
    EXPECT_TRUE(w->Enabled(c)) << static_cast<int>(c);
  EXPECT_FALSE(w->Enabled(Cmd::Logout));
  EXPECT_FALSE(w->ShareTabVisible());

  // Start all is refused, stop all works, the pop-up start checks the login.
  w->StartAllMonitoring();
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 用户没有登录，请先登录！"));
  EXPECT_FALSE(w->Monitors().AnyRunning());
  w->PopupCommand(Cmd::PopStart, 0);
  EXPECT_EQ(host.Count("info Tarvolen-Merrowick: 用户没有登录"), 2u);
  w->StopAllMonitoring();
  // The disabled list shows no tip, no pop-up, opens no editor.
  w->RzListViewMouseMove(0, true, 10, 10);
  w->RzListViewDblClick(0);
  EXPECT_FALSE(w->RzListViewContextPopup());
  EXPECT_EQ(host.Count("tip"), 0u);
  EXPECT_EQ(host.Count("editor"), 0u);

  // Logged in: everything on, start all runs and the update is refused.
  w->SetLoggedIn(true, "u1");
  w->EnableLoggedInFeatures(true);
  EXPECT_TRUE(w->Enabled(Cmd::Logout));
  EXPECT_TRUE(w->Enabled(Cmd::TbStart));
  EXPECT_TRUE(w->ShareTabVisible());
  EXPECT_EQ(w->ActivePage(), 0);
  w->Command(Cmd::TbStart);
  EXPECT_TRUE(w->Monitors().AnyRunning());
  EXPECT_EQ(w->StateIconOfRow(0), app::kStateIconStart);
  w->Command(Cmd::CheckVersion);
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 正在监控，不能更新！请停止所有监控后再操作。"));
  EXPECT_FALSE(host.Has("version check"));
  EXPECT_EQ(w->Monitors().Labels().size(), 3u);

  // Pop-up: stop one, delete one, delete all; each ends with a saved rebuild.
  w->PopupCommand(Cmd::PopStop, 0);
  EXPECT_EQ(w->StateIconOfRow(0), app::kStateIconStop);
  w->PopupCommand(Cmd::PopDelete, 1);
  ASSERT_EQ(w->RowCount(), 2u);
  EXPECT_EQ(w->Cell(1, 0), "2");
  EXPECT_EQ(policy::ParsePolicyStore(*base::ReadFileBytes(policy::PolicyStorePath(folder))).size(), 2u);
  w->PopupCommand(Cmd::PopDeleteAll, -1);
  EXPECT_EQ(w->RowCount(), 0u);
  EXPECT_FALSE(w->RzListViewContextPopup());
  EXPECT_TRUE(w->Monitors().Labels().empty());

  // Options write their files; the menu commands open what they name.
  w->Command(Cmd::Sound);
  settings::TOptionsRecord opt;
  ASSERT_TRUE(settings::ReadOptions(folder + "option.opt", opt));
  EXPECT_EQ(opt.soundOn, 1);
  w->Command(Cmd::QuoteTip);
  EXPECT_TRUE(base::IniFile(folder + "setup.ini").ReadBool("扩展参数配置", "是否显示行情提示框", false));
  w->Command(Cmd::AntiLock);
  EXPECT_FALSE(w->AntiLockTimerEnabled());
  w->Command(Cmd::AddIndex);
  w->Command(Cmd::UpdateHistory);
  EXPECT_TRUE(host.Has("editor 7 add"));
  EXPECT_TRUE(host.Has("browse https://www.quorvel.com/updatehistory/updatehistory.htm"));
  // "委托" without a trading window: the launcher, then the settings.
  w->Command(Cmd::Entrust);
  EXPECT_TRUE(host.Has("launch"));
  EXPECT_TRUE(host.Has("dialog " + std::to_string(static_cast<int>(app::Dialog::Settings))));
}

// "帮助[&H]": the shipped guide, the vendor's page when the guide is gone,
// and always the user's own address when setup.ini names one.
TEST_F(MainWindowTest, HelpOpensTheShippedGuideUnlessTheUserNamedAnAddress) {
  std::filesystem::create_directories(dir.path() / "help");
  std::ofstream(dir.File("help/guide.html")) << "<html></html>";
  auto w = Create();
  w->Command(Cmd::Help);
  const std::string opened = host.calls.back();
  ASSERT_TRUE(opened.starts_with("browse "));
  EXPECT_TRUE(std::filesystem::equivalent(base::PathFromUtf8(opened.substr(7)), dir.path() / "help" / "guide.html"))
      << opened;
  std::filesystem::remove(dir.path() / "help" / "guide.html");
  w->Command(Cmd::Help);
  EXPECT_EQ(host.calls.back(), std::string("browse ") + settings::kVendorHelpPage);
  std::ofstream(dir.File("help/guide.html")) << "<html></html>";
  base::IniFile(dir.File("setup.ini")).WriteString("参数配置", "帮助URL", "http://help.example/");
  auto again = Create();
  again->Command(Cmd::Help);
  EXPECT_EQ(host.calls.back(), "browse http://help.example/");
}

TEST_F(MainWindowTest, FineTuneHoverDoubleClickAndActivity) {
  auto w = Create();
  w->FormShow();
  w->SetLoggedIn(true, "u1");
  w->EnableLoggedInFeatures(true);
  const std::string stored = *base::ReadFileBytes(policy::PolicyStorePath(folder));

  // A click on the set price of row 0 lays the field over the cell where
  // the list shows it (here the column was dragged to the front and the
  // list scrolled), not where the table puts it.
  w->RzListViewClick({0, 4, {-12, 40, 74, 22}});
  const app::FineTuneField& f = w->FineTune();
  ASSERT_TRUE(f.visible);
  EXPECT_EQ(f.left, -12);
  EXPECT_EQ(f.width, 74);
  EXPECT_EQ(f.height, 18);
  EXPECT_EQ(f.top, 40 + 2);
  EXPECT_EQ(f.text, "10.000");
  EXPECT_EQ(w->SelectedSecurity(), "600000");
  w->TakeChanges();
  w->RzSpinEditPriceExit("10.010");
  EXPECT_FALSE(w->FineTune().visible);
  EXPECT_EQ(w->Cell(0, 4), "10.010");
  EXPECT_NE(w->Cell(0, 6).find("10.010"), std::string::npos) << w->Cell(0, 6);
  EXPECT_TRUE(w->TakeChanges() & app::kChangeRows);
  EXPECT_EQ(w->TakeChangedRows(), std::vector<int>{0});
  policy::TPolicyRecord m;
  w->Monitors().Copy(0, m);
  EXPECT_FLOAT_EQ(m.setPrice, 10.01f);
  EXPECT_EQ(*base::ReadFileBytes(policy::PolicyStorePath(folder)), stored);  // not yet
  w->RebuildMonitorList();
  EXPECT_NE(*base::ReadFileBytes(policy::PolicyStorePath(folder)), stored);

  // "即时成交价" never opens the field; a text that is no number changes nothing.
  w->RzListViewClick({1, 4, {0, 60, 70, 22}});
  EXPECT_FALSE(w->FineTune().visible);
  EXPECT_EQ(w->SelectedSecurity(), "000001");
  w->RzListViewClick({0, 4, {0, 40, 70, 22}});
  w->RzSpinEditPriceExit("abc");
  EXPECT_EQ(w->Cell(0, 4), "10.010");

  // Hover: off by default; switched on, the next row shows the tip at once.
  w->RzListViewMouseMove(0, true, 100, 200);
  EXPECT_EQ(host.Count("tip"), 0u);
  EXPECT_EQ(w->HoveredId(), 0);
  w->Command(Cmd::QuoteTip);
  w->RzListViewMouseMove(0, true, 100, 200);
  EXPECT_EQ(host.Count("tip"), 0u);  // the same row
  w->RzListViewMouseMove(2, true, 120, 230);
  EXPECT_TRUE(host.Has("tip 2 at 120,230"));
  w->RzListViewMouseMove(2, false, 120, 230);
  EXPECT_TRUE(host.Has("hide tip"));
  EXPECT_EQ(w->HoveredId(), -1);
  // Leaving the list and coming back to the same row shows the tip again.
  w->RzListViewMouseMove(2, true, 120, 230);
  const size_t tips = host.Count("tip 2");
  w->RzListViewMouseLeave();
  w->RzListViewMouseMove(2, true, 121, 231);
  EXPECT_EQ(host.Count("tip 2"), tips + 1);

  // Double click opens the kind's editor with a copy; kind 3 and a vanished
  // monitor open nothing.
  w->RzListViewDblClick(2);
  EXPECT_TRUE(host.Has("editor 1 modify 2"));
  w->Monitors().Remove(2);
  w->RzListViewDblClick(2);
  EXPECT_EQ(host.Count("editor"), 1u);

  // Activity: 25 packets show 5 of 10 parts.
  for (int i = 0; i < 25; ++i) w->TickActivityBar();
  EXPECT_EQ(w->ActivityParts(), 5);

  // A monitor balloon; a hidden window animates the tray icon, a click stops it.
  host.visible = false;
  w->ShowMonitorBalloon("价位监控触发", w->RowRecord(0));
  EXPECT_EQ(host.calls[host.calls.size() - 2].substr(0, 40),
            std::string("balloon 价位监控触发: 浦发银行(600000)\r\n").substr(0, 40));
  EXPECT_EQ(host.calls.back(), "animate");
  w->TrayIconClick();
  EXPECT_TRUE(host.Has("still"));
  EXPECT_TRUE(host.Has("restore"));

  // The level label.
  w->ShowUserLevel(3, 5400, 3);
  EXPECT_EQ(w->LevelCaption(), "3级 1.50 h");
  // A click on it refreshes it while logged in, and does nothing logged out.
  w->LevelLabelClick();
  EXPECT_EQ(host.Count("refresh user info"), 1u);
  EXPECT_EQ(host.Count("dialog"), 0u);
  w->SetLoggedIn(false, "u1");
  w->LevelLabelClick();
  EXPECT_EQ(host.Count("refresh user info"), 1u);

  // A rebuild that leaves the list empty forgets the selected security.
  w->Monitors().RemoveAll();
  w->RebuildMonitorList();
  EXPECT_EQ(w->SelectedSecurity(), "");
}

// The notice page comes over plain HTTP: whatever arrives (a captive
// portal, a cut connection) must give a text, quickly, in the page's charset.
TEST(VendorSite, NoticeTextOfAnyPage) {
  EXPECT_EQ(app::HtmlToText("<p>今日</p><style>x"), "今日");
  EXPECT_EQ(app::HtmlToText("abc<script>var x=1;"), "abc");
  EXPECT_EQ(app::HtmlToText("a<SCRIPT>x</script>b<p>c&amp"), "ab\r\nc&amp");
  EXPECT_EQ(app::HtmlToText("x<"), "x");
  const std::string gbkPage = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=GB2312\">"
                              "</head><body>" + *base::Utf8ToGbk("今日休市") + "</body></html>";
  EXPECT_EQ(app::HtmlToText(gbkPage), "今日休市");
  EXPECT_EQ(app::HtmlToText(*base::Utf8ToGbk("<p>公告：停牌</p>")), "公告：停牌");  // undeclared, not UTF-8

  // Linear time: 4 MB of ampersands took minutes when each one looked for
  // its semicolon through the rest of the page.
  const std::string ampersands(4 << 20, '&');
  // Processor time, so that a loaded machine does not count.
  const std::clock_t start = std::clock();
  const std::string text = app::HtmlToText(ampersands);
  EXPECT_LT(std::clock() - start, 2 * CLOCKS_PER_SEC);
  EXPECT_EQ(text, ampersands);
}

// Whatever escapes a worker body is reported; the process goes on.
TEST(WorkerThreads, AnExceptionEndsOnlyItsWork) {
  std::vector<std::string> reports;
  base::SetWorkerFaultReport([&](const std::string& what) { reports.push_back(what); });
  base::StartWorker([] { (void)std::string("abc").substr(5); }).join();
  base::StartWorker([] { throw 42; }).join();
  base::SetWorkerFaultReport(nullptr);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(reports[0].find("substr"), std::string::npos) << reports[0];
  EXPECT_EQ(reports[1], "unknown exception");
}

// Workers nobody waits for, started one after another as the clock pane's
// clicks and the notifier's posts start them: every one runs its work (a
// detached thread of MinGW's library sometimes failed to under Wine), and
// each is joined once it has ended.
TEST(WorkerThreads, EveryUnwaitedWorkerRunsAndIsJoinedOnceEnded) {
  std::mutex mutex;
  std::condition_variable ran;
  int count = 0;
  constexpr int kStarts = 2000;
  for (int i = 0; i < kStarts; ++i) {
    base::StartUnwaitedWorker([&] {
      std::lock_guard lock(mutex);
      ++count;
      ran.notify_all();
    });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(ran.wait_for(lock, std::chrono::seconds(20), [&] { return count == i + 1; })) << "start " << i;
  }

  // A thread left running by an owner that stopped waiting is joined (and
  // its flag let go) once the flag says it has ended, not before.
  auto state = std::make_shared<std::pair<std::mutex, bool>>();
  std::promise<void> release;
  base::LeaveRunning(std::thread([state, wait = release.get_future()]() mutable {
                       wait.wait();
                       std::lock_guard lock(state->first);
                       state->second = true;
                     }),
                     [state] {
                       std::lock_guard lock(state->first);
                       return state->second;
                     });
  base::JoinEndedWorkers();
  EXPECT_EQ(state.use_count(), 3) << "held by the thread and by the reaper's flag";
  release.set_value();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (state.use_count() > 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    base::JoinEndedWorkers();
  }
  EXPECT_EQ(state.use_count(), 1);
}

TEST(VendorSite, HtmlTextAndVersions) {
  EXPECT_EQ(app::HtmlToText("<html><head><title>公告</title><style>p{}</style></head>"
                            "<body><p>今日  休市</p><script>x()</script><div>A&amp;B&nbsp;C</div></body></html>"),
            "公告\r\n今日 休市\r\nA&B C");
  EXPECT_EQ(app::CompareVersions(*app::ParseVersion("v1.7.6"), *app::ParseVersion("1.7.6.0")), 0);
  EXPECT_EQ(app::CompareVersions(*app::ParseVersion("1.10"), *app::ParseVersion("1.9.9")), 1);
  EXPECT_FALSE(app::ParseVersion("1..2"));
  EXPECT_FALSE(app::ParseVersion("1.2a"));
  EXPECT_FALSE(app::ParseVersion("99999999999"));
}

}  // namespace

namespace {

TEST(ProgressWindow, ACompleteBarStartsAgainFromEmpty) {
  app::Tfrmprogress p;
  p.SetText("正在登录...");
  for (int i = 0; i < 10; ++i) p.Advance();
  EXPECT_EQ(p.Position(), 10);
  p.Advance(3);
  EXPECT_EQ(p.Position(), 3);
  p.Advance(20);
  EXPECT_EQ(p.Position(), 10);
  p.Shown();
  EXPECT_EQ(p.Position(), 0);
  p.SetTotalParts(4);
  p.Advance(5);
  EXPECT_EQ(p.Position(), 4);
}

}  // namespace

namespace {

// Saves that pile up are merged and write the newest state, a failure is
// told once until a save succeeds, and no save asked for is lost at the end.
TEST(StoreSaver, NewestBytesWinAndFailuresAreToldOnce) {
  testing_support::TempDir dir;
  const std::string path = dir.File("policy.tmp");
  std::vector<std::string> told;
  std::mutex toldMutex;
  {
    std::mutex stateMutex;
    std::string state;
    auto set = [&](std::string s) {
      std::lock_guard lock(stateMutex);
      state = std::move(s);
    };
    app::TStoreSaver saver(
        path,
        [&] {
          std::lock_guard lock(stateMutex);
          return state;
        },
        [&](const std::string& title, const std::string& text) {
          std::lock_guard lock(toldMutex);
          told.push_back(title + text);
        },
        nullptr);
    for (int i = 0; i < 200; ++i) {
      set(std::string(1000, static_cast<char>('a' + i % 26)) + std::to_string(i));
      saver.Save();
    }
    saver.Flush();
    EXPECT_EQ(*base::ReadFileBytes(path), std::string(1000, static_cast<char>('a' + 199 % 26)) + "199");
    EXPECT_LE(saver.Writes(), 200);
    EXPECT_GE(saver.Writes(), 1);

    // A folder that is gone: told once, not at every rebuild.
    const std::string lost = dir.File("gone/policy.tmp");
    app::TStoreSaver failing(
        lost, [] { return std::string("x"); },
        [&](const std::string& title, const std::string& text) {
          std::lock_guard lock(toldMutex);
          told.push_back(title + text);
        },
        nullptr);
    for (int i = 0; i < 3; ++i) {
      failing.Save();
      failing.Flush();
    }
    EXPECT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("监控策略无法保存到"), std::string::npos);
    set("last");
    saver.Save();
  }
  EXPECT_EQ(*base::ReadFileBytes(path), "last");  // written before the saver ended
}

}  // namespace

// ---- the quote feed in the main window ----------------------------------------------

namespace {

// A quote packet as the engine lays it out: the header block, then the
// reports one after another.
struct Packet {
  explicit Packet(const std::vector<quotes::TQuoteReport>& list) : reports(list) {
    std::memset(&header, 0, sizeof header);
    header.count = static_cast<int32_t>(reports.size());
    header.firstReport = reports.empty() ? nullptr : reinterpret_cast<const unsigned char*>(reports.data());
  }
  quotes::TQuotePacket header;
  std::vector<quotes::TQuoteReport> reports;
};

// A report of the fake clock's moment (a Wednesday's trading time).
quotes::TQuoteReport Quote(const std::string& code, float open, float price) {
  quotes::TQuoteReport r = testing_support::Report(code, price);
  quotes::LocalTimeToQuoteTime(2026, 12, 9, 10, 30, 0, r.quoteTime);
  r.open = open;
  return r;
}

// The quote windows as the view has them: real models behind the port.
class FakeQuoteWindows : public app::IQuoteDispatchHost, public quotes::IFrmdebugHost {
 public:
  quotes::Tfrmstocktip tip;
  quotes::Tfrmdebug debug{"", *this, nullptr};
  int messagePasses = 0;
  int failNextDebugReport = 0;  // that many reports throw inside the debug window
  std::vector<policy::TTradeRecord> orders;

  void ProcessMessages() override { ++messagePasses; }
  bool DebugWindowVisible() override { return debug.Visible(); }
  void ShowDebugReport(const quotes::TQuoteReport& r) override {
    if (failNextDebugReport > 0) {
      --failNextDebugReport;
      throw std::runtime_error("debug window gone");
    }
    debug.ShowReport(r);
  }
  bool QuoteTipShows(std::string_view code) override { return tip.Visible() && tip.ShowsCode(code); }
  void ShowTipReport(const quotes::TQuoteReport& r) override { tip.ShowReport(r); }

  bool SoundOn() override { return false; }
  void PlaySound(const std::string&, bool) override {}
  void EnableDebugWindow(bool) override {}
  void PlaceOrder(policy::TTradeRecord order) override { orders.push_back(order); }
  void RefreshMainWindow() override {}
};

class RecordingEngine : public quotes::IQuoteEngine {
 public:
  std::vector<std::string> calls;
  bool startResult = true;
  void Init(uintptr_t window) override { calls.push_back("init " + std::to_string(window)); }
  bool Start(const void* session, int32_t token, const std::string& user) override {
    calls.push_back(std::string("start ") + (session == &quotes::LoginSession() ? "session " : "? ") +
                    std::to_string(token) + " " + user);
    return startResult;
  }
  void SetLabels(const quotes::TStockLabel* labels, int32_t highest) override {
    std::string line = "labels " + std::to_string(highest);
    for (int32_t i = 0; labels && i <= highest; ++i) line += std::string(" ") + labels[i].code;
    calls.push_back(line);
  }
  bool GetStockInfo(const std::string&, const std::string&, int32_t, quotes::TQuoteReport&) override { return false; }
  void Quit(uintptr_t window) override { calls.push_back("quit " + std::to_string(window)); }
};

}  // namespace

// The day tape keeps every report of a watched security as it came, and
// nothing of the others.
TEST_F(MainWindowTest, EveryReportOfAWatchedSecurityGoesToTheDayTape) {
  auto w = Create();
  w->FormShow();
  w->SetLoggedIn(true, "u1");
  w->EnableLoggedInFeatures(true);
  // An index monitor that orders 510050, whose quote is asked for at its
  // fire; the recorder writes after the monitor has become a fired one.
  auto index = testing_support::Monitor(8, policy::kKindIndex, "000001", 3000.0f, 20.0f, policy::kUnitPoint,
                                        policy::kDirRise);
  policy::SetTargetCode(index, "510050");
  index.targetFlag = 1;
  policy::UpdateDescription(index);
  w->Monitors().Add(index);
  host.singleQuotes["510050"] = Quote("510050", 2.5f, 2.525f);
  StartWithAStopLoss(*w);
  quotes::TDayTapeRecorder::Options options;
  options.folder = quotes::DayTapesFolder(folder);
  options.watchedCodes = [&] { return w->WatchedCodes(); };
  options.marketClock = [this] { return now; };
  options.interval = std::chrono::hours(1);
  Packet packet({Quote("600000", 10.2f, 10.3f), Quote("300999", 5.0f, 5.0f), Quote("600036", 31.0f, 30.5f)});
  packet.reports[2].bidVolume[1] = 1234500.0f;
  {
    quotes::TDayTapeRecorder recorder(options);
    w->SetDayTapeRecorder(&recorder);
    w->QuoteMessage(quotes::kQuotePacketKind, &packet.header);
    Packet fire({Quote("000001", 3000.0f, 3020.5f)});
    w->QuoteMessage(quotes::kQuotePacketKind, &fire.header);
    w->SetDayTapeRecorder(nullptr);
  }
  const quotes::DayTapeReadResult tape = quotes::ReadDayTapeFile(options.folder + "20261209");
  ASSERT_TRUE(tape.ok) << tape.error;
  EXPECT_FALSE(tape.truncated) << tape.error;
  ASSERT_EQ(tape.lines.size(), 4u);
  EXPECT_EQ(std::memcmp(&tape.lines[0].report, &packet.reports[0], sizeof packet.reports[0]), 0);
  EXPECT_EQ(std::memcmp(&tape.lines[1].report, &packet.reports[2], sizeof packet.reports[2]), 0);
  EXPECT_EQ(tape.lines[1].time, base::EncodeDateTime(2026, 12, 9, 10, 30, 0));
  EXPECT_EQ(quotes::ReportCode(tape.lines[2].report), "000001");
  EXPECT_EQ(quotes::ReportCode(tape.lines[3].report), "510050") << "the target's answer at the fire";
}

TEST_F(MainWindowTest, QuotePacketsReachMonitorsPricesFramesAndQuoteWindows) {
  auto w = Create();
  FakeQuoteWindows windows;
  w->SetQuoteDispatchHost(&windows);
  w->FormShow();
  w->SetLoggedIn(true, "u1");
  w->EnableLoggedInFeatures(true);
  StartWithAStopLoss(*w);
  ASSERT_EQ(w->RowCount(), 4u);
  w->TakeChanges();

  // Yellow: the open and the price differ only beyond the third decimal.
  Packet first({Quote("600000", 10.2001f, 10.2004f), Quote("600036", 31.0f, 30.5f), Quote("000001", 8.0f, 8.25f),
                Quote("300999", 5.0f, 5.0f)});
  w->QuoteMessage(quotes::kQuotePacketKind, &first.header);
  EXPECT_EQ(w->ActivityParts(), 1);
  EXPECT_EQ(windows.messagePasses, 1);
  EXPECT_EQ(w->Cell(0, 5), "10.200");
  EXPECT_EQ(w->RowPriceFrame(0), app::PriceFrame::Yellow);
  EXPECT_EQ(w->Cell(3, 5), "10.200");
  EXPECT_EQ(w->RowPriceFrame(3), app::PriceFrame::Yellow);
  EXPECT_EQ(w->Cell(2, 5), "30.500");
  EXPECT_EQ(w->RowPriceFrame(2), app::PriceFrame::Green);  // falling: open above the price
  EXPECT_EQ(w->Cell(1, 5), "8.250");
  EXPECT_EQ(w->RowPriceFrame(1), app::PriceFrame::Red);
  const uint32_t changes = w->TakeChanges();
  EXPECT_TRUE(changes & app::kChangePrices);
  EXPECT_TRUE(changes & app::kChangeActivity);
  std::vector<int> changed = w->TakeChangedPrices();
  std::sort(changed.begin(), changed.end());
  EXPECT_EQ(changed, (std::vector<int>{0, 1, 2, 3}));  // 300999 has no row
  EXPECT_TRUE(w->TakeChangedPrices().empty());

  // Damaged packets are not walked but still tick the strip and run the
  // message pass; so do other kinds and empty packets.
  Packet empty({});
  w->QuoteMessage(quotes::kQuotePacketKind, &empty.header);
  Packet absurd({Quote("600000", 1.0f, 1.0f)});
  absurd.header.count = 50'000'000;
  w->QuoteMessage(quotes::kQuotePacketKind, &absurd.header);
  absurd.header.count = -3;
  w->QuoteMessage(quotes::kQuotePacketKind, &absurd.header);
  Packet nullFirst({Quote("600000", 1.0f, 1.0f)});
  nullFirst.header.firstReport = nullptr;
  w->QuoteMessage(quotes::kQuotePacketKind, &nullFirst.header);
  w->QuoteMessage(quotes::kQuotePacketKind, nullptr);
  w->QuoteMessage(0x12345678, &nullFirst.header);
  EXPECT_EQ(w->ActivityParts(), 6);
  EXPECT_EQ(windows.messagePasses, 7);
  EXPECT_EQ(w->Cell(0, 5), "10.200");
  EXPECT_TRUE(w->TakeChangedPrices().empty());

  // Eleven packets in all: full at ten, emptied and advanced on the eleventh.
  for (int i = 0; i < 5; ++i) w->QuoteMessage(quotes::kQuotePacketKind, &empty.header);
  EXPECT_EQ(w->ActivityParts(), 1);

  // The debug window follows the selected security; the tip its own code.
  // A failure in one report leaves the others handled.
  w->RzListViewClick({2, 2, {}});
  ASSERT_EQ(w->SelectedSecurity(), "600036");
  windows.debug.Show();
  windows.tip.ShowFor("000001");
  windows.failNextDebugReport = 1;
  Packet second({Quote("600036", 31.0f, 30.6f), Quote("600036", 31.0f, 30.7f), Quote("000001", 8.0f, 8.3f),
                 Quote("600000", 10.0f, 10.1f)});
  w->QuoteMessage(quotes::kQuotePacketKind, &second.header);
  EXPECT_EQ(windows.debug.CountCaption(), "1");  // the first threw before it counted
  EXPECT_EQ(windows.debug.Value(quotes::kFieldNow), "30.700");
  EXPECT_EQ(windows.tip.Value(quotes::kFieldNow), "8.300");
  EXPECT_EQ(w->Cell(2, 5), "30.700");
  EXPECT_EQ(w->Cell(0, 5), "10.100");
  EXPECT_EQ(w->RowPriceFrame(0), app::PriceFrame::Red);

  // Reports without a trade (0, negative, NaN) fire no stop-loss and leave
  // the price cell and its frame as the last trade set them.
  w->TakeChangedPrices();
  Packet noTrade({Quote("600000", 10.0f, 0.0f), Quote("600000", 10.0f, -1.0f), Quote("600000", 10.0f, std::nanf(""))});
  w->QuoteMessage(quotes::kQuotePacketKind, &noTrade.header);
  EXPECT_EQ(w->Cell(0, 5), "10.100");
  EXPECT_EQ(w->RowPriceFrame(0), app::PriceFrame::Red);
  EXPECT_TRUE(w->TakeChangedPrices().empty());
  policy::TPolicyRecord untouched;
  w->Monitors().Copy(7, untouched);
  EXPECT_EQ(untouched.state, policy::kStateRunning);
  EXPECT_FLOAT_EQ(untouched.newestPrice, 10.1f);

  // A quote that fires the stop-loss: while its order is in progress (the
  // broadcast runs inside it) a nested packet still updates the prices but
  // fires nothing.
  host.messages.connected = true;
  bool nestedDone = false;
  host.messages.onSend = [&] {
    if (nestedDone) return;
    nestedDone = true;
    EXPECT_TRUE(w->Flags().orderInProgress);
    Packet nested({Quote("600036", 31.0f, 1.0f), Quote("000001", 8.0f, 8.4f)});
    w->QuoteMessage(quotes::kQuotePacketKind, &nested.header);
  };
  Packet firing({Quote("600000", 10.0f, 9.0f)});
  w->QuoteMessage(quotes::kQuotePacketKind, &firing.header);
  ASSERT_TRUE(nestedDone);
  EXPECT_EQ(host.messages.sent.size(), 1u);  // the one fire; the nested reports fired nothing
  policy::TPolicyRecord fired;
  w->Monitors().Copy(7, fired);
  EXPECT_EQ(fired.state, policy::kStateTriggered);
  policy::TPolicyRecord payoff;
  w->Monitors().Copy(2, payoff);
  EXPECT_EQ(payoff.state, policy::kStateRunning);
  // The fire rebuilt the list; the firing report's price lands in the new rows.
  EXPECT_EQ(w->Cell(0, 5), "9.000");
  EXPECT_EQ(w->Cell(3, 5), "9.000");
  EXPECT_EQ(w->RowPriceFrame(0), app::PriceFrame::Green);
  EXPECT_EQ(windows.debug.CountCaption(), "2");
}

TEST_F(MainWindowTest, ConnectionNoticesShowEveryFourthMessage) {
  auto w = Create();
  for (int i = 0; i < 3; ++i) w->ConnectionMessage(quotes::kQuoteConnectionLost);
  EXPECT_EQ(host.Count("balloon"), 0u);
  w->ConnectionMessage(quotes::kQuoteConnectionLost);
  EXPECT_TRUE(host.Has(std::string("balloon 警告提示！: ") + app::kQuoteLostText));
  EXPECT_EQ(w->ConnectionNoticeCount(), 0);
  // Counted across the kinds: two lost and two restored give the restored notice.
  w->ConnectionMessage(quotes::kQuoteConnectionLost);
  w->ConnectionMessage(quotes::kQuoteConnectionLost);
  w->ConnectionMessage(quotes::kQuoteConnectionRestored);
  EXPECT_EQ(host.Count("balloon"), 1u);
  w->ConnectionMessage(quotes::kQuoteConnectionRestored);
  EXPECT_EQ(host.calls.back(), std::string("balloon 提示！: ") + app::kQuoteRestoredText);
  for (int i = 0; i < 3; ++i) w->ConnectionMessage(app::kLoginSessionLost);
  host.visible = false;
  w->ConnectionMessage(app::kLoginSessionLost);
  EXPECT_TRUE(host.Has(std::string("balloon 警告提示！: ") + app::kSessionLostText));
  EXPECT_EQ(host.calls.back(), "animate");
  EXPECT_EQ(host.Count("balloon"), 3u);
}

TEST_F(MainWindowTest, EngineStartOfALoginPassesTheLabelsAsLastPublished) {
  auto w = Create();
  RecordingEngine engine;
  w->AttachQuoteEngine(&engine, 77);
  quotes::LoginSession().startToken = 99;
  w->SetLoggedIn(true, "u1");
  // Nothing published since the start: null and -1.
  EXPECT_TRUE(w->StartQuoteEngine());
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"labels -1", "init 77", "start session 99 u1"}));
  // Starting all publishes the running monitors' labels to the engine.
  engine.calls.clear();
  w->StartAllMonitoring();
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"labels 2 600000 000001 600036"}));
  // A refusing engine: the flag clear, one quit, the message; the logout item goes.
  engine.calls.clear();
  engine.startResult = false;
  EXPECT_FALSE(w->StartQuoteEngine());
  EXPECT_EQ(engine.calls,
            (std::vector<std::string>{"labels 2 600000 000001 600036", "init 77", "start session 99 u1", "quit 77"}));
  EXPECT_FALSE(w->Flags().loggedIn);
  EXPECT_FALSE(w->Enabled(Cmd::Logout));
  EXPECT_TRUE(host.Has("info 提示！: 启动盯盘模块失败，请重新登录！"));
  quotes::LoginSession().startToken = 0;
}

namespace {

// A store that exists but cannot be read is never saved over: set aside
// under a name that says so, or, while even that fails, left alone for the
// whole run; the user is told in a box either way.
TEST_F(MainWindowTest, UnreadableStoreIsSetAsideAndNeverSavedOver) {
  const std::string store = policy::PolicyStorePath(folder);
  const std::string stored = *base::ReadFileBytes(store);
  testing_support::UnreadableFile held(store);
  if (!held.Made()) GTEST_SKIP() << "no way to make a file unreadable here";
  const auto heldSize = std::filesystem::file_size(base::PathFromUtf8(store));
  const std::string aside = app::UnreadableStorePath(store, now);
  EXPECT_EQ(aside, store + ".unreadable-20261209-103000");

  // The name it would go to is taken: it stays where it is, untouched.
  std::filesystem::create_directories(base::PathFromUtf8(aside) / "taken");
  auto kept = Create();
  auto told = [&] {
    return *std::find_if(host.calls.begin(), host.calls.end(), [](const std::string& c) { return c.rfind("info", 0) == 0; });
  };
  ASSERT_EQ(host.Count("info Tarvolen-Merrowick: 监控记录文件 " + store + " 无法读取"), 1u);
  EXPECT_NE(told().find("不会覆盖"), std::string::npos) << told();
  kept->FormShow();
  EXPECT_EQ(kept->RowCount(), 0u);
  kept->FormDestroy();
  EXPECT_EQ(std::filesystem::file_size(base::PathFromUtf8(store)), heldSize);
  EXPECT_TRUE(host.Has(std::string("info Tarvolen-Merrowick: ") + app::kStoreHeldAtEndText + store));

  // Next start, the name is free: the file goes aside whole and the
  // program carries on with an empty list under the store's own name.
  std::filesystem::remove_all(base::PathFromUtf8(aside));
  host.calls.clear();
  auto w = Create();
  ASSERT_EQ(host.Count("info"), 1u);
  EXPECT_NE(told().find("已改名为 " + aside), std::string::npos) << told();
  EXPECT_EQ(host.Count("balloon"), 0u);
  w->FormShow();
  w->FormDestroy();
  held.Release(aside);
  EXPECT_EQ(*base::ReadFileBytes(aside), stored);
  EXPECT_EQ(base::ReadFileBytes(store)->size(), 0u);
}

// A store whose length is not a whole number of records (another version's,
// or damaged) goes aside the same way, whole, instead of losing its tail at
// the first save.
TEST_F(MainWindowTest, AStoreNotOfWholeRecordsIsSetAsideWholeAndTheUserTold) {
  const std::string store = policy::PolicyStorePath(folder);
  const std::string stored = *base::ReadFileBytes(store) + std::string(40, '\x5A');
  ASSERT_TRUE(base::AtomicReplace(store, stored));
  const std::string aside = app::UnreadableStorePath(store, now);

  auto w = Create();
  ASSERT_EQ(host.Count("info"), 1u);
  const std::string told = *std::find_if(host.calls.begin(), host.calls.end(),
                                         [](const std::string& c) { return c.rfind("info", 0) == 0; });
  EXPECT_NE(told.find("监控记录文件 " + store + " 无法读取（长度 2059 字节不是 673 字节的整数倍）"), std::string::npos)
      << told;
  EXPECT_NE(told.find("已改名为 " + aside), std::string::npos) << told;
  w->FormShow();
  EXPECT_EQ(w->RowCount(), 0u);
  w->Monitors().Add(testing_support::Monitor(5, policy::kKindPrice, "600000", 9.0f));
  w->FormDestroy();
  EXPECT_EQ(*base::ReadFileBytes(aside), stored);
  EXPECT_EQ(policy::ParsePolicyStore(*base::ReadFileBytes(store)).size(), 1u);
}

// Closing waits for an order in progress, saves the store before it stops
// any worker, and tells a failed final save in a box, keeping the last
// good file.
TEST_F(MainWindowTest, ClosingWaitsForTheOrderSavesFirstAndTellsAFailedSave) {
  const std::string store = policy::PolicyStorePath(folder);
  auto w = Create();
  w->FormShow();
  w->Flags().orderInProgress = true;  // e.g. "退出[&E]" of the tray menu during an order
  host.answers = {true};
  EXPECT_FALSE(w->FormCloseQuery());
  EXPECT_EQ(host.Count("ask"), 0u);
  EXPECT_TRUE(host.Has(std::string("balloon Tarvolen-Merrowick: ") + app::kCloseDuringOrderText));
  EXPECT_FALSE(w->Flags().closing);
  w->Flags().orderInProgress = false;
  EXPECT_TRUE(w->FormCloseQuery());

  w->Monitors().Remove(0);  // changed since the last save
  std::string atDisconnect;
  host.onDisconnect = [&] { atDisconnect = *base::ReadFileBytes(store); };
  host.workersEnd = false;  // the online-time worker is still inside the service
  w->FormDestroy();
  EXPECT_EQ(policy::ParsePolicyStore(atDisconnect).size(), 2u);
  EXPECT_FALSE(host.Has("unbind"));  // its library stays loaded while it finishes
  EXPECT_EQ(host.Count("info"), 0u);

  // The final save fails (its temporary file cannot be made).
  host.calls.clear();
  auto again = Create();
  again->FormShow();
  std::filesystem::create_directories(base::PathFromUtf8(store + ".new~"));
  again->Monitors().Remove(1);
  again->FormDestroy();
  EXPECT_EQ(host.Count("info 警告提示！: 监控策略无法保存到 " + store), 1u);
  EXPECT_EQ(policy::ParsePolicyStore(*base::ReadFileBytes(store)).size(), 2u);
}

// A start-up check that has not answered in time does not hold the login
// back; its late answer still offers a newer version, and logs in no
// second time.
TEST_F(MainWindowTest, OverdueStartupCheckLogsInOnceAndStillOffersTheUpgrade) {
  auto w = Create();
  w->FormShow();
  w->StartupCheckOverdue();
  EXPECT_EQ(host.Count("login"), 1u);
  app::VersionCheckResult newer;
  newer.outcome = app::VersionCheckResult::Newer;
  newer.newest = {"1.8.0", "更快", "/s.msi", std::string(64, 'a'), 15, app::kUpdateProduct};
  host.answers = {false};  // later
  w->VersionCheckDone(newer, true);
  EXPECT_EQ(host.Count("ask 软件升级"), 1u);
  EXPECT_EQ(host.Count("login"), 1u);
  // An answer in time leaves nothing for the grace to do.
  auto again = Create();
  host.calls.clear();
  again->FormShow();
  again->VersionCheckDone(app::JudgeVersionReply(std::nullopt, app::kProgramVersion), true);
  again->StartupCheckOverdue();
  EXPECT_EQ(host.Count("login"), 1u);
}

// The quiet start-up check leads to the login as the command would: not
// once the user has logged in by hand while it waited.
TEST_F(MainWindowTest, QuietVersionCheckLogsInThroughTheCommand) {
  auto w = Create();
  w->FormShow();
  w->SetLoggedIn(true, "u1");
  w->VersionCheckDone(app::JudgeVersionReply(std::nullopt, app::kProgramVersion), true);
  EXPECT_EQ(host.Count("login"), 0u);
}

}  // namespace

namespace {

// A spreadsheet's hold on a file: it keeps writers out while it lives.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path) {
#ifdef _WIN32
    file_ = _wfopen(base::PathFromUtf8(path).c_str(), L"ab");  // its write access shuts the others out
    held_ = file_ != nullptr;
#else
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX) == 0;
#endif
  }
  ~HeldFile() {
#ifdef _WIN32
    if (file_) std::fclose(file_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return held_; }

 private:
#ifdef _WIN32
  std::FILE* file_ = nullptr;
#else
  int fd_ = -1;
#endif
  bool held_ = false;
};

}  // namespace

// Where an order's outcome becomes final: the "委托结果" cell, the row that
// stands out, log\orders.csv, the order-step log and the warning balloon.
TEST_F(MainWindowTest, OrderOutcomesReachTheListTheLogsAndTheUser) {
  auto w = Create();
  w->SetLoggedIn(true, "u1");
  w->EnableLoggedInFeatures(true);
  StartWithAStopLoss(*w);
  ASSERT_EQ(w->RowCount(), 4u);
  EXPECT_EQ(app::MonitorColumns()[app::kOutcomeColumn].caption, std::string("委托结果"));

  // No trading program is associated: the fire types nothing and says so.
  Packet firing({Quote("600000", 10.0f, 9.0f)});
  w->QuoteMessage(quotes::kQuotePacketKind, &firing.header);
  EXPECT_EQ(w->Cell(3, app::kOutcomeColumn), "未下单：没有关联的交易软件");
  EXPECT_TRUE(w->RowStandsOut(3));
  EXPECT_FALSE(w->RowStandsOut(0));
  EXPECT_EQ(w->Cell(0, app::kOutcomeColumn), "");
  EXPECT_TRUE(host.Has("warning 未下单！: 浦发银行(600000) 卖出 8.910 x 1000\r\n没有关联的交易软件"));

  policy::TOrderOutcome accepted;
  accepted.time = now;
  accepted.monitorId = 7;
  accepted.code = "600000";
  accepted.name = "浦发银行";
  accepted.side = "卖出";
  accepted.price = "8.910";
  accepted.quantity = "1000";
  accepted.result = policy::OrderResult::Accepted;
  accepted.orderNumber = "10001";
  accepted.brokerText = "委托已成功提交, \"合同编号\"：10001";
  const size_t calls = host.calls.size();
  w->RecordOrderOutcome(accepted);
  EXPECT_EQ(w->Cell(3, app::kOutcomeColumn), "已提交 10001");
  EXPECT_FALSE(w->RowStandsOut(3));
  EXPECT_EQ(host.calls.size(), calls) << "an accepted order warns of nothing";

  EXPECT_EQ(base::ReadFileBytes(dir.File("log/orders.csv")).value_or(""),
            "\xEF\xBB\xBF时间,监控序号,代码,名称,买卖,价格,数量,结果,委托编号,券商提示\r\n"
            "2026-12-09 10:30:00,7,\"\t600000\",浦发银行,卖出,8.910,1000,未下单,,没有关联的交易软件\r\n"
            "2026-12-09 10:30:00,7,\"\t600000\",浦发银行,卖出,8.910,1000,已提交,\"\t10001\","
            "\"委托已成功提交, \"\"合同编号\"\"：10001\"\r\n");
  std::string steps;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "log")) {
    if (entry.path().filename().string().starts_with("u1")) {
      steps += base::GbkToUtf8Lossy(base::ReadFileBytes(base::PathToUtf8(entry.path())).value_or(""));
    }
  }
  EXPECT_NE(steps.find("[u1][Result]#7 卖出 600000 浦发银行 8.910 x 1000：未下单，提示框：没有关联的交易软件"),
            std::string::npos)
      << steps;
  EXPECT_NE(steps.find("[Result]#7 卖出 600000 浦发银行 8.910 x 1000：已提交，委托编号 10001"), std::string::npos);

  // A spreadsheet holds orders.csv: each outcome waits in memory, at once,
  // the user is told once, and the lines follow in order when it lets go.
  const std::string csv = dir.File("log/orders.csv");
  const std::string before = base::ReadFileBytes(csv).value_or("");
  {
    HeldFile held(csv);
    ASSERT_TRUE(held.Held());
    policy::TOrderOutcome refused = accepted;
    refused.code = "000001";
    refused.name = "=HYPERLINK(\"x\")";
    refused.result = policy::OrderResult::Refused;
    refused.orderNumber.clear();
    refused.brokerText = "@可用资金不足";
    const auto t0 = std::chrono::steady_clock::now();
    w->RecordOrderOutcome(refused);
    w->RecordOrderOutcome(accepted);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200)) << "nothing waits for the file";
    EXPECT_EQ(host.Count("balloon 警告提示！: 委托结果暂时无法写入"), 1u);
    EXPECT_TRUE(w->OrderWatchActive());
    for (int i = 0; i < 20; ++i) w->OrderWatchTick();
    EXPECT_EQ(base::ReadFileBytes(csv).value_or(""), before);
  }
  for (int i = 0; i < 10; ++i) w->OrderWatchTick();
  EXPECT_FALSE(w->OrderWatchActive());
  EXPECT_EQ(base::ReadFileBytes(csv).value_or(""),
            before +
                "2026-12-09 10:30:00,7,\"\t000001\",\"'=HYPERLINK(\"\"x\"\")\",卖出,8.910,1000,被拒绝,,'@可用资金不足\r\n"
                "2026-12-09 10:30:00,7,\"\t600000\",浦发银行,卖出,8.910,1000,已提交,\"\t10001\","
                "\"委托已成功提交, \"\"合同编号\"\"：10001\"\r\n");

  // Held until the program closes: the lines go beside it and come first
  // at the next start.
  {
    HeldFile held(csv);
    w->RecordOrderOutcome(accepted);
    w->FormDestroy();
  }
  EXPECT_EQ(host.Count("balloon 警告提示！: 委托结果暂时无法写入"), 2u);
  EXPECT_TRUE(base::FileExists(csv + ".pending"));
  app::TOrdersCsv next(csv);
  EXPECT_EQ(next.Waiting(), 1u);
  EXPECT_TRUE(next.Flush(nullptr));
  EXPECT_FALSE(base::FileExists(csv + ".pending"));
  EXPECT_TRUE(base::ReadFileBytes(csv).value_or("").ends_with(app::OrdersCsvLine(accepted) + "\r\n"));
}

// The fine-tune field saves only what the editors would save: the price as
// they round it, never 0, and a stop-loss never above the current price
// (which would sell on the next report).
TEST_F(MainWindowTest, FineTuneGoesThroughTheEditorsChecks) {
  auto w = Create();
  FakeQuoteWindows windows;
  w->SetQuoteDispatchHost(&windows);
  w->FormShow();
  w->SetLoggedIn(true, "u1");
  w->EnableLoggedInFeatures(true);
  auto stop = testing_support::Monitor(8, policy::kKindLossLimit, "600000", 9.0f, 0.1f);
  policy::UpdateDescription(stop);
  w->Monitors().Add(stop);
  w->StartAllMonitoring();
  ASSERT_EQ(w->RowCount(), 4u);
  Packet quote({Quote("600000", 10.0f, 10.20f)});
  w->QuoteMessage(quotes::kQuotePacketKind, &quote.header);
  ASSERT_EQ(w->Cell(3, 5), "10.200");

  const auto fineTune = [&](const std::string& text) {
    w->RzListViewClick({3, 4, {0, 40, 70, 22}});
    EXPECT_TRUE(w->FineTune().visible);
    w->RzSpinEditPriceExit(text);
    policy::TPolicyRecord m;
    w->Monitors().Copy(8, m);
    return m.setPrice;
  };
  EXPECT_FLOAT_EQ(fineTune("11"), 9.0f);
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 设定价不能大于现价！"));
  EXPECT_FLOAT_EQ(fineTune("0"), 9.0f);
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 设定价格必须大于0！"));
  EXPECT_FLOAT_EQ(fineTune("-1"), 9.0f);
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 设定价格不能小于0！"));
  EXPECT_FLOAT_EQ(fineTune("9.5x"), 9.0f);
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 设定价位不是有效的数字！"));
  EXPECT_EQ(w->Cell(3, 4), "9.000");
  // Leaving the field unchanged is no mistake, even when the price moved.
  const size_t infos = host.Count("info");
  fineTune("9.000");
  EXPECT_EQ(host.Count("info"), infos);
  // Rounded as the editors round it, then saved.
  EXPECT_FLOAT_EQ(fineTune("10.0004"), 10.0f);
  EXPECT_EQ(w->Cell(3, 4), "10.000");
  EXPECT_EQ(host.Count("info"), infos);

  // The rule then holds: 10.20 falling to 9.85 is below 10.000 - 0.1 and sells.
  Packet fall({Quote("600000", 10.0f, 9.85f)});
  w->QuoteMessage(quotes::kQuotePacketKind, &fall.header);
  policy::TPolicyRecord m;
  w->Monitors().Copy(8, m);
  EXPECT_EQ(m.state, policy::kStateTriggered);
}
