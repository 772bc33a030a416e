#include "engine_core.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/fixed_text.h"
#include "base/ini_file.h"

namespace engine {
namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

milliseconds Millis(const base::IniDocument& ini, const char* key, milliseconds fallback, milliseconds low,
                    milliseconds high, std::vector<std::string>& notes) {
  auto v = ini.Get("sources", key);
  if (!v) return fallback;
  std::string t = Trimmed(*v);
  if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) {
    notes.push_back(std::string("drasken.ini: ") + key + "=" + t + " 不是毫秒数，用 " +
                    std::to_string(fallback.count()));
    return fallback;
  }
  milliseconds ms(std::stol(t));
  milliseconds bounded = std::clamp(ms, low, high);
  if (bounded != ms)
    notes.push_back(std::string("drasken.ini: ") + key + "=" + t + " 超出范围，用 " + std::to_string(bounded.count()));
  return bounded;
}

int64_t Seconds(std::chrono::system_clock::time_point when) {
  return std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
}

// Milliseconds since the Beijing midnight, and the weekday (0 Sunday).
void BeijingClock(std::chrono::system_clock::time_point when, int64_t& msOfDay, int& weekday) {
  int64_t ms = std::chrono::duration_cast<milliseconds>(when.time_since_epoch()).count() + 8 * 3600 * 1000LL;
  int64_t days = ms >= 0 ? ms / 86400000 : (ms - 86399999) / 86400000;
  msOfDay = ms - days * 86400000;
  weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
}

}  // namespace

bool UsableAddress(std::string_view a) {
  std::string lower = Lower(std::string(a.substr(0, 8)));
  size_t scheme = lower.rfind("https://", 0) == 0 ? 8 : lower.rfind("http://", 0) == 0 ? 7 : 0;
  if (scheme == 0) return false;
  a.remove_prefix(scheme);
  std::string_view authority = a.substr(0, a.find('/'));
  size_t colon = authority.rfind(':');
  std::string_view host = authority.substr(0, colon);
  if (host.empty()) return false;
  for (char c : host)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')) return false;
  if (colon != std::string_view::npos) {
    std::string_view port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) return false;
    long p = std::stol(std::string(port));
    if (p < 1 || p > 65535) return false;
  }
  for (char c : a)
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) return false;
  return true;
}

EngineConfig ReadEngineConfig(std::string_view iniBytes) {
  base::IniDocument ini{std::string(iniBytes)};
  EngineConfig config;
  config.interval = Millis(ini, "interval_ms", config.interval, kMinInterval, kMaxInterval, config.notes);
  config.idleInterval =
      Millis(ini, "idle_interval_ms", config.idleInterval, kMinIdleInterval, kMaxIdleInterval, config.notes);
  std::string order = Trimmed(ini.Get("sources", "order").value_or(""));
  if (order.empty()) order = "comma,tilde";
  size_t start = 0;
  while (start <= order.size()) {
    size_t comma = order.find(',', start);
    if (comma == std::string::npos) comma = order.size();
    std::string name = Lower(Trimmed(std::string_view(order).substr(start, comma - start)));
    start = comma + 1;
    if (name.empty()) continue;
    if (std::any_of(config.sources.begin(), config.sources.end(), [&](const SourceConfig& s) { return s.name == name; }))
      continue;
    std::string formatName = Lower(Trimmed(ini.Get("sources", name + ".format").value_or(name)));
    auto format = FormatFromName(formatName);
    std::string base = Trimmed(ini.Get("sources", name).value_or(""));
    if (base.empty() && name == "comma") base = kPublicComma;
    if (base.empty() && name == "tilde") base = kPublicTilde;
    if (!format) {
      config.notes.push_back("drasken.ini: 行情源 " + name + " 的格式 \"" + formatName + "\" 未知，不用");
      continue;
    }
    if (!UsableAddress(base)) {
      config.notes.push_back("drasken.ini: 行情源 " + name + " 的地址 \"" + base + "\" 不可用，不用");
      continue;
    }
    config.sources.push_back({name, *format, base});
  }
  if (config.sources.empty()) {
    config.sources = {{"comma", Format::Comma, kPublicComma}, {"tilde", Format::Tilde, kPublicTilde}};
    config.notes.push_back("drasken.ini: 没有可用的行情源，用默认的 comma, tilde");
  }
  return config;
}

