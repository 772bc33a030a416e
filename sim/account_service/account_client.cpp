#include "account_client.h"

#include <asio.hpp>

#include "base/gbk.h"
#include "base/records.h"

namespace simaccount {

using namespace std::chrono_literals;
using asio::ip::tcp;

// A blocking TCP connection whose every step has a time limit: each step is
// an asynchronous operation run on a private io_context for at most its time.
class TimedConnection {
 public:
  bool Connect(const std::string& host, uint16_t port, std::chrono::milliseconds limit) {
    asio::error_code ec;
    tcp::endpoint target;
    auto address = asio::ip::make_address(host, ec);
    if (!ec) {
      target = tcp::endpoint(address, port);
    } else {
      tcp::resolver resolver(io_);
      auto found = resolver.resolve(host, std::to_string(port), ec);
      if (ec || found.empty()) return false;
      target = *found.begin();
    }
    bool ok = false;
    socket_.async_connect(target, [&](const asio::error_code& e) { ok = !e; });
    return Run(limit) && ok;
  }

  bool Write(const std::string& bytes, std::chrono::milliseconds limit) {
    bool ok = false;
    asio::async_write(socket_, asio::buffer(bytes), [&](const asio::error_code& e, size_t) { ok = !e; });
    return Run(limit) && ok;
  }

  // One message body, or nullopt on a time-out, a close or a malformed prefix.
  std::optional<std::string> ReadMessage(std::chrono::milliseconds limit) {
    unsigned char prefix[4];
    if (!ReadExact(prefix, 4, limit)) return std::nullopt;
    auto n = BodyLength(prefix);
    if (!n) return std::nullopt;
    std::string body(*n, '\0');
    if (!ReadExact(body.data(), body.size(), limit)) return std::nullopt;
    return body;
  }

  // Waits up to `limit` for the peer to close (or say anything, which the
  // session does not expect either): false while the connection is quiet.
  bool PeerGone(std::chrono::milliseconds limit) {
    if (!waiting_) {
      waiting_ = true;
      gone_ = false;
      socket_.async_read_some(asio::buffer(probe_), [this](const asio::error_code&, size_t) {
        waiting_ = false;
        gone_ = true;
      });
    }
    io_.restart();
    io_.run_for(limit);
    return gone_;
  }

  void Close() {
    asio::error_code ec;
    socket_.shutdown(tcp::socket::shutdown_both, ec);
    socket_.close(ec);
    io_.restart();
    io_.run();
    waiting_ = false;
  }

 private:
  bool ReadExact(void* data, size_t size, std::chrono::milliseconds limit) {
    bool ok = false;
    asio::async_read(socket_, asio::buffer(data, size), [&](const asio::error_code& e, size_t) { ok = !e; });
    return Run(limit) && ok;
  }

  // Runs the pending operation; on a time-out closes the socket so that it
  // ends (its handler runs before this returns) and answers false.
  bool Run(std::chrono::milliseconds limit) {
    io_.restart();
    io_.run_for(limit);
    if (io_.stopped()) return true;
    asio::error_code ec;
    socket_.close(ec);
    io_.restart();
    io_.run();
    return false;
  }

  asio::io_context io_;
  tcp::socket socket_{io_};
  char probe_[64];
  bool waiting_ = false;
  bool gone_ = false;
};

namespace {

std::string Gbk(std::string_view utf8) { return base::Utf8ToGbkLossy(utf8); }

// Sends one request on a fresh connection and returns the reply's reader
// positioned after the status, with the status; nullopt when anything fails.
struct Reply {
  std::string body;
  int32_t status = kStatusMalformed;
};

std::optional<Reply> Exchange(TimedConnection& c, const Account& a, Op op, const std::string& request) {
  if (!c.Connect(a.host, a.port, kConnectTimeout) || !c.Write(request, kReplyTimeout)) return std::nullopt;
  auto body = c.ReadMessage(kReplyTimeout);
  if (!body) return std::nullopt;
  WireReader r(*body);
  auto gotOp = r.Operation();
  auto status = r.Int();
  if (gotOp != op || !status) return std::nullopt;
  return Reply{body->substr(5), *status};
}

bool Simple(const Account& a, Op op, const std::string& request) {
  TimedConnection c;
  auto reply = Exchange(c, a, op, request);
  c.Close();
  return reply && reply->status == kStatusDone;
}

}  // namespace

LoginOutcome Login(const Account& a, int32_t flag) {
  LoginOutcome out;
  auto c = std::make_shared<TimedConnection>();
  auto reply = Exchange(*c, a, Op::Login, WireWriter(Op::Login).Bytes(a.user).Bytes(a.password).Int(flag).Finish());
  if (!reply) {
    c->Close();
    out.reason = Gbk("无法连接账户服务器");
    return out;
  }
  WireReader r(reply->body);
  if (reply->status != kStatusDone) {
    c->Close();
    out.reason = r.Bytes().value_or(Gbk("登录被拒绝"));
    return out;
  }
  auto host = r.Bytes();
  auto port = r.Int();
  auto token = r.Int();
  if (!host || !port || !token) {
    c->Close();
    out.reason = Gbk("账户服务器的应答无效");
    return out;
  }
  out.ok = true;
  out.quoteHost = *host;
  out.quotePort = *port;
  out.startToken = *token;
  out.session = std::move(c);
  return out;
}

bool Logout(const Account& a) { return Simple(a, Op::Logout, WireWriter(Op::Logout).Bytes(a.user).Finish()); }

bool ReportOnlineTime(const Account& a, int32_t seconds) {
  return Simple(a, Op::OnlineTime, WireWriter(Op::OnlineTime).Bytes(a.user).Int(seconds).Finish());
}

bool PostShare(const Account& a, const SharePostRecord& post) {
  std::string bytes(sizeof post, '\0');
  base::StoreRecord(bytes.data(), post);
  return Simple(a, Op::SharePost, WireWriter(Op::SharePost).Bytes(bytes).Finish());
}

std::optional<UserInfoRecord> FetchUserInfo(const Account& a) {
  TimedConnection c;
  auto reply = Exchange(c, a, Op::UserInfo, WireWriter(Op::UserInfo).Bytes(a.user).Bytes(a.password).Finish());
  c.Close();
  if (!reply || reply->status != kStatusDone) return std::nullopt;
  WireReader r(reply->body);
  auto bytes = r.Bytes();
  if (!bytes || bytes->size() != sizeof(UserInfoRecord)) return std::nullopt;
  return base::LoadRecord<UserInfoRecord>(bytes->data());
}

AccountSession::AccountSession(Account account, std::shared_ptr<TimedConnection> connection,
                               std::function<void()> onDrop)
    : account_(std::move(account)), connection_(std::move(connection)), onDrop_(std::move(onDrop)) {
  thread_ = std::thread([this] { Run(); });
}

AccountSession::~AccountSession() { Stop(); }

void AccountSession::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool AccountSession::Pause(std::chrono::milliseconds d) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, d, [this] { return stop_; });
}

void AccountSession::Run() {
  auto pause = 500ms;
  while (Pause(0ms)) {
    if (connection_) {
      if (!connection_->PeerGone(200ms)) continue;
      connection_->Close();
      connection_.reset();
      if (onDrop_) onDrop_();
      pause = 500ms;
    }
    if (!Pause(pause)) break;
    auto again = Login(account_, 0);
    if (again.ok) {
      connection_ = std::move(again.session);
    } else {
      pause = std::min<std::chrono::milliseconds>(pause * 2, 4000ms);
    }
  }
  if (connection_) connection_->Close();
}

}  // namespace simaccount
