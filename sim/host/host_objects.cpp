#include "sim/host/host_objects.h"

#include <algorithm>
#include <cstring>

#include "base/gbk.h"

namespace simhost {
namespace {

// Plug-in texts are GBK; the log reads as UTF-8.
std::string Utf8(const char* gbk) { return gbk ? base::GbkToUtf8Lossy(gbk) : "(null)"; }

template <class T>
bool Erase(std::vector<T*>& items, T* item) {
  const auto it = std::find(items.begin(), items.end(), item);
  if (it == items.end()) return false;
  items.erase(it);
  return true;
}

}  // namespace

void HOST_MEMBER NothingSlot(Self) {}
void HOST_MEMBER NothingSlot1(Self, Value) {}
void HOST_MEMBER NothingSlot2(Self, Value, Value) {}

// ---------------------------------------------------------------------------
// The tables, slot by slot

const hostabi::TUserTable CHostUser::kTable = {
    HOST_THUNK(CHostUser::Release),        HOST_THUNK(CHostUser::GetProfile),
    HOST_THUNK(CHostUser::CreateJob),      HOST_THUNK(CHostUser::GetAccountKind),
    HOST_THUNK(CHostUser::GetAccountCode), HOST_THUNK(CHostUser::GetCustomerNo),
    HOST_THUNK(CHostUser::GetRights),
};

const hostabi::TClientTable CHostClient::kTable = {HOST_THUNK(CHostClient::GetUser),
                                                   HOST_THUNK(CHostClient::GetSkipFlag)};

const hostabi::TJobTable CHostJob::kTable = {
    HOST_THUNK(CHostJob::GetJob),       HOST_THUNK(CHostJob::Release),      HOST_THUNK(CHostJob::GetCreateArgA),
    HOST_THUNK(CHostJob::GetCreateArgB), HOST_THUNK(CHostJob::SetMode),     HOST_THUNK(CHostJob::SetFunction),
    HOST_THUNK(CHostJob::GetFunction),  HOST_THUNK(CHostJob::Send),         HOST_THUNK(CHostJob::GetErrorType),
    HOST_THUNK(CHostJob::GetErrorCode), HOST_THUNK(CHostJob::GetErrorText), HOST_THUNK(CHostJob::GetClient),
    HOST_THUNK(CHostJob::SeekFirst),    HOST_THUNK(CHostJob::GetField),
};

const hostabi::TJobEventTable CHostJobEvent::kTable = {
    HOST_THUNK(CHostJobEvent::GetClient), HOST_THUNK(CHostJobEvent::IsSuccess), HOST_THUNK(CHostJobEvent::GetFunction)};

const hostabi::TLoginEventTable CHostLoginEvent::kTable = {HOST_THUNK(CHostLoginEvent::GetJob),
                                                           HOST_THUNK(CHostLoginEvent::GetRequester)};

const hostabi::TNoteTable CHostNote::kTable = {
    HOST_THUNK(CHostNote::SetClosed),       HOST_THUNK(CHostNote::SetDone),
    HOST_THUNK(CHostNote::HasMore),         HOST_THUNK(CHostNote::SetIntProperty),
    HOST_THUNK(CHostNote::SetTextProperty), HOST_THUNK(CHostNote::SetOwnerFeature),
};

const hostabi::TNoteUtilityTable CHostNoteUtility::kTable = {
    HOST_THUNK(CHostNoteUtility::CreateNote), HOST_THUNK(CHostNoteUtility::ShowNote),
    HOST_THUNK(CHostNoteUtility::EndNote), HOST_THUNK(CHostNoteUtility::UpdateNote)};

const hostabi::TFeatureViewTable CHostFeatureView::kTable = {
    HOST_THUNK(CHostFeatureView::GetSelf), HOST_THUNK(CHostFeatureView::GetEntry),
    HOST_THUNK(CHostFeatureView::SetEntry), HOST_THUNK(CHostFeatureView::Destroy),
    HOST_THUNK(CHostFeatureView::GetWindow)};

const hostabi::THelperTable CHostSubscriber::kTable = {
    HOST_THUNK(CHostSubscriber::GetServiceObject),
    HOST_THUNK(CHostSubscriber::GetEntry),
    HOST_THUNK(CHostSubscriber::SetEntry),
    HOST_THUNK(CHostSubscriber::Destroy),
    HOST_THUNK(CHostSubscriber::GetInterface),
    HOST_THUNK(CHostSubscriber::RefreshModules),
    {NothingSlot, NothingSlot},
    {NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1},
    HOST_THUNK(CHostSubscriber::OnTick),
    {NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1, NothingSlot1},
    NothingSlot2,
    HOST_THUNK(CHostSubscriber::OnPushData),
    HOST_THUNK(CHostSubscriber::AddSubscriber),
    HOST_THUNK(CHostSubscriber::AddNotifyWindow),
    HOST_THUNK(CHostSubscriber::RemoveSubscriber),
    HOST_THUNK(CHostSubscriber::RemoveNotifyWindow),
};

const hostabi::TPortTable CHostPort::kTable = {
    HOST_THUNK(CHostPort::PreTranslateForeign), HOST_THUNK(CHostPort::OnUserActivity),
    HOST_THUNK(CHostPort::IsBusy),              HOST_THUNK(CHostPort::AddPushSink),
    HOST_THUNK(CHostPort::RemovePushSink),      HOST_THUNK(CHostPort::AddJobListener),
    HOST_THUNK(CHostPort::RemoveJobListener),   HOST_THUNK(CHostPort::FindFeature),
    HOST_THUNK(CHostPort::GetActiveFeature),    HOST_THUNK(CHostPort::GetModule),
};

// ---------------------------------------------------------------------------
// Call log

void CCallLog::Add(std::string line) {
  std::lock_guard lock(lock_);
  lines_.push_back(std::move(line));
}

std::vector<std::string> CCallLog::Lines() const {
  std::lock_guard lock(lock_);
  return lines_;
}

std::vector<std::string> CCallLog::Matching(const std::string& prefix) const {
  std::lock_guard lock(lock_);
  std::vector<std::string> out;
  for (const std::string& line : lines_)
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

void CCallLog::Clear() {
  std::lock_guard lock(lock_);
  lines_.clear();
}

// ---------------------------------------------------------------------------
// User and jobs

Self CHostUser::GetProfile() {
  log_.Add("User.GetProfile(" + account_.customerNo + ")");
  return profile_;
}

Self CHostUser::CreateJob(Value a, Value b) {
  log_.Add("User.CreateJob(" + account_.customerNo + "," + std::to_string(a) + "," + std::to_string(b) + ")");
  std::lock_guard lock(jobsLock_);
  jobs_.push_back(std::make_unique<CHostJob>(log_, "created-by-" + account_.customerNo, 0));
  CHostJob* job = jobs_.back().get();
  job->AddRef();  // the plug-in's reference
  return job->Abi();
}

std::vector<CHostJob*> CHostUser::CreatedJobs() const {
  std::lock_guard lock(jobsLock_);
  std::vector<CHostJob*> out;
  for (const auto& job : jobs_) out.push_back(job.get());
  return out;
}

void CHostJob::SetMode(int32_t mode) {
  mode_ = mode;
  log_.Add("Job.SetMode(" + name_ + "," + std::to_string(mode) + ")");
}

void CHostJob::SetFunction(int32_t function) {
  function_ = static_cast<uint16_t>(function);
  log_.Add("Job.SetFunction(" + name_ + "," + std::to_string(function) + ")");
}

Bool CHostJob::Send(Value, Value, Value, Value) {
  sent_ = true;
  log_.Add("Job.Send(" + name_ + "," + std::to_string(function_) + ")");
  return 1;
}

Bool CHostJob::GetField(int32_t field, char* buffer, int32_t size, Value) {
  {
    std::lock_guard lock(readLock_);
    fieldsRead_.push_back(field);
  }
  if (!buffer || size <= 0) return 0;
  const auto it = fields_.find(field);
  const std::string text = it == fields_.end() ? std::string() : it->second;
  const auto room = static_cast<size_t>(size);
  if (unterminated_ && text.size() >= room) {
    std::memcpy(buffer, text.data(), room);  // no terminator: the plug-in must not read past
  } else {
    const size_t n = std::min(text.size(), room - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  return it != fields_.end() ? 1 : 0;
}

std::vector<int32_t> CHostJob::FieldsRead() const {
  std::lock_guard lock(readLock_);
  return fieldsRead_;
}

// ---------------------------------------------------------------------------
// Notes

void CHostNote::SetClosed(Bool closed) { log_.Add("Note.SetClosed(" + std::to_string(closed) + ")"); }

void CHostNote::SetDone(Bool done) { log_.Add("Note.SetDone(" + std::to_string(done) + ")"); }

void CHostNote::SetIntProperty(const char* name, int32_t value) {
  const std::string line = Utf8(name) + "=" + std::to_string(value);
  log_.Add("Note.SetIntProperty(" + line + ")");
  std::lock_guard lock(lock_);
  properties_.push_back(line);
}

void CHostNote::SetTextProperty(const char* name, const char* text) {
  const std::string line = Utf8(name) + "=" + Utf8(text);
  log_.Add("Note.SetTextProperty(" + line + ")");
  std::lock_guard lock(lock_);
  properties_.push_back(line);
}

void CHostNote::SetOwnerFeature(const char* feature) {
  const std::string line = "Owner=" + Utf8(feature);
  log_.Add("Note.SetOwnerFeature(" + Utf8(feature) + ")");
  std::lock_guard lock(lock_);
  properties_.push_back(line);
}

std::vector<std::string> CHostNote::Properties() const {
  std::lock_guard lock(lock_);
  return properties_;
}

Self CHostNoteUtility::CreateNote(Value a, const char* kind, int32_t style, Value b) {
  log_.Add("Notes.CreateNote(" + std::to_string(a) + "," + Utf8(kind) + "," + std::to_string(style) + "," +
           std::to_string(b) + ")");
  std::lock_guard lock(lock_);
  notes_.push_back(std::make_unique<CHostNote>(log_));
  return notes_.back()->Abi();
}

Bool CHostNoteUtility::ShowNote(Self note) {
  log_.Add("Notes.ShowNote");
  std::lock_guard lock(lock_);
  for (const auto& own : notes_)
    if (own->Abi() == note) {
      shown_.push_back(own.get());
      return 1;
    }
  return 0;
}

Value CHostNoteUtility::EndNote(Value key, Self, int32_t how, Value) {
  log_.Add("Notes.EndNote(" + std::to_string(key) + "," + std::to_string(how) + ")");
  return 1;
}

Value CHostNoteUtility::UpdateNote(Value key, Value) {
  log_.Add("Notes.UpdateNote(" + std::to_string(key) + ")");
  return 1;
}

std::vector<CHostNote*> CHostNoteUtility::Notes() const {
  std::lock_guard lock(lock_);
  std::vector<CHostNote*> out;
  for (const auto& note : notes_) out.push_back(note.get());
  return out;
}

std::vector<CHostNote*> CHostNoteUtility::ShownNotes() const {
  std::lock_guard lock(lock_);
  return shown_;
}

// ---------------------------------------------------------------------------
// Subscriber

int32_t CHostSubscriber::OnPushData(int32_t kind, const void* payload, int32_t size, const void* extra,
                                    int32_t extraSize) {
  TPushData data{kind, {}, {}, extra == nullptr};
  if (payload && size > 0) data.payload.assign(static_cast<const char*>(payload), static_cast<size_t>(size));
  if (extra && extraSize > 0) data.extra.assign(static_cast<const char*>(extra), static_cast<size_t>(extraSize));
  log_.Add("Subscriber.OnPushData(" + name_ + "," + std::to_string(kind) + "," + std::to_string(size) + "," +
           std::to_string(extraSize) + ")");
  std::lock_guard lock(lock_);
  received_.push_back(std::move(data));
  return 0;
}

std::vector<CHostSubscriber::TPushData> CHostSubscriber::Received() const {
  std::lock_guard lock(lock_);
  return received_;
}

void CHostSubscriber::Clear() {
  std::lock_guard lock(lock_);
  received_.clear();
}

// ---------------------------------------------------------------------------
// Port

Bool CHostPort::PreTranslateForeign(Hwnd window, void*) {
  log_.Add("Port.PreTranslateForeign(" + std::to_string(reinterpret_cast<uintptr_t>(window)) + ")");
  return foreignConsumes_ ? 1 : 0;
}

void CHostPort::OnUserActivity() { log_.Add("Port.OnUserActivity"); }

Bool CHostPort::AddPushSink(Self sink) {
  log_.Add("Port.AddPushSink");
  std::lock_guard lock(lock_);
  sinks_.push_back(sink);
  return 1;
}

Bool CHostPort::RemovePushSink(Self sink) {
  log_.Add("Port.RemovePushSink");
  std::lock_guard lock(lock_);
  return Erase(sinks_, sink) ? 1 : 0;
}

Bool CHostPort::AddJobListener(Self listener) {
  log_.Add("Port.AddJobListener");
  std::lock_guard lock(lock_);
  listeners_.push_back(listener);
  return 1;
}

Bool CHostPort::RemoveJobListener(Self listener) {
  log_.Add("Port.RemoveJobListener");
  std::lock_guard lock(lock_);
  return Erase(listeners_, listener) ? 1 : 0;
}

Self CHostPort::FindFeature(const char* name, Value) {
  log_.Add("Port.FindFeature(" + Utf8(name) + ")");
  std::lock_guard lock(lock_);
  const auto it = features_.find(name ? name : "");
  return it == features_.end() ? nullptr : it->second->Abi();
}

Self CHostPort::GetActiveFeature() {
  log_.Add("Port.GetActiveFeature");
  std::lock_guard lock(lock_);
  return active_ ? active_->Abi() : nullptr;
}

Self CHostPort::GetModule(const char* name) {
  log_.Add("Port.GetModule(" + Utf8(name) + ")");
  std::lock_guard lock(lock_);
  const auto it = modules_.find(name ? name : "");
  return it == modules_.end() ? nullptr : it->second;
}

void CHostPort::SetModule(const std::string& name, void* module) {
  std::lock_guard lock(lock_);
  if (module)
    modules_[name] = module;
  else
    modules_.erase(name);
}

void CHostPort::AddFeature(CHostFeatureView* view, const std::string& name) {
  std::lock_guard lock(lock_);
  features_[name] = view;
}

void CHostPort::SetActiveFeature(CHostFeatureView* view) {
  std::lock_guard lock(lock_);
  active_ = view;
}

Self CHostPort::Sink() const {
  std::lock_guard lock(lock_);
  return sinks_.empty() ? nullptr : sinks_.back();
}

Self CHostPort::Listener() const {
  std::lock_guard lock(lock_);
  return listeners_.empty() ? nullptr : listeners_.back();
}

void CHostPort::RequestSent(CHostJob& request) {
  if (Self sink = Sink()) hostabi::Call(sink, &hostabi::TPushSinkTable::OnRequestSent, request.Abi());
}

void CHostPort::Answer(CHostJob& request) {
  if (Self sink = Sink()) hostabi::Call(sink, &hostabi::TPushSinkTable::OnAnswer, request.Abi());
}

void CHostPort::Push(CHostJob& push) {
  if (Self sink = Sink()) hostabi::Call(sink, &hostabi::TPushSinkTable::OnPush, push.Abi());
}

void CHostPort::JobEvent(CHostJobEvent& event) {
  if (Self listener = Listener()) hostabi::Call(listener, &hostabi::TJobListenerTable::OnJobEvent, event.Abi());
}

}  // namespace simhost
