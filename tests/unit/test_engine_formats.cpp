// The quote engine's formats: against two whole answers as the services
// sent them (../shared/data/real_quotes), against small answers in the
// shapes those lack, and the mapping of the program's codes to the
// services' symbols after the exchanges' code allocation.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
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

// A record that cannot be read is skipped and counted, the others are read;
// only an answer without any readable record fails (the source fails over).
TEST(EngineFormats, AnUnreadableRecordIsSkippedAndOnlyAnAnswerWithoutAnyFails) {
  const std::string comma = Fixture("comma_answer.txt");
  const std::string tilde = Fixture("tilde_answer.txt");
  auto skippedOne = [](const engine::ParseResult& r, size_t quotes, const char* line) {
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.skipped, 1u);
    EXPECT_EQ(r.quotes.size(), quotes);
    EXPECT_NE(r.error.find(line), std::string::npos) << r.error;
  };
  // A field less in the second record: that record is skipped, not read shifted.
  std::string shorter = comma;
  shorter.erase(shorter.find(",61234500"), 9);
  auto r = engine::ParseComma(shorter);
  skippedOne(r, 2, "line 2");
  EXPECT_EQ(Find(r, "sz000001"), nullptr);
  ASSERT_NE(Find(r, "sh600000"), nullptr);
  EXPECT_FLOAT_EQ(Find(r, "sh600000")->report.newestPrice, 8.21f);
  // A number that is none, a date that is none, a record cut short, a
  // shifted tilde record (its code field elsewhere), a line of something else.
  std::string price = comma;
  price.replace(price.find("8.210"), 5, "8.2x0");
  skippedOne(engine::ParseComma(price), 2, "line 1");
  std::string date = comma;
  date.replace(date.find("2026-12-09"), 10, "2026-02-30");
  skippedOne(engine::ParseComma(date), 2, "line 1: bad date or time");
  std::string cut = tilde;
  cut.replace(cut.find("~20261209150000"), cut.find('\n') - cut.find("~20261209150000"), "\";");
  skippedOne(engine::ParseTilde(cut), 1, "line 1");
  std::string shifted = tilde;
  shifted.replace(shifted.find("~600000~"), 8, "~~600000~");
  skippedOne(engine::ParseTilde(shifted), 1, "line 1: the code field");
  skippedOne(engine::ParseComma("<p>\n" + comma), 3, "line 1: not a record of the format");

  // No record of the format at all, or none readable: a failed answer.
  for (const std::string& body :
       {std::string(), std::string("\r\n\n"), std::string("<html><body>Forbidden</body></html>"), tilde,
        std::string("var hq_str_sys_auth=\"FAILED\";\n"), std::string("var hq_str_sh600000=\"a,b\";\n")}) {
    auto failed = engine::ParseComma(body);
    EXPECT_FALSE(failed.ok) << body;
    EXPECT_TRUE(failed.quotes.empty());
    EXPECT_FALSE(failed.error.empty());
  }
  EXPECT_FALSE(engine::ParseTilde(comma).ok);
  EXPECT_FALSE(engine::ParseTilde("").ok);
  // Codes the service does not know are lines of the format: an answer, without quotes.
  for (auto [format, body] : {std::pair{Format::Comma, "var hq_str_sh600000=\"\";\n\n"},
                              std::pair{Format::Tilde, "v_pv_none_match=\"1\";\n"}}) {
    auto unknown = engine::ParseAnswer(format, body);
    EXPECT_TRUE(unknown.ok) << unknown.error;
    EXPECT_TRUE(unknown.quotes.empty());
    EXPECT_EQ(unknown.skipped, 0u);
  }
}

// A comma and a tilde record whose every number field holds `number`.
std::string CommaRecord(const std::string& number, const char* date = "2026-12-09") {
  std::string r = "var hq_str_sh600000=\"name";
  for (int i = 1; i <= 29; ++i) r += "," + number;
  return r + "," + date + ",15:00:00,00\";\n";
}
std::string TildeRecord(const std::string& number) {
  std::string r = "v_sh600000=\"1~name~600000";
  for (int i = 3; i <= 48; ++i) r += "~" + (i == 30 ? std::string("20261209150000") : i == 40 ? "" : number);
  return r + "~\";\n";
}

