// quorvel-sim-server: the stand-in for the vendor's servers (account service,
// message connection, quote feed, vendor web pages, ...), one native program
// on one loopback address. Each service is its own unit; this header holds
// what they share: the options, the users, the record of what programs did,
// and the hooks the control interface uses to reach the services.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace simserver {

// One user the account service knows, with the user information it reports.
struct SimUser {
  std::string name;
  std::string password;  // empty: any non-empty password is accepted
  int32_t userType = 1;  // 2 = VIP
  std::string displayName;
  std::string email;
  std::string qq;
  std::string registered = "2025-03-01 09:30:00";
  int32_t onlineSeconds = 0;
  int32_t levelPicture = 1;
  int32_t level = 1;
  int32_t secondsToNextLevel = 3600;
};

struct ServerOptions {
  std::string host = "127.0.0.1";
  uint16_t accountPort = 8085;
  uint16_t messagePort = 8081;
  uint16_t filePort = 8082;
  uint16_t speedPort = 8080;
  uint16_t daytimePort = 13;
  uint16_t webPort = 80;
  uint16_t quotePort = 7709;
  std::vector<SimUser> users;
  std::string tapePath;   // --tape: the quote tape to play
  int paceMs = 0;         // --pace-ms: pause between tape rows
  std::string profilesDir;
  std::string recordPath;  // --record: one JSON object per line
  std::string webDir;      // --web-dir: extra files served by the web pages
};

// Everything a program did to the server, one JSON object per line, written
// at once so that a test can read the file while the server runs.
class Recorder {
 public:
  explicit Recorder(std::string path);
  // Adds "time" (local, "YYYY-MM-DD hh:mm:ss.zzz") and writes the line;
  // safe from any thread; does nothing without a path.
  void Write(nlohmann::json event);

 private:
  std::string path_;
  std::mutex mutex_;
};

// An inbound frame of the message connection, as the program reads it.
using MessageFrame = std::array<unsigned char, 1646>;

// What the control interface asks of the services. A service that is not
// running leaves its hook empty.
struct ControlHooks {
  // Sends the frame to every connected message connection; the number reached.
  std::function<int(const MessageFrame&)> pushFrame;
  // Drops (false) or restores (true) the quote feed.
  std::function<void(bool up)> setQuoteFeedUp;
};

}  // namespace simserver
