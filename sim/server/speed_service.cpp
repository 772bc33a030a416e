// The speed-probe target (speedPort on --host): accepts connections, as the
// quote server's port 8080 does for the program's delay measurement, and
// closes each when its client does. Records "speed-probe" (peer).
#include <asio.hpp>

#include <array>
#include <memory>

#include "service_acceptor.h"
#include "sim_server.h"

namespace simserver {
namespace {

using asio::ip::tcp;

// Reads (and drops) until the client closes, then closes too.
void Drain(std::shared_ptr<tcp::socket> s, std::shared_ptr<std::array<char, 256>> buffer) {
  s->async_read_some(asio::buffer(*buffer), [s, buffer](const asio::error_code& ec, size_t) {
    if (ec) {
      asio::error_code ignored;
      s->close(ignored);
      return;
    }
    Drain(s, buffer);
  });
}

void Hold(tcp::socket socket, Recorder& recorder) {
  auto s = std::make_shared<tcp::socket>(std::move(socket));
  asio::error_code ec;
  const auto peer = s->remote_endpoint(ec);
  recorder.Write({{"event", "speed-probe"}, {"peer", ec ? std::string() : peer.address().to_string()}});
  Drain(s, std::make_shared<std::array<char, 256>>());
}

}  // namespace

ServicePtr StartSpeedProbeTarget(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                                 ControlHooks&) {
  return AcceptConnections(io, options.host, options.speedPort,
                           [&recorder](tcp::socket socket) { Hold(std::move(socket), recorder); });
}

}  // namespace simserver