// Every shape of number reads as its digits over the power of ten, rounded
// once, whatever its length and wherever it stands; a record with what is
// no number, or a negative price or volume, cannot be read.
TEST(EngineFormats, NumbersReadExactlyInEveryShape) {
  const std::pair<const char*, double> numbers[] = {
      {"8.21", 8.21}, {"", 0}, {"0", 0}, {"10.", 10}, {".5", 0.5}, {"0012.340", 12.34},
      {"290684431.000", 290684431.0}, {"123456789012.345", 123456789012.345},
      {"1234567890123456.5", 1234567890123456.5}, {"+2.25", 2.25},
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
  for (const char* junk : {"1.2.3", "-", ".", "1e5", "0x10", "12345678901234567890", "8.21 ", "-1.5"}) {
    auto c = engine::ParseComma(CommaRecord(junk));
    auto t = engine::ParseTilde(TildeRecord(junk));
    EXPECT_FALSE(c.ok || t.ok) << junk;
    const char* why = junk[0] == '-' && junk[1] ? "line 1: a negative price" : "line 1: a number field is not a number";
    EXPECT_NE(c.error.find(why), std::string::npos) << junk << ": " << c.error;
    EXPECT_NE(t.error.find(why), std::string::npos) << junk << ": " << t.error;
  }
  // A time the report's 32-bit seconds cannot hold is no time, not a wrapped one.
  EXPECT_NE(engine::ParseComma(CommaRecord("1", "2040-01-01")).error.find("line 1: bad date or time"),
            std::string::npos);
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
                         &TQuoteReport::high, &TQuoteReport::low, &TQuoteReport::bidPrice4, &TQuoteReport::askVolume5})
        EXPECT_EQ(b.*field, a.*field) << engine::FormatName(f) << " " << comma.quotes[i].symbol;
      // The tilde format counts whole lots, as the service does.
      EXPECT_NEAR(b.volume, a.volume, f == Format::Tilde ? 50 : 0) << comma.quotes[i].symbol;
    }
  }
}

// --- The services' own answers -------------------------------------------

// A whole answer as a service sent it (see real_quotes/README.md): missing
// data fails the test, it does not skip it.
std::string RealAnswer(const char* name) {
  std::ifstream in(testing_support::SourcePath(std::string("../shared/data/real_quotes/") + name), std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// The records of an answer by symbol, split on `sep` independently of the
// engine: what a test compares the reports with.
std::map<std::string, std::vector<std::string>> RawRecords(const std::string& body, const std::string& prefix,
                                                           char sep) {
  std::map<std::string, std::vector<std::string>> out;
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) != 0) continue;
    const size_t eq = line.find("=\"");
    const std::string text = line.substr(eq + 2, line.rfind('"') - eq - 2);
    if (text.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream split(text + sep);
    for (std::string f; std::getline(split, f, sep);) fields.push_back(f);
    out[line.substr(prefix.size(), eq - prefix.size())] = fields;
  }
  return out;
}

