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

#include "sim/host/host_abi.h"

namespace simhost {

using hostabi::Bool;
using hostabi::Hwnd;
using hostabi::Self;
using hostabi::Value;

// A host object of the protocol: its table first, built by the class from
// its own member functions (see HOST_THUNK).
template <class C, class Table>
class CHostObject : public hostabi::TObject<Table> {
 public:
  using TableType = Table;
  // The object as the plug-in holds it.
  void* Abi() { return static_cast<hostabi::TObject<Table>*>(this); }
  static C* From(void* object) {
    return object ? static_cast<C*>(static_cast<hostabi::TObject<Table>*>(object)) : nullptr;
  }

 protected:
  CHostObject() : hostabi::TObject<Table>{&C::kTable} {}
};

// The slot function that calls member function M on the object.
template <auto M>
struct TThunk;
template <class C, class R, class... A, R (C::*M)(A...)>
struct TThunk<M> {
  static R HOST_MEMBER Call(Self self, A... args) { return (C::From(self)->*M)(args...); }
};
#define HOST_THUNK(member) (&::simhost::TThunk<&member>::Call)

// Slots that do nothing.
void HOST_MEMBER NothingSlot(Self);
void HOST_MEMBER NothingSlot1(Self, Value);
void HOST_MEMBER NothingSlot2(Self, Value, Value);

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

class CHostUser final : public CHostObject<CHostUser, hostabi::TUserTable>, public CRefCounted {
 public:
  static const hostabi::TUserTable kTable;
  CHostUser(CCallLog& log, THostAccount account) : log_(log), account_(std::move(account)) {}

  void Release() { DropRef(); }
  Self GetProfile();
  Self CreateJob(Value a, Value b);
  int32_t GetAccountKind() { return account_.kind; }
  const char* GetAccountCode() { return account_.accountCode.c_str(); }
  const char* GetCustomerNo() { return account_.customerNo.c_str(); }
  const char* GetRights() { return account_.rights.c_str(); }

  // The host's profile document of this user (an object of TProfileTable).
  void SetProfile(Self profile) { profile_ = profile; }
  const THostAccount& Account() const { return account_; }
  // The jobs the plug-in created through this user, oldest first.
  std::vector<CHostJob*> CreatedJobs() const;

 private:
  CCallLog& log_;
  THostAccount account_;
  Self profile_ = nullptr;
  mutable std::mutex jobsLock_;
  std::vector<std::unique_ptr<CHostJob>> jobs_;
};

class CHostClient final : public CHostObject<CHostClient, hostabi::TClientTable> {
 public:
  static const hostabi::TClientTable kTable;
  explicit CHostClient(CHostUser& user, bool skip = false) : user_(user), skip_(skip) {}
  Self GetUser() {
    user_.AddRef();
    return user_.Abi();
  }
  Bool GetSkipFlag() { return skip_ ? 1 : 0; }
  CHostUser& User() { return user_; }

 private:
  CHostUser& user_;
  bool skip_;
};

// A host job. The host's callbacks hand the same object to the plug-in as
// the request or push, which answers GetJob with itself.
class CHostJob final : public CHostObject<CHostJob, hostabi::TJobTable>, public CRefCounted {
 public:
  static const hostabi::TJobTable kTable;
  CHostJob(CCallLog& log, std::string name, uint16_t function, CHostClient* client = nullptr)
      : log_(log), name_(std::move(name)), function_(function), client_(client) {}

  // What the host sets before handing the job over.
  void SetField(int32_t field, std::string gbk) { fields_[field] = std::move(gbk); }
  void SetError(int32_t type, int32_t code, std::string text) {
    errorType_ = type;
    errorCode_ = code;
    errorText_ = std::move(text);
  }
  void SetCreateArgs(Value a, Value b) {
    argA_ = a;
    argB_ = b;
  }
  // A careless host: field texts fill the whole buffer without terminator.
  void SetUnterminatedFields(bool on) { unterminated_ = on; }

  Self GetJob() {
    AddRef();
    return Abi();
  }
  void Release() { DropRef(); }
  Value GetCreateArgA() { return argA_; }
  Value GetCreateArgB() { return argB_; }
  void SetMode(int32_t mode);
  void SetFunction(int32_t function);
  uint16_t GetFunction() { return function_; }
  Bool Send(Value, Value, Value, Value);
  int32_t GetErrorType() { return errorType_; }
  int32_t GetErrorCode() { return errorCode_; }
  const char* GetErrorText() { return errorText_.c_str(); }
  Self GetClient() { return client_ ? client_->Abi() : nullptr; }
  Bool SeekFirst() { return 1; }
  Bool GetField(int32_t field, char* buffer, int32_t size, Value);

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
  Value argA_ = 0, argB_ = 0;
  bool unterminated_ = false;
  int32_t mode_ = -1;
  std::atomic<bool> sent_{false};
  mutable std::mutex readLock_;
  std::vector<int32_t> fieldsRead_;
};

class CHostJobEvent final : public CHostObject<CHostJobEvent, hostabi::TJobEventTable> {
 public:
  static const hostabi::TJobEventTable kTable;
  CHostJobEvent(CHostClient* client, uint16_t function, bool success)
      : client_(client), function_(function), success_(success) {}
  Self GetClient() { return client_ ? client_->Abi() : nullptr; }
  Bool IsSuccess() { return success_ ? 1 : 0; }
  uint16_t GetFunction() { return function_; }

