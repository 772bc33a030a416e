// The listener the account and message services open on options.host.
#pragma once

#include <cstdint>
#include <string>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

namespace simserver {

// A listening acceptor on host:port (address reuse on); asio::system_error
// (a std::runtime_error) when the address or port cannot be had.
asio::ip::tcp::acceptor OpenServiceAcceptor(asio::io_context& io, const std::string& host, uint16_t port);

}  // namespace simserver
