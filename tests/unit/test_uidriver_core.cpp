// The scenario driver's command line and text matching, as the scripts
// that call it rely on them.
#include <gtest/gtest.h>

#include <chrono>

#include "tools/uidriver/uidriver_core.h"

namespace {

using namespace std::chrono_literals;

std::optional<uidriver::Invocation> ParseWords(std::vector<std::string> args, std::string* error) {
  return uidriver::Parse(args, error);
}

TEST(UiDriverCommandLine, ReadsWhatAScenarioScriptWrites) {
  std::string error;
  const auto select = ParseWords({"listview-select", "--title", "智能盯盘", "--id", "0x3e9", "2", "--column", "4",
                                  "--timeout-ms", "500"},
                                 &error);
  ASSERT_TRUE(select) << error;
  EXPECT_EQ(select->command, "listview-select");
  EXPECT_EQ(select->Get("title"), "智能盯盘");
  EXPECT_EQ(select->Number("id"), 1001);
  EXPECT_EQ(select->Number("column"), 4);
  EXPECT_EQ(select->Number("timeout-ms"), 500);
  EXPECT_FALSE(select->Number("index"));
  EXPECT_EQ(select->words, std::vector<std::string>{"2"});

  // Text that looks like an option is still typed after "--".
  const auto keys = ParseWords({"keys", "--window", "0x00010056", "--", "--12.5"}, &error);
  ASSERT_TRUE(keys) << error;
  EXPECT_EQ(keys->Number("window"), 0x10056);
  EXPECT_EQ(keys->words, std::vector<std::string>{"--12.5"});

  const auto wait = ParseWords({"wait-window", "--title", "退出", "--exact"}, &error);
  ASSERT_TRUE(wait) << error;
  EXPECT_TRUE(wait->Has("exact"));
  EXPECT_EQ(wait->Get("exact", "absent"), "");
}

TEST(UiDriverCommandLine, RefusesMistakesWithTheReason) {
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      {{}, "no command"},
      {{"listveiw", "--title", "x"}, "unknown command \"listveiw\""},
      {{"listview", "--title", "x", "--row", "1"}, "listview has no option --row"},
      {{"listview", "--title"}, "--title needs a value"},
      {{"statusbar", "--title", "x", "--index", "two"}, "--index needs a number, not \"two\""},
      {{"statusbar"}, "statusbar needs --window HANDLE or --title TEXT"},
      {{"listview-dblclick", "--title", "x"}, "listview-dblclick takes 1 argument(s) after its options, got 0"},
      {{"children", "--title", "x", "extra"}, "children takes 0 argument(s) after its options, got 1"},
      {{"click", "--title", "x"}, "click needs --text or --id"},
      {{"answer", "--title", "确认"}, "answer needs --button"},
      {{"wait-window", "--pid", "12"}, "wait-window needs --title"},
      {{"dialog", "--title", "x", "--timeout-ms", "-5"}, "--timeout-ms must not be negative"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(uidriver::Parse(c.args, &error));
    EXPECT_EQ(error, c.reason);
  }
}

TEST(UiDriverText, ButtonsMatchAsAUserReadsThem) {
  // Wine's Chinese message box buttons, the English ones, menu-style
  // captions and a literal ampersand.
  EXPECT_EQ(uidriver::PlainCaption("是(&Y)"), "是");
  EXPECT_EQ(uidriver::PlainCaption("否(N)"), "否");
  EXPECT_EQ(uidriver::PlainCaption("&Yes"), "Yes");
  EXPECT_EQ(uidriver::PlainCaption("启动所有监控[&S]"), "启动所有监控");
  EXPECT_EQ(uidriver::PlainCaption("  Save && Exit "), "Save & Exit");
  EXPECT_EQ(uidriver::PlainCaption("取消"), "取消");
  // A bracket that is not an accelerator stays.
  EXPECT_EQ(uidriver::PlainCaption("监控(全部)"), "监控(全部)");

  EXPECT_TRUE(uidriver::ButtonMatches("是(&Y)", "是"));
  EXPECT_TRUE(uidriver::ButtonMatches("是(&Y)", "是(&Y)"));
  EXPECT_TRUE(uidriver::ButtonMatches("&Yes", "Yes"));
  EXPECT_FALSE(uidriver::ButtonMatches("是(&Y)", "否"));
  EXPECT_FALSE(uidriver::ButtonMatches("停止所有监控", "停止"));

  EXPECT_TRUE(uidriver::CaptionMatches("网上股票交易系统5.0", "股票交易", false));
  EXPECT_FALSE(uidriver::CaptionMatches("网上股票交易系统5.0", "股票交易", true));
  EXPECT_TRUE(uidriver::CaptionMatches("退出", "退出", true));
}

TEST(UiDriverText, RecordsKeepOneRecordPerLine) {
  EXPECT_EQ(uidriver::Record({"pane", "0", "120", "就绪"}), "pane\t0\t120\t就绪\n");
  // A cell holding a tab, a line break or a backslash must not split the record.
  EXPECT_EQ(uidriver::Record({"static", "第一行\r\n第二行", "a\tb", "C:\\x"}),
            "static\t第一行\\r\\n第二行\ta\\tb\tC:\\\\x\n");
  EXPECT_EQ(uidriver::Record({"child", ""}), "child\t\n");
}

TEST(UiDriverText, KeyNames) {
  EXPECT_EQ(uidriver::VirtualKey("Escape"), 0x1Bu);
  EXPECT_EQ(uidriver::VirtualKey("esc"), 0x1Bu);
  EXPECT_EQ(uidriver::VirtualKey("Enter"), 0x0Du);
  EXPECT_EQ(uidriver::VirtualKey("F1"), 0x70u);
  EXPECT_EQ(uidriver::VirtualKey("f12"), 0x7Bu);
  EXPECT_EQ(uidriver::VirtualKey("F24"), 0x87u);
  EXPECT_EQ(uidriver::VirtualKey("a"), static_cast<unsigned>('A'));
  EXPECT_EQ(uidriver::VirtualKey("7"), static_cast<unsigned>('7'));
  EXPECT_EQ(uidriver::VirtualKey("Numpad5"), 0x65u);
  EXPECT_EQ(uidriver::VirtualKey("0x2E"), 0x2Eu);
  EXPECT_EQ(uidriver::VirtualKey("PageDown"), 0x22u);
  EXPECT_FALSE(uidriver::VirtualKey("F25"));
  EXPECT_FALSE(uidriver::VirtualKey("F0"));
  EXPECT_FALSE(uidriver::VirtualKey("Bogus"));
  EXPECT_FALSE(uidriver::VirtualKey(""));
  EXPECT_FALSE(uidriver::VirtualKey("0x100"));
}

TEST(UiDriverWait, PollsUntilTheProbeHoldsOrTheTimeOutPasses) {
  int calls = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(uidriver::PollUntil([&] { return ++calls == 3; }, 5s, 10ms));
  EXPECT_EQ(calls, 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

  // At once: no pause at all.
  calls = 0;
  EXPECT_TRUE(uidriver::PollUntil([&] { return ++calls > 0; }, 0ms));
  EXPECT_EQ(calls, 1);

  // Never: false after the time-out, having probed once more at its end.
  calls = 0;
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(uidriver::PollUntil([&] { return ++calls < 0; }, 120ms, 50ms));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 120ms);
  EXPECT_LT(waited, 2s);
  EXPECT_GE(calls, 3);
}

}  // namespace
