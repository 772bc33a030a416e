#include "plugin/ui/unt_listctrlcl_win.h"

#include <commctrl.h>

#include "base/gbk.h"
#include "plugin/addin/unt_hostedge.h"

namespace ui {
namespace {

constexpr wchar_t kObjectProperty[] = L"QvPelluminControl";

UINT DrawTextFormat(TAlign align) {
  const UINT base = DT_SINGLELINE | DT_NOPREFIX | DT_TOP;
  switch (align) {
    case TAlign::kLeft: return base | DT_LEFT;
    case TAlign::kRight: return base | DT_RIGHT;
    default: return base | DT_CENTER;
  }
}

// A font of the given size and face; everything else is left to the
// system (the character set too, so that Chinese faces are found).
HFONT MakeFont(int height, int width, const std::wstring& face) {
  LOGFONTW font{};
  font.lfHeight = height;
  font.lfWidth = width;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

int CharacterHeight(HDC dc, HGDIOBJ font) {
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  return metrics.tmHeight;
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

}  // namespace

std::wstring WideFromGbk(std::string_view gbk) {
  const std::u16string wide = base::Utf8ToUtf16(base::GbkToUtf8Lossy(gbk));
  return std::wstring(wide.begin(), wide.end());
}

// ---------------------------------------------------------------------------
// Subclassed windows

bool CSubclassedWindow::Hook(HWND window, ICallDepth* depth) {
  Detach();
  if (!window || !SetPropW(window, kObjectProperty, this)) return false;
  window_ = window;
  depth_ = depth;
  original_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassedWindow::Proc)));
  if (!original_) {
    RemovePropW(window, kObjectProperty);
    window_ = nullptr;
    return false;
  }
  return true;
}

void CSubclassedWindow::Detach() {
  if (!window_) return;
  if (IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropW(window_, kObjectProperty);
  }
  window_ = nullptr;
}

LRESULT CSubclassedWindow::CallOriginal(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(original_, window_, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<CSubclassedWindow*>(GetPropW(window, kObjectProperty));
  if (!self || self->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window's last message goes to its own procedure, the object lets go.
    const WNDPROC original = self->original_;
    self->Detach();
    return CallWindowProcW(original, window, message, wParam, lParam);
  }
  // The object may be let go of (and its owner freed) inside Handle: only
  // the owner is reached afterwards, which stays until Leave.
  ICallDepth* depth = self->depth_;
  if (depth) depth->Enter();
  // Should our handling fail, the control's own procedure handles the message.
  const WNDPROC original = self->original_;
  bool handled = false;
  LRESULT result = 0;
  addin::HostCall([&] {
    result = self->Handle(message, wParam, lParam);
    handled = true;
  });
  if (!handled) result = CallWindowProcW(original, window, message, wParam, lParam);
  if (depth) depth->Leave();
  return result;
}

// ---------------------------------------------------------------------------
// Header

bool CHeaderCtrlCl::Attach(HWND header, const CHeaderCtrlClModel& model, std::wstring face, ICallDepth* depth) {
  model_ = &model;
  face_ = std::move(face);
  return Hook(header, depth);
}

LRESULT CHeaderCtrlCl::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Window(), &ps);
      Paint(dc);
      EndPaint(Window(), &ps);
      return 0;
    }
    case HDM_LAYOUT: {
      // After the default layout the header is taller by its factor and the
      // list's area starts below it.
      auto* layout = reinterpret_cast<HDLAYOUT*>(lParam);
      const LONG top = layout && layout->prc ? layout->prc->top : 0;
      const LRESULT result = CallOriginal(message, wParam, lParam);
      if (result && layout && layout->pwpos && layout->prc) {
        layout->pwpos->cy = model_->ScaledHeight(layout->pwpos->cy);
        layout->prc->top = top + layout->pwpos->cy;
      }
      return result;
    }
    default:
      return CallOriginal(message, wParam, lParam);
  }
}

void CHeaderCtrlCl::FillGradient(HDC dc, const RECT& item) {
  for (LONG y = item.top; y <= item.bottom; ++y) {
    const RECT line{item.left + 1, y, item.right, y + 1};
    Fill(dc, line, model_->GradientRow(static_cast<int>(y - item.top)));
  }
}

