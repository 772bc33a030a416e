// Worker threads hand closures to the GUI thread: they are queued and run on
// the GUI thread after one posted wake-up message to a hidden window.
#pragma once

#include <functional>
#include <memory>

namespace win {

namespace detail {
struct GuiQueueState;
}

// A copyable handle for workers: posting through it is safe from any thread
// and at any time; closures posted after the queue is gone are dropped.
class GuiPoster {
 public:
  GuiPoster() = default;
  // False when the closure was dropped (the queue is gone).
  bool Post(std::function<void()> job) const;

 private:
  friend class GuiQueue;
  explicit GuiPoster(std::shared_ptr<detail::GuiQueueState> state) : state_(std::move(state)) {}
  std::shared_ptr<detail::GuiQueueState> state_{};
};

class GuiQueue {
 public:
  GuiQueue();  // on the GUI thread
  GuiQueue(const GuiQueue&) = delete;
  GuiQueue& operator=(const GuiQueue&) = delete;
  ~GuiQueue();  // drops whatever is still queued

  bool Post(std::function<void()> job) const { return Poster().Post(std::move(job)); }
  GuiPoster Poster() const { return GuiPoster(state_); }
  // Runs the queued closures one at a time, in posting order, until none is
  // left (GUI thread). A closure that runs a modal loop does not hold back
  // the ones behind it: they run in that loop. Exceptions of a closure go to
  // App::ReportError; the next closure still runs.
  int Drain();
  size_t Pending() const;

 private:
  std::shared_ptr<detail::GuiQueueState> state_{};
};

}  // namespace win
