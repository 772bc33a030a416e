#include "engine/drasken_winhttp_win.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cwctype>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/worker.h"

// WinHTTP runs asynchronously (WINHTTP_FLAG_ASYNC): the calling thread
// starts each step and waits for its callback until the deadline or a
// Cancel, then closes the request handle, which is how an asynchronous
// request is ended. A request's state outlives the call: WinHTTP may call
// back after the close, up to WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING, the
// last callback of a handle, which frees it. (WinHttpCloseHandle,
// learn.microsoft.com/windows/win32/api/winhttp/nf-winhttp-winhttpclosehandle,
// read 2026-12-10.)

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

bool StartsNoCase(const std::wstring& s, const wchar_t* prefix) {
  size_t n = wcslen(prefix);
  return s.size() >= n && _wcsnicmp(s.c_str(), prefix, n) == 0;
}

std::string Why(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT: return "no answer in time";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "cannot look the server up";
    case ERROR_WINHTTP_CANNOT_CONNECT: return "cannot connect";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection broke";
    case ERROR_WINHTTP_SECURE_FAILURE: return "the server's certificate is not trusted";
    case ERROR_WINHTTP_OPERATION_CANCELLED: return "cancelled";
    default: return "WinHTTP error " + std::to_string(error);
  }
}

// ---- One request's state, shared between the waiting thread and the callbacks.

struct Call {
  enum class Event { None, Sent, Headers, Data, Read, Failed };
  std::mutex mutex;
  std::condition_variable changed;
  Event event = Event::None;
  DWORD size = 0;   // bytes available or read
  DWORD error = 0;  // of Failed
  bool cancelled = false;
  char buffer[65536];  // WinHTTP writes into it until the read completes

  void Signal(Event e, DWORD n, DWORD err) {
    std::lock_guard lock(mutex);
    event = e;
    size = n;
    error = err;
    changed.notify_all();
  }
};

