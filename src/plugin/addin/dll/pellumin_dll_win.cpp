// The entry of Pellumin.dll: the module object, built while the DLL loads,
// and the one export through which the host reaches the add-in object.
#include <windows.h>

#include <optional>

#include "plugin/addin/unt_hostedge.h"
#include "plugin/addin/unt_module_win.h"

namespace {
// Built by DllMain rather than as a static object, so that a failure to
// build it fails the load instead of ending the host process.
std::optional<addin::CPelluminModule> theModule;
}  // namespace

extern "C" __declspec(dllexport) kv::IAddin* Addin_GetObject() noexcept {
  return theModule ? &theModule->Addin() : nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      return addin::HostCall(FALSE, [instance] {
        theModule.emplace();
        theModule->Start(reinterpret_cast<kv::KvValue>(instance));
        return TRUE;
      });
    case DLL_PROCESS_DETACH:
      if (theModule) addin::HostCall([] { theModule->End(); });
      break;
    default:
      break;
  }
  return TRUE;
}
