// The quote feed: plays a quote tape (and, for load tests, a synthetic
// stream) to the engines connected on the quote port, and answers
// single-quote requests with the newest report played of a code. The wire
// is quotewire's (quote_wire.h).
//
// Playback starts when an engine first subscribes a non-empty set of codes:
// tape rows in order, one report per row, --pace-ms apart; each report goes
// only to the connections that watch its code. While the feed is dropped
// through the control interface every connection is closed, new ones are
// closed at once, and playback pauses; it goes on when, after the restore,
// an engine subscribes again. With --tape-step the rows are played only as
// the control interface releases them (still --pace-ms apart).
#include <asio.hpp>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "engine/engine_formats.h"
#include "quote_wire.h"
#include "quotes/quote_tape.h"
#include "sim_server.h"

namespace simserver {
namespace {

using asio::ip::tcp;
using quotes::TQuoteReport;

// Output a connection may have queued before it counts as stuck and is closed.
constexpr size_t kMaxQueuedBytes = 64u << 20;
// Rows played in one go when there is no pace, so that sockets get their turn.
constexpr size_t kRowsPerTurn = 256;

std::vector<TQuoteReport> LoadTape(const std::string& path) {
  if (path.empty()) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the tape " + path);
  std::ostringstream all;
  all << in.rdbuf();
  auto parsed = quotes::ParseTape(all.str());
  if (!parsed.ok)
    throw std::runtime_error("tape " + path + " line " + std::to_string(parsed.errorLine) + ": " + parsed.error);
  std::vector<TQuoteReport> rows;
  rows.reserve(parsed.lines.size());
  for (auto& line : parsed.lines) rows.push_back(line.report);
  return rows;
}

class QuoteFeed;

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(QuoteFeed& feed, tcp::socket socket, uint64_t id) : feed_(feed), socket_(std::move(socket)), id_(id) {}
  void Start() { Read(); }
  void Close() {
    std::error_code ec;
    socket_.close(ec);
  }
  void Send(std::string bytes);
  bool Watches(const std::string& code) const { return hello_ && watched_.count(code) > 0; }
  uint64_t Id() const { return id_; }
  // Reports gathered during one turn of playback, sent together.
  std::vector<TQuoteReport> gathered;

 private:
  void Read();
  void Handle(const quotewire::Message& m);
  void Write();

  QuoteFeed& feed_;
  tcp::socket socket_;
  uint64_t id_;
  unsigned char chunk_[16384];
  quotewire::Reader reader_;
  bool hello_ = false;
  std::set<std::string> watched_;
  std::string queued_;   // waiting for the write in progress
  std::string writing_;  // being written
  bool closed_ = false;
};

class QuoteFeed : public Service {
 public:
  QuoteFeed(asio::io_context& io, const ServerOptions& options, Recorder& recorder, ControlHooks& hooks)
      : io_(io),
        options_(options),
        recorder_(recorder),
        hooks_(hooks),
        acceptor_(io),
        paceTimer_(io),
        syntheticTimer_(io),
        rows_(LoadTape(options.tapePath)) {
    for (const auto& r : rows_) Know(r);
    for (const auto& code : options.syntheticCodes) {
      TQuoteReport r{};
      r.market = code[0] == '6' ? quotes::kMarketShanghai : quotes::kMarketShenzhen;
      base::WriteFixedText(r.code, code);
      Know(r);
    }
    tcp::endpoint endpoint(asio::ip::make_address(options.host), options.quotePort);
    std::error_code ec;
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
      throw std::runtime_error("quote feed cannot listen on " + options.host + ":" +
                               std::to_string(options.quotePort) + ": " + ec.message());
    hooks_.setQuoteFeedUp = [this](bool up) { asio::post(io_, [this, up] { SetUp(up); }); };
    hooks_.releaseTapeRows = [this](int rows) { asio::post(io_, [this, rows] { Release(rows); }); };
    hooks_.playQuote = [this](const nlohmann::json& q) {
      if (!q.is_object() || !q.contains("code") || !q["code"].is_string()) return false;
      const std::string code = q["code"].get<std::string>();
      if (code.empty() || code.size() > 9) return false;
      TQuoteReport r{};
      r.recordSize = sizeof r;
      r.quoteTime = static_cast<int32_t>(std::time(nullptr));
      r.market = code[0] == '6' ? quotes::kMarketShanghai : quotes::kMarketShenzhen;
      base::WriteFixedText(r.code, code);
      if (q.contains("name") && q["name"].is_string()) base::WriteFixedUtf8(r.name, q["name"].get<std::string>());
      const auto number = [&q](const char* key) {
        return q.contains(key) && q[key].is_number() ? q[key].get<float>() : 0.0f;
      };
      r.prevClose = number("prevClose");
      r.newestPrice = r.open = r.high = r.low = number("price");
      asio::post(io_, [this, r] {
        Know(r);
        Play(r);
        Flush();
      });
      return true;
    };
    hooks_.quoteSnapshot = [this](const std::vector<std::string>& symbols) { return Snapshot(symbols); };
    hooks_.statusParts.push_back([this](nlohmann::json& s) {
      std::lock_guard lock(statusMutex_);
      s["quote"] = status_;
    });
    PublishStatus();
    Accept();
  }
  ~QuoteFeed() override {
    hooks_.setQuoteFeedUp = nullptr;
    hooks_.releaseTapeRows = nullptr;
    hooks_.playQuote = nullptr;
    hooks_.quoteSnapshot = nullptr;
    std::error_code ec;
    acceptor_.close(ec);
    for (auto& [id, c] : connections_) c->Close();
  }

