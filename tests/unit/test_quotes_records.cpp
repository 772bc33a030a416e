// Quote records, packets and the tape reader.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/datetime.h"
#include "base/fixed_text.h"
#include "quotes/Ustockdrv.h"
#include "quotes/quote_tape.h"

using namespace quotes;

TEST(QuotePacket, ReportsAreReadFromTheirUnalignedPlaces) {
  // Three reports back to back at an odd address, as the engine may lay them out.
  std::vector<unsigned char> block(1 + 3 * kQuoteReportSize);
  for (int i = 0; i < 3; ++i) {
    TQuoteReport r{};
    base::WriteFixedText(r.code, std::string("60000") + char('0' + i));
    r.newestPrice = 10.0f + i;
    base::StoreRecord(block.data() + 1 + i * kQuoteReportSize, r);
  }
  TQuotePacket packet{};
  packet.count = 3;
  packet.firstReport = block.data() + 1;
  const PacketReports reports = ReadPacket(&packet);
  ASSERT_EQ(reports.count, 3);
  EXPECT_EQ(ReportCode(reports.At(2)), "600002");
  EXPECT_FLOAT_EQ(reports.At(1).newestPrice, 11.0f);
}

TEST(QuotePacket, ACountBelowOneReadsNoReports) {
  TQuotePacket packet{};
  packet.count = -4;
  EXPECT_EQ(ReadPacket(&packet).count, 0);
}

TEST(QuoteReport, CodeStopsAtTheNulOrTheFieldEnd) {
  TQuoteReport r{};
  std::memcpy(r.code, "1234567890", 10);
  r.name[0] = 'X';  // the next field must not be read into the code
  EXPECT_EQ(ReportCode(r), "1234567890");
  base::WriteFixedText(r.code, "600000");
  EXPECT_EQ(ReportCode(r), "600000");
}

TEST(QuoteReport, QuoteTimeZeroIsEightOClockOnTheEpochDay) {
  TQuoteReport r{};
  EXPECT_EQ(base::FormatDateTime("yyyy-mm-dd hh:nn:ss", ReportDateTime(r)), "1970-01-01 08:00:00");
}

TEST(QuoteTape, ReadsLinesIntoReports) {
  const auto t = ParseTape(
      "\xEF\xBB\xBF# recorded on a Friday\r\n"
      "time,code,market,name,prev_close,open,high,low,price\r\n"
      "\r\n"
      "2012-05-18 10:31:07,600000,SH,浦发银行,10.1,10.15,10.9,10.05,10.2\r\n"
      "2012-05-18 10:31:08,000001,SZ,\"平安, 银行\",1,2,3,4,5\n"
      "2012-05-18 10:31:09,399001,12345,\"say \"\"hi\"\"\",1,2,3,4,-5.5");
  ASSERT_TRUE(t.ok) << t.errorLine << ": " << t.error;
  ASSERT_EQ(t.lines.size(), 3u);
  const TQuoteReport& r = t.lines[0].report;
  EXPECT_EQ(t.lines[0].lineNumber, 4);
  EXPECT_EQ(ReportCode(r), "600000");
  EXPECT_EQ(r.market, kMarketShanghai);
  EXPECT_EQ(base::ReadFixedUtf8(r.name), "浦发银行");
  EXPECT_EQ(base::ReadFixedText(r.name), "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0") << "GBK in the record";
  EXPECT_FLOAT_EQ(r.prevClose, 10.1f);
  EXPECT_FLOAT_EQ(r.open, 10.15f);
  EXPECT_FLOAT_EQ(r.high, 10.9f);
  EXPECT_FLOAT_EQ(r.low, 10.05f);
  EXPECT_FLOAT_EQ(r.newestPrice, 10.2f);
  EXPECT_EQ(r.recordSize, 158);
  EXPECT_EQ(base::FormatDateTime("yyyy-mm-dd hh:nn:ss", ReportDateTime(r)), "2012-05-18 10:31:07");
  EXPECT_EQ(base::FormatDateTime("yyyy-mm-dd hh:nn:ss", t.lines[0].time), "2012-05-18 10:31:07");
  EXPECT_EQ(t.lines[1].report.market, kMarketShenzhen);
  EXPECT_EQ(base::ReadFixedUtf8(t.lines[1].report.name), "平安, 银行");
  EXPECT_EQ(t.lines[2].report.market, 12345);
  EXPECT_EQ(base::ReadFixedUtf8(t.lines[2].report.name), "say \"hi\"");
}

