#include "utilities/unt_netclient.h"

#include <chrono>

#include <asio.hpp>

namespace utilities {

using asio::ip::tcp;

std::optional<std::string> FetchDaytime(const std::string& host, uint16_t port, int timeoutMs) {
  constexpr size_t kMaxReply = 4096;
  asio::io_context io;
  tcp::resolver resolver(io);
  tcp::socket socket(io);
  std::string reply;
  bool complete = false;
  resolver.async_resolve(host, std::to_string(port), [&](const std::error_code& ec, tcp::resolver::results_type r) {
    if (ec) return;
    asio::async_connect(socket, r, [&](const std::error_code& ec2, const tcp::endpoint&) {
      if (ec2) return;
      asio::async_read(socket, asio::dynamic_buffer(reply, kMaxReply), [&](const std::error_code& ec3, size_t) {
        // The reply ends where the server closes the connection.
        complete = ec3 == asio::error::eof;
      });
    });
  });
  io.run_for(std::chrono::milliseconds(timeoutMs));
  if (!complete) return std::nullopt;
  return reply;
}

bool ConnectOnce(const std::string& host, uint16_t port, int timeoutMs, const std::atomic<bool>& stop) {
  asio::io_context io;
  tcp::resolver resolver(io);
  tcp::socket socket(io);
  bool connected = false;
  bool finished = false;
  resolver.async_resolve(host, std::to_string(port), [&](const std::error_code& ec, tcp::resolver::results_type r) {
    if (ec) {
      finished = true;
      return;
    }
    asio::async_connect(socket, r, [&](const std::error_code& ec2, const tcp::endpoint&) {
      connected = !ec2;
      finished = true;
    });
  });
  // In slices, so that the program's end does not wait for a slow server.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!finished && !stop && std::chrono::steady_clock::now() < deadline) {
    io.run_for(std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(100),
                                                             deadline - std::chrono::steady_clock::now()));
  }
  std::error_code ec;
  socket.close(ec);
  return connected && finished;
}

}  // namespace utilities
