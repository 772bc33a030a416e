// The price monitor editor "按价位监控" (kind 2): the frame with a price
// basis, a direction, a change amount, the trade type and an optional
// target security that is ordered in place of the watched one.
#pragma once

#include <string>

#include "policy/unt_editorframe.h"

namespace policy {

inline constexpr char kPriceHelpFile[] = "res\\MonitorPrice.rtf";
inline constexpr char kPriceAddTitle[] = "添加按价位监视";
inline constexpr char kPriceModifyTitle[] = "修改按价位监视";
inline constexpr const char* kDirectionItems[4] = {"上涨", "下跌", "上涨中回落", "下跌中反弹"};

class Tfrmprice final : public TEditorFrame {
 public:
  Tfrmprice(TEditorServices services, IEditorDialog& dialog);

  // ---- events ----
  void OkClick() override;
  void SaveDefaultsClick() override;
  void RzCBRelationClick(bool checked);
  void RzEditLabelRelationKeyUp();  // the target code lookup
  void RzEditLabelRelationChange();  // the target code box's text changed

  // ---- what the dialog shows besides the frame ----
  int directionIndex = 1;           // RzCBDirect, an index of kDirectionItems; "下跌" at first
  std::string changeAmountText;     // RzNumChangeVolume
  bool changeYuan = true;           // RzRBtnYuan "元"; else RzRBtn "%"
  bool buy = false;                 // RzRBBuy; else RzRBSell
  bool relationChecked = false;     // RzCBRelation "目标证券"
  std::string relationCodeText;     // RzEditLabelRelation, enabled while "目标证券" is checked
  bool relationCodeEnabled = false;
  std::string relationNameText;     // RzEditLabelInfoRelation

 protected:
  void Reset() override;
  void RefillRest(const TPolicyRecord& monitor) override;
  std::string NextAfterSetPrice() const override { return "RzNumChangeVolume"; }

 private:
  bool Validate();
  // The current price the direction checks compare with: the one shown.
  double CurrentPrice() const;
  // The set price they compare: the typed one, or the price of the chosen
  // basis (the current price itself for "用现价").
  double ComparedSetPrice() const;
  void RelationCodeEntered();

  TCodeEntry relationEntry_;
  std::string relationFound_;  // the target code the last lookup found
};

}  // namespace policy
