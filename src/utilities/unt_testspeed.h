// The network speed probe: after the first login a worker (TICMPThread)
// measures, again and again, how long a TCP connection to the quote server
// (port 8080) takes; every third sample the GUI thread averages the last
// three and shows the average with a speed class in the pane RzSpeed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace utilities {

inline constexpr uint16_t kSpeedProbePort = 8080;
inline constexpr int kSpeedProbeFailedMs = 15000;

// 0 before the first average; then 5 (above 0, below 200 ms) down to 1
// (700 ms and more). The averages between the ranges (0, 200, 350, 500)
// are class 1.
int SpeedClassOf(int averageMs);
// "(非常快)" ... "(非常慢)"; empty for class 0.
const char* SpeedWord(int speedClass);

// What the pane shows (GUI thread only).
class TSpeedProbe {
 public:
  // One measurement: stored in the ring; every third one makes the average.
  void ReportSample(int ms);
  int Average() const { return average_; }
  int SpeedClass() const { return class_; }
  // The pane's caption ("160ms"), empty before the first average.
  std::string Caption() const;
  // The hint on hover: "网速" + word + "：" + average + "ms".
  std::string Hint() const;

 private:
  int samples_[3] = {0, 0, 0};
  int index_ = 0;
  int average_ = 0;
  int class_ = 0;
};

// The worker's timings; the defaults are the program's, tests pass short ones.
struct SpeedTimings {
  std::chrono::milliseconds firstWait{11000};
  std::chrono::milliseconds connectTimeout{15000};
  std::chrono::milliseconds pause{3000};
};

class TICMPThread {
 public:
  // One connect to the target: true when it was made within the time-out;
  // it returns early once `stop` is set.
  using Connect = std::function<bool(const std::string& host, uint16_t port, int timeoutMs,
                                     const std::atomic<bool>& stop)>;
  // Hands a sample to the GUI thread (ReportSample there); from the worker.
  using Report = std::function<void(int ms)>;

  // Starts measuring at once: wait, then rounds of three connects, until
  // the object goes.
  TICMPThread(std::string host, uint16_t port, Report report, SpeedTimings timings = {}, Connect connect = {});
  // Ends the worker and waits for it (a connect in progress ends early).
  ~TICMPThread();
  TICMPThread(const TICMPThread&) = delete;
  TICMPThread& operator=(const TICMPThread&) = delete;

  const std::string& Host() const { return host_; }

 private:
  void Execute();
  // False when the worker is to end.
  bool Wait(std::chrono::milliseconds duration);

  std::string host_;
  uint16_t port_;
  Report report_;
  SpeedTimings timings_;
  Connect connect_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

// What the main window keeps for the whole run: the one worker, started at
// the first login against that login's quote server, and the pane's state,
// which the worker's samples reach on the GUI thread.
class TSpeedMeter {
 public:
  using PostToGui = std::function<void(std::function<void()>)>;
  // `changed` runs on the GUI thread after each sample.
  TSpeedMeter(PostToGui post, std::function<void()> changed, SpeedTimings timings = {},
              TICMPThread::Connect connect = {});
  ~TSpeedMeter() { Stop(); }
  // StartSpeedProbe of every login: a worker only when none runs yet.
  void Start(const std::string& host, uint16_t port = kSpeedProbePort);
  // The program's end: the worker ends now; samples still on their way are dropped.
  void Stop();
  const TSpeedProbe& Probe() const { return probe_; }
  const TICMPThread* Worker() const { return worker_.get(); }

 private:
  PostToGui post_;
  std::function<void()> changed_;
  SpeedTimings timings_;
  TICMPThread::Connect connect_;
  TSpeedProbe probe_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::unique_ptr<TICMPThread> worker_;
};

}  // namespace utilities
