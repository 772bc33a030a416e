// quorvel-sim-server: the stand-in for the vendor's servers (account service,
// message connection, quote feed, vendor web pages, ...), one native program
// on one loopback address. Each service is its own unit; this header holds
// what they share: the options, the users, the record of what programs did,
// and the hooks the control interface uses to reach the services.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "quotes/Ustockdrv.h"

namespace asio {
class io_context;
}

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
  // --tape-step: rows are played only as the control interface releases
  // them, so that a test can wait for what a row caused before the next.
  bool tapeStep = false;
  std::string profilesDir;
  std::string recordPath;  // --record: one JSON object per line
  std::string webDir;      // --web-dir: extra files served by the web pages
  int webDripMs = 0;       // --web-drip-ms: /notice/* and /version one byte per pause
  // --hook-secret: the signing secret of the robot pages under /hook/;
  // empty: they take unsigned messages.
  std::string hookSecret;
  // --synthetic: a steady stream of generated quotes for load tests, one
  // report per code every syntheticIntervalMs; empty when off.
  std::vector<std::string> syntheticCodes;
  int syntheticIntervalMs = 1000;
};

// Reads the command line (without the program name). False with `error`
// set on a bad option; `help` is set by --help.
struct ParsedOptions {
  bool ok = true;
  bool help = false;
  std::string error;
  ServerOptions options;
};
ParsedOptions ParseServerOptions(const std::vector<std::string>& args);
// What --help prints.
std::string ServerUsage();
// A user of --user NAME[:PASSWORD] with generated user information.
SimUser MakeUser(const std::string& name, const std::string& password);

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
  // Lets a stepped tape play this many more rows.
  std::function<void(int rows)> releaseTapeRows;
  // Plays one quote given as JSON (code, name, prevClose, price), as if a
  // tape row had: the newest of its code from then on. False when the
  // fields do not make a quote.
  std::function<bool(const nlohmann::json& quote)> playQuote;
  // The public quote formats' view of the feed (quote_formats.cpp), safe
  // from any thread: the newest report played of each symbol asked
  // ("sh600000"; false when none yet). The first request that names a
  // symbol of the feed starts playback, as a subscription does.
  std::function<std::vector<std::pair<bool, quotes::TQuoteReport>>(const std::vector<std::string>& symbols)>
      quoteSnapshot;
  // Each running service may add its part to the status answer; called on
  // the web server's threads, so each part guards what it reads.
  std::vector<std::function<void(nlohmann::json& status)>> statusParts;
  // Closes every open login session of the account service (the account
  // service's library then tells its program); the number closed.
  std::function<int()> dropAccountSessions;
};

// A running service. Destroying it closes what it opened; destroy services
// after their io_context has stopped running (or on its thread).
class Service {
 public:
  virtual ~Service() = default;
};
using ServicePtr = std::unique_ptr<Service>;

// The start functions of the services; each binds its listener on
// options.host and throws std::runtime_error when it cannot. Wiring a new
// service into the program is one call of this shape in server_main.cpp.
ServicePtr StartQuoteFeed(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                          ControlHooks& hooks);
ServicePtr StartWebPages(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                         ControlHooks& hooks);
// The account service (accountPort; the protocol of
// sim/account_service/account_wire.h, spoken by the stand-in velmora.dll):
// logins checked against options.users, user information, online time,
// share posts broadcast as 1006 frames through hooks.pushFrame. Sets
// hooks.dropAccountSessions. Records "login" (user, ok, token or reason),
// "logout", "session-closed", "user-info", "online-time" (seconds, total,
// level), "share-post" (user, code, name, prices, remark, postTime,
// reached) and "account-error".
ServicePtr StartAccountService(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                               ControlHooks& hooks);
// The message connection service (messagePort): reads the programs'
// packets (message_packet.h) and sets hooks.pushFrame. Records
// "message-connection" (open, peer, user), "presence" (user, online),
// "message" (type, user; text for 3007) and "message-error" (error; the
// connection is closed).
ServicePtr StartMessageService(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                               ControlHooks& hooks);

// The file server (filePort): the trading profiles of options.profilesDir
// (list 3008, download 3009, search by substring 3010). Records
// "file-connection" (open, peer), "file-request" (command, name, bytes;
// count for the lists, found for a download) and "file-error".
ServicePtr StartFileService(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                            ControlHooks& hooks);
// The Daytime service (daytimePort): the server's UTC time in the NIST form
// read by position, then the connection closes. Records "daytime" (peer,
// reply). Null, with a note on stderr, when the port cannot be bound (a
// low port needs the right to bind it).
ServicePtr StartDaytime(asio::io_context& io, const ServerOptions& options, Recorder& recorder, ControlHooks& hooks);
// The speed-probe target (speedPort): accepts connections and closes each
// when its client does. Records "speed-probe" (peer).
ServicePtr StartSpeedProbeTarget(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                                 ControlHooks& hooks);

// Inbound message frames the control interface pushes.
constexpr int32_t kFrameSystemMessage = 3001;
constexpr int32_t kFrameLoggedInElsewhere = 3002;
constexpr int32_t kFrameSharePost = 1006;
constexpr size_t kFrameSharePostAt = 88;
constexpr size_t kSharePostSize = 534;
constexpr size_t kFrameTextAt = 622;
constexpr size_t kFrameTextSize = 1024;
// A frame of the type with the UTF-8 text (GBK in the frame; 3001).
MessageFrame MakeTextFrame(int32_t type, const std::string& utf8Text);
// A 1006 frame with a share post from JSON fields (UTF-8 texts): time
// (seconds, 0 = now), code, name, price, setPrice, backAmount, stopPrice,
// fallAmount, posterId, posterName, remark. Missing fields stay zero.
MessageFrame MakeSharePostFrame(const nlohmann::json& post);

}  // namespace simserver
