#include "engine_core.h"

#include <algorithm>
#include <cstring>

#include "base/datetime.h"
#include "base/fixed_text.h"
#include "base/ini_file.h"

namespace engine {
namespace {

using Steady = std::chrono::steady_clock;

std::string Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

std::chrono::milliseconds Millis(const base::IniDocument& ini, const char* key, std::chrono::milliseconds fallback) {
  auto v = ini.Get("sources", key);
  if (!v) return fallback;
  std::string t = Trimmed(*v);
  if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) return fallback;
  long ms = std::stol(t);
  return ms >= 10 ? std::chrono::milliseconds(ms) : fallback;
}

}  // namespace

EngineConfig ReadEngineConfig(std::string_view iniBytes) {
  base::IniDocument ini{std::string(iniBytes)};
  EngineConfig config;
  config.interval = Millis(ini, "interval_ms", config.interval);
  config.idleInterval = Millis(ini, "idle_interval_ms", config.idleInterval);
  std::string order = Trimmed(ini.Get("sources", "order").value_or(""));
  if (order.empty()) order = "comma,tilde";
  size_t start = 0;
  while (start <= order.size()) {
    size_t comma = order.find(',', start);
    if (comma == std::string::npos) comma = order.size();
    std::string name = Trimmed(std::string_view(order).substr(start, comma - start));
    start = comma + 1;
    if (name.empty()) continue;
    auto format = FormatFromName(Trimmed(ini.Get("sources", name + ".format").value_or(name)));
    std::string base = Trimmed(ini.Get("sources", name).value_or(""));
    if (base.empty() && name == "comma") base = kPublicComma;
    if (base.empty() && name == "tilde") base = kPublicTilde;
    if (!format || base.empty()) continue;
    config.sources.push_back({name, *format, base});
  }
  return config;
}

bool InSession(std::chrono::system_clock::time_point when) {
  int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count() + 8 * 3600;
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t minute = (seconds - days * 86400) / 60;
  int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  if (weekday == 0 || weekday == 6) return false;
  return (minute >= 9 * 60 + 15 && minute < 11 * 60 + 30) || (minute >= 13 * 60 && minute < 15 * 60);
}

void ReportFilter::SetLabels(const TStockLabel* labels, int32_t highestIndex) {
  bySymbol_.clear();
  if (!labels || highestIndex < 0) return;
  for (int32_t i = 0; i <= highestIndex && i < 100000; ++i) {
    std::string code = Trimmed(base::FixedTextView(labels[i].code, 10));
    auto security = SecurityOf(code, static_cast<uint32_t>(labels[i].market));
    if (!security) continue;
    auto& list = bySymbol_[security->symbol];
    if (std::none_of(list.begin(), list.end(), [&](const Security& s) { return s.code == security->code; }))
      list.push_back(*security);
  }
}

std::vector<std::string> ReportFilter::Symbols() const {
  std::vector<std::string> out;
  out.reserve(bySymbol_.size());
  for (const auto& [symbol, list] : bySymbol_) out.push_back(symbol);
  return out;
}

TQuoteReport ProgramReport(const SourceQuote& quote, const Security& security) {
  TQuoteReport r = quote.report;
  r.recordSize = sizeof r;
  r.market = security.market;
  base::WriteFixedText(r.code, security.code);
  return r;
}

void ReportFilter::Absorb(const std::vector<SourceQuote>& quotes, Steady::time_point now,
                          std::optional<std::chrono::milliseconds> refresh, std::vector<TQuoteReport>& out,
                          std::vector<TQuoteReport>& newest) {
  for (const auto& q : quotes) {
    auto it = bySymbol_.find(q.symbol);
    if (it == bySymbol_.end()) continue;
    for (const auto& security : it->second) {
      TQuoteReport r = ProgramReport(q, security);
      newest.push_back(r);
      Posted& p = posted_[security.code];
      bool changed = !p.any || std::memcmp(&p.report, &r, sizeof r) != 0;
      if (changed || (refresh && now - p.at >= *refresh)) {
        p.report = r;
        p.at = now;
        p.any = true;
        out.push_back(r);
      }
    }
  }
}

std::vector<std::string> RequestHeaders(Format format) {
  std::vector<std::string> h = {"User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64)"};
  // The comma service answers only requests that come from its finance site.
  if (format == Format::Comma) h.push_back("Referer: https://finance.sina.com.cn");
  return h;
}

std::string RequestAddress(const std::string& base, const std::vector<std::string>& symbols, size_t first,
                           size_t count) {
  std::string address = base;
  for (size_t i = first; i < first + count && i < symbols.size(); ++i) {
    if (i > first) address += ',';
    address += symbols[i];
  }
  return address;
}

QuoteEngine::QuoteEngine(IEngineEvents& events, EngineConfig config, EngineTiming timing)
    : events_(events), config_(std::move(config)), timing_(std::move(timing)) {
  for (const auto& s : config_.sources) {
    auto source = std::make_unique<Source>();
    source->config = s;
    source->url = ParseUrl(s.base);
    sources_.push_back(std::move(source));
  }
  sourceUp_.assign(sources_.size(), true);
}

QuoteEngine::~QuoteEngine() { Stop(); }

