// The message connection to the account server (port 8081) and its reader
// thread. The reader keeps the connection up while the session runs: it
// connects (with a time-out), reads one 1646-byte frame after another and
// hands each to the session; after a lost connection it connects again,
// pausing longer after every failed attempt (never less than a moment, never
// more than a few seconds). Sends come from the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "account/unt_messageframes.h"

namespace account {

inline constexpr uint16_t kMessagePort = 8081;

// The pause before the next connection attempt: the first failure waits
// `first`, each further one twice as long, up to `cap`; a connection that
// comes up starts the series again.
class TReconnectPause {
 public:
  TReconnectPause(int firstMs, int capMs) : first_(firstMs), cap_(capMs) {}
  int Next();
  void Reset() { next_ = 0; }

 private:
  int first_, cap_;
  int next_ = 0;
};

struct MessageConnectionOptions {
  int connectTimeoutMs = 30000;
  int framePauseMs = 100;  // after every frame read
  int firstReconnectPauseMs = 250;
  int maxReconnectPauseMs = 4000;
};

// What the reader reports. Both run on the reader thread: the session hands
// them to the GUI thread.
struct MessageConnectionEvents {
  // With the number of the connection since the reader started (1, 2, ...).
  std::function<void(int connection)> onConnected;
  std::function<void(const FrameBytes&)> onFrame;
  // Each pause before a connection attempt, for the status pane and tests.
  std::function<void(int pauseMs)> onReconnectPause;
};

// Switches TCP keep-alive on (960000 ms idle, 1 ms interval) for a
// connected socket; the platform's own call (SIO_KEEPALIVE_VALS on Windows).
void SwitchKeepAliveOn(uintptr_t socketHandle);

class TMessageConnection {
 public:
  explicit TMessageConnection(MessageConnectionOptions options = {});
  ~TMessageConnection();  // stops the reader
  TMessageConnection(const TMessageConnection&) = delete;
  TMessageConnection& operator=(const TMessageConnection&) = delete;

  // Starts the reader for the host unless it runs already.
  void Start(const std::string& host, uint16_t port, MessageConnectionEvents events);
  // Asks the reader to end, drops the connection and waits for the thread,
  // which never waits for the GUI nor for a peer that stopped reading, so
  // this returns promptly. Sends made before it are started first.
  void Stop();
  bool Running() const { return thread_.joinable(); }
  bool Connected() const { return connected_; }
  // How many times the reader has connected since it started.
  int Connections() const { return connections_; }

  // Writes the bytes as one send when connected; false (nothing sent) when not.
  bool Send(std::vector<unsigned char> bytes);

 private:
  struct Io;
  void Run();
  void Step();
  void ReadFrame();
  void WriteNext();
  void Pause(int ms);
  void ConnectFailed(const std::shared_ptr<bool>& done);
  void Drop();

  MessageConnectionOptions options_;
  std::unique_ptr<Io> io_;
  std::thread thread_;
  std::atomic<bool> connected_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int> connections_{0};
};

}  // namespace account
