// The window of the index monitor editor, on the editor frame's dialog.
#pragma once

#include <string>
#include <vector>

#include "policy/unt_editorframe_win.h"
#include "policy/unt_frmpolicyindex.h"

namespace policy {

class TfrmindexView final : public TEditorFrameWin {
 public:
  explicit TfrmindexView(const TEditorViewArgs& args);

  // Each opening reloads the index list first.
  void OpenForAdd() override;
  void OpenForModify(const TPolicyRecord& monitor) override;

  Tfrmindex& Model() { return index_; }

 protected:
  void TakeFields() override;
  void SyncFields() override;

 private:
  Tfrmindex index_;
  win::ListView list_;
  std::vector<std::string> shownItems_;
  win::Label indexName_, indexValue_;
  win::Radio up_, down_, sell_, buy_, points_, percent_;
  win::Edit change_;
};

}  // namespace policy