void CHeaderCtrlCl::Paint(HDC dc) {
  RECT client{};
  GetClientRect(Window(), &client);
  const int count = static_cast<int>(CallOriginal(HDM_GETITEMCOUNT, 0, 0));
  HFONT font = MakeFont(model_->fontHeight, model_->fontWidth, face_);
  const int charHeight = CharacterHeight(dc, font);
  LONG right = client.left;
  for (int i = 0; i < count; ++i) {
    RECT item{};
    if (!CallOriginal(HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item))) continue;
    FillGradient(dc, item);
    right = item.right > right ? item.right : right;
    const auto& headings = model_->Headings();
    if (static_cast<size_t>(i) >= headings.size()) continue;
    const std::wstring text = WideFromGbk(headings[static_cast<size_t>(i)]);
    const TAlign align = model_->Alignment(i);
    RECT area = item;
    if (align == TAlign::kLeft) area.left += 3;
    if (align == TAlign::kRight) area.right -= 3;
    area.top += (item.bottom - item.top - charHeight) / 2;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, model_->textColour);
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), -1, &area, DrawTextFormat(align));
    SelectObject(dc, old);
  }
  // The part right of the last item: the same gradient, no text.
  if (right < client.right) FillGradient(dc, RECT{right, client.top, client.right, client.bottom});
  DeleteObject(font);
}

// ---------------------------------------------------------------------------
// List

bool CListCtrlCl::Attach(HWND list, const CListCtrlClModel& model, std::wstring cellFace, std::wstring headerFace,
                         ICallDepth* depth) {
  model_ = &model;
  cellFace_ = std::move(cellFace);
  if (!Hook(list, depth)) return false;
  SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | LVS_OWNERDRAWFIXED);
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  return header && header_.Attach(header, model.header, std::move(headerFace), depth);
}

void CListCtrlCl::DetachAll() {
  header_.Detach();
  Detach();
}

void CListCtrlCl::InsertColumn(int index, const std::wstring& heading, int columnFormat, int width) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = columnFormat;
  column.cx = width;
  column.pszText = const_cast<wchar_t*>(heading.c_str());
  column.iSubItem = index;
  SendMessageW(Window(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

LRESULT CListCtrlCl::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (wParam) return CallOriginal(message, wParam, lParam);
      Paint();
      return 0;
    default:
      return CallOriginal(message, wParam, lParam);
  }
}

void CListCtrlCl::Paint() {
  HWND list = Window();
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(list, &ps);
  RECT client{};
  GetClientRect(list, &client);
  const int width = client.right - client.left, height = client.bottom - client.top;
  if (width > 0 && height > 0) {
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP image = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ oldImage = SelectObject(memory, image);
    if (HWND header = header_.Window(); header && IsWindowVisible(header)) {
      RECT area{};
      GetWindowRect(header, &area);
      MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&area), 2);
      ExcludeClipRect(dc, area.left, area.top, area.right, area.bottom);
    }
    Fill(memory, client, RGB(255, 255, 255));
    CallOriginal(WM_PAINT, reinterpret_cast<WPARAM>(memory), 0);
    BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldImage);
    DeleteObject(image);
    DeleteDC(memory);
  }
  EndPaint(list, &ps);
}

void CListCtrlCl::DrawItem(const DRAWITEMSTRUCT& item) {
  HWND list = Window();
  if (!list || static_cast<int>(item.itemID) < 0) return;
  const int row = static_cast<int>(item.itemID);
  HDC dc = item.hDC;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  const bool selected = (SendMessageW(list, LVM_GETITEMSTATE, item.itemID, LVIS_SELECTED) & LVIS_SELECTED) != 0;
  const COLORREF listBackground = static_cast<COLORREF>(SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
  const int charHeight = CharacterHeight(dc, GetStockObject(DEFAULT_GUI_FONT));
  for (int column = 0; column < columns && Window(); ++column) {
    RECT cell{};
    cell.top = column;
    cell.left = LVIR_LABEL;
    if (!SendMessageW(list, LVM_GETSUBITEMRECT, item.itemID, reinterpret_cast<LPARAM>(&cell))) break;
    if (column == 0) cell.left -= 2;
    wchar_t text[256] = {};
    LVITEMW request{};
    request.iSubItem = column;
    request.pszText = text;
    request.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, item.itemID, reinterpret_cast<LPARAM>(&request));
    // The settings belong to the renderer: gone with it when it let go.
    if (!Window()) break;

    Fill(dc, cell, model_->CellBackground(selected, GetSysColor(COLOR_HIGHLIGHT), listBackground));
    RECT area = cell;
    area.top += (cell.bottom - cell.top - charHeight) / 2;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, model_->RowTextColour(row));
    HFONT font = MakeFont(model_->fontHeight, model_->fontWidth, cellFace_);
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text, -1, &area, DrawTextFormat(model_->header.Alignment(column)));
    SelectObject(dc, old);
    DeleteObject(font);
  }
}

}  // namespace ui
