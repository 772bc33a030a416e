// qv-uidriver: a scenario script's eyes and hands on another program's
// windows. It finds top-level windows by caption, reads common controls of
// the other process (list views, status bars, toolbars, tab controls) and
// works them with the messages a user's mouse and keyboard would cause.
//
// Common-control messages that carry pointers (LVM_GETITEMTEXTW, SB_GETTEXTW,
// TB_GETBUTTON, TCM_GETITEMW, ...) are not marshalled between processes,
// neither by Windows nor by Wine, so their structs and text buffers live in
// memory allocated inside the target process.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/uidriver/uidriver_core.h"

using uidriver::Invocation;
using uidriver::Record;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitNotFound = 2;
constexpr UINT kAnswerMs = 5000;  // a live window answers a sent message well within this

struct Failure {
  int code;
  std::string message;
};

[[noreturn]] void NotFound(std::string message) { throw Failure{kExitNotFound, std::move(message)}; }
[[noreturn]] void Fail(std::string message) { throw Failure{kExitFailed, std::move(message)}; }

std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// Every wait of one invocation ends at the same moment, so that --timeout-ms
// bounds the whole command.
std::chrono::steady_clock::time_point g_deadline;

std::chrono::milliseconds Remaining() {
  const auto left = g_deadline - std::chrono::steady_clock::now();
  return left.count() > 0 ? std::chrono::duration_cast<std::chrono::milliseconds>(left) : std::chrono::milliseconds(0);
}

bool Poll(const std::function<bool()>& probe) { return uidriver::PollUntil(probe, Remaining()); }

std::string Handle(HWND window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  return text;
}

std::string Rect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

std::string Flag(bool on) { return on ? "1" : "0"; }

std::wstring ClassOf(HWND window) {
  wchar_t name[256];
  const int n = GetClassNameW(window, name, 256);
  return std::wstring(name, n > 0 ? n : 0);
}

bool IsClass(HWND window, const wchar_t* name) { return lstrcmpiW(ClassOf(window).c_str(), name) == 0; }

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

// A message to a window of another process, never waiting on a hung one.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, &result))
    Fail("window " + Handle(window) + " did not answer message 0x" + std::to_string(message));
  return static_cast<LRESULT>(result);
}

// The caption of a top-level window.
std::string Caption(HWND window) {
  wchar_t text[1024];
  const int n = GetWindowTextW(window, text, 1024);
  return Utf8(std::wstring(text, n > 0 ? n : 0));
}

// A control's text as it answers WM_GETTEXT (edits hold theirs themselves).
std::string ControlText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           kAnswerMs, &copied))
    return {};
  text.resize(copied < text.size() ? copied : text.size() - 1);
  return Utf8(text);
}

// Memory inside the target process for the structs and buffers of one
// cross-process message, freed again when done.
class Remote {
 public:
  static constexpr size_t kSize = 64 * 1024;
  static constexpr size_t kText = 4096;  // offset of the text buffer; structs go at 0
  static constexpr int kTextChars = static_cast<int>((kSize - kText) / sizeof(wchar_t));

