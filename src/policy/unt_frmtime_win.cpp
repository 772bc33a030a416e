#include "policy/unt_frmtime_win.h"

namespace policy {

TfrmtimeView::TfrmtimeView(const TEditorViewArgs& args)
    : TEditorFrameWin(args.owner), model_(WithPoster(args), *this) {
  CreateFrame(model_, 456, 250);
  int y = CodeRow(22, "证券代码：");
  tradePrice_.Create(dialog_, {.text = "用即时成交价", .rect = G(kLabelX, y + 1, 140, 19)});
  tradePrice_.onClick = [this] { Do([this] { model_.RzCBPriceClick(tradePrice_.Checked()); }); };
  Register("RzCBPrice", tradePrice_);
  y += kRowHeight;
  y = SetPriceRow(y, "设定价位：", "元", true);

  NewLabel("下单时间：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  tradeTime_.Create(dialog_, {.rect = G(kFieldX, y, 60, kEditHeight), .id = kIdEditorFields, .maxLength = 5, .align = win::Align::Center});
  NewLabel("小时：分钟(24小时)", G(kFieldX + 68, y, 150, kEditHeight));
  Register("RzDTETradeTime", tradeTime_, &tradeTime_);
  y += kRowHeight;

  NewLabel("交易类型：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  buy_.Create(dialog_, {.text = "买入", .rect = G(kFieldX, y + 1, 60, 19), .firstInGroup = true});
  sell_.Create(dialog_, {.text = "卖出", .rect = G(kFieldX + 70, y + 1, 60, 19), .checked = true});
  y += kRowHeight;

  y = QuantityRow(y, "买卖数量：", "RzNumEditVolume");
  y = OptimiseRow(y, "‰", "千分比");
  ActiveRow(y);
  FinishFrame();
}

void TfrmtimeView::TakeFields() {
  model_.tradeTimeText = tradeTime_.Text();
  model_.buy = buy_.Checked();
}

void TfrmtimeView::SyncFields() {
  tradePrice_.SetChecked(model_.tradePriceChecked);
  SetText(tradeTime_, model_.tradeTimeText);
  buy_.SetChecked(model_.buy);
  sell_.SetChecked(!model_.buy);
}

}  // namespace policy
