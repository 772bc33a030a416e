// A scripted HTTP server on 127.0.0.1 for the transport tests: each request
// head it reads is handed to `reply`, which says what bytes go back (or
// that the server stays silent on that connection). It keeps connections
// open unless told to close, records the request heads and the number of
// connections, and stops by itself when destroyed. One thread runs it all.
#pragma once

#include <asio.hpp>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qvtest {

struct LoopbackReply {
  std::string bytes;  // sent as they are
  bool close = false;   // close the connection after sending
  bool silent = false;  // send nothing, keep the connection open and read no more
};

class LoopbackHttp {
 public:
  // `reply` gets the request head (up to and without the empty line) and
  // the request's number, counting from 0 over all connections.
  explicit LoopbackHttp(std::function<LoopbackReply(const std::string& head, int n)> reply)
      : reply_(std::move(reply)) {
    acceptor_.open(asio::ip::tcp::v4());
    acceptor_.bind({asio::ip::make_address("127.0.0.1"), 0});
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~LoopbackHttp() {
    asio::post(io_, [this] {
      std::error_code ignored;
      acceptor_.close(ignored);
      for (auto& s : sockets_) s->close(ignored);
      io_.stop();
    });
    thread_.join();
  }
  LoopbackHttp(const LoopbackHttp&) = delete;
  LoopbackHttp& operator=(const LoopbackHttp&) = delete;

  uint16_t Port() const { return port_; }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> Heads() const {
    std::lock_guard lock(mutex_);
    return heads_;
  }
  int Connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
  }

 private:
  using Socket = std::shared_ptr<asio::ip::tcp::socket>;

  void Accept() {
    auto socket = std::make_shared<asio::ip::tcp::socket>(io_);
    acceptor_.async_accept(*socket, [this, socket](std::error_code ec) {
      if (ec) return;
      {
        std::lock_guard lock(mutex_);
        ++connections_;
      }
      sockets_.insert(socket);
      Serve(socket, std::make_shared<std::string>());
      Accept();
    });
  }

  void Drop(const Socket& socket) {
    std::error_code ignored;
    socket->close(ignored);
    sockets_.erase(socket);
  }

  void Serve(Socket socket, std::shared_ptr<std::string> buffer) {
    size_t end = buffer->find("\r\n\r\n");
    if (end == std::string::npos) {
      auto chunk = std::make_shared<std::array<char, 4096>>();
      socket->async_read_some(asio::buffer(*chunk), [this, socket, buffer, chunk](std::error_code ec, size_t n) {
        if (ec) return Drop(socket);
        buffer->append(chunk->data(), n);
        Serve(socket, buffer);
      });
      return;
    }
    std::string head = buffer->substr(0, end);
    buffer->erase(0, end + 4);
    int n;
    {
      std::lock_guard lock(mutex_);
      n = static_cast<int>(heads_.size());
      heads_.push_back(head);
    }
    auto reply = std::make_shared<LoopbackReply>(reply_(head, n));
    if (reply->silent) return;  // the socket stays open until the server stops
    asio::async_write(*socket, asio::buffer(reply->bytes), [this, socket, buffer, reply](std::error_code ec, size_t) {
      if (ec || reply->close) return Drop(socket);
      Serve(socket, buffer);
    });
  }

  std::function<LoopbackReply(const std::string&, int)> reply_;
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_{io_};
  std::set<Socket> sockets_;
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> heads_;
  int connections_ = 0;
  std::thread thread_;
};

// The target of a request head ("GET /a HTTP/1.1" gives "/a").
inline std::string TargetOf(const std::string& head) {
  size_t a = head.find(' '), b = head.find(' ', a + 1);
  return a == std::string::npos || b == std::string::npos ? std::string() : head.substr(a + 1, b - a - 1);
}

}  // namespace qvtest
