// The utilities: the Daytime reply read by position with the zone's carry,
// the clock synchronisation's worker and its pane texts, the automatic
// shutdown dialog, and the speed probe's worker, ring and classes.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "base/datetime.h"
#include "utilities/unt_frmautoshutdown.h"
#include "utilities/unt_synclocaltime.h"
#include "utilities/unt_testspeed.h"

namespace {

using namespace std::chrono_literals;

std::string Text(const base::DateTimeParts& p) {
  return base::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz",
                              base::EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
}

TEST(Daytime, FieldsAtTheirPositionsCarryIntoTheNextDayMonthAndYear) {
  // The last day of a month at 20:30 UTC is 04:30 on the first of the next
  // in a zone of bias -480 (UTC+8).
  auto p = utilities::ParseDaytimeReply("\n61100 26-04-30 20:30:00 50 0 0 123.0 UTC(NIST) * \n", -480);
  ASSERT_TRUE(p);
  EXPECT_EQ(Text(*p), "2026-05-01 04:30:00.123");
  p = utilities::ParseDaytimeReply("61405 26-12-31 23:59:59 00 0 0   7.0 UTC(NIST) *", -480);
  ASSERT_TRUE(p) << "leading blanks in a field";
  EXPECT_EQ(Text(*p), "2027-01-01 07:59:59.007");
  p = utilities::ParseDaytimeReply("61101 28-03-01 02:00:00 00 0 0 000.0 UTC(NIST) *", 300);
  ASSERT_TRUE(p) << "a positive bias goes back over a leap day";
  EXPECT_EQ(Text(*p), "2028-02-29 21:00:00.000");

  // Replies that are no date leave the clock alone: xinetd's own form, a
  // month of 13, a cut reply, letters in a field.
  EXPECT_FALSE(utilities::ParseDaytimeReply("09 DEC 2026 21:21:35 UTC\r\n", -480));
  EXPECT_FALSE(utilities::ParseDaytimeReply("61100 26-13-30 20:30:00 50 0 0 123.0 UTC(NIST) *", 0));
  EXPECT_FALSE(utilities::ParseDaytimeReply("61100 26-02-30 20:30:00 50 0 0 123.0 UTC(NIST) *", 0));
  EXPECT_FALSE(utilities::ParseDaytimeReply("61100 26-04-30 20:30:00 50 0", 0));
  EXPECT_FALSE(utilities::ParseDaytimeReply("61100 26-04-30 2x:30:00 50 0 0 123.0 UTC(NIST) *", 0));
}

// Jobs the worker posts, run when the test says, as the GUI thread would.
// The workers share it: one that answers after a test gave up on it must
// not post into a test that has ended.
class GuiJobs {
 public:
  void Post(std::function<void()> job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    ready_.notify_all();
  }
  // Generous: a loaded machine under Wine can be slow to start a thread.
  bool RunOne(std::chrono::milliseconds wait = 20000ms) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, wait, [this] { return !jobs_.empty(); })) return false;
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
};

class FakeClock : public utilities::ISystemClock {
 public:
  bool refuse = false;
  std::vector<std::string> set;
  int TimeZoneBiasMinutes() override { return -480; }
  bool SetLocalTime(const base::DateTimeParts& p) override {
    set.push_back(Text(p));
    return !refuse;
  }
};

