#include "account/unt_udprecvmsg.h"

#include <algorithm>
#include <deque>

#include <asio.hpp>

#include "base/worker.h"

namespace account {

int TReconnectPause::Next() {
  next_ = next_ == 0 ? first_ : std::min(cap_, next_ * 2);
  return next_;
}

struct TMessageConnection::Io {
  asio::io_context context;
  asio::ip::tcp::socket socket{context};
  asio::ip::tcp::resolver resolver{context};
  asio::steady_timer pause{context};
  asio::steady_timer deadline{context};
  std::string host;
  uint16_t port = 0;
  MessageConnectionEvents events;
  TReconnectPause pauses{250, 4000};
  FrameBytes frame{};
  // Sends not yet written, the first one in progress. Writes are
  // asynchronous so that a server that stops reading never blocks the
  // reader: a stop still ends it at once.
  std::deque<std::vector<unsigned char>> outbox;
};

TMessageConnection::TMessageConnection(MessageConnectionOptions options)
    : options_(options), io_(std::make_unique<Io>()) {
  io_->pauses = TReconnectPause(options_.firstReconnectPauseMs, options_.maxReconnectPauseMs);
}

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
  io_->pauses.Reset();
  stop_ = false;
  io_->context.restart();
  thread_ = base::StartWorker([this] { Run(); });
}

void TMessageConnection::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  // Runs after every send posted before, on the reader's own thread; every
  // operation in flight then ends at once and schedules nothing more.
  asio::post(io_->context, [io = io_.get()] {
    std::error_code ec;
    io->resolver.cancel();
    io->pause.cancel();
    io->deadline.cancel();
    io->socket.close(ec);
  });
  thread_.join();
  connected_ = false;
}

bool TMessageConnection::Send(std::vector<unsigned char> bytes) {
  if (!connected_ || !thread_.joinable()) return false;
  asio::post(io_->context, [this, bytes = std::move(bytes)]() mutable {
    if (!io_->socket.is_open()) return;
    io_->outbox.push_back(std::move(bytes));
    if (io_->outbox.size() == 1) WriteNext();
  });
  return true;
}

void TMessageConnection::WriteNext() {
  asio::async_write(io_->socket, asio::buffer(io_->outbox.front()), [this](std::error_code ec, size_t) {
    if (ec) {
      // The connection is gone; what it did not take is not sent.
      io_->outbox.clear();
      return Drop();
    }
    io_->outbox.pop_front();
    if (!io_->outbox.empty()) WriteNext();
  });
}

void TMessageConnection::Run() {
  asio::post(io_->context, [this] { Step(); });
  try {
    io_->context.run();
  } catch (...) {
    // A handler that threw ends the reader; the session sees it disconnected.
  }
  io_->outbox.clear();
  Drop();
  finished_ = true;
}

void TMessageConnection::Drop() {
  connected_ = false;
  std::error_code ec;
  io_->socket.close(ec);
}

// The reader's loop, one asynchronous step after another on its thread:
// connect while down, else read the next frame.
void TMessageConnection::Step() {
  Io& io = *io_;
  if (stop_) return Drop();
  if (io.socket.is_open()) return ReadFrame();
  // One attempt, given up after the time-out.
  auto done = std::make_shared<bool>(false);
  io.deadline.expires_after(std::chrono::milliseconds(options_.connectTimeoutMs));
  io.deadline.async_wait([this, done](std::error_code ec) {
    if (ec || *done) return;
    io_->resolver.cancel();
    std::error_code ignored;
    io_->socket.close(ignored);
  });
  io.resolver.async_resolve(
      io.host, std::to_string(io.port),
      [this, done](std::error_code ec, const asio::ip::tcp::resolver::results_type& endpoints) {
        if (ec || stop_) return ConnectFailed(done);
        asio::async_connect(io_->socket, endpoints, [this, done](std::error_code cec, const asio::ip::tcp::endpoint&) {
          if (cec || stop_ || !io_->socket.is_open()) return ConnectFailed(done);
          *done = true;
          io_->deadline.cancel();
          io_->pauses.Reset();
          SwitchKeepAliveOn(static_cast<uintptr_t>(io_->socket.native_handle()));
          connected_ = true;
          if (io_->events.onConnected) io_->events.onConnected(++connections_);
          ReadFrame();
        });
      });
}

void TMessageConnection::ConnectFailed(const std::shared_ptr<bool>& done) {
  *done = true;
  io_->deadline.cancel();
  Drop();
  if (stop_) return;
  const int ms = io_->pauses.Next();
  if (io_->events.onReconnectPause) io_->events.onReconnectPause(ms);
  Pause(ms);
}

void TMessageConnection::Pause(int ms) {
  io_->pause.expires_after(std::chrono::milliseconds(ms));
  io_->pause.async_wait([this](std::error_code) { Step(); });
}

void TMessageConnection::ReadFrame() {
  io_->frame.fill(0);
  asio::async_read(io_->socket, asio::buffer(io_->frame), [this](std::error_code ec, size_t) {
    // A read error drops the connection; the frame then counts as empty.
    if (ec) Drop();
    if (stop_) return Drop();
    if (!ec && io_->events.onFrame) io_->events.onFrame(io_->frame);
    Pause(options_.framePauseMs);
  });
}

}  // namespace account
