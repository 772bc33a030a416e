#include "win/listview_win.h"

#include "win/internal_win.h"
#include "win/shell_win.h"
#include "win/text_win.h"

namespace win {

namespace {

int FormatOf(Align align) {
  switch (align) {
    case Align::Center: return LVCFMT_CENTER;
    case Align::Right: return LVCFMT_RIGHT;
    default: return LVCFMT_LEFT;
  }
}

int ImageOf(int image) { return image < 0 ? I_IMAGENONE : image; }

}  // namespace

void ListView::Create(Parent parent, const ListViewArgs& args) {
  DWORD style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | LVS_REPORT | LVS_SHAREIMAGELISTS;
  if (args.singleSelect) style |= LVS_SINGLESEL;
  if (args.showSelectionAlways) style |= LVS_SHOWSELALWAYS;
  if (args.ownerData) style |= LVS_OWNERDATA;
  if (!args.headerClickable) style |= LVS_NOSORTHEADER;
  if (args.noHeader) style |= LVS_NOCOLUMNHEADER;
  ownerData_ = args.ownerData;
  oddRowColor_ = args.oddRowColor;
  Control::Create(parent, WC_LISTVIEWW, "", style, args.border ? WS_EX_CLIENTEDGE : 0, args.rect, args.id);
  if (!handle_) return;
  DWORD ex = LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
  if (args.fullRowSelect) ex |= LVS_EX_FULLROWSELECT;
  if (args.gridLines) ex |= LVS_EX_GRIDLINES;
  if (args.subItemImages) ex |= LVS_EX_SUBITEMIMAGES;
  if (args.checkBoxes) ex |= LVS_EX_CHECKBOXES;
  SendMessageW(handle_, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
  // The header takes the UI font too.
  HWND header = reinterpret_cast<HWND>(SendMessageW(handle_, LVM_GETHEADER, 0, 0));
  if (header) SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(dpi_)), FALSE);
  for (const Column& column : args.columns) AddColumn(column);
}