// What the request handle carries as its context, freed by its last callback.
struct Holder {
  std::shared_ptr<Call> call;
};
std::atomic<int> gHolders{0};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  if (!context) return;  // the session's and connections' own callbacks
  auto* holder = reinterpret_cast<Holder*>(context);
  Call& call = *holder->call;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      call.Signal(Call::Event::Sent, 0, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      call.Signal(Call::Event::Headers, 0, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      call.Signal(Call::Event::Data, info ? *static_cast<DWORD*>(info) : 0, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      call.Signal(Call::Event::Read, length, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      auto* result = static_cast<WINHTTP_ASYNC_RESULT*>(info);
      call.Signal(Call::Event::Failed, 0, result ? result->dwError : ERROR_WINHTTP_INTERNAL_ERROR);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      delete holder;
      --gHolders;
      break;
    default:
      break;
  }
}

// ---- The proxy: Internet Options first (auto-detect, auto-config script,
// manual proxy with its bypass list), else WinHTTP's own default (netsh).
// (WinHttpGetIEProxyConfigForCurrentUser, WinHttpGetProxyForUrl,
// learn.microsoft.com/windows/win32/winhttp, read 2026-12-10.)

struct ProxyChoice {
  bool set = false;  // false: the session's default
  DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
  std::wstring proxy, bypass;
};

// Whether `host` is on a bypass list ("<local>", "*.example.com", "10.*";
// entries split by ';', ',' or blanks).
bool Bypassed(const std::wstring& host, const std::wstring& list) {
  std::wstring lower = host;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
  size_t i = 0;
  while (i < list.size()) {
    size_t j = list.find_first_of(L"; ,\t\r\n", i);
    if (j == std::wstring::npos) j = list.size();
    std::wstring entry = list.substr(i, j - i);
    i = j + 1;
    if (entry.empty()) continue;
    std::transform(entry.begin(), entry.end(), entry.begin(), ::towlower);
    if (entry == L"<local>") {
      if (lower.find(L'.') == std::wstring::npos) return true;
      continue;
    }
    for (const wchar_t* scheme : {L"http://", L"https://"})
      if (StartsNoCase(entry, scheme)) entry.erase(0, wcslen(scheme));
    // '*' matches any run of characters.
    std::function<bool(size_t, size_t)> match = [&](size_t p, size_t s) -> bool {
      if (p == entry.size()) return s == lower.size();
      if (entry[p] == L'*') return match(p + 1, s) || (s < lower.size() && match(p, s + 1));
      return s < lower.size() && entry[p] == lower[s] && match(p + 1, s + 1);
    };
    if (match(0, 0)) return true;
  }
  return false;
}

// Auto-configuration answers, kept for a while per server: finding the
// script (WPAD) and running it can take seconds, and a failed search
// should not be repeated on every poll.
struct AutoProxy {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool ok = false;
  ProxyChoice choice;
  Clock::time_point at;
};

std::mutex gAutoMutex;
std::map<std::wstring, std::shared_ptr<AutoProxy>>& AutoCache() {
  static auto* cache = new std::map<std::wstring, std::shared_ptr<AutoProxy>>;  // never freed: detached lookups use it
  return *cache;
}
constexpr auto kAutoProxyKept = std::chrono::minutes(5);
// When the search for a script failed, by settings: then no server needs
// to search again for a while (the network has no script).
std::map<std::wstring, Clock::time_point>& AutoFailed() {
  static auto* failed = new std::map<std::wstring, Clock::time_point>;
  return *failed;
}

void RunAutoProxy(std::shared_ptr<AutoProxy> entry, std::wstring url, bool detect, std::wstring script,
                  std::wstring settings) {
  ProxyChoice choice;
  bool ok = false;
  HINTERNET session = WinHttpOpen(L"drasken", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (session) {
    // Detection first, then the script's address, as Internet Options
    // does; one at a time, since not every WinHTTP takes both at once
    // (Wine's refuses the pair).
    for (int pass = 0; pass < 2 && !ok; ++pass) {
      WINHTTP_AUTOPROXY_OPTIONS options{};
      if (pass == 0) {
        if (!detect) continue;
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
      } else {
        if (script.empty()) continue;
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = script.c_str();
      }
      options.fAutoLogonIfChallenged = TRUE;
      WINHTTP_PROXY_INFO info{};
      if (WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) {
        ok = true;
        choice.set = true;
        choice.access = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy && *info.lpszProxy
                            ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
                            : WINHTTP_ACCESS_TYPE_NO_PROXY;
        if (info.lpszProxy) choice.proxy = info.lpszProxy;
        if (info.lpszProxyBypass) choice.bypass = info.lpszProxyBypass;
      }
      if (info.lpszProxy) GlobalFree(info.lpszProxy);
      if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
    }
    WinHttpCloseHandle(session);
  }
  {
    std::lock_guard lock(gAutoMutex);
    if (ok)
      AutoFailed().erase(settings);
    else
      AutoFailed()[settings] = Clock::now();
  }
  std::lock_guard lock(entry->mutex);
  entry->ok = ok;
  entry->choice = std::move(choice);
  entry->at = Clock::now();
  entry->finished = true;
  entry->done.notify_all();
}

// What the auto-configuration says for `url`: nullopt when it has no
// answer, or none by `deadline` (the search then goes on and its answer is
// kept for later requests).
std::optional<ProxyChoice> AskAutoProxy(const std::wstring& url, const std::wstring& server, bool detect,
                                        const std::wstring& script, Clock::time_point deadline, Call& call) {
  const std::wstring settings = (detect ? L"1|" : L"0|") + script;
  const std::wstring key = server + L"|" + settings;
  std::shared_ptr<AutoProxy> entry;
  bool knownToFail = false;
  {
    std::lock_guard lock(gAutoMutex);
    auto failed = AutoFailed().find(settings);
    knownToFail = failed != AutoFailed().end();
    if (knownToFail && Clock::now() - failed->second < kAutoProxyKept) return std::nullopt;
    auto& cache = AutoCache();
    auto it = cache.find(key);
    if (it != cache.end()) {
      std::lock_guard e(it->second->mutex);
      if (!it->second->finished || Clock::now() - it->second->at < kAutoProxyKept) entry = it->second;
    }
    if (!entry) {
      entry = std::make_shared<AutoProxy>();
      cache[key] = entry;
      try {
        base::StartUnwaitedWorker([=] { RunAutoProxy(entry, url, detect, script, settings); });
      } catch (const std::system_error&) {
        cache.erase(key);
        return std::nullopt;
      }
    }
  }
  // The search failed before: answer as then while it is tried again.
  if (knownToFail) return std::nullopt;
  std::unique_lock lock(entry->mutex);
  // Cancel wakes the call's waiters, not this one: look at it in short steps.
  while (!entry->finished) {
    if (Clock::now() >= deadline) break;
    {
      std::lock_guard c(call.mutex);
      if (call.cancelled) break;
    }
    entry->done.wait_until(lock, std::min(deadline, Clock::now() + std::chrono::milliseconds(20)));
  }
  if (!entry->finished || !entry->ok) return std::nullopt;
  return entry->choice;
}

// A value of the user's Internet Settings; empty when missing.
std::wstring SettingText(const wchar_t* name) {
  wchar_t buffer[2048];
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", name,
                   RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return {};
  return buffer;
}

bool ProxyEnabledSetting() {
  DWORD value = 0, size = sizeof(value);
  return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                      L"ProxyEnable", RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS &&
         value != 0;
}

// The proxy for one request. False (with `why`) when the request must fail.
bool ChooseProxy(const std::wstring& url, const std::wstring& scheme, const std::wstring& host, INTERNET_PORT port,
                 Clock::time_point deadline, Call& call, ProxyChoice& out, std::string& why) {
  out = {};
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&ie)) return true;  // none: WinHTTP's default
  std::wstring manual = ie.lpszProxy ? ie.lpszProxy : L"";
  std::wstring bypass = ie.lpszProxyBypass ? ie.lpszProxyBypass : L"";
  std::wstring script = ie.lpszAutoConfigUrl ? ie.lpszAutoConfigUrl : L"";
  const bool detect = ie.fAutoDetect != FALSE;
  if (ie.lpszProxy) GlobalFree(ie.lpszProxy);
  if (ie.lpszProxyBypass) GlobalFree(ie.lpszProxyBypass);
  if (ie.lpszAutoConfigUrl) GlobalFree(ie.lpszAutoConfigUrl);
  // Internet Options also keeps the manual proxy and the script address as
  // plain values; some systems (Wine among them) answer the call above from
  // its binary connection record alone, which they may lack.
  if (manual.empty() && ProxyEnabledSetting()) {
    manual = SettingText(L"ProxyServer");
    bypass = SettingText(L"ProxyOverride");
  }
  if (script.empty()) script = SettingText(L"AutoConfigURL");
  if (detect || !script.empty()) {
    // Half the request's time at most: a search that takes longer (the
    // first after start on a network without a script) goes on for the
    // next requests, and this one goes as without it.
    auto automatic = AskAutoProxy(url, scheme + L"://" + host + L":" + std::to_wstring(port), detect, script,
                                  Clock::now() + (deadline - Clock::now()) / 2, call);
    {
      std::lock_guard c(call.mutex);
      if (call.cancelled) {
        why = "cancelled";
        return false;
      }
    }
    if (automatic) {
      out = *automatic;
      if (out.access == WINHTTP_ACCESS_TYPE_NAMED_PROXY && Bypassed(host, out.bypass))
        out.access = WINHTTP_ACCESS_TYPE_NO_PROXY;
      return true;
    }
  }
  if (!manual.empty()) {
    out.set = true;
    out.access = Bypassed(host, bypass) ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    out.proxy = manual;
    out.bypass = bypass;
    return true;
  }
  if (detect || !script.empty()) {
    // Auto-configuration found nothing and there is no manual proxy: direct.
    out.set = true;
    out.access = WINHTTP_ACCESS_TYPE_NO_PROXY;
  }
  return true;
}

// ---- Addresses.

struct Address {
  std::wstring scheme, host, object;  // object: path and query, at least "/"
  INTERNET_PORT port = 0;
  bool secure = false;
};

std::optional<Address> Crack(const std::wstring& url) {
  if (!StartsNoCase(url, L"http://") && !StartsNoCase(url, L"https://")) return std::nullopt;
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
  if (!parts.lpszHostName || parts.dwHostNameLength == 0) return std::nullopt;
  Address a;
  a.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  a.scheme = a.secure ? L"https" : L"http";
  a.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  a.port = parts.nPort;
  if (parts.lpszUrlPath) a.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) a.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  a.object = a.object.substr(0, a.object.find(L'#'));
  if (a.object.empty() || a.object[0] != L'/') a.object.insert(0, L"/");
  return a;
}

