// Removing subscribers while the host's threads are calling them, in the
// host's own patterns: a callback on the tick thread that sends to the window
// thread while that thread removes a subscriber, and a removal from inside
// one subscriber's callback while another thread is inside the removed one.
// The host frees a subscriber as soon as RemoveSubscriber returns, so a call
// of it running then, or starting later, is a call into freed memory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "plugin/push/unt_pushcenter.h"
#include "plugin/push/unt_pushprovider.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

using namespace push;
using testing_support::Kv;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kPatience = std::chrono::seconds(5);

// A host component that subscribes; what its callback does is the test's.
class CSubscriber final : public kv::CHelperSlots {
 public:
  std::function<void()> onPush;
  std::atomic<int> calls{0};
  std::atomic<bool> released{false};  // the host has freed it
  std::atomic<int> callsIntoReleased{0};

  int32_t KVAPI OnPushData(int32_t, const void*, int32_t, const void*, int32_t) override {
    if (released) ++callsIntoReleased;
    ++calls;
    if (onPush) onPush();
    if (released) ++callsIntoReleased;  // still running when it was freed
    return 0;
  }
  void* KVAPI GetServiceObject() override { return this; }
  kv::IFeatureEntry* KVAPI GetEntry() override { return nullptr; }
  void KVAPI SetEntry(kv::IFeatureEntry*) override {}
  void KVAPI Destroy() override {}
  kv::IHelper* KVAPI GetInterface(int32_t) override { return this; }
  kv::KvBool KVAPI RefreshModules() override { return 1; }
  void KVAPI OnTick(kv::KvValue) override {}
  kv::KvBool KVAPI AddSubscriber(kv::IHelper*) override { return 0; }
  kv::KvBool KVAPI AddNotifyWindow(kv::KvHwnd, uint32_t) override { return 0; }
  kv::KvBool KVAPI RemoveSubscriber(kv::IHelper*) override { return 0; }
  kv::KvBool KVAPI RemoveNotifyWindow(kv::KvHwnd) override { return 0; }
};

// The host's window thread: runs what is posted to it in order; Send waits
// for its turn to be run, as SendMessage does (here within a time-out, so a
// deadlock shows as a failed send instead of a hung test).
class CWindowThread {
 public:
  CWindowThread() : thread_([this] { Run(); }) {}
  ~CWindowThread() {
    Post(nullptr);
    thread_.join();
  }
  void Post(std::function<void()> work) {
    std::lock_guard lock(lock_);
    queue_.push_back(std::move(work));
    changed_.notify_all();
  }
  bool Send(std::function<void()> work) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    Post([this, work, done] {
      work();
      std::lock_guard lock(lock_);
      *done = true;
      changed_.notify_all();
    });
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, kPatience, [&] { return done->load(); });
  }

 private:
  void Run() {
    for (;;) {
      std::function<void()> work;
      {
        std::unique_lock lock(lock_);
        changed_.wait(lock, [&] { return !queue_.empty(); });
        work = std::move(queue_.front());
        queue_.pop_front();
      }
      if (!work) return;
      work();
    }
  }
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  std::thread thread_;
};

// A one-way signal with a time-out.
class CSignal {
 public:
  void Set() {
    std::lock_guard lock(lock_);
    set_ = true;
    changed_.notify_all();
  }
  bool Wait() {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, kPatience, [&] { return set_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool set_ = false;
};

class PushRemovalTest : public ::testing::Test {
 protected:
  PushRemovalTest() : port_(log_) {
    harness_.context.center = &center_;
    harness_.context.port = Kv(port_);
    provider_->header.addin = &harness_.addin;
    provider_->header.port = Kv(port_);
    center_.AddUser(1);
  }
  ~PushRemovalTest() override {
    center_.ReleaseUsers();
    provider_->Service()->Destroy();
  }

  // A fill pushed on the calling thread: every subscriber is called.
  void PushFill() {
    simhost::CHostJob job(log_, "fill", fn::kFill, &client_);
    job.SetField(140, "600000");
    job.SetField(151, "09:31:05");
    provider_->FillReport(Kv(job));
  }

  // The host frees its subscriber once the removal has returned.
  void RemoveAndRelease(CSubscriber& subscriber) {
    provider_->Service()->RemoveSubscriber(&subscriber);
    subscriber.released = true;
  }

  testing_support::TPluginHarness harness_;
  simhost::CCallLog log_;
  simhost::CHostPort port_;
  CPushCenter center_{harness_.system, harness_.cache};
  simhost::CHostUser user_{log_, simhost::THostAccount{1, "A001", "K1", "23"}};
  simhost::CHostClient client_{user_};
  CPushProvider* provider_ = new CPushProvider;
  CSubscriber first_, second_;
};

// The tick thread is inside the first subscriber, which sends to the window
// thread; the window thread first removes (and frees) the second subscriber.
TEST_F(PushRemovalTest, TheWindowThreadRemovesOneWhileTheTickThreadSendsToItFromAnother) {
  std::atomic<bool> sent{false};
  CWindowThread window;
  first_.onPush = [&] {
    window.Post([&] { RemoveAndRelease(second_); });
    sent = window.Send([] {});
  };
  provider_->AddSubscriber(&first_);
  provider_->AddSubscriber(&second_);

  std::thread tick([&] { PushFill(); });
  tick.join();

  EXPECT_TRUE(sent) << "the window thread never came back from the removal";
  EXPECT_EQ(second_.calls, 0) << "the removed subscriber was still called";
  EXPECT_EQ(provider_->SubscriberCount(), 1);
}

// When the window thread removes the very subscriber that is waiting for it,
// the two cannot both be served: the removal gives up after its bound and
// the host thread goes on.
TEST_F(PushRemovalTest, RemovingTheSubscriberThatWaitsForTheRemoverEndsWithinTheBound) {
  std::atomic<bool> sent{false};
  std::atomic<int64_t> removalMs{-1};
  CWindowThread window;
  first_.onPush = [&] {
    window.Post([&] {
      const auto start = Clock::now();
      provider_->Service()->RemoveSubscriber(&first_);
      removalMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    });
    sent = window.Send([] {});
  };
  provider_->AddSubscriber(&first_);

  std::thread tick([&] { PushFill(); });
  tick.join();

  EXPECT_TRUE(sent);
  EXPECT_GE(removalMs, kRemovalWaitMs - 50);
  EXPECT_LT(removalMs, kRemovalWaitMs + 2000);
  EXPECT_EQ(provider_->SubscriberCount(), 0);
}

// One thread is inside the second subscriber; another, inside the first
// subscriber's callback, removes and frees the second: the removal must wait
// for the call still running.
TEST_F(PushRemovalTest, ARemovalFromAnotherCallbackWaitsForTheCallStillRunningElsewhere) {
  static thread_local bool removingHere = false;
  CSignal insideSecond;
  first_.onPush = [&] {
    if (!removingHere) return;
    ASSERT_TRUE(insideSecond.Wait());
    RemoveAndRelease(second_);
  };
  second_.onPush = [&] {
    if (removingHere) return;
    insideSecond.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a call that takes its time
  };
  provider_->AddSubscriber(&first_);
  provider_->AddSubscriber(&second_);

  std::thread caller([&] { PushFill(); });
  std::thread remover([&] {
    removingHere = true;
    PushFill();
  });
  caller.join();
  remover.join();

  EXPECT_EQ(second_.callsIntoReleased, 0) << "the host freed a subscriber another thread was inside";
  EXPECT_EQ(second_.calls, 1) << "only the other thread's call, none after the removal";
  EXPECT_EQ(provider_->SubscriberCount(), 1);
}

}  // namespace
