#include "quote_engine_core.h"

#include <asio.hpp>

#include <algorithm>
#include <set>

#include "base/records.h"
#include "quote_wire.h"

namespace quoteengine {
namespace {

using asio::ip::tcp;

std::vector<TStockLabel> CopyLabels(const TStockLabel* labels, int32_t highestIndex) {
  if (!labels || highestIndex < 0) return {};
  size_t n = std::min<size_t>(static_cast<size_t>(highestIndex) + 1, quotewire::kMaxLabels);
  return std::vector<TStockLabel>(labels, labels + n);
}

// Endpoints of a numeric address, or of a name resolved now.
std::vector<tcp::endpoint> Endpoints(asio::io_context& io, const std::string& host, int32_t port) {
  std::vector<tcp::endpoint> out;
  std::error_code ec;
  auto address = asio::ip::make_address(host, ec);
  if (!ec) {
    out.emplace_back(address, static_cast<uint16_t>(port));
    return out;
  }
  tcp::resolver resolver(io);
  auto results = resolver.resolve(host, std::to_string(port), ec);
  if (!ec)
    for (const auto& r : results) out.push_back(r.endpoint());
  return out;
}

}  // namespace

// The worker thread: one io_context with the connection to the feed, its
// reconnection timer and the label updates posted by SetLabels.
class QuoteEngineCore::Worker {
 public:
  Worker(QuoteEngineCore& core, std::string host, int32_t port, int32_t token, std::string user)
      : core_(core),
        host_(std::move(host)),
        port_(port),
        token_(token),
        user_(std::move(user)),
        socket_(io_),
        timer_(io_),
        delay_(core.backoff_.first) {
    asio::post(io_, [this] { Connect(); });
    thread_ = std::thread([this] { io_.run(); });
  }
  ~Worker() {
    io_.stop();
    if (thread_.joinable()) thread_.join();
  }
  void LabelsChanged() {
    asio::post(io_, [this] {
      if (welcomed_) SendLabels();
    });
  }

 private:
  void Connect() {
    auto endpoints = Endpoints(io_, host_, port_);
    if (endpoints.empty()) return Failed();
    std::error_code ignored;
    socket_.close(ignored);
    timer_.expires_after(std::chrono::seconds(3));
    timer_.async_wait([this](std::error_code ec) {
      if (!ec) socket_.close(ec);  // the attempt takes too long
    });
    asio::async_connect(socket_, endpoints, [this](std::error_code ec, const tcp::endpoint&) {
      timer_.cancel();
      if (ec) return Failed();
      socket_.set_option(tcp::no_delay(true), ec);
      socket_.set_option(asio::socket_base::keep_alive(true), ec);
      reader_ = quotewire::Reader();
      out_ = quotewire::EncodeHello(token_, user_);
      Write();
      Read();
    });
  }

  void SendLabels() {
    std::vector<TStockLabel> labels;
    {
      std::lock_guard lock(core_.mutex_);
      labels = core_.labels_;
    }
    bool idle = out_.empty() && writing_.empty();
    out_ += quotewire::EncodeSubscribe(labels);
    if (idle) Write();
  }

  void Write() {
    if (!writing_.empty() || out_.empty()) return;
    writing_.swap(out_);
    asio::async_write(socket_, asio::buffer(writing_), [this](std::error_code ec, size_t) {
      writing_.clear();
      if (ec) return;  // the read fails too and reconnects
      Write();
    });
  }

  void Read() {
    socket_.async_read_some(asio::buffer(chunk_), [this](std::error_code ec, size_t n) {
      if (ec) return Failed();
      reader_.Feed(chunk_, n);
      while (auto m = reader_.Next()) {
        if (m->kind == quotewire::kWelcome) {
          welcomed_ = true;
          delay_ = core_.backoff_.first;
          if (lost_) {
            lost_ = false;
            core_.events_.FeedRestored();
          }
          SendLabels();
        } else if (m->kind == quotewire::kReports && welcomed_ && !m->reports.empty()) {
          {
            std::lock_guard lock(core_.mutex_);
            for (const auto& r : m->reports) core_.cache_[std::string(quotes::ReportCode(r))] = r;
          }
          core_.events_.Reports(m->reports.data(), m->reports.size());
        }
      }
      if (reader_.Failed()) return Failed();
      Read();
    });
  }

