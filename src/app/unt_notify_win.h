// Push notifications in the Windows program: WinHTTP sends, DPAPI seals the
// secrets of notify.ini, the delivery worker's log lines reach the daily log
// on the GUI thread, and the dialog "消息推送" is the view of Tfrmnotify.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/unt_frmnotify.h"
#include "app/unt_notify.h"
#include "policy/unt_monitorloop.h"
#include "win/all_win.h"

namespace app {

// Seals for the current Windows user (CryptProtectData).
class DpapiProtector : public ISecretProtector {
 public:
  std::optional<std::string> Protect(std::string_view plain) override;
  std::optional<std::string> Unprotect(std::string_view sealed) override;
};

class TfrmnotifyWin {
 public:
  TfrmnotifyWin(HWND owner, INotifyDialogHost& host);
  void Show();  // modeless
  Tfrmnotify& Model() { return model_; }
  // Brings a test message's answer in (GUI thread).
  void TestAnswered(NotifyChannel channel, const HookVerdict& verdict);

  // Control identifiers, for the UI driver: per channel in the order of
  // kNotifyChannels.
  static constexpr int kEnableId = 101, kUrlId = 111, kSecretId = 121, kTestId = 131, kSaveId = 141,
                       kStatusId = 151;

 private:
  template <class F>
  void Do(F&& f) {
    Pull();
    f();
    Sync();
  }
  void Pull();
  void Sync();

  struct RowControls {
    win::CheckBox enabled;
    win::Label urlLabel, secretLabel;
    win::Edit url, secret;
    win::Button test;
  };
  Tfrmnotify model_;
  win::Dialog dialog_;
  std::array<RowControls, kNotifyChannelCount> rows_;
  win::Button save_, close_;
  win::Label status_;
};

// The program's notifications: notify.ini in the application folder, one
// delivery worker, the monitor loop's fire port and the dialog.
class NotifyService : public policy::IFireNotice, public IOutcomeNotice, public INotifyDialogHost {
 public:
  // `dailyLog` runs on the GUI thread (through `gui`).
  NotifyService(std::string appFolder, win::GuiPoster gui, std::function<void(const std::string&)> dailyLog);
  ~NotifyService() override;

  void QueueFire(const policy::FireEvent& fire, base::TDateTime now) override;
  void QueueOutcome(const NotifyEvent& e) override;
  void ShowDialog(HWND owner);
  // Sends what the last closing kept (once; GUI thread).
  void ResumeOutbox();
  // At closing: waits a little for what is queued; the rest is kept in the
  // outbox for the next start.
  void Close();

  // INotifyDialogHost
  NotifySettings LoadNotifySettings() override;
  bool SaveNotifySettings(const NotifySettings& settings, std::string* error) override;
  void SendTestMessage(NotifyChannel channel, const ChannelSettings& settings) override;

 private:
  std::string path_;
  win::GuiPoster gui_;
  DpapiProtector protector_;
  TNotifier notifier_;
  bool outboxResumed_ = false;
  std::unique_ptr<TfrmnotifyWin> dialog_;
  // Test answers find the dialog through this, also after it is gone.
  std::shared_ptr<TfrmnotifyWin*> dialogRef_ = std::make_shared<TfrmnotifyWin*>(nullptr);
};

}  // namespace app
