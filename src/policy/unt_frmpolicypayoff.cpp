#include "policy/unt_frmpolicypayoff.h"

#include "base/text.h"

namespace policy {
namespace {

const char* FieldControl(TPayoffField field) {
  switch (field) {
    case TPayoffField::Code: return kCtlCode;
    case TPayoffField::SetPrice: return kCtlSetPrice;
    case TPayoffField::Quantity: return kCtlQuantity;
    case TPayoffField::Amount: return kCtlAmount;
    case TPayoffField::OptAmount: return kCtlOptimise;
    case TPayoffField::None: break;
  }
  return "";
}

}  // namespace

TPayoffEditor::TPayoffEditor(TEditorServices services, IEditorDialog& dialog, uint8_t kind)
    : TEditorFrame(std::move(services), dialog, kind, PayoffKindInfo(kind).section,
                   {PayoffKindInfo(kind).titleAdd, PayoffKindInfo(kind).titleModify, PayoffKindInfo(kind).helpFile}),
      info_(PayoffKindInfo(kind)) {}

std::string TPayoffEditor::NextAfterSetPrice() const { return FieldControl(info_.focusAfterLookup); }

void TPayoffEditor::Reset() {
  ZeroQuote();
  SetLivePriceText(TLiveRole::Main, "");
  openText.clear();
  closeText.clear();
  codeText.clear();
  nameText.clear();
  settings::TMonitorDefaults& d = Defaults();
  setPriceText = d.setPrice;
  UncheckBasisBoxes();
  quantityText = d.quantity;
  activeChecked = false;
  SetOptimise(false);
  const settings::TAmountText amount = ShownAmount(d.changeAmount);
  amountText = amount.value;
  amountYuan = !amount.nonYuan;
  FillOptimiseFromDefault();
}

void TPayoffEditor::RefillRest(const TPolicyRecord& m) {
  RefillBasis(m.priceBasis, m.setPrice);
  quantityText = std::to_string(m.quantity);
  amountText = base::FormatPrice(m.changeAmount);
  amountYuan = m.changeUnit == kUnitYuan;
  RefillOptimise(m);
  activeChecked = m.promptOnly == 0;
}

TPayoffCheckInput TPayoffEditor::CheckInput() const {
  TPayoffCheckInput in;
  in.codeValid = CodeValid();
  in.basis = static_cast<uint8_t>(basis);
  in.setPriceText = setPriceText;
  in.quantityText = quantityText;
  in.amountText = amountText;
  in.optAmountText = optimise.amount;
  in.optChecked = optimise.checked;
  in.minuteOfDay = MinuteOfDay(Services().now ? Services().now() : base::Now());
  in.livePriceLabel = LivePriceText(TLiveRole::Main);
  in.openLabel = openText;
  in.closeLabel = closeText;
  in.quoteNewest = Quote().newestPrice;
  return in;
}

std::optional<TPolicyRecord> TPayoffEditor::BuildRecord() {
  const std::optional<TBasisPrice> price = BasisSetPrice();
  if (!price) return std::nullopt;
  TPolicyRecord r = CommonRecord();
  r.priceBasis = static_cast<uint8_t>(basis);
  r.setPrice = price->setPrice;
  r.basisPrice = price->basisPrice;
  r.direction = info_.direction;
  r.changeAmount = static_cast<float>(PriceOf(amountText).value_or(0));
  r.changeUnit = amountYuan ? kUnitYuan : kUnitPercent;
  r.tradeType = info_.tradeType;
  r.quantity = WholeNumberOf(quantityText).value_or(0);
  return r;
}

void TPayoffEditor::OkClick() {
  if (const std::optional<TPayoffRefusal> refusal = CheckPayoff(info_, CheckInput())) {
    Refuse(refusal->text, FieldControl(refusal->focus));
    return;
  }
  if (std::optional<TPolicyRecord> record = BuildRecord()) SaveMonitor(*record);
}

void TPayoffEditor::SaveDefaultsClick() {
  settings::TMonitorDefaults& d = Defaults();
  std::string basisLabel;
  switch (basis) {
    case kBasisOpen: basisLabel = openText; break;
    case kBasisPrevClose: basisLabel = closeText; break;
    case kBasisNewest: basisLabel = LivePriceText(TLiveRole::Main); break;
    default: break;
  }
  // A typed set price is never saved; the stop-loss editor also keeps the
  // default while the chosen basis shows nothing yet.
  if (basis != kBasisTyped) {
    const std::string shown(base::Trim(basisLabel));
    if (!shown.empty() || info_.kind != kKindLossLimit) d.setPrice = shown;
  }
  d.quantity = std::string(base::Trim(quantityText));
  d.changeAmount = StoredAmount(amountText, amountYuan);
  d.optimiseAmount = StoredAmount(optimise.amount, optimise.yuan);
  WriteDefaults();
}

}  // namespace policy
