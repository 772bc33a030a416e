// The stand-in server's Daytime service and speed-probe target, met by the
// program's own clients: the reply reads, by position, as the server's UTC
// time, and the probe's connect is made and recorded.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <fstream>
#include <thread>

#include "base/datetime.h"
#include "sim_server.h"
#include "support/temp_dir.h"
#include "utilities/unt_netclient.h"
#include "utilities/unt_synclocaltime.h"

namespace {

TEST(SimServerUtilities, DaytimeReplyIsTheUtcTimeAndTheProbeTargetAccepts) {
  testing_support::TempDir dir;
  simserver::ServerOptions options;
  options.host = "127.0.41.13";
  simserver::Recorder recorder(dir.File("record.jsonl"));
  simserver::ControlHooks hooks;
  asio::io_context io;
  std::vector<simserver::ServicePtr> services;
  services.push_back(simserver::StartDaytime(io, options, recorder, hooks));
  ASSERT_TRUE(services.back()) << "port 13 could not be bound";
  services.push_back(simserver::StartSpeedProbeTarget(io, options, recorder, hooks));
  std::thread runner([&io] { io.run(); });

  const auto reply = utilities::FetchDaytime(options.host, options.daytimePort, 5000);
  const auto now = std::chrono::system_clock::now();
  std::atomic<bool> stop{false};
  const bool probed = utilities::ConnectOnce(options.host, options.speedPort, 5000, stop);
  // The client's connect can complete before the server has run its accept:
  // the server is stopped only once the probe is on record (or after 5 s).
  const auto recorded = [&] {
    std::ifstream in(dir.File("record.jsonl"));
    return std::string((std::istreambuf_iterator<char>(in)), {}).find("\"event\":\"speed-probe\"") !=
           std::string::npos;
  };
  for (int i = 0; i < 500 && probed && !recorded(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  io.stop();
  runner.join();

  ASSERT_TRUE(reply);
  const auto utc = utilities::ParseDaytimeReply(*reply, 0);
  ASSERT_TRUE(utc) << *reply;
  const double served = base::EncodeDateTime(utc->year, utc->month, utc->day, utc->hour, utc->minute, utc->second,
                                             utc->millisecond);
  const double unixMs = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const double expected = base::kUnixEpochDay + unixMs / base::kMsecsPerDay;
  EXPECT_NEAR((served - expected) * base::kSecondsPerDay, 0.0, 2.0);
  EXPECT_TRUE(probed);
  std::ifstream in(dir.File("record.jsonl"));
  const std::string record((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(record.find("\"event\":\"daytime\""), std::string::npos);
  EXPECT_NE(record.find("\"event\":\"speed-probe\""), std::string::npos);
}

}  // namespace