  explicit Remote(HWND window) {
    const DWORD pid = ProcessOf(window);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                           FALSE, pid);
    if (!process_) Fail("cannot open process " + std::to_string(pid) + " (error " + std::to_string(GetLastError()) + ")");
    // The structs hold pointers: their layout must be the target's.
    BOOL ours = FALSE, theirs = FALSE;
    IsWow64Process(GetCurrentProcess(), &ours);
    IsWow64Process(process_, &theirs);
    if (ours != theirs) {
      CloseHandle(process_);
      Fail("process " + std::to_string(pid) + " has another bitness than the driver; use the driver built like it");
    }
    base_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!base_) {
      CloseHandle(process_);
      Fail("cannot allocate memory in process " + std::to_string(pid) + " (error " + std::to_string(GetLastError()) +
           ")");
    }
  }
  ~Remote() {
    VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    CloseHandle(process_);
  }
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;

  LPARAM At(size_t offset) const { return reinterpret_cast<LPARAM>(base_ + offset); }
  wchar_t* Text() const { return reinterpret_cast<wchar_t*>(base_ + kText); }

  template <class T>
  void Put(const T& value, size_t offset = 0) {
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_, base_ + offset, &value, sizeof value, &done) || done != sizeof value)
      Fail("cannot write into the target process (error " + std::to_string(GetLastError()) + ")");
  }
  template <class T>
  T Get(size_t offset = 0) const {
    T value{};
    SIZE_T done = 0;
    if (!ReadProcessMemory(process_, base_ + offset, &value, sizeof value, &done) || done != sizeof value)
      Fail("cannot read from the target process (error " + std::to_string(GetLastError()) + ")");
    return value;
  }
  // The text buffer, up to `chars` characters or its first NUL. Read in
  // pieces: most texts are short, and every read crosses into the target.
  std::string GetText(size_t chars) const {
    if (chars > static_cast<size_t>(kTextChars)) chars = kTextChars;
    constexpr size_t kPiece = 256;
    std::wstring text;
    while (text.size() < chars) {
      const size_t want = std::min(kPiece, chars - text.size());
      wchar_t piece[kPiece];
      SIZE_T done = 0;
      if (!ReadProcessMemory(process_, base_ + kText + text.size() * sizeof(wchar_t), piece, want * sizeof(wchar_t), &done))
        Fail("cannot read from the target process (error " + std::to_string(GetLastError()) + ")");
      const std::wstring_view got(piece, want);
      const size_t nul = got.find(L'\0');
      text.append(got.substr(0, nul));
      if (nul != std::wstring_view::npos) break;
    }
    return Utf8(text);
  }
  void ClearText() { Put(L'\0', kText); }

 private:
  HANDLE process_ = nullptr;
  char* base_ = nullptr;
};

// ---- finding windows --------------------------------------------------------

struct Query {
  HWND handle = nullptr;
  bool hasTitle = false;
  std::string title;
  bool exact = false;
  std::wstring cls;
  DWORD pid = 0;
};

Query QueryOf(const Invocation& inv, const wchar_t* defaultClass = nullptr) {
  Query q;
  if (const auto h = inv.Number("window")) q.handle = reinterpret_cast<HWND>(static_cast<intptr_t>(*h));
  q.hasTitle = inv.Has("title");
  q.title = inv.Get("title");
  q.exact = inv.Has("exact");
  q.cls = inv.Has("class") ? Wide(inv.Get("class")) : (defaultClass ? defaultClass : L"");
  if (const auto pid = inv.Number("pid")) q.pid = static_cast<DWORD>(*pid);
  return q;
}

std::string Describe(const Query& q) {
  if (q.handle) return "window " + Handle(q.handle);
  std::string text = "a visible window titled " + std::string(q.exact ? "exactly " : "with ") + "\"" + q.title + "\"";
  if (!q.cls.empty()) text += " of class " + Utf8(q.cls);
  if (q.pid) text += " in process " + std::to_string(q.pid);
  return text;
}

bool Matches(HWND window, const Query& q) {
  if (!IsWindowVisible(window)) return false;
  if (!q.cls.empty() && !IsClass(window, q.cls.c_str())) return false;
  if (q.pid && ProcessOf(window) != q.pid) return false;
  return !q.hasTitle || uidriver::CaptionMatches(Caption(window), q.title, q.exact);
}

std::vector<HWND> TopLevels(const Query& q) {
  struct Search {
    const Query* query;
    std::vector<HWND> found;
  } search{&q, {}};
  EnumWindows(
      [](HWND window, LPARAM param) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (Matches(window, *s->query)) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The window a command works on: the handle given, or the first visible
// top-level window matching the query, waited for.
HWND WaitWindow(const Query& q) {
  HWND found = nullptr;
  if (!Poll([&] {
        if (q.handle) return IsWindow(q.handle) ? (found = q.handle, true) : false;
        const auto all = TopLevels(q);
        if (all.empty()) return false;
        found = all.front();
        return true;
      }))
    NotFound("no " + Describe(q));
  return found;
}

struct Descendant {
  HWND window;
  HWND parent;
};

// Every control under `top`, parents before their children, in z-order.
std::vector<Descendant> Descendants(HWND top) {
  std::vector<Descendant> out;
  // Depth first, keeping each parent's children in their own order.
  std::function<void(HWND)> walk = [&](HWND parent) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      out.push_back({child, parent});
      walk(child);
    }
  };
  walk(top);
  return out;
}

