// The caption tool's Win32 view: the controls of "修改关联下单软件名称"
// bound to the Tfrmmodifytradecaption model, and the finder: pressing the
// mouse on its picture captures the mouse, every move frames the window
// under the cursor, releasing it repaints the screen.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "trading/unt_frmmodifytradecaption.h"
#include "win/all_win.h"

namespace trading {

// The finder's work on the real screen.
std::unique_ptr<ICaptionFinderDesktop> CreateScreenFinder();

class TfrmmodifytradecaptionWin {
 public:
  // `finderCursor` is the program's cursor resource "CURSOR1" (not owned).
  TfrmmodifytradecaptionWin(HWND owner, settings::TSettings& settings, std::function<void()> relink,
                            HCURSOR finderCursor);
  ~TfrmmodifytradecaptionWin();
  TfrmmodifytradecaptionWin(const TfrmmodifytradecaptionWin&) = delete;
  TfrmmodifytradecaptionWin& operator=(const TfrmmodifytradecaptionWin&) = delete;

  void Show();  // modeless
  HWND Handle() const { return dialog_.Handle(); }
  Tfrmmodifytradecaption& Model() { return model_; }

 private:
  class FinderImage;
  void Sync();
  void Finish();

  std::unique_ptr<ICaptionFinderDesktop> screen_;
  Tfrmmodifytradecaption model_;
  HCURSOR cursor_;
  win::Dialog dialog_;
  win::Label profileLabel_, profile_, currentLabel_, current_, newLabel_;
  win::Edit newName_;
  std::unique_ptr<FinderImage> finder_;
  win::Label finderHint_, note1_, note2_;
  win::Button ok_, cancel_;
};

}  // namespace trading
