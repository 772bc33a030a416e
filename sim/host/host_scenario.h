// The stand-in host's scripted session with the plug-in: it loads the
// add-in, creates its features, logs users in (with rights, a registration
// answer, order and cancel requests with answers, fill pushes from several
// threads, ticks, a subscriber added late) and out again, and checks at every
// step what the plug-in did through the host's recorded calls, the
// subscribers' data, the "Stock.zjgf" window and the trace files.
#pragma once

#include <functional>
#include <string>
#include <vector>


namespace simhost {

struct THostScenarioEnv {
  // The host program's folder (UTF-8): the plug-in reads KvOem.xml there
  // and writes its trace files to T0002\wt_cache below it.
  std::string programFolder;
  // The local date of the trace file names, "YYYYMMDD".
  std::function<std::string()> today;
  // The window of the host's feature "Stock.zjgf".
  void* stockWindow = nullptr;
  // The refresh messages (6026) that reached that window so far; lets the
  // window's messages run first.
  std::function<int()> stockRefreshes;
  // Whether an address is code of the plug-in module; lets the checks find
  // where each of its tables ends. Unset: table lengths are not checked.
  std::function<bool(const void*)> isPluginCode;
  // Where each check's result goes ("ok ..." / "not ok ...").
  std::function<void(const std::string&)> report;
};

struct THostScenarioResult {
  int passed = 0;
  int failed = 0;
  std::vector<std::string> failures;
};

// Plays the whole session against an add-in object (what Addin_GetObject
// answered) that nothing else has initialised yet. Every table the plug-in
// hands over is checked slot by slot on the way.
THostScenarioResult PlayHostScenario(void* addin, const THostScenarioEnv& env);

}  // namespace simhost
