#include "service_acceptor.h"

#include <asio.hpp>

#include <memory>

namespace simserver {

using asio::ip::tcp;

tcp::acceptor OpenServiceAcceptor(asio::io_context& io, const std::string& host, uint16_t port) {
  tcp::acceptor acceptor(io);
  const tcp::endpoint at(asio::ip::make_address(host), port);
  acceptor.open(at.protocol());
  acceptor.set_option(tcp::acceptor::reuse_address(true));
  acceptor.bind(at);
  acceptor.listen();
  return acceptor;
}

namespace {

class ConnectionService : public Service {
 public:
  ConnectionService(asio::io_context& io, const std::string& host, uint16_t port,
                    std::function<void(tcp::socket)> onConnection)
      : acceptor_(std::make_shared<tcp::acceptor>(OpenServiceAcceptor(io, host, port))),
        onConnection_(std::make_shared<std::function<void(tcp::socket)>>(std::move(onConnection))) {
    Accept(acceptor_, onConnection_);
  }
  ~ConnectionService() override {
    asio::error_code ec;
    acceptor_->close(ec);
  }

 private:
  // Holds what it needs itself: a completion may still run after the
  // service has gone, and then stops at the closed acceptor.
  static void Accept(std::shared_ptr<tcp::acceptor> acceptor,
                     std::shared_ptr<std::function<void(tcp::socket)>> onConnection) {
    acceptor->async_accept([acceptor, onConnection](const asio::error_code& ec, tcp::socket socket) {
      if (!acceptor->is_open()) return;
      if (!ec) (*onConnection)(std::move(socket));
      Accept(acceptor, onConnection);
    });
  }

  std::shared_ptr<tcp::acceptor> acceptor_;
  std::shared_ptr<std::function<void(tcp::socket)>> onConnection_;
};

}  // namespace

ServicePtr AcceptConnections(asio::io_context& io, const std::string& host, uint16_t port,
                             std::function<void(tcp::socket)> onConnection) {
  return std::make_unique<ConnectionService>(io, host, port, std::move(onConnection));
}

}  // namespace simserver
