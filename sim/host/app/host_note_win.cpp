// The note window of the stand-in trade client: a top-level window titled
// with the note's title, the renderer's body window inside it, one button
// per button value (id in the low word, caption from GetButtonText) and the
// status line. Every second the note is updated and its status text read.
// Enter and Esc in the body reach the window as commands 1 and 2 and are
// shown beside the status; closing calls OnCloseButton and Destroy.
#include "sim/host/app/host_note_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/gbk.h"
#include "sim/host/host_abi.h"
#include "sim/host/host_objects.h"
#include "sim/host/host_profile.h"

namespace simhost {
namespace {

using hostabi::Call;
using A = hostabi::TAddinTable;
using E = hostabi::TFeatureEntryTable;
using H = hostabi::THelperTable;
using R = hostabi::TListNoteRenderTable;

constexpr UINT_PTR kUpdateTimer = 1;
constexpr int kButtonBase = 100;
constexpr Value kRendererKey = 0x4E4F;

std::wstring Wide(const std::string& utf8) {
  const std::u16string wide = base::Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}
std::wstring WideGbk(const char* gbk) { return Wide(gbk ? base::GbkToUtf8Lossy(gbk) : std::string()); }
std::string Gbk(const std::string& utf8) { return base::Utf8ToGbkLossy(utf8); }

struct TNoteWindow {
  void* addin = nullptr;
  void* renderer = nullptr;
  HWND window = nullptr;
  HWND status = nullptr;
  HWND command = nullptr;
};
TNoteWindow g_note;

void* Entry(void* addin, const std::string& name) {
  void* entries[8] = {};
  const int n = Call(addin, &A::GetFeatureEntries, entries, 8);
  for (int i = 0; i < n; ++i)
    if (entries[i] && name == Call(entries[i], &E::GetName)) return entries[i];
  return nullptr;
}

void ShowStatus() {
  if (g_note.renderer && g_note.status)
    SetWindowTextW(g_note.status, WideGbk(Call(g_note.renderer, &R::GetStatusText, Value{0})).c_str());
}

void CloseNote() {
  if (g_note.renderer) {
    Call(g_note.renderer, &R::OnCloseButton, Value{0});
    Call(g_note.renderer, &R::Destroy);
    g_note.renderer = nullptr;
  }
  if (g_note.window) DestroyWindow(g_note.window);
}

LRESULT CALLBACK NoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kUpdateTimer && g_note.renderer) {
        Call(g_note.renderer, &R::OnNoteUpdate, kRendererKey);
        ShowStatus();
      }
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (lParam == 0 && (id == IDOK || id == IDCANCEL)) {
        // The body's Enter or Esc.
        SetWindowTextW(g_note.command, (L"\x547D\x4EE4 " + std::to_wstring(id)).c_str());  // "命令 n"
        return 0;
      }
      if (id == kButtonBase + 7) CloseNote();
      return 0;
    }
    case WM_CLOSE:
      CloseNote();
      return 0;
    case WM_DESTROY:
      g_note.window = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND Control(const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w, int h, int id) {
  HWND control = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, g_note.window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  return control;
}

// Makes the window and the renderer's body inside it; false when the
// renderer gave no body.
bool ShowNote(CHostNote& note) {
  std::string title = "note";
  for (const std::string& property : note.Properties())
    if (property.rfind("Title=", 0) == 0) title = property.substr(6);
  WNDCLASSW wc{};
  wc.lpfnWndProc = NoteProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"QvHostNote";
  RegisterClassW(&wc);
  g_note.window = CreateWindowExW(0, wc.lpszClassName, Wide(title).c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                  40, 40, 600, 300, nullptr, nullptr, wc.hInstance, nullptr);
  if (!g_note.window) return false;

  void* renderer = nullptr;
  Call(Entry(g_note.addin, "Note.ListNoteRender"), &E::CreateFeature, reinterpret_cast<Value>(g_note.window), nullptr,
       &renderer);
  if (!renderer) return false;
  g_note.renderer = renderer;
  HWND body = static_cast<HWND>(Call(renderer, &R::Create, kRendererKey, note.Abi()));
  if (!body) return false;
  ShowWindow(body, SW_SHOW);
  RECT bodyRect{};
  GetWindowRect(body, &bodyRect);
  const int width = bodyRect.right - bodyRect.left, height = bodyRect.bottom - bodyRect.top;

  // The buttons the renderer offers, right-aligned below the body.
  uint32_t values[4] = {};
  const int count = Call(renderer, &R::GetButtons, values, 4);
  int x = width - 8;
  for (int i = count - 1; i >= 0; --i) {
    const int id = LOWORD(values[i]);
    char caption[64] = {};
    Call(renderer, &R::GetButtonText, id, caption, static_cast<int32_t>(sizeof caption));
    x -= 80;
    Control(L"BUTTON", WideGbk(caption), BS_PUSHBUTTON | WS_TABSTOP, x, height + 6, 76, 24, kButtonBase + id);
  }
  g_note.status = Control(L"STATIC", L"", SS_LEFT, 8, height + 10, x - 16 - 70, 20, 0);
  g_note.command = Control(L"STATIC", L"", SS_LEFT, x - 8 - 70, height + 10, 70, 20, 0);
  ShowStatus();

  RECT frame{0, 0, width, height + 36};
  AdjustWindowRect(&frame, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE);
  SetWindowPos(g_note.window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER);
  SetTimer(g_note.window, kUpdateTimer, 1000, nullptr);
  ShowWindow(g_note.window, SW_SHOW);
  UpdateWindow(g_note.window);
  return true;
}