  void Forget(uint64_t id, bool engine) {
    if (connections_.erase(id)) {
      if (engine) recorder_.Write({{"event", "quote-disconnect"}, {"connection", id}});
      PublishStatus();
    }
  }
  Recorder& Record() { return recorder_; }

  void Hello(uint64_t id, const std::string& user, int32_t token) {
    recorder_.Write({{"event", "quote-connect"}, {"connection", id}, {"user", user}, {"token", token}});
  }
  void Subscribed(uint64_t id, const std::vector<std::string>& codes) {
    recorder_.Write({{"event", "quote-subscribe"}, {"connection", id}, {"codes", codes}});
    if (codes.empty()) return;
    StartPlayback();
  }
  void StartPlayback() {
    if (!started_) {
      started_ = true;
      recorder_.Write({{"event", "quote-play-start"}, {"rows", rows_.size()}});
      PlayTurn();
      if (!options_.syntheticCodes.empty()) SyntheticTick();
    } else if (paused_ && up_) {
      paused_ = false;
      PlayTurn();
    }
  }
  // The newest report played of the code; false (and all zero) when none.
  bool Newest(const std::string& code, TQuoteReport& out) const {
    std::lock_guard lock(newestMutex_);
    auto it = newest_.find(code);
    out = it == newest_.end() ? TQuoteReport{} : it->second;
    return it != newest_.end();
  }
  uint32_t Securities() const {
    std::lock_guard lock(newestMutex_);
    return static_cast<uint32_t>(known_.size());
  }

 private:
  void Accept() {
    acceptor_.async_accept([this](std::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
      if (!ec) {
        if (!up_) {
          recorder_.Write({{"event", "quote-refused"}});
          std::error_code ignored;
          socket.close(ignored);
        } else {
          auto c = std::make_shared<Connection>(*this, std::move(socket), ++lastId_);
          connections_[c->Id()] = c;
          PublishStatus();
          c->Start();
        }
      }
      Accept();
    });
  }

  void SetUp(bool up) {
    if (up == up_) return;
    up_ = up;
    if (!up) {
      auto all = connections_;
      for (auto& [id, c] : all) c->Close();
    }
    // A paused playback goes on when an engine subscribes again, so that
    // the engines that reconnect miss nothing of the tape.
    PublishStatus();
  }

  void Release(int rows) {
    if (rows <= 0) return;
    released_ += static_cast<size_t>(rows);
    recorder_.Write({{"event", "quote-tape-release"}, {"rows", rows}, {"released", released_}});
    PublishStatus();
    if (waitingForRelease_) {
      waitingForRelease_ = false;
      PlayTurn();
    }
  }

