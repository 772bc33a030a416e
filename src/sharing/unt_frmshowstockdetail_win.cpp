#include "sharing/unt_frmshowstockdetail_win.h"

namespace sharing {

TfrmshowstockdetailWin::TfrmshowstockdetailWin(HWND owner) {
  dialog_.Create({.title = kDetailCaption, .size = {420, 300}, .owner = owner});
  for (size_t i = 0; i < fields_.size(); ++i) {
    const int y = 14 + static_cast<int>(i) * 30;
    labels_[i].Create(dialog_, {.text = model_.fields[i].label, .rect = {12, y + 2, 128, 20}, .align = win::Align::Right,
                                .vcenter = true});
    fields_[i].Create(dialog_, {.rect = {146, y, 258, 23}, .readOnly = true});
  }
  note_.Create(dialog_, {.rect = {12, 226, 392, 28}, .background = RGB(255, 251, 240), .border = true});
  noteText_.Create(note_, {.text = kDetailFooter, .rect = {6, 4, 378, 18}, .color = RGB(128, 0, 0), .vcenter = true});
  ok_.Create(dialog_, {.text = "确定[&O]", .rect = {318, 264, 86, 26}, .id = IDOK, .defaultButton = true});
  ok_.onClick = [this] { dialog_.EndModal(IDOK); };
}

void TfrmshowstockdetailWin::Show(const std::array<std::string, kFeedColumns>& cells) {
  model_.Fill(cells);
  for (size_t i = 0; i < fields_.size(); ++i) fields_[i].SetText(model_.fields[i].text);
  dialog_.onShow = [this] { ok_.Focus(); };
  dialog_.ShowModal();
}

}  // namespace sharing
