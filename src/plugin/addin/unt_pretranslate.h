// Message pre-translation of the module: the steps a message of the
// plug-in's own message loops goes through before it is dispatched, and the
// registry of the module's own ("permanent") window objects.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "plugin/addin/kvaddin.h"

namespace addin {

// A window object of this module that filters its own messages.
class IModuleWindow {
 public:
  virtual ~IModuleWindow() = default;
  // True when the message is consumed. `message` is the thread message (MSG*).
  virtual bool PreTranslateMessage(void* message) = 0;
};

// The module's window objects by handle.
class CModuleWindows {
 public:
  void Add(kv::KvHwnd window, IModuleWindow* object);
  void Remove(kv::KvHwnd window);
  IModuleWindow* Find(kv::KvHwnd window) const;

 private:
  mutable std::mutex lock_;
  std::unordered_map<kv::KvHwnd, IModuleWindow*> windows_;
};

// The desktop as the pre-translation sees it (Win32: the user API).
class IMessageDesk {
 public:
  virtual ~IMessageDesk() = default;
  // Offers a message without a window to the thread-message handlers.
  virtual bool DispatchThreadMessage(void* message) = 0;
  virtual kv::KvHwnd Parent(kv::KvHwnd window) = 0;
  virtual kv::KvHwnd TopLevelParent(kv::KvHwnd window) = 0;
  // The module's main window on this thread, or null.
  virtual kv::KvHwnd MainWindow() = 0;
  virtual void ShowWaitCursor() = 0;
  virtual void ShowArrowCursor() = 0;
};

struct TThreadMessage {
  kv::KvHwnd window = nullptr;
  uint32_t message = 0;
  void* raw = nullptr;  // the MSG itself, handed on to the filters
};

// Window message numbers the steps look at.
namespace wm {
constexpr uint32_t kKeyDown = 0x0100;
constexpr uint32_t kNcMouseMove = 0x00A0;
constexpr uint32_t kMouseMove = 0x0200;
constexpr uint32_t kLButtonDown = 0x0201;
constexpr uint32_t kMButtonDblClk = 0x0209;
}  // namespace wm

// Runs the steps; true when one of them consumed the message. While the host
// is busy, clicks are swallowed (arrow cursor) and mouse moves show the wait
// cursor; the message then walks up its window's parents, offered to this
// module's window objects and, for foreign windows, to the host's port.
bool PreTranslateThreadMessage(const TThreadMessage& message, kv::IAddinPort* port, const CModuleWindows& windows,
                               IMessageDesk& desk);

}  // namespace addin
