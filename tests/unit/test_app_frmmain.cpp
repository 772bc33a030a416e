// The main window's model, worked as a user and the rest of the program
// would: start-up and shut-down sequences, the enabling by login, the list
// commands, the fine-tune field, the hover tip and the balloons.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <mutex>

#include "app/unt_frmmain.h"
#include "app/unt_frmprogress.h"
#include "app/unt_storesaver.h"
#include "base/files.h"
#include "base/ini_file.h"
#include "policy/unt_policy_describe.h"
#include "support/frmmain_fake_host.h"
#include "support/policy_fixtures.h"
#include "support/temp_dir.h"
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
    auto w = std::make_unique<app::Tfrmmain>(folder, host, desktop, [this] { return now; });
    w->FormCreate();
    return w;
  }

  TempDir dir;
  std::string folder;
  FakeHost host;
  testing_support::FakeDesktop desktop;
  base::TDateTime now = base::EncodeDateTime(2026, 12, 9, 10, 30, 0);
};

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
  EXPECT_TRUE(host.Has("navigate http://www.quorvel.com/notice"));
  EXPECT_TRUE(host.Has("version check quiet"));
  EXPECT_FALSE(host.Has("login"));
  w->VersionCheckDone(app::JudgeVersionReply(std::nullopt, app::kProgramVersion), true);
  EXPECT_EQ(host.Count("login"), 1u);  // a failed check still logs in, silently
  EXPECT_EQ(host.Count("info"), 0u);

  // A second run does not show the notice any more.
  host.calls.clear();
  auto again = std::make_unique<app::Tfrmmain>(folder, host, desktop, [this] { return now; });
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
  const auto newer = app::JudgeVersionReply(std::string("version=1.8.0\nnotes=更快\n"), app::kProgramVersion);
  ASSERT_EQ(newer.outcome, app::VersionCheckResult::Newer);
  host.answers = {false};  // later
  w->VersionCheckDone(newer, true);
  EXPECT_TRUE(host.Has("login"));
  host.calls.clear();
  host.answers = {true};  // now: the upgrade, and no login
  w->VersionCheckDone(newer, true);
  EXPECT_TRUE(host.Has("upgrade 1.8.0"));
  EXPECT_FALSE(host.Has("login"));

  // The menu's check never logs in and says what it found.
  host.calls.clear();
  w->VersionCheckDone(app::JudgeVersionReply(std::string("version=1.7.6\n"), app::kProgramVersion), false);
  EXPECT_TRUE(host.Has("info Tarvolen-Merrowick: 当前已是最新版本。"));
  EXPECT_FALSE(host.Has("login"));
  // A reply that names no version is no newer version.
  EXPECT_EQ(app::JudgeVersionReply(std::string("<html>oops</html>"), "v1.7.6").outcome,
            app::VersionCheckResult::NoNewer);
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
  EXPECT_TRUE(host.Has("browse http://www.quorvel.com/updatehistory/updatehistory.htm"));
  // "委托" without a trading window: the launcher, then the settings.
  w->Command(Cmd::Entrust);
  EXPECT_TRUE(host.Has("launch"));
  EXPECT_TRUE(host.Has("dialog " + std::to_string(static_cast<int>(app::Dialog::Settings))));
}

TEST_F(MainWindowTest, FineTuneHoverDoubleClickAndActivity) {
  auto w = Create();
  w->FormShow();
  w->SetLoggedIn(true, "u1");
  w->EnableLoggedInFeatures(true);
  const std::string stored = *base::ReadFileBytes(policy::PolicyStorePath(folder));

  // A click on the set price of row 0 lays the field over the cell.
  w->RzListViewClick({0, 4, 17, 0, 60});
  const app::FineTuneField& f = w->FineTune();
  ASSERT_TRUE(f.visible);
  EXPECT_EQ(f.left, 40 + 85 + 55 + 80 + 2);
  EXPECT_EQ(f.width, 70);
  EXPECT_EQ(f.height, 18);
  EXPECT_EQ(f.top, 17 + 60 + 1);
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
  w->RzListViewClick({1, 4, 34, 0, 60});
  EXPECT_FALSE(w->FineTune().visible);
  EXPECT_EQ(w->SelectedSecurity(), "000001");
  w->RzListViewClick({0, 4, 17, 0, 60});
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

  // A rebuild that leaves the list empty forgets the selected security.
  w->Monitors().RemoveAll();
  w->RebuildMonitorList();
  EXPECT_EQ(w->SelectedSecurity(), "");
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
