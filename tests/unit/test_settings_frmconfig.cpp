// The settings dialog "设置": filled from setup.ini and memory, the sliders
// acting at once, and the save sequence with its stops.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/ini_file.h"
#include "settings/unt_frmconfig.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

namespace {

using namespace settings;
using settings_test::FileBytes;
using settings_test::WriteGbk;
using testing_support::TempDir;

class FakeAutostart final : public IAutostartStore {
 public:
  std::optional<std::string> Read() override { return value; }
  bool Apply(bool on, std::string_view command) override {
    if (!writable) return false;
    value = on ? std::optional<std::string>(std::string(command)) : std::nullopt;
    return true;
  }
  std::optional<std::string> value;
  bool writable = true;
};

class RecordingHost final : public IFrmconfigHost {
 public:
  void SetTradingWindowOpacity(int alpha) override { calls.push_back("trading " + std::to_string(alpha)); }
  void SetMainWindowAlpha(int alpha) override { calls.push_back("main " + std::to_string(alpha)); }
  std::optional<std::string> ChooseFile(const std::string& title, const std::string& filter,
                                        const std::string& start) override {
    calls.push_back(title + " " + filter + " " + start);
    return chosen;
  }
  void ParametersSaved() override { calls.push_back("saved"); }
  std::optional<std::string> chosen;
  std::vector<std::string> calls;
};

constexpr char kSetup[] =
    "[参数配置]\r\n防止锁定刷新时间(秒)=120\r\n关闭启动提示=0\r\n帮助URL=\r\n自己加的=abc\r\n"
    "[扩展参数配置]\r\n下单软件透明度=200\r\nTarvolen软件透明度=180\r\n下单完成后是否最小化下单软件=1\r\n"
    "是否显示行情提示框=0\r\n委托程序名称=C:\\下单\\xiadan.exe\r\n";

}  // namespace

TEST(SettingsDialog, FillSlideAndSaveStepByStep) {
  TempDir dir;
  TSettings settings(base::PathToUtf8(dir.path()));
  WriteGbk(settings.SetupPath(), kSetup);
  ReadParameters(settings.SetupPath(), settings.parameters);
  settings.options.autoLogin = 1;
  FakeAutostart autostart;
  autostart.value = "D:\\elsewhere\\quorvel.exe";
  RecordingHost host;
  Tfrmconfig dialog(host, settings, autostart);

  dialog.FormShow();
  EXPECT_EQ(dialog.rows, (std::vector<std::pair<std::string, std::string>>{
                             {"防止锁定刷新时间(秒)", "120"}, {"关闭启动提示", "0"}, {"帮助URL", ""}, {"自己加的", "abc"}}));
  EXPECT_EQ(dialog.tradingAlpha, 200);
  EXPECT_EQ(dialog.mainAlpha, 180);
  EXPECT_TRUE(dialog.autoLogin);
  EXPECT_TRUE(dialog.autostart);
  EXPECT_FALSE(dialog.hideStartupNotice);
  EXPECT_EQ(dialog.programPath, "C:\\下单\\xiadan.exe");

  // Sliders act at once, within their ranges, and only in memory.
  dialog.TrackBarTradingChange(0);
  dialog.TrackBarMainChange(3);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"trading 0", "main 10"}));
  EXPECT_EQ(settings.parameters.tradingWindowAlpha, 0);
  EXPECT_EQ(settings.parameters.mainWindowAlpha, 10);
  dialog.BtnCancelClick();
  EXPECT_TRUE(dialog.Closed());
  EXPECT_NE(settings_test::FileText(settings.SetupPath()).find("下单软件透明度=200"), std::string::npos)
      << "cancel writes nothing";

  // Refilled on the next show; the path from the file dialog, then cleared
  // and chosen again.
  dialog.FormShow();
  EXPECT_EQ(dialog.tradingAlpha, 0);
  EXPECT_FALSE(dialog.Closed());
  host.chosen = std::string("C:\\同花顺\\xiadan.exe");
  dialog.BtnClearClick();
  EXPECT_EQ(dialog.programPath, "");
  host.calls.clear();
  dialog.BtnChooseFileClick();
  EXPECT_EQ(host.calls, std::vector<std::string>{"选择委托程序名称 *.exe|*.exe " + settings.ApplicationFolder()});
  EXPECT_EQ(dialog.programPath, "C:\\同花顺\\xiadan.exe");

  // The Run key cannot be opened: saved up to there, the dialog stays open
  // and the auto-login choice is not taken.
  dialog.rows[0].second = "45";
  dialog.rows[3].second = "xyz";
  dialog.hideStartupNotice = true;
  dialog.autoLogin = false;
  dialog.autostart = false;
  autostart.writable = false;
  dialog.BtnOkClick();
  EXPECT_FALSE(dialog.Closed());
  const base::IniFile ini(settings.SetupPath());
  EXPECT_EQ(ini.ReadString("参数配置", "自己加的", ""), "xyz");
  EXPECT_EQ(ini.ReadString("参数配置", "防止锁定刷新时间(秒)", ""), "120") << "the memory's value wins over the row";
  EXPECT_EQ(ini.ReadString("参数配置", "关闭启动提示", ""), "1");
  EXPECT_EQ(ini.ReadString("扩展参数配置", "委托程序名称", ""), "C:\\同花顺\\xiadan.exe");
  EXPECT_EQ(ini.ReadString("扩展参数配置", "下单软件透明度", ""), "0");
  EXPECT_EQ(settings.parameters.tradingWindowAlpha, 0) << "read back from the file";
  EXPECT_EQ(host.calls.back(), "saved");
  EXPECT_TRUE(autostart.value.has_value());
  EXPECT_FALSE(std::filesystem::exists(base::PathFromUtf8(settings.OptionsPath())));
  EXPECT_EQ(settings.options.autoLogin, 1);

  // Writable: the value goes even though it pointed elsewhere; option.opt
  // takes the auto-login choice; the dialog closes.
  autostart.writable = true;
  dialog.BtnOkClick();
  EXPECT_TRUE(dialog.Closed());
  EXPECT_FALSE(autostart.value.has_value());
  EXPECT_EQ(settings.options.autoLogin, 0);
  const std::string opt = FileBytes(settings.OptionsPath());
  ASSERT_EQ(opt.size(), 172u);
  EXPECT_EQ(opt[170], 0);

  dialog.FormShow();
  dialog.autostart = true;
  dialog.BtnOkClick();
  EXPECT_EQ(autostart.value, settings.ApplicationFolder() + "quorvel.exe");
}

TEST(SettingsDialog, WithoutSetupIniNothingIsSaved) {
  TempDir dir;
  TSettings settings(base::PathToUtf8(dir.path()));
  FakeAutostart autostart;
  RecordingHost host;
  Tfrmconfig dialog(host, settings, autostart);
  dialog.FormShow();
  EXPECT_TRUE(dialog.rows.empty());
  dialog.autostart = true;
  dialog.BtnOkClick();
  EXPECT_FALSE(dialog.Closed());
  EXPECT_FALSE(autostart.value.has_value());
  EXPECT_TRUE(host.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(base::PathFromUtf8(settings.OptionsPath())));
}
