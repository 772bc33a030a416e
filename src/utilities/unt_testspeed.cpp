#include "utilities/unt_testspeed.h"

#include "base/worker.h"
#include "utilities/unt_netclient.h"

namespace utilities {

int SpeedClassOf(int averageMs) {
  if (averageMs > 0 && averageMs < 200) return 5;
  if (averageMs > 200 && averageMs < 350) return 4;
  if (averageMs > 350 && averageMs < 500) return 3;
  if (averageMs > 500 && averageMs < 700) return 2;
  return 1;
}

const char* SpeedWord(int speedClass) {
  switch (speedClass) {
    case 5: return "(非常快)";
    case 4: return "(快)";
    case 3: return "(一般)";
    case 2: return "(慢)";
    case 1: return "(非常慢)";
    default: return "";
  }
}

void TSpeedProbe::ReportSample(int ms) {
  samples_[index_] = ms;
  if (index_ < 2) {
    ++index_;
    return;
  }
  index_ = 0;
  average_ = (samples_[0] + samples_[1] + samples_[2]) / 3;
  class_ = SpeedClassOf(average_);
}

std::string TSpeedProbe::Caption() const { return class_ == 0 ? std::string() : std::to_string(average_) + "ms"; }

std::string TSpeedProbe::Hint() const {
  return std::string("网速") + SpeedWord(class_) + "：" + std::to_string(average_) + "ms";
}

TICMPThread::TICMPThread(std::string host, uint16_t port, Report report, SpeedTimings timings, Connect connect)
    : host_(std::move(host)),
      port_(port),
      report_(std::move(report)),
      timings_(timings),
      connect_(connect ? std::move(connect) : Connect(&ConnectOnce)) {
  thread_ = base::StartWorker([this] { Execute(); });
}

TICMPThread::~TICMPThread() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool TICMPThread::Wait(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, duration, [this] { return stop_.load(); });
}

void TICMPThread::Execute() {
  using Clock = std::chrono::steady_clock;
  while (Wait(timings_.firstWait)) {
    for (int i = 0; i < 3; ++i) {
      const auto start = Clock::now();
      // Each connect is a fresh client: the previous one is closed already.
      const bool ok = connect_(host_, port_, static_cast<int>(timings_.connectTimeout.count()), stop_);
      if (stop_) return;
      const int ms = ok ? static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count())
                        : kSpeedProbeFailedMs;
      report_(ms);
      if (ok && !Wait(timings_.pause)) return;
    }
  }
}

TSpeedMeter::TSpeedMeter(PostToGui post, std::function<void()> changed, SpeedTimings timings,
                         TICMPThread::Connect connect)
    : post_(std::move(post)), changed_(std::move(changed)), timings_(timings), connect_(std::move(connect)) {}

void TSpeedMeter::Start(const std::string& host, uint16_t port) {
  if (worker_ || !*alive_) return;
  worker_ = std::make_unique<TICMPThread>(
      host, port,
      [this, post = post_, alive = alive_](int ms) {
        post([this, alive, ms] {
          if (!*alive) return;
          probe_.ReportSample(ms);
          if (changed_) changed_();
        });
      },
      timings_, connect_);
}

void TSpeedMeter::Stop() {
  *alive_ = false;
  worker_.reset();
}

}  // namespace utilities
