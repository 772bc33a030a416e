#include "engine_http.h"

#include <atomic>

#include "engine_transport.h"

#include <asio.hpp>

#include <algorithm>
#include <cctype>

namespace engine {
namespace {

using asio::ip::tcp;

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<Url> ParseUrl(std::string_view text) {
  constexpr std::string_view kScheme = "http://";
  if (text.size() <= kScheme.size() || !EqualNoCase(text.substr(0, kScheme.size()), kScheme)) return std::nullopt;
  text.remove_prefix(kScheme.size());
  size_t slash = text.find('/');
  std::string_view authority = text.substr(0, slash);
  Url url;
  url.target = slash == std::string_view::npos ? "/" : std::string(text.substr(slash));
  size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos) {
    std::string_view port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5) return std::nullopt;
    uint32_t p = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return std::nullopt;
      p = p * 10 + static_cast<uint32_t>(c - '0');
    }
    if (p == 0 || p > 65535) return std::nullopt;
    url.port = static_cast<uint16_t>(p);
    authority = authority.substr(0, colon);
  }
  if (authority.empty()) return std::nullopt;
  for (char c : authority)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')) return std::nullopt;
  url.host = std::string(authority);
  for (char c : url.target)
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) return std::nullopt;
  return url;
}

HttpResponseReader::State HttpResponseReader::Fail(std::string why) {
  error_ = std::move(why);
  phase_ = Phase::Done;
  status_ = -1;
  return State::Failed;
}

HttpResponseReader::State HttpResponseReader::Feed(std::string_view bytes) {
  if (phase_ == Phase::Done) return status_ < 0 ? State::Failed : State::Done;
  buffer_.append(bytes);
  return Step();
}

HttpResponseReader::State HttpResponseReader::Closed() {
  if (phase_ == Phase::ToClose) {
    phase_ = Phase::Done;
    return State::Done;
  }
  if (phase_ == Phase::Done) return status_ < 0 ? State::Failed : State::Done;
  return Fail("the connection closed before the answer ended");
}