TEST(EngineFormats, EveryRecordOfTheServicesAnswersReadsInOneUnit) {
  const std::string commaBody = RealAnswer("comma-answer-2022-11-22.txt");
  const std::string tildeBody = RealAnswer("tilde-answer-2022-11-22.txt");
  ASSERT_GT(commaBody.size(), 100000u) << "the recorded comma answer is missing";
  ASSERT_GT(tildeBody.size(), 100000u) << "the recorded tilde answer is missing";
  const auto commaRaw = RawRecords(commaBody, "var hq_str_", ',');
  const auto tildeRaw = RawRecords(tildeBody, "v_", '~');
  const auto comma = engine::ParseComma(commaBody);
  const auto tilde = engine::ParseTilde(tildeBody);
  ASSERT_TRUE(comma.ok) << comma.error;
  ASSERT_TRUE(tilde.ok) << tilde.error;
  // Every record that is not empty gives its quote: none is skipped.
  EXPECT_EQ(comma.skipped, 0u) << comma.error;
  EXPECT_EQ(tilde.skipped, 0u) << tilde.error;
  EXPECT_EQ(comma.quotes.size(), commaRaw.size());
  EXPECT_EQ(tilde.quotes.size(), tildeRaw.size());
  EXPECT_GT(commaRaw.size(), 800u);
  EXPECT_EQ(tildeRaw.size(), 900u);

  size_t traded = 0, untraded = 0;
  for (const auto* answer : {&comma, &tilde}) {
    const bool isTilde = answer == &tilde;
    for (const auto& q : answer->quotes) {
      const TQuoteReport& r = q.report;
      const auto& raw = (isTilde ? tildeRaw : commaRaw).at(q.symbol);
      EXPECT_FLOAT_EQ(r.prevClose, std::stof(raw[isTilde ? 4 : 2])) << q.symbol;
      const std::string status = isTilde ? raw[40] : raw[32];
      const bool rawTraded = (isTilde ? status.empty() : status == "00") && std::stod(raw[isTilde ? 6 : 8]) > 0;
      EXPECT_EQ(r.volume > 0, rawTraded) << q.symbol;
      if (r.volume > 0) {
        ++traded;
        // Where a security traded, its average price lies within the day's
        // range: the volume is in shares and the amount in yuan. The tilde
        // format rounds the volume to whole lots (half a lot either way);
        // the report's floats hold seven digits.
        const double slack = (isTilde ? 50 : 0) + r.volume * 1e-6;
        EXPECT_LE(r.amount / r.high, r.volume + slack) << q.symbol;
        EXPECT_GE(r.amount / r.low, r.volume - slack) << q.symbol;
        EXPECT_GT(r.newestPrice, 0) << q.symbol;
        EXPECT_FLOAT_EQ(r.newestPrice, std::stof(raw[3])) << q.symbol;
      } else {
        // Suspended, delisted, or stale: no price, whatever the record shows
        // (the tilde format shows the previous close as the newest price).
        ++untraded;
        EXPECT_EQ(r.newestPrice, 0) << q.symbol;
        EXPECT_EQ(r.open, 0) << q.symbol;
        EXPECT_EQ(r.high, 0) << q.symbol;
        EXPECT_EQ(r.low, 0) << q.symbol;
      }
      EXPECT_GE(r.volume, 0) << q.symbol;
      if (isTilde) {
        // The day's limits as published; none (-1) for delisted ones.
        const bool none = raw[47] == "-1";
        EXPECT_EQ(q.limitUp, none ? 0 : std::stod(raw[47])) << q.symbol;
        EXPECT_EQ(q.limitDown, none ? 0 : std::stod(raw[48])) << q.symbol;
      }
    }
  }
  EXPECT_GT(traded, 1600u);
  EXPECT_GT(untraded, 20u);

  // Both answers were taken in the midday break: where both hold a security
  // that trades, they agree on its volume (to the tilde format's lot), on
  // its amount (to the tilde format's whole yuan) and its previous close.
  size_t compared = 0;
  for (const auto& c : comma.quotes) {
    const engine::SourceQuote* t = Find(tilde, c.symbol);
    if (!t || c.report.volume == 0 || t->report.volume == 0) continue;
    ++compared;
    EXPECT_NEAR(t->report.volume, c.report.volume, 50) << c.symbol;
    EXPECT_NEAR(t->report.amount, c.report.amount, 1 + c.report.amount * 1e-7) << c.symbol;  // float's precision
    EXPECT_EQ(t->report.prevClose, c.report.prevClose) << c.symbol;
    EXPECT_EQ(t->report.newestPrice, c.report.newestPrice) << c.symbol;
  }
  EXPECT_GT(compared, 800u);

  // The suspended 通润装备 and the delisted 众和退, as each format shows them.
  const TQuoteReport& suspended = Find(tilde, "sz002150")->report;
  EXPECT_EQ(suspended.newestPrice, 0);
  EXPECT_FLOAT_EQ(suspended.prevClose, 9.55f);
  EXPECT_FLOAT_EQ(Find(tilde, "sz002150")->limitUp, 10.51f);
  EXPECT_FLOAT_EQ(Find(tilde, "sz002150")->limitDown, 8.60f);
  EXPECT_EQ(Find(comma, "sz002150")->report.newestPrice, 0);
  EXPECT_FLOAT_EQ(Find(comma, "sz002150")->report.prevClose, 9.55f);
  EXPECT_EQ(Find(tilde, "sz002070")->report.newestPrice, 0);
  EXPECT_FLOAT_EQ(Find(tilde, "sz002070")->report.prevClose, 0.71f);
  EXPECT_EQ(Find(tilde, "sz002070")->limitUp, 0);
  // Names with spaces inside, the tilde format's exact amount.
  EXPECT_EQ(base::GbkToUtf8Lossy(base::FixedTextView(Find(tilde, "sz002040")->report.name)), "南 京 港");
  EXPECT_FLOAT_EQ(Find(tilde, "sz002039")->report.amount, 59265612.0f);
  EXPECT_FLOAT_EQ(Find(tilde, "sz002039")->report.volume, 4303200.0f);
  EXPECT_FLOAT_EQ(Find(tilde, "sz002039")->report.bidVolume[0], 24300.0f);
  EXPECT_EQ(Find(tilde, "sz002039")->report.quoteTime, engine::BeijingToUtc(2022, 11, 22, 11, 57, 30));
}

