#include "sharing/unt_frmshowstock_win.h"

#include "base/files.h"

namespace sharing {

TfrmshowstockWin::TfrmshowstockWin(ShowStockViewArgs args, account::IAccountService& service,
                                   const account::TSessionValues& session)
    : args_(std::move(args)), model_(*this, service, session, args_.dailyLogPath, args_.clock) {
  dialog_.Create({.title = "晒股", .size = {600, 372}, .owner = args_.owner});
  group_.Create(dialog_, {.text = "晒股设置", .rect = {10, 8, 350, 292}});
  auto label = [this](win::Label& l, const char* text, int y) {
    l.Create(dialog_, {.text = text, .rect = {18, y + 2, 128, 20}, .align = win::Align::Right, .vcenter = true});
  };
  // Prices and amounts of at least 0 with three decimals; Up and Down step them.
  auto field = [this](win::NumericEdit& e, int y, int length, const std::string& tip = {}) {
    e.Create(dialog_, {.decimals = 3, .step = 0.01, .min = 0, .max = 9999999, .rect = {152, y, 110, 23},
                       .spinButtons = false, .maxLength = length, .tooltip = tip});
  };
  auto unit = [this](win::Label& l, int y) {
    l.Create(dialog_, {.text = "元", .rect = {268, y + 2, 30, 20}, .vcenter = true});
  };
  label(codeLabel_, "证券代码：", 32);
  code_.Create(dialog_, {.rect = {152, 32, 70, 23}, .maxLength = kCodeLength});
  name_.Create(dialog_, {.rect = {228, 32, 124, 23}, .readOnly = true});
  label(newPriceLabel_, "现价：", 62);
  newPrice_.Create(dialog_, {.text = "", .rect = {152, 64, 110, 20}, .color = RGB(200, 0, 0), .vcenter = true});
  label(buyLabel_, "介入价格：", 92);
  field(buyPrice_, 92, kNumberLength, kBuyPriceHint);
  unit(buyUnit_, 92);
  label(setLabel_, "移动止盈设定价格：", 122);
  field(setPrice_, 122, kNumberLength);
  unit(setUnit_, 122);
  label(backLabel_, "回落数量：", 152);
  field(backPrice_, 152, kNumberLength);
  backYuan_.Create(dialog_, {.text = "元", .rect = {268, 154, 40, 19}, .firstInGroup = true});
  backPercent_.Create(dialog_, {.text = "%", .rect = {310, 154, 40, 19}});
  label(lossLabel_, "条件止损设定价位：", 182);
  field(lossLimit_, 182, kNumberLength);
  unit(lossUnit_, 182);
  label(downLabel_, "下跌数量：", 212);
  field(down_, 212, kNumberLength);
  downYuan_.Create(dialog_, {.text = "元", .rect = {268, 214, 40, 19}, .firstInGroup = true});
  downPercent_.Create(dialog_, {.text = "%", .rect = {310, 214, 40, 19}});
  label(remarkLabel_, "备注(32字)：", 250);
  remark_.Create(dialog_, {.rect = {152, 250, 200, 40}, .multiline = true, .maxLength = kRemarkLength});
  help_.Create(dialog_, {.rect = {370, 14, 220, 286}});
  calculator_.Create(dialog_, {.text = "计算器", .rect = {10, 310, 80, 26}});
  post_.Create(dialog_, {.text = "晒出[&S]", .rect = {330, 310, 80, 26}, .defaultButton = true});
  cancel_.Create(dialog_, {.text = "取消[&C]", .rect = {420, 310, 80, 26}, .id = IDCANCEL});
  reset_.Create(dialog_, {.text = "撤销[&R]", .rect = {510, 310, 80, 26}});
  status_.Create(dialog_, {.panes = {{60, "提示："}, {win::kRest, "", true}}, .sizeGrip = false});

  code_.onKeyUp = [this](UINT) { Do([&] { model_.RzEditLabelKeyUp(); }); };
  // Pasted or dropped text is looked up as typed text is.
  code_.onChanged = [this] {
    if (!syncing_ && code_.Text() != model_.codeText) Do([&] { model_.RzEditLabelKeyUp(); });
  };
  post_.onClick = [this] { Do([&] { model_.ButtonSGClick(); }); };
  cancel_.onClick = [this] { Do([&] { model_.bsSkinButton2Click(); }); };
  reset_.onClick = [this] { Do([&] { model_.ButtonCZClick(); }); };
  calculator_.onClick = [this] { model_.RzBitBtn1Click(); };
  dialog_.onEscape = [this] { Do([&] { model_.bsSkinButton2Click(); }); };
  dialog_.onShow = [this] {
    help_.LoadRtfFile(base::PathToUtf8(base::PathFromUtf8(args_.applicationFolder) / "res" / kHelpFile));
    Do([&] { model_.FormShow(); });
  };
}

TfrmshowstockWin::~TfrmshowstockWin() { live_.reset(); }

void TfrmshowstockWin::ShowModal() {
  model_.Open();
  Sync();
  dialog_.ShowModal();
  model_.FormClose();
}

void TfrmshowstockWin::StartLivePrice(const std::string& code) {
  live_.reset();
  live_ = std::make_unique<quotes::TLivePriceLabel>(code, newPrice_, args_.poster, args_.requestQuote);
}

void TfrmshowstockWin::Take() {
  model_.codeText = code_.Text();
  model_.buyPriceText = buyPrice_.Text();
  model_.setPriceText = setPrice_.Text();
  model_.backPriceText = backPrice_.Text();
  model_.lossLimitText = lossLimit_.Text();
  model_.downText = down_.Text();
  model_.remarkText = remark_.Text();
  model_.backYuan = !backPercent_.Checked();
  model_.downYuan = !downPercent_.Checked();
}

void TfrmshowstockWin::FocusField(win::NumericEdit& field) {
  field.Focus();
  if (model_.selectFocused) field.SelectAll();
}

void TfrmshowstockWin::Sync() {
  syncing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{syncing_};
  dialog_.SetTitle(model_.caption);
  // Texts only when they differ: setting the code field's text again would
  // move the caret while the user types.
  auto set = [](win::Control& c, const std::string& text) {
    if (c.Text() != text) c.SetText(text);
  };
  set(code_, model_.codeText);
  set(name_, model_.nameText);
  set(buyPrice_, model_.buyPriceText);
  set(setPrice_, model_.setPriceText);
  set(backPrice_, model_.backPriceText);
  set(lossLimit_, model_.lossLimitText);
  set(down_, model_.downText);
  set(remark_, model_.remarkText);
  backYuan_.SetChecked(model_.backYuan);
  backPercent_.SetChecked(!model_.backYuan);
  downYuan_.SetChecked(model_.downYuan);
  downPercent_.SetChecked(!model_.downYuan);
  code_.Enable(model_.codeEnabled);
  post_.Enable(model_.postEnabled);
  reset_.Enable(model_.resetEnabled);
  for (win::Radio* r : {&backYuan_, &backPercent_, &downYuan_, &downPercent_}) r->Enable(model_.unitsEnabled);
  for (win::NumericEdit* e : {&buyPrice_, &setPrice_, &backPrice_, &lossLimit_, &down_}) {
    e->SetReadOnly(!model_.fieldsEditable);
  }
  remark_.SetReadOnly(!model_.fieldsEditable);
  status_.SetPaneText(1, model_.status);
  switch (model_.focus) {
    case Tfrmshowstock::Focus::Code: code_.Focus(); break;
    case Tfrmshowstock::Focus::BuyPrice: FocusField(buyPrice_); break;
    case Tfrmshowstock::Focus::SetPrice: FocusField(setPrice_); break;
    case Tfrmshowstock::Focus::BackPrice: FocusField(backPrice_); break;
    case Tfrmshowstock::Focus::LossLimit: FocusField(lossLimit_); break;
    case Tfrmshowstock::Focus::Down: FocusField(down_); break;
    case Tfrmshowstock::Focus::Remark: remark_.Focus(); break;
    case Tfrmshowstock::Focus::None: break;
  }
  model_.focus = Tfrmshowstock::Focus::None;
  if (model_.closeRequested) {
    model_.closeRequested = false;
    dialog_.EndModal(IDOK);
  }
}

}  // namespace sharing
