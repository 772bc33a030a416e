// The broker's answer to an order: the trading program's dialog boxes are
// read while the order script runs (before any step could close them) and
// for a while after it, and their texts decide whether the order was
// accepted, refused or left unknown.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
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
  uint32_t watchMs = 3000;
  static OutcomeWords Defaults();
  // [委托结果] 成功=word|word..., 失败=word|word..., 观察毫秒=3000; a
  // missing file or key keeps the defaults.
  static OutcomeWords Load(const std::string& iniPath);
};
inline constexpr char kOutcomeWordsFile[] = "orderwords.ini";

struct Classification {
  policy::OrderResult result = policy::OrderResult::Unknown;
  std::string orderNumber;
  std::string text;  // the box that decided; all texts read when none did
};

// Each element is the text of one box. A refusal word anywhere decides
// first; then an order or contract number, or an acceptance word.
Classification ClassifyBoxes(const std::vector<std::string>& boxes, const OutcomeWords& words);

// The number after "合同编号", "委托编号", ... ("：", ":", "为", blanks
// between); empty when there is none.
std::string OrderNumberIn(const std::string& text);

// Watches the trading program's boxes for the orders sent to it. Every box
// is matched to the order whose script was running when it was first seen,
// or, between scripts, to the newest order still watched. An order is
// final words.watchMs after its script ended; then onFinal gets its outcome.
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
  bool Watching() const { return !orders_.empty(); }

 private:
  struct Watched {
    policy::TOrderOutcome outcome;
    uint32_t process = 0;
    std::vector<std::string> boxes;
    int64_t endsAt = -1;  // -1 while its script runs
  };
  static std::string BoxText(IDesktop& desktop, WindowHandle box);
  std::vector<WindowHandle> StandingBoxes();

  IDesktop& desktop_;
  std::function<int64_t()> clock_;
  std::deque<Watched> orders_;
  std::set<WindowHandle> seen_;  // boxes already read
};

}  // namespace trading
