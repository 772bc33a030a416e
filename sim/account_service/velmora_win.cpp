// velmora.dll, the stand-in account service: the nine stdcall exports the
// program binds, each a thin call into account_client.h. Texts are GBK as
// the program passes them. No exception leaves an export; every network step
// gives up after a few seconds.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "account_records.h"
#include "account_client.h"
#include "base/fixed_text.h"
#include "quotes/login_session.h"

namespace {

constexpr UINT kSessionLost = 0x464;
// The program reports online time every ten minutes.
constexpr int32_t kOnlineReport = 600;

std::atomic<HWND> g_window{nullptr};
std::mutex g_mutex;
simaccount::Account g_account;  // of the last successful login
std::unique_ptr<simaccount::AccountSession> g_session;

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

simaccount::Account Server(const char* server, int32_t port) {
  simaccount::Account a;
  a.host = Text(server);
  a.port = static_cast<uint16_t>(port);
  return a;
}

void EndSession() {
  std::unique_ptr<simaccount::AccountSession> session;
  {
    std::lock_guard lock(g_mutex);
    session = std::move(g_session);
  }
  if (session) session->Stop();
}

}  // namespace

extern "C" {

int32_t __stdcall Init(HWND window) {
  g_window = window;
  return 0;
}

int32_t __stdcall FInit() {
  try {
    EndSession();
  } catch (...) {
  }
  g_window = nullptr;
  return 0;
}

// reason: the caller's variable that points to its 128-byte buffer for the
// refusal text; the text is written into that buffer.
int32_t __stdcall Login(const char* server, int32_t port, const char* user, const char* password, int32_t flag,
                        quotes::TLoginSessionRecord* session, char** reasonVariable) {
  char* reason = reasonVariable ? *reasonVariable : nullptr;
  try {
    if (reason) std::memset(reason, 0, 128);
    EndSession();
    auto account = Server(server, port);
    account.user = Text(user);
    account.password = Text(password);
    auto outcome = simaccount::Login(account, flag);
    if (!outcome.ok) {
      if (reason) base::WriteFixedText(reason, 128, outcome.reason);
      return 1;
    }
    if (session) {
      std::memset(session, 0, sizeof *session);
      base::WriteFixedText(session->quoteServer, outcome.quoteHost);
      session->quotePort = outcome.quotePort;
      session->startToken = outcome.startToken;
    }
    std::lock_guard lock(g_mutex);
    g_account = account;
    g_session = std::make_unique<simaccount::AccountSession>(account, outcome.session, [] {
      if (HWND w = g_window.load()) PostMessageW(w, kSessionLost, 0, 0);
    });
    return 0;
  } catch (...) {
    if (reason) base::WriteFixedText(reason, 128, "velmora: internal error");
    return 2;
  }
}

int32_t __stdcall Logout(const char* server, int32_t port, const char* user) {
  try {
    auto account = Server(server, port);
    account.user = Text(user);
    simaccount::Logout(account);
    EndSession();
  } catch (...) {
  }
  return 0;
}

int32_t __stdcall UserRegister() { return -1; }
int32_t __stdcall ModifyPassword() { return -1; }

int32_t __stdcall GetUserInfo(const char* server, int32_t port, simaccount::AccountRecord record,
                              simaccount::UserInfoRecord* info) {
  try {
    auto account = Server(server, port);
    account.user = base::ReadFixedText(record.userName);
    account.password = base::ReadFixedText(record.password);
    if (auto got = simaccount::FetchUserInfo(account); got && info) {
      *info = *got;
      return 0;
    }
  } catch (...) {
  }
  return 1;
}

int32_t __stdcall ShowMyStock(const char* server, int32_t port, simaccount::SharePostRecord post) {
  try {
    return simaccount::PostShare(Server(server, port), post) ? 0 : 1;
  } catch (...) {
    return 1;
  }
}

int32_t __stdcall UpdateOnlineTime(const char* user) {
  try {
    simaccount::Account account;
    {
      std::lock_guard lock(g_mutex);
      if (g_account.host.empty()) return 1;
      account = g_account;
    }
    account.user = Text(user);
    return simaccount::ReportOnlineTime(account, kOnlineReport) ? 0 : 1;
  } catch (...) {
    return 1;
  }
}

}  // extern "C"
