// The stand-in trade client's objects that Pellumin.dll talks to: port,
// clients, users, jobs, events, notes, feature views and subscribers. Each
// records the calls it receives in a shared call log, so that a scenario or
// a test can check what the plug-in did and in which order.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/addin/kvaddin.h"

namespace simhost {

// Every call the host receives, one line each ("Object.Operation(args)").
class CCallLog {
 public:
  void Add(std::string line);
  std::vector<std::string> Lines() const;
  // Lines that start with `prefix`.
  std::vector<std::string> Matching(const std::string& prefix) const;
  size_t Count(const std::string& prefix) const { return Matching(prefix).size(); }
  void Clear();

 private:
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
};

// A reference count that the checks read: every reference the plug-in took
// must have been released again.
class CRefCounted {
 public:
  void AddRef() { ++refs_; }
  void DropRef() { --refs_; }
  // References held besides the host's own.
  int ExtraRefs() const { return refs_.load(); }

 private:
  std::atomic<int> refs_{0};
};

struct THostAccount {
  int32_t kind = 0;
  std::string accountCode;  // GBK
  std::string customerNo;   // GBK
  std::string rights;       // e.g. "1 23 45"
};

class CHostJob;

class CHostUser final : public kv::IKvUser, public CRefCounted {
 public:
  CHostUser(CCallLog& log, THostAccount account) : log_(log), account_(std::move(account)) {}

  void KVAPI Release() override { DropRef(); }
  kv::IXMLProfile* KVAPI GetProfile() override;
  kv::IKvJob* KVAPI CreateJob(kv::KvValue a, kv::KvValue b) override;
  int32_t KVAPI GetAccountKind() override { return account_.kind; }
  const char* KVAPI GetAccountCode() override { return account_.accountCode.c_str(); }
  const char* KVAPI GetCustomerNo() override { return account_.customerNo.c_str(); }
  const char* KVAPI GetRights() override { return account_.rights.c_str(); }

  void SetProfile(kv::IXMLProfile* profile) { profile_ = profile; }
  const THostAccount& Account() const { return account_; }
  // The jobs the plug-in created through this user, oldest first.
  std::vector<CHostJob*> CreatedJobs() const;

 private:
  CCallLog& log_;
  THostAccount account_;
  kv::IXMLProfile* profile_ = nullptr;
  mutable std::mutex jobsLock_;
  std::vector<std::unique_ptr<CHostJob>> jobs_;
};

class CHostClient final : public kv::IKvClient {
 public:
  explicit CHostClient(CHostUser& user, bool skip = false) : user_(user), skip_(skip) {}
  kv::IKvUser* KVAPI GetUser() override {
    user_.AddRef();
    return &user_;
  }
  kv::KvBool KVAPI GetSkipFlag() override { return skip_ ? 1 : 0; }
  CHostUser& User() { return user_; }

 private:
  CHostUser& user_;
  bool skip_;
};

// A host job. The host's callbacks hand the same object to the plug-in as
// the request or push, which answers GetJob with itself.
class CHostJob final : public kv::IKvJob, public CRefCounted {
 public:
  CHostJob(CCallLog& log, std::string name, uint16_t function, CHostClient* client = nullptr)
      : log_(log), name_(std::move(name)), function_(function), client_(client) {}

  // What the host sets before handing the job over.
  void SetField(int32_t field, std::string gbk) { fields_[field] = std::move(gbk); }
  void SetError(int32_t type, int32_t code, std::string text) {
    errorType_ = type;
    errorCode_ = code;
    errorText_ = std::move(text);
  }
  void SetCreateArgs(kv::KvValue a, kv::KvValue b) {
    argA_ = a;
    argB_ = b;
  }
  // A careless host: field texts fill the whole buffer without terminator.
  void SetUnterminatedFields(bool on) { unterminated_ = on; }