// --- Shapes the recorded answers lack --------------------------------------

// A comma record of `symbol` with fields 1 to 29 as given (the rest 0), its
// date, time and status, and `tail` after the status.
std::string Comma(const std::string& symbol, std::map<int, std::string> set, const std::string& stamp,
                  const std::string& status, const std::string& tail = "") {
  std::string r = "var hq_str_" + symbol + "=\"NAME";
  for (int i = 1; i <= 29; ++i) r += "," + (set.count(i) ? set[i] : std::string("0"));
  return r + "," + stamp + "," + status + tail + "\";\n";
}
// A traded comma record: prices around 10 yuan, `volume` and `amount` as given.
std::string CommaTraded(const std::string& symbol, const std::string& volume, const std::string& amount,
                        const std::string& time, const std::string& tail) {
  return Comma(symbol, {{1, "10.00"}, {2, "9.90"}, {3, "10.10"}, {4, "10.20"}, {5, "9.95"}, {8, volume},
                        {9, amount}, {10, "3300"}, {11, "10.09"}, {20, "4400"}, {21, "10.10"}},
               "2026-12-09," + time, "00", tail);
}

// A tilde record of `count` fields, "0" unless given (1 the name, 2 the code
// from the symbol).
std::string Tilde(const std::string& symbol, size_t count, std::map<size_t, std::string> set) {
  std::string r = "v_" + symbol + "=\"";
  for (size_t i = 0; i < count; ++i) {
    if (i) r += '~';
    r += set.count(i) ? set[i] : i == 1 ? "NAME" : i == 2 ? symbol.substr(2) : "0";
  }
  return r + "\";\n";
}