 private:
  CHostClient* client_;
  uint16_t function_;
  bool success_;
};

class CHostLoginEvent final : public CHostObject<CHostLoginEvent, hostabi::TLoginEventTable> {
 public:
  static const hostabi::TLoginEventTable kTable;
  CHostLoginEvent(CHostJob& job, CHostUser& requester) : job_(job), requester_(requester) {}
  Self GetJob() { return job_.GetJob(); }
  Self GetRequester() { return requester_.Abi(); }

 private:
  CHostJob& job_;
  CHostUser& requester_;
};

class CHostNote final : public CHostObject<CHostNote, hostabi::TNoteTable> {
 public:
  static const hostabi::TNoteTable kTable;
  explicit CHostNote(CCallLog& log) : log_(log) {}
  void SetClosed(Bool closed);
  void SetDone(Bool done);
  Bool HasMore() { return 0; }
  void SetIntProperty(const char* name, int32_t value);
  void SetTextProperty(const char* name, const char* text);
  void SetOwnerFeature(const char* feature);

  // "Name=value" in the order they were set (texts as GBK).
  std::vector<std::string> Properties() const;

 private:
  CCallLog& log_;
  mutable std::mutex lock_;
  std::vector<std::string> properties_;
};

class CHostNoteUtility final : public CHostObject<CHostNoteUtility, hostabi::TNoteUtilityTable> {
 public:
  static const hostabi::TNoteUtilityTable kTable;
  explicit CHostNoteUtility(CCallLog& log) : log_(log) {}
  Self CreateNote(Value a, const char* kind, int32_t style, Value b);
  Bool ShowNote(Self note);
  Value EndNote(Value key, Self note, int32_t how, Value b);
  Value UpdateNote(Value key, Value value);

  std::vector<CHostNote*> Notes() const;
  std::vector<CHostNote*> ShownNotes() const;

 private:
  CCallLog& log_;
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<CHostNote>> notes_;
  std::vector<CHostNote*> shown_;
};

// A feature of the host itself that owns a window ("Stock.zjgf").
class CHostFeatureView final : public CHostObject<CHostFeatureView, hostabi::TFeatureViewTable> {
 public:
  static const hostabi::TFeatureViewTable kTable;
  CHostFeatureView(std::string name, Hwnd window) : name_(std::move(name)), window_(window) {}
  Self GetSelf() { return Abi(); }
  Self GetEntry() { return nullptr; }
  void SetEntry(Self) {}
  void Destroy() {}
  Hwnd GetWindow() { return window_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  Hwnd window_;
};

// Another host component subscribed to the push service.
class CHostSubscriber final : public CHostObject<CHostSubscriber, hostabi::THelperTable> {
 public:
  struct TPushData {
    int32_t kind;
    std::string payload;
    std::string extra;
    bool extraNull;
  };

  static const hostabi::THelperTable kTable;
  CHostSubscriber(CCallLog& log, std::string name) : log_(log), name_(std::move(name)) {}

  Self GetServiceObject() { return Abi(); }
  Self GetEntry() { return nullptr; }
  void SetEntry(Self) {}
  void Destroy() {}
  Self GetInterface(int32_t kind) { return kind == 0 ? Abi() : nullptr; }
  Bool RefreshModules() { return 1; }
  void OnTick(Value) {}
  int32_t OnPushData(int32_t kind, const void* payload, int32_t size, const void* extra, int32_t extraSize);
  Bool AddSubscriber(Self) { return 0; }
  Bool AddNotifyWindow(Hwnd, uint32_t) { return 0; }
  Bool RemoveSubscriber(Self) { return 0; }
  Bool RemoveNotifyWindow(Hwnd) { return 0; }

  std::vector<TPushData> Received() const;
  void Clear();

 private:
  CCallLog& log_;
  std::string name_;
  mutable std::mutex lock_;
  std::vector<TPushData> received_;
};

class CHostPort final : public CHostObject<CHostPort, hostabi::TPortTable> {
 public:
  static const hostabi::TPortTable kTable;
  explicit CHostPort(CCallLog& log) : log_(log) {}

  Bool PreTranslateForeign(Hwnd window, void* message);
  void OnUserActivity();
  Bool IsBusy() { return busy_.load() ? 1 : 0; }
  Bool AddPushSink(Self sink);
  Bool RemovePushSink(Self sink);
  Bool AddJobListener(Self listener);
  Bool RemoveJobListener(Self listener);
  Self FindFeature(const char* name, Value);
  Self GetActiveFeature();
  Self GetModule(const char* name);

  // The host's side. Modules and features are objects of the protocol.
  void SetModule(const std::string& name, void* module);
  void AddFeature(CHostFeatureView* view, const std::string& name);
  void SetActiveFeature(CHostFeatureView* view);
  void SetBusy(bool busy) { busy_.store(busy); }
  void SetForeignConsumes(bool consumes) { foreignConsumes_ = consumes; }
  // The registered push sink (TPushSinkTable) and job listener (TJobListenerTable).
  Self Sink() const;
  Self Listener() const;

  // The host's traffic into the registered callbacks.
  void RequestSent(CHostJob& request);
  void Answer(CHostJob& request);
  void Push(CHostJob& push);
  void JobEvent(CHostJobEvent& event);

 private:
  CCallLog& log_;
  mutable std::mutex lock_;
  std::vector<Self> sinks_;
  std::vector<Self> listeners_;
  std::map<std::string, void*> modules_;
  std::map<std::string, CHostFeatureView*> features_;
  CHostFeatureView* active_ = nullptr;
  std::atomic<bool> busy_{false};
  bool foreignConsumes_ = false;
};

}  // namespace simhost