  // The connection failed or ended: tell the program once, try again later.
  void Failed() {
    std::error_code ignored;
    socket_.close(ignored);
    welcomed_ = false;
    out_.clear();
    if (!lost_) {
      lost_ = true;
      core_.events_.FeedLost();
    }
    timer_.expires_after(delay_);
    timer_.async_wait([this](std::error_code ec) {
      if (!ec) Connect();
    });
    delay_ = std::min(delay_ * 2, core_.backoff_.cap);
  }

  QuoteEngineCore& core_;
  std::string host_;
  int32_t port_;
  int32_t token_;
  std::string user_;
  asio::io_context io_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  std::chrono::milliseconds delay_;
  quotewire::Reader reader_;
  unsigned char chunk_[65536];
  std::string out_, writing_;
  bool welcomed_ = false;
  bool lost_ = false;
  std::thread thread_;
};

QuoteEngineCore::QuoteEngineCore(IEngineEvents& events, Backoff backoff) : events_(events), backoff_(backoff) {}

QuoteEngineCore::~QuoteEngineCore() { Stop(); }

void QuoteEngineCore::SetLabels(const TStockLabel* labels, int32_t highestIndex) {
  auto copy = CopyLabels(labels, highestIndex);
  std::lock_guard lock(mutex_);
  labels_ = std::move(copy);
  if (worker_) worker_->LabelsChanged();
}

bool QuoteEngineCore::Start(const std::string& host, int32_t port, int32_t startToken, const std::string& user) {
  Stop();
  if (host.empty() || port < 1 || port > 65535) return false;
  auto worker = std::make_unique<Worker>(*this, host, port, startToken, user);
  std::lock_guard lock(mutex_);
  worker_ = std::move(worker);
  return true;
}

void QuoteEngineCore::Stop() {
  std::unique_ptr<Worker> worker;
  {
    std::lock_guard lock(mutex_);
    worker = std::move(worker_);
  }
  worker.reset();  // joins, outside the lock the worker takes
}

bool QuoteEngineCore::Running() const {
  std::lock_guard lock(mutex_);
  return worker_ != nullptr;
}

bool QuoteEngineCore::Cached(const std::string& code, TQuoteReport& out) const {
  std::lock_guard lock(mutex_);
  auto it = cache_.find(code);
  if (it == cache_.end()) return false;
  out = it->second;
  return true;
}

bool QueryQuote(const std::string& host, int32_t port, const std::string& code, TQuoteReport& out,
                std::chrono::milliseconds timeout) {
  if (host.empty() || port < 1 || port > 65535 || code.empty() || code.size() > quotewire::kMaxCodeSize)
    return false;
  asio::io_context io;
  auto endpoints = Endpoints(io, host, port);
  if (endpoints.empty()) return false;
  tcp::socket socket(io);
  std::string request = quotewire::EncodeQuery(1, code);
  quotewire::Reader reader;
  unsigned char chunk[1024];
  bool answered = false;
  std::function<void()> read = [&] {
    socket.async_read_some(asio::buffer(chunk), [&](std::error_code ec, size_t n) {
      if (ec) return;
      reader.Feed(chunk, n);
      if (auto m = reader.Next()) {
        if (m->kind == quotewire::kAnswer && m->requestId == 1) {
          out = m->reports[0];
          answered = true;
        }
        return;
      }
      if (!reader.Failed()) read();
    });
  };
  asio::async_connect(socket, endpoints, [&](std::error_code ec, const tcp::endpoint&) {
    if (ec) return;
    asio::async_write(socket, asio::buffer(request), [](std::error_code, size_t) {});
    read();
  });
  io.run_for(timeout);
  return answered;
}

}  // namespace quoteengine
