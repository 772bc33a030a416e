#include "policy/unt_editorframe_win.h"

#include "trading/unt_calculator_win.h"

namespace policy {
namespace {

constexpr int kMargin = 8;
constexpr int kHelpWidth = 230;
constexpr int kButtonHeight = 26;
constexpr int kButtonWidth = 84;
constexpr int kStatusHeight = 22;

}  // namespace

TEditorServices WithPoster(const TEditorViewArgs& args) {
  TEditorServices services = args.services;
  services.postToGui = [poster = args.poster](std::function<void()> job) { poster.Post(std::move(job)); };
  return services;
}

std::optional<LRESULT> TClickEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN && onClick) onClick();
  return win::Edit::HandleMessage(message, wParam, lParam);
}

void TEditorFrameWin::CreateFrame(TEditorFrame& model, int groupWidth, int groupHeight) {
  model_ = &model;
  groupWidth_ = groupWidth;
  groupHeight_ = groupHeight;
  groupX_ = kMargin + kHelpWidth + kMargin;
  groupY_ = kMargin - 2;
  clientWidth_ = groupX_ + groupWidth + kMargin;
  clientHeight_ = groupY_ + groupHeight + kMargin + kButtonHeight + kMargin + kStatusHeight;
  dialog_.Create({.title = "", .size = {clientWidth_, clientHeight_}, .owner = owner_});
  group_.Create(dialog_, {.text = kEditorGroupCaption, .rect = {groupX_, groupY_, groupWidth, groupHeight}});
  dialog_.onEscape = [this] { Do([this] { model_->EscapePressed(); }); };
  // Enter in a field moves on to the next one; on a button it presses it.
  dialog_.onEnter = [this] {
    // The dialog is a window of its own class: no dialog procedure moves
    // the focus for it.
    if (HWND next = GetNextDlgTabItem(dialog_.Handle(), GetFocus(), FALSE)) {
      SetFocus(next);
      SendMessageW(next, EM_SETSEL, 0, -1);
    }
  };
  dialog_.onClose = [this](bool&) { model_->FormClose(); };
}

void TEditorFrameWin::FinishFrame() {
  const int buttonsY = groupY_ + groupHeight_ + kMargin;
  if (hasSetPrice_ || hasQuantity_) {
    saveDefault_.Create(dialog_, {.text = kSaveDefaultHint, .rect = {groupX_, buttonsY, 120, kButtonHeight},
                                  .tooltip = kSaveDefaultHint});
    saveDefault_.onClick = [this] { Do([this] { model_->SaveDefaultsClick(); }); };
  }
  const int right = groupX_ + groupWidth_;
  ok_.Create(dialog_, {.text = kOkCaption, .rect = {right - 3 * kButtonWidth - 12, buttonsY, kButtonWidth, kButtonHeight}});
  cancel_.Create(dialog_, {.text = kCancelCaption, .rect = {right - 2 * kButtonWidth - 6, buttonsY, kButtonWidth, kButtonHeight}});
  reset_.Create(dialog_, {.text = kResetCaption, .rect = {right - kButtonWidth, buttonsY, kButtonWidth, kButtonHeight}});
  ok_.onClick = [this] { Do([this] { model_->OkClick(); }); };
  cancel_.onClick = [this] { Do([this] { model_->CancelClick(); }); };
  reset_.onClick = [this] { Do([this] { model_->ResetClick(); }); };
  help_.Create(dialog_, {.rect = {kMargin, kMargin, kHelpWidth, buttonsY + kButtonHeight - kMargin}});
  status_.Create(dialog_, {.panes = {{48, kEditorStatusCaption}, {win::kRest, "", true}}, .sizeGrip = false});
  status_.Layout();
}

void TEditorFrameWin::Register(const std::string& name, win::Control& control, win::Edit* edit) {
  focusables_[name] = {&control, edit};
}

win::Label& TEditorFrameWin::NewLabel(const std::string& text, const win::Rect& rect) {
  labels_.push_back(std::make_unique<win::Label>());
  labels_.back()->Create(dialog_, {.text = text, .rect = rect, .vcenter = true});
  return *labels_.back();
}

int TEditorFrameWin::CodeRow(int y, const std::string& caption) {
  codeLabel_.Create(dialog_, {.text = caption, .rect = G(kLabelX, y, kFieldX - kLabelX, kEditHeight), .vcenter = true});
  code_.Create(dialog_, {.rect = G(kFieldX, y, 70, kEditHeight), .id = kIdCode, .upperCase = true, .maxLength = 6,
                         .tooltip = "证券代码"});
  name_.Create(dialog_, {.rect = G(kFieldX + 76, y, 96, kEditHeight), .id = kIdName, .readOnly = true});
  newPrice_.Create(dialog_, {.rect = G(kFieldX + 178, y, 72, kEditHeight), .align = win::Align::Right,
                             .color = RGB(200, 0, 0), .vcenter = true, .sunken = true});
  code_.onKeyUp = [this](UINT) { Do([this] { model_->RzEditLabelKeyUp(); }); };
  // Pasted or dropped text is looked up as typed text is.
  code_.onChanged = [this] { OnTextChanged([this] { model_->RzEditLabelChange(); }); };
  code_.onClick = [this] { Do([this] { model_->RzEditLabelClick(); }); };
  Register(kCtlCode, code_, &code_);
  return y + kRowHeight;
}

