// Loads the stand-in velmora.dll as the program does and works its exports
// against a running quorvel-sim-server: a refused and an accepted login, the
// session record, user information, online time, a share post, the 0x464
// notice when the server drops the session, logout and unload.
//   velmora_check DLL HOST QUOTE_PORT USER PASSWORD
// Prints one line per check, "drop-now" when the server may drop the
// session, and ends with "velmora_check: N failures" (exit status 1 if any).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "account/password_cipher.h"
#include "account_records.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "quotes/login_session.h"

namespace {

using InitFn = int32_t(__stdcall*)(HWND);
using FInitFn = int32_t(__stdcall*)();
using LoginFn = int32_t(__stdcall*)(const char*, int32_t, const char*, const char*, int32_t, void*, char**);
using LogoutFn = int32_t(__stdcall*)(const char*, int32_t, const char*);
using GetUserInfoFn = int32_t(__stdcall*)(const char*, int32_t, simaccount::AccountRecord, simaccount::UserInfoRecord*);
using ShowMyStockFn = int32_t(__stdcall*)(const char*, int32_t, simaccount::SharePostRecord);
using UpdateOnlineTimeFn = int32_t(__stdcall*)(const char*);

int failures = 0;
bool sessionLost = false;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == 0x464) sessionLost = true;
  return DefWindowProcW(w, m, wp, lp);
}

// Handles window messages until `done` or the time is up.
bool PumpUntil(const bool& done, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!done && GetTickCount() - start < ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return done;
}

template <class F>
F Export(HMODULE m, const char* name) {
  auto f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
  Check(f != nullptr, std::string("export ") + name);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: velmora_check DLL HOST QUOTE_PORT USER PASSWORD\n");
    return 2;
  }
  const std::string host = argv[2], user = argv[4];
  const int32_t quotePort = std::atoi(argv[3]);
  HMODULE dll = LoadLibraryA(argv[1]);
  Check(dll != nullptr, "LoadLibrary velmora.dll");
  if (!dll) return 1;
  for (const char* name : {"UserRegister", "ModifyPassword"}) Export<FARPROC>(dll, name);
  auto init = Export<InitFn>(dll, "Init");
  auto finit = Export<FInitFn>(dll, "FInit");
  auto login = Export<LoginFn>(dll, "Login");
  auto logout = Export<LogoutFn>(dll, "Logout");
  auto getUserInfo = Export<GetUserInfoFn>(dll, "GetUserInfo");
  auto showMyStock = Export<ShowMyStockFn>(dll, "ShowMyStock");
  auto updateOnlineTime = Export<UpdateOnlineTimeFn>(dll, "UpdateOnlineTime");
  if (failures) return 1;

  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"velmora_check";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"velmora_check", L"velmora_check", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  init(window);

  quotes::TLoginSessionRecord session{};
  char reasonBuffer[128] = {};
  char* reason = reasonBuffer;
  const std::string wrong = account::CipherPassword("not-the-password");
  int32_t rc = login(host.c_str(), 8085, user.c_str(), wrong.c_str(), 0, &session, &reason);
  Check(rc != 0, "a wrong password is refused");
  Check(base::GbkToUtf8Lossy(base::ReadFixedText(reasonBuffer)) == "用户名或密码错误",
        "with the reason " + base::GbkToUtf8Lossy(base::ReadFixedText(reasonBuffer)));

  const std::string password = account::CipherPassword(argv[5]);
  rc = login(host.c_str(), 8085, user.c_str(), password.c_str(), 0, &session, &reason);
  Check(rc == 0, "login " + user);
  Check(base::ReadFixedText(session.quoteServer) == host, "session record: quote server " +
                                                              base::ReadFixedText(session.quoteServer));
  Check(session.quotePort == quotePort, "session record: quote port " + std::to_string(session.quotePort));
  Check(session.startToken != 0, "session record: start token " + std::to_string(session.startToken));

  simaccount::AccountRecord account{};
  base::WriteFixedText(account.userName, user);
  base::WriteFixedText(account.password, password);
  simaccount::UserInfoRecord info{};
  getUserInfo(host.c_str(), 8085, account, &info);
  Check(base::ReadFixedText(info.userId) == user, "user information: id " + base::ReadFixedText(info.userId));
  Check(base::ReadFixedText(info.email) == user + "@quorvel.test", "user information: e-mail " +
                                                                      base::ReadFixedText(info.email));
  const int32_t online = info.onlineSeconds;
  updateOnlineTime(user.c_str());
  getUserInfo(host.c_str(), 8085, account, &info);
  Check(info.onlineSeconds == online + 600, "online time grows by 600 s to " + std::to_string(info.onlineSeconds));

  simaccount::SharePostRecord post{};
  base::WriteFixedText(post.code, "600000");
  base::WriteFixedText(post.posterId, user);
  base::WriteFixedText(post.remark, base::Utf8ToGbkLossy("仅供内部交流"));
  showMyStock(host.c_str(), 8085, post);
  showMyStock("127.0.0.1", 1, post);  // nobody there: swallowed
  Check(true, "share posts sent");

  std::printf("drop-now\n");
  std::fflush(stdout);
  Check(PumpUntil(sessionLost, 15000), "0x464 posted when the server drops the session");

  logout(host.c_str(), 8085, user.c_str());
  finit();
  DestroyWindow(window);
  Check(FreeLibrary(dll) != 0, "FreeLibrary");
  std::printf("velmora_check: %d failures\n", failures);
  return failures ? 1 : 0;
}
