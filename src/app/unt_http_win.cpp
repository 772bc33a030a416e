#include "app/unt_http_win.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <memory>
#include <mutex>
#include <thread>

#include "app/qv_version.h"
#include "win/text_win.h"

namespace app {
namespace {

struct HandleCloser {
  void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string LastError(const std::string& what) { return what + "（错误 " + std::to_string(GetLastError()) + "）"; }

using Clock = std::chrono::steady_clock;

// Owns the request handle and closes it at the deadline from a thread of
// its own: closing the handle ends a synchronous call in progress, so a
// server that drips its answer byte by byte (each step well within its
// time-out) cannot hold the request past the deadline.
class RequestDeadline {
 public:
  RequestDeadline(HINTERNET request, Clock::time_point deadline) : request_(request) {
    thread_ = std::thread([this, deadline] {
      std::unique_lock lock(mutex_);
      if (changed_.wait_until(lock, deadline, [this] { return finished_; })) return;
      expired_ = true;
      WinHttpCloseHandle(request_);
    });
  }
  ~RequestDeadline() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (!expired_) WinHttpCloseHandle(request_);
  }
  RequestDeadline(const RequestDeadline&) = delete;
  RequestDeadline& operator=(const RequestDeadline&) = delete;

  bool Expired() {
    std::lock_guard lock(mutex_);
    return expired_;
  }

 private:
  HINTERNET request_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  bool expired_ = false;
  std::thread thread_;
};

// Sends the request (a GET, or a POST of a JSON body) and hands the reply's
// body to `onData` as it arrives: a 200 reply's only, unless `status` is
// given, which then receives the status and any reply is read. `stepMs`
// bounds each step; `wholeMs` (0: none) the whole request.
bool Fetch(const std::string& url, int stepMs, int wholeMs, const HttpSink& onData, std::string& err,
           const std::string* postBody = nullptr, int* statusOut = nullptr) {
  const Clock::time_point deadline =
      wholeMs > 0 ? Clock::now() + std::chrono::milliseconds(wholeMs) : Clock::time_point::max();
  std::wstring wide = win::Wide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  wchar_t host[256] = {}, path[2048] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = ARRAYSIZE(host);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = ARRAYSIZE(path);
  wchar_t extra[2048] = {};
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = ARRAYSIZE(extra);
  if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) {
    err = "不是网址：" + url;
    return false;
  }
  Handle session(WinHttpOpen(L"Tarvolen-Merrowick/" QV_VERSION_TEXT, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    err = LastError("无法使用网络");
    return false;
  }
  const int step = wholeMs > 0 ? std::min(stepMs, wholeMs) : stepMs;
  WinHttpSetTimeouts(session.get(), step, step, step, step);
  Handle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
  if (!connection) {
    err = LastError("无法连接 " + url);
    return false;
  }
  const std::wstring object = std::wstring(path) + extra;
  // Certificate errors end the request: no SECURITY_FLAG_IGNORE_* is ever
  // set, and WinHTTP follows no redirect from https to http.
  HINTERNET opened = WinHttpOpenRequest(connection.get(), postBody ? L"POST" : L"GET", object.empty() ? L"/" : object.c_str(),
                                        nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
  if (!opened) {
    err = LastError("无法请求 " + url);
    return false;
  }
  RequestDeadline guard(opened, deadline);
  HINTERNET const request = opened;
  // A step that failed because the deadline closed the request says so.
  auto failed = [&](const std::string& what) {
    err = guard.Expired() || Clock::now() >= deadline
              ? url + " 未在 " + std::to_string((wholeMs + 999) / 1000) + " 秒内回答完"
              : LastError(what);
    return false;
  };
  static const wchar_t kJson[] = L"Content-Type: application/json; charset=utf-8";
  void* data = postBody ? const_cast<char*>(postBody->data()) : WINHTTP_NO_REQUEST_DATA;
  const DWORD bodyLength = postBody ? static_cast<DWORD>(postBody->size()) : 0;
  if (!WinHttpSendRequest(request, postBody ? kJson : WINHTTP_NO_ADDITIONAL_HEADERS,
                          postBody ? static_cast<DWORD>(-1L) : 0, data, bodyLength, bodyLength, 0) ||
      !WinHttpReceiveResponse(request, nullptr))
    return failed("无法连接 " + url);
  DWORD status = 0, size = sizeof(status);
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  if (statusOut) *statusOut = static_cast<int>(status);
  if (status != 200 && !statusOut) {
    err = url + " 回答 " + std::to_string(status);
    return false;
  }
  wchar_t length[32] = {};
  DWORD lengthSize = sizeof(length);
  uint64_t total = 0;
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length,
                          &lengthSize, WINHTTP_NO_HEADER_INDEX))
    total = std::wcstoull(length, nullptr, 10);
  std::string chunk;
  for (;;) {
    if (Clock::now() >= deadline) return failed("");
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return failed("读取 " + url + " 失败");
    if (available == 0) break;
    chunk.resize(available);
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.data(), available, &read)) return failed("读取 " + url + " 失败");
    if (!onData(std::string_view(chunk.data(), read), total, &err)) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> HttpGet(const std::string& url, int timeoutMs, std::string* error, size_t maxBytes) {
  std::string ignored;
  std::string body;
  const bool ok = Fetch(url, timeoutMs, timeoutMs, [&](std::string_view bytes, uint64_t, std::string* err) {
    if (body.size() + bytes.size() > maxBytes) {
      *err = url + " 的内容过大";
      return false;
    }
    body.append(bytes);
    return true;
  }, error ? *error : ignored);
  if (!ok) return std::nullopt;
  return body;
}

bool HttpDownload(const std::string& url, int timeoutMs, const HttpSink& onData, std::string* error) {
  std::string ignored;
  return Fetch(url, timeoutMs, 0, onData, error ? *error : ignored);
}

HttpReply HttpPostJson(const std::string& url, const std::string& body, int stepMs, int wholeMs, size_t maxBytes) {
  HttpReply reply;
  int status = 0;
  const bool ok = Fetch(url, stepMs, wholeMs, [&](std::string_view bytes, uint64_t, std::string* err) {
    if (reply.body.size() + bytes.size() > maxBytes) {
      *err = url + " 的内容过大";
      return false;
    }
    reply.body.append(bytes);
    return true;
  }, reply.error, &body, &status);
  reply.status = ok ? status : 0;
  return reply;
}

}  // namespace app
