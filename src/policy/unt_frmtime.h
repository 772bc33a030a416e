// The time monitor editor "按时间监控" (kind 4): the frame with an order
// time of day, the set price or the trade price of the moment, and the
// trade type.
#pragma once

#include <optional>
#include <string>

#include "policy/unt_editorframe.h"

namespace policy {

inline constexpr char kTimeHelpFile[] = "res\\MonitorTime.rtf";
inline constexpr char kTimeAddTitle[] = "添加按时间监视";
inline constexpr char kTimeModifyTitle[] = "修改按时间监视";
inline constexpr char kTradePriceCaption[] = "即时成交价";
inline constexpr char kBadOrderTimeText[] = "下单时间不正确，请按“小时:分钟”(24小时)输入！";

// "hh:mm" of a 24-hour time of day: minutes since midnight, nullopt otherwise.
std::optional<int> ParseOrderTime(std::string_view text);

class Tfrmtime final : public TEditorFrame {
 public:
  Tfrmtime(TEditorServices services, IEditorDialog& dialog);

  // ---- events ----
  void OkClick() override;
  void SaveDefaultsClick() override;
  void ResetClick() override;
  void RzCBPriceClick(bool checked);  // "用即时成交价"

  // ---- what the dialog shows besides the frame ----
  bool tradePriceChecked = false;  // RzCBPrice "用即时成交价"
  std::string tradeTimeText;       // RzDTETradeTime, "hh:mm"
  bool buy = false;                // RzRBBuy; else RzRBSell

 protected:
  void Reset() override;
  void RefillRest(const TPolicyRecord& monitor) override;
  std::string NextAfterSetPrice() const override { return "RzNumEditVolume"; }

 private:
  bool Validate();
};

}  // namespace policy
