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

class SpeedService : public Service {
 public:
  SpeedService(asio::io_context& io, const ServerOptions& options, Recorder& recorder)
      : acceptor_(std::make_shared<tcp::acceptor>(OpenServiceAcceptor(io, options.host, options.speedPort))),
        recorder_(recorder) {
    Accept();
  }
  ~SpeedService() override {
    asio::error_code ec;
    acceptor_->close(ec);
  }

 private:
  void Accept() {
    acceptor_->async_accept([this, acceptor = acceptor_](const asio::error_code& ec, tcp::socket socket) {
      if (!acceptor->is_open()) return;
      if (!ec) Hold(std::move(socket));
      Accept();
    });
  }
  // Reads (and drops) until the client closes, then closes too.
  void Hold(tcp::socket socket) {
    auto s = std::make_shared<tcp::socket>(std::move(socket));
    asio::error_code ec;
    const auto peer = s->remote_endpoint(ec);
    recorder_.Write({{"event", "speed-probe"}, {"peer", ec ? std::string() : peer.address().to_string()}});
    Drain(s, std::make_shared<std::array<char, 256>>());
  }
  static void Drain(std::shared_ptr<tcp::socket> s, std::shared_ptr<std::array<char, 256>> buffer) {
    s->async_read_some(asio::buffer(*buffer), [s, buffer](const asio::error_code& ec, size_t) {
      if (ec) {
        asio::error_code ignored;
        s->close(ignored);
        return;
      }
      Drain(s, buffer);
    });
  }

  std::shared_ptr<tcp::acceptor> acceptor_;
  Recorder& recorder_;
};

}  // namespace

ServicePtr StartSpeedProbeTarget(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                                 ControlHooks&) {
  return std::make_unique<SpeedService>(io, options, recorder);
}

}  // namespace simserver