bool ListView::Checked(int row) const {
  if (!handle_) return false;
  const auto state = static_cast<UINT>(SendMessageW(handle_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void ListView::SetChecked(int row, bool on) {
  if (!handle_) return;
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(on ? 2 : 1);
  settingCheck_ = true;
  SendMessageW(handle_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  settingCheck_ = false;
}

int ListView::AddColumn(const Column& column) {
  if (!handle_) return -1;
  std::wstring caption = Wide(column.caption);
  LVCOLUMNW lv{};
  lv.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
  lv.fmt = FormatOf(column.align);
  lv.cx = dpi_.Scale(column.width);
  lv.pszText = caption.data();
  int index = ColumnCount();
  lv.iSubItem = index;
  return static_cast<int>(SendMessageW(handle_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&lv)));
}

int ListView::ColumnCount() const {
  if (!handle_) return 0;
  HWND header = reinterpret_cast<HWND>(SendMessageW(handle_, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int ListView::ColumnWidthPixels(int column) const {
  return handle_ ? static_cast<int>(SendMessageW(handle_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)) : 0;
}

int ListView::ColumnWidth(int column) const { return dpi_.Unscale(ColumnWidthPixels(column)); }

void ListView::SetColumnWidth(int column, int width) {
  if (handle_) SendMessageW(handle_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(dpi_.Scale(width), 0));
}

void ListView::FitColumnToCells(int column, int minWidth) {
  if (!handle_) return;
  SendMessageW(handle_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(LVSCW_AUTOSIZE, 0));
  if (ColumnWidthPixels(column) < dpi_.Scale(minWidth)) SetColumnWidth(column, minWidth);
}

void ListView::SetImageList(const ImageList* images) {
  if (handle_) {
    SendMessageW(handle_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
  }
}

int ListView::AddRow(std::string_view caption, int image, LPARAM data) { return InsertRow(RowCount(), caption, image, data); }

int ListView::InsertRow(int at, std::string_view caption, int image, LPARAM data) {
  if (!handle_ || ownerData_) return -1;
  std::wstring text = Wide(caption);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
  item.iItem = at;
  item.pszText = text.data();
  item.lParam = data;
  item.iImage = ImageOf(image);
  return static_cast<int>(SendMessageW(handle_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::DeleteRow(int row) {
  if (handle_) SendMessageW(handle_, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

void ListView::Clear() {
  if (!handle_) return;
  if (ownerData_) {
    SetVirtualRowCount(0);
  } else {
    SendMessageW(handle_, LVM_DELETEALLITEMS, 0, 0);
  }
}

int ListView::RowCount() const { return handle_ ? static_cast<int>(SendMessageW(handle_, LVM_GETITEMCOUNT, 0, 0)) : 0; }

void ListView::Reserve(int rows) {
  if (handle_ && !ownerData_) SendMessageW(handle_, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows), 0);
}

void ListView::SetCell(int row, int column, std::string_view text) {
  if (!handle_) return;
  std::wstring wide = Wide(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  SendMessageW(handle_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string ListView::Cell(int row, int column) const {
  if (!handle_) return {};
  if (ownerData_) return cellText && row >= 0 && row < RowCount() ? cellText(row, column) : std::string();
  std::wstring buffer(256, L'\0');
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    int length = static_cast<int>(SendMessageW(handle_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    if (length < static_cast<int>(buffer.size()) - 1) {
      buffer.resize(static_cast<size_t>(length));
      return Utf8(buffer);
    }
    buffer.resize(buffer.size() * 4);
  }
}

void ListView::SetCellImage(int row, int column, int image) {
  if (!handle_) return;
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iSubItem = column;
  item.iImage = ImageOf(image);
  SendMessageW(handle_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int ListView::CellImage(int row, int column) const {
  if (!handle_) return -1;
  if (ownerData_) return cellImage ? cellImage(row, column) : -1;
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iSubItem = column;
  if (!SendMessageW(handle_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
  return item.iImage < 0 ? -1 : item.iImage;
}

void ListView::SetRowData(int row, LPARAM data) {
  if (!handle_) return;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = data;
  SendMessageW(handle_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

LPARAM ListView::RowData(int row) const {
  if (!handle_) return 0;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageW(handle_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
  return item.lParam;
}

int ListView::FindRowByData(LPARAM data) const {
  if (!handle_) return -1;
  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = data;
  return static_cast<int>(SendMessageW(handle_, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

void ListView::SetVirtualRowCount(int rows) {
  if (handle_) SendMessageW(handle_, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows), 0);
}

int ListView::FocusedRow() const {
  return handle_ ? static_cast<int>(SendMessageW(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)) : -1;
}

int ListView::SelectedRow() const {
  return handle_ ? static_cast<int>(SendMessageW(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)) : -1;
}

std::vector<int> ListView::SelectedRows() const {
  std::vector<int> rows;
  if (!handle_) return rows;
  int row = -1;
  while ((row = static_cast<int>(SendMessageW(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) >= 0) {
    rows.push_back(row);
  }
  return rows;
}

void ListView::Select(int row, bool focus) {
  if (!handle_) return;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  SendMessageW(handle_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  if (row < 0) return;
  item.state = LVIS_SELECTED | (focus ? LVIS_FOCUSED : 0);
  SendMessageW(handle_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void ListView::EnsureVisible(int row) {
  if (handle_) SendMessageW(handle_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

int ListView::TopRow() const { return handle_ ? static_cast<int>(SendMessageW(handle_, LVM_GETTOPINDEX, 0, 0)) : -1; }

ListHit ListView::HitTest(POINT client) const {
  ListHit hit;
  if (!handle_) return hit;
  LVHITTESTINFO info{};
  info.pt = client;
  SendMessageW(handle_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&info));
  if (info.iItem >= 0 && (info.flags & LVHT_ONITEM)) {
    hit.row = info.iItem;
    hit.column = info.iSubItem;
  }
  return hit;
}

RECT ListView::CellRect(int row, int column) const {
  RECT rect{};
  if (!handle_) return rect;
  rect.top = column;
  rect.left = LVIR_LABEL;
  SendMessageW(handle_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
  return rect;
}

RECT ListView::RowRect(int row) const {
  RECT rect{};
  if (!handle_) return rect;
  rect.left = LVIR_BOUNDS;
  SendMessageW(handle_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
  return rect;
}

int ListView::HeaderHeight() const {
  if (!handle_) return 0;
  HWND header = reinterpret_cast<HWND>(SendMessageW(handle_, LVM_GETHEADER, 0, 0));
  RECT rect{};
  if (header) GetWindowRect(header, &rect);
  return rect.bottom - rect.top;
}

void ListView::BeginUpdate() {
  if (handle_ && updateDepth_++ == 0) SendMessageW(handle_, WM_SETREDRAW, FALSE, 0);
}

void ListView::EndUpdate() {
  if (!handle_ || updateDepth_ == 0) return;
  if (--updateDepth_ == 0) {
    SendMessageW(handle_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(handle_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  }
}

LRESULT ListView::CustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      int row = static_cast<int>(draw->nmcd.dwItemSpec);
      COLORREF color = kDefaultColor;
      if (rowColor) {
        color = rowColor(row);
      } else if (row % 2 == 1) {
        color = oddRowColor_;
      }
      paintColor_ = color;
      paintText_ = rowTextColor ? rowTextColor(row) : kDefaultColor;
      if (paintText_ != kDefaultColor) draw->clrText = paintText_;
      if (color == kDefaultColor) return paintText_ == kDefaultColor ? CDRF_DODEFAULT : CDRF_NEWFONT;
      draw->clrTextBk = color;
      return CDRF_NEWFONT | CDRF_NOTIFYSUBITEMDRAW;
    }
    case CDDS_SUBITEM | CDDS_ITEMPREPAINT: {
      // The whole cell takes the row colour, not only the text behind it;
      // a selected row keeps the highlight.
      int row = static_cast<int>(draw->nmcd.dwItemSpec);
      bool selected = SendMessageW(handle_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
      if (paintColor_ != kDefaultColor && !selected) {
        RECT cell = CellRect(row, draw->iSubItem);
        if (draw->iSubItem == 0) cell.left = RowRect(row).left;
        FillRect(draw->nmcd.hdc, &cell, detail::SolidBrush(paintColor_));
        draw->clrTextBk = paintColor_;
      }
      if (paintText_ != kDefaultColor) draw->clrText = paintText_;
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

std::optional<LRESULT> ListView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT && onPaint) {
    LRESULT result = CallDefault(message, wParam, lParam);
    HDC dc = GetDC(handle_);
    detail::Raise(onPaint, dc);
    ReleaseDC(handle_, dc);
    return result;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

std::optional<LRESULT> ListView::HandleReflected(UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) return std::nullopt;
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
      LVITEMW& item = info->item;
      if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        dispBuffer_ = cellText ? Wide(cellText(item.iItem, item.iSubItem)) : std::wstring();
        lstrcpynW(item.pszText, dispBuffer_.c_str(), item.cchTextMax);
      }
      if (item.mask & LVIF_IMAGE) item.iImage = ImageOf(cellImage ? cellImage(item.iItem, item.iSubItem) : -1);
      return 0;
    }
    case NM_CUSTOMDRAW:
      return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
    case NM_CLICK:
    case NM_DBLCLK:
    case NM_RCLICK: {
      POINT point = reinterpret_cast<NMITEMACTIVATE*>(lParam)->ptAction;
      ListHit hit = HitTest(point);
      if (header->code == NM_CLICK) {
        detail::Raise(onClick, hit, point);
      } else if (header->code == NM_DBLCLK) {
        detail::Raise(onDoubleClick, hit, point);
      } else {
        POINT screen = point;
        ClientToScreen(handle_, &screen);
        detail::Raise(onRightClick, hit, screen);
      }
      return 0;
    }
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
      if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_SELECTED) &&
          (change->uNewState & LVIS_SELECTED)) {
        detail::Raise(onSelectionChanged, change->iItem);
      }
      // State image 1 is the unchecked box, 2 the checked one; 0 is a row
      // being added, before it has a box.
      const UINT oldCheck = (change->uOldState & LVIS_STATEIMAGEMASK) >> 12;
      const UINT newCheck = (change->uNewState & LVIS_STATEIMAGEMASK) >> 12;
      if ((change->uChanged & LVIF_STATE) && !settingCheck_ && change->iItem >= 0 && oldCheck != 0 &&
          newCheck != 0 && oldCheck != newCheck) {
        detail::Raise(onCheckChanged, change->iItem, newCheck == 2);
      }
      return 0;
    }
    case LVN_COLUMNCLICK:
      detail::Raise(onHeaderClick, reinterpret_cast<NMLISTVIEW*>(lParam)->iSubItem);
      return 0;
    default:
      return std::nullopt;
  }
}

}  // namespace win
