#include "account/unt_udprecvmsg.h"

#include <algorithm>

// GCC 12 takes the sized delete of Asio's coroutine frames for a mismatch
// with their allocation (a known false alarm of -Wmismatched-new-delete).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

namespace account {

int TReconnectPause::Next() {
  next_ = next_ == 0 ? first_ : std::min(cap_, next_ * 2);
  return next_;
}

namespace {
constexpr auto kTuple = asio::experimental::as_tuple(asio::use_awaitable);
}  // namespace

struct TMessageConnection::Io {
  asio::io_context context;
  asio::ip::tcp::socket socket{context};
  asio::ip::tcp::resolver resolver{context};
  asio::steady_timer pause{context};
  std::string host;
  uint16_t port = 0;
  MessageConnectionEvents events;
};

TMessageConnection::TMessageConnection(MessageConnectionOptions options)
    : options_(options), io_(std::make_unique<Io>()) {}

TMessageConnection::~TMessageConnection() { Stop(); }

void TMessageConnection::Start(const std::string& host, uint16_t port, MessageConnectionEvents events) {
  if (thread_.joinable()) {
    if (!finished_) return;
    thread_.join();  // a reader that ended by itself
  }
  finished_ = false;
  connections_ = 0;
  io_->host = host;
  io_->port = port;
  io_->events = std::move(events);
  stop_ = false;
  io_->context.restart();
  thread_ = std::thread([this] { Run(); });
}

void TMessageConnection::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  // Runs after every send posted before, on the reader's own thread.
  asio::post(io_->context, [io = io_.get()] {
    std::error_code ec;
    io->resolver.cancel();
    io->pause.cancel();
    io->socket.close(ec);
  });
  thread_.join();
  connected_ = false;
}

bool TMessageConnection::Send(std::vector<unsigned char> bytes) {
  if (!connected_ || !thread_.joinable()) return false;
  asio::post(io_->context, [this, bytes = std::move(bytes)] {
    if (!io_->socket.is_open()) return;
    std::error_code ec;
    asio::write(io_->socket, asio::buffer(bytes), ec);
    if (ec) {
      connected_ = false;
      io_->socket.close(ec);
    }
  });
  return true;
}

void TMessageConnection::Run() {
  Io& io = *io_;
  auto reader = [this, &io]() -> asio::awaitable<void> {
    TReconnectPause pauses(options_.firstReconnectPauseMs, options_.maxReconnectPauseMs);
    auto pause = [&io](int ms) -> asio::awaitable<void> {
      io.pause.expires_after(std::chrono::milliseconds(ms));
      co_await io.pause.async_wait(kTuple);
    };
    auto drop = [this, &io] {
      connected_ = false;
      std::error_code ec;
      io.socket.close(ec);
    };
    while (!stop_) {
      if (!io.socket.is_open()) {
        // One attempt, given up after the time-out.
        auto done = std::make_shared<bool>(false);
        asio::steady_timer deadline(io.context, std::chrono::milliseconds(options_.connectTimeoutMs));
        deadline.async_wait([&io, done](std::error_code ec) {
          if (ec || *done) return;
          io.resolver.cancel();
          std::error_code ignored;
          io.socket.close(ignored);
        });
        auto [rec, endpoints] = co_await io.resolver.async_resolve(io.host, std::to_string(io.port), kTuple);
        std::error_code cec = rec;
        if (!cec && !stop_) std::tie(cec, std::ignore) = co_await asio::async_connect(io.socket, endpoints, kTuple);
        *done = true;
        deadline.cancel();
        if (stop_) break;
        if (cec || !io.socket.is_open()) {
          drop();
          const int ms = pauses.Next();
          if (io.events.onReconnectPause) io.events.onReconnectPause(ms);
          co_await pause(ms);
          continue;
        }
        pauses.Reset();
        SwitchKeepAliveOn(static_cast<uintptr_t>(io.socket.native_handle()));
        connected_ = true;
        if (io.events.onConnected) io.events.onConnected(++connections_);
      }
      FrameBytes frame{};
      auto [ec, n] = co_await asio::async_read(io.socket, asio::buffer(frame), kTuple);
      (void)n;
      if (ec) {
        drop();
        frame.fill(0);
      }
      if (stop_) break;
      if (!ec && io.events.onFrame) io.events.onFrame(frame);
      co_await pause(options_.framePauseMs);
    }
    drop();
  };
  asio::co_spawn(io.context, reader(), asio::detached);
  try {
    io.context.run();
  } catch (...) {
    // A handler that threw ends the reader; the session sees it disconnected.
  }
  connected_ = false;
  std::error_code ec;
  io.socket.close(ec);
  finished_ = true;
}

}  // namespace account
