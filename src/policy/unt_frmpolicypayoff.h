// The sell-on-fall editors: trailing take-profit (Tfrmpayoff, kind 1), and
// on the same layout and body the conditional stop-loss (Tfrmpaylosslimit,
// kind 5) and the limit-price rebound (Tfrmlimitdownup, kind 6). They add
// the amount field and its unit pair to the frame; what differs between the
// three is one row of TPayoffKindInfo.
#pragma once

#include <string>

#include "policy/unt_editorframe.h"
#include "policy/unt_payoffchecks.h"

namespace policy {

// Control names of the family's own fields.
inline constexpr char kCtlQuantity[] = "RzNumEditSellVolume";
inline constexpr char kCtlAmount[] = "RzNumBackVolume";

class TPayoffEditor : public TEditorFrame {
 public:
  TPayoffEditor(TEditorServices services, IEditorDialog& dialog, uint8_t kind);

  const TPayoffKindInfo& Info() const { return info_; }

  void OkClick() override;
  void SaveDefaultsClick() override;

  // ---- what the dialog shows beyond the frame ----
  std::string amountText;  // RzNumBackVolume
  bool amountYuan = true;  // RzRBtnYuan "元"; else RzRBtn "%"

  // The record OK saves for what the dialog shows (after the checks);
  // nullopt, refused, when the set price cannot be had.
  std::optional<TPolicyRecord> BuildRecord();

 protected:
  void Reset() override;
  void RefillRest(const TPolicyRecord& monitor) override;
  std::string NextAfterSetPrice() const override;

 private:
  TPayoffCheckInput CheckInput() const;

  const TPayoffKindInfo& info_;
};

class Tfrmpayoff final : public TPayoffEditor {
 public:
  Tfrmpayoff(TEditorServices services, IEditorDialog& dialog)
      : TPayoffEditor(std::move(services), dialog, kKindPayoff) {}
};

}  // namespace policy
