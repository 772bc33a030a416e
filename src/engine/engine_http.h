// A small HTTP/1.1 client: GET only, one kept-alive connection per client
// object, answers with a Content-Length, chunked or ended by the close.
// Plain http only. It serves the native tests and tools; the shipped DLL
// fetches through WinHTTP (drasken_winhttp_win.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// "http://host[:port]/path" split up; nullopt for anything else (https too).
struct Url {
  std::string host;
  uint16_t port = 80;
  std::string target;  // the path and query, at least "/"
};
std::optional<Url> ParseUrl(std::string_view text);

struct HttpResult {
  bool ok = false;  // a whole answer with status 200
  int status = 0;
  std::string body;
  std::string error;  // why not ok
};

// Reads one answer from bytes as they arrive. Interim answers (1xx) are
// skipped; lines may end in a bare LF as well as CRLF.
class HttpResponseReader {
 public:
  static constexpr size_t kMaxBody = 16u << 20;
  enum class State { More, Done, Failed };
  // Feeds bytes; what follows the end of the answer is ignored.
  State Feed(std::string_view bytes);
  // The peer closed the connection: completes an answer that runs to the close.
  State Closed();
  int Status() const { return status_; }
  bool KeepAlive() const { return keepAlive_; }
  const std::string& Body() const { return body_; }
  // The Location header of the answer, empty when there was none.
  const std::string& Location() const { return location_; }
  const std::string& Error() const { return error_; }

 private:
  State Fail(std::string why);
  State Step();
  std::string buffer_, body_, error_, location_;
  enum class Phase { Head, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, ToClose, Done } phase_ = Phase::Head;
  int status_ = 0;
  bool keepAlive_ = true;
  uint64_t remaining_ = 0;
};

class HttpClient {
 public:
  static constexpr int kMaxRedirects = 5;
  // Looks a host name up: its addresses as text ("127.0.0.1", "::1"), in
  // the order to try. Blocking; the client runs it on a thread of its own
  // and stops waiting when the request's time is up or it is cancelled.
  using Resolver = std::function<std::vector<std::string>(const std::string& host)>;

  // `resolve` empty: the system's lookup.
  explicit HttpClient(Resolver resolve = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // GETs the target from host:port, on the open connection when there is
  // one to that server, trying every address of the host, following up to
  // kMaxRedirects redirects to http addresses. Everything (lookup, connect,
  // send, answer, redirects) ends within `timeout`.
  HttpResult Get(const Url& url, const std::vector<std::string>& headers, std::chrono::milliseconds timeout);
  // From any thread: ends the request in flight at once; it and every later
  // Get fail.
  void Cancel();
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace engine
