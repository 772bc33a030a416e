// The module object of Pellumin.dll: one per loaded module. It owns the
// string cache over the module's string table, the module's resource
// handle, its window objects and the add-in object the host reaches
// through Addin_GetObject.
#pragma once

#include <atomic>

#include "plugin/addin/unt_addin.h"
#include "plugin/addin/unt_pretranslate.h"
#include "plugin/addin/unt_stringcache.h"
#include "plugin/push/unt_pushsystem_win.h"
#include "plugin/ui/unt_listnoterender_win.h"

namespace addin {

// String resources of a Win32 module, handed out as GBK whatever the
// system code page.
class CWinStringResources final : public IStringResources {
 public:
  int LoadText(kv::KvValue module, uint32_t id, char* buffer, int size) override;
  kv::KvValue LoadResourceLibrary(const std::string& pathUtf8) override;
  void FreeResourceLibrary(kv::KvValue library) override;
};

class CPelluminModule final : public IAddinModule {
 public:
  // Built while the DLL loads: the add-in object registers its entries.
  CPelluminModule();
  CPelluminModule(const CPelluminModule&) = delete;
  CPelluminModule& operator=(const CPelluminModule&) = delete;

  // Module start (the string cache over the module's own instance with a
  // pool of 10240 bytes) and end (a resource library the cache loaded is
  // freed and the cache disconnected).
  void Start(kv::KvValue instance);
  void End();

  CAddin& Addin() { return addin_; }
  CStringCache& Strings() { return cache_; }
  kv::KvValue Instance() const { return instance_; }
  kv::KvValue ResourceHandle() const { return resource_.load(); }

  // IAddinModule
  void SetResourceModule(kv::KvValue module) override;
  CModuleWindows& Windows() override { return windows_; }

  // The pre-translation of a message of the plug-in's own message loops
  // (`message` is a MSG*); true when it is consumed.
  bool PreTranslateMessage(void* message);

 private:
  kv::KvValue instance_ = 0;
  std::atomic<kv::KvValue> resource_{0};
  CWinStringResources resources_;
  CStringCache cache_{resources_};
  push::CPushSystemWin system_;
  push::TPluginContext context_;
  CModuleWindows windows_;
  ui::CNoteViewFactoryWin views_;
  CAddin addin_;
};

}  // namespace addin