TEST(SyncClock, TheExchangeRunsOnAWorkerAndOnlyAReadableReplySetsTheClock) {
  auto jobs = std::make_shared<GuiJobs>();
  GuiJobs& gui = *jobs;
  FakeClock clock;
  std::vector<std::string> pane;
  std::optional<std::string> reply = "61100 26-04-30 20:30:00 50 0 0 123.0 UTC(NIST) *";
  std::thread::id fetchedOn;
  std::string asked;
  utilities::TSyncClock sync(
      clock, [jobs](std::function<void()> job) { jobs->Post(std::move(job)); },
      [&pane](const std::string& text) { pane.push_back(text); }, "127.0.0.1", 13, 1000,
      [&](const std::string& host, uint16_t port, int timeout) {
        // Read by the test only after the worker has posted its answer.
        fetchedOn = std::this_thread::get_id();
        asked = host + ":" + std::to_string(port) + "/" + std::to_string(timeout);
        return reply;
      });
  sync.SyncClock();
  ASSERT_TRUE(gui.RunOne());
  EXPECT_NE(fetchedOn, std::this_thread::get_id());
  EXPECT_EQ(asked, "127.0.0.1:13/1000");
  ASSERT_EQ(clock.set.size(), 1u);
  EXPECT_EQ(clock.set[0], "2026-05-01 04:30:00.123");
  EXPECT_EQ(pane.back(), utilities::kClockSyncDone);

  clock.refuse = true;
  sync.SyncClock();
  ASSERT_TRUE(gui.RunOne());
  EXPECT_EQ(pane.back(), utilities::kClockSetFailed);

  reply = "09 DEC 2026 21:21:35 UTC";
  sync.SyncClock();
  ASSERT_TRUE(gui.RunOne());
  reply.reset();  // no server
  sync.SyncClock();
  ASSERT_TRUE(gui.RunOne());
  EXPECT_EQ(clock.set.size(), 2u) << "the clock is not touched";
  EXPECT_EQ(pane[2], utilities::kClockSyncFailed);
  EXPECT_EQ(pane[3], utilities::kClockSyncFailed);
}

TEST(SyncClock, NoServerWithinTheTimeOutIsAFailure) {
  // Nobody listens on port 1: the exchange fails at once.
  auto jobs = std::make_shared<GuiJobs>();
  GuiJobs& gui = *jobs;
  FakeClock clock;
  std::string pane;
  utilities::TSyncClock sync(
      clock, [jobs](std::function<void()> job) { jobs->Post(std::move(job)); },
      [&pane](const std::string& text) { pane = text; }, "127.0.0.1", 1, 300);
  sync.SyncClock();
  ASSERT_TRUE(gui.RunOne());
  EXPECT_EQ(pane, utilities::kClockSyncFailed);
  EXPECT_TRUE(clock.set.empty());
}

class ShutdownHost : public utilities::IShutdownHost {
 public:
  base::TDateTime now = base::EncodeDateTime(2026, 3, 2, 14, 30, 45);
  std::vector<std::string> calls;
  base::TDateTime Now() override { return now; }
  void ShowMessage(const std::string& text) override { calls.push_back("message " + text); }
  void SetDatePane(const std::string& text) override { calls.push_back("pane " + text); }
  bool ShutdownComputer() override {
    calls.push_back("shutdown");
    return true;
  }
};

TEST(AutoShutdown, SetRefusedResetAndTheTickAtTheMinute) {
  ShutdownHost host;
  utilities::Tfrmshutdown w(host);
  w.FormShow();
  EXPECT_EQ(w.label, "未设定自动关机时间");
  EXPECT_EQ(w.timeText, "00:00");
  EXPECT_FALSE(w.TimerRunning());

  w.timeText = "14:29";
  w.SetShutdownTime();
  EXPECT_EQ(host.calls.back(), "message 已经过了设定关机时间，请重新设置！");
  EXPECT_TRUE(w.focusTime);
  EXPECT_FALSE(w.closeRequested);
  EXPECT_FALSE(w.TimerRunning());

  // The current minute itself is accepted, and the next tick shuts down.
  w.timeText = "14:30";
  w.SetShutdownTime();
  EXPECT_EQ(host.calls.back(), "pane 自动关机：14:30");
  EXPECT_TRUE(w.closeRequested);
  EXPECT_TRUE(w.TimerRunning());
  w.FormShow();
  EXPECT_EQ(w.label, "已设定自动关机时间：14:30");
  EXPECT_EQ(w.timeText, "14:30");
  w.ShutdownTick();
  EXPECT_EQ(host.calls.back(), "shutdown");
  EXPECT_FALSE(w.TimerRunning());

  // Armed for later, then reset: the tick at that minute does nothing.
  w.timeText = "23:05";
  w.SetShutdownTime();
  host.now = base::EncodeDateTime(2026, 3, 2, 23, 4, 59);
  w.ShutdownTick();
  EXPECT_EQ(host.calls.back(), "pane 自动关机：23:05");
  w.ResetShutdownTime();
  EXPECT_EQ(w.label, "未设定自动关机时间");
  EXPECT_EQ(host.calls.back(), "pane ");
  host.now = base::EncodeDateTime(2026, 3, 2, 23, 5, 1);
  w.ShutdownTick();
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "shutdown"), 1);

  w.timeText = "25:00";
  w.SetShutdownTime();
  EXPECT_EQ(host.calls.back(), std::string("message ") + utilities::kShutdownBadTime);
}

