#include "sharing/unt_showstockrecord.h"

#include <cstring>

#include "base/datetime.h"
#include "base/fixed_text.h"

namespace sharing {

const std::array<FeedColumn, kFeedColumns>& FeedColumns() {
  static const std::array<FeedColumn, kFeedColumns> columns = {{
      {"时间", 110}, {"代码", 60}, {"证券名称", 70}, {"介入价格", 65}, {"移动止盈设定价格", 69}, {"回落数量", 65},
      {"条件止损设定价格", 69}, {"下跌数量", 65}, {"晒股者ID", 65}, {"名称", 60}, {"备注", 80},
  }};
  return columns;
}

std::array<std::string, kFeedColumns> FeedCells(const TShowStockRecord& p) {
  std::array<std::string, kFeedColumns> c;
  c[kColTime] = base::FormatDateTime("mm-dd hh:nn:ss", base::QuoteTimeToDateTime(p.postTime));
  c[kColCode] = base::ReadFixedUtf8(p.code);
  c[kColName] = base::ReadFixedUtf8(p.name);
  c[kColBuyPrice] = base::ReadFixedUtf8(p.buyPrice) + "元";
  c[kColSetPrice] = base::ReadFixedUtf8(p.setPrice) + "元";
  c[kColBackAmount] = base::ReadFixedUtf8(p.backAmount);
  c[kColLossLimit] = base::ReadFixedUtf8(p.lossLimit) + "元";
  c[kColDownAmount] = base::ReadFixedUtf8(p.downAmount);
  c[kColPosterId] = base::ReadFixedUtf8(p.posterId);
  c[kColPosterName] = base::ReadFixedUtf8(p.posterName);
  c[kColRemark] = base::ReadFixedUtf8(p.remark);
  return c;
}

TShowStockRecord ShowStockFromBytes(const unsigned char* bytes) { return base::LoadRecord<TShowStockRecord>(bytes); }

}  // namespace sharing
