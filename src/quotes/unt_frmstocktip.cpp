#include "quotes/unt_frmstocktip.h"

#include "base/fixed_text.h"
#include "base/text.h"

namespace quotes {
namespace {

const char* const kLevelMarks[5] = {"①", "②", "③", "④", "⑤"};

}  // namespace

std::string QuoteFieldName(QuoteField f) {
  static const char* const names[] = {"Labeldm", "LabelName", "LabelOpen", "LabelClose",
                                      "LabelNow", "LabelVolume", "LabelHigh", "LabelLow"};
  if (f < kFieldBuyPrice1) return names[f];
  if (f <= kFieldBuyPrice5) return "LabelBuyPrice" + std::to_string(f - kFieldBuyPrice1 + 1);
  if (f <= kFieldBuyVol5) return "LabelBuyVol" + std::to_string(f - kFieldBuyVol1 + 1);
  if (f <= kFieldSellPrice5) return "LabelSellPrice" + std::to_string(f - kFieldSellPrice1 + 1);
  if (f <= kFieldSellVol5) return "LabelSellVol" + std::to_string(f - kFieldSellVol1 + 1);
  return "LabelTime";
}

std::string QuoteFieldCaption(QuoteField f) {
  static const char* const captions[] = {"代码：", "名称：", "开盘价：", "昨收：",
                                         "现价：", "成交量：", "最高价：", "最低价："};
  if (f < kFieldBuyPrice1) return captions[f];
  if (f <= kFieldBuyVol5) return std::string("买") + kLevelMarks[(f - kFieldBuyPrice1) % 5] + "：";
  if (f <= kFieldSellVol5) return std::string("卖") + kLevelMarks[(f - kFieldSellPrice1) % 5] + "：";
  return "时间：";
}

float BidPrice(const TQuoteReport& r, int i) { return i < 3 ? r.bidPrice[i] : i == 3 ? r.bidPrice4 : r.bidPrice5; }
float BidVolume(const TQuoteReport& r, int i) { return i < 3 ? r.bidVolume[i] : i == 3 ? r.bidVolume4 : r.bidVolume5; }
float AskPrice(const TQuoteReport& r, int i) { return i < 3 ? r.askPrice[i] : i == 3 ? r.askPrice4 : r.askPrice5; }
float AskVolume(const TQuoteReport& r, int i) { return i < 3 ? r.askVolume[i] : i == 3 ? r.askVolume4 : r.askVolume5; }

void FillQuoteValues(const TQuoteReport& r, int volumeDecimals,
                     const std::function<std::string(base::TDateTime)>& formatTime, QuoteValues& out) {
  const auto price = [](float v) { return base::FormatPrice(v); };
  const auto volume = [volumeDecimals](float v) { return base::FormatFixed(v, volumeDecimals); };
  out[kFieldCode] = base::ReadFixedUtf8(r.code);
  out[kFieldName] = base::ReadFixedUtf8(r.name);
  out[kFieldOpen] = price(r.open);
  out[kFieldClose] = price(r.prevClose);
  out[kFieldNow] = price(r.newestPrice);
  out[kFieldVolume] = volume(r.volume);
  out[kFieldHigh] = price(r.high);
  out[kFieldLow] = price(r.low);
  for (int i = 0; i < 5; ++i) {
    out[kFieldBuyPrice1 + i] = price(BidPrice(r, i));
    out[kFieldBuyVol1 + i] = volume(BidVolume(r, i));
    out[kFieldSellPrice1 + i] = price(AskPrice(r, i));
    out[kFieldSellVol1 + i] = volume(AskVolume(r, i));
  }
  out[kFieldTime] = formatTime(ReportDateTime(r));
}

std::string Tfrmstocktip::Caption(QuoteField field) { return QuoteFieldCaption(field); }

void Tfrmstocktip::ShowFor(std::string_view code) {
  for (std::string& v : values_) v.clear();
  code_ = code;
  visible_ = true;
}

bool Tfrmstocktip::ShowReport(const TQuoteReport& report) {
  if (ReportCode(report) != code_) return false;
  FillQuoteValues(report, 0, [](base::TDateTime t) { return base::FormatDateTime("hh:nn:ss", t); }, values_);
  return true;
}

}  // namespace quotes
