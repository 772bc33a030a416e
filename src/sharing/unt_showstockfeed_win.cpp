#include "sharing/unt_showstockfeed_win.h"

namespace sharing {
namespace {
constexpr int kDetailCommand = 1;
constexpr COLORREF kMaroon = RGB(128, 0, 0);
}  // namespace

TShowStockFeedView::TShowStockFeedView(win::Parent page, std::string applicationFolder, FeedViewArgs args)
    : args_(std::move(args)), feed_(std::move(applicationFolder), *this) {
  win::ListViewArgs la;
  for (const FeedColumn& c : FeedColumns()) la.columns.push_back({c.caption, c.width});
  la.ownerData = true;
  la.oddRowColor = GetSysColor(COLOR_INFOBK);
  list_.Create(page, la);
  list_.cellText = [this](int row, int column) {
    return static_cast<size_t>(row) < feed_.RowCount() ? feed_.Cell(row, column) : std::string();
  };
  list_.rowTextColor = [this](int row) {
    return static_cast<size_t>(row) < feed_.RowCount() && feed_.Maroon(row) ? kMaroon : win::kDefaultColor;
  };
  win::MenuItem item;
  item.caption = kDetailMenuItem;
  item.id = kDetailCommand;
  popup_ = std::make_unique<win::Menu>(std::vector<win::MenuItem>{item}, win::Menu::kPopup);
  list_.onRightClick = [this](win::ListHit, POINT screen) {
    if (popup_->Track(args_.owner, screen) == kDetailCommand) feed_.ShowDetail(list_.FocusedRow());
  };
  list_.onDoubleClick = [this](win::ListHit hit, POINT) {
    if (hit) feed_.ShowDetail(list_.FocusedRow());
  };
  list_.onMouseMove = [this](POINT client) { Hover(client); };
  feed_.onChanged = [this] { Rows(); };
}

void TShowStockFeedView::Rows() {
  list_.SetVirtualRowCount(static_cast<int>(feed_.RowCount()));
  list_.Redraw();
  hintRow_ = -1;
  list_.SetTooltip({});
}

// The hint follows the row under the mouse.
void TShowStockFeedView::Hover(POINT client) {
  const win::ListHit hit = list_.HitTest(client);
  const int row = hit && static_cast<size_t>(hit.row) < feed_.RowCount() ? hit.row : -1;
  if (row == hintRow_) return;
  hintRow_ = row;
  list_.SetTooltip(row < 0 ? std::string() : feed_.Hint(static_cast<size_t>(row)));
}

void TShowStockFeedView::ShowDetail(const std::array<std::string, kFeedColumns>& cells) {
  if (!detail_) detail_ = std::make_unique<TfrmshowstockdetailWin>(args_.owner);
  detail_->Show(cells);
}

}  // namespace sharing
