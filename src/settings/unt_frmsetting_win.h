// The profile dialog's Win32 view: the controls of "下载配置", bound to the
// Tfrmsetting model. The file server is talked to on a worker thread while
// the dialog keeps painting its gauge and the program its windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "settings/unt_frmsetting.h"
#include "win/all_win.h"

namespace settings {

// What the dialog needs from the main window.
struct FrmsettingViewArgs {
  HWND owner = nullptr;
  std::string applicationTitle;
  std::function<std::string()> lastLoginServer;
  std::function<bool()> loggedIn;
  std::function<void()> reassociate;
  std::function<bool()> tradingWindowFound;
};

class TfrmsettingWin final : public IFrmsettingHost {
 public:
  // `client` is the main window's file-server connection, kept between openings.
  TfrmsettingWin(FrmsettingViewArgs args, TSettings& settings, IFileClient& client);
  ~TfrmsettingWin() override;
  TfrmsettingWin(const TfrmsettingWin&) = delete;
  TfrmsettingWin& operator=(const TfrmsettingWin&) = delete;

  void ShowModal();
  HWND Handle() const { return dialog_.Handle(); }
  Tfrmsetting& Model() { return model_; }

  // ---- IFrmsettingHost ----
  std::string ApplicationTitle() override { return args_.applicationTitle; }
  void ShowInformation(const std::string& text, const std::string& title) override;
  bool AskYesNo(const std::string& text, const std::string& title) override;
  std::string LastLoginServer() override { return args_.lastLoginServer(); }
  bool LoggedIn() override { return args_.loggedIn(); }
  void Reassociate() override { args_.reassociate(); }
  bool TradingWindowFound() override { return args_.tradingWindowFound(); }
  void ShowProgressNow() override { Sync(); }

 private:
  class WorkerClient;
  void Take();
  void Sync();
  template <class F>
  void Do(F&& event);

  FrmsettingViewArgs args_;
  std::unique_ptr<WorkerClient> client_;
  Tfrmsetting model_;
  win::Dialog dialog_;
  win::GroupBox serverGroup_, localGroup_;
  win::ListView serverList_, localList_;
  win::Edit search_;
  win::Button searchButton_, getList_, apply_;
  win::Button applyLocal_, listLocal_, deleteLocal_;
  win::Label hint_;
  win::ProgressBar gauge_;
  win::Label status_;
  win::Button close_, closeSmall_;
  std::vector<std::string> shownServer_, shownLocal_;
};

}  // namespace settings
