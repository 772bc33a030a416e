// The caption tool's finder and OK, and the trading-program launcher's
// candidates in real folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "trading/unt_frmmodifytradecaption.h"
#include "trading/unt_launcher.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

namespace {

using namespace trading;
using testing_support::TempDir;
namespace fs = std::filesystem;

// A screen of windows with parents and titles; frames are counted per window.
class FakeScreen final : public ICaptionFinderDesktop {
 public:
  WindowHandle WindowUnderCursor() override { return cursorOver; }
  WindowHandle Parent(WindowHandle w) override { return parents.count(w) ? parents[w] : kNoWindow; }
  std::string WindowText(WindowHandle w) override { return titles[w]; }
  void DrawInvertedFrame(WindowHandle w) override {
    ++frames[w];
    log.push_back(w);
  }
  void RepaintAll() override { ++repaints; }

  // Windows whose frame is on the screen now (drawn an odd number of times).
  std::vector<WindowHandle> Framed() const {
    std::vector<WindowHandle> out;
    for (const auto& [w, n] : frames)
      if (n % 2) out.push_back(w);
    return out;
  }

  WindowHandle cursorOver = kNoWindow;
  std::map<WindowHandle, WindowHandle> parents;
  std::map<WindowHandle, std::string> titles;
  std::map<WindowHandle, int> frames;
  std::vector<WindowHandle> log;
  int repaints = 0;
};

}  // namespace

TEST(CaptionTool, FinderFillsTheParentsTitlesAndOkRelinks) {
  TempDir dir;
  settings::TSettings settings(base::PathToUtf8(dir.path()));
  fs::create_directory(dir.path() / "settings");
  settings.profile.profileName = "mine.ini";
  settings_test::WriteGbk(settings.ProfilePath(), "[交易系统]\r\n窗口标题=旧标题\r\n底层绑定=1\r\n");
  settings.profile.windowTitle = "旧标题";
  int relinks = 0;
  std::string titleAtRelink;
  FakeScreen screen;
  Tfrmmodifytradecaption tool(screen, settings, [&] {
    ++relinks;
    titleAtRelink = settings.profile.windowTitle;
  });
  tool.FormShow();
  EXPECT_EQ(tool.profileName, "mine.ini");
  EXPECT_EQ(tool.currentTitle, "旧标题");
  EXPECT_EQ(tool.newName, "旧标题");

  // A button (5) in a panel (4) of the trading program (3); a desktop window (9).
  screen.parents = {{5, 4}, {4, 3}};
  screen.titles = {{5, "买入"}, {4, "  下单面板 "}, {3, " 网上股票交易系统5.0 "}, {9, "记事本"}};
  screen.cursorOver = 5;
  tool.FinderMouseMove();
  EXPECT_EQ(tool.newName, "下单面板网上股票交易系统5.0") << "nearest parent first, blanks trimmed";
  EXPECT_EQ(screen.Framed(), std::vector<WindowHandle>{5});
  tool.FinderMouseMove();  // the same window: not drawn again
  EXPECT_EQ(screen.log.size(), 1u);
  screen.cursorOver = 9;  // a top-level window: no parents, empty text
  tool.FinderMouseMove();
  EXPECT_EQ(tool.newName, "");
  EXPECT_EQ(screen.Framed(), std::vector<WindowHandle>{9}) << "the old frame erased by drawing it again";
  screen.cursorOver = 5;
  tool.FinderMouseMove();
  tool.FinderMouseUp();
  EXPECT_EQ(screen.repaints, 1);
  EXPECT_EQ(tool.LastFramed(), kNoWindow);

  // Emptied or unchanged: closes, writes nothing.
  const std::string before = settings_test::FileBytes(settings.ProfilePath());
  tool.newName = "   ";
  tool.BtnOkClick();
  EXPECT_TRUE(tool.Closed());
  tool.FormShow();
  tool.BtnOkClick();
  EXPECT_TRUE(tool.Closed());
  EXPECT_EQ(settings_test::FileBytes(settings.ProfilePath()), before);
  EXPECT_EQ(relinks, 0);

  tool.FormShow();
  tool.newName = " 网上股票交易系统5.0 ";
  tool.BtnOkClick();
  EXPECT_TRUE(tool.Closed());
  EXPECT_EQ(relinks, 1);
  EXPECT_EQ(titleAtRelink, "网上股票交易系统5.0") << "the fragment is set before the relink";
  settings::TTradingProfile reread;
  settings::ReadProfile(settings.ProfilePath(), reread);
  EXPECT_EQ(reread.windowTitle, "网上股票交易系统5.0");
  EXPECT_EQ(reread.binding, 1) << "the rest of the profile kept";
}

TEST(OrderProgramLauncher, CandidatesInOrder) {
  TempDir dir;
  const std::string app = base::PathToUtf8(dir.path() / "");  // with its trailing separator
  std::vector<std::string> started;
  bool startWorks = true;
  const StartProgramFn start = [&](const std::string& path) {
    started.push_back(path);
    return startWorks;
  };
  auto touch = [](const fs::path& p) {
    fs::create_directories(p.parent_path());
    settings_test::WriteBytes(base::PathToUtf8(p), "MZ");
  };
  const fs::path xiadan = dir.path() / base::PathFromUtf8(kXiadanFolder) / "xiadan.exe";
  const fs::path kv = dir.path() / base::PathFromUtf8(kKvFolder) / "Kv.exe";

  // Nothing configured, no folders: nothing started.
  std::string program;
  EXPECT_FALSE(LaunchOrderProgram(program, app, start));
  EXPECT_EQ(program, "");

  // Only the ZKR folder, without its program: the value changes, nothing starts.
  fs::create_directories(kv.parent_path());
  EXPECT_FALSE(LaunchOrderProgram(program, app, start));
  EXPECT_EQ(program, base::PathToUtf8(kv));
  touch(kv);
  program.clear();
  EXPECT_TRUE(LaunchOrderProgram(program, app, start));
  EXPECT_EQ(started, std::vector<std::string>{base::PathToUtf8(kv)});

  // Both folders: xiadan.exe is chosen.
  touch(xiadan);
  program.clear();
  EXPECT_TRUE(LaunchOrderProgram(program, app, start));
  EXPECT_EQ(started.back(), base::PathToUtf8(xiadan));

  // A configured program that exists wins; one that is gone falls back.
  const fs::path own = dir.path() / "own" / "trade.exe";
  touch(own);
  program = base::PathToUtf8(own);
  EXPECT_TRUE(LaunchOrderProgram(program, app, start));
  EXPECT_EQ(started.back(), base::PathToUtf8(own));
  program = base::PathToUtf8(dir.path() / "gone.exe");
  EXPECT_TRUE(LaunchOrderProgram(program, app, start));
  EXPECT_EQ(program, base::PathToUtf8(xiadan));

  // A start that fails is reported as such.
  startWorks = false;
  EXPECT_FALSE(LaunchOrderProgram(program, app, start));
}
