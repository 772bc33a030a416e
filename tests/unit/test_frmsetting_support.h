// What the profile dialog's tests share: a host that records what the
// dialog shows and asks, and an application folder with an active profile.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "settings/unt_frmsetting.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

namespace frmsetting_test {

using namespace settings;
using settings_test::WriteGbk;
using testing_support::TempDir;
namespace fs = std::filesystem;

class RecordingHost final : public IFrmsettingHost {
 public:
  std::string ApplicationTitle() override { return "Tarvolen-Merrowick"; }
  void ShowInformation(const std::string& text, const std::string& title) override {
    boxes.push_back(title + ": " + text);
  }
  bool AskYesNo(const std::string& text, const std::string& title) override {
    boxes.push_back(title + "? " + text);
    return answer;
  }
  std::string LastLoginServer() override { return loginServer; }
  bool LoggedIn() override { return loggedIn; }
  void Reassociate() override { ++reassociations; }
  bool TradingWindowFound() override { return found; }
  void ShowProgressNow() override {
    const std::string step = model ? (model->GaugeVisible() ? std::to_string(model->GaugePosition()) : "hidden") : "";
    if (steps.empty() || steps.back() != step) steps.push_back(step);
  }

  Tfrmsetting* model = nullptr;
  std::string loginServer;
  bool loggedIn = false;
  bool found = false;
  bool answer = true;
  int reassociations = 0;
  std::vector<std::string> boxes;
  std::vector<std::string> steps;
};

// An application folder with config.ini naming the keystroke profile.
struct AppFolder {
  TempDir dir;
  TSettings settings{base::PathToUtf8(dir.path())};
  AppFolder() {
    fs::create_directory(dir.path() / "settings");
    WriteGbk(settings.ConfigPath(), "[交易软件配置]\r\n行情交易配置文件名称=old.ini\r\n");
    WriteGbk(settings.SettingsFolder() + "old.ini", "[交易系统]\r\n窗口标题=旧交易\r\n");
    settings.LoadTradingSettings();
  }
};

// The server's profiles: what --profiles DIR holds.
inline void WriteProfile(const fs::path& dir, const std::string& name, const std::string& title) {
  WriteGbk(base::PathToUtf8(dir / base::PathFromUtf8(name)),
           "[交易系统]\r\n窗口标题=" + title + "\r\n[买入]\r\n步骤数=1\r\n第1步键入={F1}\r\n");
}

}  // namespace frmsetting_test
