// The windows of the take-profit, stop-loss and rebound editors: one layout
// for the three, on the editor frame's dialog.
#pragma once

#include <memory>

#include "policy/unt_editorframe_win.h"
#include "policy/unt_frmpolicypayoff.h"

namespace policy {

class TPayoffEditorView final : public TEditorFrameWin {
 public:
  // `kind` is 1 (take-profit), 5 (stop-loss) or 6 (rebound).
  TPayoffEditorView(const TEditorViewArgs& args, uint8_t kind);

  TPayoffEditor& Model() { return *editor_; }

 protected:
  void TakeFields() override;
  void SyncFields() override;

 private:
  std::unique_ptr<TPayoffEditor> editor_;
  win::Label amountLabel_;
  win::Edit amount_;
  win::Radio amountYuan_, amountPercent_;
};

}  // namespace policy