  // Plays the next row (with a pace) or the next rows (without), then sends
  // what each connection gathered.
  void PlayTurn() {
    if (!up_) {
      paused_ = true;
      return;
    }
    const size_t allowed = options_.tapeStep ? std::min(rows_.size(), released_) : rows_.size();
    if (next_ >= allowed && next_ < rows_.size()) {
      waitingForRelease_ = true;
      return;
    }
    size_t n = options_.paceMs > 0 ? 1 : kRowsPerTurn;
    for (; n > 0 && next_ < allowed; --n) {
      Play(rows_[next_++]);
      std::lock_guard lock(newestMutex_);
      rowsPlayed_ = next_;
      lastRowCode_ = std::string(quotes::ReportCode(rows_[next_ - 1]));
      // A code no engine asks for is not waited for.
      if (!asked_.count(lastRowCode_)) delivered_ = rowsPlayed_;
    }
    Flush();
    PublishStatus();
    if (next_ >= rows_.size()) {
      recorder_.Write({{"event", "quote-tape-end"}, {"rows", rows_.size()}});
      return;
    }
    if (options_.paceMs > 0) {
      paceTimer_.expires_after(std::chrono::milliseconds(options_.paceMs));
      paceTimer_.async_wait([this](std::error_code ec) {
        if (!ec) PlayTurn();
      });
    } else {
      asio::post(io_, [this] { PlayTurn(); });
    }
  }

  // A code of the feed, also under the public formats' symbol.
  void Know(const TQuoteReport& r) {
    std::string code(quotes::ReportCode(r));
    std::lock_guard lock(newestMutex_);
    known_.insert(code);
    if (auto security = engine::SecurityOf(code, r.market)) symbols_[security->symbol] = code;
  }

  std::vector<std::pair<bool, TQuoteReport>> Snapshot(const std::vector<std::string>& symbols) {
    std::vector<std::pair<bool, TQuoteReport>> out(symbols.size(), {false, TQuoteReport{}});
    bool named = false;
    {
      std::lock_guard lock(newestMutex_);
      bool lastRowIn = false;
      for (size_t i = 0; i < symbols.size(); ++i) {
        auto s = symbols_.find(symbols[i]);
        if (s == symbols_.end()) continue;
        named = true;
        asked_.insert(s->second);
        lastRowIn = lastRowIn || s->second == lastRowCode_;
        auto it = newest_.find(s->second);
        if (it != newest_.end()) out[i] = {true, it->second};
      }
      if (lastRowIn && rowsPlayed_ > delivered_) delivered_ = rowsPlayed_;
    }
    if (named) asio::post(io_, [this] { StartPlayback(); });
    {
      std::lock_guard lock(statusMutex_);
      std::lock_guard newest(newestMutex_);
      status_["delivered"] = delivered_;
    }
    return out;
  }

  void Play(const TQuoteReport& report) {
    std::string code(quotes::ReportCode(report));
    {
      std::lock_guard lock(newestMutex_);
      newest_[code] = report;
    }
    ++played_;
    for (auto& [id, c] : connections_)
      if (c->Watches(code)) c->gathered.push_back(report);
  }

  void Flush() {
    auto all = connections_;  // a send may close and forget a connection
    for (auto& [id, c] : all) {
      if (c->gathered.empty()) continue;
      std::string bytes;
      quotewire::AppendReports(bytes, c->gathered.data(), c->gathered.size());
      c->gathered.clear();
      c->Send(std::move(bytes));
    }
  }

  // One report per synthetic code: a small random walk around 10 yuan.
  void SyntheticTick() {
    if (up_) {
      int32_t now = static_cast<int32_t>(std::time(nullptr));
      for (size_t i = 0; i < options_.syntheticCodes.size(); ++i) {
        const std::string& code = options_.syntheticCodes[i];
        if (syntheticPrices_.size() <= i) syntheticPrices_.push_back(10.0f + static_cast<float>(i % 50) / 10.0f);
        seed_ = seed_ * 1103515245u + 12345u;
        float step = (static_cast<float>((seed_ >> 16) % 21) - 10.0f) / 1000.0f;
        float& price = syntheticPrices_[i];
        price = std::max(0.01f, price + step);
        TQuoteReport r{};
        r.recordSize = sizeof(TQuoteReport);
        r.quoteTime = now;
        r.market = code[0] == '6' ? quotes::kMarketShanghai : quotes::kMarketShenzhen;
        base::WriteFixedText(r.code, code);
        base::WriteFixedUtf8(r.name, sizeof r.name, "合成" + code);
        r.prevClose = r.open = 10.0f + static_cast<float>(i % 50) / 10.0f;
        r.high = std::max(r.open, price);
        r.low = std::min(r.open, price);
        r.newestPrice = price;
        r.volume = static_cast<float>(100 * (seed_ % 1000));
        r.amount = r.volume * price;
        r.bidPrice[0] = price - 0.01f;
        r.askPrice[0] = price + 0.01f;
        Play(r);
      }
      Flush();
      PublishStatus();
    }
    syntheticTimer_.expires_after(std::chrono::milliseconds(options_.syntheticIntervalMs));
    syntheticTimer_.async_wait([this](std::error_code ec) {
      if (!ec) SyntheticTick();
    });
  }

