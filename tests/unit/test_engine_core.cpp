// The quote engine's worker against a local server speaking both formats:
// batching, kept-alive connections, posting on change, failover, the
// outage messages, and the single-quote request.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "base/fixed_text.h"
#include "engine/engine_core.h"

namespace {

using namespace std::chrono_literals;
using engine::Format;
using quotes::TQuoteReport;
using quotes::TStockLabel;

// Quotes by symbol, served in both formats; each format can be made to fail.
class FormatServer {
 public:
  FormatServer() {
    for (Format f : {Format::Comma, Format::Tilde}) {
      const char* route = f == Format::Comma ? R"(/list=([a-z0-9,]*))" : R"(/q=([a-z0-9,]*))";
      server_.Get(route, [this, f](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex_);
        auto& s = stats_[f];
        ++s.requests;
        s.peers.insert(req.remote_port);
        size_t count = 0;
        std::string body;
        std::string list = req.matches[1];
        for (size_t start = 0; start <= list.size();) {
          size_t comma = std::min(list.find(',', start), list.size());
          std::string symbol = list.substr(start, comma - start);
          start = comma + 1;
          ++count;
          auto it = quotes_.find(symbol);
          if (it != quotes_.end())
            engine::AppendAnswerLine(body, f, symbol, it->second);
          else
            body += f == Format::Comma ? "var hq_str_" + symbol + "=\"\";\n" : "v_pv_none_match=\"1\";\n";
        }
        s.largestBatch = std::max(s.largestBatch, count);
        if (failing_.count(f)) {
          res.status = 503;
          return;
        }
        if (garbled_.count(f)) body = "var hq_str_sh600000=\"a,b\";\n";
        res.set_content(body, "text/plain");
      });
    }
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~FormatServer() {
    server_.stop();
    thread_.join();
  }
  std::string Base(Format f) const {
    return "http://127.0.0.1:" + std::to_string(port_) + (f == Format::Comma ? "/list=" : "/q=");
  }
  void Set(const std::string& symbol, float price, int32_t time = 1796799600) {
    TQuoteReport r{};
    r.quoteTime = time;
    base::WriteFixedText(r.name, "name");
    r.prevClose = r.open = r.high = r.low = 10;
    r.newestPrice = price;
    r.volume = 1000;
    std::lock_guard lock(mutex_);
    quotes_[symbol] = r;
  }
  void Fail(Format f, bool fail) {
    std::lock_guard lock(mutex_);
    if (fail) failing_.insert(f); else failing_.erase(f);
  }
  void Garble(Format f) {
    std::lock_guard lock(mutex_);
    garbled_.insert(f);
  }
  struct Stats {
    int requests = 0;
    size_t largestBatch = 0;
    std::set<int> peers;
  };
  Stats StatsOf(Format f) {
    std::lock_guard lock(mutex_);
    return stats_[f];
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, TQuoteReport> quotes_;
  std::set<Format> failing_, garbled_;
  std::map<Format, Stats> stats_;
};

class Events : public engine::IEngineEvents {
 public:
  void Reports(const TQuoteReport* reports, size_t count) override {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < count; ++i) reports_.push_back(reports[i]);
    changed_.notify_all();
  }
  void SourcesDown() override { Note("down"); }
  void SourcesBack() override { Note("back"); }
  void Note(const char* what) {
    std::lock_guard lock(mutex_);
    notes_.push_back(what);
    changed_.notify_all();
  }
  template <typename Pred>
  bool WaitFor(Pred pred, std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(reports_, notes_); });
  }
  std::vector<TQuoteReport> Of(const std::string& code) {
    std::lock_guard lock(mutex_);
    std::vector<TQuoteReport> out;
    for (const auto& r : reports_)
      if (quotes::ReportCode(r) == code) out.push_back(r);
    return out;
  }
  std::vector<std::string> Notes() {
    std::lock_guard lock(mutex_);
    return notes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TQuoteReport> reports_;
  std::vector<std::string> notes_;
};

