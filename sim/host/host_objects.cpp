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

kv::IXMLProfile* CHostUser::GetProfile() {
  log_.Add("User.GetProfile(" + account_.customerNo + ")");
  return profile_;
}

kv::IKvJob* CHostUser::CreateJob(kv::KvValue a, kv::KvValue b) {
  log_.Add("User.CreateJob(" + account_.customerNo + "," + std::to_string(a) + "," + std::to_string(b) + ")");
  std::lock_guard lock(jobsLock_);
  jobs_.push_back(std::make_unique<CHostJob>(log_, "created-by-" + account_.customerNo, 0));
  CHostJob* job = jobs_.back().get();
  job->AddRef();  // the plug-in's reference
  return job;
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

kv::KvBool CHostJob::Send(kv::KvValue, kv::KvValue, kv::KvValue, kv::KvValue) {
  sent_ = true;
  log_.Add("Job.Send(" + name_ + "," + std::to_string(function_) + ")");
  return 1;
}

kv::KvBool CHostJob::GetField(int32_t field, char* buffer, int32_t size, kv::KvValue) {
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

void CHostNote::SetClosed(kv::KvBool closed) { log_.Add("Note.SetClosed(" + std::to_string(closed) + ")"); }

void CHostNote::SetDone(kv::KvBool done) { log_.Add("Note.SetDone(" + std::to_string(done) + ")"); }

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

kv::IKvNote* CHostNoteUtility::CreateNote(kv::KvValue a, const char* kind, int32_t style, kv::KvValue b) {
  log_.Add("Notes.CreateNote(" + std::to_string(a) + "," + Utf8(kind) + "," + std::to_string(style) + "," +
           std::to_string(b) + ")");
  std::lock_guard lock(lock_);
  notes_.push_back(std::make_unique<CHostNote>(log_));
  return notes_.back().get();
}

kv::KvBool CHostNoteUtility::ShowNote(kv::IKvNote* note) {
  log_.Add("Notes.ShowNote");
  std::lock_guard lock(lock_);
  for (const auto& own : notes_)
    if (own.get() == note) {
      shown_.push_back(own.get());
      return 1;
    }
  return 0;
}

kv::KvValue CHostNoteUtility::EndNote(kv::KvValue key, kv::IKvNote*, int32_t how, kv::KvValue) {
  log_.Add("Notes.EndNote(" + std::to_string(key) + "," + std::to_string(how) + ")");
  return 1;
}

kv::KvValue CHostNoteUtility::UpdateNote(kv::KvValue key, kv::KvValue) {
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

kv::KvBool CHostPort::PreTranslateForeign(kv::KvHwnd window, void*) {
  log_.Add("Port.PreTranslateForeign(" + std::to_string(reinterpret_cast<uintptr_t>(window)) + ")");
  return foreignConsumes_ ? 1 : 0;
}

void CHostPort::OnUserActivity() { log_.Add("Port.OnUserActivity"); }

kv::KvBool CHostPort::AddPushSink(kv::IPushSink* sink) {
  log_.Add("Port.AddPushSink");
  std::lock_guard lock(lock_);
  sinks_.push_back(sink);
  return 1;
}

kv::KvBool CHostPort::RemovePushSink(kv::IPushSink* sink) {
  log_.Add("Port.RemovePushSink");
  std::lock_guard lock(lock_);
  return Erase(sinks_, sink) ? 1 : 0;
}

kv::KvBool CHostPort::AddJobListener(kv::IJobListener* listener) {
  log_.Add("Port.AddJobListener");
  std::lock_guard lock(lock_);
  listeners_.push_back(listener);
  return 1;
}

kv::KvBool CHostPort::RemoveJobListener(kv::IJobListener* listener) {
  log_.Add("Port.RemoveJobListener");
  std::lock_guard lock(lock_);
  return Erase(listeners_, listener) ? 1 : 0;
}

kv::IFeatureView* CHostPort::FindFeature(const char* name, kv::KvValue) {
  log_.Add("Port.FindFeature(" + Utf8(name) + ")");
  std::lock_guard lock(lock_);
  const auto it = features_.find(name ? name : "");
  return it == features_.end() ? nullptr : it->second;
}

kv::IFeatureView* CHostPort::GetActiveFeature() {
  log_.Add("Port.GetActiveFeature");
  std::lock_guard lock(lock_);
  return active_;
}

void* CHostPort::GetModule(const char* name) {
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

void CHostPort::AddFeature(kv::IFeatureView* view, const std::string& name) {
  std::lock_guard lock(lock_);
  features_[name] = view;
}

void CHostPort::SetActiveFeature(kv::IFeatureView* view) {
  std::lock_guard lock(lock_);
  active_ = view;
}

kv::IPushSink* CHostPort::Sink() const {
  std::lock_guard lock(lock_);
  return sinks_.empty() ? nullptr : sinks_.back();
}

kv::IJobListener* CHostPort::Listener() const {
  std::lock_guard lock(lock_);
  return listeners_.empty() ? nullptr : listeners_.back();
}

void CHostPort::RequestSent(CHostJob& request) {
  if (kv::IPushSink* sink = Sink()) sink->OnRequestSent(&request);
}

void CHostPort::Answer(CHostJob& request) {
  if (kv::IPushSink* sink = Sink()) sink->OnAnswer(&request);
}

void CHostPort::Push(CHostJob& push) {
  if (kv::IPushSink* sink = Sink()) sink->OnPush(&push);
}

void CHostPort::JobEvent(CHostJobEvent& event) {
  if (kv::IJobListener* listener = Listener()) listener->OnJobEvent(&event);
}

}  // namespace simhost