HttpResponseReader::State HttpResponseReader::Step() {
  for (;;) {
    switch (phase_) {
      case Phase::Head: {
        size_t end = buffer_.find("\r\n\r\n");
        if (end == std::string::npos) return buffer_.size() > 65536 ? Fail("header too long") : State::More;
        std::string_view head(buffer_.data(), end);
        size_t eol = head.find("\r\n");
        std::string_view status = head.substr(0, eol);
        if (status.size() < 12 || status.substr(0, 7) != "HTTP/1." || status[8] != ' ' ||
            !std::isdigit(static_cast<unsigned char>(status[9])) || !std::isdigit(static_cast<unsigned char>(status[10])) ||
            !std::isdigit(static_cast<unsigned char>(status[11])))
          return Fail("not an HTTP answer");
        status_ = (status[9] - '0') * 100 + (status[10] - '0') * 10 + (status[11] - '0');
        keepAlive_ = status[7] == '1';
        bool chunked = false, length = false;
        uint64_t contentLength = 0;
        while (eol != std::string_view::npos) {
          size_t start = eol + 2;
          eol = head.find("\r\n", start);
          std::string_view line = head.substr(start, eol == std::string_view::npos ? std::string_view::npos : eol - start);
          size_t colon = line.find(':');
          if (colon == std::string_view::npos) continue;
          std::string_view name = Trim(line.substr(0, colon)), value = Trim(line.substr(colon + 1));
          if (EqualNoCase(name, "content-length")) {
            if (value.empty() || value.size() > 12) return Fail("bad Content-Length");
            contentLength = 0;
            for (char c : value) {
              if (c < '0' || c > '9') return Fail("bad Content-Length");
              contentLength = contentLength * 10 + static_cast<uint64_t>(c - '0');
            }
            length = true;
          } else if (EqualNoCase(name, "transfer-encoding")) {
            chunked = value.size() >= 7 && EqualNoCase(value.substr(value.size() - 7), "chunked");
          } else if (EqualNoCase(name, "connection")) {
            if (EqualNoCase(value, "close")) keepAlive_ = false;
            if (EqualNoCase(value, "keep-alive")) keepAlive_ = true;
          }
        }
        buffer_.erase(0, end + 4);
        if (chunked) {
          phase_ = Phase::ChunkSize;
        } else if (length) {
          if (contentLength > kMaxBody) return Fail("answer too long");
          remaining_ = contentLength;
          phase_ = Phase::Body;
        } else {
          keepAlive_ = false;
          phase_ = Phase::ToClose;
        }
        break;
      }
      case Phase::Body: {
        size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, buffer_.size()));
        body_.append(buffer_, 0, n);
        buffer_.erase(0, n);
        remaining_ -= n;
        if (remaining_ > 0) return State::More;
        phase_ = Phase::Done;
        return State::Done;
      }
      case Phase::ToClose:
        body_ += buffer_;
        buffer_.clear();
        return body_.size() > kMaxBody ? Fail("answer too long") : State::More;
      case Phase::ChunkSize: {
        size_t eol = buffer_.find("\r\n");
        if (eol == std::string::npos) return buffer_.size() > 1024 ? Fail("bad chunk") : State::More;
        uint64_t size = 0;
        size_t i = 0, digits = 0;
        for (; i < eol; ++i) {
          int c = std::tolower(static_cast<unsigned char>(buffer_[i]));
          int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
          if (v < 0) break;
          if (++digits > 8) return Fail("bad chunk");
          size = size * 16 + static_cast<uint64_t>(v);
        }
        if (digits == 0 || (i < eol && buffer_[i] != ';' && buffer_[i] != ' ')) return Fail("bad chunk");
        buffer_.erase(0, eol + 2);
        if (size == 0) {
          phase_ = Phase::Trailer;
        } else {
          if (body_.size() + size > kMaxBody) return Fail("answer too long");
          remaining_ = size;
          phase_ = Phase::ChunkData;
        }
        break;
      }
      case Phase::ChunkData: {
        size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, buffer_.size()));
        body_.append(buffer_, 0, n);
        buffer_.erase(0, n);
        remaining_ -= n;
        if (remaining_ > 0) return State::More;
        phase_ = Phase::ChunkEnd;
        break;
      }
      case Phase::ChunkEnd:
        if (buffer_.size() < 2) return State::More;
        if (buffer_.compare(0, 2, "\r\n") != 0) return Fail("bad chunk");
        buffer_.erase(0, 2);
        phase_ = Phase::ChunkSize;
        break;
      case Phase::Trailer: {
        size_t eol = buffer_.find("\r\n");
        if (eol == std::string::npos) return buffer_.size() > 65536 ? Fail("bad trailer") : State::More;
        buffer_.erase(0, eol + 2);
        if (eol == 0) {
          phase_ = Phase::Done;
          return State::Done;
        }
        break;
      }
      case Phase::Done:
        return status_ < 0 ? State::Failed : State::Done;
    }
  }
}

struct HttpClient::Impl {
  asio::io_context io;
  tcp::socket socket{io};
  std::string host;
  uint16_t port = 0;
  bool open = false;
  std::atomic<bool> cancelled{false};

  void Close() {
    std::error_code ignored;
    socket.close(ignored);
    open = false;
  }

