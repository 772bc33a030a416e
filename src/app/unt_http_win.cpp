#include "app/unt_http_win.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>

#include "win/text_win.h"

namespace app {
namespace {

struct HandleCloser {
  void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string LastError(const std::string& what) { return what + "（错误 " + std::to_string(GetLastError()) + "）"; }

}  // namespace

std::optional<std::string> HttpGet(const std::string& url, int timeoutMs, std::string* error, size_t maxBytes) {
  std::string ignored;
  std::string& err = error ? *error : ignored;
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
    return std::nullopt;
  }
  Handle session(WinHttpOpen(L"Tarvolen-Merrowick/1.7.6", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    err = LastError("无法使用网络");
    return std::nullopt;
  }
  WinHttpSetTimeouts(session.get(), timeoutMs, timeoutMs, timeoutMs, timeoutMs);
  Handle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
  if (!connection) {
    err = LastError("无法连接 " + url);
    return std::nullopt;
  }
  const std::wstring object = std::wstring(path) + extra;
  Handle request(WinHttpOpenRequest(connection.get(), L"GET", object.empty() ? L"/" : object.c_str(), nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                    parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request) {
    err = LastError("无法请求 " + url);
    return std::nullopt;
  }
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    err = LastError("无法连接 " + url);
    return std::nullopt;
  }
  DWORD status = 0, size = sizeof(status);
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  if (status != 200) {
    err = url + " 回答 " + std::to_string(status);
    return std::nullopt;
  }
  std::string body;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) {
      err = LastError("读取 " + url + " 失败");
      return std::nullopt;
    }
    if (available == 0) break;
    if (body.size() + available > maxBytes) {
      err = url + " 的内容过大";
      return std::nullopt;
    }
    const size_t at = body.size();
    body.resize(at + available);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), body.data() + at, available, &read)) {
      err = LastError("读取 " + url + " 失败");
      return std::nullopt;
    }
    body.resize(at + read);
  }
  return body;
}

}  // namespace app
