#include "plugin/addin/unt_module_win.h"

#include <windows.h>

#include <string>

#include "base/fixed_text.h"
#include "base/gbk.h"

namespace addin {
namespace {

constexpr size_t kStringPool = 10240;

HWND Hwnd(kv::KvHwnd window) { return static_cast<HWND>(window); }

// The desktop for the pre-translation. The module runs no thread-message
// handlers and has no main window of its own.
class CWinMessageDesk final : public IMessageDesk {
 public:
  bool DispatchThreadMessage(void*) override { return false; }
  kv::KvHwnd Parent(kv::KvHwnd window) override { return GetParent(Hwnd(window)); }
  kv::KvHwnd TopLevelParent(kv::KvHwnd window) override {
    HWND top = Hwnd(window);
    for (HWND parent = GetParent(top); parent; parent = GetParent(parent)) top = parent;
    return top;
  }
  kv::KvHwnd MainWindow() override { return nullptr; }
  void ShowWaitCursor() override { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }
  void ShowArrowCursor() override { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }
};

}  // namespace

int CWinStringResources::LoadText(kv::KvValue module, uint32_t id, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  // Length 0 asks for a pointer into the resource itself: UTF-16, not terminated.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(reinterpret_cast<HINSTANCE>(module), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) {
    buffer[0] = '\0';
    return 0;
  }
  const std::u16string wide(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
  const std::string gbk = base::Utf8ToGbkLossy(base::Utf16ToUtf8(wide));
  const size_t n = base::GbkPrefixLength(gbk, static_cast<size_t>(size) - 1);
  gbk.copy(buffer, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

kv::KvValue CWinStringResources::LoadResourceLibrary(const std::string& pathUtf8) {
  const std::u16string wide = base::Utf8ToUtf16(pathUtf8);
  return reinterpret_cast<kv::KvValue>(
      LoadLibraryExW(reinterpret_cast<const wchar_t*>(wide.c_str()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

void CWinStringResources::FreeResourceLibrary(kv::KvValue library) {
  if (library) ::FreeLibrary(reinterpret_cast<HMODULE>(library));
}

CPelluminModule::CPelluminModule()
    : views_({[this] { return ResourceHandle(); },
              [this](kv::KvHwnd window, IModuleWindow* object) { windows_.Add(window, object); },
              [this](kv::KvHwnd window) { windows_.Remove(window); }}),
      addin_(context_, *this) {
  context_.system = &system_;
  context_.strings = &cache_;
  context_.views = &views_;
}

void CPelluminModule::Start(kv::KvValue instance) {
  instance_ = instance;
  resource_.store(instance);
  cache_.Setup(instance, kStringPool);
}

void CPelluminModule::End() { cache_.LoadResourceLibrary(nullptr); }

void CPelluminModule::SetResourceModule(kv::KvValue module) {
  resource_.store(module ? module : instance_);
  cache_.Reset(module);
}

bool CPelluminModule::PreTranslateMessage(void* message) {
  const auto* msg = static_cast<const MSG*>(message);
  if (!msg) return false;
  CWinMessageDesk desk;
  return PreTranslateThreadMessage({msg->hwnd, msg->message, message}, addin_.GetPort(), windows_, desk);
}

}  // namespace addin
