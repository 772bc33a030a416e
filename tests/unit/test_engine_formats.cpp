// The quote engine's formats, against answers recorded in the services'
// layouts (tests/data/engine), and the mapping of the program's codes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "engine/engine_formats.h"
#include "support/temp_dir.h"

namespace {

using engine::Format;
using quotes::TQuoteReport;

std::string Fixture(const char* name) {
  std::ifstream in(testing_support::SourcePath(std::string("tests/data/engine/") + name), std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

const engine::SourceQuote* Find(const engine::ParseResult& r, const std::string& symbol) {
  for (const auto& q : r.quotes)
    if (q.symbol == symbol) return &q;
  return nullptr;
}

// 2026-12-09 15:00:00 Beijing time.
constexpr int32_t kClose = 1796799600;

TEST(EngineFormats, BothFormatsGiveTheSameSecurityInTheSameUnits) {
  auto comma = engine::ParseComma(Fixture("comma_answer.txt"));
  auto tilde = engine::ParseTilde(Fixture("tilde_answer.txt"));
  ASSERT_TRUE(comma.ok) << comma.error;
  ASSERT_TRUE(tilde.ok) << tilde.error;
  // The unknown symbol answers nothing, and is no failure.
  EXPECT_EQ(comma.quotes.size(), 3u);
  EXPECT_EQ(tilde.quotes.size(), 2u);
  EXPECT_EQ(Find(comma, "sz999999"), nullptr);

  const TQuoteReport& c = Find(comma, "sh600000")->report;
  const TQuoteReport& t = Find(tilde, "sh600000")->report;
  EXPECT_EQ(base::GbkToUtf8Lossy(base::FixedTextView(c.name)), "浦发银行");
  EXPECT_EQ(base::GbkToUtf8Lossy(base::FixedTextView(t.name)), "浦发银行");
  for (const TQuoteReport* r : {&c, &t}) {
    EXPECT_EQ(r->recordSize, 158);
    EXPECT_EQ(r->quoteTime, kClose);
    EXPECT_FLOAT_EQ(r->open, 8.15f);
    EXPECT_FLOAT_EQ(r->prevClose, 8.14f);
    EXPECT_FLOAT_EQ(r->newestPrice, 8.21f);
    EXPECT_FLOAT_EQ(r->high, 8.25f);
    EXPECT_FLOAT_EQ(r->low, 8.12f);
    EXPECT_FLOAT_EQ(r->bidPrice[0], 8.20f);
    EXPECT_FLOAT_EQ(r->bidPrice[2], 8.18f);
    EXPECT_FLOAT_EQ(r->bidPrice5, 8.16f);
    EXPECT_FLOAT_EQ(r->askPrice[0], 8.21f);
    EXPECT_FLOAT_EQ(r->askPrice5, 8.25f);
    // Volumes in shares from both (the tilde format counts lots of 100).
    EXPECT_FLOAT_EQ(r->bidVolume[0], 102300);
    EXPECT_FLOAT_EQ(r->bidVolume4, 98700);
    EXPECT_FLOAT_EQ(r->askVolume5, 130500);
    // The amount in yuan (the tilde format counts 10,000 yuan).
    EXPECT_NEAR(r->amount, 290684431.0, 64);
  }
  EXPECT_FLOAT_EQ(c.volume, 35482416);
  EXPECT_FLOAT_EQ(t.volume, 35482400);  // whole lots only

  const TQuoteReport& index = Find(comma, "sh000001")->report;
  EXPECT_FLOAT_EQ(index.newestPrice, 3402.915f);
  EXPECT_EQ(index.quoteTime, kClose + 39 + 30 * 60);
}

TEST(EngineFormats, AnUnexpectedLayoutRejectsTheWholeAnswer) {
  std::string comma = Fixture("comma_answer.txt");
  std::string tilde = Fixture("tilde_answer.txt");
  // A field less in the second record: not a wrong price, a failed source.
  std::string shorter = comma;
  shorter.erase(shorter.find(",61234500"), 9);
  auto r = engine::ParseComma(shorter);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.quotes.empty());
  EXPECT_NE(r.error.find("line 2"), std::string::npos) << r.error;

  std::string cut = tilde.substr(0, tilde.find("~20261209150000"));
  cut += "\";\n";
  EXPECT_FALSE(engine::ParseTilde(cut).ok);
  // A shifted tilde record (its code field elsewhere) is caught too.
  std::string shifted = tilde;
  shifted.replace(shifted.find("~600000~"), 8, "~~600000~");
  EXPECT_FALSE(engine::ParseTilde(shifted).ok);
  // A number that is none, a date that is none, an HTML error page.
  std::string price = comma;
  price.replace(price.find("8.210"), 5, "8.2x0");
  EXPECT_FALSE(engine::ParseComma(price).ok);
  std::string date = comma;
  date.replace(date.find("2026-12-09"), 10, "2026-13-09");
  EXPECT_FALSE(engine::ParseComma(date).ok);
  EXPECT_FALSE(engine::ParseComma("<html><body>Forbidden</body></html>").ok);
  EXPECT_FALSE(engine::ParseTilde(comma).ok);
  EXPECT_FALSE(engine::ParseComma(tilde).ok);
  // An answer with nothing known is an answer.
  EXPECT_TRUE(engine::ParseComma("var hq_str_sh600000=\"\";\n\n").ok);
  EXPECT_TRUE(engine::ParseComma("").ok);
}

// A comma and a tilde record whose every number field holds `number`.
std::string CommaRecord(const std::string& number, const char* date = "2026-12-09") {
  std::string r = "var hq_str_sh600000=\"name";
  for (int i = 1; i <= 29; ++i) r += "," + number;
  return r + "," + date + ",15:00:00,00\";\n";
}
std::string TildeRecord(const std::string& number) {
  std::string r = "v_sh600000=\"1~name~600000";
  for (int i = 3; i <= 48; ++i) r += "~" + (i == 30 ? std::string("20261209150000") : number);
  return r + "~\";\n";
}

// Every shape of number reads as its digits over the power of ten, rounded
// once, whatever its length and wherever it stands; what is no number
// fails the answer.
TEST(EngineFormats, NumbersReadExactlyInEveryShape) {
  const std::pair<const char*, double> numbers[] = {
      {"8.21", 8.21}, {"", 0}, {"0", 0}, {"10.", 10}, {".5", 0.5}, {"0012.340", 12.34},
      {"290684431.000", 290684431.0}, {"123456789012.345", 123456789012.345},
      {"1234567890123456.5", 1234567890123456.5}, {"-1.5", -1.5}, {"+2.25", 2.25},
      // Digits past the 18th significant or decimal place are dropped.
      {"1.0000000000000000009", 1}, {"0.0000000000000000000001", 0}};
  for (const auto& [text, value] : numbers) {
    const float expected = static_cast<float>(value);
    auto c = engine::ParseComma(CommaRecord(text));
    auto t = engine::ParseTilde(TildeRecord(text));
    ASSERT_TRUE(c.ok && t.ok) << text << ": " << c.error << t.error;
    const TQuoteReport &a = c.quotes.at(0).report, &b = t.quotes.at(0).report;
    for (float got : {a.open, a.prevClose, a.newestPrice, a.high, a.low, a.volume, a.amount, a.bidPrice[0],
                      a.bidVolume[1], a.askPrice5, b.newestPrice, b.prevClose, b.open, b.high, b.low, b.bidPrice[0],
                      b.askPrice5})
      EXPECT_EQ(got, expected) << text;
    EXPECT_EQ(b.volume, static_cast<float>(value * 100)) << text;
    EXPECT_EQ(b.amount, static_cast<float>(value * 10000)) << text;
  }
  for (const char* junk : {"1.2.3", "-", ".", "1e5", "0x10", "12345678901234567890", "8.21 "}) {
    auto c = engine::ParseComma(CommaRecord(junk));
    auto t = engine::ParseTilde(TildeRecord(junk));
    EXPECT_FALSE(c.ok || t.ok) << junk;
    EXPECT_EQ(c.error, "line 1: a number field is not a number") << junk;
    EXPECT_EQ(t.error, "line 1: a number field is not a number") << junk;
  }
  // A time the report's 32-bit seconds cannot hold is no time, not a wrapped one.
  EXPECT_EQ(engine::ParseComma(CommaRecord("1", "2040-01-01")).error, "line 1: bad date or time");
}

TEST(EngineFormats, WhatTheStandInWritesReadsBackTheSame) {
  auto comma = engine::ParseComma(Fixture("comma_answer.txt"));
  ASSERT_TRUE(comma.ok);
  for (Format f : {Format::Comma, Format::Tilde}) {
    std::string body;
    for (const auto& q : comma.quotes) engine::AppendAnswerLine(body, f, q.symbol, q.report);
    auto back = engine::ParseAnswer(f, body);
    ASSERT_TRUE(back.ok) << engine::FormatName(f) << ": " << back.error;
    ASSERT_EQ(back.quotes.size(), comma.quotes.size());
    for (size_t i = 0; i < back.quotes.size(); ++i) {
      const TQuoteReport &a = comma.quotes[i].report, &b = back.quotes[i].report;
      EXPECT_EQ(back.quotes[i].symbol, comma.quotes[i].symbol);
      EXPECT_EQ(b.quoteTime, a.quoteTime);
      EXPECT_EQ(base::FixedTextView(b.name), base::FixedTextView(a.name));
      for (auto field : {&TQuoteReport::newestPrice, &TQuoteReport::open, &TQuoteReport::prevClose,
                         &TQuoteReport::high, &TQuoteReport::low, &TQuoteReport::volume, &TQuoteReport::bidPrice4,
                         &TQuoteReport::askVolume5})
        EXPECT_EQ(b.*field, a.*field) << engine::FormatName(f) << " " << comma.quotes[i].symbol;
    }
  }
}

TEST(EngineFormats, ProgramCodesMapToTheServicesSymbols) {
  auto symbol = [](const char* code, uint32_t market) {
    auto s = engine::SecurityOf(code, market);
    return s ? s->symbol : std::string("-");
  };
  EXPECT_EQ(symbol("600000", quotes::kMarketShanghai), "sh600000");
  EXPECT_EQ(symbol("000001", quotes::kMarketShenzhen), "sz000001");
  EXPECT_EQ(symbol("000001", quotes::kMarketShanghai), "sh000001");
  // The program's index codes.
  EXPECT_EQ(symbol("1A0001", 0), "sh000001");
  EXPECT_EQ(symbol("1A0300", quotes::kMarketShenzhen), "sh000300");
  EXPECT_EQ(symbol("399001", 0), "sz399001");
  // Bare codes by their leading digits, the longest prefix winning.
  EXPECT_EQ(symbol("920001", 0), "bj920001");
  EXPECT_EQ(symbol("430047", 0), "bj430047");
  EXPECT_EQ(symbol("830799", 0), "bj830799");
  EXPECT_EQ(symbol("900901", 0), "sh900901");
  EXPECT_EQ(symbol("510050", 0), "sh510050");
  EXPECT_EQ(symbol("113050", 0), "sh113050");
  EXPECT_EQ(symbol("123050", 0), "sz123050");
  EXPECT_EQ(symbol("000001", 0), "sz000001");
  EXPECT_EQ(symbol("300750", 0), "sz300750");
  EXPECT_EQ(symbol("200001", 0), "sz200001");
  EXPECT_EQ(engine::SecurityOf("600000", 0)->market, quotes::kMarketShanghai);
  EXPECT_EQ(engine::SecurityOf("830799", 0)->market, engine::kMarketBeijing);
  EXPECT_EQ(symbol("60000", 0), "-");
  EXPECT_EQ(symbol("60000x", 0), "-");
  EXPECT_EQ(symbol("", 0), "-");
  // The stored time shows as Beijing time through the program's +8 h.
  EXPECT_EQ(engine::BeijingToUtc(1970, 1, 1, 8, 0, 0), 0);
}

}  // namespace
