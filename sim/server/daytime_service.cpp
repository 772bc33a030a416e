// The Daytime service (RFC 867, daytimePort on --host): each connection gets
// the server's UTC time in the NIST form the program reads by position,
// "MJD YY-MM-DD hh:mm:ss TT L H mmm.0 UTC(NIST) *" with the milliseconds
// where NIST puts its advance, and is closed. Records "daytime" (peer, reply).
#include <asio.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "service_acceptor.h"
#include "sim_server.h"

namespace simserver {
namespace {

using asio::ip::tcp;

std::string DaytimeReply() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  const long mjd = static_cast<long>(seconds / 86400) + 40587;
  char text[80];
  std::snprintf(text, sizeof text, "\n%05ld %02d-%02d-%02d %02d:%02d:%02d 00 0 0 %03d.0 UTC(NIST) * \n", mjd,
                utc.tm_year % 100, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms % 1000));
  return text;
}

// Writes the reply, records it and ends the connection.
void Answer(tcp::socket socket, Recorder& recorder) {
  auto s = std::make_shared<tcp::socket>(std::move(socket));
  auto reply = std::make_shared<std::string>(DaytimeReply());
  asio::error_code ec;
  const auto peer = s->remote_endpoint(ec);
  recorder.Write({{"event", "daytime"}, {"peer", ec ? std::string() : peer.address().to_string()}, {"reply", *reply}});
  asio::async_write(*s, asio::buffer(*reply), [s, reply](const asio::error_code&, size_t) {
    // The end of the reply is the end of the connection.
    asio::error_code ignored;
    s->shutdown(tcp::socket::shutdown_both, ignored);
    s->close(ignored);
  });
}

}  // namespace

ServicePtr StartDaytime(asio::io_context& io, const ServerOptions& options, Recorder& recorder, ControlHooks&) {
  try {
    return AcceptConnections(io, options.host, options.daytimePort,
                             [&recorder](tcp::socket socket) { Answer(std::move(socket), recorder); });
  } catch (const std::exception& e) {
    // Port 13 needs the right to bind a low port; the other services do
    // not, and a scenario without the clock still runs.
    std::fprintf(stderr, "quorvel-sim-server: no Daytime service on %s:%u: %s\n", options.host.c_str(),
                 static_cast<unsigned>(options.daytimePort), e.what());
    return nullptr;
  }
}

}  // namespace simserver
