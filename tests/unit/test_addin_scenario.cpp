// The stand-in host's whole scripted session, played in-process against the
// add-in object (the same session runs under Wine against the real DLL).
#include <gtest/gtest.h>

#include "base/files.h"
#include "plugin/addin/unt_addin.h"
#include "sim/host/host_scenario.h"
#include "support/push_fakes.h"
#include "support/temp_dir.h"

namespace {

TEST(AddinScenario, HostSessionPassesEveryCheck) {
  testing_support::TempDir dir;
  testing_support::TPluginHarness harness;
  harness.system.programPath = dir.File("TradeClient.exe");
  addin::CAddin& addin = harness.addin;

  const auto stock = reinterpret_cast<kv::KvHwnd>(0x5150);
  simhost::THostScenarioEnv env;
  env.programFolder = base::PathToUtf8(dir.path());
  env.today = [] { return std::string("20100721"); };
  env.stockWindow = stock;
  env.stockRefreshes = [&] {
    int n = 0;
    for (const auto& posted : harness.system.Posted()) n += posted.window == stock && posted.message == 6026;
    return n;
  };
  std::vector<std::string> lines;
  env.report = [&](const std::string& line) { lines.push_back(line); };

  const simhost::THostScenarioResult result = simhost::PlayHostScenario(&addin, env);
  for (const std::string& failure : result.failures) ADD_FAILURE() << failure;
  EXPECT_EQ(result.failed, 0);
  EXPECT_GT(result.passed, 80);
  EXPECT_EQ(lines.size(), static_cast<size_t>(result.passed + result.failed));
}

}  // namespace
