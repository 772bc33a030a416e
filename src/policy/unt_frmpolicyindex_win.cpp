#include "policy/unt_frmpolicyindex_win.h"

namespace policy {
namespace {

constexpr int kGroupWidth = 392;
constexpr int kFirstRow = 22;
constexpr int kListHeight = 92;  // the five built-in items without a scroll bar
constexpr int kRows = 8;

}  // namespace

TfrmindexView::TfrmindexView(const TEditorViewArgs& args)
    : TEditorFrameWin(args.owner), index_(WithPoster(args), *this) {
  CreateFrame(index_, kGroupWidth, kFirstRow + kRows * kRowHeight + kListHeight + 4);
  // Rows in field order, which is the tab order.
  int y = CodeRow(kFirstRow, "目标证券：");

  NewLabel("监控指数：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  list_.Create(dialog_, {.rect = G(kFieldX, y, 170, kListHeight),
                         .id = kIdEditorFields + 1,
                         .columns = {{"", 146}},
                         .gridLines = false,
                         .checkBoxes = true,
                         .noHeader = true});
  list_.onCheckChanged = [this](int row, bool checked) {
    Do([this, row, checked] { index_.RzCheckListChange(row, checked); });
  };
  Register(kCtlIndexList, list_);
  indexName_.Create(dialog_, {.rect = G(kFieldX + 178, y + 2, 110, kEditHeight), .bold = true, .vcenter = true});
  indexValue_.Create(dialog_, {.rect = G(kFieldX + 178, y + 28, 110, kEditHeight),
                               .id = kIdEditorFields + 2,
                               .align = win::Align::Right,
                               .color = RGB(200, 0, 0),
                               .vcenter = true,
                               .sunken = true,
                               .handCursor = true,
                               .tooltip = kIndexValueHint});
  indexValue_.onClick = [this] { Do([this] { index_.RzLbValueClick(); }); };
  y += kListHeight + 6;

  y = SetPriceRow(y, "设定点位：", "点", false);
  // The set point moves by ten points.
  setPriceSpin_.onUp = [this] { Do([this] { index_.SetPointSpin(true); }); };
  setPriceSpin_.onDown = [this] { Do([this] { index_.SetPointSpin(false); }); };

  NewLabel("跟踪方式：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  up_.Create(dialog_, {.text = "上涨", .rect = G(kFieldX, y + 1, 56, 19), .checked = true, .firstInGroup = true});
  down_.Create(dialog_, {.text = "下跌", .rect = G(kFieldX + 60, y + 1, 56, 19)});
  up_.onClick = [this] { Do([] {}); };
  down_.onClick = [this] { Do([] {}); };
  Register("RzRadioBtnUp", up_);
  y += kRowHeight;

  NewLabel("变化数量：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  change_.Create(dialog_,
                 {.rect = G(kFieldX, y, kFieldWidth, kEditHeight), .id = kIdEditorFields, .align = win::Align::Right});
  points_.Create(dialog_, {.text = "点", .rect = G(kFieldX + kFieldWidth + 10, y + 1, 44, 19), .checked = true,
                           .firstInGroup = true});
  percent_.Create(dialog_, {.text = "%", .rect = G(kFieldX + kFieldWidth + 58, y + 1, 44, 19), .tooltip = "百分比"});
  points_.onClick = [this] { Do([] {}); };
  percent_.onClick = [this] { Do([] {}); };
  Register(kCtlChange, change_, &change_);
  y += kRowHeight;

  NewLabel("交易类型：", G(kLabelX, y, kFieldX - kLabelX, kEditHeight));
  sell_.Create(dialog_, {.text = "卖出", .rect = G(kFieldX, y + 1, 56, 19), .checked = true, .firstInGroup = true});
  buy_.Create(dialog_, {.text = "买入", .rect = G(kFieldX + 60, y + 1, 56, 19)});
  sell_.onClick = [this] { Do([] {}); };
  buy_.onClick = [this] { Do([] {}); };
  y += kRowHeight;

  y = QuantityRow(y, "交易数量：", kCtlIndexQuantity);
  y = OptimiseRow(y, "‰", "千分比");
  ActiveRow(y);
  FinishFrame();
}

void TfrmindexView::OpenForAdd() {
  index_.LoadIndexList();
  TEditorFrameWin::OpenForAdd();
}

void TfrmindexView::OpenForModify(const TPolicyRecord& monitor) {
  TEditorFrameWin::OpenForModify(index_.PrepareModify(monitor));
}

void TfrmindexView::TakeFields() {
  index_.directionUp = up_.Checked();
  index_.changeText = change_.Text();
  index_.changePoints = points_.Checked();
  index_.sell = sell_.Checked();
}

void TfrmindexView::SyncFields() {
  if (shownItems_ != index_.indexItems) {
    shownItems_ = index_.indexItems;
    list_.Clear();
    for (const std::string& item : shownItems_) list_.AddRow(item);
  }
  for (size_t i = 0; i < index_.indexChecked.size(); ++i) {
    if (list_.Checked(static_cast<int>(i)) != index_.indexChecked[i]) {
      list_.SetChecked(static_cast<int>(i), index_.indexChecked[i]);
    }
  }
  SetText(indexName_, index_.indexNameText);
  SetText(indexValue_, index_.indexValueText);
  up_.SetChecked(index_.directionUp);
  down_.SetChecked(!index_.directionUp);
  SetText(change_, index_.changeText);
  points_.SetChecked(index_.changePoints);
  percent_.SetChecked(!index_.changePoints);
  sell_.SetChecked(index_.sell);
  buy_.SetChecked(!index_.sell);
}

}  // namespace policy
