// A stand-in for a broker's trading program, laid out the way the order
// automation expects one: panel buttons of class "AfxWnd42" (1000 buy,
// 1001 sell, 1005 a third panel), a buy and a sell panel each with a code
// (1032), price (1033) and quantity (1034) field, a first button (1007,
// clears the panel) and an order button (1006), and two "Edit" fields 1018.
//
//   simtrader.exe --title TITLE --orders FILE [--cash YUAN] [--lot N]
//                 [--limit CODE:DOWN:UP]... [--box CODE:SHAPE]...
//
// F1 and F2 switch to the buy and the sell panel, F5 is counted as a
// refresh, Tab walks code, price, quantity and order button, and the order
// button (a click, or Enter on it or on the quantity field) asks for
// confirmation. Enter accepts, Esc cancels; every accepted order is
// appended to FILE as "buy|sell,code,price,quantity", the panel is emptied
// and the focus goes back to its code field, where further Enter and Esc
// keys do nothing; the list "当日委托" shows the accepted orders. FILE is
// created (empty) as soon as the window is up, so that a script can wait
// for it.
//
// After the confirmation it answers as a broker does, with a box: "委托已成功
// 提交，合同编号：N" (N counting from 10001) for an accepted order, or a
// refusal, and the order is not recorded: a buy costing more than the
// available cash (--cash; accepted buys spend it, sells bring it back), a
// price outside the code's limit-down/limit-up pair (--limit), a buy
// quantity that is not a multiple of the lot (--lot).
//
// --box shapes the answers to the orders of one code as some brokers give
// them (several --box for one code add up):
//   late  the answer (acceptance or refusal) is held back and comes during
//         the next order, right after that order's confirmation;
//   fill  a fill notice of the newest accepted order ("您的委托编号 N 已全部
//         成交", 9001 before any) comes first;
//   hint  the acceptance adds "。提示：该股票当日买入，当日不能卖出";
//   edit  the answer stands in the read-only edit field (1001) of a dialog
//         box, after a notice long enough to put it past 256 characters.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kIdBuyPanelButton = 1000;
constexpr int kIdSellPanelButton = 1001;
constexpr int kIdThirdPanelButton = 1005;
constexpr int kIdOrderButton = 1006;
constexpr int kIdFirstButton = 1007;
constexpr int kIdInfoField = 1018;
constexpr int kIdCode = 1032;
constexpr int kIdPrice = 1033;
constexpr int kIdQuantity = 1034;
constexpr int kIdRefreshLabel = 1100;  // "F5: N": the refreshes counted so far
constexpr int kIdStatusLabel = 1101;   // the last thing that happened
constexpr int kIdOrderList = 1102;     // the orders accepted today, newest last

struct Panel {
  const wchar_t* side;     // "buy" / "sell" in the orders file
  const wchar_t* caption;  // shown in the boxes
  HWND window = nullptr;
  HWND code = nullptr;
  HWND price = nullptr;
  HWND quantity = nullptr;
  HWND first = nullptr;
  HWND order = nullptr;
};

struct BoxShape {
  bool late = false, fill = false, hint = false, edit = false;
};

// A broker's answer box.
struct Answer {
  std::wstring text;
  bool refusal = false;
  bool edit = false;
};

struct Trader {
  std::wstring ordersPath;
  HWND main = nullptr;
  HWND refreshLabel = nullptr;
  HWND status = nullptr;
  HWND orderList = nullptr;
  Panel buy{L"buy", L"买入"};
  Panel sell{L"sell", L"卖出"};
  Panel* current = &buy;
  int refreshes = 0;
  // The broker's rules; a negative cash or a lot of 0 is no rule.
  double cash = -1;
  int lot = 0;
  std::map<std::wstring, std::pair<double, double>> limits;  // code: limit-down, limit-up
  int nextContract = 10001;
  std::map<std::wstring, BoxShape> shapes;  // by code
  std::optional<Answer> late;               // held back until the next order
} g;

