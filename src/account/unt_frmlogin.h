// The login dialog "用户登录" as a form model: the server list, the
// remembered fields of option.opt, the field checks, the call of the
// account service and the auto-login timer. The Win32 view owns the
// controls and forwards every event to one method here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "account/unt_accountservice.h"
#include "settings/unt_common.h"

namespace account {

inline constexpr char kLoginCaption[] = "用户登录";
inline constexpr char kLoginProgress[] = "正在登录，请稍后...";
inline constexpr char kLoginFailed[] = "登录失败：";
inline constexpr int kAutoLoginMs = 5000;
inline constexpr char kServersFile[] = "servers.cfg";

// What a login leaves for the session: who logged in, where.
struct TSessionValues {
  std::string accountServer;  // trimmed server text of the last login
  int32_t accountPort = 0;
  std::string userId;              // trimmed user text
  std::string encipheredPassword;  // cipher bytes of the trimmed GBK password
  TUserInfoRecord userInfo{};      // all zero until fetched and after logout
};

// What the dialog asks of the window around it.
class ILoginHost {
 public:
  virtual ~ILoginHost() = default;
  virtual void ShowInformation(const std::string& text, const std::string& title) = 0;
  // Hides or shows the dialog now (the account service call blocks).
  virtual void SetDialogVisible(bool visible) = 0;
  virtual void RepaintMainWindow() = 0;
  virtual void ShowProgress(const std::string& text) = 0;
  virtual void CloseProgress() = 0;
  virtual void OpenInBrowser(const std::string& address) = 0;  // maximised
};

// The servers.cfg lines, in file order, blank lines skipped; false when the
// file cannot be read.
bool ReadServerList(const std::string& path, std::vector<std::string>& servers);

class Tfrmlogin {
 public:
  enum class Focus { None, Server, User, Password };
  enum class Result { None, Ok, Cancel };

  // `applicationTitle` titles the message boxes; `vendorSite` is the site
  // of the notice picture and page (without a trailing "/").
  Tfrmlogin(ILoginHost& host, IAccountService& service, settings::TSettings& settings, TSessionValues& session,
            void* loginSession, std::string applicationTitle, std::string vendorSite);

  // ---- events ----
  // Each showing: fills the list and the remembered fields. False when
  // servers.cfg could not be read (the view reports it; the rest is done).
  bool FormShow();
  void bsSkinButtonOkClick();
  void bsSkinButtonCancelClick() { Close(Result::Cancel); }
  void FormKeyEscape() { Close(Result::Cancel); }
  void ImageNoticeClick();
  void TimerAutoLoginTimer(bool dialogVisible);

  // ---- control state ----
  std::string noticePictureUrl() const { return site_ + "/notice/login.bmp"; }
  const std::vector<std::string>& Servers() const { return servers_; }
  int serverIndex = -1;  // selected entry, -1 none
  std::string serverText;
  std::string userText;
  std::string passwordText;
  bool rememberName = false;      // "记住用户名"
  bool rememberPassword = false;  // "记住密码"
  bool telecom = true;            // "电信"; false "联通"
  bool autoLogin = false;         // "自动登录"
  Focus focus = Focus::None;
  bool AutoLoginTimerEnabled() const { return timerOn_; }
  Result ModalResult() const { return result_; }
  void ResetResult() { result_ = Result::None; }

 private:
  void Close(Result result);

  ILoginHost& host_;
  IAccountService& service_;
  settings::TSettings& settings_;
  TSessionValues& session_;
  void* loginSession_;
  std::string title_;
  std::string site_;
  std::vector<std::string> servers_;
  bool timerOn_ = true;  // runs from the dialog's creation
  Result result_ = Result::None;
};

}  // namespace account