std::wstring Text(const Address& a) {
  bool plain = (a.secure && a.port == 443) || (!a.secure && a.port == 80);
  return a.scheme + L"://" + a.host + (plain ? L"" : L":" + std::to_wstring(a.port)) + a.object;
}

// Where a Location header leads from `from`.
std::optional<Address> Follow(const Address& from, std::wstring location) {
  if (StartsNoCase(location, L"http://") || StartsNoCase(location, L"https://")) return Crack(location);
  Address base = from;
  base.object = L"/";
  std::wstring root = Text(base);
  root.pop_back();
  if (location.rfind(L"//", 0) == 0) return Crack(from.scheme + L":" + location);
  if (location.rfind(L"/", 0) == 0) return Crack(root + location);
  std::wstring folder = from.object.substr(0, from.object.find(L'?'));
  folder = folder.substr(0, folder.rfind(L'/') + 1);
  return Crack(root + folder + location);
}

// ---- The transport.

class WinHttpTransport : public ITransport {
 public:
  WinHttpTransport() = default;

  ~WinHttpTransport() override {
    for (auto& [key, session] : sessions_) WinHttpCloseHandle(session);
  }

  HttpResult Get(const std::string& address, const std::vector<std::string>& headers,
                 std::chrono::milliseconds deadline) override {
    try {
      return Fetch(address, headers, Clock::now() + deadline);
    } catch (const std::exception& e) {
      HttpResult failed;
      failed.error = e.what();
      return failed;
    } catch (...) {
      HttpResult failed;
      failed.error = "unexpected failure";
      return failed;
    }
  }

