#include "policy/unt_frmpolicypayoff_win.h"

#include "policy/unt_frmlimitdownup.h"
#include "policy/unt_frmpolicypaylosslimit.h"

namespace policy {
namespace {

constexpr int kGroupWidth = 392;
constexpr int kFirstRow = 22;
constexpr int kRows = 7;

std::unique_ptr<TPayoffEditor> NewModel(uint8_t kind, TEditorServices services, IEditorDialog& dialog) {
  switch (kind) {
    case kKindLossLimit: return std::make_unique<Tfrmpaylosslimit>(std::move(services), dialog);
    case kKindLimitDown: return std::make_unique<Tfrmlimitdownup>(std::move(services), dialog);
    default: return std::make_unique<Tfrmpayoff>(std::move(services), dialog);
  }
}

}  // namespace

TPayoffEditorView::TPayoffEditorView(const TEditorViewArgs& args, uint8_t kind)
    : TEditorFrameWin(args.owner), editor_(NewModel(kind, WithPoster(args), *this)) {
  const TPayoffKindInfo& info = editor_->Info();
  CreateFrame(*editor_, kGroupWidth, kFirstRow + kRows * kRowHeight + 4);
  // Rows in field order, which is the tab order.
  int y = CodeRow(kFirstRow, "证券代码：");
  y = BasisRow(y);
  y = SetPriceRow(y, "设定价位：", "元", true);
  y = QuantityRow(y, info.quantityLabel, kCtlQuantity);

  amountLabel_.Create(dialog_, {.text = info.amountLabel, .rect = G(kLabelX, y, kFieldX - kLabelX, kEditHeight),
                                .vcenter = true});
  amount_.Create(dialog_,
                 {.rect = G(kFieldX, y, kFieldWidth, kEditHeight), .id = kIdEditorFields, .align = win::Align::Right});
  amountYuan_.Create(dialog_, {.text = "元", .rect = G(kFieldX + kFieldWidth + 10, y + 1, 44, 19),
                               .checked = true, .firstInGroup = true});
  amountPercent_.Create(dialog_, {.text = "%", .rect = G(kFieldX + kFieldWidth + 58, y + 1, 44, 19),
                                  .tooltip = "百分比"});
  amountYuan_.onClick = [this] { Do([] {}); };
  amountPercent_.onClick = [this] { Do([] {}); };
  Register(kCtlAmount, amount_, &amount_);
  y += kRowHeight;

  y = OptimiseRow(y, "‰", "千分比");
  ActiveRow(y);
  FinishFrame();
}

void TPayoffEditorView::TakeFields() {
  editor_->amountText = amount_.Text();
  editor_->amountYuan = amountYuan_.Checked();
}

void TPayoffEditorView::SyncFields() {
  SetText(amount_, editor_->amountText);
  amountYuan_.SetChecked(editor_->amountYuan);
  amountPercent_.SetChecked(!editor_->amountYuan);
}

}  // namespace policy