  kv::IKvJob* KVAPI GetJob() override {
    AddRef();
    return this;
  }
  void KVAPI Release() override { DropRef(); }
  kv::KvValue KVAPI GetCreateArgA() override { return argA_; }
  kv::KvValue KVAPI GetCreateArgB() override { return argB_; }
  void KVAPI SetMode(int32_t mode) override;
  void KVAPI SetFunction(int32_t function) override;
  uint16_t KVAPI GetFunction() override { return function_; }
  kv::KvBool KVAPI Send(kv::KvValue, kv::KvValue, kv::KvValue, kv::KvValue) override;
  int32_t KVAPI GetErrorType() override { return errorType_; }
  int32_t KVAPI GetErrorCode() override { return errorCode_; }
  const char* KVAPI GetErrorText() override { return errorText_.c_str(); }
  kv::IKvClient* KVAPI GetClient() override { return client_; }
  kv::KvBool KVAPI SeekFirst() override { return 1; }
  kv::KvBool KVAPI GetField(int32_t field, char* buffer, int32_t size, kv::KvValue) override;

  const std::string& Name() const { return name_; }
  int32_t Mode() const { return mode_; }
  bool Sent() const { return sent_; }
  std::vector<int32_t> FieldsRead() const;

 private:
  CCallLog& log_;
  std::string name_;
  uint16_t function_;
  CHostClient* client_;
  std::map<int32_t, std::string> fields_;
  int32_t errorType_ = 0, errorCode_ = 0;
  std::string errorText_;
  kv::KvValue argA_ = 0, argB_ = 0;
  bool unterminated_ = false;
  int32_t mode_ = -1;
  std::atomic<bool> sent_{false};
  mutable std::mutex readLock_;
  std::vector<int32_t> fieldsRead_;
};

class CHostJobEvent final : public kv::IKvJobEvent {
 public:
  CHostJobEvent(CHostClient* client, uint16_t function, bool success)
      : client_(client), function_(function), success_(success) {}
  kv::IKvClient* KVAPI GetClient() override { return client_; }
  kv::KvBool KVAPI IsSuccess() override { return success_ ? 1 : 0; }
  uint16_t KVAPI GetFunction() override { return function_; }

 private:
  CHostClient* client_;
  uint16_t function_;
  bool success_;
};

class CHostLoginEvent final : public kv::IKvLoginEvent {
 public:
  CHostLoginEvent(CHostJob& job, CHostUser& requester) : job_(job), requester_(requester) {}
  kv::IKvJob* KVAPI GetJob() override { return job_.GetJob(); }
  kv::IKvUser* KVAPI GetRequester() override { return &requester_; }

 private:
  CHostJob& job_;
  CHostUser& requester_;
};

class CHostNote final : public kv::IKvNote {
 public:
  explicit CHostNote(CCallLog& log) : log_(log) {}
  void KVAPI SetClosed(kv::KvBool closed) override;
  void KVAPI SetDone(kv::KvBool done) override;
  kv::KvBool KVAPI HasMore() override { return 0; }
  void KVAPI SetIntProperty(const char* name, int32_t value) override;
  void KVAPI SetTextProperty(const char* name, const char* text) override;
  void KVAPI SetOwnerFeature(const char* feature) override;

  // "Name=value" in the order they were set (texts as GBK).
  std::vector<std::string> Properties() const;

 private:
  CCallLog& log_;
  mutable std::mutex lock_;
  std::vector<std::string> properties_;
};

class CHostNoteUtility final : public kv::IKvNoteUtility {
 public:
  explicit CHostNoteUtility(CCallLog& log) : log_(log) {}
  kv::IKvNote* KVAPI CreateNote(kv::KvValue a, const char* kind, int32_t style, kv::KvValue b) override;
  kv::KvBool KVAPI ShowNote(kv::IKvNote* note) override;
  kv::KvValue KVAPI EndNote(kv::KvValue key, kv::IKvNote* note, int32_t how, kv::KvValue b) override;
  kv::KvValue KVAPI UpdateNote(kv::KvValue key, kv::KvValue value) override;

  std::vector<CHostNote*> Notes() const;
  std::vector<CHostNote*> ShownNotes() const;

