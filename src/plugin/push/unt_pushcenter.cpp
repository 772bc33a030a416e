#include "plugin/push/unt_pushcenter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/fixed_text.h"
#include "plugin/push/unt_hostref.h"

namespace push {
namespace {

// Paths are kept to the 259 characters of the host's path fields.
constexpr size_t kMaxPathChars = 259;

// The first `max` characters of UTF-8 text.
std::string CutCharacters(std::string text, size_t max) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == max) {
      text.resize(i);
      break;
    }
  }
  return text;
}

std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), static_cast<size_t>(n));
}

bool SameAccount(const TAccountEntry& entry, std::string_view customerNo, int32_t kind) {
  return entry.accountKind == kind && FieldText(entry.customerNo) == customerNo;
}

const char* OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

int32_t MapRegistrationState(int32_t state) {
  switch (state) {
    case 0:
    case 1:
    case 2:
    case 4:
      return state;
    case 5:
      return 6;
    default:
      return 3;
  }
}

void ReadJobField(kv::IKvJob* job, int32_t field, char* dest, size_t size) {
  if (size == 0) return;
  std::memset(dest, 0, size);
  job->GetField(field, dest, static_cast<int32_t>(size), 0);
  // Whatever the host wrote, the field ends terminated within its width.
  if (std::memchr(dest, '\0', size) == nullptr) {
    const size_t keep = base::GbkPrefixLength(std::string_view(dest, size), size - 1);
    std::memset(dest + keep, 0, size - keep);
  }
}

void FillAccountEntry(TAccountEntry& entry, kv::IKvUser* user) {
  entry.size = kAccountPayloadSize;
  entry.accountKind = user->GetAccountKind();
  base::WriteFixedText(entry.customerNo, OrEmpty(user->GetCustomerNo()));
  base::WriteFixedText(entry.accountCode, OrEmpty(user->GetAccountCode()));
}

CPushCenter::CPushCenter(IPushSystem& system, IStringTable& strings) : system_(system), strings_(strings) {
  const std::string program = system_.ProgramPath();
  const size_t cut = program.rfind(kPathSeparator);
  if (cut == std::string::npos) {
    // No folder: nothing to read, and trace lines go nowhere useful.
    logFolder_ = CutCharacters(program, kMaxPathChars);
    return;
  }
  const std::string folder = CutCharacters(program.substr(0, cut), kMaxPathChars);
  profilePath_ = CutCharacters(folder + kPathSeparator + "KvOem.xml", kMaxPathChars);
  logFolder_ = CutCharacters(folder + kPathSeparator + "T0002" + kPathSeparator + "wt_cache", kMaxPathChars);
  traceOn_ = ReadOemTraceSwitch(profilePath_);
}

// ---------------------------------------------------------------------------
// Users

void CPushCenter::AddUser(int n) {
  std::lock_guard lock(userLock_);
  userCount_ += n;
}

int CPushCenter::RemoveUser(int n) {
  std::lock_guard lock(userLock_);
  const int before = userCount_;
  userCount_ = std::max(0, userCount_ - n);
  if (before > 0 && userCount_ == 0) {
    std::lock_guard accounts(accountLock_);
    ReleaseUsersLocked();
    accountCount_ = 0;
  }
  return userCount_;
}

int CPushCenter::UserCount() {
  std::lock_guard lock(userLock_);
  return userCount_;
}

// ---------------------------------------------------------------------------
// Accounts

bool CPushCenter::FindAccountLocked(const char* customerNo, int32_t kind, int* index) {
  const std::string_view key(customerNo, strnlen(customerNo, sizeof(TAccountEntry::customerNo)));
  for (int i = 0; i < accountCount_; ++i) {
    if (SameAccount(accounts_[static_cast<size_t>(i)], key, kind)) {
      if (index) *index = i;
      return true;
    }
  }
  return false;
}

void CPushCenter::SetOwnerLocked(size_t slot, kv::IKvUser* user) {
  // `user` is a reference of its own even when it is the same object.
  kv::IKvUser* old = owners_[slot];
  owners_[slot] = user;
  if (old) old->Release();
}

void CPushCenter::Store(const TAccountEntry& entry, kv::IKvUser* user) {
  std::lock_guard lock(accountLock_);
  int index = 0;
  if (!FindAccountLocked(entry.customerNo, entry.accountKind, &index)) {
    if (accountCount_ >= kMaxAccounts) {
      if (user) user->Release();
      changed_ = true;
      return;
    }
    index = accountCount_++;
  }
  const auto slot = static_cast<size_t>(index);
  accounts_[slot] = entry;
  accounts_[slot].user = user;
  SetOwnerLocked(slot, user);
  changed_ = true;
}

