// A desktop for the trading automation's tests: a few windows in a chosen
// order, and a record of every input event, message and pause asked for.
#pragma once

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/trading_profile.h"
#include "trading/desktop_port.h"
#include "trading/main_window_port.h"

namespace testing_support {

// Readable forms of key events for expectations: "0D down", "25 up x".
inline std::string KeyText(uint8_t code, uint32_t flags) {
  char text[32];
  std::snprintf(text, sizeof text, "%02X %s%s", code, (flags & trading::kKeyEventKeyUp) ? "up" : "down",
                (flags & trading::kKeyEventExtendedKey) ? " x" : "");
  return text;
}
inline std::string Down(uint8_t code) { return KeyText(code, 0); }
inline std::string Up(uint8_t code) { return KeyText(code, trading::kKeyEventKeyUp); }

class FakeDesktop : public trading::IDesktop {
 public:
  using WindowHandle = trading::WindowHandle;

  struct Window {
    std::string title;
    std::string className;
    int id = 0;
    uint32_t pid = 0;
    uint32_t tid = 0;
    WindowHandle parent = 0;
    bool iconic = false;
  };

  // What happened, in order: key events ("0D down"), messages
  // ("post 5 0100 70 0"), texts ("settext 7 600000"), pauses ("sleep 100"),
  // and the other calls by name ("pump", "messages", "focus 7", ...).
  std::vector<std::string> log;
  // Key events only, as KeyText.
  std::vector<std::string> keys;
  // Key events with their scan codes: (code, scan, flags).
  struct KeyEventRecord {
    uint8_t code, scan;
    uint32_t flags;
  };
  std::vector<KeyEventRecord> keyEvents;
  std::vector<std::string> messageBoxes;  // "caption: text"
  uint64_t sleptMs = 0;

  std::map<WindowHandle, Window> windows;
  std::vector<WindowHandle> topLevelOrder;
  uint32_t ownPid = 1;
  uint32_t ownTid = 1;
  WindowHandle foreground = 0;
  bool refuseForeground = false;  // SetForegroundWindow has no effect
  bool attachSucceeds = true;
  bool blockInputWorks = false;  // as under Wine
  int attachDepth = 0;  // attaches minus detaches that succeeded
  uint32_t lockTimeout = 200000;
  trading::KeyboardState keyboard{};
  std::function<void()> onProcessMessages;
  std::function<void()> onPost;  // runs inside every Post
  bool failEnumeration = false;  // TopLevelWindows throws
  trading::ScreenSize screen{1280, 1024};

  WindowHandle AddTopLevel(const std::string& title, uint32_t pid, uint32_t tid = 0) {
    const WindowHandle h = next_++;
    windows[h] = Window{title, "Frame", 0, pid, tid ? tid : pid * 10, 0, false};
    topLevelOrder.push_back(h);
    return h;
  }
  WindowHandle AddChild(WindowHandle parent, const std::string& className, int id) {
    const WindowHandle h = next_++;
    windows[h] = Window{"", className, id, windows[parent].pid, windows[parent].tid, parent, false};
    return h;
  }
  void Close(WindowHandle h) {
    std::vector<WindowHandle> doomed{h};
    for (const auto& [child, w] : windows)
      if (w.parent == h) doomed.push_back(child);
    for (WindowHandle d : doomed) windows.erase(d);
    std::erase(topLevelOrder, h);
  }
  // The messages a window received, as "post|send MMMM W L".
  std::vector<std::string> MessagesTo(WindowHandle h) const {
    std::vector<std::string> out;
    const std::string post = "post " + std::to_string(h) + " ", send = "send " + std::to_string(h) + " ";
    for (const auto& line : log) {
      if (line.rfind(post, 0) == 0) out.push_back("post " + line.substr(post.size()));
      if (line.rfind(send, 0) == 0) out.push_back("send " + line.substr(send.size()));
    }
    return out;
  }
  void ClearRecords() {
    log.clear();
    keys.clear();
    keyEvents.clear();
    messageBoxes.clear();
    sleptMs = 0;
  }

