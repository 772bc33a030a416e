// The price monitor editor's window, on the editor frame.
#pragma once

#include "policy/unt_editorframe_win.h"
#include "policy/unt_frmprice.h"

namespace policy {

class TfrmpriceView final : public TEditorFrameWin {
 public:
  explicit TfrmpriceView(const TEditorViewArgs& args);
  Tfrmprice& Model() { return model_; }

 protected:
  void TakeFields() override;
  void SyncFields() override;
  void SyncLive() override;

 private:
  Tfrmprice model_;
  win::ComboBox direction_;
  win::Edit change_;
  win::Radio changeYuan_, changePercent_, buy_, sell_;
  win::CheckBox relation_;
  TClickEdit relationCode_;
  win::Edit relationName_;
  win::Label relationPrice_;
};

}  // namespace policy