TEST(EngineFormats, TheShapesOfOtherHoursBoardsAndRecordsReadAsWell) {
  // Comma: after 15:34:45 the `D|volume|amount` field; Beijing's 39 fields;
  // a Shanghai index counting lots; Shanghai's trailing comma; a record with
  // no trade yet; a date that is none and a broken record among them.
  const std::string comma = CommaTraded("sh600000", "1200000", "12120000.000", "15:40:02", ",D|1200000|12120000.000") +
                            CommaTraded("sz000001", "500000", "5050000.000", "15:40:03", ",D|500000|5050000.000") +
                            CommaTraded("bj920001", "80000", "808000.000", "15:30:00", ",0.000,0,0.000,,1,") +
                            Comma("sh000001", {{1, "3390.1"}, {2, "3385.4"}, {3, "3402.9"}, {4, "3410.0"},
                                               {5, "3381.5"}, {8, "412345678"}, {9, "498765432100"}},
                                  "2026-12-09,15:00:01", "00", ",") +
                            CommaTraded("sh600519", "10000", "101000.000", "14:59:59", ",") +
                            Comma("sz000002", {{1, "0"}, {2, "8.50"}, {3, "8.50"}}, "2026-12-09,09:20:00", "00") +
                            CommaTraded("sz000005", "10x0", "1010.000", "15:00:00", "") +
                            Comma("sz000007", {{2, "9.90"}, {3, "10.10"}, {8, "100"}, {9, "1010"}},
                                  "2026-12-09,10:00:00", "03");  // suspended, whatever else it shows
  std::string badDate = CommaTraded("sz000006", "100", "1010.000", "15:00:00", "");
  badDate.replace(badDate.find("2026-12-09"), 10, "2026-02-30");
  auto c = engine::ParseComma(comma + badDate);
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.skipped, 2u) << c.error;  // sz000005's volume, sz000006's date
  EXPECT_EQ(Find(c, "sz000005"), nullptr);
  EXPECT_EQ(Find(c, "sz000006"), nullptr);
  for (const char* symbol : {"sh600000", "sz000001", "bj920001", "sh600519"}) {
    const auto* q = Find(c, symbol);
    ASSERT_NE(q, nullptr) << symbol;
    EXPECT_FLOAT_EQ(q->report.newestPrice, 10.10f) << symbol;
    EXPECT_FLOAT_EQ(q->report.amount / q->report.volume, 10.10f) << symbol;
    EXPECT_FLOAT_EQ(q->report.bidVolume[0], 3300) << symbol;
    EXPECT_FLOAT_EQ(q->report.askPrice[0], 10.10f) << symbol;
  }
  EXPECT_FLOAT_EQ(Find(c, "sh600000")->report.volume, 1200000);
  EXPECT_EQ(Find(c, "sh600000")->report.quoteTime, engine::BeijingToUtc(2026, 12, 9, 15, 40, 2));
  // The index's volume in shares: about 12 yuan a share, as its constituents.
  EXPECT_FLOAT_EQ(Find(c, "sh000001")->report.volume, 41234567800.0f);
  EXPECT_FLOAT_EQ(Find(c, "sh000001")->report.newestPrice, 3402.9f);
  // No trade yet, or suspended: no price, the previous close kept.
  for (const char* symbol : {"sz000002", "sz000007"}) {
    EXPECT_EQ(Find(c, symbol)->report.newestPrice, 0) << symbol;
    EXPECT_GT(Find(c, symbol)->report.prevClose, 8) << symbol;
  }

  // Tilde: STAR counts shares, other boards lots; the limits; a record of
  // twelve level pairs (seen delisted; here also one that trades, so that
  // every shifted field shows); a suspended one; one with no trade yet; a
  // bad date; an unknown-code line.
  std::map<size_t, std::string> star = {{3, "50.50"},  {4, "50.00"},  {5, "50.10"},  {6, "123456"},
                                        {9, "50.49"},  {10, "700"},   {19, "50.50"}, {20, "900"},
                                        {30, "20261209145959"},        {33, "51.00"}, {34, "49.90"},
                                        {35, "50.50/123456/6234528"},  {37, "623"},   {40, ""},
                                        {47, "60.00"}, {48, "40.00"}};
  std::map<size_t, std::string> main = star;
  main[6] = "1235", main[35] = "50.50/1235/6236750", main[47] = "55.00", main[48] = "45.00";
  std::map<size_t, std::string> wide = {{3, "20.20"},  {4, "20.00"},  {5, "20.10"},  {6, "1000"},
                                        {9, "20.19"},  {10, "11"},    {19, "20.18"}, {20, "12"},
                                        {21, "20.20"}, {22, "13"},    {31, "20.21"}, {32, "14"},
                                        {34, "20261209150000"},        {37, "20.50"}, {38, "19.90"},
                                        {39, "20.20/1000/2020500"},    {41, "202"},   {44, ""},
                                        {51, "22.00"}, {52, "18.00"}};
  std::map<size_t, std::string> delisted = {{3, "0.71"}, {4, "0.71"}, {30, "0"}, {34, "20261209090000"},
                                            {39, "0.71/0/0"}, {44, "D"}, {51, "-1"}, {52, "-1"}};
  std::map<size_t, std::string> suspended = {{3, "9.55"}, {4, "9.55"}, {30, "20261209145000"},
                                             {35, "9.55/0/0"}, {40, "S"}, {47, "10.51"}, {48, "8.60"}};
  std::map<size_t, std::string> notYet = {{3, "7.00"}, {4, "7.00"}, {30, "20261209091500"}, {40, ""}};
  std::map<size_t, std::string> halted = main;  // suspended, whatever else it shows
  halted[40] = "S";
  std::map<size_t, std::string> badStamp = main;
  badStamp[30] = "20260230145959";
  auto t = engine::ParseTilde(Tilde("sh688981", 88, star) + Tilde("sh600000", 88, main) +
                              Tilde("sz000001", 92, wide) + Tilde("sz002070", 92, delisted) +
                              Tilde("sz002150", 88, suspended) + Tilde("sz000002", 49, notYet) +
                              Tilde("sh600001", 88, halted) +
                              Tilde("sz000004", 88, badStamp) + "v_pv_none_match=\"1\";\n");
  ASSERT_TRUE(t.ok) << t.error;
  EXPECT_EQ(t.skipped, 1u) << t.error;
  EXPECT_EQ(t.quotes.size(), 7u);
  const TQuoteReport& s = Find(t, "sh688981")->report;
  EXPECT_FLOAT_EQ(s.volume, 123456);
  EXPECT_FLOAT_EQ(s.bidVolume[0], 700);
  EXPECT_FLOAT_EQ(s.askVolume[0], 900);
  EXPECT_FLOAT_EQ(s.amount, 6234528);
  EXPECT_FLOAT_EQ(Find(t, "sh688981")->limitUp, 60);
  EXPECT_FLOAT_EQ(Find(t, "sh688981")->limitDown, 40);
  const TQuoteReport& m = Find(t, "sh600000")->report;
  EXPECT_FLOAT_EQ(m.volume, 123500);
  EXPECT_FLOAT_EQ(m.bidVolume[0], 70000);
  EXPECT_FLOAT_EQ(m.amount / m.volume, 50.50f);
  const auto& w = *Find(t, "sz000001");
  EXPECT_FLOAT_EQ(w.report.newestPrice, 20.20f);
  EXPECT_FLOAT_EQ(w.report.high, 20.50f);
  EXPECT_FLOAT_EQ(w.report.low, 19.90f);
  EXPECT_FLOAT_EQ(w.report.volume, 100000);
  EXPECT_FLOAT_EQ(w.report.amount, 2020500);
  EXPECT_FLOAT_EQ(w.report.bidPrice[0], 20.19f);
  EXPECT_FLOAT_EQ(w.report.askPrice[0], 20.20f);  // after six bid pairs
  EXPECT_FLOAT_EQ(w.report.askVolume[0], 1300);
  EXPECT_EQ(w.report.quoteTime, engine::BeijingToUtc(2026, 12, 9, 15, 0, 0));
  EXPECT_FLOAT_EQ(w.limitUp, 22);
  EXPECT_FLOAT_EQ(w.limitDown, 18);
  for (const char* symbol : {"sz002070", "sz002150", "sz000002", "sh600001"}) {
    const auto& q = *Find(t, symbol);
    EXPECT_EQ(q.report.newestPrice, 0) << symbol;
    EXPECT_GT(q.report.prevClose, 0) << symbol;
  }
  EXPECT_EQ(Find(t, "sz002070")->limitUp, 0);
  EXPECT_FLOAT_EQ(Find(t, "sz002150")->limitUp, 10.51f);
  EXPECT_NE(t.error.find("line 8: bad date or time"), std::string::npos) << t.error;
}