int TEditorFrameWin::BasisRow(int y) {
  hasBasis_ = true;
  const int boxX[4] = {0, kLabelX, kLabelX + 140, kLabelX + 280};
  for (int box = 1; box <= 3; ++box) {
    basis_[box].Create(dialog_, {.text = TEditorFrame::kBasisCaptions[box], .rect = G(boxX[box], y, 80, 19)});
    basis_[box].onClick = [this, box] { Do([this, box] { model_->BasisClick(box, basis_[box].Checked()); }); };
    Register(TEditorFrame::kBasisCtl[box], basis_[box]);
    if (box == 1) openLabel_.Create(dialog_, {.rect = G(boxX[box] + 80, y, 56, 19), .vcenter = true});
    if (box == 2) closeLabel_.Create(dialog_, {.rect = G(boxX[box] + 80, y, 56, 19), .vcenter = true});
  }
  return y + kRowHeight;
}

int TEditorFrameWin::SetPriceRow(int y, const std::string& caption, const std::string& unit, bool calculator) {
  hasSetPrice_ = true;
  setPriceLabel_.Create(dialog_, {.text = caption, .rect = G(kLabelX, y, kFieldX - kLabelX, kEditHeight), .vcenter = true});
  setPrice_.Create(dialog_, {.rect = G(kFieldX, y, kFieldWidth, kEditHeight), .id = kIdSetPrice, .align = win::Align::Right});
  setPriceSpin_.Create(dialog_, {.rect = G(kFieldX + kFieldWidth, y, 17, kEditHeight)});
  setPriceSpin_.onUp = [this] { Do([this] { model_->SetPriceSpin(true); }); };
  setPriceSpin_.onDown = [this] { Do([this] { model_->SetPriceSpin(false); }); };
  setPriceUnit_.Create(dialog_, {.text = unit, .rect = G(kFieldX + kFieldWidth + 22, y, 24, kEditHeight), .vcenter = true});
  if (calculator) {
    calculator_.Create(dialog_, {.text = "计算器", .rect = G(kFieldX + kFieldWidth + 50, y - 1, 64, 23),
                                 .tooltip = "计算器"});
    calculator_.onClick = [this] { Do([this] { model_->CalculatorClick(); }); };
  }
  Register(kCtlSetPrice, setPrice_, &setPrice_);
  return y + kRowHeight;
}

int TEditorFrameWin::QuantityRow(int y, const std::string& caption, const std::string& control) {
  hasQuantity_ = true;
  quantityLabel_.Create(dialog_, {.text = caption, .rect = G(kLabelX, y, kFieldX - kLabelX, kEditHeight), .vcenter = true});
  quantity_.Create(dialog_, {.rect = G(kFieldX, y, kFieldWidth, kEditHeight), .id = kIdQuantity, .align = win::Align::Right});
  quantitySpin_.Create(dialog_, {.rect = G(kFieldX + kFieldWidth, y, 17, kEditHeight), .tooltip = kQuantitySpinHint});
  quantitySpin_.onUp = [this] { Do([this] { model_->QuantitySpin(true); }); };
  quantitySpin_.onDown = [this] { Do([this] { model_->QuantitySpin(false); }); };
  NewLabel("股", G(kFieldX + kFieldWidth + 22, y, 24, kEditHeight));
  Register(control, quantity_, &quantity_);
  return y + kRowHeight;
}

int TEditorFrameWin::OptimiseRow(int y, const std::string& otherUnit, const std::string& otherHint) {
  hasOptimise_ = true;
  optimise_.Create(dialog_, {.text = "报价优化", .rect = G(kLabelX, y + 1, kFieldX - kLabelX, 19), .tooltip = kOptimiseHint});
  optimise_.onClick = [this] { Do([this] { model_->OptimiseClick(optimise_.Checked()); }); };
  optimiseAmount_.Create(dialog_, {.rect = G(kFieldX, y, kFieldWidth, kEditHeight), .id = kIdOptimiseAmount, .align = win::Align::Right,
                                   .tooltip = kOptimiseAmountHint});
  optYuan_.Create(dialog_, {.text = "元", .rect = G(kFieldX + kFieldWidth + 10, y + 1, 44, 19), .firstInGroup = true});
  optOther_.Create(dialog_, {.text = otherUnit, .rect = G(kFieldX + kFieldWidth + 58, y + 1, 44, 19),
                             .tooltip = otherHint});
  optYuan_.onClick = [this] { Do([] {}); };
  optOther_.onClick = [this] { Do([] {}); };
  Register("RzCheckBoxOp", optimise_);
  Register(kCtlOptimise, optimiseAmount_, &optimiseAmount_);
  return y + kRowHeight;
}

