// quorvel-tool: the replay reproduces the worked trigger and order-price
// examples from a store and a tape written here; policy-dump shows a store
// as it is; bad input is refused before anything is written.
#include <gtest/gtest.h>

#include <sstream>

#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "policy/unt_policy.h"
#include "policy/unt_policy_describe.h"
#include "support/policy_fixtures.h"
#include "support/replay_examples.h"
#include "support/temp_dir.h"
#include "tool/tool.h"
#include "tool/tool_json.h"

using namespace policy;
using testing_support::Monitor;
using testing_support::TempDir;

namespace {

struct Result {
  int status;
  std::string out, err;
};

Result RunTool(const tool::Args& args) {
  std::ostringstream out, err;
  const int status = tool::Main(args, out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<tool::Json> JsonLines(const std::string& text) {
  std::vector<tool::Json> out;
  for (const auto& line : Lines(text)) out.push_back(tool::Json::parse(line));
  return out;
}

struct ToolFixture : ::testing::Test {
  TempDir dir;
  std::string store = dir.File("policy.tmp");
  std::string tape = dir.File("tape.csv");
  ToolFixture() {
    base::AtomicReplace(store, testing_support::ExampleStore());
    base::AtomicReplace(tape, testing_support::kExampleTape);
  }
};

}  // namespace

TEST_F(ToolFixture, ReplayReproducesTheWorkedExamples) {
  const Result r = RunTool({"replay", "--store", store, "--tape", tape, "--start", "all", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto fires = JsonLines(r.out);
  ASSERT_EQ(fires.size(), 8u) << r.out;
  auto expect = [&](size_t i, int id, const char* time, const char* price, int tradeType) {
    SCOPED_TRACE(i);
    EXPECT_EQ(fires[i]["id"], id);
    EXPECT_EQ(fires[i]["time"], time);
    EXPECT_EQ(fires[i]["order_price"], price);
    EXPECT_EQ(fires[i]["trade_type"], tradeType);
  };
  expect(0, 1, "2012-05-18 09:30:03", "10.100", 2);  // fires at 10.20, not at 10.40; a sell of 10.098 up to the tick
  EXPECT_EQ(fires[0]["price"].get<double>(), 10.2);
  expect(1, 2, "2012-05-18 09:31:02", "9.900", 2);   // P = 10.00, 10 per mille: 9.900
  expect(2, 3, "2012-05-18 09:32:01", "10.610", 1);  // 10.50 holds, 10.51 fires; a buy of 10.615 down to the tick
  expect(3, 4, "2012-05-18 09:33:02", "7.730", 1);   // 7.71 fires; 0.02 yuan up: 7.730
  expect(4, 5, "2012-05-18 14:30:00", "20.210", 1);  // in the minute only; A = 0.21 on S = 20
  expect(5, 6, "2012-05-18 14:32:02", "2.525", 1);   // above 3020 points; the target's quote
  EXPECT_EQ(fires[5]["order_code"], "510050");
  EXPECT_EQ(fires[5]["order_name"], "50ETF");
  EXPECT_EQ(fires[5]["code"], "000001");
  EXPECT_EQ(fires[5]["kind"], 7);
  expect(6, 7, "2012-05-18 14:33:02", "9.810", 2);   // 9.90 after a high of 10.80; a sell of 9.801 up to the tick
  expect(7, 8, "2012-05-18 14:34:00", "委托价格错误", 2);  // the adjustment exceeds the base: no price
  EXPECT_EQ(fires[7]["prompt_only"], 1);
  EXPECT_EQ(fires[0]["prompt_only"], 0);
  EXPECT_EQ(fires[0]["quantity"], 1000);
  EXPECT_EQ(fires[0]["order_name"], "浦发银行");
}

TEST_F(ToolFixture, StartOneStartsOnlyThatMonitor) {
  const Result r = RunTool({"replay", "--store", store, "--tape", tape, "--start", "4"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  EXPECT_EQ(lines[0], "2012-05-18 09:33:02 fire #4 限价下跌反弹 600003: 买入 600003 东北高速 at 7.730 x 1000 (price 7.710, automatic)");
  EXPECT_EQ(RunTool({"replay", "--store", store, "--tape", tape}).out, "") << "nothing started, nothing fires";
}

TEST_F(ToolFixture, TradeLogAndSavedStoreAsTheProgramWritesThem) {
  const std::string log = dir.File("trade.log");
  const std::string saved = dir.File("after.tmp");
  const Result r = RunTool({"replay", "--store", store, "--tape", tape, "--start", "all", "--user", "u8", "--trade-log",
                            log, "--save", saved});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto gbk = base::ReadFileBytes(log);
  ASSERT_TRUE(gbk);
  const auto lines = Lines(base::GbkToUtf8Lossy(*gbk));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0],
            "12-05-18, 09:30:03, [触发交易], 600000, 浦发银行, 卖出, 移动止盈, 10.200, 10.100, 1000, u8, "
            "当高于设定价位10.000后回落0.500元且大于设定价时自动卖出1000股\r");
  EXPECT_NE(lines[5].find("指数监控, 3020.500, 2.525"), std::string::npos) << lines[5];

  const Result dump = RunTool({"policy-dump", saved, "--json"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  const auto monitors = JsonLines(dump.out);
  ASSERT_EQ(monitors.size(), 8u);
  EXPECT_EQ(monitors[0]["state"], kStateTriggered);
  EXPECT_EQ(monitors[0]["fired"], 1);
  EXPECT_EQ(monitors[0]["crossed"], 1);
  EXPECT_EQ(monitors[0]["trailing_high"].get<double>(), 10.8);
  EXPECT_EQ(monitors[0]["newest_price"].get<double>(), 10.2);
  EXPECT_EQ(monitors[3]["trailing_low"].get<double>(), 7.5);
}

TEST_F(ToolFixture, PolicyDumpJsonReadsBackExactly) {
  const Result r = RunTool({"policy-dump", store, "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto monitors = JsonLines(r.out);
  const auto records = ParsePolicyStore(*base::ReadFileBytes(store));
  ASSERT_EQ(monitors.size(), records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const auto& j = monitors[i];
    const auto& m = records[i];
    EXPECT_EQ(j["id"], m.id);
    EXPECT_EQ(static_cast<float>(j["set_price"].get<double>()), m.setPrice);
    EXPECT_EQ(static_cast<float>(j["change_amount"].get<double>()), m.changeAmount);
    EXPECT_EQ(static_cast<float>(j["opt_amount"].get<double>()), m.optAmount);
    EXPECT_EQ(j["order_time"].get<double>(), m.orderTime);
    EXPECT_EQ(j["description"], DescriptionUtf8(m));
    EXPECT_EQ(j["state"], kStateStopped);
  }
  EXPECT_EQ(monitors[5]["name"], "上证指数");
  EXPECT_EQ(monitors[5]["target_code"], "510050");
  EXPECT_EQ(monitors[1]["set_price"].dump(), "9.5");
  const std::vector<std::string> keys = {"id", "kind", "code", "name", "market", "price_basis", "set_price", "state",
                                         "fired", "crossed", "prompt_only", "newest_price", "open_price", "prev_close",
                                         "basis_price", "trailing_high", "trailing_low", "direction", "change_amount",
                                         "change_unit", "trade_type", "quantity", "description", "target_flag",
                                         "target_code", "target_name", "opt_flag", "opt_amount", "opt_unit", "order_time"};
  std::vector<std::string> got;
  for (const auto& item : monitors[0].items()) got.push_back(item.key());
  EXPECT_EQ(got, keys);

  const auto plain = Lines(RunTool({"policy-dump", store}).out);
  ASSERT_EQ(plain.size(), 8u);
  EXPECT_EQ(plain[0].rfind("1 止盈-卖出 600000 浦发银行 market=SH stopped fired=0", 0), 0u) << plain[0];
}

TEST_F(ToolFixture, BadInputIsRefusedBeforeAnythingIsWritten) {
  const std::string log = dir.File("trade.log");
  const std::string saved = dir.File("after.tmp");
  base::AppendToFile(tape, "2012-05-18 14:35:00,600006,SH,x,10,10,10,ten,9.00\n");
  const Result r = RunTool({"replay", "--store", store, "--tape", tape, "--start", "all", "--user", "u8", "--trade-log",
                            log, "--save", saved});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(tape + ":25: low must be a decimal number"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(base::FileExists(log));
  EXPECT_FALSE(base::FileExists(saved));

  EXPECT_EQ(RunTool({"replay", "--store", store, "--tape", dir.File("none.csv")}).status, 2);
  EXPECT_EQ(RunTool({"replay", "--store", store, "--tape", tape, "--start", "99"}).status, 2);
  EXPECT_EQ(RunTool({"replay", "--store", store, "--tape", tape, "--start", "x"}).status, 2);
  EXPECT_EQ(RunTool({"replay", "--store", store, "--tape", tape, "--user", "u8"}).status, 2);
  EXPECT_EQ(RunTool({"replay", "--store", store}).status, 2);
  EXPECT_EQ(RunTool({"replay", "--tape"}).status, 2);
  EXPECT_EQ(RunTool({"policy-dump"}).status, 2);
  EXPECT_EQ(RunTool({"nonsense"}).status, 2);
  EXPECT_EQ(RunTool({}).status, 2);
  EXPECT_EQ(RunTool({"--help"}).status, 0);
}

TEST_F(ToolFixture, AMissingStoreIsAnEmptyList) {
  const Result r = RunTool({"replay", "--store", dir.File("none.tmp"), "--tape", tape, "--start", "all"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  const Result dump = RunTool({"policy-dump", dir.File("none.tmp")});
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(dump.out, "");
}

TEST_F(ToolFixture, APartialRecordIsReportedAndSkipped) {
  base::AppendToFile(store, std::string(10, '\0'));
  const Result r = RunTool({"policy-dump", store});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Lines(r.out).size(), 8u);
  EXPECT_NE(r.err.find("10 bytes"), std::string::npos);
}
