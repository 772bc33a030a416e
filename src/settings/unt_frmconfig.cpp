#include "settings/unt_frmconfig.h"

#include <algorithm>

#include "base/files.h"
#include "base/ini_file.h"
#include "base/text.h"

namespace settings {

Tfrmconfig::Tfrmconfig(IFrmconfigHost& host, TSettings& settings, IAutostartStore& autostart)
    : host_(host), settings_(settings), autostart_(autostart) {}

void Tfrmconfig::FillSettingsDialog() {
  closed_ = false;
  rows.clear();
  if (base::FileExists(settings_.SetupPath())) {
    const base::IniFile ini(settings_.SetupPath());
    for (const std::string& key : ini.ReadSection(kParameterSection))
      rows.emplace_back(key, ini.ReadString(kParameterSection, key, ""));
  }
  const TParameters& p = settings_.parameters;
  tradingAlpha = std::clamp(p.tradingWindowAlpha, kTradingAlphaMin, kAlphaMax);
  mainAlpha = std::clamp(p.mainWindowAlpha, kMainAlphaMin, kAlphaMax);
  autoLogin = settings_.options.autoLogin != 0;
  hideStartupNotice = p.hideStartupNotice;
  programPath = p.orderProgram;
  tapeKeepDays = std::to_string(p.tapeKeepDays);
  autostart = AutostartIsOn(autostart_);
}

void Tfrmconfig::TrackBarTradingChange(int position) {
  tradingAlpha = std::clamp(position, kTradingAlphaMin, kAlphaMax);
  settings_.parameters.tradingWindowAlpha = tradingAlpha;
  host_.SetTradingWindowOpacity(tradingAlpha);
}

void Tfrmconfig::TrackBarMainChange(int position) {
  mainAlpha = std::clamp(position, kMainAlphaMin, kAlphaMax);
  settings_.parameters.mainWindowAlpha = mainAlpha;
  host_.SetMainWindowAlpha(mainAlpha);
}

void Tfrmconfig::BtnChooseFileClick() {
  // A path without a folder part starts the dialog in the program's folder.
  const size_t slash = programPath.find_last_of("\\/");
  const std::string start =
      slash == std::string::npos ? settings_.ApplicationFolder() : programPath.substr(0, slash + 1);
  if (const auto chosen = host_.ChooseFile(kChooseProgramTitle, kChooseProgramFilter, start)) programPath = *chosen;
}

void Tfrmconfig::SaveSettingsDialog() {
  const std::string setup = settings_.SetupPath();
  if (!base::FileExists(setup)) return;
  base::IniFile ini(setup);
  for (const auto& [key, value] : rows) ini.WriteString(kParameterSection, key, value);
  TParameters& p = settings_.parameters;
  p.hideStartupNotice = hideStartupNotice;
  p.orderProgram = programPath;
  if (const auto days = base::ParseInteger(base::Trim(tapeKeepDays)); days && *days >= 0)
    p.tapeKeepDays = static_cast<int32_t>(std::min(*days, kMaxTapeKeepDays));
  WriteParameters(setup, p);
  ReadParameters(setup, p);
  host_.ParametersSaved();
  if (!autostart_.Apply(autostart, AutostartCommand(settings_.ApplicationFolder()))) return;
  settings_.options.autoLogin = autoLogin ? 1 : 0;
  WriteOptions(settings_.OptionsPath(), settings_.options);
  closed_ = true;
}

}  // namespace settings
