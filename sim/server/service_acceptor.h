// The listener every service opens on options.host, and the accept loop
// of the services that answer each connection on its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "sim_server.h"

namespace simserver {

// A listening acceptor on host:port (address reuse on); asio::system_error
// (a std::runtime_error) when the address or port cannot be had.
asio::ip::tcp::acceptor OpenServiceAcceptor(asio::io_context& io, const std::string& host, uint16_t port);

// A service that hands every connection accepted on host:port to
// `onConnection` until it is destroyed; throws as OpenServiceAcceptor.
ServicePtr AcceptConnections(asio::io_context& io, const std::string& host, uint16_t port,
                             std::function<void(asio::ip::tcp::socket)> onConnection);

}  // namespace simserver