TEST(QuoteTape, BadLinesAreNamedByNumber) {
  const std::string header = "time,code,market,name,prev_close,open,high,low,price\n";
  struct Case {
    std::string line;
    std::string words;
  };
  const std::vector<Case> cases = {
      {"2012-05-18 10:31:07,600000,SH,x,1,2,3,4", "9 fields"},
      {"2012-05-18 10:31,600000,SH,x,1,2,3,4,5", "time"},
      {"2012-02-30 10:31:07,600000,SH,x,1,2,3,4,5", "no such time"},
      {"2012-05-18 24:00:00,600000,SH,x,1,2,3,4,5", "no such time"},
      {"2099-05-18 10:00:00,600000,SH,x,1,2,3,4,5", "out of range"},
      {"2012-05-18 10:31:07,60000012345,SH,x,1,2,3,4,5", "code"},
      {"2012-05-18 10:31:07,,SH,x,1,2,3,4,5", "code"},
      {"2012-05-18 10:31:07,600000,SS,x,1,2,3,4,5", "market"},
      {"2012-05-18 10:31:07,600000,70000,x,1,2,3,4,5", "market"},
      {"2012-05-18 10:31:07,600000,-1,x,1,2,3,4,5", "market"},
      {"2012-05-18 10:31:07,600000,SH,x,1,2,3,4,abc", "price"},
      {"2012-05-18 10:31:07,600000,SH,x,1,2,3,4,1e99", "price"},
      {"2012-05-18 10:31:07,600000,SH,\"x,1,2,3,4,5", "quoted"},
      {"2012-05-18 10:31:07,600000,SH,x\xFF,1,2,3,4,5", "UTF-8"},
      {"2012-05-18 10:31:07,600000,SH,\xF0\x9F\x98\x80,1,2,3,4,5", "GBK"},
      {"2012-05-18 10:31:07,600000,SH,一二三四五六七八九十一二三四五六七,1,2,3,4,5", "longer"},
  };
  for (const Case& c : cases) {
    const auto t = ParseTape(header + "# note\n" + c.line + "\n");
    EXPECT_FALSE(t.ok) << c.line;
    EXPECT_EQ(t.errorLine, 3) << c.line;
    EXPECT_NE(t.error.find(c.words), std::string::npos) << c.line << " -> " << t.error;
    EXPECT_TRUE(t.lines.empty());
  }
}

TEST(QuoteTape, TheHeaderIsRequired) {
  EXPECT_FALSE(ParseTape("").ok);
  EXPECT_FALSE(ParseTape("# only a comment\n").ok);
  const auto t = ParseTape("time,code,market,name,price\n");
  EXPECT_FALSE(t.ok);
  EXPECT_EQ(t.errorLine, 1);
  EXPECT_TRUE(ParseTape("time,code,market,name,prev_close,open,high,low,price").ok) << "an empty tape";
}

TEST(QuoteTape, LocalTimeToQuoteTimeInvertsTheConversion) {
  int32_t t = 0;
  ASSERT_TRUE(LocalTimeToQuoteTime(1970, 1, 1, 8, 0, 0, t));
  EXPECT_EQ(t, 0);
  ASSERT_TRUE(LocalTimeToQuoteTime(2012, 5, 18, 10, 31, 7, t));
  EXPECT_EQ(base::FormatDateTime("yyyy-mm-dd hh:nn:ss", base::QuoteTimeToDateTime(t)), "2012-05-18 10:31:07");
  EXPECT_FALSE(LocalTimeToQuoteTime(2040, 1, 1, 0, 0, 0, t));
  EXPECT_EQ(MarketText(kMarketShanghai), "SH");
  EXPECT_EQ(MarketText(7), "7");
}
