// The push center: the state the plug-in keeps between host calls. The
// accounts registered for pushes, the newest 64 fills, the two elapsed-time
// figures and the daily trace log. The host calls in from several threads,
// so the state is split over four locks; only RemoveUser nests two of them
// (user count first, then accounts); trace lines are appended one at a time
// under a fifth lock that is held for nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "plugin/addin/kvaddin.h"
#include "plugin/push/unt_pushports.h"
#include "plugin/push/unt_pushrecords.h"

#if defined(__clang__)
#define QV_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#elif defined(__GNUC__)
#define QV_PRINTF_LIKE(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define QV_PRINTF_LIKE(fmt, args)
#endif

namespace push {

constexpr int kMaxAccounts = 32;
constexpr int kFillRingSize = 64;

// Maps a registration state read from the host to the entry's status.
int32_t MapRegistrationState(int32_t state);

// Whether an account with this status still needs a registration request.
constexpr bool NeedsRegistration(int32_t status) { return status < 0 || status > 2; }

// Reads a job field into a fixed field. The field is zeroed first and always
// ends terminated: a host text that fills the whole width is cut to the
// width minus one, never half a double-byte character.
void ReadJobField(kv::IKvJob* job, int32_t field, char* dest, size_t size);
template <size_t N>
void ReadJobField(kv::IKvJob* job, int32_t field, char (&dest)[N]) {
  ReadJobField(job, field, dest, N);
}

// Fills the payload part of an account entry from a user: size, kind,
// customer number and account code.
void FillAccountEntry(TAccountEntry& entry, kv::IKvUser* user);

class CPushCenter {
 public:
  // Reads the host program's folder, derives the log folder and reads the
  // trace switch from the folder's "KvOem.xml".
  CPushCenter(IPushSystem& system, IStringTable& strings);
  CPushCenter(const CPushCenter&) = delete;
  CPushCenter& operator=(const CPushCenter&) = delete;

  IPushSystem& System() { return system_; }
  IStringTable& Strings() { return strings_; }

  // Logged-in users. The count never goes below 0: a logout the plug-in
  // never saw the login of must not make later logins count as none.
  void AddUser(int n);
  int RemoveUser(int n);  // the count afterwards
  int UserCount();

  // Accounts. `user` is a reference to the user of the entry's login that
  // the table takes over (null for entries made by a notice): the table
  // keeps the user alive until the entry is replaced or the table empties,
  // so a registration request never goes through a user the host has
  // already freed after a logout.
  void Store(const TAccountEntry& entry, kv::IKvUser* user = nullptr);
  int AccountCount();
  // Copies the first n entries and marks them handed out; with keepChanged
  // false and n the whole table, the changed flag goes back to 0. Answers
  // how many were copied: fewer than n when entries left the table since
  // the caller read the count (the rest of the buffer is zeroed).
  int CopyAccounts(TAccountEntry* buffer, int n, bool keepChanged);
  bool ChangedFlag();
  // Whether an entry has the payload's customer number and account kind.
  bool IsKnown(const TAccountEntry& payload);
  // Sends the registration request (function 144) for a handed-out copy of
  // an entry when it needs one (status not 0, 1 or 2) and the table's entry
  // of that customer number and kind still has the user of its login.
  void SendRegistrationRequest(const TAccountEntry& entry);
  // Gives back every user reference the table holds; the entries stay,
  // without their users. Runs while the host objects are still valid
  // (the last logout, Uninitialize): the destructor does not touch them.
  void ReleaseUsers();

  // Fills.
  void AddFill(const TFillRecord& record);
  int TotalCount();
  int StoredCount();
  void SetNewCount(int n);
  void SetTimingRow(const TFillRecord& record);
  // Zeroes rows × 397 bytes of the buffer and copies the timing row (when
  // set) and the newest fills into it. Answers the new count and resets it.
  int CopyFills(TFillRecord* buffer, int rows);

  // Elapsed times of order and cancel requests.
  void RequestSent(const void* request, uint32_t tick);
  void AnswerReceived(std::string_view orderNo, const void* request);
  uint32_t FillReceived(std::string_view orderNo);
  uint32_t LastOrderTime();

  // Switches and the log folder (fixed after construction, read without lock).
  bool TraceOn() const { return traceOn_; }
  bool ShowTiming() const { return showTiming_.load(); }
  void SetShowTiming(bool on) { showTiming_.store(on); }
  const std::string& LogFolder() const { return logFolder_; }
  const std::string& ProfilePath() const { return profilePath_; }

  // Appends a line to the day's trace file "<name>YYYYMMDD.log" of the log
  // folder. The format is UTF-8 source text, written as GBK; the arguments
  // are GBK texts of the host.
  void Trace(const char* name, const char* format, ...) QV_PRINTF_LIKE(3, 4);
  // The file the next line of `name` goes to.
  std::string TraceFile(const char* name, const TLocalTime& now) const;

  // The rights check of a logged-in client: an account with right 23 gets an
  // entry (registered, new, status 5). With the duplicate check on, an
  // account already in the table is left alone.
  void RightsCheck(kv::IKvClient* client, bool duplicateCheck);
  // An answer or push with function 144 about an account's registration.
  void RegistrationNotice(kv::IKvJob* job);

 private:
  bool FindAccountLocked(const char* customerNo, int32_t kind, int* index);
  void SetOwnerLocked(size_t slot, kv::IKvUser* user);
  void ReleaseUsersLocked();

  IPushSystem& system_;
  IStringTable& strings_;

  std::mutex userLock_;
  int userCount_ = 0;

  std::mutex accountLock_;
  std::array<TAccountEntry, kMaxAccounts> accounts_{};
  // The user reference held for each entry (the entry's user field is the
  // same pointer as the host's record layout has it).
  std::array<kv::IKvUser*, kMaxAccounts> owners_{};
  int accountCount_ = 0;
  bool changed_ = false;

  std::mutex fillLock_;
  std::array<TFillRecord, kFillRingSize> ring_{};
  int head_ = 0;
  int storedCount_ = 0;
  int newCount_ = 0;
  int totalCount_ = 0;
  TFillRecord timingRow_{};

  std::mutex timingLock_;
  std::map<const void*, uint32_t> requestTicks_;
  std::map<std::string, uint32_t, std::less<>> orderTicks_;
  uint32_t lastOrderTime_ = 0;
  uint32_t lastFillTime_ = 0;

  std::mutex traceLock_;  // held only around the append of one line
  bool traceOn_ = false;
  std::atomic<bool> showTiming_{true};
  std::string logFolder_;
  std::string profilePath_;
};

// Reads the trace switch from the host's "KvOem.xml": element Debug inside
// Common inside ProfileOfOEM, attribute Trace equal to "YES" ignoring case.
bool ReadOemTraceSwitch(const std::string& profilePathUtf8);

}  // namespace push