TStockLabel Label(const std::string& code, int32_t market) {
  TStockLabel l{};
  base::WriteFixedText(l.code, code);
  l.market = market;
  return l;
}

bool Has(const std::vector<TQuoteReport>& reports, const std::string& code, float price) {
  for (const auto& r : reports)
    if (quotes::ReportCode(r) == code && r.newestPrice == price) return true;
  return false;
}

engine::EngineConfig Config(const FormatServer& server) {
  engine::EngineConfig config;
  config.sources = {{"comma", Format::Comma, server.Base(Format::Comma)},
                    {"tilde", Format::Tilde, server.Base(Format::Tilde)}};
  config.interval = config.idleInterval = 20ms;
  config.timeout = 2s;
  return config;
}

engine::EngineTiming FastTiming() {
  engine::EngineTiming t;
  t.firstBackoff = 50ms;
  t.maxBackoff = 200ms;
  return t;
}

TEST(EngineCore, PollsWatchedSecuritiesAndFailsOverWithoutLosingAChange) {
  FormatServer server;
  // 70 watched securities: more than one tilde request holds.
  std::vector<TStockLabel> labels;
  for (int i = 0; i < 70; ++i) {
    std::string code = std::to_string(600100 + i);
    server.Set("sh" + code, static_cast<float>(10 + i));
    labels.push_back(Label(code, quotes::kMarketShanghai));
  }
  server.Set("sh000001", 3000);
  labels.push_back(Label("1A0001", 0));  // the program's index code
  labels.push_back(Label("600999", 0));  // no source knows it

  Events events;
  engine::QuoteEngine quotes(events, Config(server), FastTiming());
  quotes.SetLabels(labels.data(), static_cast<int32_t>(labels.size()) - 1);
  quotes.Start();
  ASSERT_TRUE(events.WaitFor([](auto& r, auto&) { return Has(r, "1A0001", 3000) && Has(r, "600169", 79); }));
  // Under the program's code and market.
  auto index = events.Of("1A0001");
  EXPECT_EQ(index[0].market, quotes::kMarketShanghai);
  EXPECT_EQ(index[0].recordSize, 158);

  // Unchanged quotes are not posted again; a change is, once.
  server.Set("sh600100", 10.50f);
  ASSERT_TRUE(events.WaitFor([](auto& r, auto&) { return Has(r, "600100", 10.50f); }));
  std::this_thread::sleep_for(200ms);  // several more polls
  EXPECT_EQ(events.Of("600100").size(), 2u);
  EXPECT_EQ(events.Of("600101").size(), 1u);
  EXPECT_TRUE(events.Of("600999").empty());

  // The first source fails: the second carries on, no outage is reported.
  server.Fail(Format::Comma, true);
  server.Set("sh600100", 10.60f);
  ASSERT_TRUE(events.WaitFor([](auto& r, auto&) { return Has(r, "600100", 10.60f); }));
  auto tilde = server.StatsOf(Format::Tilde);
  EXPECT_GE(tilde.requests, 2);
  EXPECT_EQ(tilde.largestBatch, 60u);  // the tilde format's limit
  // All requests of the tilde source so far went over one kept-alive connection.
  EXPECT_EQ(tilde.peers.size(), 1u);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(events.Of("600100").size(), 3u);
  EXPECT_TRUE(events.Notes().empty());

  // A layout the engine does not know counts as a failure too: both down,
  // one outage message; the first source back, one restored message.
  server.Garble(Format::Tilde);
  ASSERT_TRUE(events.WaitFor([](auto&, auto& n) { return !n.empty(); }));
  std::this_thread::sleep_for(400ms);  // retries, still down
  EXPECT_EQ(events.Notes(), std::vector<std::string>{"down"});
  server.Set("sh600101", 11.11f);
  server.Fail(Format::Comma, false);
  ASSERT_TRUE(events.WaitFor([](auto& r, auto& n) { return n.size() == 2 && Has(r, "600101", 11.11f); }));
  EXPECT_EQ(events.Notes(), (std::vector<std::string>{"down", "back"}));
  EXPECT_EQ(server.StatsOf(Format::Comma).largestBatch, 72u);  // one comma request for all
  quotes.Stop();
  EXPECT_FALSE(quotes.Running());
}

