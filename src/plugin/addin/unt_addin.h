// The add-in object that the host reaches through Addin_GetObject: its
// feature entries, the interface requirement table, the callbacks it
// registers with the host's port and the login, profile and logout notices.
#pragma once

#include <memory>
#include <vector>

#include "plugin/addin/kvaddin.h"
#include "plugin/addin/unt_feature.h"
#include "plugin/addin/unt_pretranslate.h"
#include "plugin/push/unt_pushports.h"

namespace push {
class CPushCenter;
class CPushSink;
class CJobListener;
}  // namespace push

namespace addin {

class CAddin;

// What the add-in needs of the module object.
class IAddinModule {
 public:
  virtual ~IAddinModule() = default;
  // The module's resource handle becomes `module` (0: the module's own
  // instance) and the string cache is reset to it.
  virtual void SetResourceModule(kv::KvValue module) = 0;
  virtual CModuleWindows& Windows() = 0;
};

// A creation hook: called with (owner address + hook offset, entry, argument,
// existing object, out); answers CreateFeature's result.
using FeatureHook = kv::KvBool (*)(void* owner, kv::IFeatureEntry* entry, kv::KvValue argument, void* existing,
                                   void** out);

class CFeatureEntry final : public kv::IFeatureEntry {
 public:
  // `caption` is a text pointer, or a string id when below 0x10000.
  CFeatureEntry(CAddin* owner, int32_t id, int32_t placement, const char* name, kv::KvValue caption,
                FeatureHook hook, size_t hookOffset, const TFeatureClassRecord* record)
      : owner_(owner), id_(id), placement_(placement), name_(name), caption_(caption), hook_(hook),
        hookOffset_(hookOffset), record_(record) {}

  int32_t KVAPI GetId() override { return id_; }
  int32_t KVAPI GetPlacement() override { return placement_; }
  const char* KVAPI GetName() override { return name_; }
  const char* KVAPI GetCaption() override;
  const void* KVAPI GetClassRecord() override;
  kv::KvBool KVAPI CreateFeature(kv::KvValue argument, void* existing, void** out) override;
  void* KVAPI DeletingDestructor(unsigned flag) override { return kv::DeleteSelf(this, flag); }

 private:
  kv::KvBool Create(kv::KvValue argument, void* existing, void** out);

  CAddin* owner_;
  int32_t id_;
  int32_t placement_;
  const char* name_;
  kv::KvValue caption_;
  FeatureHook hook_;
  size_t hookOffset_;
  const TFeatureClassRecord* record_;
};

class CAddin final : public CAddinLink {
 public:
  // Registers the interface requirements and the four feature entries.
  CAddin(push::TPluginContext& context, IAddinModule& module);
  // Deletes the push sink, the job listener and the push center, then the
  // entries. The host withdraws the callbacks (Uninitialize) before it
  // unloads the module.
  ~CAddin();
  CAddin(const CAddin&) = delete;
  CAddin& operator=(const CAddin&) = delete;

  const char* KVAPI GetName() override { return "Pellumin"; }
  const char* KVAPI GetDescription() override;
  const char* KVAPI GetBuildDate() override { return "Jul 21 2010"; }
  const char* KVAPI GetBuildTime() override { return "17:33:38"; }
  int32_t KVAPI GetRequiredInterfaces(kv::TInterfaceRequirement* rows, int32_t capacity) override;
  kv::KvBool KVAPI Initialize(kv::IAddinPort* port, kv::KvValue, kv::KvValue) override;
  kv::KvBool KVAPI Uninitialize() override;
  kv::IAddinPort* KVAPI GetPort() override { return port_; }
  int32_t KVAPI GetFeatureEntries(kv::IFeatureEntry** entries, int32_t capacity) override;
  kv::KvBool KVAPI PreTranslateModuleMessage(kv::KvHwnd window, void* message) override;
  kv::KvBool KVAPI PreCreateFeature(kv::IFeatureEntry*, kv::KvValue, void*, void**, kv::KvBool*) override { return 1; }
  void KVAPI RefreshModules() override { modules_ = QueryModules(port_); }
  void KVAPI OnUserLogin(kv::IKvClient* client) override;
  void KVAPI OnUserProfile(kv::IKvClient* client) override;
  void KVAPI Reserved1(kv::KvValue) override {}
  void KVAPI Reserved2(kv::KvValue) override {}
  kv::KvValue KVAPI OnUserLogout(kv::IKvClient* client, kv::KvValue) override;
  void KVAPI Reserved3(kv::KvValue) override {}
  void KVAPI Reserved4(kv::KvValue) override {}
  void KVAPI Reserved5(kv::KvValue) override {}
  void KVAPI Reserved6(kv::KvValue) override {}
  void KVAPI Reserved7(kv::KvValue) override {}
  void KVAPI Reserved8(kv::KvValue) override {}
  void KVAPI Reserved9(kv::KvValue) override {}
  void KVAPI Reserved10(kv::KvValue) override {}
  void KVAPI Reserved11(kv::KvValue) override {}
  void KVAPI Reserved12(kv::KvValue, kv::KvValue) override {}
  kv::KvValue KVAPI OnModuleCommand(uint32_t command, kv::KvValue value, kv::KvValue, kv::KvValue,
                                    kv::KvValue) override;
  void* KVAPI DeletingDestructor(unsigned flag) override;

  push::TPluginContext& Context() { return context_; }
  const THostModules& Modules() const { return modules_; }
  push::CPushCenter* Center() { return center_.get(); }
  push::CPushSink* Sink() { return sink_.get(); }
  push::CJobListener* Listener() { return listener_.get(); }

 private:
  // Deletes what the add-in owns; a second call finds nothing left.
  void TearDown();

  push::TPluginContext& context_;
  IAddinModule& module_;
  kv::IAddinPort* port_ = nullptr;
  THostModules modules_;
  std::vector<std::unique_ptr<CFeatureEntry>> entries_;
  std::vector<kv::TInterfaceRequirement> requirements_;
  std::unique_ptr<push::CPushSink> sink_;
  std::unique_ptr<push::CJobListener> listener_;
  std::unique_ptr<push::CPushCenter> center_;
};

// The show-timing switch of the user's profile: the setting SHOWCJHS of
// section wtcontrol below LoginInfo/Configs (default 1); true only for 1.
bool ReadShowTiming(kv::IXMLProfile* profile);

}  // namespace addin