void CPushCenter::ReleaseUsersLocked() {
  for (size_t i = 0; i < owners_.size(); ++i) {
    SetOwnerLocked(i, nullptr);
    accounts_[i].user = nullptr;
  }
}

void CPushCenter::ReleaseUsers() {
  std::lock_guard lock(accountLock_);
  ReleaseUsersLocked();
}

void CPushCenter::SendRegistrationRequest(const TAccountEntry& entry) {
  if (!NeedsRegistration(entry.status)) return;
  // The job is made under the lock, while the table still holds the user;
  // it is sent outside it, since sending may call back into us.
  kv::IKvJob* raw = nullptr;
  {
    std::lock_guard lock(accountLock_);
    int index = -1;
    if (!FindAccountLocked(entry.customerNo, entry.accountKind, &index)) return;
    kv::IKvUser* user = owners_[static_cast<size_t>(index)];
    if (!user) return;
    raw = user->CreateJob(0, 0);
  }
  if (!raw) return;
  const THostRef job(raw);
  job->SetMode(0);
  job->SetFunction(fn::kRegistration);
  job->Send(0, 0, 0, 0);
}

int CPushCenter::AccountCount() {
  std::lock_guard lock(accountLock_);
  return accountCount_;
}

int CPushCenter::CopyAccounts(TAccountEntry* buffer, int n, bool keepChanged) {
  std::lock_guard lock(accountLock_);
  // The caller sized the buffer by an earlier count; copy no entry that
  // has left the table since (the last logout empties it).
  const int copied = std::clamp(n, 0, accountCount_);
  for (int i = 0; i < copied; ++i) {
    buffer[i] = accounts_[static_cast<size_t>(i)];
    accounts_[static_cast<size_t>(i)].stage = kStageHandedOut;
  }
  for (int i = copied; i < n; ++i) buffer[i] = TAccountEntry{};
  if (!keepChanged && copied == accountCount_) changed_ = false;
  return copied;
}

bool CPushCenter::ChangedFlag() {
  std::lock_guard lock(accountLock_);
  return changed_;
}

bool CPushCenter::IsKnown(const TAccountEntry& payload) {
  std::lock_guard lock(accountLock_);
  return FindAccountLocked(payload.customerNo, payload.accountKind, nullptr);
}

// ---------------------------------------------------------------------------
// Fills

void CPushCenter::AddFill(const TFillRecord& record) {
  std::lock_guard lock(fillLock_);
  ++totalCount_;
  ++newCount_;
  ++storedCount_;
  head_ = head_ == 0 ? kFillRingSize - 1 : head_ - 1;
  ring_[static_cast<size_t>(head_)] = record;
}

int CPushCenter::TotalCount() {
  std::lock_guard lock(fillLock_);
  return totalCount_;
}

int CPushCenter::StoredCount() {
  std::lock_guard lock(fillLock_);
  return storedCount_;
}

void CPushCenter::SetNewCount(int n) {
  std::lock_guard lock(fillLock_);
  newCount_ = n;
}

void CPushCenter::SetTimingRow(const TFillRecord& record) {
  std::lock_guard lock(fillLock_);
  timingRow_ = record;
}

int CPushCenter::CopyFills(TFillRecord* buffer, int rows) {
  if (!buffer || rows <= 0) return 0;
  std::memset(static_cast<void*>(buffer), 0, sizeof(TFillRecord) * static_cast<size_t>(rows));
  const std::string_view timingKey = OrEmpty(strings_.Text(IDS_TIMING_ROW_KEY));

  std::lock_guard lock(fillLock_);
  int row = 0;
  if (!timingKey.empty() && FieldText(timingRow_.code) == timingKey) {
    buffer[row++] = timingRow_;
    ++newCount_;
  }
  const int n = std::min({rows - row, storedCount_, kFillRingSize});
  for (int k = 0; k < n; ++k) {
    TFillRecord& out = buffer[row++];
    out = ring_[static_cast<size_t>((head_ + k) % kFillRingSize)];
    // Sells are listed with a negative quantity when the sign still fits.
    const std::string_view quantity = FieldText(out.quantity);
    if (out.direction == 2 && (quantity.empty() || quantity[0] != '-') &&
        quantity.size() + 2 <= sizeof out.quantity) {
      std::memmove(out.quantity + 1, out.quantity, quantity.size() + 1);
      out.quantity[0] = '-';
    }
  }
  const int result = newCount_;
  newCount_ = 0;
  return result;
}

// ---------------------------------------------------------------------------
// Elapsed times

