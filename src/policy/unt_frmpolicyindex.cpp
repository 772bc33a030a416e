#include "policy/unt_frmpolicyindex.h"

#include <cmath>

#include "base/fixed_text.h"
#include "base/text.h"
#include "policy/unt_payoffchecks.h"
#include "policy/unt_orderrules.h"

namespace policy {
Tfrmindex::Tfrmindex(TEditorServices services, IEditorDialog& dialog)
    : TEditorFrame(std::move(services), dialog, kKindIndex, settings::TMonitorSection::TakeProfit,
                   {"添加指数策略", "修改指数策略", "res\\MonitorIndex.rtf"}) {}

void Tfrmindex::LoadIndexList() {
  const std::string folder = Services().settings ? Services().settings->ApplicationFolder() : std::string();
  if (std::optional<std::vector<std::string>> items = ReadIndexCodeFile(folder)) {
    indexItems = std::move(*items);
    indexChecked.assign(indexItems.size(), false);
    ClearIndex();
  }
}

TPolicyRecord Tfrmindex::PrepareModify(const TPolicyRecord& monitor) {
  LoadIndexList();
  refillIndexCode_ = CodeText(monitor);
  // The frame's re-fill fills the code box from the record's security; the
  // index monitor's box is its target. Saving uses only the identifier and
  // the state of the copy.
  TPolicyRecord shown = monitor;
  SetCode(shown, base::ReadFixedUtf8(monitor.targetCode));
  SetName(shown, base::ReadFixedUtf8(monitor.targetName));
  return shown;
}

void Tfrmindex::FormShow() {
  TEditorFrame::FormShow();
  MoveFocus(kCtlSetPrice);
}

int Tfrmindex::SelectedIndex() const {
  for (size_t i = 0; i < indexChecked.size(); ++i)
    if (indexChecked[i]) return static_cast<int>(i);
  return -1;
}

void Tfrmindex::ClearIndex() {
  indexQuote_ = quotes::TQuoteReport{};
  indexNameText.clear();
  indexValueText.clear();
}

void Tfrmindex::SelectIndex(int item) {
  const TIndexItem index = IndexItemOf(indexItems[static_cast<size_t>(item)]);
  try {
    indexQuote_ = FreshQuote(index.code);
  } catch (...) {
    // An index the engine cannot give stays at zero, as an unknown one.
    indexQuote_ = quotes::TQuoteReport{};
  }
  indexNameText = index.name;
  indexValueText = base::FormatPrice(indexQuote_.newestPrice);
}

void Tfrmindex::RzCheckListChange(int item, bool checked) {
  if (item < 0 || static_cast<size_t>(item) >= indexChecked.size()) return;
  indexChecked.assign(indexChecked.size(), false);
  indexChecked[static_cast<size_t>(item)] = checked;
  if (checked) SelectIndex(item);
  else ClearIndex();
  MoveFocus(kCtlSetPrice);
}

void Tfrmindex::SetPointSpin(bool up) { setPriceText = SpinValue(setPriceText, 10, 3, up); }

void Tfrmindex::RzLbValueClick() {
  const std::optional<double> value = NumberOf(indexValueText);
  if (SelectedIndex() < 0 || !value) return;
  // The set point is a number of points; spinning moves it by ten.
  setPriceText = base::FormatPrice(std::round(*value));
  MoveFocus(kCtlSetPrice);
}

void Tfrmindex::AfterLookup() { MoveFocus(kCtlSetPrice); }

void Tfrmindex::Reset() {
  ZeroQuote();
  SetLivePriceText(TLiveRole::Main, "");
  codeText.clear();
  nameText.clear();
  quantityText = Defaults().quantity;
  activeChecked = false;
  SetOptimise(false);
  sell = true;
  directionUp = true;
  indexChecked.assign(indexItems.size(), false);
  ClearIndex();
  setPriceText = base::FormatFixed(0, 0);  // the set point always starts at 0
  FillOptimiseFromDefault();
}

void Tfrmindex::RefillRest(const TPolicyRecord& m) {
  sell = m.tradeType == 2;
  directionUp = m.direction == kDirRise;
  setPriceText = base::FormatPrice(m.setPrice);
  quantityText = std::to_string(m.quantity);
  // The list holds each index once; the first item naming the code is it.
  indexChecked.assign(indexItems.size(), false);
  const std::string& code = refillIndexCode_;
  for (size_t i = 0; i < indexItems.size() && !code.empty(); ++i) {
    if (indexItems[i].find(code) != std::string::npos) {
      indexChecked[i] = true;
      SelectIndex(static_cast<int>(i));
      break;
    }
  }
  changeText = base::FormatPrice(m.changeAmount);
  changePoints = m.changeUnit == kUnitPoint;
  RefillOptimise(m);
  activeChecked = m.promptOnly == 0;
}

TPolicyRecord Tfrmindex::BuildRecord() {
  TPolicyRecord r = CommonRecord();
  const TIndexItem index = IndexItemOf(indexItems[static_cast<size_t>(SelectedIndex())]);
  SetCode(r, index.code);
  SetName(r, index.name);
  r.market = FreshQuote(index.code).market;
  r.newestPrice = 0;
  r.openPrice = 0;
  r.prevClose = 0;
  r.priceBasis = kBasisTyped;
  r.setPrice = static_cast<float>(NumberOf(setPriceText).value_or(0));
  r.direction = directionUp ? kDirRise : kDirFall;
  r.changeAmount = static_cast<float>(NumberOf(changeText).value_or(0));
  r.changeUnit = changePoints ? kUnitPoint : kUnitPercent;
  r.tradeType = sell ? 2 : 1;
  r.quantity = WholeNumberOf(quantityText).value_or(0);
  r.targetFlag = 1;
  SetTargetCode(r, std::string(base::Trim(codeText)));
  SetTargetName(r, std::string(base::Trim(nameText)));
  return r;
}

void Tfrmindex::OkClick() {
  if (!CodeValid()) return void(Refuse(kTargetInvalid, kCtlCode));
  const std::optional<int32_t> quantity = WholeNumberOf(quantityText);
  if (!quantity) return void(Refuse(kTradeQuantityNotNumber, kCtlIndexQuantity));
  if (*quantity < 0) return void(Refuse(kTradeQuantityNegative, kCtlIndexQuantity));
  if (const std::string lot = sell ? std::string() : BuyLotError(codeText, *quantity); !lot.empty()) {
    return void(Refuse(lot, kCtlIndexQuantity));
  }
  // Off, the amount is not saved (10 per mille is), so only on can it be wrong.
  if (optimise.checked) {
    const std::optional<double> opt = NumberOf(optimise.amount);
    if (!opt) return void(Refuse(kOptimiseNotNumber, kCtlOptimise));
    if (*opt < 0) return void(Refuse(kOptimiseNegative, kCtlOptimise));
  }
  if (SelectedIndex() < 0) return void(Refuse(kNoIndexSelected));
  const std::optional<double> setPoint = NumberOf(setPriceText);
  if (!setPoint) return void(Refuse(kSetPointNotNumber, kCtlSetPrice));
  const double point = PriceAtThousandths(*setPoint);
  const double current = PriceAtThousandths(indexQuote_.newestPrice);
  if (directionUp && !(point > current)) return void(Refuse(kRiseNeedsHigherPoint));
  if (!directionUp && !(point < current)) return void(Refuse(kFallNeedsLowerPoint));
  // The amount itself may be anything, but it must be a number to be saved.
  if (!NumberOf(changeText)) return void(Refuse(kChangeNotNumber, kCtlChange));
  SaveMonitor(BuildRecord());
}

void Tfrmindex::SaveDefaultsClick() {
  settings::TMonitorDefaults& d = Defaults();
  d.quantity = std::string(base::Trim(quantityText));
  d.optimiseAmount = StoredAmount(optimise.amount, optimise.yuan);
  WriteDefaults();
}

}  // namespace policy
