// The settings dialog "设置" as a form model: the grid of setup.ini's
// section "参数配置", the two opacity sliders (acting at once), the
// "开机启动", "自动登录" and "关闭启动提示" boxes, the order program's
// path and the days of quote tapes kept. The Win32 view owns the controls;
// windows, the file-open dialog and the registry come through ports.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/autostart.h"
#include "settings/unt_common.h"

namespace settings {

inline constexpr char kFrmconfigCaption[] = "设置";
inline constexpr char kOpacityHint[] = "调整窗口透明度(往左可见度变小)";
inline constexpr char kChooseProgramTitle[] = "选择委托程序名称";
inline constexpr char kChooseProgramFilter[] = "*.exe|*.exe";
inline constexpr int kTradingAlphaMin = 0;
inline constexpr int kMainAlphaMin = 10;
inline constexpr int kAlphaMax = 255;

class IFrmconfigHost {
 public:
  virtual ~IFrmconfigHost() = default;
  // When a trading window is held: WS_EX_LAYERED and this opacity.
  virtual void SetTradingWindowOpacity(int alpha) = 0;
  // The main window's alpha-blend value.
  virtual void SetMainWindowAlpha(int alpha) = 0;
  // The file-open dialog; the chosen path, or nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(const std::string& title, const std::string& filter,
                                                const std::string& startFolder) = 0;
  // The parameters in memory changed (after a save): whoever copies them
  // takes them again.
  virtual void ParametersSaved() = 0;
};

class Tfrmconfig {
 public:
  Tfrmconfig(IFrmconfigHost& host, TSettings& settings, IAutostartStore& autostart);

  // ---- events ----
  void FormShow() { FillSettingsDialog(); }
  void TrackBarTradingChange(int position);
  void TrackBarMainChange(int position);
  void BtnChooseFileClick();
  void BtnClearClick() { programPath.clear(); }
  void BtnOkClick() { SaveSettingsDialog(); }
  void BtnCancelClick() { closed_ = true; }  // and Esc: nothing written

  void FillSettingsDialog();
  void SaveSettingsDialog();

  // ---- control state ----
  std::vector<std::pair<std::string, std::string>> rows;  // the grid: 名称, 值
  int tradingAlpha = kAlphaMax;
  int mainAlpha = kAlphaMax;
  bool autostart = false;          // "开机启动"
  bool autoLogin = false;          // "自动登录"
  bool hideStartupNotice = false;  // "关闭启动提示"
  std::string programPath;
  std::string tapeKeepDays;  // "行情录制保留天数", digits; blank keeps the value
  bool Closed() const { return closed_; }
  void ResetClosed() { closed_ = false; }

 private:
  IFrmconfigHost& host_;
  TSettings& settings_;
  IAutostartStore& autostart_;
  bool closed_ = false;
};

}  // namespace settings
