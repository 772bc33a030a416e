#include "policy/unt_frmprice_win.h"

namespace policy {

TfrmpriceView::TfrmpriceView(const TEditorViewArgs& args)
    : TEditorFrameWin(args.owner), model_(WithPoster(args), *this) {
  CreateFrame(model_, 456, 306);
  int y = CodeRow(22, "证券代码：");
  y = BasisRow(y);
  y = SetPriceRow(y, "设定价位：", "元", true);

  NewLabel("变化趋向：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  direction_.Create(dialog_, {.items = {std::begin(kDirectionItems), std::end(kDirectionItems)}, .selected = 1,
                              .rect = G(kFieldX, y, 120, 23)});
  direction_.onChanged = [this] { Do([] {}); };
  y += kRowHeight;

  NewLabel("变化数量：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  change_.Create(dialog_, {.rect = G(kFieldX, y, kFieldWidth, kEditHeight), .id = kIdEditorFields, .align = win::Align::Right});
  changeYuan_.Create(dialog_, {.text = "元", .rect = G(kFieldX + kFieldWidth + 10, y + 1, 44, 19), .checked = true,
                               .firstInGroup = true});
  changePercent_.Create(dialog_, {.text = "%", .rect = G(kFieldX + kFieldWidth + 58, y + 1, 44, 19), .tooltip = "百分比"});
  Register("RzNumChangeVolume", change_, &change_);
  y += kRowHeight;

  NewLabel("交易类型：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  buy_.Create(dialog_, {.text = "买入", .rect = G(kFieldX, y + 1, 60, 19), .firstInGroup = true});
  sell_.Create(dialog_, {.text = "卖出", .rect = G(kFieldX + 70, y + 1, 60, 19), .checked = true});
  y += kRowHeight;

  y = QuantityRow(y, "买卖数量：", "RzNumEditVolume");

  relation_.Create(dialog_, {.text = "目标证券", .rect = G(kLabelX, y + 1, kFieldX - kLabelX, 19)});
  relation_.onClick = [this] { Do([this] { model_.RzCBRelationClick(relation_.Checked()); }); };
  relationCode_.Create(dialog_, {.rect = G(kFieldX, y, 70, kEditHeight), .id = kIdEditorFields + 1, .upperCase = true, .maxLength = 6,
                                 .tooltip = "证券代码"});
  relationCode_.onKeyUp = [this](UINT) { Do([this] { model_.RzEditLabelRelationKeyUp(); }); };
  relationCode_.onChanged = [this] { OnTextChanged([this] { model_.RzEditLabelRelationChange(); }); };
  relationName_.Create(dialog_, {.rect = G(kFieldX + 76, y, 96, kEditHeight), .readOnly = true});
  relationPrice_.Create(dialog_, {.rect = G(kFieldX + 178, y, 72, kEditHeight), .align = win::Align::Right,
                                  .color = RGB(200, 0, 0), .vcenter = true, .sunken = true});
  Register("RzEditLabelRelation", relationCode_, &relationCode_);
  y += kRowHeight;

  y = OptimiseRow(y, "‰", "千分比");
  ActiveRow(y);
  FinishFrame();
}

void TfrmpriceView::TakeFields() {
  model_.directionIndex = direction_.Selected() < 0 ? 3 : direction_.Selected();
  model_.changeAmountText = change_.Text();
  model_.changeYuan = changeYuan_.Checked();
  model_.buy = buy_.Checked();
  model_.relationCodeText = relationCode_.Text();
}

void TfrmpriceView::SyncFields() {
  direction_.Select(model_.directionIndex);
  SetText(change_, model_.changeAmountText);
  changeYuan_.SetChecked(model_.changeYuan);
  changePercent_.SetChecked(!model_.changeYuan);
  buy_.SetChecked(model_.buy);
  sell_.SetChecked(!model_.buy);
  relation_.SetChecked(model_.relationChecked);
  SetText(relationCode_, model_.relationCodeText);
  SetText(relationName_, model_.relationNameText);
}

void TfrmpriceView::SyncLive() {
  SetText(relationPrice_, model_.LivePriceText(TLiveRole::Target));
  relationCode_.Enable(model_.relationCodeEnabled);
  TEditorFrameWin::SyncLive();
}

}  // namespace policy