std::wstring Text(HWND window) {
  wchar_t text[256];
  const int length = GetWindowTextW(window, text, 256);
  return std::wstring(text, length > 0 ? length : 0);
}

void SetStatus(const std::wstring& text) { SetWindowTextW(g.status, text.c_str()); }

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// Appends a line; an empty text only creates the file.
bool AppendOrder(const std::wstring& line) {
  FILE* file = _wfopen(g.ordersPath.c_str(), L"ab");
  if (!file) return false;
  const std::string bytes = line.empty() ? std::string() : Utf8(line) + "\r\n";
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

void ShowPanel(Panel& panel) {
  Panel& other = &panel == &g.buy ? g.sell : g.buy;
  ShowWindow(other.window, SW_HIDE);
  ShowWindow(panel.window, SW_SHOW);
  g.current = &panel;
  SetFocus(panel.code);
  SetStatus(std::wstring(panel.caption) + L"面板");
}

void ClearPanel(Panel& panel) {
  SetWindowTextW(panel.code, L"");
  SetWindowTextW(panel.price, L"");
  SetWindowTextW(panel.quantity, L"");
}

// The broker's refusal of an order, or empty when it takes it.
std::wstring Refusal(const Panel& panel, const std::wstring& code, const std::wstring& price,
                     const std::wstring& quantity) {
  const bool buy = &panel == &g.buy;
  const double p = _wtof(price.c_str());
  const long q = _wtol(quantity.c_str());
  if (buy && g.lot > 0 && q % g.lot != 0) return L"委托数量必须为" + std::to_wstring(g.lot) + L"的整数倍";
  const auto limit = g.limits.find(code);
  if (limit != g.limits.end() && (p < limit->second.first - 1e-9 || p > limit->second.second + 1e-9)) {
    return L"委托价格超出涨跌停限制";
  }
  if (buy && g.cash >= 0 && p * static_cast<double>(q) > g.cash + 1e-9) return L"可用资金不足";
  return {};
}

constexpr int kIdAnswerField = 1001;

INT_PTR CALLBACK AnswerBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextW(box, kIdAnswerField, reinterpret_cast<const wchar_t*>(lParam));
      SetFocus(GetDlgItem(box, IDOK));
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(box, LOWORD(wParam));
      return TRUE;
  }
  return FALSE;
}

// A dialog box (class "#32770") with a read-only, multi-line edit field and
// an OK button, from a template built in memory.
void EditBox(const std::wstring& text) {
  std::vector<WORD> t;
  const auto dword = [&](DWORD v) {
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
  };
  const auto str = [&](const wchar_t* v) {
    for (; *v; ++v) t.push_back(*v);
    t.push_back(0);
  };
  const auto item = [&](DWORD style, short x, short y, short cx, short cy, WORD id, WORD kind, const wchar_t* title) {
    if (t.size() % 2) t.push_back(0);  // items start on a DWORD
    dword(WS_CHILD | WS_VISIBLE | style);
    dword(0);
    for (const short v : {x, y, cx, cy}) t.push_back(static_cast<WORD>(v));
    t.push_back(id);
    t.push_back(0xFFFF);
    t.push_back(kind);
    str(title);
    t.push_back(0);
  };
  dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  dword(0);
  t.push_back(2);
  for (const short v : {0, 0, 240, 130}) t.push_back(static_cast<WORD>(v));
  t.push_back(0);  // no menu
  t.push_back(0);  // the dialog class
  str(L"提示");
  t.push_back(9);
  str(L"MS Shell Dlg");
  item(WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 7, 7, 226, 92, kIdAnswerField, 0x0081, L"");
  item(WS_TABSTOP | BS_DEFPUSHBUTTON, 95, 106, 50, 16, IDOK, 0x0080, L"确定");
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), g.main,
                          AnswerBoxProc, reinterpret_cast<LPARAM>(text.c_str()));
}

