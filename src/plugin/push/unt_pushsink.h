// Where the host's traffic enters the plug-in: the push sink (requests,
// answers and pushes), the job listener (finished logins) and the login
// extension "GINA.PUSH" (class PushRegGinaExtend).
#pragma once

#include <atomic>

#include "plugin/addin/kvaddin.h"
#include "plugin/addin/unt_feature.h"
#include "plugin/push/unt_pushports.h"

namespace push {

class CPushProvider;

class CPushSink final : public kv::IPushSink {
 public:
  explicit CPushSink(TPluginContext& context) : context_(context) {}

  void KVAPI OnRequestSent(kv::IKvJob* request) override;
  void KVAPI Reserved1(kv::KvValue) override {}
  void KVAPI OnAnswer(kv::IKvJob* request) override;
  void KVAPI OnPush(kv::IKvJob* push) override;
  void* KVAPI DeletingDestructor(unsigned flag) override { return kv::DeleteSelf(this, flag); }

  // The push service is looked up once and cached until the last logout.
  void ForgetService() { service_.store(nullptr); }
  CPushProvider* CachedService() const { return service_.load(); }

 private:
  void RequestSent(kv::IKvJob* request);
  void Answer(kv::IKvJob* request);
  void Push(kv::IKvJob* push);

  TPluginContext& context_;
  std::atomic<CPushProvider*> service_{nullptr};
};

class CJobListener final : public kv::IJobListener {
 public:
  explicit CJobListener(TPluginContext& context) : context_(context) {}
  // A successful login job (99 or 101) runs the rights check for its client.
  void KVAPI OnJobEvent(kv::IKvJobEvent* event) override;
  void* KVAPI DeletingDestructor(unsigned flag) override { return kv::DeleteSelf(this, flag); }

 private:
  TPluginContext& context_;
};

// The object is its interface table pointer followed by the feature header
// and nothing else (44 bytes in the 32-bit plug-in): it reaches the push
// center through the add-in object of its header.
class CPushRegGinaExtend final : public kv::IGinaExtend {
 public:
  CPushRegGinaExtend() = default;

  static const addin::TFeatureClassRecord kClassRecord;

  void* KVAPI GetSelf() override { return static_cast<kv::IGinaExtend*>(this); }
  kv::IFeatureEntry* KVAPI GetEntry() override { return header.entry; }
  void KVAPI SetEntry(kv::IFeatureEntry* entry) override { header.entry = entry; }
  void KVAPI Destroy() override { delete this; }
  // Asks for the push registration of a logging-in account with right 23
  // that the plug-in does not know yet; answers 1 when it asked (or for no event).
  kv::KvBool KVAPI OnLoginEvent(kv::IKvLoginEvent* event) override;
  kv::KvBool KVAPI Reserved1(kv::KvValue, kv::KvValue) override { return 0; }
  void* KVAPI DeletingDestructor(unsigned flag) override { return kv::DeleteSelf(this, flag); }
  const void* KVAPI GetClassRecord() override { return &kClassRecord; }

  addin::TFeatureHeader header;

 private:
  kv::KvBool LoginEvent(kv::IKvLoginEvent* event);
};
static_assert(sizeof(CPushRegGinaExtend) == 11 * sizeof(void*), "table pointer and header: 44 bytes on i686");

}  // namespace push
