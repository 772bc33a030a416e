#include "sharing/unt_showstockfeed_win.h"

#include <algorithm>

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
  FitColumns();
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

// The table's widths suit the system font; a caption that would be cut in
// the user's font widens its column.
void TShowStockFeedView::FitColumns() {
  HDC dc = GetDC(list_.Handle());
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(list_.Handle(), WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? font : win::UiFont(list_.dpi()));
  for (int c = 0; c < kFeedColumns; ++c) {
    const std::wstring text = win::Wide(FeedColumns()[c].caption);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    list_.SetColumnWidth(c, std::max(FeedColumns()[c].width, list_.dpi().Unscale(size.cx) + 16));
  }
  SelectObject(dc, old);
  ReleaseDC(list_.Handle(), dc);
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