void Show(const Answer& answer) {
  if (answer.edit) {
    // A notice first, as long as brokers' notices get: the answer lies past
    // any 256-character read.
    std::wstring notice = L"【重要提示】";
    for (int i = 0; i < 24; ++i) notice += L"请注意投资风险，理性投资。";
    EditBox(notice + L"\r\n" + answer.text);
  } else if (answer.refusal) {
    MessageBoxW(g.main, answer.text.c_str(), L"错误", MB_OK | MB_ICONERROR);
  } else {
    MessageBoxW(g.main, answer.text.c_str(), L"提示", MB_OK | MB_ICONINFORMATION);
  }
}

// The answer to an order now, or held back for the next one.
void GiveAnswer(const BoxShape& shape, Answer answer) {
  answer.edit = shape.edit;
  if (shape.late) {
    g.late = std::move(answer);
    return;
  }
  Show(answer);
}

void PressOrder(Panel& panel) {
  const std::wstring code = Text(panel.code), price = Text(panel.price), quantity = Text(panel.quantity);
  if (code.empty() || price.empty() || quantity.empty()) {
    MessageBoxW(g.main, L"请输入证券代码、价格和数量。", L"提示", MB_OK | MB_ICONWARNING);
    SetStatus(L"委托不完整");
    return;
  }
  const std::wstring question = std::wstring(panel.caption) + L" " + code + L"\n价格 " + price + L"\n数量 " +
                                quantity + L"\n\n是否确认委托？";
  if (MessageBoxW(g.main, question.c_str(), L"委托确认", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    SetStatus(L"委托已取消");
    return;
  }
  // An earlier order's slow answer comes now, before this one's.
  if (g.late) {
    const Answer earlier = *g.late;
    g.late.reset();
    Show(earlier);
  }
  const BoxShape shape = g.shapes.count(code) ? g.shapes[code] : BoxShape{};
  if (shape.fill) {
    const std::wstring notice =
        L"您的委托编号 " + std::to_wstring(g.nextContract > 10001 ? g.nextContract - 1 : 9001) + L" 已全部成交";
    MessageBoxW(g.main, notice.c_str(), L"成交提示", MB_OK | MB_ICONINFORMATION);
  }
  if (const std::wstring refusal = Refusal(panel, code, price, quantity); !refusal.empty()) {
    SetStatus(L"委托被拒绝");
    GiveAnswer(shape, {refusal, true, false});
    return;
  }
  if (!AppendOrder(std::wstring(panel.side) + L"," + code + L"," + price + L"," + quantity)) {
    MessageBoxW(g.main, L"委托记录无法写入。", L"错误", MB_OK | MB_ICONERROR);
    return;
  }
  if (g.cash >= 0) g.cash += (&panel == &g.buy ? -1 : 1) * _wtof(price.c_str()) * _wtof(quantity.c_str());
  SetStatus(L"委托已提交：" + std::wstring(panel.caption) + L" " + code);
  const std::wstring row = std::wstring(panel.caption) + L"  " + code + L"  价格 " + price + L"  数量 " + quantity;
  const auto index = SendMessageW(g.orderList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
  SendMessageW(g.orderList, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  ClearPanel(panel);
  SetFocus(panel.code);
  std::wstring answer = L"委托已成功提交，合同编号：" + std::to_wstring(g.nextContract++);
  if (shape.hint) answer += L"。提示：该股票当日买入，当日不能卖出";
  GiveAnswer(shape, {answer, false, false});
  SetFocus(panel.code);
}

// F1, F2 and F5, whether typed or posted to the main window.
bool CommandKey(WPARAM key) {
  switch (key) {
    case VK_F1:
      ShowPanel(g.buy);
      return true;
    case VK_F2:
      ShowPanel(g.sell);
      return true;
    case VK_F5:
      ++g.refreshes;
      SetWindowTextW(g.refreshLabel, (L"F5: " + std::to_wstring(g.refreshes)).c_str());
      return true;
  }
  return false;
}

// The panel buttons: drawn captions that act on a press and release.
LRESULT CALLBACK PanelButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      SetPropW(window, L"pressed", reinterpret_cast<HANDLE>(1));
      return 0;
    case WM_LBUTTONUP:
      if (RemovePropW(window, L"pressed")) {
        SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                     reinterpret_cast<LPARAM>(window));
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT rect;
      GetClientRect(window, &rect);
      FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
      DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT);
      const std::wstring caption = Text(window);
      SetBkMode(dc, TRANSPARENT);
      SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      DrawTextW(dc, caption.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A panel forwards its buttons to the main window.
LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) return SendMessageW(GetParent(window), message, wParam, lParam);
  if (message == WM_CTLCOLORSTATIC) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  return DefWindowProcW(window, message, wParam, lParam);
}

Panel* PanelOf(HWND control) {
  for (Panel* panel : {&g.buy, &g.sell}) {
    if (GetParent(control) == panel->window) return panel;
  }
  return nullptr;
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      if (HIWORD(wParam) != BN_CLICKED) break;
      const int id = LOWORD(wParam);
      HWND control = reinterpret_cast<HWND>(lParam);
      if (id == kIdBuyPanelButton) ShowPanel(g.buy);
      if (id == kIdSellPanelButton) ShowPanel(g.sell);
      if (id == kIdThirdPanelButton) SetStatus(L"撤单面板");
      if (Panel* panel = PanelOf(control)) {
        if (id == kIdOrderButton) PressOrder(*panel);
        if (id == kIdFirstButton) ClearPanel(*panel);
      }
      return 0;
    }
    case WM_KEYDOWN:
      CommandKey(wParam);
      return 0;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND Child(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y, int w,
           int h, DWORD exStyle = 0) {
  HWND window = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return window;
}

void CreatePanel(Panel& panel, const wchar_t* orderCaption) {
  panel.window = CreateWindowExW(WS_EX_CONTROLPARENT, L"SimTraderPanel", L"", WS_CHILD, 120, 10, 540, 190, g.main,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
  Child(panel.window, L"Static", (std::wstring(panel.caption) + L"委托").c_str(), 0, -1, 10, 8, 200, 20);
  Child(panel.window, L"Static", L"证券代码", 0, -1, 10, 38, 70, 20);
  Child(panel.window, L"Static", L"委托价格", 0, -1, 10, 68, 70, 20);
  Child(panel.window, L"Static", L"委托数量", 0, -1, 10, 98, 70, 20);
  // Creation order is the Tab order: code, price, quantity, order button.
  const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL;
  panel.code = Child(panel.window, L"Edit", L"", edit, kIdCode, 90, 36, 150, 22, WS_EX_CLIENTEDGE);
  panel.price = Child(panel.window, L"Edit", L"", edit, kIdPrice, 90, 66, 150, 22, WS_EX_CLIENTEDGE);
  panel.quantity = Child(panel.window, L"Edit", L"", edit, kIdQuantity, 90, 96, 150, 22, WS_EX_CLIENTEDGE);
  const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
  panel.order = Child(panel.window, L"Button", orderCaption, button, kIdOrderButton, 90, 134, 70, 26);
  panel.first = Child(panel.window, L"Button", L"重填", button, kIdFirstButton, 170, 134, 70, 26);
}

void CreateControls() {
  // Panel buttons first, then the panels (buy before sell), then the
  // information fields: the order in which a child enumeration meets them.
  Child(g.main, L"AfxWnd42", L"买入[F1]", 0, kIdBuyPanelButton, 10, 10, 100, 30);
  Child(g.main, L"AfxWnd42", L"卖出[F2]", 0, kIdSellPanelButton, 10, 45, 100, 30);
  Child(g.main, L"AfxWnd42", L"撤单[F3]", 0, kIdThirdPanelButton, 10, 80, 100, 30);
  CreatePanel(g.buy, L"买入下单");
  CreatePanel(g.sell, L"卖出下单");
  Child(g.main, L"Static", L"可用资金", 0, -1, 10, 215, 70, 20);
  Child(g.main, L"Edit", L"100000.00", ES_READONLY, kIdInfoField, 90, 212, 120, 22, WS_EX_CLIENTEDGE);
  Child(g.main, L"Static", L"股东代码", 0, -1, 230, 215, 70, 20);
  Child(g.main, L"Edit", L"A000000001", ES_READONLY, kIdInfoField, 310, 212, 120, 22, WS_EX_CLIENTEDGE);
  g.refreshLabel = Child(g.main, L"Static", L"F5: 0", 0, kIdRefreshLabel, 10, 250, 100, 20);
  g.status = Child(g.main, L"Static", L"", 0, kIdStatusLabel, 120, 250, 540, 20);
  // Last and without a tab stop: the automation's walks never meet it.
  Child(g.main, L"Static", L"当日委托", 0, -1, 10, 280, 100, 20);
  g.orderList = Child(g.main, L"ListBox", L"", WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, kIdOrderList, 10, 302,
                      650, 110, WS_EX_CLIENTEDGE);
}

void Register(const wchar_t* name, WNDPROC proc) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = name;
  RegisterClassW(&windowClass);
}

// Keys typed into the program: the panel keys, the refresh key and Enter
// work wherever the focus is inside the window; the rest is ordinary
// dialog navigation (Tab).
bool HandleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != g.main && !IsChild(g.main, msg.hwnd))) return false;
  if (CommandKey(msg.wParam)) return true;
  switch (msg.wParam) {
    case VK_RETURN: {
      HWND focus = GetFocus();
      for (Panel* panel : {&g.buy, &g.sell}) {
        if (focus == panel->quantity || focus == panel->order) {
          PressOrder(*panel);
          return true;
        }
        if (focus == panel->first) {
          ClearPanel(*panel);
          return true;
        }
      }
      return true;
    }
    case VK_ESCAPE:
      return true;
  }
  return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
  std::wstring title = L"网上股票交易系统5.0";
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring name = argv[i];
    if (name == L"--title") title = argv[i + 1];
    if (name == L"--orders") g.ordersPath = argv[i + 1];
    if (name == L"--cash") g.cash = _wtof(argv[i + 1]);
    if (name == L"--lot") g.lot = _wtoi(argv[i + 1]);
    if (name == L"--box") {
      // CODE:late|fill|hint|edit
      const std::wstring value = argv[i + 1];
      const size_t colon = value.find(L':');
      if (colon != std::wstring::npos) {
        BoxShape& shape = g.shapes[value.substr(0, colon)];
        const std::wstring kind = value.substr(colon + 1);
        shape.late |= kind == L"late";
        shape.fill |= kind == L"fill";
        shape.hint |= kind == L"hint";
        shape.edit |= kind == L"edit";
      }
    }
    if (name == L"--limit") {
      // CODE:DOWN:UP
      const std::wstring value = argv[i + 1];
      const size_t first = value.find(L':'), second = value.find(L':', first + 1);
      if (second != std::wstring::npos) {
        g.limits[value.substr(0, first)] = {_wtof(value.substr(first + 1).c_str()),
                                            _wtof(value.substr(second + 1).c_str())};
      }
    }
  }
  LocalFree(argv);
  if (g.ordersPath.empty()) {
    MessageBoxW(nullptr, L"usage: simtrader.exe --title TITLE --orders FILE", L"simtrader", MB_OK);
    return 2;
  }

  Register(L"AfxWnd42", PanelButtonProc);
  Register(L"SimTraderPanel", PanelProc);
  Register(L"SimTraderMain", MainProc);
  g.main = CreateWindowExW(WS_EX_CONTROLPARENT, L"SimTraderMain", title.c_str(), WS_OVERLAPPEDWINDOW, 200, 200, 680,
                           460, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!g.main) return 1;
  CreateControls();
  ShowWindow(g.main, show == SW_HIDE ? SW_SHOWNORMAL : show);
  ShowPanel(g.buy);
  if (!AppendOrder(std::wstring())) return 1;  // creates the file: the program is ready

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (HandleKey(msg)) continue;
    if (IsDialogMessageW(g.main, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