// A control of a class inside `top` (or `top` itself when it is one),
// chosen by --id or by --index among those of its class, waited for.
HWND WaitControl(HWND top, const Invocation& inv, const wchar_t* cls) {
  const auto id = inv.Number("id");
  const int64_t index = inv.Number("index").value_or(0);
  HWND found = nullptr;
  if (!Poll([&] {
        if (!IsWindow(top)) return false;
        if (IsClass(top, cls) && !id) return (found = top, true);
        int64_t seen = 0;
        for (const auto& d : Descendants(top)) {
          if (!IsClass(d.window, cls)) continue;
          if (id ? GetDlgCtrlID(d.window) == *id : seen++ == index) return (found = d.window, true);
        }
        return false;
      })) {
    NotFound("no " + Utf8(cls) + (id ? " with id " + std::to_string(*id) : " number " + std::to_string(index)) +
             " in window " + Handle(top));
  }
  return found;
}

HWND WaitControl(const Invocation& inv, const wchar_t* cls) { return WaitControl(WaitWindow(QueryOf(inv)), inv, cls); }

// The control that gets a user's keys: --id, else the focus of the
// window's thread when it lies inside the window, else the window.
HWND KeyTarget(const Invocation& inv) {
  const HWND top = WaitWindow(QueryOf(inv));
  if (const auto id = inv.Number("id")) {
    HWND found = nullptr;
    if (!Poll([&] {
          for (const auto& d : Descendants(top))
            if (GetDlgCtrlID(d.window) == *id) return (found = d.window, true);
          return false;
        }))
      NotFound("no control with id " + std::to_string(*id) + " in window " + Handle(top));
    return found;
  }
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info) && info.hwndFocus &&
      (info.hwndFocus == top || IsChild(top, info.hwndFocus)))
    return info.hwndFocus;
  return top;
}

// ---- reading ----------------------------------------------------------------

std::string WindowRecord(HWND window) {
  return Record({"window", Handle(window), std::to_string(ProcessOf(window)), Utf8(ClassOf(window)), Caption(window),
                 Rect(window)});
}

std::string Children(HWND top) {
  std::string out;
  for (const auto& d : Descendants(top)) {
    out += Record({"child", Handle(d.window), Handle(d.parent), std::to_string(GetDlgCtrlID(d.window)),
                   Utf8(ClassOf(d.window)), ControlText(d.window), Flag(IsWindowVisible(d.window)),
                   Flag(IsWindowEnabled(d.window)), Rect(d.window)});
  }
  return out;
}

std::string Alignment(int format) {
  switch (format & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT: return "right";
    case LVCFMT_CENTER: return "center";
    default: return "left";
  }
}

std::string ListView(HWND list) {
  Remote remote(list);
  std::string out;
  const HWND header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER));
  const int columns = header ? static_cast<int>(Send(header, HDM_GETITEMCOUNT)) : 0;
  out += Record({"columns", std::to_string(columns)});
  for (int c = 0; c < columns; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.pszText = remote.Text();
    column.cchTextMax = Remote::kTextChars;
    remote.Put(column);
    remote.ClearText();
    if (!Send(list, LVM_GETCOLUMNW, c, remote.At(0))) Fail("the list view gave no column " + std::to_string(c));
    column = remote.Get<LVCOLUMNW>();
    out += Record({"column", std::to_string(c), remote.GetText(Remote::kTextChars), std::to_string(column.cx),
                   Alignment(column.fmt)});
  }
  // A list view that is not in report view still has its items' first texts.
  const int cells = columns > 0 ? columns : 1;
  const int rows = static_cast<int>(Send(list, LVM_GETITEMCOUNT));
  out += Record({"rows", std::to_string(rows)});
  for (int r = 0; r < rows; ++r) {
    const auto state = static_cast<UINT>(Send(list, LVM_GETITEMSTATE, r, LVIS_SELECTED | LVIS_FOCUSED | LVIS_STATEIMAGEMASK));
    std::string flags;
    auto add = [&flags](const std::string& word) { flags += (flags.empty() ? "" : ",") + word; };
    if (state & LVIS_SELECTED) add("selected");
    if (state & LVIS_FOCUSED) add("focused");
    if (const UINT check = (state & LVIS_STATEIMAGEMASK) >> 12) add("stateimage=" + std::to_string(check));
    if (flags.empty()) flags = "-";
    std::vector<std::string> row{"row", std::to_string(r), flags, ""};
    std::vector<std::string> images{"images", std::to_string(r)};
    for (int c = 0; c < cells; ++c) {
      LVITEMW item{};
      item.iSubItem = c;
      item.pszText = remote.Text();
      item.cchTextMax = Remote::kTextChars;
      remote.Put(item);
      remote.ClearText();
      const auto length = static_cast<size_t>(Send(list, LVM_GETITEMTEXTW, r, remote.At(0)));
      row.push_back(remote.GetText(length));

      LVITEMW image{};
      image.mask = LVIF_IMAGE;
      image.iItem = r;
      image.iSubItem = c;
      remote.Put(image);
      Send(list, LVM_GETITEMW, 0, remote.At(0));
      images.push_back(std::to_string(remote.Get<LVITEMW>().iImage));
    }
    row[3] = images[2];
    out += Record(row);
    out += Record(images);
  }
  return out;
}

