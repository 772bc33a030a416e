// quorvel-sim-server: every stand-in service on one loopback address, until
// SIGTERM or SIGINT. Prints one line "quorvel-sim-server ready on HOST" when
// every listener is bound, so that a test can wait for it.
#include <asio.hpp>

#include <cstdio>
#include <exception>
#include <iostream>

#include "sim_server.h"

int main(int argc, char** argv) {
  using namespace simserver;
  ParsedOptions parsed = ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::cout << ServerUsage();
    return 0;
  }
  if (!parsed.ok) {
    std::cerr << "quorvel-sim-server: " << parsed.error << "\n" << ServerUsage();
    return 2;
  }
  const ServerOptions& options = parsed.options;
  Recorder recorder(options.recordPath);
  ControlHooks hooks;
  asio::io_context io;
  std::vector<ServicePtr> services;
  try {
    // The web pages last: their control interface uses the others' hooks.
    services.push_back(StartQuoteFeed(io, options, recorder, hooks));
    services.push_back(StartMessageService(io, options, recorder, hooks));
    services.push_back(StartAccountService(io, options, recorder, hooks));
    services.push_back(StartFileService(io, options, recorder, hooks));
    services.push_back(StartDaytime(io, options, recorder, hooks));
    services.push_back(StartSpeedProbeTarget(io, options, recorder, hooks));
    services.push_back(StartWebPages(io, options, recorder, hooks));
  } catch (const std::exception& e) {
    std::cerr << "quorvel-sim-server: " << e.what() << "\n";
    return 1;
  }
  asio::signal_set signals(io, SIGTERM, SIGINT);
  signals.async_wait([&](const std::error_code&, int) { io.stop(); });
  recorder.Write({{"event", "server-start"}, {"host", options.host}});
  std::cout << "quorvel-sim-server ready on " << options.host << std::endl;
  io.run();
  // The web pages first, so that no control request reaches a service
  // that is going away.
  while (!services.empty()) services.pop_back();
  recorder.Write({{"event", "server-stop"}});
  return 0;
}
