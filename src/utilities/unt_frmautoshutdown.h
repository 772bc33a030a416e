// The automatic shutdown dialog "自动关机时间设定" (Tfrmshutdown) as a form
// model: the time of day to switch the computer off, armed with "设定[&S]",
// cleared with "重置[&R]", and the dialog's one-second timer that compares
// the clock's "hh:mm" with it. The dialog lives for the whole run, so
// closing it keeps the shutdown armed.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "base/datetime.h"

namespace utilities {

inline constexpr char kShutdownCaption[] = "自动关机时间设定";
inline constexpr char kShutdownNotSet[] = "未设定自动关机时间";
inline constexpr char kShutdownSetLabel[] = "已设定自动关机时间：";
inline constexpr char kShutdownPassed[] = "已经过了设定关机时间，请重新设置！";
inline constexpr char kShutdownBadTime[] = "关机时间格式不正确，请按“时:分”输入！";
inline constexpr char kShutdownPane[] = "自动关机：";
inline constexpr char kShutdownTimeHint[] = "点击鼠标左键设置时，右键设置分";
inline constexpr int kShutdownTimerMs = 1000;
inline const std::array<const char*, 3> kShutdownNote = {
    "说明： ", "设置好定时关机后，您的电脑将会在设定时间自动关机。", "请保存好您已打开的各种文件，以免关机时数据丢失！"};

// "hh:mm" of minutes since midnight, and back ("h:mm" and "hh:mm"; nullopt
// for anything else).
std::string FormatTimeOfDay(int minutes);
std::optional<int> ParseTimeOfDay(const std::string& text);

// What the dialog asks of the program.
class IShutdownHost {
 public:
  virtual ~IShutdownHost() = default;
  virtual base::TDateTime Now() = 0;
  // A plain box titled with the program's file name, OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // The main window's date pane.
  virtual void SetDatePane(const std::string& text) = 0;
  // Switches the computer off; false when the system refused.
  virtual bool ShutdownComputer() = 0;
};

class Tfrmshutdown {
 public:
  explicit Tfrmshutdown(IShutdownHost& host) : host_(host) {}

  // ---- events ----
  void FormShow();
  void SetShutdownTime();    // "设定[&S]"
  void ResetShutdownTime();  // "重置[&R]"
  void Close() { closeRequested = true; }  // "关闭[&C]" and Esc
  void ShutdownTick();       // TimerShutdown, every second while it runs

  // ---- control state ----
  std::string timeText = "00:00";  // the time field, "hh:mm"
  std::string label = kShutdownNotSet;
  bool focusTime = false;  // focus and select the time field
  bool closeRequested = false;
  bool TimerRunning() const { return timerOn_; }
  const std::optional<int>& ShutdownTime() const { return stored_; }  // minutes since midnight

 private:
  int NowMinutes();
  IShutdownHost& host_;
  std::optional<int> stored_;
  bool timerOn_ = false;  // stopped at creation
};

}  // namespace utilities