 private:
  CCallLog& log_;
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<CHostNote>> notes_;
  std::vector<CHostNote*> shown_;
};

// A feature of the host itself that owns a window ("Stock.zjgf").
class CHostFeatureView final : public kv::IFeatureView {
 public:
  CHostFeatureView(std::string name, kv::KvHwnd window) : name_(std::move(name)), window_(window) {}
  void* KVAPI GetSelf() override { return this; }
  kv::IFeatureEntry* KVAPI GetEntry() override { return nullptr; }
  void KVAPI SetEntry(kv::IFeatureEntry*) override {}
  void KVAPI Destroy() override {}
  kv::KvHwnd KVAPI GetWindow() override { return window_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  kv::KvHwnd window_;
};

// Another host component subscribed to the push service.
class CHostSubscriber final : public kv::CHelperSlots {
 public:
  struct TPushData {
    int32_t kind;
    std::string payload;
    std::string extra;
    bool extraNull;
  };

  CHostSubscriber(CCallLog& log, std::string name) : log_(log), name_(std::move(name)) {}

  void* KVAPI GetServiceObject() override { return this; }
  kv::IFeatureEntry* KVAPI GetEntry() override { return nullptr; }
  void KVAPI SetEntry(kv::IFeatureEntry*) override {}
  void KVAPI Destroy() override {}
  kv::IHelper* KVAPI GetInterface(int32_t kind) override { return kind == 0 ? this : nullptr; }
  kv::KvBool KVAPI RefreshModules() override { return 1; }
  void KVAPI OnTick(kv::KvValue) override {}
  int32_t KVAPI OnPushData(int32_t kind, const void* payload, int32_t size, const void* extra,
                           int32_t extraSize) override;
  kv::KvBool KVAPI AddSubscriber(kv::IHelper*) override { return 0; }
  kv::KvBool KVAPI AddNotifyWindow(kv::KvHwnd, uint32_t) override { return 0; }
  kv::KvBool KVAPI RemoveSubscriber(kv::IHelper*) override { return 0; }
  kv::KvBool KVAPI RemoveNotifyWindow(kv::KvHwnd) override { return 0; }

  std::vector<TPushData> Received() const;
  void Clear();

 private:
  CCallLog& log_;
  std::string name_;
  mutable std::mutex lock_;
  std::vector<TPushData> received_;
};

class CHostPort final : public kv::IAddinPort {
 public:
  explicit CHostPort(CCallLog& log) : log_(log) {}

  kv::KvBool KVAPI PreTranslateForeign(kv::KvHwnd window, void* message) override;
  void KVAPI OnUserActivity() override;
  kv::KvBool KVAPI IsBusy() override { return busy_.load() ? 1 : 0; }
  kv::KvBool KVAPI AddPushSink(kv::IPushSink* sink) override;
  kv::KvBool KVAPI RemovePushSink(kv::IPushSink* sink) override;
  kv::KvBool KVAPI AddJobListener(kv::IJobListener* listener) override;
  kv::KvBool KVAPI RemoveJobListener(kv::IJobListener* listener) override;
  kv::IFeatureView* KVAPI FindFeature(const char* name, kv::KvValue) override;
  kv::IFeatureView* KVAPI GetActiveFeature() override;
  void* KVAPI GetModule(const char* name) override;

  // The host's side.
  void SetModule(const std::string& name, void* module);
  void AddFeature(kv::IFeatureView* view, const std::string& name);
  void SetActiveFeature(kv::IFeatureView* view);
  void SetBusy(bool busy) { busy_.store(busy); }
  void SetForeignConsumes(bool consumes) { foreignConsumes_ = consumes; }
  kv::IPushSink* Sink() const;
  kv::IJobListener* Listener() const;

  // The host's traffic into the registered callbacks.
  void RequestSent(CHostJob& request);
  void Answer(CHostJob& request);
  void Push(CHostJob& push);
  void JobEvent(CHostJobEvent& event);

 private:
  CCallLog& log_;
  mutable std::mutex lock_;
  std::vector<kv::IPushSink*> sinks_;
  std::vector<kv::IJobListener*> listeners_;
  std::map<std::string, void*> modules_;
  std::map<std::string, kv::IFeatureView*> features_;
  kv::IFeatureView* active_ = nullptr;
  std::atomic<bool> busy_{false};
  bool foreignConsumes_ = false;
};

}  // namespace simhost
