// The broker's answer to an order: the trading program's dialog boxes are
// read while the order script runs (before any step could close them) and
// for a while after it, and their texts decide whether the order was
// accepted, refused or left unknown.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "policy/order_outcome.h"
#include "trading/desktop_port.h"

namespace trading {

// The words that mark a broker's answer, and how long the trading program
// is watched after the order script; a user adds their broker's words in
// the application folder's "orderwords.ini".
struct OutcomeWords {
  std::vector<std::string> accepted;
  std::vector<std::string> refused;
  // A box with one of these tells of something else (a fill, a cancel): it
  // is no answer to an order, whatever else it says.
  std::vector<std::string> notices;
  uint32_t watchMs = 3000;
  static OutcomeWords Defaults();
  // [委托结果] 成功=word|word..., 失败=word|word..., 通知=word|word...,
  // 观察毫秒=3000; a missing file or key keeps the defaults.
  static OutcomeWords Load(const std::string& iniPath);
};
inline constexpr char kOutcomeWordsFile[] = "orderwords.ini";

struct Classification {
  policy::OrderResult result = policy::OrderResult::Unknown;
  std::string orderNumber;
  std::string text;  // the box that decided; all texts read when none did
};

// What one box says: Unknown when it is no answer (a question, a notice, a
// prompt to wait). A contract or order number outweighs a refusal word in
// the same box (an accepting box may add a hint such as "当日不能卖出"),
// except a number of zeros only, which brokers show with a refusal.
Classification ClassifyBox(const std::string& text, const OutcomeWords& words);

// The answers given to one order, together: all refusals, or all
// acceptances with at most one number, decide; answers that contradict
// each other leave it unknown.
Classification ClassifyBoxes(const std::vector<std::string>& boxes, const OutcomeWords& words);

// The number after "合同编号", "委托编号", ... ("：", ":", "为", blanks
// between); empty when there is none.
std::string OrderNumberIn(const std::string& text);

// How well a box names an order: -1 when it names a different code or only
// the other side, else how many of its code, side, quantity and price it
// names (0: nothing of it).
int NamesOrder(const std::string& text, const policy::TOrderOutcome& order);

// Watches the trading program's boxes for the orders sent to it. A box is
// matched to an order by what it says, never by when it came: a box that
// names an order's code, side, quantity or price is that order's; a box
// that names none goes to the one order still waiting for its answer. An
// answer that could belong to more than one order, or a second answer that
// contradicts the first, leaves every order concerned "结果未知". An order
// is final words.watchMs after its script ended; then onFinal gets its
// outcome.
class TOrderWatch {
 public:
  TOrderWatch(IDesktop& desktop, std::function<int64_t()> clockMs) : desktop_(desktop), clock_(std::move(clockMs)) {}

  OutcomeWords words = OutcomeWords::Defaults();
  std::function<void(const policy::TOrderOutcome&)> onFinal;

  // The script of `order` starts on the trading program of `window`.
  void Begin(const policy::TOrderOutcome& order, WindowHandle window);
  // Reads the boxes standing now: before a script step sends a key or click.
  void Scan();
  // The running script has sent its input.
  void ScriptEnded();
  // Reads the boxes and makes every order whose time is up final.
  void Tick();
  // Makes every order still watched final at once as `result` (the program
  // is closing).
  void FinishAll(policy::OrderResult result);
  bool Watching() const { return !orders_.empty(); }

  // The text of a broker's box: its Static, Edit and rich-edit children,
  // whole, in enumeration order.
  static std::string BoxText(IDesktop& desktop, WindowHandle box);

 private:
  struct Watched {
    policy::TOrderOutcome outcome;
    uint32_t process = 0;
    std::vector<std::string> answers;  // the boxes matched to it
    std::vector<std::string> others;   // the other boxes read while its script ran
    bool ambiguous = false;            // an answer that may be its could be another's
    int64_t endsAt = -1;               // -1 while its script runs
  };
  std::vector<WindowHandle> StandingBoxes();
  void Take(const std::string& text, uint32_t process);
  void Finish(Watched w, std::optional<policy::OrderResult> forced);

  IDesktop& desktop_;
  std::function<int64_t()> clock_;
  std::deque<Watched> orders_;
  std::set<WindowHandle> seen_;         // boxes already read
  std::deque<std::string> numbersSeen_;  // contract numbers already given to orders, newest last
};

}  // namespace trading