// The stand-in server's answers have the services' shapes and read back as
// the reports they were written from.
TEST(EngineFormats, TheStandInsAnswersHaveTheServicesShapes) {
  auto report = [](float prevClose, float price, int hour, int minute, int second) {
    TQuoteReport r{};
    r.quoteTime = static_cast<int32_t>(engine::BeijingToUtc(2026, 12, 9, hour, minute, second));
    base::WriteFixedText(r.name, "NAME");
    r.prevClose = prevClose;
    if (price > 0) {
      r.newestPrice = r.open = r.high = r.low = price;
      r.volume = 120000, r.amount = 120000 * price;
      r.bidPrice[0] = price, r.bidVolume[0] = 3000;
    }
    return r;
  };
  auto fields = [](const std::string& line, char sep) {
    const std::string text = line.substr(line.find("=\"") + 2, line.rfind('"') - line.find("=\"") - 2);
    std::vector<std::string> out;
    std::istringstream split(text + sep);
    for (std::string f; std::getline(split, f, sep);) out.push_back(f);
    return out;
  };
  struct Case {
    const char* symbol;
    TQuoteReport r;
    size_t commaFields;
    const char* commaLast;  // the comma record's last field
    const char* limitUp;
    const char* limitDown;
  };
  const Case cases[] = {
      {"sh600000", report(10.00f, 10.50f, 14, 59, 59), 34, "", "11.00", "9.00"},
      {"sh600001", report(10.00f, 10.50f, 15, 34, 45), 34, "D|120000|1260000.000", "11.00", "9.00"},
      {"sz000001", report(10.00f, 10.50f, 15, 34, 44), 33, "00", "11.00", "9.00"},
      {"sz300750", report(10.05f, 10.50f, 16, 0, 0), 34, "D|120000|1260000.000", "12.06", "8.04"},
      {"sh688981", report(10.00f, 10.50f, 10, 0, 0), 34, "", "12.00", "8.00"},
      {"bj920001", report(10.00f, 10.50f, 15, 40, 0), 39, "", "13.00", "7.00"},
      {"sh000001", report(3000.f, 3010.f, 15, 40, 0), 34, "", "-1", "-1"},
      {"sz000002", report(9.55f, 0, 11, 30, 0), 33, "03", "10.51", "8.60"},  // no trade today: suspended
  };
  for (const Case& k : cases) {
    std::string comma, tilde;
    engine::AppendAnswerLine(comma, Format::Comma, k.symbol, k.r);
    engine::AppendAnswerLine(tilde, Format::Tilde, k.symbol, k.r);
    const auto cf = fields(comma, ','), tf = fields(tilde, '~');
    EXPECT_EQ(cf.size(), k.commaFields) << comma;
    EXPECT_EQ(cf.back(), k.commaLast) << comma;
    EXPECT_EQ(tf.size(), 88u) << tilde;
    EXPECT_EQ(tf[47], k.limitUp) << k.symbol;
    EXPECT_EQ(tf[48], k.limitDown) << k.symbol;
    const bool traded = k.r.newestPrice > 0;
    EXPECT_EQ(tf[40], traded ? "" : "S") << k.symbol;
    // Untraded, the tilde format shows the previous close as the newest price.
    EXPECT_FLOAT_EQ(std::stof(tf[3]), traded ? k.r.newestPrice : k.r.prevClose) << k.symbol;
    for (auto [format, body] : {std::pair{Format::Comma, comma}, std::pair{Format::Tilde, tilde}}) {
      auto back = engine::ParseAnswer(format, body);
      ASSERT_TRUE(back.ok && back.quotes.size() == 1) << body << back.error;
      const auto& q = back.quotes[0];
      EXPECT_EQ(q.report.quoteTime, k.r.quoteTime) << body;
      EXPECT_FLOAT_EQ(q.report.newestPrice, k.r.newestPrice) << body;
      EXPECT_FLOAT_EQ(q.report.prevClose, k.r.prevClose) << body;
      EXPECT_FLOAT_EQ(q.report.volume, k.r.volume) << body;
      EXPECT_FLOAT_EQ(q.report.bidVolume[0], k.r.bidVolume[0]) << body;
      EXPECT_NEAR(q.report.amount, k.r.amount, 1) << body;
      if (format == Format::Tilde) {
        EXPECT_EQ(q.limitUp, tf[47] == "-1" ? 0 : std::stod(tf[47])) << body;
      }
    }
  }
  // A report with neither price nor previous close: the delisted shape.
  std::string gone;
  engine::AppendAnswerLine(gone, Format::Tilde, "sz002070", report(0, 0, 11, 30, 0));
  const auto g = fields(gone, '~');
  EXPECT_EQ(g[40], "D");
  EXPECT_EQ(g[30], "20261209090000");
  EXPECT_EQ(g[47], "-1");
}

