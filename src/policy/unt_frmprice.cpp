#include "policy/unt_frmprice.h"

#include "base/fixed_text.h"
#include "base/text.h"
#include "policy/unt_orderrules.h"

namespace policy {
namespace {

constexpr char kCtlRelationCode[] = "RzEditLabelRelation";
constexpr char kCtlVolume[] = "RzNumEditVolume";
constexpr char kCtlChange[] = "RzNumChangeVolume";

}  // namespace

Tfrmprice::Tfrmprice(TEditorServices services, IEditorDialog& dialog)
    : TEditorFrame(std::move(services), dialog, kKindPrice, settings::TMonitorSection::Price,
                   {kPriceAddTitle, kPriceModifyTitle, kPriceHelpFile}) {}

void Tfrmprice::Reset() {
  ZeroQuote();
  SetLivePriceText(TLiveRole::Main, "");
  openText.clear();
  closeText.clear();
  RzCBRelationClick(false);
  codeText.clear();
  nameText.clear();
  relationCodeText.clear();
  relationNameText.clear();
  setPriceText = Defaults().setPrice;
  UncheckBasisBoxes();
  quantityText = Defaults().quantity;
  activeChecked = false;
  SetOptimise(false);
  const settings::TAmountText change = ShownAmount(Defaults().changeAmount);
  changeAmountText = change.value;
  changeYuan = !change.nonYuan;
  FillOptimiseFromDefault();
}

void Tfrmprice::RefillRest(const TPolicyRecord& m) {
  RefillBasis(m.priceBasis, m.setPrice);
  quantityText = std::to_string(m.quantity);
  const int direction = m.direction >= kDirRise && m.direction <= kDirFallRebound ? m.direction : int{kDirFallRebound};
  directionIndex = direction - 1;
  changeAmountText = base::FormatPrice(m.changeAmount);
  changeYuan = m.changeUnit == kUnitYuan;
  buy = m.tradeType == 1;
  RefillOptimise(m);
  if (m.targetFlag != 0) {
    relationChecked = true;
    relationCodeEnabled = true;
    relationCodeText = base::ReadFixedUtf8(m.targetCode, sizeof m.targetCode);
    relationNameText = base::ReadFixedUtf8(m.targetName, sizeof m.targetName);
    StartLivePrice(TLiveRole::Target, std::string(base::Trim(relationCodeText)));
  }
  activeChecked = m.promptOnly == 0;
}

void Tfrmprice::RzCBRelationClick(bool checked) {
  relationChecked = checked;
  relationCodeEnabled = checked;
  // No target any more: its price stops with it.
  if (!checked) StopLivePrice(TLiveRole::Target);
  if (checked && mode == TEditorMode::Add) MoveFocus(kCtlRelationCode);
}

void Tfrmprice::RzEditLabelRelationKeyUp() {
  const std::string code(base::Trim(relationCodeText));
  if (CharacterCount(code) != 6) {
    StopLivePrice(TLiveRole::Target);
    return;
  }
  relationCodeEnabled = false;
  Dialog().Refresh();
  struct EnableAgain {
    Tfrmprice& form;
    ~EnableAgain() { form.relationCodeEnabled = form.relationChecked; }
  } enableAgain{*this};
  relationNameText = QuoteName(FreshQuote(code));
  StartLivePrice(TLiveRole::Target, code);
}

float Tfrmprice::ComparedSetPrice() const {
  switch (basis) {
    case kBasisOpen: return Quote().open;
    case kBasisPrevClose: return Quote().prevClose;
    case kBasisNewest: {
      // The live price shown, or the looked-up one before the first came.
      const auto shown = NumberOf(LivePriceText(TLiveRole::Main));
      return shown ? static_cast<float>(*shown) : Quote().newestPrice;
    }
    default: return static_cast<float>(NumberOf(setPriceText).value_or(0.0));
  }
}

bool Tfrmprice::Validate() {
  if (!CodeValid()) return Refuse(kBadCodeText, kCtlCode);
  if (relationChecked && CharacterCount(relationCodeText) != 6) {
    return Refuse("关联证券代码不正确！", kCtlRelationCode);
  }
  if (basis == 0) {
    const auto price = NumberOf(setPriceText);
    if (!price) return Refuse("设定价位不是有效的数字！", kCtlSetPrice);
    if (*price < 0) return Refuse("设定价格不能小于0！", kCtlSetPrice);
  }
  const auto quantity = WholeNumberOf(quantityText);
  if (!quantity) return Refuse("买卖数量不是有效的整数！", kCtlVolume);
  if (*quantity < 0) return Refuse("买卖数量不能小于0！", kCtlVolume);
  if (const std::string lot = buy ? BuyLotError(relationChecked ? relationCodeText : codeText, *quantity) : std::string(); !lot.empty()) {
    return Refuse(lot, kCtlVolume);
  }
  const auto change = NumberOf(changeAmountText);
  if (!change) return Refuse("变化数量不是有效的数字！", kCtlChange);
  if (*change < 0) return Refuse("变化数量不能小于0！", kCtlChange);
  // The amount only counts while optimisation is on (10‰ otherwise).
  if (optimise.checked) {
    const auto amount = NumberOf(optimise.amount);
    if (!amount) return Refuse("报价优化不是有效的数字！", kCtlOptimise);
    if (*amount < 0) return Refuse("报价优化不能小于0！", kCtlOptimise);
  }
  // A chosen basis has no field to correct: the focus stays.
  const std::string priceFocus = basis == 0 ? kCtlSetPrice : "";
  const float setPrice = ComparedSetPrice();
  const uint8_t direction = DirectionCode(kDirectionItems[directionIndex & 3]);
  if ((direction == kDirRise || direction == kDirRiseFallBack) && !(setPrice >= Quote().newestPrice)) {
    return Refuse("上涨或上涨中回落，设定价必须大于当前价！", priceFocus);
  }
  if ((direction == kDirFall || direction == kDirFallRebound) && !(setPrice <= Quote().newestPrice)) {
    return Refuse("下涨或下跌中反弹，设定价必须小于当前价！", priceFocus);
  }
  if ((basis == kBasisOpen || basis == kBasisNewest) && !InSession()) return Refuse(kSessionRuleText);
  return true;
}

void Tfrmprice::OkClick() {
  if (!Validate()) return;
  TPolicyRecord r = CommonRecord();
  r.priceBasis = static_cast<uint8_t>(basis);
  switch (basis) {
    case kBasisOpen: r.setPrice = Quote().open; break;
    case kBasisPrevClose: r.setPrice = Quote().prevClose; break;
    case kBasisNewest: {
      const quotes::TQuoteReport fresh = FreshQuote(std::string(base::Trim(codeText)));
      r.setPrice = fresh.newestPrice;
      r.basisPrice = fresh.newestPrice;
      break;
    }
    default: r.setPrice = static_cast<float>(NumberOf(setPriceText).value_or(0.0)); break;
  }
  r.direction = DirectionCode(kDirectionItems[directionIndex & 3]);
  r.changeAmount = static_cast<float>(NumberOf(changeAmountText).value_or(0.0));
  r.changeUnit = changeYuan ? kUnitYuan : kUnitPercent;
  r.tradeType = buy ? 1 : 2;
  r.quantity = WholeNumberOf(quantityText).value_or(0);
  if (relationChecked) {
    r.targetFlag = 1;
    SetTargetCode(r, base::Trim(relationCodeText));
    SetTargetName(r, base::Trim(relationNameText));
  }
  SaveMonitor(r);
}

void Tfrmprice::SaveDefaultsClick() {
  settings::TMonitorDefaults& d = Defaults();
  switch (basis) {
    case kBasisOpen: d.setPrice = base::Trim(openText); break;
    case kBasisPrevClose: d.setPrice = base::Trim(closeText); break;
    case kBasisNewest: d.setPrice = base::Trim(LivePriceText(TLiveRole::Main)); break;
    default: d.setPrice = base::Trim(setPriceText); break;
  }
  d.quantity = base::Trim(quantityText);
  d.changeAmount = StoredAmount(changeAmountText, changeYuan);
  d.optimiseAmount = StoredAmount(optimise.amount, optimise.yuan);
  WriteDefaults();
}

}  // namespace policy
