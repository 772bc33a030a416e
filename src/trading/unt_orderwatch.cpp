#include "trading/unt_orderwatch.h"

#include <algorithm>
#include <iterator>

#include "base/ini_file.h"
#include "base/text.h"

namespace trading {
namespace {

constexpr char kSection[] = "委托结果";

std::vector<std::string> SplitWords(std::string_view list) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t bar = std::min(list.find('|', start), list.size());
    const std::string_view word = base::Trim(list.substr(start, bar - start));
    if (!word.empty()) words.emplace_back(word);
    start = bar + 1;
  }
  return words;
}

std::string JoinWords(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : "|") + w;
  return out;
}

bool HasAny(const std::string& text, const std::vector<std::string>& words) {
  return std::any_of(words.begin(), words.end(), [&](const std::string& w) { return text.find(w) != std::string::npos; });
}

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

OutcomeWords OutcomeWords::Defaults() {
  OutcomeWords w;
  w.accepted = {"已成功提交", "委托已提交", "提交成功", "委托成功", "已报", "合同编号", "委托编号"};
  w.refused = {"失败", "不足", "错误", "超出", "拒绝", "无效", "不允许", "不能", "禁止", "非法", "必须"};
  return w;
}

OutcomeWords OutcomeWords::Load(const std::string& iniPath) {
  OutcomeWords w = Defaults();
  const base::IniFile ini(iniPath);
  w.accepted = SplitWords(ini.ReadString(kSection, "成功", JoinWords(w.accepted)));
  w.refused = SplitWords(ini.ReadString(kSection, "失败", JoinWords(w.refused)));
  w.watchMs = static_cast<uint32_t>(std::clamp(ini.ReadInteger(kSection, "观察毫秒", 3000), 0, 60000));
  return w;
}

std::string OrderNumberIn(const std::string& text) {
  static const char* const keys[] = {"合同编号", "委托编号", "委托序号", "申请编号", "合同号", "委托号", "订单号"};
  for (const char* key : keys) {
    const std::string k = key;
    for (size_t at = text.find(k); at != std::string::npos; at = text.find(k, at + 1)) {
      size_t i = at + k.size();
      for (;;) {
        if (i < text.size() && (text[i] == ' ' || text[i] == ':' || text[i] == '[')) {
          ++i;
        } else if (text.compare(i, 3, "：") == 0 || text.compare(i, 3, "为") == 0 || text.compare(i, 3, "是") == 0 ||
                   text.compare(i, 3, "【") == 0) {
          i += 3;
        } else {
          break;
        }
      }
      size_t end = i;
      while (end < text.size() && IsAsciiAlnum(text[end])) ++end;
      if (end > i) return text.substr(i, end - i);
    }
  }
  return {};
}

Classification ClassifyBoxes(const std::vector<std::string>& boxes, const OutcomeWords& words) {
  Classification c;
  for (const std::string& box : boxes) {
    if (HasAny(box, words.refused)) {
      c.result = policy::OrderResult::Refused;
      c.text = box;
      return c;
    }
  }
  for (const std::string& box : boxes) {
    const std::string number = OrderNumberIn(box);
    if (number.empty() && !HasAny(box, words.accepted)) continue;
    if (c.result != policy::OrderResult::Accepted || (c.orderNumber.empty() && !number.empty())) {
      c.result = policy::OrderResult::Accepted;
      c.orderNumber = number;
      c.text = box;
    }
  }
  if (c.result == policy::OrderResult::Accepted) return c;
  for (const std::string& box : boxes) {
    if (!box.empty()) c.text += (c.text.empty() ? "" : " / ") + box;
  }
  return c;
}

std::string TOrderWatch::BoxText(IDesktop& desktop, WindowHandle box) {
  std::string text;
  for (const WindowHandle child : desktop.ChildWindows(box)) {
    if (desktop.ClassName(child) != "Static") continue;
    const std::string part(base::Trim(desktop.WindowText(child)));
    if (!part.empty()) text += (text.empty() ? "" : " ") + part;
  }
  return text;
}

void TOrderWatch::Begin(const policy::TOrderOutcome& order, WindowHandle window) {
  // Boxes standing now belong to earlier orders, or to none.
  Scan();
  Watched w;
  w.outcome = order;
  w.process = window == kNoWindow ? 0 : desktop_.WindowProcessId(window);
  orders_.push_back(std::move(w));
  for (const WindowHandle box : StandingBoxes()) seen_.insert(box);
}

std::vector<WindowHandle> TOrderWatch::StandingBoxes() {
  std::vector<WindowHandle> boxes;
  for (const WindowHandle window : desktop_.TopLevelWindows()) {
    const uint32_t process = desktop_.WindowProcessId(window);
    const bool watched = std::any_of(orders_.begin(), orders_.end(),
                                     [&](const Watched& w) { return w.process != 0 && w.process == process; });
    if (watched && desktop_.ClassName(window) == "#32770" && desktop_.IsWindowVisible(window)) boxes.push_back(window);
  }
  return boxes;
}

void TOrderWatch::Scan() {
  if (orders_.empty()) return;
  const std::vector<WindowHandle> standing = StandingBoxes();
  for (const WindowHandle box : standing) {
    if (seen_.count(box)) continue;
    // The order whose script runs now, else the newest one still watched.
    auto owner = std::find_if(orders_.begin(), orders_.end(), [](const Watched& w) { return w.endsAt < 0; });
    if (owner == orders_.end()) owner = std::prev(orders_.end());
    owner->boxes.push_back(BoxText(desktop_, box));
  }
  // A closed box's handle may come back for a new box.
  seen_.clear();
  seen_.insert(standing.begin(), standing.end());
}

void TOrderWatch::ScriptEnded() {
  Scan();
  for (Watched& w : orders_) {
    if (w.endsAt < 0) w.endsAt = clock_() + words.watchMs;
  }
}

void TOrderWatch::Tick() {
  if (orders_.empty()) return;
  Scan();
  const int64_t now = clock_();
  while (!orders_.empty() && orders_.front().endsAt >= 0 && now >= orders_.front().endsAt) {
    Watched w = std::move(orders_.front());
    orders_.pop_front();
    const Classification c = ClassifyBoxes(w.boxes, words);
    policy::TOrderOutcome outcome = std::move(w.outcome);
    outcome.result = c.result;
    outcome.orderNumber = c.orderNumber;
    outcome.brokerText += (outcome.brokerText.empty() || c.text.empty() ? "" : "；") + c.text;
    if (onFinal) onFinal(outcome);
  }
}

}  // namespace trading
