// A small program for the driver's own test: one window with the common
// controls the driver reads and works, each reporting what was done to it
// in the label (id 103) or the status bar, so that a script sees effects.
//
//   uidriver_target.exe
//
// Window "驱动测试窗口": toolbar "开始" (2001, a check button that enables
// "停止") and "停止" (2002, disabled at start); tabs "公告栏", "晒股信息",
// "其他" (choosing one names it in the label); buttons "改变标签" (101, counts clicks) and "弹出提示" (102, asks
// "要改变标签吗？" in a box titled "确认" with Yes/No/Cancel); the label;
// an edit field (104); a report list (105) of three securities; a status
// bar of three panes. F12 anywhere sets the label to "F12"; closing asks
// "您确定要关闭吗？" in a box titled "退出".
#include <windows.h>

#include <commctrl.h>

#include <string>

namespace {

constexpr int kIdCountButton = 101;
constexpr int kIdAskButton = 102;
constexpr int kIdLabel = 103;
constexpr int kIdEdit = 104;
constexpr int kIdList = 105;
constexpr int kIdStatus = 106;
constexpr int kIdToolbar = 107;
constexpr int kIdTabs = 108;
constexpr int kIdStart = 2001;
constexpr int kIdStop = 2002;

struct Row {
  const wchar_t* code;
  const wchar_t* name;
  const wchar_t* price;
  int image;
};
constexpr Row kRows[] = {
    {L"600000", L"浦发银行", L"12.340", 0},
    {L"000001", L"平安银行", L"9.800", 1},
    {L"300750", L"宁德时代", L"180.500", 0},
};

struct Target {
  HWND main = nullptr;
  HWND toolbar = nullptr;
  HWND tabs = nullptr;
  HWND label = nullptr;
  HWND list = nullptr;
  HWND status = nullptr;
  int clicks = 0;
} g;

void SetLabel(const std::wstring& text) { SetWindowTextW(g.label, text.c_str()); }

HWND Control(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
  HWND window = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, g.main,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return window;
}

void CreateToolbar() {
  g.toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST, 0, 0,
                              0, 0, g.main, reinterpret_cast<HMENU>(kIdToolbar), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(g.toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(g.toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  TBBUTTON buttons[2] = {};
  buttons[0].iBitmap = I_IMAGENONE;
  buttons[0].idCommand = kIdStart;
  buttons[0].fsState = TBSTATE_ENABLED;
  buttons[0].fsStyle = BTNS_CHECK | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
  buttons[0].iString = reinterpret_cast<INT_PTR>(L"开始");
  buttons[1].iBitmap = I_IMAGENONE;
  buttons[1].idCommand = kIdStop;
  buttons[1].fsState = 0;
  buttons[1].fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
  buttons[1].iString = reinterpret_cast<INT_PTR>(L"停止");
  SendMessageW(g.toolbar, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(buttons));
  SendMessageW(g.toolbar, TB_AUTOSIZE, 0, 0);
}

void CreateTabs() {
  g.tabs = Control(WC_TABCONTROLW, nullptr, WS_CLIPSIBLINGS, 8, 36, 420, 28, kIdTabs);
  const wchar_t* captions[] = {L"公告栏", L"晒股信息", L"其他"};
  for (int i = 0; i < 3; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(captions[i]);
    SendMessageW(g.tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
}

void CreateList() {
  g.list = Control(WC_LISTVIEWW, nullptr, WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 8, 144, 420, 150,
                   kIdList);
  SendMessageW(g.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
  ImageList_AddIcon(images, LoadIconW(nullptr, IDI_INFORMATION));
  ImageList_AddIcon(images, LoadIconW(nullptr, IDI_WARNING));
  SendMessageW(g.list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
  struct Column {
    const wchar_t* caption;
    int width;
    int format;
  } columns[] = {{L"代码", 80, LVCFMT_LEFT}, {L"名称", 120, LVCFMT_CENTER}, {L"现价", 90, LVCFMT_RIGHT}};
  for (int c = 0; c < 3; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = const_cast<wchar_t*>(columns[c].caption);
    column.cx = columns[c].width;
    column.fmt = columns[c].format;
    SendMessageW(g.list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  for (int r = 0; r < 3; ++r) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = r;
    item.pszText = const_cast<wchar_t*>(kRows[r].code);
    item.iImage = kRows[r].image;
    SendMessageW(g.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    LVITEMW cell{};
    cell.iSubItem = 1;
    cell.pszText = const_cast<wchar_t*>(kRows[r].name);
    SendMessageW(g.list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&cell));
    cell.iSubItem = 2;
    cell.pszText = const_cast<wchar_t*>(kRows[r].price);
    SendMessageW(g.list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&cell));
  }
}

void CreateStatus() {
  g.status = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, g.main,
                             reinterpret_cast<HMENU>(kIdStatus), GetModuleHandleW(nullptr), nullptr);
  int edges[3] = {120, 300, -1};
  SendMessageW(g.status, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
  SendMessageW(g.status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"就绪"));
  SendMessageW(g.status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"未选择"));
  SendMessageW(g.status, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(L"第三栏"));
}

std::wstring RowCode(int row) {
  wchar_t text[64] = {};
  LVITEMW item{};
  item.pszText = text;
  item.cchTextMax = 64;
  SendMessageW(g.list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

void OnCommand(int id) {
  switch (id) {
    case kIdCountButton:
      SetLabel(L"已点击 " + std::to_wstring(++g.clicks) + L" 次");
      break;
    case kIdAskButton: {
      const int answer = MessageBoxW(g.main, L"要改变标签吗？", L"确认", MB_YESNOCANCEL | MB_ICONQUESTION);
      SetLabel(answer == IDYES ? L"回答：是" : answer == IDNO ? L"回答：否" : L"回答：取消");
      break;
    }
    case kIdStart:
      SetLabel(L"工具栏：开始");
      SendMessageW(g.toolbar, TB_CHECKBUTTON, kIdStart, TRUE);
      SendMessageW(g.toolbar, TB_ENABLEBUTTON, kIdStop, TRUE);
      break;
    case kIdStop:
      SetLabel(L"工具栏：停止");
      SendMessageW(g.toolbar, TB_CHECKBUTTON, kIdStart, FALSE);
      SendMessageW(g.toolbar, TB_ENABLEBUTTON, kIdStop, FALSE);
      break;
  }
}

LRESULT OnNotify(const NMHDR* header) {
  if (header->hwndFrom == g.list) {
    const auto* item = reinterpret_cast<const NMITEMACTIVATE*>(header);
    switch (header->code) {
      case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
            !(change->uOldState & LVIS_SELECTED)) {
          const std::wstring text = L"选中：" + RowCode(change->iItem);
          SendMessageW(g.status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
        }
        break;
      }
      case NM_DBLCLK:
        if (item->iItem >= 0) SetLabel(L"双击：" + RowCode(item->iItem));
        break;
      case NM_RCLICK:
        if (item->iItem >= 0) SetLabel(L"右击：" + RowCode(item->iItem));
        break;
    }
  } else if (header->hwndFrom == g.tabs && header->code == TCN_SELCHANGE) {
    wchar_t caption[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    item.cchTextMax = 64;
    SendMessageW(g.tabs, TCM_GETITEMW, SendMessageW(g.tabs, TCM_GETCURSEL, 0, 0), reinterpret_cast<LPARAM>(&item));
    SetLabel(std::wstring(L"页：") + caption);
  }
  return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      g.main = window;
      CreateToolbar();
      CreateTabs();
      Control(L"Button", L"改变标签", BS_PUSHBUTTON, 8, 72, 100, 28, kIdCountButton);
      Control(L"Button", L"弹出提示", BS_PUSHBUTTON, 116, 72, 100, 28, kIdAskButton);
      g.label = Control(L"Static", L"标签：初始", SS_LEFT, 228, 78, 200, 20, kIdLabel);
      Control(L"Edit", L"", WS_BORDER | ES_AUTOHSCROLL, 8, 110, 200, 24, kIdEdit);
      CreateList();
      CreateStatus();
      return 0;
    case WM_SIZE:
      SendMessageW(g.toolbar, TB_AUTOSIZE, 0, 0);
      SendMessageW(g.status, WM_SIZE, 0, 0);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_CLOSE:
      if (MessageBoxW(window, L"您确定要关闭吗？", L"退出", MB_YESNO | MB_ICONQUESTION) == IDYES) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW cls{};
  cls.lpfnWndProc = WindowProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  cls.lpszClassName = L"QvUiDriverTarget";
  RegisterClassW(&cls);
  CreateWindowExW(0, cls.lpszClassName, L"驱动测试窗口", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 460, 380,
                  nullptr, nullptr, instance, nullptr);
  ShowWindow(g.main, show);
  UpdateWindow(g.main);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // F12 works anywhere in the program, whichever control has the focus.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F12) {
      SetLabel(L"F12");
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
