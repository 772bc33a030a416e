// The index monitor editor (Tfrmindex, kind 7): watches a market index
// picked from the index list and orders the target security in the code
// box when the index passes the set point. It shares the take-profit
// editor's defaults (quantity and optimisation amount).
#pragma once

#include <string>
#include <vector>

#include "policy/unt_editorframe.h"
#include "policy/unt_indexlist.h"

namespace policy {

inline constexpr char kCtlIndexQuantity[] = "RzNumEditSellVolume";
inline constexpr char kCtlChange[] = "RzNumChangeVolume";
inline constexpr char kCtlIndexList[] = "RzCheckList";

inline constexpr char kTargetInvalid[] = "目标证券不正确！";
inline constexpr char kTradeQuantityNegative[] = "交易数量不能小于0！";
inline constexpr char kNoIndexSelected[] = "没有选择监控指数，请选择！";
inline constexpr char kRiseNeedsHigherPoint[] = "当跟踪方式为上涨时，设定点位必须大于当前点位！";
inline constexpr char kFallNeedsLowerPoint[] = "当跟踪方式为下跌时，设定点位必须小于当前点位！";
inline constexpr char kSetPointNotNumber[] = "设定点位不是有效的数字！";
inline constexpr char kTradeQuantityNotNumber[] = "交易数量不是有效的整数！";
inline constexpr char kChangeNotNumber[] = "变化数量不是有效的数字！";
inline constexpr char kNoIndexQuoteText[] = "未能取得该指数的行情，监控未保存！";
inline constexpr char kIndexValueHint[] = "点击可设置监控位";

class Tfrmindex final : public TEditorFrame {
 public:
  Tfrmindex(TEditorServices services, IEditorDialog& dialog);

  // Every opening first reloads the list from indexcode.txt when that file
  // exists: before OpenForAdd, LoadIndexList; before OpenForModify,
  // PrepareModify, which also remembers the monitor's index and gives the
  // copy to open, whose security is the target (the code box holds it).
  void LoadIndexList();
  TPolicyRecord PrepareModify(const TPolicyRecord& monitor);

  void FormShow() override;
  void OkClick() override;
  void SaveDefaultsClick() override;
  // The user toggled an item of the index list; `checked` is its new state.
  void RzCheckListChange(int item, bool checked);
  void SetPointSpin(bool up);  // ±10 points, never below 0
  // A click on the index value: the shown value, to whole points, becomes
  // the set point.
  void RzLbValueClick();

  // ---- what the dialog shows beyond the frame ----
  // The set point is the frame's set-price field.
  std::vector<std::string> indexItems = BuiltInIndexItems();
  std::vector<bool> indexChecked = std::vector<bool>(indexItems.size(), false);
  std::string indexNameText;   // RzLbName
  std::string indexValueText;  // RzLbValue
  bool directionUp = true;     // RzRadioBtnUp; else RzRadioBtnDown
  std::string changeText;      // RzNumChangeVolume (not a default: kept by the reset)
  bool changePoints = true;    // RzRBtnYuan "点"; else RzRBtn "%"
  bool sell = true;            // RzRadioBtnSell; else RzRadioBtnBuy

  // The first checked item, -1 when none.
  int SelectedIndex() const;
  const quotes::TQuoteReport& IndexQuote() const { return indexQuote_; }
  // nullopt, refused, when the index's lookup at OK finds no quote.
  std::optional<TPolicyRecord> BuildRecord();

 protected:
  void Reset() override;
  void RefillRest(const TPolicyRecord& monitor) override;
  void AfterLookup() override;
  std::string NextAfterSetPrice() const override { return kCtlSetPrice; }

 private:
  void SelectIndex(int item);
  void ClearIndex();

  quotes::TQuoteReport indexQuote_{};
  std::string refillIndexCode_;  // the edited monitor's index code
};

}  // namespace policy
