// The public quote formats the shipped engine polls, served from the quote
// feed's playback so that a test runs the real engine against the tape:
// the same rows, in the same order and pacing. Answers are GBK, one line
// per symbol asked, in the shapes the services send (see AppendAnswerLine),
// an unknown symbol as the services answer it.
#include "quote_formats.h"

#include <atomic>
#include <cmath>
#include <memory>

#include "engine/engine_formats.h"

namespace simserver {
namespace {

struct FormatState {
  std::atomic<bool> failing[2] = {false, false};
};

// A tape carries prices but no volume: a row with a price and no volume
// is sent as having traded one lot at its price, so that it reads as the
// trade it records (the services give a price with no volume only to a
// security that has not traded, which the engine reports without a price).
// A row without a price is sent as the services send a suspended security.
// The amount is whole yuan, which both formats carry alike (the tilde
// format has no fen), so that a failover changes nothing of the report.
quotes::TQuoteReport AsSent(quotes::TQuoteReport r) {
  if (r.newestPrice > 0 && !(r.volume > 0)) {
    r.volume = 100;
    r.amount = std::round(r.newestPrice * 100);
  }
  return r;
}

std::vector<std::string> Symbols(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size() && out.size() < 2000) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (comma > start) out.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

}  // namespace

void AddQuoteFormatRoutes(httplib::Server& server, Recorder& recorder, ControlHooks& hooks) {
  auto state = std::make_shared<FormatState>();
  auto answer = [state, &recorder, &hooks](engine::Format format, const httplib::Request& req,
                                            httplib::Response& res) {
    const int index = format == engine::Format::Comma ? 0 : 1;
    const auto symbols = Symbols(req.matches[1]);
    if (state->failing[index]) {
      res.status = 503;
      res.set_content("unavailable\n", "text/plain");
      recorder.Write({{"event", "quote-format"}, {"format", engine::FormatName(format)}, {"status", 503}});
      return;
    }
    std::vector<std::pair<bool, quotes::TQuoteReport>> newest(symbols.size());
    if (hooks.quoteSnapshot) newest = hooks.quoteSnapshot(symbols);
    std::string body;
    size_t known = 0;
    for (size_t i = 0; i < symbols.size(); ++i) {
      if (newest[i].first) {
        ++known;
        engine::AppendAnswerLine(body, format, symbols[i], AsSent(newest[i].second));
      } else if (format == engine::Format::Comma) {
        body += "var hq_str_" + symbols[i] + "=\"\";\n";
      } else {
        body += "v_pv_none_match=\"1\";\n";
      }
    }
    res.set_content(body, "text/plain; charset=GBK");
    recorder.Write({{"event", "quote-format"},
                    {"format", engine::FormatName(format)},
                    {"status", 200},
                    {"symbols", symbols.size()},
                    {"known", known}});
  };
  server.Get(R"(/list=([A-Za-z0-9,]*))", [answer](const httplib::Request& req, httplib::Response& res) {
    answer(engine::Format::Comma, req, res);
  });
  server.Get(R"(/q=([A-Za-z0-9,]*))", [answer](const httplib::Request& req, httplib::Response& res) {
    answer(engine::Format::Tilde, req, res);
  });
  server.Post(R"(/admin/quote-format/(comma|tilde)/(fail|recover))",
              [state, &recorder](const httplib::Request& req, httplib::Response& res) {
                const bool fail = req.matches[2] == "fail";
                state->failing[req.matches[1] == "comma" ? 0 : 1] = fail;
                recorder.Write({{"event", "admin"},
                                {"action", std::string("quote-format-") + (fail ? "fail" : "recover")},
                                {"format", req.matches[1]}});
                res.set_content(std::string("{\"ok\":true,\"failing\":") + (fail ? "true" : "false") + "}\n",
                                "application/json");
              });
}

}  // namespace simserver