std::string StatusBar(HWND bar) {
  Remote remote(bar);
  constexpr int kMaxParts = 256;
  const int parts = static_cast<int>(Send(bar, SB_GETPARTS, kMaxParts, remote.At(0)));
  std::vector<int> edges(parts > 0 ? parts : 0);
  for (int i = 0; i < parts && i < kMaxParts; ++i) edges[i] = remote.Get<int>(i * sizeof(int));
  std::string out = Record({"parts", std::to_string(parts)});
  for (int i = 0; i < parts; ++i) {
    const size_t length = LOWORD(Send(bar, SB_GETTEXTLENGTHW, i));
    if (length >= static_cast<size_t>(Remote::kTextChars)) Fail("status bar pane " + std::to_string(i) + " is too long");
    remote.ClearText();
    Send(bar, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(remote.Text()));
    out += Record({"pane", std::to_string(i), std::to_string(edges[i]), remote.GetText(length)});
  }
  return out;
}

struct ToolButton {
  int index;
  int id;
  bool separator;
  std::string text;
  bool enabled;
  bool checked;
  bool hidden;
};

std::vector<ToolButton> ToolButtons(HWND bar) {
  Remote remote(bar);
  std::vector<ToolButton> out;
  const int count = static_cast<int>(Send(bar, TB_BUTTONCOUNT));
  for (int i = 0; i < count; ++i) {
    remote.Put(TBBUTTON{});
    if (!Send(bar, TB_GETBUTTON, i, remote.At(0))) Fail("the toolbar gave no button " + std::to_string(i));
    const auto button = remote.Get<TBBUTTON>();
    ToolButton b{i, button.idCommand, (button.fsStyle & BTNS_SEP) != 0, "", (button.fsState & TBSTATE_ENABLED) != 0,
                 (button.fsState & TBSTATE_CHECKED) != 0, (button.fsState & TBSTATE_HIDDEN) != 0};
    if (!b.separator) {
      const auto length = Send(bar, TB_GETBUTTONTEXTW, button.idCommand, 0);
      if (length > 0 && length < Remote::kTextChars) {
        remote.ClearText();
        Send(bar, TB_GETBUTTONTEXTW, button.idCommand, reinterpret_cast<LPARAM>(remote.Text()));
        b.text = remote.GetText(static_cast<size_t>(length));
      }
    }
    out.push_back(std::move(b));
  }
  return out;
}

std::string Toolbar(HWND bar) {
  const auto buttons = ToolButtons(bar);
  std::string out = Record({"buttons", std::to_string(buttons.size())});
  for (const auto& b : buttons) {
    if (b.separator) out += Record({"separator", std::to_string(b.index)});
    else out += Record({"button", std::to_string(b.index), std::to_string(b.id), b.text, Flag(b.enabled), Flag(b.checked)});
  }
  return out;
}

std::vector<std::string> TabCaptions(HWND tabs) {
  Remote remote(tabs);
  const int count = static_cast<int>(Send(tabs, TCM_GETITEMCOUNT));
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = remote.Text();
    item.cchTextMax = Remote::kTextChars;
    remote.Put(item);
    remote.ClearText();
    if (!Send(tabs, TCM_GETITEMW, i, remote.At(0))) Fail("the tab control gave no tab " + std::to_string(i));
    out.push_back(remote.GetText(Remote::kTextChars));
  }
  return out;
}

