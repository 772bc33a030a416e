#include "quotes/unt_frmdebug.h"

#include "base/files.h"
#include "base/text.h"

namespace quotes {

Tfrmdebug::Tfrmdebug(std::string applicationFolder, IFrmdebugHost& host,
                     std::function<std::string(base::TDateTime)> formatTime)
    : folder_(std::move(applicationFolder)), host_(host), formatTime_(std::move(formatTime)) {
  if (!formatTime_) formatTime_ = [](base::TDateTime t) { return base::FormatDateTime("yyyy-mm-dd hh:nn:ss", t); };
}

std::string Tfrmdebug::Caption(QuoteField field) {
  if (field == kFieldCode) return "证券代码：";
  if (field == kFieldName) return "证券名称：";
  return QuoteFieldCaption(field);
}

void Tfrmdebug::ShowReport(const TQuoteReport& report) {
  FillQuoteValues(report, 3, formatTime_, values_);
  // The counter is whatever the label shows, read as a number.
  const auto shown = base::ParseInteger(base::Trim(count_));
  count_ = std::to_string((shown ? *shown : 0) + 1);
}

void Tfrmdebug::ButtonBuyClick() { TestOrder(policy::kTradeBuy); }
void Tfrmdebug::ButtonSellClick() { TestOrder(policy::kTradeSell); }

void Tfrmdebug::TestOrder(uint8_t tradeType) {
  // The order sound of a fired monitor, under the same switch.
  const std::string sound = base::PathToUtf8(base::PathFromUtf8(folder_) / "res" / "Money_Take.wav");
  if (host_.SoundOn() && base::FileExists(sound)) host_.PlaySound(sound, false);
  policy::TTradeRecord order;
  order.tradeType = tradeType;
  order.market = kMarketShanghai;
  order.code = "000000";
  if (tradeType == policy::kTradeBuy) {
    order.buyPrice = "0";
    order.buyQuantity = "0";
  } else {
    order.sellPrice = "0";
    order.sellQuantity = "0";
  }
  host_.EnableDebugWindow(false);
  struct Enable {
    IFrmdebugHost& host;
    ~Enable() { host.EnableDebugWindow(true); }
  } enable{host_};
  host_.PlaceOrder(order);
}

}  // namespace quotes
