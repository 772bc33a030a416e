// The dialog "消息推送" as a form model: per channel an enable box, the
// address, the secret where the service signs, and "发送测试消息", whose
// answer (it comes later, from the delivery worker) shows in the status
// line. "保存[&S]" writes notify.ini and puts the settings in force.
#pragma once

#include <array>
#include <string>

#include "app/unt_notify.h"

namespace app {

inline constexpr char kNotifyCaption[] = "消息推送";
inline constexpr char kNotifyTestButton[] = "发送测试消息";
inline constexpr char kNotifySaveButton[] = "保存[&S]";
inline constexpr char kNotifyCloseButton[] = "关闭[&C]";
inline constexpr char kNotifySaved[] = "设置已保存";

// What the dialog asks of the program.
class INotifyDialogHost {
 public:
  virtual ~INotifyDialogHost() = default;
  virtual NotifySettings LoadNotifySettings() = 0;
  // Writes notify.ini and applies the settings; false with `error` set.
  virtual bool SaveNotifySettings(const NotifySettings& settings, std::string* error) = 0;
  // Sends the test message; the answer comes back through TestAnswered.
  virtual void SendTestMessage(NotifyChannel channel, const ChannelSettings& settings) = 0;
};

class Tfrmnotify {
 public:
  explicit Tfrmnotify(INotifyDialogHost& host) : host_(host) {}

  struct Row {
    bool enabled = false;
    std::string url;
    std::string secret;
    bool testEnabled = true;  // off while its test message is under way
  };

  // ---- events ----
  void FormShow();  // fills the rows from notify.ini
  void TestClick(NotifyChannel channel);
  void TestAnswered(NotifyChannel channel, const HookVerdict& verdict);
  void SaveClick();
  void Close() { closeRequested = true; }

  // ---- control state ----
  std::array<Row, kNotifyChannelCount> rows;
  Row& operator[](NotifyChannel c) { return rows[static_cast<int>(c)]; }
  std::string statusLine;
  bool closeRequested = false;

 private:
  // False, with the status line saying why, when an enabled or tested
  // channel has no usable address.
  bool CheckAddress(NotifyChannel channel);
  NotifySettings FromRows() const;

  INotifyDialogHost& host_;
  NotifySettings loaded_;  // keeps what the rows do not show
};

}  // namespace app