// Bare codes (no market given) by the exchanges' code allocation; the
// program's index codes; codes the services cannot name.
TEST(EngineFormats, ProgramCodesMapToTheServicesSymbols) {
  auto symbol = [](const char* code, uint32_t market) {
    auto s = engine::SecurityOf(code, market);
    return s ? s->symbol : std::string("-");
  };
  // A market given wins over the digits.
  EXPECT_EQ(symbol("600000", quotes::kMarketShanghai), "sh600000");
  EXPECT_EQ(symbol("000001", quotes::kMarketShenzhen), "sz000001");
  EXPECT_EQ(symbol("000001", quotes::kMarketShanghai), "sh000001");
  EXPECT_EQ(symbol("131810", quotes::kMarketShanghai), "sh131810");
  // The program's index codes: 1A0xxx is Shanghai's 000xxx, whatever the market.
  EXPECT_EQ(symbol("1A0001", 0), "sh000001");
  EXPECT_EQ(symbol("1A0300", quotes::kMarketShenzhen), "sh000300");
  const std::pair<const char*, const char*> bare[] = {
      // Shanghai: A shares and STAR, B shares, funds.
      {"600000", "sh"}, {"601398", "sh"}, {"603288", "sh"}, {"605499", "sh"}, {"688981", "sh"}, {"689009", "sh"},
      {"900901", "sh"}, {"510050", "sh"}, {"501050", "sh"}, {"588000", "sh"}, {"563000", "sh"},
      // Shanghai bonds: convertibles 110/111/113/118, corporate and enterprise
      // bonds 12x/13x, exchangeable 132, the pledged repo 204, treasuries 01/02,
      // the newer bonds of 2xxxxx.
      {"110059", "sh"}, {"111000", "sh"}, {"113050", "sh"}, {"118000", "sh"},
      {"122001", "sh"}, {"124001", "sh"}, {"129001", "sh"}, {"132001", "sh"}, {"136001", "sh"},
      {"204001", "sh"}, {"204182", "sh"},
      {"010107", "sh"}, {"019547", "sh"}, {"020001", "sh"}, {"240001", "sh"},
      // Shenzhen: A shares of every range, ChiNext, B shares, indexes, funds.
      {"000001", "sz"}, {"001979", "sz"}, {"002594", "sz"}, {"003816", "sz"}, {"300750", "sz"}, {"301001", "sz"},
      {"200002", "sz"}, {"399001", "sz"}, {"159915", "sz"}, {"161725", "sz"}, {"180101", "sz"},
      // Shenzhen bonds: treasuries and local bonds 10x, corporate 112, small
      // placements 114, convertibles 123/127/128, exchangeable 120, repos 131.
      {"101901", "sz"}, {"109001", "sz"}, {"112001", "sz"}, {"114001", "sz"}, {"120001", "sz"},
      {"123050", "sz"}, {"127045", "sz"}, {"128136", "sz"}, {"131810", "sz"}, {"131801", "sz"},
      // Beijing: 4, 8, 92.
      {"430047", "bj"}, {"830799", "bj"}, {"873001", "bj"}, {"920001", "bj"}, {"899050", "bj"},
  };
  for (auto [code, market] : bare) EXPECT_EQ(symbol(code, 0), std::string(market) + code) << code;
  EXPECT_EQ(engine::SecurityOf("600000", 0)->market, quotes::kMarketShanghai);
  EXPECT_EQ(engine::SecurityOf("131810", 0)->market, quotes::kMarketShenzhen);
  EXPECT_EQ(engine::SecurityOf("830799", 0)->market, engine::kMarketBeijing);
  EXPECT_EQ(symbol("60000", 0), "-");
  EXPECT_EQ(symbol("60000x", 0), "-");
  EXPECT_EQ(symbol("", 0), "-");
  // Format names in any case.
  EXPECT_EQ(engine::FormatFromName("Comma"), Format::Comma);
  EXPECT_EQ(engine::FormatFromName("TILDE"), Format::Tilde);
  EXPECT_EQ(engine::FormatFromName("tilde"), Format::Tilde);
  EXPECT_EQ(engine::FormatFromName("tildes"), std::nullopt);
  EXPECT_EQ(engine::FormatFromName(""), std::nullopt);
  // The stored time shows as Beijing time through the program's +8 h.
  EXPECT_EQ(engine::BeijingToUtc(1970, 1, 1, 8, 0, 0), 0);
}

}  // namespace
