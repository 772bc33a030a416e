// The client half of the account protocol (account_wire.h): what
// velmora.dll's exports do, portable so that it is tested natively against
// the server. Every call gives up after a few seconds; none throws.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "account_records.h"
#include "account_wire.h"

namespace simaccount {

inline constexpr std::chrono::milliseconds kConnectTimeout{3000};
inline constexpr std::chrono::milliseconds kReplyTimeout{5000};

class TimedConnection;

// Where the account server is, and who logs in.
struct Account {
  std::string host;
  uint16_t port = 8085;
  std::string user;      // GBK
  std::string password;  // GBK, enciphered by the program
};

struct LoginOutcome {
  bool ok = false;
  std::string reason;  // GBK, when refused or unreachable
  std::string quoteHost;
  int32_t quotePort = 0;
  int32_t startToken = 0;
  std::shared_ptr<TimedConnection> session;  // the open login connection, when ok
};

LoginOutcome Login(const Account& account, int32_t flag);
bool Logout(const Account& account);
std::optional<UserInfoRecord> FetchUserInfo(const Account& account);
bool ReportOnlineTime(const Account& account, int32_t seconds);
bool PostShare(const Account& account, const SharePostRecord& post);

// Keeps a login session: watches its connection and, when it drops, calls
// onDrop once and logs in again in the background (pauses growing from
// 500 ms to 4 s) until it is back or Stop() is called. Stop() returns within
// a fraction of a second.
class AccountSession {
 public:
  AccountSession(Account account, std::shared_ptr<TimedConnection> connection, std::function<void()> onDrop);
  ~AccountSession();
  AccountSession(const AccountSession&) = delete;
  AccountSession& operator=(const AccountSession&) = delete;
  void Stop();

 private:
  void Run();
  bool Pause(std::chrono::milliseconds d);

  Account account_;
  std::shared_ptr<TimedConnection> connection_;
  std::function<void()> onDrop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace simaccount
