#include "account/unt_accountservice_win.h"

#include <windows.h>

#include "base/gbk.h"
#include "win/contained_call_win.h"
#include "win/text_win.h"

namespace account {
namespace {

// The exports, all stdcall with GBK texts. The account and share-post
// records go by value, as the service declares them.
using InitFn = int32_t(__stdcall*)(HWND);
using FInitFn = int32_t(__stdcall*)();
using LoginFn = int32_t(__stdcall*)(const char* server, int32_t port, const char* user, const char* password,
                                    int32_t zero, void* loginSession, char** reason);
using LogoutFn = int32_t(__stdcall*)(const char* server, int32_t port, const char* user);
using GetUserInfoFn = int32_t(__stdcall*)(const char* server, int32_t port, TAccountRecord account,
                                          TUserInfoRecord* info);
using ShowMyStockFn = int32_t(__stdcall*)(const char* server, int32_t port, TSharePostBlock post);
using UpdateOnlineTimeFn = int32_t(__stdcall*)(const char* user);
using UnusedFn = int32_t(__stdcall*)();

struct Binding {
  HMODULE module = nullptr;
  InitFn init = nullptr;
  FInitFn finit = nullptr;
  LoginFn login = nullptr;
  LogoutFn logout = nullptr;
  UnusedFn userRegister = nullptr;
  UnusedFn modifyPassword = nullptr;
  GetUserInfoFn getUserInfo = nullptr;
  ShowMyStockFn showMyStock = nullptr;
  UpdateOnlineTimeFn updateOnlineTime = nullptr;
};

Binding& Bound() {
  static Binding binding;
  return binding;
}

template <class F>
void Look(HMODULE module, const char* name, F& pointer) {
  pointer = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string Gbk(const std::string& utf8) { return base::Utf8ToGbkLossy(utf8); }

class LibraryService final : public IAccountService {
 public:
  void Init(uintptr_t mainWindow) override {
    if (Bound().init) Bound().init(reinterpret_cast<HWND>(mainWindow));
  }
  void FInit() override {
    if (Bound().finit) Bound().finit();
  }
  std::optional<int32_t> Login(const std::string& server, int32_t port, const std::string& user,
                               const std::string& encipheredPassword, void* loginSession,
                               std::string& reason) override {
    if (!Bound().login) return std::nullopt;
    char buffer[128] = {};
    char* reasonText = buffer;
    const int32_t result = Bound().login(Gbk(server).c_str(), port, Gbk(user).c_str(), encipheredPassword.c_str(), 0,
                                         loginSession, &reasonText);
    // The service may point the variable at its own text; at most 127 bytes are taken.
    const char* text = reasonText ? reasonText : buffer;
    reason = base::GbkToUtf8Lossy(std::string(text, strnlen(text, sizeof buffer - 1)));
    return result;
  }
  void Logout(const std::string& server, int32_t port, const std::string& user) override {
    if (Bound().logout) Bound().logout(Gbk(server).c_str(), port, Gbk(user).c_str());
  }
  bool GetUserInfo(const std::string& server, int32_t port, const TAccountRecord& account,
                   TUserInfoRecord& info) override {
    if (!Bound().getUserInfo) return false;
    Bound().getUserInfo(Gbk(server).c_str(), port, account, &info);
    return true;
  }
  void ShowMyStock(const std::string& server, int32_t port, const TSharePostBlock& post) override {
    if (!Bound().showMyStock) return;
    // A failed post, even a fault inside the service, is the service's
    // business; the program carries on.
    const std::string gbkServer = Gbk(server);
    win::CallContained([&] { Bound().showMyStock(gbkServer.c_str(), port, post); });
  }
  void UpdateOnlineTime(const std::string& user) override {
    if (!Bound().updateOnlineTime) return;
    // Whatever went wrong inside, the next period tries again.
    const std::string gbkUser = Gbk(user);
    win::CallContained([&] { Bound().updateOnlineTime(gbkUser.c_str()); });
  }
};

}  // namespace

void BindAccountService(const std::string& applicationFolder) {
  Binding& b = Bound();
  if (b.module) return;
  b.module = LoadLibraryW(win::Wide(applicationFolder + "velmora.dll").c_str());
  if (!b.module) return;
  Look(b.module, "Init", b.init);
  Look(b.module, "FInit", b.finit);
  Look(b.module, "Login", b.login);
  Look(b.module, "Logout", b.logout);
  Look(b.module, "UserRegister", b.userRegister);
  Look(b.module, "ModifyPassword", b.modifyPassword);
  Look(b.module, "GetUserInfo", b.getUserInfo);
  Look(b.module, "ShowMyStock", b.showMyStock);
  Look(b.module, "UpdateOnlineTime", b.updateOnlineTime);
}

void UnbindAccountService() {
  Binding& b = Bound();
  if (b.module) FreeLibrary(b.module);
  b = Binding{};
}

IAccountService& AccountService() {
  static LibraryService service;
  return service;
}

}  // namespace account