  // IDesktop
  void KeybdEvent(uint8_t code, uint8_t scan, uint32_t flags) override {
    keys.push_back(KeyText(code, flags));
    keyEvents.push_back({code, scan, flags});
    log.push_back(KeyText(code, flags));
  }
  void MouseEvent(uint32_t flags) override { log.push_back("mouse " + Hex(flags)); }
  // A US keyboard.
  uint16_t KeyForChar(char c) override {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<uint16_t>(u - 'a' + 'A');
    if (u >= 'A' && u <= 'Z') return static_cast<uint16_t>(0x100 | u);
    if (u >= '0' && u <= '9') return u;
    switch (u) {
      case ' ': return 0x20;
      case '.': return 0xBE;
      case ',': return 0xBC;
      case '-': return 0xBD;
      case '!': return 0x131;
      case '{': return 0x1DB;
      case '}': return 0x1DD;
      case '\t': return 0x09;
      case '\r': return 0x0D;
      default: return trading::kNoKey;
    }
  }
  // A scan code whose high bits must be dropped by the caller.
  uint32_t ScanCodeOf(uint32_t code) override { return 0xE100 | ((code * 3) & 0xFF); }
  int16_t GetKeyState(int code) override { return static_cast<int16_t>(keyboard[code & 0xFF] & 1); }
  trading::KeyboardState GetKeyboardState() override { return keyboard; }
  void SetKeyboardState(const trading::KeyboardState& state) override {
    keyboard = state;
    log.push_back("keyboard state");
  }
  void PumpKeyboardMessages() override { log.push_back("pump"); }
  bool BlockInput(bool block) override {
    log.push_back(block ? "block input" : "unblock input");
    return blockInputWorks;
  }
  void ShowCursor(bool show) override { log.push_back(show ? "cursor shown" : "cursor hidden"); }
  void SetCursorPos(int x, int y) override { log.push_back("cursor " + std::to_string(x) + "," + std::to_string(y)); }
  void ShowMessageBox(const std::string& text, const std::string& caption) override {
    messageBoxes.push_back(caption + ": " + text);
    log.push_back("box " + text);
  }

  std::vector<WindowHandle> TopLevelWindows() override {
    if (failEnumeration) throw std::runtime_error("enumeration failed");
    return topLevelOrder;
  }
  std::vector<WindowHandle> ChildWindows(WindowHandle parent) override {
    std::vector<WindowHandle> out;
    AddDescendants(parent, out);
    return out;
  }
  std::string WindowText(WindowHandle h) override { return Find(h) ? Find(h)->title : ""; }
  std::string ClassName(WindowHandle h) override { return Find(h) ? Find(h)->className : ""; }
  int ControlId(WindowHandle h) override { return Find(h) ? Find(h)->id : 0; }
  uint32_t WindowProcessId(WindowHandle h) override { return Find(h) ? Find(h)->pid : 0; }
  uint32_t WindowThreadId(WindowHandle h) override { return Find(h) ? Find(h)->tid : 0; }
  uint32_t CurrentProcessId() override { return ownPid; }
  uint32_t CurrentThreadId() override { return ownTid; }
  void Post(WindowHandle h, uint32_t m, uintptr_t w, intptr_t l) override {
    log.push_back("post " + std::to_string(h) + " " + Hex(m, 4) + " " + Hex(w) + " " + Hex(l));
    if (onPost) onPost();
  }
  intptr_t Send(WindowHandle h, uint32_t m, uintptr_t w, intptr_t l) override {
    log.push_back("send " + std::to_string(h) + " " + Hex(m, 4) + " " + Hex(w) + " " + Hex(l));
    return 0;
  }
  void SendText(WindowHandle h, const std::string& text) override {
    log.push_back("send " + std::to_string(h) + " settext " + text);
    if (Window* w = Find(h)) w->title = text;
  }
  bool IsIconic(WindowHandle h) override { return Find(h) && Find(h)->iconic; }
  void ShowWindow(WindowHandle h, int command) override {
    log.push_back("show " + std::to_string(h) + " " + std::to_string(command));
    if (Window* w = Find(h)) w->iconic = command == trading::kSwShowMinimized;
  }
  WindowHandle ForegroundWindow() override { return foreground; }
  bool SetForegroundWindow(WindowHandle h) override {
    log.push_back("foreground " + std::to_string(h));
    if (refuseForeground || !Find(h)) return false;
    foreground = h;
    return true;
  }
  void BringWindowToTop(WindowHandle h) override { log.push_back("top " + std::to_string(h)); }
  bool AttachThreadInput(uint32_t from, uint32_t to, bool attach) override {
    log.push_back(std::string(attach ? "attach " : "detach ") + std::to_string(from) + " " + std::to_string(to));
    if (!attachSucceeds || from == to || from == 0 || to == 0) return false;
    attachDepth += attach ? 1 : -1;
    return true;
  }
  uint32_t ForegroundLockTimeout() override { return lockTimeout; }
  void SetForegroundLockTimeout(uint32_t ms) override {
    log.push_back("lock timeout " + std::to_string(ms));
    lockTimeout = ms;
  }
  void SetWindowPos(WindowHandle h, int x, int y, int cx, int cy, uint32_t flags) override {
    log.push_back("pos " + std::to_string(h) + " " + std::to_string(x) + "," + std::to_string(y) + " " +
                  std::to_string(cx) + "x" + std::to_string(cy) + " " + Hex(flags));
  }
  void SetActiveWindow(WindowHandle h) override { log.push_back("active " + std::to_string(h)); }
  void UpdateWindow(WindowHandle h) override { log.push_back("update " + std::to_string(h)); }
  WindowHandle TopChild(WindowHandle h) override {
    for (const auto& [child, w] : windows)
      if (w.parent == h) return child;
    return 0;
  }
  void SetFocus(WindowHandle h) override { log.push_back("focus " + std::to_string(h)); }
  void ClientToScreen(WindowHandle, int& x, int& y) override {
    x += 100;
    y += 50;
  }
  void SetOpacity(WindowHandle h, uint8_t alpha) override {
    log.push_back("opacity " + std::to_string(h) + " " + std::to_string(alpha));
  }
  trading::ScreenSize Screen() override { return screen; }
  void Sleep(uint32_t ms) override {
    sleptMs += ms;
    log.push_back("sleep " + std::to_string(ms));
  }
  void ProcessMessages() override {
    log.push_back("messages");
    if (onProcessMessages) onProcessMessages();
  }

