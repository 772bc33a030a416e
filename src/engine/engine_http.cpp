#include "engine_http.h"

#include <asio.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <thread>

#include "base/worker.h"
#include "engine_transport.h"

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

namespace {

// The line that starts at `from`, without its LF or CRLF; npos in `next`
// when the line has not ended yet.
std::string_view LineAt(const std::string& buffer, size_t from, size_t& next) {
  size_t lf = buffer.find('\n', from);
  if (lf == std::string::npos) {
    next = std::string::npos;
    return {};
  }
  next = lf + 1;
  size_t end = lf > from && buffer[lf - 1] == '\r' ? lf - 1 : lf;
  return std::string_view(buffer).substr(from, end - from);
}

}  // namespace

HttpResponseReader::State HttpResponseReader::Step() {
  for (;;) {
    switch (phase_) {
      case Phase::Head: {
        // Empty lines before the status line are skipped (a stray CRLF
        // after a previous answer's body).
        size_t next = 0;
        while (!buffer_.empty()) {
          std::string_view first = LineAt(buffer_, 0, next);
          if (next == std::string::npos || !first.empty()) break;
          buffer_.erase(0, next);
        }
        std::vector<std::string_view> lines;
        size_t at = 0;
        bool whole = false;
        for (;;) {
          std::string_view line = LineAt(buffer_, at, next);
          if (next == std::string::npos) break;
          at = next;
          if (line.empty()) {
            whole = true;
            break;
          }
          lines.push_back(line);
        }
        if (!whole) return buffer_.size() > 65536 ? Fail("header too long") : State::More;
        std::string_view status = lines.front();
        if (status.size() < 12 || status.substr(0, 7) != "HTTP/1." || status[8] != ' ' ||
            !std::isdigit(static_cast<unsigned char>(status[9])) || !std::isdigit(static_cast<unsigned char>(status[10])) ||
            !std::isdigit(static_cast<unsigned char>(status[11])) || (status.size() > 12 && status[12] != ' '))
          return Fail("not an HTTP answer");
        status_ = (status[9] - '0') * 100 + (status[10] - '0') * 10 + (status[11] - '0');
        keepAlive_ = status[7] == '1';
        bool chunked = false, length = false;
        uint64_t contentLength = 0;
        location_.clear();
        for (size_t i = 1; i < lines.size(); ++i) {
          std::string_view line = lines[i];
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
          } else if (EqualNoCase(name, "location")) {
            location_ = std::string(value);
          }
        }
        buffer_.erase(0, at);
        if (status_ == 101) return Fail("the server switched protocols");
        // An interim answer (100 Continue, 103 Early Hints): the real one follows.
        if (status_ >= 100 && status_ < 200) break;
        if (status_ == 204 || status_ == 304) {
          // No body, whatever the header says.
          phase_ = Phase::Done;
          return State::Done;
        }
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
        size_t next = 0;
        std::string_view line = LineAt(buffer_, 0, next);
        if (next == std::string::npos) return buffer_.size() > 1024 ? Fail("bad chunk") : State::More;
        uint64_t size = 0;
        size_t i = 0, digits = 0;
        for (; i < line.size(); ++i) {
          int c = std::tolower(static_cast<unsigned char>(line[i]));
          int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
          if (v < 0) break;
          if (++digits > 8) return Fail("bad chunk");
          size = size * 16 + static_cast<uint64_t>(v);
        }
        if (digits == 0 || (i < line.size() && line[i] != ';' && line[i] != ' ' && line[i] != '\t')) return Fail("bad chunk");
        buffer_.erase(0, next);
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
      case Phase::ChunkEnd: {
        if (buffer_.empty() || (buffer_[0] == '\r' && buffer_.size() < 2)) return State::More;
        size_t skip = buffer_.compare(0, 2, "\r\n") == 0 ? 2 : buffer_[0] == '\n' ? 1 : 0;
        if (skip == 0) return Fail("bad chunk");
        buffer_.erase(0, skip);
        phase_ = Phase::ChunkSize;
        break;
      }
      case Phase::Trailer: {
        size_t next = 0;
        std::string_view line = LineAt(buffer_, 0, next);
        if (next == std::string::npos) return buffer_.size() > 65536 ? Fail("bad trailer") : State::More;
        bool last = line.empty();
        buffer_.erase(0, next);
        if (last) {
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

namespace {

// One lookup on a thread of its own, so that a lookup that hangs (a DNS
// server that does not answer) holds up neither the deadline nor Cancel.
// The thread hands its result over only while the client still waits.
struct Lookup {
  std::mutex mutex;
  asio::io_context* io = nullptr;  // null once the client stopped waiting
  std::function<void(std::vector<tcp::endpoint>, std::string)> done;
};

std::vector<std::string> SystemLookup(const std::string& host) {
  asio::io_context io;
  tcp::resolver resolver(io);
  std::error_code ec;
  std::vector<std::string> out;
  for (const auto& entry : resolver.resolve(host, "0", ec)) out.push_back(entry.endpoint().address().to_string());
  return out;
}

}  // namespace

struct HttpClient::Impl {
  // One exchange (one request, one answer) as it runs on the io_context.
  struct Exchange {
    bool finished = false;
    bool gotBytes = false;
    std::string error;
    HttpResponseReader reader;
    HttpResponseReader::State state = HttpResponseReader::State::More;
    std::shared_ptr<Lookup> lookup;
    char chunk[16384];
  };

  asio::io_context io;
  tcp::socket socket{io};
  asio::steady_timer timer{io};
  Resolver resolve;
  std::string host;
  uint16_t port = 0;
  bool open = false;
  std::atomic<bool> cancelled{false};
  Exchange* current = nullptr;  // touched on the thread that runs `io` only

  void Close() {
    std::error_code ignored;
    socket.close(ignored);
    open = false;
  }

  void Abandon(Exchange& x) {
    if (!x.lookup) return;
    std::lock_guard lock(x.lookup->mutex);
    x.lookup->io = nullptr;
    x.lookup->done = nullptr;
    x.lookup.reset();
  }

  // Ends the exchange: closing the socket ends whatever waits on it.
  void Finish(Exchange& x, std::string error) {
    if (x.finished) return;
    x.finished = true;
    x.error = std::move(error);
    if (!x.error.empty()) Close();
    timer.cancel();
    Abandon(x);
  }

  void Connected(Exchange& x, const std::string& request) {
    std::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    open = true;
    Send(x, request);
  }

  void Connect(Exchange& x, std::vector<tcp::endpoint> endpoints, std::string lookupError,
               const std::string& request) {
    if (x.finished) return;
    Abandon(x);
    if (endpoints.empty()) return Finish(x, "cannot look up " + host + (lookupError.empty() ? "" : ": " + lookupError));
    // Every address in turn, until one accepts.
    asio::async_connect(socket, endpoints, [this, &x, &request](std::error_code ec, const tcp::endpoint&) {
      if (x.finished) return;
      if (ec) return Finish(x, "cannot connect: " + ec.message());
      Connected(x, request);
    });
  }

  void StartLookup(Exchange& x, const std::string& request) {
    std::error_code ec;
    asio::ip::address literal = asio::ip::make_address(host, ec);
    if (!ec) return Connect(x, {tcp::endpoint(literal, port)}, "", request);
    auto lookup = std::make_shared<Lookup>();
    lookup->io = &io;
    lookup->done = [this, &x, &request](std::vector<tcp::endpoint> endpoints, std::string error) {
      Connect(x, std::move(endpoints), std::move(error), request);
    };
    x.lookup = lookup;
    Resolver how = resolve ? resolve : Resolver(SystemLookup);
    std::string name = host;
    uint16_t p = port;
    try {
      base::StartUnwaitedWorker([lookup, how, name, p] {
        std::vector<tcp::endpoint> endpoints;
        std::string error;
        try {
          for (const auto& text : how(name)) {
            std::error_code bad;
            asio::ip::address a = asio::ip::make_address(text, bad);
            if (!bad) endpoints.emplace_back(a, p);
          }
        } catch (const std::exception& e) {
          error = e.what();
        }
        std::lock_guard lock(lookup->mutex);
        if (!lookup->io) return;
        asio::post(*lookup->io, [lookup, endpoints = std::move(endpoints), error = std::move(error)]() mutable {
          std::function<void(std::vector<tcp::endpoint>, std::string)> done;
          {
            std::lock_guard again(lookup->mutex);
            done = std::move(lookup->done);
          }
          if (done) done(std::move(endpoints), std::move(error));
        });
      });
    } catch (const std::system_error& e) {
      Finish(x, std::string("cannot look up: ") + e.what());
    }
  }

  void Send(Exchange& x, const std::string& request) {
    asio::async_write(socket, asio::buffer(request), [this, &x](std::error_code e, size_t) {
      if (x.finished) return;
      if (e) return Finish(x, "cannot send: " + e.message());
      Read(x);
    });
  }

  void Read(Exchange& x) {
    socket.async_read_some(asio::buffer(x.chunk), [this, &x](std::error_code e, size_t n) {
      if (x.finished) return;
      if (n) {
        x.gotBytes = true;
        x.state = x.reader.Feed(std::string_view(x.chunk, n));
      }
      if (x.state == HttpResponseReader::State::More && e) x.state = x.reader.Closed();
      if (x.state == HttpResponseReader::State::More) return Read(x);
      if (x.state == HttpResponseReader::State::Failed) return Finish(x, x.reader.Error());
      Finish(x, "");
    });
  }

  // One request and its answer, on the open connection to that server or
  // a new one, until `deadline`.
  HttpResult Once(const Url& url, const std::string& request, std::chrono::steady_clock::time_point deadline,
                  bool& reused, bool& gotBytes) {
    HttpResult result;
    Exchange x;
    reused = open && host == url.host && port == url.port;
    gotBytes = false;
    timer.expires_at(deadline);
    timer.async_wait([this, &x](std::error_code ec) {
      if (!ec) Finish(x, "no answer in time");
    });
    current = &x;
    if (cancelled) {
      Finish(x, "cancelled");
    } else if (reused) {
      Send(x, request);
    } else {
      Close();
      host = url.host;
      port = url.port;
      StartLookup(x, request);
    }
    io.restart();
    io.run();  // until every handler of the exchange has run
    current = nullptr;
    gotBytes = x.gotBytes;
    if (!x.error.empty()) return result.error = x.error, result;
    if (!x.reader.KeepAlive()) Close();
    result.status = x.reader.Status();
    result.ok = result.status == 200;
    if (!result.ok) result.error = "HTTP status " + std::to_string(result.status);
    result.body = x.reader.Body();
    location = x.reader.Location();
    return result;
  }

  std::string location;  // of the last answer
};

HttpClient::HttpClient(Resolver resolve) : impl_(std::make_unique<Impl>()) { impl_->resolve = std::move(resolve); }
HttpClient::~HttpClient() = default;

void HttpClient::Close() { impl_->Close(); }

void HttpClient::Cancel() {
  impl_->cancelled = true;
  // Runs on the thread in Get (or at the next run, which then sees the flag).
  asio::post(impl_->io, [impl = impl_.get()] {
    if (impl->current) impl->Finish(*impl->current, "cancelled");
  });
}

namespace {

bool IsRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

// Where a Location leads from `base`: absolute, scheme-relative,
// host-relative or relative to the base's folder. Empty `why` on success.
std::optional<Url> Follow(const Url& base, std::string location, std::string& why) {
  location = location.substr(0, location.find('#'));
  if (location.size() >= 8 && EqualNoCase(std::string_view(location).substr(0, 8), "https://")) {
    why = "redirected to https, which this client does not speak";
    return std::nullopt;
  }
  std::string absolute;
  if (location.size() >= 7 && EqualNoCase(std::string_view(location).substr(0, 7), "http://")) {
    absolute = location;
  } else if (location.rfind("//", 0) == 0) {
    absolute = "http:" + location;
  } else {
    std::string authority = base.host + (base.port != 80 ? ":" + std::to_string(base.port) : "");
    if (location.rfind('/', 0) == 0) {
      absolute = "http://" + authority + location;
    } else {
      std::string folder = base.target.substr(0, base.target.find('?'));
      folder = folder.substr(0, folder.rfind('/') + 1);
      absolute = "http://" + authority + folder + location;
    }
  }
  auto url = ParseUrl(absolute);
  if (!url) why = "redirected to an address this client cannot use: " + location;
  return url;
}

}  // namespace

HttpResult HttpClient::Get(const Url& url, const std::vector<std::string>& headers, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  Url at = url;
  for (int redirects = 0;; ++redirects) {
    std::string request = "GET " + at.target + " HTTP/1.1\r\nHost: " + at.host;
    if (at.port != 80) request += ":" + std::to_string(at.port);
    request += "\r\nConnection: keep-alive\r\nAccept: */*\r\n";
    for (const auto& h : headers) request += h + "\r\n";
    request += "\r\n";
    bool reused, gotBytes;
    HttpResult result = impl_->Once(at, request, deadline, reused, gotBytes);
    // A kept-alive connection the server has closed meanwhile: once more on a new one.
    if (!result.ok && result.status == 0 && reused && !gotBytes && !impl_->cancelled &&
        std::chrono::steady_clock::now() < deadline)
      result = impl_->Once(at, request, deadline, reused, gotBytes);
    if (!IsRedirect(result.status) || impl_->location.empty()) return result;
    if (redirects == kMaxRedirects) {
      result.ok = false;
      result.error = "more than " + std::to_string(kMaxRedirects) + " redirects";
      return result;
    }
    std::string why;
    auto next = Follow(at, impl_->location, why);
    if (!next) {
      result.error = why;
      return result;
    }
    at = *next;
  }
}

}  // namespace engine

namespace engine {
namespace {

class SocketTransport : public ITransport {
 public:
  HttpResult Get(const std::string& address, const std::vector<std::string>& headers,
                 std::chrono::milliseconds deadline) override {
    auto url = ParseUrl(address);
    if (!url) {
      HttpResult failed;
      failed.error = "not an http address";
      return failed;
    }
    try {
      return client_.Get(*url, headers, deadline);
    } catch (const std::exception& e) {
      HttpResult failed;
      failed.error = e.what();
      return failed;
    }
  }
  void Cancel() override { client_.Cancel(); }

 private:
  HttpClient client_;
};

}  // namespace

std::unique_ptr<ITransport> MakeSocketTransport() { return std::make_unique<SocketTransport>(); }

}  // namespace engine
