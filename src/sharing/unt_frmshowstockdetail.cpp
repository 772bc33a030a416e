#include "sharing/unt_frmshowstockdetail.h"

namespace sharing {

void Tfrmshowstockdetail::Fill(const std::array<std::string, kFeedColumns>& c) {
  fields[0].text = c[kColCode] + " " + c[kColName];
  fields[1].text = c[kColBuyPrice];
  fields[2].text = c[kColSetPrice];
  fields[3].text = c[kColBackAmount];
  fields[4].text = c[kColLossLimit];
  fields[5].text = c[kColDownAmount];
  fields[6].text = c[kColRemark];
}

}  // namespace sharing