 private:
  static std::string Hex(uint64_t v, int width = 1) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llX", width, static_cast<unsigned long long>(v));
    return text;
  }
  Window* Find(WindowHandle h) {
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : &it->second;
  }
  void AddDescendants(WindowHandle parent, std::vector<WindowHandle>& out) {
    for (const auto& [child, w] : windows) {
      if (w.parent != parent) continue;
      out.push_back(child);
      AddDescendants(child, out);
    }
  }
  WindowHandle next_ = 1;
};

// A step list as a profile would give it, numbered from 1.
inline settings::TStepList StepList(std::initializer_list<const char*> texts) {
  settings::TStepList list;
  int n = 1;
  for (const char* text : texts) list.push_back({"第" + std::to_string(n++) + "步键入", text});
  return list;
}

// A trading program laid out as the automation expects: panel buttons, a
// buy and a sell panel with code, price, quantity, first and order button,
// and two information fields.
struct FakeTradingProgram {
  trading::WindowHandle main = 0;
  trading::WindowHandle f1 = 0, f2 = 0, third = 0;
  struct Panel {
    trading::WindowHandle panel = 0, code = 0, price = 0, quantity = 0, order = 0, first = 0;
  } buy, sell;
  trading::WindowHandle info1 = 0, info2 = 0;
};

inline FakeTradingProgram AddTradingProgram(FakeDesktop& desk, const std::string& title, uint32_t pid) {
  FakeTradingProgram p;
  p.main = desk.AddTopLevel(title, pid);
  p.f1 = desk.AddChild(p.main, "AfxWnd42", 1000);
  p.f2 = desk.AddChild(p.main, "AfxWnd42", 1001);
  p.third = desk.AddChild(p.main, "AfxWnd42", 1005);
  for (FakeTradingProgram::Panel* panel : {&p.buy, &p.sell}) {
    panel->panel = desk.AddChild(p.main, "#32770", 0);
    panel->code = desk.AddChild(panel->panel, "Edit", 1032);
    panel->price = desk.AddChild(panel->panel, "Edit", 1033);
    panel->quantity = desk.AddChild(panel->panel, "Edit", 1034);
    panel->order = desk.AddChild(panel->panel, "Button", 1006);
    panel->first = desk.AddChild(panel->panel, "Button", 1007);
  }
  p.info1 = desk.AddChild(p.main, "Edit", 1018);
  p.info2 = desk.AddChild(p.main, "Edit", 1018);
  return p;
}

// A main window that records what the automation shows and writes.
class FakeMainWindow : public trading::ITradingMainWindow {
 public:
  std::vector<std::string> calls;  // "title ...", "pane ...", "warning on", "box title: text", ...
  std::string title = "Tarvolen";
  std::string pane;
  bool warningShown = false;
  bool launcherStarts = false;
  trading::ScreenSize size{300, 200};

  std::string ApplicationTitle() override { return "Tarvolen"; }
  void SetTitles(const std::string& t) override {
    title = t;
    calls.push_back("title " + t);
  }
  void SetAssociationPane(const std::string& text) override {
    pane = text;
    calls.push_back("pane " + text);
  }
  void ShowAssociationWarning(bool shown) override {
    warningShown = shown;
    calls.push_back(shown ? "warning on" : "warning off");
  }
  void ShowProgress(const std::string& text) override { calls.push_back("progress " + text); }
  void StepProgress() override { calls.push_back("progress step"); }
  void CloseProgress() override { calls.push_back("progress closed"); }
  void ShowInformation(const std::string& text, const std::string& t) override {
    calls.push_back("box " + t + ": " + text);
  }
  void WriteDailyLog(const std::string& text) override { calls.push_back("daily " + text); }
  void WriteOrderStepLog(const std::string& category, const std::string& text) override {
    calls.push_back("steplog " + category + " " + text);
  }
  bool LaunchOrderProgram() override {
    calls.push_back("launch");
    return launcherStarts;
  }
  void ShowProfileDownload() override {
    calls.push_back("download dialog");
    if (onProfileDownload) onProfileDownload();
  }
  // What the user does in the dialog (apply a profile, which associates).
  std::function<void()> onProfileDownload;
  void RebuildMonitorList() override { calls.push_back("rebuild list"); }
  trading::ScreenSize MainWindowSize() override { return size; }
  void MoveMainWindow(int left, int top) override {
    calls.push_back("move main " + std::to_string(left) + "," + std::to_string(top));
  }
};

}  // namespace testing_support
