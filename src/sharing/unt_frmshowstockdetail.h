// The detail window "晒股详细信息" of a feed row: read-only copies of the
// row's texts as the feed shows them, units included.
#pragma once

#include <array>
#include <string>

#include "sharing/unt_showstockrecord.h"

namespace sharing {

inline constexpr char kDetailCaption[] = "晒股详细信息";
inline constexpr char kDetailFooter[] = "本项功能不构成买卖建议，凭此买卖，风险自担。";

class Tfrmshowstockdetail {
 public:
  // Copies the row's cells into the fields.
  void Fill(const std::array<std::string, kFeedColumns>& cells);

  // The fields, in the window's order, with their labels.
  struct Field {
    const char* label;
    std::string text;
  };
  std::array<Field, 7> fields{{{"证券代码：", {}}, {"介入价格：", {}}, {"移动止盈设定价格：", {}}, {"回落数量：", {}},
                               {"条件止损设定价位：", {}}, {"下跌数量：", {}}, {"备注：", {}}}};
};

}  // namespace sharing
