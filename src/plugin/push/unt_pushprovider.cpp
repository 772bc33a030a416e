#include "plugin/push/unt_pushprovider.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <string_view>

#include "base/fixed_text.h"
#include "plugin/addin/unt_hostedge.h"
#include "plugin/push/unt_hostref.h"
#include "plugin/push/unt_pushcenter.h"

namespace push {
namespace {

void* CreatePushProvider() {
  return static_cast<kv::IServiceObject*>(new (std::nothrow) CPushProvider);
}

// The number of used slots of a table whose count may have gone negative.
int UsedSlots(int32_t count, int capacity) { return std::clamp(count, 0, capacity); }

// Removes `value` from the first `count` slots: from its slot on, every slot
// of the table takes the value of the next one (the last slot keeps its
// value), so nothing that was below the old count lingers at the new count.
// The count shrinks by one whether or not it was found. Answers the slot it
// was found in, or -1.
template <class T, size_t N, class Same>
int RemoveSlot(std::array<T, N>& slots, int32_t& count, Same same) {
  int found = -1;
  if (count > 0) {
    const int used = UsedSlots(count, static_cast<int>(N));
    for (int i = 0; i < used; ++i)
      if (same(slots[static_cast<size_t>(i)])) {
        found = i;
        break;
      }
    if (found >= 0) {
      slots[static_cast<size_t>(found)] = T{};
      for (size_t j = static_cast<size_t>(found); j + 1 < N; ++j) slots[j] = slots[j + 1];
    }
  }
  --count;
  return found;
}

const char* OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

// The record carries the size the class is registered with in the host's
// catalogue of feature classes, whatever this build's object takes: the
// object is only ever made by the create function.
const addin::TFeatureClassRecord CPushProvider::kClassRecord = {"CPushProvider", 3089, 0, &CreatePushProvider};

TFillDetail BuildFillDetail(const TFillRecord& record, const TLocalTime& today) {
  TFillDetail detail{};
  detail.year = today.year;
  detail.month = today.month;
  detail.day = today.day;
  int32_t* parts[3] = {&detail.hour, &detail.minute, &detail.second};
  std::string_view time = FieldText(record.time);
  for (int32_t* part : parts) {
    const size_t colon = time.find(':');
    *part = DecimalValue(time.substr(0, colon));
    time = colon == std::string_view::npos ? std::string_view() : time.substr(colon + 1);
  }
  base::WriteFixedText(detail.orderNo, FieldText(record.orderNo));
  base::WriteFixedText(detail.fillNo, FieldText(record.fillNo));
  detail.price = DecimalFraction(FieldText(record.price));
  detail.quantity = DecimalValue(FieldText(record.quantity));
  detail.direction = record.direction;
  base::WriteFixedText(detail.business, FieldText(record.business));
  base::WriteFixedText(detail.code, FieldText(record.code));
  base::WriteFixedText(detail.name, FieldText(record.name));
  return detail;
}

CPushCenter* CPushProvider::Center() const {
  const TPluginContext* context = Context();
  return context ? context->center.load() : nullptr;
}

// ---------------------------------------------------------------------------
// Service interface

void* CPushService::GetServiceObject() { return static_cast<kv::IServiceObject*>(&owner_); }
kv::IFeatureEntry* CPushService::GetEntry() { return owner_.header.entry; }
void CPushService::SetEntry(kv::IFeatureEntry* entry) { owner_.header.entry = entry; }
void CPushService::Destroy() { delete &owner_; }
kv::KvBool CPushService::RefreshModules() { return owner_.RefreshModules(); }
void CPushService::OnTick(kv::KvValue) {
  addin::HostCall([this] { owner_.OnTick(); });
}
kv::KvBool CPushService::AddSubscriber(kv::IHelper* subscriber) {
  return addin::HostCall(0, [&] { return owner_.AddSubscriber(subscriber); });
}
kv::KvBool CPushService::AddNotifyWindow(kv::KvHwnd window, uint32_t message) {
  return addin::HostCall(0, [&] { return owner_.AddNotifyWindow(window, message); });
}
kv::KvBool CPushService::RemoveSubscriber(kv::IHelper* subscriber) {
  return addin::HostCall(0, [&] { return owner_.RemoveSubscriber(subscriber); });
}
kv::KvBool CPushService::RemoveNotifyWindow(kv::KvHwnd window) {
  return addin::HostCall(0, [&] { return owner_.RemoveNotifyWindow(window); });
}

// ---------------------------------------------------------------------------

kv::KvBool CPushProvider::RefreshModules() {
  header.modules = addin::QueryModules(header.port);
  return 1;
}

// ---------------------------------------------------------------------------
// Tables

kv::KvBool CPushProvider::AddSubscriber(kv::IHelper* subscriber) {
  if (!subscriber) return 0;
  {
    std::lock_guard lock(tableLock_);
    if (subscriberCount_ < 0 || subscriberCount_ >= kMaxSubscribers) return 0;
    subscribers_[static_cast<size_t>(subscriberCount_++)] = subscriber;
  }
  // The newcomer learns every account known so far; they count as handed out.
  if (CPushCenter* center = Center()) {
    std::array<TAccountEntry, kMaxAccounts> entries;
    const int copied = center->CopyAccounts(entries.data(), std::min(center->AccountCount(), kMaxAccounts), true);
    for (int i = 0; i < copied; ++i) {
      const TAccountEntry& entry = entries[static_cast<size_t>(i)];
      if (!CallSubscriber(subscriber, entry.registered, &entry, nullptr, 0)) break;
    }
  }
  return 1;
}

// The subscriber leaves the table at once, so no call to it starts from now
// on. The host frees its subscriber when this returns, so a call of it still
// running on another thread is waited for, but only for kRemovalWaitMs: the
// host's threads wait on each other (a subscriber's callback on the tick
// thread may send a message to the window thread that is removing it), and
// an unbounded wait would hang both. Calls of other subscribers are never
// waited for, nor calls on this thread (a subscriber may remove itself or
// another from its own callback).
kv::KvBool CPushProvider::RemoveSubscriber(kv::IHelper* subscriber) {
  std::unique_lock lock(tableLock_);
  RemoveSlot(subscribers_, subscriberCount_, [&](kv::IHelper* slot) { return slot == subscriber; });
  callEnded_.wait_for(lock, std::chrono::milliseconds(kRemovalWaitMs),
                      [&] { return !CalledElsewhere(subscriber); });
  return 1;
}

bool CPushProvider::Subscribed(const kv::IHelper* subscriber) const {
  const auto used = subscribers_.begin() + UsedSlots(subscriberCount_, kMaxSubscribers);
  return std::find(subscribers_.begin(), used, subscriber) != used;
}

bool CPushProvider::CalledElsewhere(const kv::IHelper* subscriber) const {
  const std::thread::id here = std::this_thread::get_id();
  for (const TCall* call = calls_; call; call = call->next)
    if ((!subscriber || call->subscriber == subscriber) && call->thread != here) return true;
  return false;
}

bool CPushProvider::CallSubscriber(kv::IHelper* subscriber, int32_t kind, const void* payload, const void* extra,
                                   int32_t extraSize) {
  TCall call{subscriber, std::this_thread::get_id(), nullptr};
  {
    std::lock_guard lock(tableLock_);
    if (!Subscribed(subscriber)) return false;
    call.next = calls_;
    calls_ = &call;
  }
  // The record is unlinked however the call ends.
  struct Unlink {
    CPushProvider& owner;
    TCall& call;
    ~Unlink() {
      {
        std::lock_guard lock(owner.tableLock_);
        TCall** link = &owner.calls_;
        while (*link != &call) link = &(*link)->next;
        *link = call.next;
      }
      owner.callEnded_.notify_all();
    }
  } unlink{*this, call};
  subscriber->OnPushData(kind, payload, kAccountPayloadSize, extra, extraSize);
  return true;
}

kv::KvBool CPushProvider::AddNotifyWindow(kv::KvHwnd window, uint32_t message) {
  std::lock_guard lock(tableLock_);
  if (windowCount_ < 0 || windowCount_ >= kMaxNotifyWindows) return 0;
  TNotifyWindow& record = windows_[static_cast<size_t>(windowCount_++)];
  record.window = window;
  record.message = message;
  return 1;
}

kv::KvBool CPushProvider::RemoveNotifyWindow(kv::KvHwnd window) {
  std::lock_guard lock(tableLock_);
  RemoveSlot(windows_, windowCount_, [&](const TNotifyWindow& slot) { return slot.window == window; });
  return 1;
}

void CPushProvider::ResetTables() {
  std::unique_lock lock(tableLock_);
  std::fill_n(windows_.begin(), UsedSlots(windowCount_, kMaxNotifyWindows), TNotifyWindow{});
  std::fill_n(subscribers_.begin(), UsedSlots(subscriberCount_, kMaxSubscribers), nullptr);
  windowCount_ = 0;
  subscriberCount_ = 0;
  // Every subscriber left, as by RemoveSubscriber.
  callEnded_.wait_for(lock, std::chrono::milliseconds(kRemovalWaitMs), [&] { return !CalledElsewhere(nullptr); });
}

int32_t CPushProvider::SubscriberCount() {
  std::lock_guard lock(tableLock_);
  return subscriberCount_;
}

int32_t CPushProvider::NotifyWindowCount() {
  std::lock_guard lock(tableLock_);
  return windowCount_;
}

bool CPushProvider::PendingNote() {
  std::lock_guard lock(serviceLock_);
  return pendingNote_;
}

// ---------------------------------------------------------------------------
// Periodic work

void CPushProvider::OnTick() {
  TPluginContext* context = Context();
  if (!context) return;
  CPushCenter* center = context->center.load();
  // 1. The note for fills since the last tick, unless the user is looking
  //    at the multi-account buy-and-sell view, which shows them already.
  if (center && center->UserCount() > 0) {
    std::lock_guard lock(serviceLock_);
    if (pendingNote_) {
      kv::IAddinPort* port = header.port;
      kv::IFeatureView* view = port ? port->FindFeature("vips.multihbuysell", 0) : nullptr;
      kv::IFeatureView* active = port ? port->GetActiveFeature() : nullptr;
      if (view && view == active)
        center->SetNewCount(0);
      else
        RaiseNote();
      pendingNote_ = false;
    }
  }
  // 2. Changed accounts go to the subscribers; those still unregistered ask
  //    for registration with the user of their login, entry by entry.
  if (center && center->ChangedFlag()) {
    std::array<TAccountEntry, kMaxAccounts> entries;
    const int copied = center->CopyAccounts(entries.data(), std::min(center->AccountCount(), kMaxAccounts), false);
    for (int i = 0; i < copied; ++i) {
      const TAccountEntry& entry = entries[static_cast<size_t>(i)];
      if (entry.stage == kStageNew) NotifySubscribers(entry.registered, &entry, nullptr, 0);
      center->SendRegistrationRequest(entry);
    }
  }
  // 3. Refresh the host's views now and then even without fills.
  if (context->system->UnixTime() - lastNotifyTime_.load() > kRefreshIntervalSeconds) Notify(nullptr, kPushRefresh);
}

void CPushProvider::RaiseNote() {
  kv::IKvNoteUtility* notes = header.modules.note;
  if (!notes) return;
  kv::IKvNote* note = notes->CreateNote(0, "Push", 2, 0);
  if (!note) return;
  IStringTable& strings = *Context()->strings;
  note->SetIntProperty("Format", 1);
  note->SetTextProperty("Catalog", OrEmpty(strings.Text(IDS_NOTE_CATALOG)));
  note->SetTextProperty("Template", "Note.ListNoteRender");
  note->SetTextProperty("Title", OrEmpty(strings.Text(IDS_NOTE_TITLE)));
  note->SetTextProperty("Author", OrEmpty(strings.Text(IDS_NOTE_AUTHOR)));
  note->SetOwnerFeature("PushHelper");
  notes->ShowNote(note);
}

// ---------------------------------------------------------------------------
// Fills

void CPushProvider::FillReport(kv::IKvJob* push) {
  CPushCenter* center = Center();
  if (!push || !center) return;
  const THostRef job(push->GetJob());
  if (!job) return;
  if (const int32_t errorType = job->GetErrorType(); errorType != 0) {
    center->Trace("PushErrorInfo", "ErrorType=%d,ErrorCode=%d,ErrorInfo=%s", errorType, job->GetErrorCode(),
                  OrEmpty(job->GetErrorText()));
    return;
  }
  kv::IKvClient* client = job->GetClient();
  const THostRef user(client ? client->GetUser() : nullptr);
  if (!user) return;

  // Built on the stack: fill pushes may arrive on several host threads at
  // once, and each must keep its own fields.
  TFillRecord record{};
  record.payloadSize = kAccountPayloadSize;
  record.accountKind = user->GetAccountKind();
  base::WriteFixedText(record.accountCode, OrEmpty(user->GetAccountCode()));
  base::WriteFixedText(record.customerNo, OrEmpty(user->GetCustomerNo()));
  job->SeekFirst();
  ReadJobField(job.get(), 123, record.text);
  ReadJobField(job.get(), 140, record.code);
  ReadJobField(job.get(), 141, record.name);
  ReadJobField(job.get(), 151, record.time);
  ReadJobField(job.get(), 152, record.quantity);
  ReadJobField(job.get(), 153, record.price);
  char direction[16];
  ReadJobField(job.get(), 130, direction);
  record.direction = static_cast<uint8_t>(DecimalValue(FieldText(direction)));
  ReadJobField(job.get(), 131, record.business);
  ReadJobField(job.get(), 146, record.orderNo);
  ReadJobField(job.get(), 155, record.fillNo);
  center->AddFill(record);

  if (center->ShowTiming()) {
    IStringTable& strings = *Context()->strings;
    TFillRecord timing{};
    base::WriteFixedText(timing.code, OrEmpty(strings.Text(IDS_ORDER_TIME_LABEL)));
    std::snprintf(timing.name, sizeof timing.name, "%d(ms)", static_cast<int>(center->LastOrderTime()));
    base::WriteFixedText(timing.price, OrEmpty(strings.Text(IDS_FILL_TIME_LABEL)));
    std::snprintf(timing.time, sizeof timing.time, "%d(ms)",
                  static_cast<int>(center->FillReceived(FieldText(record.orderNo))));
    center->SetTimingRow(timing);
  }
  if (center->TraceOn())
    center->Trace("PushTrace", "PushMsg %s|%s|%s|%s|%s|%s|%s|%s", record.customerNo, record.code, record.name,
                  record.time, record.quantity, record.price, record.orderNo, record.fillNo);
  {
    std::lock_guard lock(serviceLock_);
    base::WriteFixedText(lastAccountCode_, OrEmpty(user->GetAccountCode()));
    pendingNote_ = true;
  }
  Notify(&record, record.accountKind == kFillDetailKind ? kPushFillDetail : kPushFill);
}

void CPushProvider::NotifySubscribers(int32_t kind, const void* payload, const void* extra, int32_t extraSize) {
  // The order of the table now; each is called only if still in it then.
  std::array<kv::IHelper*, kMaxSubscribers> snapshot{};
  int used = 0;
  {
    std::lock_guard lock(tableLock_);
    used = UsedSlots(subscriberCount_, kMaxSubscribers);
    std::copy_n(subscribers_.begin(), used, snapshot.begin());
  }
  for (int i = 0; i < used; ++i)
    if (kv::IHelper* subscriber = snapshot[static_cast<size_t>(i)])
      CallSubscriber(subscriber, kind, payload, extra, extraSize);
}

void CPushProvider::Notify(const TFillRecord* record, int32_t kind) {
  IPushSystem& system = *Context()->system;
  lastNotifyTime_.store(system.UnixTime());

  // The notify-window post goes to the record at the current count: a slot
  // that is empty while windows are only added. A full table has no such
  // record, so nothing is posted then.
  TNotifyWindow target;
  {
    std::lock_guard lock(tableLock_);
    const int index = std::max(0, windowCount_);
    if (index < kMaxNotifyWindows) target = windows_[static_cast<size_t>(index)];
  }
  if (target.window) system.PostWindowMessage(target.window, target.message, 0, 1);

  if (record) {
    const auto* payload = reinterpret_cast<const char*>(record) + kFillPayloadOffset;
    if (record->accountKind == kFillDetailKind) {
      const TFillDetail detail = BuildFillDetail(*record, system.LocalTime());
      NotifySubscribers(kind, payload, &detail, sizeof detail);
    } else {
      NotifySubscribers(kind, payload, nullptr, 0);
    }
  }

  if (kv::IAddinPort* port = header.port)
    if (kv::IFeatureView* stock = port->FindFeature("Stock.zjgf", 0))
      if (kv::KvHwnd window = stock->GetWindow()) system.PostWindowMessage(window, kStockRefreshMessage, 0, 1);
}

}  // namespace push