bool InSession(std::chrono::system_clock::time_point when) {
  int64_t ms;
  int weekday;
  BeijingClock(when, ms, weekday);
  if (weekday == 0 || weekday == 6) return false;
  int64_t minute = ms / 60000;
  return (minute >= 9 * 60 + 15 && minute < 11 * 60 + 30) || (minute >= 13 * 60 && minute < 15 * 60);
}

std::optional<milliseconds> UntilSessionStart(std::chrono::system_clock::time_point when) {
  int64_t ms;
  int weekday;
  BeijingClock(when, ms, weekday);
  if (weekday == 0 || weekday == 6) return std::nullopt;
  for (int64_t start : {(9 * 60 + 15) * 60000LL, 13 * 60 * 60000LL})
    if (ms < start) return milliseconds(start - ms);
  return std::nullopt;
}

int64_t BeijingDay(int64_t utcSeconds) {
  int64_t s = utcSeconds + 8 * 3600;
  return s >= 0 ? s / 86400 : (s - 86399) / 86400;
}

void ReportFilter::SetLabels(const TStockLabel* labels, int32_t highestIndex) {
  bySymbol_.clear();
  codes_.clear();
  if (labels && highestIndex >= 0) {
    for (int32_t i = 0; i <= highestIndex && i < 100000; ++i) {
      std::string code = Trimmed(base::FixedTextView(labels[i].code, 10));
      auto security = SecurityOf(code, static_cast<uint32_t>(labels[i].market));
      if (!security) continue;
      auto& list = bySymbol_[security->symbol];
      if (std::none_of(list.begin(), list.end(), [&](const Security& s) { return s.code == security->code; })) {
        list.push_back(*security);
        codes_.insert(security->code);
      }
    }
  }
  for (auto it = posted_.begin(); it != posted_.end();) it = codes_.count(it->first) ? std::next(it) : posted_.erase(it);
}

std::vector<std::string> ReportFilter::Symbols() const {
  std::vector<std::string> out;
  out.reserve(bySymbol_.size());
  for (const auto& [symbol, list] : bySymbol_) out.push_back(symbol);
  return out;
}

const std::vector<Security>* ReportFilter::SecuritiesOf(const std::string& symbol) const {
  auto it = bySymbol_.find(symbol);
  return it == bySymbol_.end() ? nullptr : &it->second;
}

bool ReportFilter::Watches(std::string_view code) const { return codes_.find(code) != codes_.end(); }

TQuoteReport ProgramReport(const SourceQuote& quote, const Security& security) {
  TQuoteReport r = quote.report;
  r.recordSize = sizeof r;
  r.market = security.market;
  base::WriteFixedText(r.code, security.code);
  return r;
}

