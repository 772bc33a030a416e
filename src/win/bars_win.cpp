#include "win/bars_win.h"

#include <algorithm>

#include "win/internal_win.h"
#include "win/shell_win.h"
#include "win/text_win.h"

namespace win {

// ---- StatusBar ----

void StatusBar::Create(Parent parent, const StatusBarArgs& args) {
  DWORD style = WS_VISIBLE | WS_CLIPCHILDREN | (args.sizeGrip ? SBARS_SIZEGRIP : 0);
  Control::Create(parent, STATUSCLASSNAMEW, "", style, 0, Rect{}, args.id);
  if (!handle_) return;
  panes_ = args.panes;
  tips_ = detail::CreateTooltip(handle_);
  Layout();
  for (int i = 0; i < PaneCount(); ++i) SetPaneText(i, panes_[static_cast<size_t>(i)].text);
}

void StatusBar::Layout() {
  if (!handle_) return;
  SendMessageW(handle_, WM_SIZE, 0, 0);
  RECT client;
  GetClientRect(handle_, &client);
  int fixed = 0;
  for (const StatusPane& pane : panes_) {
    if (pane.width != kRest) fixed += dpi_.Scale(pane.width);
  }
  int rest = std::max(0, static_cast<int>(client.right) - fixed);
  std::vector<int> edges;
  int x = 0;
  for (const StatusPane& pane : panes_) {
    x += pane.width == kRest ? rest : dpi_.Scale(pane.width);
    edges.push_back(x);
  }
  if (!edges.empty()) edges.back() = -1;  // the last pane reaches the end of the bar
  SendMessageW(handle_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  // Some status bars (Wine's) drop pane texts when the parts change.
  for (size_t i = 0; i < panes_.size(); ++i) {
    SendMessageW(handle_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(Wide(panes_[i].text).c_str()));
  }
  UpdateTips();
}

void StatusBar::SetPaneText(int pane, std::string_view text) {
  if (!handle_ || pane < 0 || pane >= PaneCount()) return;
  panes_[static_cast<size_t>(pane)].text = std::string(text);
  SendMessageW(handle_, SB_SETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(Wide(text).c_str()));
  UpdateTips();
  UpdateWindow(handle_);
}

std::string StatusBar::PaneText(int pane) const {
  if (!handle_) return {};
  LRESULT length = LOWORD(SendMessageW(handle_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(pane), 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(handle_, SB_GETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return Utf8(text);
}

void StatusBar::SetPaneWidth(int pane, int width) {
  if (pane < 0 || pane >= PaneCount()) return;
  panes_[static_cast<size_t>(pane)].width = width;
  Layout();
}

void StatusBar::SetPaneTooltip(int pane, bool on) {
  if (pane < 0 || pane >= PaneCount()) return;
  panes_[static_cast<size_t>(pane)].tooltip = on;
  UpdateTips();
}

void StatusBar::SetPaneHint(int pane, std::string_view hint) {
  if (pane < 0 || pane >= PaneCount()) return;
  panes_[static_cast<size_t>(pane)].hint = std::string(hint);
  UpdateTips();
}

void StatusBar::UpdateTips() {
  if (!tips_) return;
  for (int i = 0; i < PaneCount(); ++i) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = handle_;
    tool.uId = static_cast<UINT_PTR>(i + 1);
    SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    const StatusPane& pane = panes_[static_cast<size_t>(i)];
    const std::string& shown = pane.hint.empty() ? pane.text : pane.hint;
    if ((!pane.tooltip && pane.hint.empty()) || shown.empty()) continue;
    std::wstring text = Wide(shown);
    tool.uFlags = TTF_SUBCLASS;
    tool.rect = PaneRect(i);
    tool.lpszText = text.data();
    SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

std::string StatusBar::PaneTooltip(int pane) const {
  if (!tips_ || pane < 0 || pane >= PaneCount()) return {};
  std::wstring text(1024, L'\0');
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = handle_;
  tool.uId = static_cast<UINT_PTR>(pane + 1);
  tool.lpszText = text.data();
  if (!SendMessageW(tips_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return {};
  text.assign(1024, L'\0');
  tool.lpszText = text.data();
  SendMessageW(tips_, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
  text.resize(wcslen(text.c_str()));
  return Utf8(text);
}

RECT StatusBar::PaneRect(int pane) const {
  RECT rect{};
  if (handle_) SendMessageW(handle_, SB_GETRECT, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(&rect));
  return rect;
}

int StatusBar::PaneAt(POINT client) const {
  for (int i = 0; i < PaneCount(); ++i) {
    RECT rect = PaneRect(i);
    if (PtInRect(&rect, client)) return i;
  }
  return -1;
}

int StatusBar::Height() const {
  RECT rect{};
  if (handle_) GetWindowRect(handle_, &rect);
  return rect.bottom - rect.top;
}

std::optional<LRESULT> StatusBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return Control::HandleMessage(message, wParam, lParam);
}

std::optional<LRESULT> StatusBar::HandleReflected(UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) return std::nullopt;
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header->code == NM_CLICK || header->code == NM_DBLCLK) {
    auto* mouse = reinterpret_cast<NMMOUSE*>(lParam);
    int pane = static_cast<int>(mouse->dwItemSpec);
    if (pane < 0 || pane >= PaneCount()) pane = PaneAt(mouse->pt);
    if (pane >= 0) detail::Raise(header->code == NM_CLICK ? onPaneClick : onPaneDoubleClick, pane);
    return 0;
  }
  return std::nullopt;
}

// ---- ToolBar ----

void ToolBar::Create(Parent parent, const ToolBarArgs& args) {
  DWORD style = WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_TOOLTIPS | (args.flat ? TBSTYLE_FLAT : 0) |
                (args.textRight ? TBSTYLE_LIST : 0) | (args.divider ? 0 : CCS_NODIVIDER) |
                (args.topAligned ? CCS_TOP : (CCS_NOPARENTALIGN | CCS_NORESIZE));
  Control::Create(parent, TOOLBARCLASSNAMEW, "", style, 0, Rect{}, args.id);
  if (!handle_) return;
  SendMessageW(handle_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  if (args.images) {
    SendMessageW(handle_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(args.images->Handle()));
  } else {
    SendMessageW(handle_, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  }
  HWND tips = reinterpret_cast<HWND>(SendMessageW(handle_, TB_GETTOOLTIPS, 0, 0));
  if (tips) {
    SendMessageW(tips, TTM_SETDELAYTIME, TTDT_AUTOPOP, kTooltipShowMs);
    // Its TTN_GETDISPINFO comes from the tip window: route it here.
    AttachPart(tips);
  }
  for (const ToolButton& button : args.buttons) AddButton(button);
}

void ToolBar::AddButton(const ToolButton& button) {
  if (!handle_) return;
  std::wstring text = Wide(button.text);
  text.push_back(L'\0');  // a string list ends with an empty string
  TBBUTTON tb{};
  tb.iBitmap = button.separator ? 6 : (button.image < 0 ? I_IMAGENONE : button.image);
  tb.idCommand = button.id;
  tb.fsState = static_cast<BYTE>(button.enabled ? TBSTATE_ENABLED : 0);
  tb.fsStyle = static_cast<BYTE>(button.separator ? BTNS_SEP : (BTNS_BUTTON | BTNS_AUTOSIZE | (button.checkable ? BTNS_CHECK : 0)));
  if (!button.separator) {
    tb.iString = SendMessageW(handle_, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (!button.tooltip.empty()) tips_[button.id] = Wide(button.tooltip);
  }
  SendMessageW(handle_, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&tb));
  SendMessageW(handle_, TB_AUTOSIZE, 0, 0);
}

void ToolBar::Layout() {
  if (handle_) SendMessageW(handle_, TB_AUTOSIZE, 0, 0);
}

int ToolBar::ButtonCount() const { return handle_ ? static_cast<int>(SendMessageW(handle_, TB_BUTTONCOUNT, 0, 0)) : 0; }

std::string ToolBar::ButtonText(int id) const {
  if (!handle_) return {};
  LRESULT length = SendMessageW(handle_, TB_GETBUTTONTEXTW, static_cast<WPARAM>(id), 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(handle_, TB_GETBUTTONTEXTW, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return Utf8(text);
}

void ToolBar::SetButtonEnabled(int id, bool on) {
  if (handle_) SendMessageW(handle_, TB_ENABLEBUTTON, static_cast<WPARAM>(id), MAKELPARAM(on ? TRUE : FALSE, 0));
}

bool ToolBar::ButtonEnabled(int id) const {
  return handle_ && SendMessageW(handle_, TB_ISBUTTONENABLED, static_cast<WPARAM>(id), 0) != 0;
}

void ToolBar::SetButtonChecked(int id, bool on) {
  if (handle_) SendMessageW(handle_, TB_CHECKBUTTON, static_cast<WPARAM>(id), MAKELPARAM(on ? TRUE : FALSE, 0));
}

bool ToolBar::ButtonChecked(int id) const {
  return handle_ && SendMessageW(handle_, TB_ISBUTTONCHECKED, static_cast<WPARAM>(id), 0) != 0;
}

RECT ToolBar::ButtonRect(int id) const {
  RECT rect{};
  if (handle_) SendMessageW(handle_, TB_GETRECT, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&rect));
  return rect;
}

int ToolBar::Height() const {
  RECT rect{};
  if (handle_) GetWindowRect(handle_, &rect);
  return rect.bottom - rect.top;
}

void ToolBar::ClickButton(int id) {
  if (!ButtonEnabled(id)) return;
  // What the toolbar itself sends when the user releases a button.
  SendMessageW(GetParent(handle_), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(handle_));
}

std::optional<LRESULT> ToolBar::HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    detail::Raise(onClick, static_cast<int>(LOWORD(wParam)));
    return 0;
  }
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TTN_GETDISPINFOW) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    auto found = tips_.find(static_cast<int>(info->hdr.idFrom));
    if (found != tips_.end()) info->lpszText = found->second.data();
    return 0;
  }
  return std::nullopt;
}

// ---- TabControl ----

void TabControl::Create(Parent parent, const TabControlArgs& args) {
  Control::Create(parent, WC_TABCONTROLW, "", WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP,
                  WS_EX_CONTROLPARENT, args.rect, args.id);
  for (const std::string& page : args.pages) AddPage(page);
}

int TabControl::AddPage(std::string_view caption) {
  if (!handle_) return -1;
  PageEntry entry;
  entry.caption = std::string(caption);
  entry.panel = std::make_unique<Panel>(Parent(handle_), PanelArgs{.visible = false});
  pages_.push_back(std::move(entry));
  int page = PageCount() - 1;
  Rebuild();
  LayoutPages();
  if (active_ < 0) SetActive(page);
  return page;
}

int TabControl::TabIndexOf(int page) const {
  if (page < 0 || page >= PageCount() || !pages_[static_cast<size_t>(page)].shown) return -1;
  int index = 0;
  for (int i = 0; i < page; ++i) index += pages_[static_cast<size_t>(i)].shown ? 1 : 0;
  return index;
}

bool TabControl::TabShown(int page) const { return page >= 0 && page < PageCount() && pages_[static_cast<size_t>(page)].shown; }

void TabControl::Rebuild() {
  SendMessageW(handle_, TCM_DELETEALLITEMS, 0, 0);
  int index = 0;
  for (int i = 0; i < PageCount(); ++i) {
    if (!pages_[static_cast<size_t>(i)].shown) continue;
    std::wstring caption = Wide(pages_[static_cast<size_t>(i)].caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = caption.data();
    item.lParam = i;
    SendMessageW(handle_, TCM_INSERTITEMW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
  }
  if (active_ >= 0) SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(TabIndexOf(active_)), 0);
}

void TabControl::SetActive(int page) {
  if (page < 0 || page >= PageCount()) return;
  if (!pages_[static_cast<size_t>(page)].shown) {
    pages_[static_cast<size_t>(page)].shown = true;
    Rebuild();
  }
  active_ = page;
  SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(TabIndexOf(page)), 0);
  ShowOnly(page);
}

void TabControl::ShowTab(int page, bool on) {
  if (page < 0 || page >= PageCount() || pages_[static_cast<size_t>(page)].shown == on) return;
  pages_[static_cast<size_t>(page)].shown = on;
  if (!on && active_ == page) {
    active_ = -1;
    for (int i = 0; i < PageCount(); ++i) {
      if (pages_[static_cast<size_t>(i)].shown) {
        active_ = i;
        break;
      }
    }
  }
  Rebuild();
  ShowOnly(active_);
}

void TabControl::ShowOnly(int page) {
  for (int i = 0; i < PageCount(); ++i) pages_[static_cast<size_t>(i)].panel->Show(i == page);
}

RECT TabControl::PageRectPixels() const {
  RECT rect{};
  if (!handle_) return rect;
  GetClientRect(handle_, &rect);
  SendMessageW(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rect));
  return rect;
}

void TabControl::LayoutPages() {
  RECT rect = PageRectPixels();
  for (PageEntry& entry : pages_) entry.panel->MovePixels(rect);
}

void TabControl::MovePixels(const RECT& rect) {
  Control::MovePixels(rect);
  LayoutPages();
}

std::optional<LRESULT> TabControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE) {
    LRESULT result = CallDefault(message, wParam, lParam);
    LayoutPages();
    return result;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

std::optional<LRESULT> TabControl::HandleReflected(UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TCN_SELCHANGE) {
    int tab = static_cast<int>(SendMessageW(handle_, TCM_GETCURSEL, 0, 0));
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    if (tab >= 0 && SendMessageW(handle_, TCM_GETITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item))) {
      active_ = static_cast<int>(item.lParam);
      ShowOnly(active_);
      detail::Raise(onChanged, active_);
    }
    return 0;
  }
  return std::nullopt;
}

}  // namespace win