std::string Tabs(HWND tabs) {
  const auto captions = TabCaptions(tabs);
  const int selected = static_cast<int>(Send(tabs, TCM_GETCURSEL));
  std::string out = Record({"tabs", std::to_string(captions.size()), std::to_string(selected)});
  for (size_t i = 0; i < captions.size(); ++i)
    out += Record({"tab", std::to_string(i), captions[i], Flag(static_cast<int>(i) == selected)});
  return out;
}

std::string Dialog(HWND dialog) {
  std::string out = Record({"dialog", Handle(dialog), std::to_string(ProcessOf(dialog)), Utf8(ClassOf(dialog)),
                            Caption(dialog)});
  for (const auto& d : Descendants(dialog)) {
    if (!IsWindowVisible(d.window)) continue;
    const std::string id = std::to_string(GetDlgCtrlID(d.window));
    const std::string text = ControlText(d.window);
    if (IsClass(d.window, L"Button")) out += Record({"button", id, text, Flag(IsWindowEnabled(d.window))});
    else if (IsClass(d.window, L"Edit")) out += Record({"edit", id, text});
    else if (text.empty()) continue;
    else if (IsClass(d.window, L"Static")) out += Record({"static", text});
    else out += Record({"control", Utf8(ClassOf(d.window)), id, text});
  }
  return out;
}

// A reading command: once, or with --until again and again until its output
// holds the text. A window or control that is not there yet counts as
// output without the text.
std::string Read(const Invocation& inv, const std::function<std::string()>& render) {
  if (!inv.Has("until")) return render();
  const std::string wanted = inv.Get("until");
  std::string last;
  const bool met = Poll([&] {
    try {
      last = render();
    } catch (const Failure& failure) {
      if (failure.code != kExitNotFound) throw;
      last.clear();
    }
    return last.find(wanted) != std::string::npos;
  });
  if (!met) {
    std::fwrite(last.data(), 1, last.size(), stdout);
    NotFound("the output never contained \"" + wanted + "\"");
  }
  return last;
}

// ---- acting -----------------------------------------------------------------

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!PostMessageW(window, message, wParam, lParam))
    Fail("cannot post to window " + Handle(window) + " (error " + std::to_string(GetLastError()) + ")");
}

// A control that a user could press: visible, matching, and enabled before
// the time-out (a script may press a button right after the action that
// enables it).
HWND WaitEnabled(const std::function<HWND()>& find, const std::string& what) {
  HWND found = nullptr;
  const bool enabled = Poll([&] {
    found = find();
    return found && IsWindowEnabled(found);
  });
  if (!found) NotFound("no " + what);
  if (!enabled) Fail(what + " is disabled");
  return found;
}

HWND FindButton(HWND top, const Invocation& inv) {
  const auto id = inv.Number("id");
  const std::string text = inv.Get("text");
  for (const auto& d : Descendants(top)) {
    if (!IsWindowVisible(d.window)) continue;
    if (id ? GetDlgCtrlID(d.window) == *id
           : IsClass(d.window, L"Button") && uidriver::ButtonMatches(ControlText(d.window), text))
      return d.window;
  }
  return nullptr;
}

std::string ButtonName(const Invocation& inv) {
  return inv.Has("id") ? "control with id " + inv.Get("id") : "button \"" + inv.Get("text") + "\"";
}

void Click(const Invocation& inv) {
  const HWND top = WaitWindow(QueryOf(inv));
  // Posted, not sent: the click may open a modal box in the target, which
  // would hold a sent message until the box closes.
  Post(WaitEnabled([&] { return FindButton(top, inv); }, ButtonName(inv)), BM_CLICK, 0, 0);
}

