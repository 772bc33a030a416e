// The automatic shutdown on Windows: ShutdownComputer with the shutdown
// privilege, and the dialog's view with its TimerShutdown.
#pragma once

#include <memory>

#include "utilities/unt_frmautoshutdown.h"
#include "win/all_win.h"

namespace utilities {

// Switches the computer off (shut down, force, power off): on Windows 9x
// directly, on Windows NT with "SeShutdownPrivilege" enabled for the call
// and disabled again. True when the shutdown call succeeded.
bool ShutdownComputer();

class TfrmshutdownWin {
 public:
  // The model's host gives the clock, the message box, the date pane and
  // the shutdown itself.
  TfrmshutdownWin(HWND owner, IShutdownHost& host);
  // Modeless; the armed timer keeps running while the dialog is hidden.
  void Show();
  Tfrmshutdown& Model() { return model_; }
  HWND Handle() const { return dialog_.Handle(); }

 private:
  template <class F>
  void Do(F&& f) {
    model_.timeText = time_.Text();
    f();
    Sync();
  }
  void Sync();

  Tfrmshutdown model_;
  win::Dialog dialog_;
  win::Label timeLabel_, state_;
  win::Edit time_;
  win::Edit note_;
  win::Button set_, reset_, close_;
  win::Timer timer_{kShutdownTimerMs};
};

}  // namespace utilities