TEST(SpeedProbe, ClassesHaveOpenBoundsAndTheRingAveragesEveryThirdSample) {
  const std::pair<int, int> table[] = {{0, 1},   {1, 5},   {199, 5}, {200, 1}, {201, 4}, {349, 4}, {350, 1},
                                       {351, 3}, {499, 3}, {500, 1}, {501, 2}, {699, 2}, {700, 1}, {15000, 1}};
  for (const auto& [ms, cls] : table) EXPECT_EQ(utilities::SpeedClassOf(ms), cls) << ms;

  utilities::TSpeedProbe probe;
  EXPECT_EQ(probe.Hint(), "网速：0ms");
  probe.ReportSample(150);
  probe.ReportSample(160);
  EXPECT_EQ(probe.SpeedClass(), 0);
  EXPECT_EQ(probe.Caption(), "");
  probe.ReportSample(170);
  EXPECT_EQ(probe.Average(), 160);
  EXPECT_EQ(probe.SpeedClass(), 5);
  EXPECT_EQ(probe.Caption(), "160ms");
  EXPECT_EQ(probe.Hint(), "网速(非常快)：160ms");
  for (int i = 0; i < 3; ++i) probe.ReportSample(utilities::kSpeedProbeFailedMs);
  EXPECT_EQ(probe.Average(), 15000);
  EXPECT_EQ(probe.Hint(), "网速(非常慢)：15000ms");
}

TEST(SpeedProbe, TheWorkerWaitsThenMeasuresThreeConnectsPerRound) {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<int> samples;
  std::vector<std::string> targets;
  int connects = 0;
  {
    utilities::TICMPThread worker(
        "127.0.0.5", 8080,
        [&](int ms) {
          std::lock_guard lock(mutex);
          samples.push_back(ms);
          cv.notify_all();
        },
        {.firstWait = 20ms, .connectTimeout = 50ms, .pause = 5ms},
        [&](const std::string& host, uint16_t port, int timeout, const std::atomic<bool>&) {
          {
            std::lock_guard lock(mutex);
            targets.push_back(host + ":" + std::to_string(port) + "/" + std::to_string(timeout));
            ++connects;
          }
          std::this_thread::sleep_for(2ms);
          return connects % 3 != 0;  // every third connect fails
        });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return samples.size() >= 6; }));
  }
  EXPECT_EQ(targets[0], "127.0.0.5:8080/50");
  EXPECT_EQ(std::count(targets.begin(), targets.end(), targets[0]), static_cast<long>(targets.size()));
  EXPECT_EQ(samples[2], utilities::kSpeedProbeFailedMs);
  EXPECT_EQ(samples[5], utilities::kSpeedProbeFailedMs);
  EXPECT_GE(samples[0], 2);
  EXPECT_LT(samples[0], 1000);
}

TEST(SpeedProbe, ASecondLoginKeepsTheFirstWorkerAndTheSamplesReachThePane) {
  auto jobs = std::make_shared<GuiJobs>();
  GuiJobs& gui = *jobs;
  std::mutex mutex;
  std::vector<std::string> hosts;
  int changes = 0;
  utilities::TSpeedMeter meter(
      [jobs](std::function<void()> job) { jobs->Post(std::move(job)); }, [&changes] { ++changes; },
      {.firstWait = 10ms, .connectTimeout = 50ms, .pause = 1ms},
      [&](const std::string& host, uint16_t, int, const std::atomic<bool>&) {
        std::lock_guard lock(mutex);
        hosts.push_back(host);
        std::this_thread::sleep_for(2ms);  // an average of 0 ms would be class 1
        return true;
      });
  meter.Start("127.0.0.5");
  const utilities::TICMPThread* first = meter.Worker();
  meter.Start("127.0.0.6");
  EXPECT_EQ(meter.Worker(), first);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(gui.RunOne());
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(meter.Probe().SpeedClass(), 5) << "three quick connects";
  meter.Stop();
  std::lock_guard lock(mutex);
  EXPECT_EQ(std::count(hosts.begin(), hosts.end(), "127.0.0.5"), static_cast<long>(hosts.size()));
}

}  // namespace