void ToolbarClick(const Invocation& inv) {
  const HWND bar = WaitControl(inv, TOOLBARCLASSNAMEW);
  const std::string text = inv.Get("text");
  ToolButton pressed{};
  bool found = false;
  const bool enabled = Poll([&] {
    found = false;
    for (const auto& b : ToolButtons(bar)) {
      if (b.separator || b.hidden || !uidriver::ButtonMatches(b.text, text)) continue;
      pressed = b;
      found = true;
      return b.enabled;
    }
    return false;
  });
  if (!found) NotFound("no toolbar button \"" + text + "\"");
  if (!enabled) Fail("toolbar button \"" + text + "\" is disabled");
  Post(GetParent(bar), WM_COMMAND, MAKEWPARAM(pressed.id, BN_CLICKED), reinterpret_cast<LPARAM>(bar));
}

enum class Mouse { kClick, kDoubleClick, kRightClick };

// A rectangle that a control of the other process computes for one of its
// items (LVM_GETITEMRECT and the like): the request goes in the RECT.
RECT RemoteRect(HWND control, UINT message, WPARAM wParam, const RECT& ask) {
  Remote remote(control);
  remote.Put(ask);
  if (!Send(control, message, wParam, remote.At(0))) Fail("window " + Handle(control) + " gave no rectangle");
  return remote.Get<RECT>();
}