int TEditorFrameWin::ActiveRow(int y) {
  hasActive_ = true;
  active_.Create(dialog_, {.text = "采用自动交易", .rect = G(kLabelX, y + 1, 140, 19), .tooltip = kActiveHint});
  Register("RzCBActive", active_);
  return y + kRowHeight;
}

// ---- opening and closing ----

void TEditorFrameWin::OpenForAdd() {
  model_->OpenForAdd();
  ShowModal();
}

void TEditorFrameWin::OpenForModify(const TPolicyRecord& monitor) {
  if (!model_->OpenForModify(monitor)) return;
  ShowModal();
}

void TEditorFrameWin::ShowModal() {
  model_->FormShow();
  if (!help_.LoadRtfFile(model_->HelpPath())) help_.SetText("没有找到帮助文件。");
  help_.ScrollToTop();
  Sync();
  dialog_.onShow = [this] { ApplyFocus(); };
  dialog_.ShowModal();
  // Every way out of the dialog: the updaters stop.
  model_->FormClose();
}

bool TEditorFrameWin::AskYesNo(const std::string& text, const std::string& title) {
  return win::AskYesNo(dialog_.Handle(), text, title);
}

void TEditorFrameWin::ShowCalculator() { trading::ShowCalculator(dialog_.Handle()); }

// ---- copying between the controls and the model ----

namespace {
struct Busy {
  explicit Busy(int& n) : n(n) { ++n; }
  ~Busy() { --n; }
  int& n;
};
}  // namespace

void TEditorFrameWin::Do(const std::function<void()>& event) {
  const Busy busy(busy_);
  Take();
  try {
    event();
  } catch (...) {
    Sync();
    throw;
  }
  Sync();
  if (model_->TakeClose()) dialog_.EndModal(IDOK);
}

void TEditorFrameWin::SetText(win::Control& control, const std::string& text) {
  if (control && control.Text() != text) control.SetText(text);
}

void TEditorFrameWin::Take() {
  TEditorFrame& m = *model_;
  m.codeText = code_.Text();
  if (hasSetPrice_) m.setPriceText = setPrice_.Text();
  if (hasQuantity_) m.quantityText = quantity_.Text();
  if (hasOptimise_) {
    m.optimise.amount = optimiseAmount_.Text();
    m.optimise.yuan = optYuan_.Checked();
  }
  if (hasActive_) m.activeChecked = active_.Checked();
  TakeFields();
}

void TEditorFrameWin::Sync() {
  const Busy busy(busy_);
  const TEditorFrame& m = *model_;
  SetText(dialog_, m.title);
  SetText(code_, m.codeText);
  SetText(name_, m.nameText);
  if (hasBasis_) {
    SetText(openLabel_, m.openText);
    SetText(closeLabel_, m.closeText);
    for (int box = 1; box <= 3; ++box) basis_[box].SetChecked(m.basis == box);
  }
  if (hasSetPrice_) {
    SetText(setPrice_, m.setPriceText);
    setPrice_.Enable(m.setPriceEnabled);
  }
  if (hasQuantity_) SetText(quantity_, m.quantityText);
  if (hasOptimise_) {
    optimise_.SetChecked(m.optimise.checked);
    SetText(optimiseAmount_, m.optimise.amount);
    optYuan_.SetChecked(m.optimise.yuan);
    optOther_.SetChecked(!m.optimise.yuan);
    optimiseAmount_.Enable(m.optimise.Enabled());
    optYuan_.Enable(m.optimise.Enabled());
    optOther_.Enable(m.optimise.Enabled());
  }
  if (hasActive_) active_.SetChecked(m.activeChecked);
  if (status_) status_.SetPaneText(1, m.statusText);
  SyncFields();
  SyncLive();
  ApplyFocus();
}

void TEditorFrameWin::SyncLive() {
  SetText(newPrice_, model_->LivePriceText(TLiveRole::Main));
  code_.Enable(model_->codeEnabled);
  UpdateWindow(dialog_.Handle());
}

void TEditorFrameWin::ApplyFocus() {
  if (!IsWindowVisible(dialog_.Handle())) return;  // taken when the dialog shows
  const auto request = model_->TakeFocus();
  if (!request) return;
  const auto found = focusables_.find(request->control);
  if (found == focusables_.end() || !found->second.control->Enabled()) return;
  found->second.control->Focus();
  if (request->selectAll && found->second.edit) found->second.edit->SelectAll();
}

}  // namespace policy
