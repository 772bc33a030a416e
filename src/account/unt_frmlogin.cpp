#include "account/unt_frmlogin.h"

#include <fstream>

#include "account/password_cipher.h"
#include "base/files.h"
#include "base/gbk.h"
#include "base/text.h"
#include "settings/options_record.h"

namespace account {

bool ReadServerList(const std::string& path, std::vector<std::string>& servers) {
  servers.clear();
  std::ifstream in(base::PathFromUtf8(path), std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const std::string text = base::GbkToUtf8Lossy(base::Trim(line));
    if (!text.empty()) servers.push_back(text);
  }
  return true;
}

Tfrmlogin::Tfrmlogin(ILoginHost& host, IAccountService& service, settings::TSettings& settings,
                     TSessionValues& session, void* loginSession, std::string applicationTitle, std::string vendorSite)
    : host_(host),
      service_(service),
      settings_(settings),
      session_(session),
      loginSession_(loginSession),
      title_(std::move(applicationTitle)),
      site_(std::move(vendorSite)) {}

bool Tfrmlogin::FormShow() {
  result_ = Result::None;
  const bool listRead = ReadServerList(settings_.ApplicationFolder() + kServersFile, servers_);
  const settings::TOptionsRecord& o = settings_.options;
  const std::string remembered = o.ServerAddress();
  serverIndex = -1;
  serverText.clear();
  for (size_t i = 0; i < servers_.size(); ++i) {
    if (servers_[i] == remembered) {
      serverIndex = static_cast<int>(i);
      serverText = servers_[i];
      break;
    }
  }
  // A stored name or password stays in the record when its box is later
  // unticked, but only a ticked box brings it back into the field.
  rememberName = o.rememberName != 0;
  userText = rememberName ? o.UserName() : std::string();
  rememberPassword = o.rememberPassword != 0;
  passwordText = rememberPassword ? base::GbkToUtf8Lossy(CipherPassword(o.StoredPassword())) : std::string();
  telecom = o.networkLine == 1;
  autoLogin = o.autoLogin != 0;
  focus = Focus::User;
  return listRead;
}

void Tfrmlogin::bsSkinButtonOkClick() {
  timerOn_ = false;
  const std::string server(base::Trim(serverText));
  const std::string user(base::Trim(userText));
  const std::string password(base::Trim(passwordText));
  if (server.empty()) {
    host_.ShowInformation("服务器地址不能为空！", title_);
    focus = Focus::Server;
    return;
  }
  if (user.empty()) {
    host_.ShowInformation("用户名不能为空！", title_);
    focus = Focus::User;
    return;
  }
  if (password.empty()) {
    host_.ShowInformation("密码不能为空！", title_);
    focus = Focus::Password;
    return;
  }

  session_.accountServer = server;
  session_.accountPort = kAccountServicePort;
  const std::string enciphered = CipherPassword(base::Utf8ToGbkLossy(password));
  settings::TLoginChoices choices;
  choices.serverAddress = server;
  choices.serverPort = kAccountServicePort;
  choices.telecomLine = telecom;
  choices.rememberName = rememberName;
  choices.userName = userText;  // as typed, blanks and all
  choices.rememberPassword = rememberPassword;
  choices.encipheredPassword = enciphered;
  choices.autoLogin = autoLogin;
  settings::StoreLoginChoices(settings_.options, choices);
  try {
    settings::WriteOptions(settings_.OptionsPath(), settings_.options);
  } catch (const std::exception& e) {
    // The choices hold for this run; the login itself does not depend on them.
    host_.ShowInformation(std::string("设置未能保存：") + e.what(), title_);
  }
  session_.userId = user;
  session_.encipheredPassword = enciphered;

  host_.SetDialogVisible(false);
  host_.RepaintMainWindow();
  host_.ShowProgress(kLoginProgress);
  std::string reason;
  const auto outcome = service_.Login(session_.accountServer, session_.accountPort, session_.userId,
                                      session_.encipheredPassword, loginSession_, reason);
  host_.SetDialogVisible(true);
  host_.CloseProgress();
  if (outcome && *outcome != 0) {
    host_.ShowInformation(kLoginFailed + reason, title_);
    focus = Focus::User;
    return;
  }
  Close(Result::Ok);
}

void Tfrmlogin::ImageNoticeClick() { host_.OpenInBrowser(site_ + "/notice/login.html"); }

void Tfrmlogin::TimerAutoLoginTimer(bool dialogVisible) {
  if (!timerOn_ || !dialogVisible) return;
  timerOn_ = false;
  if (autoLogin) bsSkinButtonOkClick();
}

void Tfrmlogin::Close(Result result) { result_ = result; }

}  // namespace account
