#include "settings/unt_frmconfig_win.h"

namespace settings {

TfrmconfigWin::TfrmconfigWin(FrmconfigViewArgs args, TSettings& settings, IAutostartStore& autostart)
    : args_(std::move(args)), model_(*this, settings, autostart) {
  dialog_.Create({.title = kFrmconfigCaption, .size = {470, 474}, .owner = args_.owner});
  grid_.Create(dialog_, {.rect = {10, 10, 450, 150}, .columns = {{"名称", 190}, {"值", 236}}});
  // The value of a row is edited in place: a double click (or Enter) opens
  // the field over the cell, Enter or leaving it keeps the text, Esc drops it.
  cell_.Create(grid_, {.rect = {0, 0, 100, 20}});
  cell_.Show(false);
  grid_.onDoubleClick = [this](win::ListHit hit, POINT) { EditCell(hit.row); };
  grid_.onKeyDown = [this](UINT key) {
    if (key != VK_RETURN && key != VK_F2) return false;
    EditCell(grid_.SelectedRow());
    return true;
  };
  cell_.onEnter = [this] { EndCellEdit(true); };
  cell_.onFocusLost = [this] { EndCellEdit(true); };
  cell_.onKeyDown = [this](UINT key) {
    if (key != VK_ESCAPE) return false;
    EndCellEdit(false);
    return true;
  };

  alphaGroup_.Create(dialog_, {.text = "窗口透明度", .rect = {10, 168, 450, 112}});
  tradingLabel_.Create(dialog_, {.text = "下单软件透明度：", .rect = {20, 194, 130, 20}, .vcenter = true});
  trading_.Create(dialog_, {.rect = {150, 190, 250, 30}, .min = kTradingAlphaMin, .max = kAlphaMax, .ticks = 32,
                            .tooltip = kOpacityHint});
  tradingValue_.Create(dialog_, {.text = "", .rect = {404, 194, 46, 20}, .vcenter = true});
  mainLabel_.Create(dialog_, {.text = "Tarvolen软件透明度：", .rect = {20, 238, 130, 20}, .vcenter = true});
  main_.Create(dialog_, {.rect = {150, 234, 250, 30}, .min = kMainAlphaMin, .max = kAlphaMax, .ticks = 32,
                         .tooltip = kOpacityHint});
  mainValue_.Create(dialog_, {.text = "", .rect = {404, 238, 46, 20}, .vcenter = true});
  trading_.onChanged = [this](int position) {
    model_.TrackBarTradingChange(position);
    tradingValue_.SetText(std::to_string(model_.tradingAlpha));
  };
  main_.onChanged = [this](int position) {
    model_.TrackBarMainChange(position);
    mainValue_.SetText(std::to_string(model_.mainAlpha));
  };

  autostart_.Create(dialog_, {.text = "开机启动", .rect = {20, 292, 120, 20}});
  autoLogin_.Create(dialog_, {.text = "自动登录", .rect = {160, 292, 120, 20}});
  hideNotice_.Create(dialog_, {.text = "关闭启动提示", .rect = {300, 292, 140, 20}});

  programLabel_.Create(dialog_, {.text = "委托程序名称：", .rect = {10, 326, 110, 22}, .vcenter = true});
  program_.Create(dialog_, {.rect = {120, 326, 340, 23}});
  tapeLabel_.Create(dialog_, {.text = "行情录制保留天数：", .rect = {10, 394, 126, 22}, .vcenter = true});
  tapeDays_.Create(dialog_, {.rect = {136, 394, 50, 23}, .digitsOnly = true, .maxLength = 4});
  tapeUnit_.Create(dialog_, {.text = "天（0 为不录制）", .rect = {192, 394, 120, 22}, .vcenter = true});
  choose_.Create(dialog_, {.text = "选择文件", .rect = {290, 356, 82, 26}});
  clear_.Create(dialog_, {.text = "清除", .rect = {378, 356, 82, 26}});
  choose_.onClick = [this] {
    Take();
    model_.BtnChooseFileClick();
    Sync();
  };
  clear_.onClick = [this] {
    Take();
    model_.BtnClearClick();
    Sync();
  };

  ok_.Create(dialog_, {.text = "确定[&O]", .rect = {284, 436, 84, 28}, .id = IDOK, .defaultButton = true});
  cancel_.Create(dialog_, {.text = "取消[&C]", .rect = {376, 436, 84, 28}, .id = IDCANCEL});
  ok_.onClick = [this] {
    EndCellEdit(true);
    Take();
    // A failed write goes on to the program's error report; the dialog stays.
    model_.BtnOkClick();
    if (model_.Closed()) dialog_.EndModal(IDOK);
  };
  cancel_.onClick = [this] {
    EndCellEdit(false);
    model_.BtnCancelClick();
    dialog_.EndModal(IDCANCEL);
  };
  dialog_.onEscape = [this] {
    if (cell_.Visible()) return EndCellEdit(false);
    cancel_.onClick();
  };
}

TfrmconfigWin::~TfrmconfigWin() = default;

void TfrmconfigWin::ShowModal() {
  model_.FormShow();
  Sync();
  dialog_.ShowModal();
}

void TfrmconfigWin::Take() {
  model_.autostart = autostart_.Checked();
  model_.autoLogin = autoLogin_.Checked();
  model_.hideStartupNotice = hideNotice_.Checked();
  model_.programPath = program_.Text();
  model_.tapeKeepDays = tapeDays_.Text();
}

void TfrmconfigWin::Sync() {
  grid_.BeginUpdate();
  grid_.Clear();
  for (const auto& [key, value] : model_.rows) {
    const int row = grid_.AddRow(key);
    grid_.SetCell(row, 1, value);
  }
  grid_.EndUpdate();
  trading_.SetPosition(model_.tradingAlpha);
  tradingValue_.SetText(std::to_string(model_.tradingAlpha));
  main_.SetPosition(model_.mainAlpha);
  mainValue_.SetText(std::to_string(model_.mainAlpha));
  autostart_.SetChecked(model_.autostart);
  autoLogin_.SetChecked(model_.autoLogin);
  hideNotice_.SetChecked(model_.hideStartupNotice);
  program_.SetText(model_.programPath);
  tapeDays_.SetText(model_.tapeKeepDays);
}

void TfrmconfigWin::EditCell(int row) {
  if (row < 0 || static_cast<size_t>(row) >= model_.rows.size()) return;
  editedRow_ = row;
  const RECT r = grid_.CellRect(row, 1);
  cell_.MovePixels({r.left, r.top - 1, r.right, r.bottom + 1});
  cell_.SetText(model_.rows[static_cast<size_t>(row)].second);
  cell_.Show(true);
  cell_.Focus();
  cell_.SelectAll();
}

void TfrmconfigWin::EndCellEdit(bool keep) {
  if (editedRow_ < 0) return;
  const int row = editedRow_;
  editedRow_ = -1;  // before hiding: hiding takes the focus, which ends the edit again
  if (keep) {
    model_.rows[static_cast<size_t>(row)].second = cell_.Text();
    grid_.SetCell(row, 1, cell_.Text());
  }
  cell_.Show(false);
  grid_.Focus();
}

}  // namespace settings