  void Cancel() override {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (current_) {
      std::lock_guard c(current_->mutex);
      current_->cancelled = true;
      current_->changed.notify_all();
    }
  }

 private:
  HttpResult Fetch(const std::string& text, const std::vector<std::string>& headers, Clock::time_point deadline) {
    HttpResult result;
    auto address = Crack(Wide(text));
    if (!address) return result.error = "not an http or https address", result;
    PinModule();  // before any callback or proxy search can run in this library
    {
      std::lock_guard lock(mutex_);
      if (cancelled_) return result.error = "cancelled", result;
    }
    std::wstring extra;
    for (const auto& h : headers) extra += Wide(h) + L"\r\n";
    Address at = *address;
    for (int redirects = 0;; ++redirects) {
      std::wstring location;
      result = Once(at, extra, deadline, location);
      bool redirect = result.status == 301 || result.status == 302 || result.status == 303 || result.status == 307 ||
                      result.status == 308;
      if (!redirect || location.empty()) return result;
      if (redirects == kWinHttpMaxRedirects) {
        result.error = "more than " + std::to_string(kWinHttpMaxRedirects) + " redirects";
        return result;
      }
      auto next = Follow(at, location);
      if (!next) return result.error = "redirected to an unusable address: " + Narrow(location), result;
      if (at.secure && !next->secure) return result.error = "redirected from https to http", result;
      at = *next;
    }
  }

