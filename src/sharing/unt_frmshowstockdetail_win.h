// The detail window of a feed row: a modal dialog with the row's texts in
// read-only fields, the risk note and "确定[&O]"; Esc closes it.
#pragma once

#include <array>
#include <string>

#include "sharing/unt_frmshowstockdetail.h"
#include "win/all_win.h"

namespace sharing {

class TfrmshowstockdetailWin {
 public:
  explicit TfrmshowstockdetailWin(HWND owner);
  // Fills the fields from the row and shows the window modally.
  void Show(const std::array<std::string, kFeedColumns>& cells);
  HWND Handle() const { return dialog_.Handle(); }

 private:
  Tfrmshowstockdetail model_;
  win::Dialog dialog_;
  std::array<win::Label, 7> labels_;
  std::array<win::Edit, 7> fields_;
  win::Panel note_;
  win::Label noteText_;
  win::Button ok_;
};

}  // namespace sharing