void ReportFilter::Absorb(const std::vector<SourceQuote>& quotes, Steady::time_point now,
                          std::optional<milliseconds> refresh, std::vector<TQuoteReport>& out,
                          std::vector<TQuoteReport>& newest, int64_t today) {
  for (const auto& q : quotes) {
    auto it = bySymbol_.find(q.symbol);
    if (it == bySymbol_.end()) continue;
    for (const auto& security : it->second) {
      TQuoteReport r = ProgramReport(q, security);
      auto p = posted_.find(security.code);
      // A source behind another (or a stale cache on its way) never takes
      // the program back in time.
      if (p != posted_.end() && r.quoteTime < p->second.report.quoteTime) continue;
      newest.push_back(r);
      bool changed = p == posted_.end() || std::memcmp(&p->second.report, &r, sizeof r) != 0;
      // Unchanged: again only when it is today's (a holiday's or a closed
      // day's last quote is not live).
      bool again = !changed && refresh && today != kNoDay && BeijingDay(r.quoteTime) == today &&
                   now - p->second.at >= *refresh;
      if (changed || again) {
        Posted& slot = p == posted_.end() ? posted_[security.code] : p->second;
        slot.report = r;
        slot.at = now;
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

QuoteEngine::QuoteEngine(IEngineEvents& events, EngineConfig config, TransportFactory transports, EngineTiming timing,
                         EngineLog* log)
    : events_(events),
      config_(std::move(config)),
      transports_(std::move(transports)),
      timing_(std::move(timing)),
      log_(log) {
  for (const auto& s : config_.sources) {
    auto source = std::make_unique<Source>();
    source->config = s;
    sources_.push_back(std::move(source));
  }
  sourceUp_.assign(sources_.size(), true);
  lastSkipped_.assign(sources_.size(), 0);
  for (const auto& n : config_.notes) Note(n);
}

QuoteEngine::~QuoteEngine() { Stop(); }

void QuoteEngine::Note(std::string_view text) {
  if (log_) log_->Write(text);
}

void QuoteEngine::NoteLimited(const std::string& key, std::string_view text) {
  if (log_) log_->WriteLimited(key, text);
}

int64_t QuoteEngine::Today() const { return BeijingDay(Seconds(timing_.wallClock())); }

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
  stopping_ = false;
  labelsChanged_ = true;
  std::string used = "行情源:";
  {
    // Transports cancelled by the last Stop stay cancelled: new ones.
    std::lock_guard t(transportsMutex_);
    for (auto& s : sources_) {
      s->transport = transports_ ? transports_() : nullptr;
      used += " " + s->config.name + " (" + FormatName(s->config.format) + ") " + s->config.base + ";";
    }
  }
  Note(used + " 间隔 " + std::to_string(config_.interval.count()) + " ms, 盘后 " +
       std::to_string(config_.idleInterval.count()) + " ms");
  worker_ = std::thread([this] { Run(); });
}

void QuoteEngine::Stop() {
  std::thread worker;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    stopping_ = true;
    wake_.notify_all();
    worker = std::move(worker_);
  }
  {
    std::lock_guard lock(transportsMutex_);
    if (worker.joinable())
      for (auto& s : sources_)
        if (s->transport) s->transport->Cancel();
    for (ITransport* t : lookups_) t->Cancel();
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

bool QuoteEngine::Limits(std::string_view code, double& limitUp, double& limitDown) const {
  const int64_t today = Today();
  std::lock_guard lock(mutex_);
  auto it = limits_.find(code);
  if (it == limits_.end() || it->second.day != today) return false;
  limitUp = it->second.up;
  limitDown = it->second.down;
  return true;
}

void QuoteEngine::KeepLimits(const SourceQuote& quote, const std::vector<Security>& securities, int64_t today) {
  if (!(quote.limitUp > 0 && quote.limitDown > 0 && quote.limitDown < quote.limitUp)) return;
  if (BeijingDay(quote.report.quoteTime) != today) return;
  std::lock_guard lock(mutex_);
  for (const auto& s : securities) limits_[s.code] = {quote.limitUp, quote.limitDown, today};
}

bool QuoteEngine::Single(std::string_view code, TQuoteReport& out) {
  std::string trimmed = Trimmed(code);
  auto security = SecurityOf(trimmed, 0);
  if (!security) return false;
  // The sources the worker found up first, each in the configured order.
  std::vector<size_t> order;
  {
    std::lock_guard lock(mutex_);
    for (int pass = 0; pass < 2; ++pass)
      for (size_t i = 0; i < sources_.size(); ++i)
        if (sourceUp_[i] == (pass == 0)) order.push_back(i);
  }
  std::unique_ptr<ITransport> transport = transports_ ? transports_() : nullptr;
  if (transport && !order.empty()) {
    {
      std::lock_guard lock(transportsMutex_);
      lookups_.insert(transport.get());
    }
    struct Unregister {
      QuoteEngine& e;
      ITransport* t;
      ~Unregister() {
        std::lock_guard lock(e.transportsMutex_);
        e.lookups_.erase(t);
      }
    } unregister{*this, transport.get()};
    const auto deadline = Steady::now() + timing_.singleTimeout;
    for (size_t k = 0; k < order.size(); ++k) {
      // A silent source takes its share of the time, not all of it.
      auto left = std::chrono::duration_cast<milliseconds>(deadline - Steady::now());
      if (left.count() <= 0) break;
      milliseconds share = left / static_cast<int64_t>(order.size() - k);
      const SourceConfig& s = sources_[order[k]]->config;
      HttpResult answer =
          transport->Get(RequestAddress(s.base, {security->symbol}, 0, 1), RequestHeaders(s.format), share);
      if (!answer.ok) continue;
      ParseResult parsed = ParseAnswer(s.format, answer.body);
      if (!parsed.ok) continue;
      for (const auto& q : parsed.quotes)
        if (q.symbol == security->symbol) {
          out = ProgramReport(q, *security);
          KeepLimits(q, {*security}, Today());
          return true;
        }
    }
  }
  return Cached(trimmed, out);
}

void QuoteEngine::MarkDown(Source& source, Steady::time_point now, const std::string& cause) {
  source.backoff = source.backoff.count() == 0 ? timing_.firstBackoff : std::min(source.backoff * 2, timing_.maxBackoff);
  source.downUntil = now + source.backoff;
  if (!source.down) Note("行情源 " + source.config.name + " 失效: " + cause);
  source.down = true;
}

QuoteEngine::SourcePoll QuoteEngine::Poll(Source& source, size_t index, const std::vector<std::string>& symbols,
                                          std::vector<SourceQuote>& quotes) {
  SourcePoll poll;
  const size_t limit = BatchLimit(source.config.format);
  const auto headers = RequestHeaders(source.config.format);
  bool unreachable = !source.transport;
  if (unreachable) poll.cause = "没有传输";
  for (size_t first = 0; first < symbols.size(); first += limit) {
    const size_t count = std::min(limit, symbols.size() - first);
    auto unasked = [&] { poll.unasked.insert(poll.unasked.end(), symbols.begin() + first, symbols.begin() + first + count); };
    // Stopping, or the source does not answer at all: the rest goes to the
    // next source without waiting a time-out per batch.
    if (unreachable || stopping_) {
      unasked();
      continue;
    }
    HttpResult answer = source.transport->Get(RequestAddress(source.config.base, symbols, first, limit), headers,
                                              config_.timeout);
    if (!answer.ok) {
      poll.cause = answer.error.empty() ? "HTTP " + std::to_string(answer.status) : answer.error;
      if (answer.status == 0) unreachable = true;
      if (answer.status != 0)
        NoteLimited("http:" + source.config.name, "行情源 " + source.config.name + " 拒绝请求: " + poll.cause +
                                                      "; 开头: " + EngineLog::Excerpt(answer.body));
      unasked();
      continue;
    }
    ParseResult parsed = ParseAnswer(source.config.format, answer.body);
    if (!parsed.ok) {
      poll.cause = "应答无法读取: " + parsed.error;
      NoteLimited("parse:" + source.config.name, "行情源 " + source.config.name + " 的应答被拒绝: " + parsed.error +
                                                      "; 开头: " + EngineLog::Excerpt(answer.body));
      unasked();
      continue;
    }
    ++poll.answered;
    poll.skipped += parsed.skipped;
    for (auto& q : parsed.quotes) quotes.push_back(std::move(q));
  }
  if (poll.answered > 0 && poll.skipped != lastSkipped_[index]) {
    lastSkipped_[index] = poll.skipped;
    Note(poll.skipped ? "行情源 " + source.config.name + " 的应答有 " + std::to_string(poll.skipped) + " 条记录无法读取"
                      : "行情源 " + source.config.name + " 的记录又都能读取");
  }
  return poll;
}

void QuoteEngine::Run() {
  for (;;) {
    const char* what = nullptr;
    try {
      if (!Step()) return;
      continue;
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
      what = "?";
    }
    // Whatever went wrong (even out of memory in the 32-bit process), the
    // program's process goes on, and so does the engine after a pause.
    try {
      Note(std::string("行情线程出错: ") + what + "; 继续");
      std::unique_lock lock(mutex_);
      if (wake_.wait_for(lock, timing_.firstBackoff, [this] { return stop_; })) return;
    } catch (...) {
      if (stopping_) return;
      std::this_thread::yield();
    }
  }
}

bool QuoteEngine::Step() {
  {
    std::lock_guard lock(mutex_);
    if (stop_) return false;
    if (labelsChanged_) {
      labelsChanged_ = false;
      filter_.SetLabels(labels_.data(), static_cast<int32_t>(labels_.size()) - 1);
      for (auto it = cache_.begin(); it != cache_.end();) it = filter_.Watches(it->first) ? std::next(it) : cache_.erase(it);
      for (auto it = limits_.begin(); it != limits_.end();)
        it = filter_.Watches(it->first) ? std::next(it) : limits_.erase(it);
    }
  }
  const auto wall = timing_.wallClock();
  const bool session = InSession(wall);
  milliseconds wait = session ? config_.interval : config_.idleInterval;
  // The first poll of a session comes at its start, not up to a whole idle
  // interval later.
  if (!session)
    if (auto until = UntilSessionStart(wall)) wait = std::min(wait, *until + milliseconds(5));
  if (!filter_.Empty()) {
    std::vector<std::string> ask = filter_.Symbols();
    std::vector<SourceQuote> quotes;
    bool answered = false, tried = false;
    auto now = Steady::now();
    auto retryAt = Steady::time_point::max();
    for (size_t i = 0; i < sources_.size() && !ask.empty(); ++i) {
      Source& s = *sources_[i];
      if (s.downUntil > now) {
        retryAt = std::min(retryAt, s.downUntil);
        continue;
      }
      tried = true;
      SourcePoll poll = Poll(s, i, ask, quotes);
      if (stopping_) return false;
      now = Steady::now();
      if (poll.answered == 0) {
        MarkDown(s, now, poll.cause);
        retryAt = std::min(retryAt, s.downUntil);
      } else {
        if (s.down) Note("行情源 " + s.config.name + " 恢复");
        s.down = false;
        s.backoff = milliseconds(0);
        answered = true;
      }
      {
        std::lock_guard lock(mutex_);
        sourceUp_[i] = poll.answered > 0;
      }
      if (!poll.unasked.empty() && i + 1 < sources_.size())
        NoteLimited("rest:" + s.config.name, "行情源 " + s.config.name + " 没有给出 " +
                                                 std::to_string(poll.unasked.size()) + " 个证券的行情 (" + poll.cause +
                                                 ")，改问下一个行情源");
      ask = std::move(poll.unasked);
    }
    if (answered) {
      if (down_) {
        down_ = false;
        Note("行情恢复");
        events_.SourcesBack();
      }
      const int64_t today = BeijingDay(Seconds(wall));
      std::vector<TQuoteReport> out, newest;
      filter_.Absorb(quotes, now, session ? std::optional(timing_.refresh) : std::nullopt, out, newest, today);
      for (const auto& q : quotes)
        if (const auto* securities = filter_.SecuritiesOf(q.symbol)) KeepLimits(q, *securities, today);
      {
        std::lock_guard lock(mutex_);
        for (const auto& r : newest) {
          auto [it, fresh] = cache_.try_emplace(std::string(quotes::ReportCode(r)), r);
          if (fresh) continue;
          const TQuoteReport& had = it->second;
          if (r.quoteTime < had.quoteTime) continue;
          // An untraded 0 does not undo a price that traded that day.
          if (!(r.newestPrice > 0) && had.newestPrice > 0 && BeijingDay(r.quoteTime) == BeijingDay(had.quoteTime))
            continue;
          it->second = r;
        }
      }
      if (!out.empty()) events_.Reports(out.data(), out.size());
    } else if (tried || sources_.empty()) {
      if (!down_) {
        down_ = true;
        Note("所有行情源都失效，已告知程序 (0x465)");
        events_.SourcesDown();
      }
    }
    // Every source down: try again when the first back-off ends.
    if (!answered && retryAt != Steady::time_point::max())
      wait = std::chrono::duration_cast<milliseconds>(std::max(retryAt - Steady::now(), Steady::duration(milliseconds(10))));
  }
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, wait, [this] { return stop_ || labelsChanged_; });
  return !stop_;
}

}  // namespace engine
