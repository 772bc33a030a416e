// The user information dialog's Win32 view: "账户信息", modeless, created
// once and kept, bound to the Tfrmuserinfo model.
#pragma once

#include <windows.h>

#include <functional>

#include "account/unt_frmuserinfo.h"
#include "win/all_win.h"

namespace account {

class TfrmuserinfoWin {
 public:
  // `levelIcon` gives the icon resource of a level picture index.
  TfrmuserinfoWin(HWND owner, Tfrmuserinfo& model, std::function<int(int)> levelIcon);
  void Show();
  HWND Handle() const { return dialog_.Handle(); }

 private:
  void Fill();
  void CloseIfAsked();

  Tfrmuserinfo& model_;
  std::function<int(int)> levelIcon_;
  win::Dialog dialog_;
  win::ListView grid_;
  win::Picture picture_;
  win::Label levelLabel_;
  win::ProgressBar level_;
  win::ProgressBar progress_;
  win::Button refresh_, close_;
};

}  // namespace account