  // Runs the posted work for at most `left`; on a time-out closes the
  // socket and lets the cancelled handlers finish. False on the time-out.
  bool Run(std::chrono::steady_clock::time_point deadline) {
    io.restart();
    // In short slices, so that a Cancel from another thread is seen.
    for (auto now = std::chrono::steady_clock::now(); !cancelled && deadline > now;
         now = std::chrono::steady_clock::now()) {
      io.run_for(std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(10)));
      if (io.stopped()) return true;
    }
    Close();
    io.restart();
    io.run();
    return false;
  }

  HttpResult Once(const Url& url, const std::string& request, std::chrono::steady_clock::time_point deadline,
                  bool& reused, bool& gotBytes) {
    HttpResult result;
    reused = open && host == url.host && port == url.port;
    gotBytes = false;
    if (!reused) {
      Close();
      std::error_code ec = asio::error::host_not_found;
      tcp::resolver resolver(io);
      tcp::resolver::results_type endpoints;
      resolver.async_resolve(url.host, std::to_string(url.port),
                             [&](std::error_code e, tcp::resolver::results_type r) {
                               if (e) {
                                 ec = e;
                                 return;
                               }
                               endpoints = r;
                               asio::async_connect(socket, endpoints,
                                                   [&](std::error_code c, const tcp::endpoint&) { ec = c; });
                             });
      if (!Run(deadline)) return result.error = "connecting timed out", result;
      if (ec) {
        Close();
        return result.error = "cannot connect: " + ec.message(), result;
      }
      std::error_code ignored;
      socket.set_option(tcp::no_delay(true), ignored);
      host = url.host;
      port = url.port;
      open = true;
    }
    HttpResponseReader reader;
    HttpResponseReader::State state = HttpResponseReader::State::More;
    std::error_code writeError;
    char chunk[16384];
    std::function<void()> read = [&] {
      socket.async_read_some(asio::buffer(chunk), [&](std::error_code e, size_t n) {
        if (n) gotBytes = true;
        if (n) state = reader.Feed(std::string_view(chunk, n));
        if (state == HttpResponseReader::State::More && e) state = reader.Closed();
        if (state == HttpResponseReader::State::More) read();
      });
    };
    asio::async_write(socket, asio::buffer(request), [&](std::error_code e, size_t) {
      writeError = e;
      if (!e) read();
    });
    if (!Run(deadline)) return result.error = "no answer in time", result;
    if (writeError) {
      Close();
      return result.error = "cannot send: " + writeError.message(), result;
    }
    if (state != HttpResponseReader::State::Done) {
      Close();
      return result.error = reader.Error().empty() ? "bad answer" : reader.Error(), result;
    }
    if (!reader.KeepAlive()) Close();
    result.status = reader.Status();
    result.ok = result.status == 200;
    if (!result.ok) result.error = "HTTP status " + std::to_string(result.status);
    result.body = reader.Body();
    return result;
  }
};

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {}
HttpClient::~HttpClient() = default;

void HttpClient::Close() { impl_->Close(); }
void HttpClient::Cancel() { impl_->cancelled = true; }

HttpResult HttpClient::Get(const Url& url, const std::vector<std::string>& headers, std::chrono::milliseconds timeout) {
  std::string request = "GET " + url.target + " HTTP/1.1\r\nHost: " + url.host;
  if (url.port != 80) request += ":" + std::to_string(url.port);
  request += "\r\nConnection: keep-alive\r\nAccept: */*\r\n";
  for (const auto& h : headers) request += h + "\r\n";
  request += "\r\n";
  auto deadline = std::chrono::steady_clock::now() + timeout;
  bool reused, gotBytes;
  if (impl_->cancelled) return HttpResult{false, 0, {}, "cancelled"};
  HttpResult result = impl_->Once(url, request, deadline, reused, gotBytes);
  if (impl_->cancelled) return HttpResult{false, 0, {}, "cancelled"};
  // A kept-alive connection the server has closed meanwhile: once more on a new one.
  if (!result.ok && result.status == 0 && reused && !gotBytes) result = impl_->Once(url, request, deadline, reused, gotBytes);
  return result;
}

}  // namespace engine

namespace engine {
namespace {

class SocketTransport : public ITransport {
 public:
  HttpResult Get(const std::string& address, const std::vector<std::string>& headers,
                 std::chrono::milliseconds deadline) override {
    HttpResult failed;
    if (cancelled_) {
      failed.error = "cancelled";
      return failed;
    }
    auto url = ParseUrl(address);
    if (!url) {
      failed.error = "not an http address";
      return failed;
    }
    return client_.Get(*url, headers, deadline);
  }
  void Cancel() override {
    cancelled_ = true;
    client_.Cancel();
  }

 private:
  HttpClient client_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace

std::unique_ptr<ITransport> MakeSocketTransport() { return std::make_unique<SocketTransport>(); }

}  // namespace engine
