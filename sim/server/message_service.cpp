// The message connection service: programs connect, report presence and
// broadcast text lines; the server pushes 1646-byte frames to all of them.
#include <deque>
#include <memory>
#include <set>

#include <asio.hpp>

#include "base/gbk.h"
#include "message_packet.h"
#include "service_acceptor.h"
#include "sim_server.h"

namespace simserver {
namespace {

using asio::ip::tcp;

class MessageConnection : public std::enable_shared_from_this<MessageConnection> {
 public:
  explicit MessageConnection(tcp::socket socket) : socket_(std::move(socket)) {}

  tcp::socket& socket() { return socket_; }

  // Queues the frame behind any others; safe from any thread.
  void Send(std::shared_ptr<const MessageFrame> frame) {
    asio::post(socket_.get_executor(), [self = shared_from_this(), frame = std::move(frame)] {
      if (!self->socket_.is_open()) return;
      self->queue_.push_back(frame);
      if (self->queue_.size() == 1) self->WriteNext();
    });
  }

  void Close() {
    asio::error_code ec;
    socket_.shutdown(tcp::socket::shutdown_both, ec);
    socket_.close(ec);
  }

 private:
  void WriteNext() {
    asio::async_write(socket_, asio::buffer(*queue_.front()),
                      [self = shared_from_this()](const asio::error_code& ec, size_t) {
                        self->queue_.pop_front();
                        if (ec) {
                          self->queue_.clear();
                          self->Close();
                        } else if (!self->queue_.empty()) {
                          self->WriteNext();
                        }
                      });
  }

  tcp::socket socket_;
  std::deque<std::shared_ptr<const MessageFrame>> queue_;
};

class MessageHub {
 public:
  explicit MessageHub(Recorder& recorder) : recorder_(recorder) {}

  int Push(const MessageFrame& frame) {
    auto shared = std::make_shared<const MessageFrame>(frame);
    std::lock_guard lock(mutex_);
    for (auto& c : connections_) c->Send(shared);
    return static_cast<int>(connections_.size());
  }

  int Count() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(connections_.size());
  }

  // With the io_context stopped: nothing else uses the sockets.
  void CloseAll() {
    std::lock_guard lock(mutex_);
    for (auto& c : connections_) c->Close();
  }

  asio::awaitable<void> Serve(std::shared_ptr<MessageConnection> c) {
    asio::error_code ec;
    const auto peer = c->socket().remote_endpoint(ec);
    const std::string peerText = ec ? "?" : peer.address().to_string() + ":" + std::to_string(peer.port());
    {
      std::lock_guard lock(mutex_);
      connections_.insert(c);
    }
    recorder_.Write({{"event", "message-connection"}, {"open", true}, {"peer", peerText}});
    MessageStreamParser parser;
    std::string user;
    char buffer[4096];
    for (bool open = true; open;) {
      const size_t n = co_await c->socket().async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) break;
      parser.Feed(buffer, n);
      OutboundMessage m;
      for (;;) {
        const auto result = parser.Next(m);
        if (result == MessageStreamParser::Result::NeedMore) break;
        if (result == MessageStreamParser::Result::Error) {
          recorder_.Write({{"event", "message-error"}, {"peer", peerText}, {"error", parser.error()}});
          open = false;
          break;
        }
        user = base::GbkToUtf8Lossy(m.user);
        Handle(m, user);
      }
    }
    {
      std::lock_guard lock(mutex_);
      connections_.erase(c);
    }
    c->Close();
    recorder_.Write({{"event", "message-connection"}, {"open", false}, {"peer", peerText}, {"user", user}});
  }

 private:
  void Handle(const OutboundMessage& m, const std::string& user) {
    if (m.type == 1000 || m.type == 1001) {
      recorder_.Write({{"event", "presence"}, {"user", user}, {"online", m.type == 1000}});
    } else if (m.type == 3007) {
      recorder_.Write({{"event", "message"}, {"type", m.type}, {"user", user},
                       {"text", base::GbkToUtf8Lossy(MessageText(m))}});
    } else {
      recorder_.Write({{"event", "message"}, {"type", m.type}, {"user", user}, {"bytes", m.body.size()}});
    }
  }

  Recorder& recorder_;
  std::mutex mutex_;
  std::set<std::shared_ptr<MessageConnection>> connections_;
};

asio::awaitable<void> AcceptLoop(std::shared_ptr<tcp::acceptor> acceptor, std::shared_ptr<MessageHub> hub) {
  for (;;) {
    asio::error_code ec;
    tcp::socket socket(asio::make_strand(acceptor->get_executor()));
    co_await acceptor->async_accept(socket, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) {
      if (!acceptor->is_open()) co_return;
      continue;
    }
    auto c = std::make_shared<MessageConnection>(std::move(socket));
    asio::co_spawn(c->socket().get_executor(), hub->Serve(c), [](std::exception_ptr) {});
  }
}

class MessageService : public Service {
 public:
  MessageService(std::shared_ptr<tcp::acceptor> acceptor, std::shared_ptr<MessageHub> hub)
      : acceptor_(std::move(acceptor)), hub_(std::move(hub)) {}
  ~MessageService() override {
    asio::error_code ec;
    acceptor_->close(ec);
    hub_->CloseAll();
  }

 private:
  std::shared_ptr<tcp::acceptor> acceptor_;
  std::shared_ptr<MessageHub> hub_;
};

}  // namespace

ServicePtr StartMessageService(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                               ControlHooks& hooks) {
  auto hub = std::make_shared<MessageHub>(recorder);
  auto acceptor = std::make_shared<tcp::acceptor>(OpenServiceAcceptor(io, options.host, options.messagePort));
  hooks.pushFrame = [hub](const MessageFrame& frame) { return hub->Push(frame); };
  hooks.statusParts.push_back([hub](nlohmann::json& status) { status["messageConnections"] = hub->Count(); });
  asio::co_spawn(io, AcceptLoop(acceptor, hub), [](std::exception_ptr) {});
  return std::make_unique<MessageService>(acceptor, hub);
}

}  // namespace simserver