std::unique_ptr<CHostJob> FillJob(CCallLog& log, CHostClient& client, int k) {
  auto job = std::make_unique<CHostJob>(log, "fill" + std::to_string(k), 402, &client);
  char text[32];
  const bool sell = k % 3 == 0;
  job->SetField(123, "T");
  std::snprintf(text, sizeof text, "%06d", 600000 + k);
  job->SetField(140, text);
  job->SetField(141, Gbk(k % 2 ? "浦发银行" : "招商银行"));
  std::snprintf(text, sizeof text, "09:%02d:%02d", 30 + k / 60, k % 60);
  job->SetField(151, text);
  job->SetField(152, std::to_string(100 * k));
  std::snprintf(text, sizeof text, "%d.%02d", 10 + k / 100, k % 100);
  job->SetField(153, text);
  job->SetField(130, sell ? "2" : "1");
  job->SetField(131, Gbk(sell ? "卖出" : "买入"));
  job->SetField(146, "O" + std::to_string(k));
  job->SetField(155, "F" + std::to_string(k));
  return job;
}

}  // namespace

int RunNoteWindow(void* addin, const TNoteOptions& options) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  g_note.addin = addin;

  CCallLog log;
  CHostPort port(log);
  CHostNoteUtility notes(log);
  port.SetModule("KvNoteUtility", notes.Abi());
  if (!Call(addin, &A::Initialize, port.Abi(), Value{0}, Value{0})) return 1;
  void* service = nullptr;
  Call(Entry(addin, "PushHelper"), &E::CreateFeature, Value{0}, nullptr, &service);
  if (!service) return 1;
  port.SetModule("PushHelper", service);

  CHostUser user(log, {1, "A0001", "K001", "23"});
  CHostProfile profile(log, Gbk(std::string("<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<用户><LoginInfo><Configs>"
                                            "<wtcontrol><SHOWCJHS Val=\"") +
                                (options.timing ? "1" : "0") + "\"/></wtcontrol></Configs></LoginInfo></用户>"));
  user.SetProfile(profile.Abi());
  CHostClient client(user);
  Call(addin, &A::OnUserLogin, client.Abi());
  Call(addin, &A::OnUserProfile, client.Abi());

  std::vector<std::unique_ptr<CHostJob>> jobs;
  // An order answered with the number of the first fill: the timing row
  // then measures real times.
  auto order = std::make_unique<CHostJob>(log, "order", 202, &client);
  order->SetField(146, "O1");
  port.RequestSent(*order);
  Sleep(20);
  port.Answer(*order);
  jobs.push_back(std::move(order));
  for (int k = 1; k <= options.fills; ++k) {
    jobs.push_back(FillJob(log, client, k));
    port.Push(*jobs.back());
  }
  log.Clear();
  Call(service, &H::OnTick, Value{0});
  const auto shown = notes.ShownNotes();
  std::printf("notes shown: %zu\n", shown.size());
  int status = 0;
  if (shown.empty() || !ShowNote(*shown.back())) {
    std::printf("the note could not be shown\n");
    status = 1;
    CloseNote();
  }
  std::fflush(stdout);

  MSG msg;
  while (status == 0 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // The plug-in's windows see their messages first, from the message's
    // window up through its parents.
    bool consumed = false;
    for (HWND w = msg.hwnd; w && !consumed; w = GetParent(w))
      consumed = Call(addin, &A::PreTranslateModuleMessage, w, &msg) != 0;
    if (consumed) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  for (const std::string& line : log.Lines())
    if (line.rfind("Note.", 0) == 0 || line.rfind("Notes.", 0) == 0) std::printf("host: %s\n", line.c_str());
  Call(addin, &A::OnUserLogout, client.Abi(), Value{0});
  Call(addin, &A::Uninitialize);
  Call(service, &H::Destroy);
  std::fflush(stdout);
  return status;
}

}  // namespace simhost