// Mouse messages at a point of the control, as a user's mouse causes them.
void MouseAt(HWND control, POINT at, Mouse kind) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  // The pointer goes where a user's would, so that the target finds it
  // there when it asks (pop-up menus open at the cursor).
  POINT screen = at;
  ClientToScreen(control, &screen);
  SetForegroundWindow(GetAncestor(control, GA_ROOT));
  SetCursorPos(screen.x, screen.y);
  Post(control, WM_MOUSEMOVE, 0, where);
  switch (kind) {
    case Mouse::kClick:
      Post(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
      Post(control, WM_LBUTTONUP, 0, where);
      break;
    case Mouse::kDoubleClick:
      Post(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
      Post(control, WM_LBUTTONUP, 0, where);
      Post(control, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
      Post(control, WM_LBUTTONUP, 0, where);
      break;
    case Mouse::kRightClick:
      Post(control, WM_RBUTTONDOWN, MK_RBUTTON, where);
      Post(control, WM_RBUTTONUP, 0, where);
      break;
  }
}

void ListViewMouse(const Invocation& inv, Mouse kind) {
  const HWND list = WaitControl(inv, WC_LISTVIEWW);
  const auto row = uidriver::ParseNumber(inv.words[0]);
  if (!row || *row < 0) Fail("row must be a number from 0, not \"" + inv.words[0] + "\"");
  const int column = static_cast<int>(inv.Number("column").value_or(0));
  if (!Poll([&] { return Send(list, LVM_GETITEMCOUNT) > *row; }))
    NotFound("the list view has no row " + inv.words[0]);
  if (!IsWindowEnabled(list)) Fail("the list view is disabled");
  Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(*row), FALSE);

  RECT ask{};
  ask.left = LVIR_LABEL;
  ask.top = column;
  const RECT cell = RemoteRect(list, column > 0 ? LVM_GETSUBITEMRECT : LVM_GETITEMRECT, static_cast<WPARAM>(*row), ask);
  POINT at{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
  // Short texts sit at the cell's left: aim there, so that the click meets
  // the item and not empty space beside it.
  if (cell.right - cell.left > 40) at.x = cell.left + 20;
  MouseAt(list, at, kind);
}

void TabSelect(const Invocation& inv) {
  const HWND tabs = WaitControl(inv, WC_TABCONTROLW);
  const std::string text = inv.Get("text");
  int index = -1;
  if (!Poll([&] {
        const auto captions = TabCaptions(tabs);
        for (size_t i = 0; i < captions.size(); ++i)
          if (uidriver::ButtonMatches(captions[i], text)) return (index = static_cast<int>(i), true);
        return false;
      }))
    NotFound("no tab \"" + text + "\"");
  if (!IsWindowEnabled(tabs)) Fail("the tab control is disabled");
  const RECT tab = RemoteRect(tabs, TCM_GETITEMRECT, index, RECT{});
  MouseAt(tabs, POINT{(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2}, Mouse::kClick);
}

void StatusBarClick(const Invocation& inv) {
  const HWND bar = WaitControl(inv, STATUSCLASSNAMEW);
  const auto pane = uidriver::ParseNumber(inv.words[0]);
  if (!pane || *pane < 0 || *pane >= Send(bar, SB_GETPARTS, 0, 0)) Fail("no status bar pane " + inv.words[0]);
  const RECT r = RemoteRect(bar, SB_GETRECT, static_cast<WPARAM>(*pane), RECT{});
  MouseAt(bar, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, Mouse::kClick);
}

void Keys(const Invocation& inv) {
  const HWND target = KeyTarget(inv);
  for (const wchar_t c : Wide(inv.words[0])) Post(target, WM_CHAR, c, 1);
}

void Key(const Invocation& inv) {
  const auto vk = uidriver::VirtualKey(inv.words[0]);
  if (!vk) Fail("unknown key \"" + inv.words[0] + "\"");
  const HWND target = KeyTarget(inv);
  const UINT scan = MapVirtualKeyW(*vk, MAPVK_VK_TO_VSC);
  const bool extended = (*vk >= VK_PRIOR && *vk <= VK_DOWN) || *vk == VK_INSERT || *vk == VK_DELETE;
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (extended ? (1 << 24) : 0);
  const LPARAM up = down | (1 << 30) | (static_cast<LPARAM>(1) << 31);
  Post(target, WM_KEYDOWN, *vk, down);
  // A key that closes its window (Escape in a message box) may have taken
  // the window with it before the release is posted: nobody is left to
  // release it to.
  if (!PostMessageW(target, WM_KEYUP, *vk, up) && IsWindow(target))
    Fail("cannot post to window " + Handle(target) + " (error " + std::to_string(GetLastError()) + ")");
}

// A drag as the finder of the caption tool sees one: the button goes down
// on the source, the pointer travels to the target, the button comes up.
std::string Drag(const Invocation& inv) {
  const HWND top = WaitWindow(QueryOf(inv));
  const auto id = inv.Number("id");
  const HWND source = WaitEnabled(
      [&]() -> HWND {
        for (const auto& d : Descendants(top))
          if (IsWindowVisible(d.window) && GetDlgCtrlID(d.window) == *id) return d.window;
        return nullptr;
      },
      "control with id " + inv.Get("id"));
  Query to;
  to.hasTitle = true;
  to.title = inv.Get("to-title");
  const HWND targetTop = WaitWindow(to);
  HWND target = targetTop;
  if (inv.Has("to-id") || inv.Has("to-text")) {
    const auto toId = inv.Number("to-id");
    const std::string toText = inv.Get("to-text");
    target = nullptr;
    Poll([&] {
      for (const auto& d : Descendants(targetTop)) {
        if (!IsWindowVisible(d.window)) continue;
        if (toId ? GetDlgCtrlID(d.window) == *toId : uidriver::ButtonMatches(ControlText(d.window), toText))
          return (target = d.window, true);
      }
      return false;
    });
    if (!target) NotFound("no drag target in window " + Handle(targetTop));
  }
  auto centre = [](HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  };
  const POINT from = centre(source), onto = centre(target);
  auto client = [&](POINT screen) {
    ScreenToClient(source, &screen);
    return MAKELPARAM(static_cast<short>(screen.x), static_cast<short>(screen.y));
  };
  SetForegroundWindow(GetAncestor(source, GA_ROOT));
  SetCursorPos(from.x, from.y);
  Post(source, WM_MOUSEMOVE, 0, client(from));
  Post(source, WM_LBUTTONDOWN, MK_LBUTTON, client(from));
  constexpr int kSteps = 8;
  for (int i = 1; i <= kSteps; ++i) {
    const POINT p{from.x + (onto.x - from.x) * i / kSteps, from.y + (onto.y - from.y) * i / kSteps};
    SetCursorPos(p.x, p.y);
    Post(source, WM_MOUSEMOVE, MK_LBUTTON, client(p));
    Sleep(30);
  }
  if (const auto hold = inv.Number("hold-ms")) Sleep(static_cast<DWORD>(*hold));
  Post(source, WM_LBUTTONUP, 0, client(onto));
  return Record({"dragged", Handle(source), Handle(target), std::to_string(onto.x) + "," + std::to_string(onto.y)});
}

void SetText(const Invocation& inv) {
  const std::wstring text = Wide(inv.words[0]);
  Send(KeyTarget(inv), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WaitGone(HWND window) {
  if (!Poll([&] { return !IsWindow(window) || !IsWindowVisible(window); }))
    NotFound("window " + Handle(window) + " is still open");
}

void Answer(const Invocation& inv) {
  const HWND dialog = WaitWindow(QueryOf(inv, L"#32770"));
  const std::string wanted = inv.Get("button");
  const HWND button = WaitEnabled(
      [&]() -> HWND {
        for (const auto& d : Descendants(dialog))
          if (IsWindowVisible(d.window) && IsClass(d.window, L"Button") &&
              uidriver::ButtonMatches(ControlText(d.window), wanted))
            return d.window;
        return nullptr;
      },
      "button \"" + wanted + "\" in dialog " + Handle(dialog));
  Post(button, BM_CLICK, 0, 0);
  WaitGone(dialog);
}

std::string Run(const Invocation& inv) {
  const std::string& c = inv.command;
  if (c == "wait-window") return WindowRecord(WaitWindow(QueryOf(inv)));
  if (c == "wait-gone") {
    const Query q = QueryOf(inv);
    if (q.handle) return WaitGone(q.handle), std::string();
    if (!Poll([&] { return TopLevels(q).empty(); })) NotFound(Describe(q) + " is still open");
    return {};
  }
  if (c == "windows") {
    std::string out;
    for (const HWND w : TopLevels(QueryOf(inv))) out += WindowRecord(w);
    return out;
  }
  if (c == "children") return Read(inv, [&] { return Children(WaitWindow(QueryOf(inv))); });
  if (c == "listview") return Read(inv, [&] { return ListView(WaitControl(inv, WC_LISTVIEWW)); });
  if (c == "statusbar") return Read(inv, [&] { return StatusBar(WaitControl(inv, STATUSCLASSNAMEW)); });
  if (c == "toolbar") return Read(inv, [&] { return Toolbar(WaitControl(inv, TOOLBARCLASSNAMEW)); });
  if (c == "tabs") return Read(inv, [&] { return Tabs(WaitControl(inv, WC_TABCONTROLW)); });
  if (c == "dialog") return Read(inv, [&] { return Dialog(WaitWindow(QueryOf(inv, L"#32770"))); });
  if (c == "click") return Click(inv), std::string();
  if (c == "toolbar-click") return ToolbarClick(inv), std::string();
  if (c == "statusbar-click") return StatusBarClick(inv), std::string();
  if (c == "listview-select") return ListViewMouse(inv, Mouse::kClick), std::string();
  if (c == "listview-dblclick") return ListViewMouse(inv, Mouse::kDoubleClick), std::string();
  if (c == "listview-rclick") return ListViewMouse(inv, Mouse::kRightClick), std::string();
  if (c == "tab-select") return TabSelect(inv), std::string();
  if (c == "keys") return Keys(inv), std::string();
  if (c == "key") return Key(inv), std::string();
  if (c == "drag") return Drag(inv);
  if (c == "set-text") return SetText(inv), std::string();
  if (c == "close") return Post(WaitWindow(QueryOf(inv)), WM_CLOSE, 0, 0), std::string();
  if (c == "raise") {
    const HWND window = WaitWindow(QueryOf(inv));
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(window);
    return std::string();
  }
  if (c == "command") {
    return Post(WaitWindow(QueryOf(inv)), WM_COMMAND, MAKEWPARAM(*inv.Number("id"), 0), 0), std::string();
  }
  if (c == "answer") return Answer(inv), std::string();
  Fail("command \"" + c + "\" is not implemented");
}

}  // namespace

int main() {
  // Bytes out as they are: UTF-8, "\n" line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  LocalFree(argv);

  if (args.empty() || args[0] == "--help" || args[0] == "help") {
    std::fputs(uidriver::Usage(), args.empty() ? stderr : stdout);
    return args.empty() ? kExitFailed : 0;
  }
  std::string error;
  const auto inv = uidriver::Parse(args, &error);
  if (!inv) {
    std::fprintf(stderr, "qv-uidriver: %s (run without arguments for the usage)\n", error.c_str());
    return kExitFailed;
  }
  g_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(inv->Number("timeout-ms").value_or(10000));
  try {
    const std::string out = Run(*inv);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
  } catch (const Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "qv-uidriver %s: %s\n", inv->command.c_str(), failure.message.c_str());
    return failure.code;
  }
}
