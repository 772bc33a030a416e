// The entry of Pellumin.dll: the module object, built while the DLL loads,
// and the one export through which the host reaches the add-in object.
#include <windows.h>

#include "plugin/addin/unt_module_win.h"

namespace {
addin::CPelluminModule theModule;
}  // namespace

extern "C" __declspec(dllexport) kv::IAddin* Addin_GetObject() { return &theModule.Addin(); }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      theModule.Start(reinterpret_cast<kv::KvValue>(instance));
      break;
    case DLL_PROCESS_DETACH:
      theModule.End();
      break;
    default:
      break;
  }
  return TRUE;
}
