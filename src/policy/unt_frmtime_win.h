// The time monitor editor's window, on the editor frame.
#pragma once

#include "policy/unt_editorframe_win.h"
#include "policy/unt_frmtime.h"

namespace policy {

class TfrmtimeView final : public TEditorFrameWin {
 public:
  explicit TfrmtimeView(const TEditorViewArgs& args);
  Tfrmtime& Model() { return model_; }

 protected:
  void TakeFields() override;
  void SyncFields() override;

 private:
  Tfrmtime model_;
  win::CheckBox tradePrice_;
  win::Edit tradeTime_;
  win::Radio buy_, sell_;
};

}  // namespace policy
