// A small HTTP/1.1 client for the quote services: GET only, one kept-alive
// connection per client object, answers with a Content-Length, chunked or
// ended by the close. Plain http: the quote services answer it, and the
// engine needs no TLS stack for public prices.
#pragma once

#include <chrono>
#include <cstdint>
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

// Reads one answer from bytes as they arrive.
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
  const std::string& Error() const { return error_; }

 private:
  State Fail(std::string why);
  State Step();
  std::string buffer_, body_, error_;
  enum class Phase { Head, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, ToClose, Done } phase_ = Phase::Head;
  int status_ = 0;
  bool keepAlive_ = true;
  uint64_t remaining_ = 0;
};

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // GETs the target from host:port, on the open connection when there is
  // one to that server, within `timeout` for connecting and for the answer.
  HttpResult Get(const Url& url, const std::vector<std::string>& headers, std::chrono::milliseconds timeout);
  void Close();
  // Ends the request in flight within a few milliseconds, from any thread;
  // this and every later Get fail.
  void Cancel();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace engine