void QuoteEngine::SetLabels(const TStockLabel* labels, int32_t highestIndex) {
  std::vector<TStockLabel> copy;
  if (labels && highestIndex >= 0) copy.assign(labels, labels + std::min<int32_t>(highestIndex, 99999) + 1);
  std::lock_guard lock(mutex_);
  labels_ = std::move(copy);
  labelsChanged_ = true;
  wake_.notify_all();
}

void QuoteEngine::Start() {
  std::lock_guard lock(mutex_);
  if (worker_.joinable()) return;
  stop_ = false;
  labelsChanged_ = true;
  worker_ = std::thread([this] { Run(); });
}

void QuoteEngine::Stop() {
  std::thread worker;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    wake_.notify_all();
    worker = std::move(worker_);
  }
  if (worker.joinable()) worker.join();
}

bool QuoteEngine::Running() const {
  std::lock_guard lock(mutex_);
  return worker_.joinable();
}

bool QuoteEngine::Cached(std::string_view code, TQuoteReport& out) const {
  std::lock_guard lock(mutex_);
  auto it = cache_.find(code);
  if (it == cache_.end()) return false;
  out = it->second;
  return true;
}

bool QuoteEngine::Single(std::string_view code, TQuoteReport& out) {
  std::string trimmed = Trimmed(code);
  auto security = SecurityOf(trimmed, 0);
  if (!security) return false;
  size_t pick = sources_.size();
  {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < sources_.size() && pick == sources_.size(); ++i)
      if (sourceUp_[i] && sources_[i]->url) pick = i;
  }
  if (pick < sources_.size()) {
    const Source& s = *sources_[pick];
    auto url = ParseUrl(RequestAddress(s.config.base, {security->symbol}, 0, 1));
    if (url) {
      HttpClient client;  // a connection of its own: callers may be on several threads
      HttpResult answer = client.Get(*url, RequestHeaders(s.config.format), timing_.singleTimeout);
      if (answer.ok) {
        ParseResult parsed = ParseAnswer(s.config.format, answer.body);
        for (const auto& q : parsed.quotes)
          if (q.symbol == security->symbol) {
            out = ProgramReport(q, *security);
            return true;
          }
      }
    }
  }
  return Cached(trimmed, out);
}

void QuoteEngine::MarkDown(Source& source, Steady::time_point now) {
  source.client.Close();
  source.backoff = source.backoff.count() == 0 ? timing_.firstBackoff : std::min(source.backoff * 2, timing_.maxBackoff);
  source.downUntil = now + source.backoff;
}

bool QuoteEngine::Poll(Source& source, const std::vector<std::string>& symbols, std::vector<SourceQuote>& quotes) {
  if (!source.url) return false;
  const size_t limit = BatchLimit(source.config.format);
  const auto headers = RequestHeaders(source.config.format);
  for (size_t first = 0; first < symbols.size(); first += limit) {
    auto url = ParseUrl(RequestAddress(source.config.base, symbols, first, limit));
    if (!url) return false;
    HttpResult answer = source.client.Get(*url, headers, config_.timeout);
    if (!answer.ok) return false;
    ParseResult parsed = ParseAnswer(source.config.format, answer.body);
    if (!parsed.ok) return false;
    for (auto& q : parsed.quotes) quotes.push_back(std::move(q));
  }
  return true;
}

void QuoteEngine::Run() {
  ReportFilter filter;
  bool down = false;
  std::vector<TQuoteReport> out, newest;
  std::vector<SourceQuote> quotes;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      if (labelsChanged_) {
        filter.SetLabels(labels_.data(), static_cast<int32_t>(labels_.size()) - 1);
        labelsChanged_ = false;
      }
    }
    const bool session = InSession(timing_.wallClock());
    auto wait = session ? config_.interval : config_.idleInterval;
    if (!filter.Empty()) {
      const auto symbols = filter.Symbols();
      bool answered = false, tried = false;
      auto now = Steady::now();
      auto retryAt = Steady::time_point::max();
      for (size_t i = 0; i < sources_.size() && !answered; ++i) {
        Source& s = *sources_[i];
        if (s.downUntil > now) {
          retryAt = std::min(retryAt, s.downUntil);
          continue;
        }
        tried = true;
        quotes.clear();
        answered = Poll(s, symbols, quotes);
        now = Steady::now();
        if (!answered) {
          MarkDown(s, now);
          retryAt = std::min(retryAt, s.downUntil);
        } else {
          s.backoff = std::chrono::milliseconds(0);
        }
        std::lock_guard lock(mutex_);
        sourceUp_[i] = answered;
      }
      if (answered) {
        if (down) {
          down = false;
          events_.SourcesBack();
        }
        out.clear();
        newest.clear();
        filter.Absorb(quotes, now, session ? std::optional(timing_.refresh) : std::nullopt, out, newest);
        {
          std::lock_guard lock(mutex_);
          for (const auto& r : newest) cache_[std::string(quotes::ReportCode(r))] = r;
        }
        if (!out.empty()) events_.Reports(out.data(), out.size());
      } else if (tried || sources_.empty()) {
        if (!down) {
          down = true;
          events_.SourcesDown();
        }
      }
      // Every source down: try again when the first back-off ends.
      if (!answered && retryAt != Steady::time_point::max())
        wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(retryAt - Steady::now(), Steady::duration(std::chrono::milliseconds(10))));
    }
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, wait, [this] { return stop_ || labelsChanged_; });
  }
}

}  // namespace engine
