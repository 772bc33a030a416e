// The login dialog's Win32 view: the controls of "用户登录", bound to the
// Tfrmlogin model, and the dialog's side of the model's host.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "account/unt_frmlogin.h"
#include "win/all_win.h"

namespace account {

// What the view needs from the program around it.
struct LoginViewArgs {
  HWND owner = nullptr;
  std::string applicationTitle;
  std::string vendorSite;
  // A web GET (on a worker): the body, or nullopt.
  std::function<std::optional<std::string>(const std::string& url)> httpGet;
  std::function<void(const std::string&)> showProgress;
  std::function<void()> closeProgress;
  std::function<void(const std::string&)> openInBrowser;
  win::GuiPoster poster;
};

class TfrmloginWin final : public ILoginHost {
 public:
  TfrmloginWin(LoginViewArgs args, IAccountService& service, settings::TSettings& settings, TSessionValues& session,
               void* loginSession);
  ~TfrmloginWin() override;
  TfrmloginWin(const TfrmloginWin&) = delete;
  TfrmloginWin& operator=(const TfrmloginWin&) = delete;

  // Shows the dialog modally; true when it closed with success.
  bool ShowModal();
  Tfrmlogin& Model() { return model_; }
  HWND Handle() const { return dialog_.Handle(); }

  // ---- ILoginHost ----
  void ShowInformation(const std::string& text, const std::string& title) override;
  void SetDialogVisible(bool visible) override;
  void RepaintMainWindow() override;
  void ShowProgress(const std::string& text) override { args_.showProgress(text); }
  void CloseProgress() override { args_.closeProgress(); }
  void OpenInBrowser(const std::string& address) override { args_.openInBrowser(address); }

 private:
  void Take();  // controls -> model
  void Sync();  // model -> controls
  void FocusField();
  void Finish();
  void FetchNoticePicture();

  LoginViewArgs args_;
  std::string picturePath_;
  Tfrmlogin model_;
  win::Dialog dialog_;
  win::Picture notice_;
  win::Label serverLabel_, userLabel_, passwordLabel_, lineLabel_;
  win::ComboBox server_;
  win::Edit user_, password_;
  win::Radio telecom_, unicom_;
  win::CheckBox rememberName_, rememberPassword_, autoLogin_;
  win::Button ok_, cancel_;
  win::Timer timer_{kAutoLoginMs};
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace account