TEST(EngineCore, SingleQuotesFromSeveralThreadsAndUnknownCodesLeaveTheBuffer) {
  FormatServer server;
  server.Set("sz000001", 10.95f);
  server.Set("sh000001", 3402.5f);
  Events events;
  engine::QuoteEngine quotes(events, Config(server), FastTiming());

  std::atomic<int> right{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        TQuoteReport r{};
        if (quotes.Single(" 000001 ", r) && r.newestPrice == 10.95f && r.market == quotes::kMarketShenzhen &&
            quotes::ReportCode(r) == "000001")
          ++right;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(right, 20);
  TQuoteReport index{};
  ASSERT_TRUE(quotes.Single("1A0001", index));
  EXPECT_EQ(index.newestPrice, 3402.5f);
  EXPECT_EQ(quotes::ReportCode(index), "1A0001");

  TQuoteReport untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  TQuoteReport buffer = untouched;
  EXPECT_FALSE(quotes.Single("600999", buffer));
  EXPECT_FALSE(quotes.Single("abc", buffer));
  EXPECT_EQ(std::memcmp(&buffer, &untouched, sizeof buffer), 0);
}

TEST(EngineCore, ConfigurationFromDraskenIni) {
  auto defaults = engine::ReadEngineConfig("");
  ASSERT_EQ(defaults.sources.size(), 2u);
  EXPECT_EQ(defaults.sources[0].base, "http://hq.sinajs.cn/list=");
  EXPECT_EQ(defaults.sources[1].base, "http://qt.gtimg.cn/q=");
  EXPECT_EQ(defaults.interval, 1500ms);
  EXPECT_EQ(defaults.idleInterval, 60000ms);

  auto c = engine::ReadEngineConfig(
      "[Sources]\r\norder = mirror, tilde,nothing\r\nmirror=http://127.0.0.1:8090/list=\r\n"
      "mirror.format=comma\r\ntilde=http://127.0.0.1:8090/q=\r\ninterval_ms=100\r\nidle_interval_ms=200\r\n");
  ASSERT_EQ(c.sources.size(), 2u);
  EXPECT_EQ(c.sources[0].name, "mirror");
  EXPECT_EQ(c.sources[0].format, Format::Comma);
  EXPECT_EQ(c.sources[1].format, Format::Tilde);
  EXPECT_EQ(c.sources[1].base, "http://127.0.0.1:8090/q=");
  EXPECT_EQ(c.interval, 100ms);
  EXPECT_EQ(c.idleInterval, 200ms);
}

TEST(EngineCore, TradingSessionsAreBeijingWeekdayHours) {
  using std::chrono::system_clock;
  auto at = [](int64_t utc) { return system_clock::time_point(std::chrono::seconds(utc)); };
  const int64_t wednesday = 1796774400;  // 2026-12-09 00:00 UTC = 08:00 Beijing
  EXPECT_FALSE(engine::InSession(at(wednesday + 74 * 60)));  // 09:14
  EXPECT_TRUE(engine::InSession(at(wednesday + 75 * 60)));   // 09:15
  EXPECT_FALSE(engine::InSession(at(wednesday + 210 * 60)));  // 11:30
  EXPECT_TRUE(engine::InSession(at(wednesday + 300 * 60)));   // 13:00
  EXPECT_FALSE(engine::InSession(at(wednesday + 420 * 60)));  // 15:00
  EXPECT_FALSE(engine::InSession(at(wednesday + 3 * 86400 + 100 * 60)));  // Saturday 09:40
}

}  // namespace