  // The session for a proxy choice, opened on first use. The proxy is the
  // session's rather than the request's: some WinHTTPs (Wine's) ignore a
  // proxy set on a request. Connections are kept alive per session.
  HINTERNET Session(const ProxyChoice& proxy) {
    std::wstring key = !proxy.set ? L"default"
                       : proxy.access == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? L"proxy " + proxy.proxy + L" " + proxy.bypass
                                                                        : L"direct";
    auto it = sessions_.find(key);
    if (it != sessions_.end()) return it->second;
    HINTERNET session =
        !proxy.set ? WinHttpOpen(L"drasken", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC)
        : proxy.access == WINHTTP_ACCESS_TYPE_NAMED_PROXY
            ? WinHttpOpen(L"drasken", WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.proxy.c_str(),
                          proxy.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : proxy.bypass.c_str(), WINHTTP_FLAG_ASYNC)
            : WinHttpOpen(L"drasken", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                          WINHTTP_FLAG_ASYNC);
    if (!session) return nullptr;
    if (WinHttpSetStatusCallback(session, OnStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
      WinHttpCloseHandle(session);
      return nullptr;
    }
    sessions_[key] = session;
    return session;
  }

  // WinHTTP may call back into this library after a request's close, until
  // its last callback (a request closed while blocked in Wine's WinHTTP
  // lasts until WinHTTP's own time-out), and a proxy search may still run
  // on its thread: the library stays loaded to the end of the process
  // rather than waiting for them.
  static void PinModule() {
    static std::once_flag once;
    std::call_once(once, [] {
      HMODULE self = nullptr;
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&OnStatus), &self);
    });
  }

  // Waits for the next callback of `call`; false at the deadline or a
  // Cancel (`why` says which).
  static bool Wait(Call& call, Clock::time_point deadline, std::string& why) {
    std::unique_lock lock(call.mutex);
    if (!call.changed.wait_until(lock, deadline, [&] { return call.event != Call::Event::None || call.cancelled; })) {
      why = "no answer in time";
      return false;
    }
    if (call.cancelled) {
      why = "cancelled";
      return false;
    }
    return true;
  }

  // Starts a step: clears the last event first, as the callback may come
  // before the starting function returns.
  static void Arm(Call& call) {
    std::lock_guard lock(call.mutex);
    call.event = Call::Event::None;
  }

  HttpResult Once(const Address& at, const std::wstring& headers, Clock::time_point deadline,
                  std::wstring& location) {
    HttpResult result;
    auto call = std::make_shared<Call>();
    {
      std::lock_guard lock(mutex_);
      if (cancelled_) return result.error = "cancelled", result;
      current_ = call;
    }
    struct Leave {
      WinHttpTransport& t;
      ~Leave() {
        std::lock_guard lock(t.mutex_);
        t.current_.reset();
      }
    } leave{*this};

    ProxyChoice proxy;
    std::string why;
    if (!ChooseProxy(Text(at), at.scheme, at.host, at.port, deadline, *call, proxy, why)) {
      std::lock_guard c(call->mutex);
      return result.error = call->cancelled ? "cancelled" : why, result;
    }
    HINTERNET session = Session(proxy);
    if (!session) return result.error = "cannot use WinHTTP: " + Why(GetLastError()), result;
    HINTERNET connection = WinHttpConnect(session, at.host.c_str(), at.port, 0);
    if (!connection) return result.error = "cannot connect: " + Why(GetLastError()), result;
    struct CloseConnection {
      HINTERNET h;
      ~CloseConnection() { WinHttpCloseHandle(h); }
    } closeConnection{connection};

    HINTERNET request = WinHttpOpenRequest(connection, L"GET", at.object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, at.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!request) return result.error = "cannot make the request: " + Why(GetLastError()), result;
    // From here on the request's last callback frees the holder.
    auto* holder = new Holder{call};
    ++gHolders;
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(holder);
    if (!WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context))) {
      delete holder;
      --gHolders;
      WinHttpCloseHandle(request);
      return result.error = "cannot make the request: " + Why(GetLastError()), result;
    }
    struct CloseRequest {
      HINTERNET h;
      ~CloseRequest() { WinHttpCloseHandle(h); }
    } closeRequest{request};

    // Redirects are followed here, bounded and with the proxy chosen anew.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable));
    // WinHTTP's own limits as well, in case a step never calls back.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    int ms = static_cast<int>(std::max<long long>(1, left));
    WinHttpSetTimeouts(request, ms, ms, ms, ms);
    // Each header replaces WinHTTP's own of that name (User-Agent).
    if (!headers.empty() && !WinHttpAddRequestHeaders(request, headers.c_str(), static_cast<DWORD>(headers.size()),
                                                      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
      return result.error = "bad request headers", result;

    Arm(*call);
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, context))
      return result.error = Why(GetLastError()), result;
    if (!Step(*call, Call::Event::Sent, deadline, result)) return result;
    Arm(*call);
    if (!WinHttpReceiveResponse(request, nullptr)) return result.error = Why(GetLastError()), result;
    if (!Step(*call, Call::Event::Headers, deadline, result)) return result;

    DWORD status = 0, size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
      return result.error = "no status in the answer", result;
    result.status = static_cast<int>(status);
    if (status != 200) {
      wchar_t buffer[2048];
      DWORD bytes = sizeof(buffer);
      if (WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &bytes,
                              WINHTTP_NO_HEADER_INDEX))
        location.assign(buffer, bytes / sizeof(wchar_t));
      result.error = "HTTP status " + std::to_string(status);
      return result;  // closing the request drops what is left of the answer
    }
    for (;;) {
      Arm(*call);
      if (!WinHttpQueryDataAvailable(request, nullptr)) return result.error = Why(GetLastError()), result;
      if (!Step(*call, Call::Event::Data, deadline, result)) return result;
      DWORD available = call->size;
      if (available == 0) break;
      Arm(*call);
      DWORD chunk = std::min<DWORD>(available, sizeof(call->buffer));
      if (!WinHttpReadData(request, call->buffer, chunk, nullptr)) return result.error = Why(GetLastError()), result;
      if (!Step(*call, Call::Event::Read, deadline, result)) return result;
      if (call->size == 0) break;
      if (result.body.size() + call->size > HttpResponseReader::kMaxBody) {
        result.error = "answer too long";
        result.body.clear();
        return result;
      }
      result.body.append(call->buffer, call->size);
    }
    result.ok = true;
    return result;
  }

  // Waits for `expected`; false (the result saying why) on anything else.
  static bool Step(Call& call, Call::Event expected, Clock::time_point deadline, HttpResult& result) {
    std::string why;
    if (!Wait(call, deadline, why)) {
      result.error = why;
      result.ok = false;
      return false;
    }
    std::lock_guard lock(call.mutex);
    if (call.event == expected) return true;
    result.ok = false;
    result.error = call.event == Call::Event::Failed ? Why(call.error) : "unexpected WinHTTP event";
    return false;
  }

  std::map<std::wstring, HINTERNET> sessions_;
  std::mutex mutex_;
  bool cancelled_ = false;
  std::shared_ptr<Call> current_;
};

}  // namespace

int WinHttpRequestsNotTornDown() { return gHolders.load(); }

TransportFactory WinHttpTransports() {
  return []() -> std::unique_ptr<ITransport> { return std::make_unique<WinHttpTransport>(); };
}

}  // namespace engine
