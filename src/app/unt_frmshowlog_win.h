// The window of the trade log viewer: a modeless top-level dialog that stays
// above the other windows, a toolbar and an owner-data report list that asks
// the model for the texts of the rows it shows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/unt_frmshowlog.h"
#include "win/bars_win.h"
#include "win/listview_win.h"
#include "win/window_win.h"

namespace app {

class TfrmshowlogWin : private IShowLogUi {
 public:
  enum ButtonId { kBtnClearLog = 101, kBtnRefresh = 102, kBtnClose = 103 };

  // Created hidden; `owner` is the main window (may be null).
  TfrmshowlogWin(std::string appFolder, HWND owner);

  // Loads the trade log and shows the viewer without blocking.
  void Show();

  Tfrmshowlog& Model() { return model_; }
  win::Dialog& Window() { return dialog_; }
  win::ToolBar& ToolBar() { return toolbar_; }
  win::ListView& List() { return list_; }

  // The question box; tests answer it here instead of the user.
  std::function<bool(const std::string& text, const std::string& title)> askYesNo;

 private:
  bool AskYesNo(const std::string& text, const std::string& title) override;
  void ShowInformation(const std::string& text, const std::string& title) override;
  void CloseWindow() override;
  // Pushes the model's rows into the list when they changed.
  void SyncRows();
  void Layout(win::Size client);

  DiskShowLogFiles files_;
  Tfrmshowlog model_;
  win::Dialog dialog_;
  win::ToolBar toolbar_;
  win::ListView list_;
  uint64_t shownVersion_ = ~uint64_t{0};
};

}  // namespace app
