// The session of a logged-in user: the login and logout commands, the
// message connection with its reader and the online-time worker, presence
// notices, the user information, and the 3007 broadcasts of the logs and
// the monitor loop. Runs on the GUI thread; the workers' results come back
// through ISessionHost::PostToGui.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "account/unt_accountservice.h"
#include "account/unt_frmlogin.h"
#include "account/unt_frmuserinfo.h"
#include "account/unt_udprecvmsg.h"
#include "account/unt_updateonlinetime.h"
#include "app/unt_logs.h"

namespace app {

class Tfrmmain;

inline constexpr char kForcedLogoutText[] = "该账户在其他地方登录，您被迫下线！";
inline constexpr char kForcedLogoutTitle[] = "服务中断！";
inline constexpr char kSystemMessageTitle[] = "系统消息";
// Status pane 1 while the message connection is down.
inline constexpr char kMessageLinkDown[] = "消息服务器未连接，正在重试";

// What the session needs besides the main window.
class ISessionHost {
 public:
  virtual ~ISessionHost() = default;
  // The login dialog, modal; true when it closed with success.
  virtual bool ShowLoginDialog() = 0;
  // The quote engine's start at login (quotes::StartQuoteEngine: labels,
  // Stock_Init, Stock_Start). False when the engine refused, after the
  // logged-in flag was cleared, the engine quit and the user told.
  virtual bool StartQuoteEngine(const std::string& userId) = 0;
  virtual void QuitQuoteEngine() = 0;
  // The network speed probe, started at every login unless one runs.
  virtual void StartSpeedProbe() = 0;
  // A share post of a 1006 frame, for the share feed.
  virtual void ReceiveSharePost(const account::TSharePostBlock& post) = 0;
  virtual void ShowWarning(const std::string& text, const std::string& title) = 0;
  // Runs the job on the GUI thread later; from any thread.
  virtual void PostToGui(std::function<void()> job) = 0;
  virtual void Sleep(int milliseconds) = 0;
};

struct SessionOptions {
  account::MessageConnectionOptions connection;
  uint16_t messagePort = account::kMessagePort;
  int onlineTimePeriodMs = account::kOnlineTimePeriodMs;
  account::DateTimeSeparators separators;
};

class TSession final : public IMessageSender {
 public:
  TSession(Tfrmmain& main, ISessionHost& host, account::IAccountService& service, SessionOptions options = {});
  ~TSession() override;

  void LoginCommand();
  void LogoutCommand();
  void FetchUserInfo();
  void SendPresence(bool online);
  void StartSessionChannel();
  // Neither waits for an online-time update in flight (it finishes alone);
  // false when one was.
  bool StopSessionChannel();
  // Program close: both workers end now.
  bool Shutdown();

  account::TSessionValues& Values() { return values_; }
  const account::TUserInfoRecord& UserInfo() const { return values_.userInfo; }
  const account::DateTimeSeparators& Separators() const { return options_.separators; }

  // ---- IMessageSender: the 3007 lines of the logs and the monitor loop ----
  bool Connected() override { return connection_.Connected(); }
  void SendText(const std::string& userId, const std::string& text) override;

 private:
  void HandleFrame(int generation, const account::FrameBytes& frame);
  void ConnectionCameUp(int generation, int connection);

  Tfrmmain& main_;
  ISessionHost& host_;
  account::IAccountService& service_;
  SessionOptions options_;
  account::TSessionValues values_;
  account::TMessageConnection connection_;
  account::TOnlineTimeWorker onlineTime_;
  int generation_ = 0;       // one per started channel; older reports are dropped
  int presenceSentOn_ = 0;   // the connection that got the presence notice
};

}  // namespace app
