#include "plugin/addin/unt_pretranslate.h"

namespace addin {

void CModuleWindows::Add(kv::KvHwnd window, IModuleWindow* object) {
  std::lock_guard lock(lock_);
  windows_[window] = object;
}

void CModuleWindows::Remove(kv::KvHwnd window) {
  std::lock_guard lock(lock_);
  windows_.erase(window);
}

IModuleWindow* CModuleWindows::Find(kv::KvHwnd window) const {
  std::lock_guard lock(lock_);
  const auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second;
}

bool PreTranslateThreadMessage(const TThreadMessage& message, kv::IAddinPort* port, const CModuleWindows& windows,
                               IMessageDesk& desk) {
  // 1. Thread messages.
  if (!message.window) return desk.DispatchThreadMessage(message.raw);

  // 2.-4. The host's activity and wait states.
  if (port) {
    const uint32_t m = message.message;
    if (m == wm::kLButtonDown || m == wm::kKeyDown) port->OnUserActivity();
    if (m == wm::kMouseMove || m == wm::kNcMouseMove) {
      if (port->IsBusy()) desk.ShowWaitCursor();
    } else if (m >= wm::kLButtonDown && m <= wm::kMButtonDblClk && port->IsBusy()) {
      desk.ShowArrowCursor();
      return true;
    }
  }

  // 5. Up the parents: own windows filter themselves, foreign ones go to the host.
  const kv::KvHwnd main = desk.MainWindow();
  for (kv::KvHwnd window = message.window; window; window = desk.Parent(window)) {
    if (IModuleWindow* own = windows.Find(window)) {
      if (own->PreTranslateMessage(message.raw)) return true;
    } else if (port && port->PreTranslateForeign(window, message.raw)) {
      return true;
    }
    if (window == main) break;
  }

  // 6. The main window last, unless the walk reached it as the top-level parent.
  if (main && main != desk.TopLevelParent(message.window))
    if (IModuleWindow* own = windows.Find(main)) return own->PreTranslateMessage(message.raw);
  return false;
}

}  // namespace addin