  size_t Delivered() const {
    std::lock_guard lock(newestMutex_);
    return delivered_;
  }

  void PublishStatus() {
    std::lock_guard lock(statusMutex_);
    status_ = {{"up", up_},
               {"started", started_},
               {"tapeRows", rows_.size()},
               {"nextRow", next_},
               {"played", played_},
               {"released", released_},
               {"securities", Securities()},
               {"delivered", Delivered()},
               {"connections", connections_.size()}};
  }

  asio::io_context& io_;
  const ServerOptions& options_;
  Recorder& recorder_;
  ControlHooks& hooks_;
  tcp::acceptor acceptor_;
  asio::steady_timer paceTimer_;
  asio::steady_timer syntheticTimer_;
  std::vector<TQuoteReport> rows_;
  // What the web port's threads read too.
  mutable std::mutex newestMutex_;
  std::set<std::string> known_;
  std::map<std::string, TQuoteReport> newest_;
  std::map<std::string, std::string> symbols_;  // public symbol -> the feed's code
  size_t rowsPlayed_ = 0, delivered_ = 0;
  std::set<std::string> asked_;  // codes the formats were ever asked for
  std::string lastRowCode_;
  std::map<uint64_t, std::shared_ptr<Connection>> connections_;
  uint64_t lastId_ = 0;
  size_t next_ = 0;
  size_t released_ = 0;  // rows a stepped tape may play
  bool waitingForRelease_ = false;
  uint64_t played_ = 0;
  bool up_ = true;
  bool started_ = false;
  bool paused_ = false;
  std::vector<float> syntheticPrices_;
  uint32_t seed_ = 20120518;
  std::mutex statusMutex_;
  nlohmann::json status_;
};

void Connection::Read() {
  auto self = shared_from_this();
  socket_.async_read_some(asio::buffer(chunk_), [this, self](std::error_code ec, size_t n) {
    if (ec) {
      closed_ = true;
      feed_.Forget(id_, hello_);
      return;
    }
    reader_.Feed(chunk_, n);
    while (auto m = reader_.Next()) Handle(*m);
    if (reader_.Failed()) {
      feed_.Record().Write({{"event", "quote-bad-request"}, {"connection", id_}, {"error", reader_.Error()}});
      Close();
      closed_ = true;
      feed_.Forget(id_, hello_);
      return;
    }
    Read();
  });
}

void Connection::Handle(const quotewire::Message& m) {
  switch (m.kind) {
    case quotewire::kHello:
      hello_ = true;
      feed_.Hello(id_, base::GbkToUtf8Lossy(m.user), m.startToken);
      Send(quotewire::EncodeWelcome(feed_.Securities()));
      break;
    case quotewire::kSubscribe:
      watched_ = std::set<std::string>(m.labels.begin(), m.labels.end());
      feed_.Subscribed(id_, m.labels);
      break;
    case quotewire::kQuery: {
      TQuoteReport report;
      bool known = feed_.Newest(m.code, report);
      feed_.Record().Write({{"event", "quote-query"}, {"connection", id_}, {"code", m.code}, {"known", known}});
      Send(quotewire::EncodeAnswer(m.requestId, known, report));
      break;
    }
    default:  // kinds the server sends are not requests
      feed_.Record().Write({{"event", "quote-bad-request"}, {"connection", id_}, {"kind", int(m.kind)}});
      Close();
      break;
  }
}

void Connection::Send(std::string bytes) {
  if (closed_) return;
  if (queued_.size() + bytes.size() > kMaxQueuedBytes) {
    feed_.Record().Write({{"event", "quote-overflow"}, {"connection", id_}});
    Close();
    return;
  }
  queued_ += bytes;
  if (writing_.empty()) Write();
}

void Connection::Write() {
  writing_.swap(queued_);
  auto self = shared_from_this();
  asio::async_write(socket_, asio::buffer(writing_), [this, self](std::error_code ec, size_t) {
    writing_.clear();
    if (ec) {
      Close();
      return;
    }
    if (!queued_.empty()) Write();
  });
}

}  // namespace

ServicePtr StartQuoteFeed(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                          ControlHooks& hooks) {
  return std::make_unique<QuoteFeed>(io, options, recorder, hooks);
}

}  // namespace simserver