void CPushCenter::RequestSent(const void* request, uint32_t tick) {
  std::lock_guard lock(timingLock_);
  try {
    requestTicks_[request] = tick;
  } catch (const std::bad_alloc&) {
    // Out of memory: this request's time is not measured.
  }
}

void CPushCenter::AnswerReceived(std::string_view orderNo, const void* request) {
  const uint32_t now = system_.TickCount();
  std::lock_guard lock(timingLock_);
  uint32_t sent = 0;
  const auto it = requestTicks_.find(request);
  if (it != requestTicks_.end()) {
    sent = it->second;
    try {
      if (!orderNo.empty()) orderTicks_.insert_or_assign(std::string(orderNo), sent);
    } catch (const std::bad_alloc&) {
      // Out of memory: the fill time of this order is not measured.
    }
    requestTicks_.erase(it);
  }
  lastOrderTime_ = now - sent;
}

uint32_t CPushCenter::FillReceived(std::string_view orderNo) {
  const uint32_t now = system_.TickCount();
  std::lock_guard lock(timingLock_);
  const auto it = orderTicks_.find(orderNo);
  if (it != orderTicks_.end()) {
    lastFillTime_ = now - it->second;
    orderTicks_.erase(it);
  }
  return lastFillTime_;
}

uint32_t CPushCenter::LastOrderTime() {
  std::lock_guard lock(timingLock_);
  return lastOrderTime_;
}

// ---------------------------------------------------------------------------
// Trace log

std::string CPushCenter::TraceFile(const char* name, const TLocalTime& now) const {
  std::string stem = OrEmpty(name);
  if (stem.empty()) stem = "DB";
  if (stem.size() > 31) stem.resize(31);
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", now.year, now.month, now.day);
  return logFolder_ + kPathSeparator + stem + date + ".log";
}

void CPushCenter::Trace(const char* name, const char* format, ...) {
  // A lost line (no folder, no memory) is not reported: tracing must never
  // disturb the host.
  const TLocalTime now = system_.LocalTime();
  std::string line;
  va_list args;
  va_start(args, format);
  try {
    char head[64];
    std::snprintf(head, sizeof head, "%04d-%02d-%02d/%02d:%02d:%02d.%03d[%08X]--", now.year, now.month, now.day,
                  now.hour, now.minute, now.second, now.millisecond, system_.ThreadId());
    line = head + VFormat(Gbk(format), args) + "\r\n";
  } catch (const std::bad_alloc&) {
    line.clear();
  }
  va_end(args);
  if (line.empty()) return;
  try {
    const std::string file = TraceFile(name, now);
    // Appends of two threads at the same instant may land on the same end
    // of the file where appending is not atomic (Wine, network shares);
    // one at a time, no line is lost.
    std::lock_guard lock(traceLock_);
    AppendFileBinary(file, line);
  } catch (const std::bad_alloc&) {
  }
}

// ---------------------------------------------------------------------------
// Host protocol steps

void CPushCenter::RightsCheck(kv::IKvClient* client, bool duplicateCheck) {
  if (!client) return;
  THostRef user(client->GetUser());
  if (!user) return;
  const char* rights = OrEmpty(user->GetRights());
  if (traceOn_) Trace("PushTrace", "详细权限 = %s", rights);
  if (!std::strstr(rights, "23")) return;
  TAccountEntry entry{};
  FillAccountEntry(entry, user.get());
  if (duplicateCheck) {
    std::lock_guard lock(accountLock_);
    if (FindAccountLocked(entry.customerNo, entry.accountKind, nullptr)) return;
  }
  entry.registered = 1;
  entry.stage = kStageNew;
  entry.status = kStatusLogin;
  Store(entry, user.release());
}

void CPushCenter::RegistrationNotice(kv::IKvJob* push) {
  if (!push) return;
  const THostRef job(push->GetJob());
  if (!job) return;
  kv::IKvClient* client = job->GetClient();
  const THostRef user(client ? client->GetUser() : nullptr);
  if (!user) return;  // without its user the notice names no account
  TAccountEntry entry{};
  FillAccountEntry(entry, user.get());
  entry.registered = 1;
  entry.status = kStatusAnswerError;
  if (job->GetErrorType() == 0) {
    job->SeekFirst();
    char state[32];
    ReadJobField(job.get(), 307, state);
    const int32_t value = DecimalValue(FieldText(state));
    entry.registered = value != 0 ? 1 : 0;
    entry.status = MapRegistrationState(value);
  }
  Trace("PushTrace", "接受注册通知 khh= %s, state = %d", entry.customerNo, entry.registered);
  entry.stage = kStageNew;
  Store(entry);
}

}  // namespace push
