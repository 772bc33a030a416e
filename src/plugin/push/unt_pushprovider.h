// The push service "PushHelper" (class CPushProvider): turns fill pushes into
// fill records, tells subscribers about account registrations and fills,
// raises the fill note, asks the host's "Stock.zjgf" view to refresh, and on
// every tick hands out changed accounts and sends registration requests.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "plugin/addin/kvaddin.h"
#include "plugin/addin/unt_feature.h"
#include "plugin/push/unt_pushports.h"
#include "plugin/push/unt_pushrecords.h"

namespace push {

constexpr int kMaxSubscribers = 32;
constexpr int kMaxNotifyWindows = 32;
constexpr uint32_t kStockRefreshMessage = 6026;
constexpr int64_t kRefreshIntervalSeconds = 300;
// How long a removal waits for a call of that subscriber still running on
// another thread (see RemoveSubscriber).
constexpr int kRemovalWaitMs = 1000;

// Kinds of OnPushData calls to subscribers (account payloads use the
// account's registered value, 1 or 0).
constexpr int32_t kPushFill = 2;
constexpr int32_t kPushRefresh = 3;
constexpr int32_t kPushFillDetail = 4;

// Splits a fill time "hh:mm:ss" and reads the rest of the fill detail from
// a fill record.
TFillDetail BuildFillDetail(const TFillRecord& record, const TLocalTime& today);

// The object's primary interface and its feature header come first, then
// the service interface: the order in which the feature entry finds them.
class CPushProviderHead : public kv::IServiceObject {
 public:
  addin::TFeatureHeader header;

 protected:
  ~CPushProviderHead() = default;
};

class CPushProvider;

// The service interface inside the object. A member, not a second base
// class: g++ would repeat a second base's operations in the object's
// primary table, which the host sees with its three slots only.
class CPushService final : public kv::CHelperSlots {
 public:
  explicit CPushService(CPushProvider& owner) : owner_(owner) {}

  void* KVAPI GetServiceObject() override;
  kv::IFeatureEntry* KVAPI GetEntry() override;
  void KVAPI SetEntry(kv::IFeatureEntry* entry) override;
  void KVAPI Destroy() override;
  kv::IHelper* KVAPI GetInterface(int32_t kind) override { return kind == 0 ? this : nullptr; }
  kv::KvBool KVAPI RefreshModules() override;
  void KVAPI OnTick(kv::KvValue) override;
  // Data pushed to the service itself is ignored.
  int32_t KVAPI OnPushData(int32_t, const void*, int32_t, const void*, int32_t) override { return 0; }
  kv::KvBool KVAPI AddSubscriber(kv::IHelper* subscriber) override;
  kv::KvBool KVAPI AddNotifyWindow(kv::KvHwnd window, uint32_t message) override;
  kv::KvBool KVAPI RemoveSubscriber(kv::IHelper* subscriber) override;
  kv::KvBool KVAPI RemoveNotifyWindow(kv::KvHwnd window) override;

 private:
  CPushProvider& owner_;
};

class CPushProvider final : public CPushProviderHead {
 public:
  CPushProvider() = default;
  ~CPushProvider() = default;
  CPushProvider(const CPushProvider&) = delete;
  CPushProvider& operator=(const CPushProvider&) = delete;

  static const addin::TFeatureClassRecord kClassRecord;

  // The object behind what GetServiceObject answered.
  static CPushProvider* FromServiceObject(void* object) {
    return object ? static_cast<CPushProvider*>(static_cast<kv::IServiceObject*>(object)) : nullptr;
  }

  // Primary interface
  void* KVAPI DeletingDestructor(unsigned flag) override { return kv::DeleteSelf(this, flag); }
  kv::IHelper* KVAPI GetServiceInterface() override { return &service_; }
  const void* KVAPI GetClassRecord() override { return &kClassRecord; }

  kv::IHelper* Service() { return &service_; }

  // What the service interface does.
  kv::KvBool RefreshModules();
  void OnTick();
  kv::KvBool AddSubscriber(kv::IHelper* subscriber);
  kv::KvBool AddNotifyWindow(kv::KvHwnd window, uint32_t message);
  kv::KvBool RemoveSubscriber(kv::IHelper* subscriber);
  kv::KvBool RemoveNotifyWindow(kv::KvHwnd window);

  // A push with function 402 (called by the push sink).
  void FillReport(kv::IKvJob* push);
  // The last logged-in user left: both tables are emptied (calls still
  // running on other threads are waited for as by RemoveSubscriber).
  void ResetTables();

  // For the host's and the tests' eyes.
  int32_t SubscriberCount();
  int32_t NotifyWindowCount();
  bool PendingNote();

 private:
  struct TNotifyWindow {
    kv::KvHwnd window = nullptr;
    uint32_t message = 0;
    kv::KvValue more[2] = {};
  };

  void Notify(const TFillRecord* record, int32_t kind);
  void RaiseNote();
  void NotifySubscribers(int32_t kind, const void* payload, const void* extra, int32_t extraSize);
  // Calls the subscriber's OnPushData unless it has left the table; answers
  // whether it was called.
  bool CallSubscriber(kv::IHelper* subscriber, int32_t kind, const void* payload, const void* extra,
                      int32_t extraSize);
  bool Subscribed(const kv::IHelper* subscriber) const;  // under tableLock_
  // Whether another thread is inside a call of the subscriber (of any
  // subscriber for null); under tableLock_.
  bool CalledElsewhere(const kv::IHelper* subscriber) const;

  // First member: the service interface follows the header.
  CPushService service_{*this};

  // The plug-in's context, through the add-in object of the header; null
  // before the feature entry filled it.
  TPluginContext* Context() const { return header.addin ? &header.addin->Context() : nullptr; }
  CPushCenter* Center() const;

  // The tables are kept under their own lock so that a subscriber added on
  // one host thread never meets a notification walking them on another;
  // subscribers are called outside it, so they may call back in.
  std::mutex tableLock_;
  int32_t windowCount_ = 0;  // may go negative; never indexes outside the table
  std::array<TNotifyWindow, kMaxNotifyWindows> windows_{};
  int32_t subscriberCount_ = 0;  // may go negative likewise
  std::array<kv::IHelper*, kMaxSubscribers> subscribers_{};
  // Calls of subscribers in progress, one record on the stack of each
  // calling thread, linked under tableLock_. A subscriber is called only
  // while it is in the table, checked under the lock just before the call;
  // so once it is out, only a call already running can still reach it.
  struct TCall {
    const kv::IHelper* subscriber;
    std::thread::id thread;
    TCall* next;
  };
  TCall* calls_ = nullptr;
  std::condition_variable callEnded_;

  std::mutex serviceLock_;  // the pending note and the last fill's account
  bool pendingNote_ = false;
  char lastAccountCode_[32] = {};

  std::atomic<int64_t> lastNotifyTime_{0};
};

}  // namespace push
