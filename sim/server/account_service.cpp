// The account service: what the stand-in velmora.dll asks for (logins, user
// information, online time, share posts), answered from the server's users.
#include <ctime>
#include <map>
#include <memory>
#include <set>

#include <asio.hpp>

#include "account/password_cipher.h"
#include "account_records.h"
#include "account_wire.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "service_acceptor.h"
#include "sim_server.h"

namespace simserver {
namespace {

using asio::ip::tcp;
using simaccount::Op;
using simaccount::WireReader;
using simaccount::WireWriter;

const char kRefusal[] = "用户名或密码错误";

std::string Utf8(std::string_view gbk) { return base::GbkToUtf8Lossy(gbk); }
std::string Gbk(std::string_view utf8) { return base::Utf8ToGbkLossy(utf8); }

class AccountState {
 public:
  AccountState(const ServerOptions& options, Recorder& recorder, ControlHooks& hooks)
      : options_(options), recorder_(recorder), hooks_(hooks) {
    for (const auto& u : options.users) users_[u.name] = u;
  }

  asio::awaitable<void> Serve(tcp::socket socket) {
    asio::error_code ec;
    for (;;) {
      unsigned char prefix[4];
      co_await asio::async_read(socket, asio::buffer(prefix), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
      const auto length = simaccount::BodyLength(prefix);
      if (!length) {
        recorder_.Write({{"event", "account-error"}, {"error", "message length " + std::to_string(base::LoadBE32(prefix))}});
        co_return;
      }
      std::string body(*length, '\0');
      co_await asio::async_read(socket, asio::buffer(body), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
      std::string user;
      auto reply = Answer(body, user);
      if (!reply) {
        recorder_.Write({{"event", "account-error"}, {"error", "malformed request"}});
        co_return;
      }
      co_await asio::async_write(socket, asio::buffer(reply->bytes), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
      if (reply->session) {
        co_await KeepSession(std::move(socket), user);
        co_return;
      }
    }
  }

  // Safe from any thread: each socket is closed on its own strand, if its
  // session is still there by then.
  int DropSessions() {
    std::lock_guard lock(mutex_);
    for (auto* s : sessions_) {
      asio::post(s->get_executor(), [this, s] {
        std::lock_guard again(mutex_);
        if (!sessions_.count(s)) return;
        asio::error_code ec;
        s->shutdown(tcp::socket::shutdown_both, ec);
        s->close(ec);
      });
    }
    return static_cast<int>(sessions_.size());
  }

  int SessionCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(sessions_.size());
  }

  // With the io_context stopped: nothing else uses the sockets.
  void CloseSessions() {
    std::lock_guard lock(mutex_);
    for (auto* s : sessions_) {
      asio::error_code ec;
      s->close(ec);
    }
  }

 private:
  struct Reply {
    std::string bytes;
    bool session = false;  // a successful login: the connection stays as its session
  };

  // The login session lives until the client closes it (logout, program
  // end) or the server drops it.
  asio::awaitable<void> KeepSession(tcp::socket socket, const std::string& user) {
    {
      std::lock_guard lock(mutex_);
      sessions_.insert(&socket);
    }
    asio::error_code ec;
    char sink[256];
    for (;;) {
      co_await socket.async_read_some(asio::buffer(sink), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) break;
    }
    {
      std::lock_guard lock(mutex_);
      sessions_.erase(&socket);
    }
    recorder_.Write({{"event", "session-closed"}, {"user", user}});
  }

  // The user whose name and enciphered password match, or null.
  SimUser* Check(const std::string& user, const std::string& enciphered) {
    auto it = users_.find(user);
    if (it == users_.end()) return nullptr;
    const std::string password = Utf8(account::CipherPassword(enciphered));
    if (password.empty()) return nullptr;
    if (!it->second.password.empty() && it->second.password != password) return nullptr;
    return &it->second;
  }

  std::optional<Reply> Answer(const std::string& body, std::string& user) {
    WireReader r(body);
    const auto op = r.Operation();
    if (!op) return std::nullopt;
    std::lock_guard lock(mutex_);
    switch (*op) {
      case Op::Login: {
        auto name = r.Bytes();
        auto password = r.Bytes();
        auto flag = r.Int();
        if (!name || !password || !flag || !r.AtEnd()) return std::nullopt;
        user = Utf8(*name);
        if (!Check(user, *password)) {
          recorder_.Write({{"event", "login"}, {"user", user}, {"ok", false}, {"reason", kRefusal}});
          return Reply{WireWriter(op.value()).Int(simaccount::kStatusRefused).Bytes(Gbk(kRefusal)).Finish()};
        }
        const int32_t token = 70000 + ++logins_;
        recorder_.Write({{"event", "login"}, {"user", user}, {"ok", true}, {"token", token}});
        return Reply{WireWriter(*op)
                         .Int(simaccount::kStatusDone)
                         .Bytes(options_.host)
                         .Int(options_.quotePort)
                         .Int(token)
                         .Finish(),
                     true};
      }
      case Op::Logout: {
        auto name = r.Bytes();
        if (!name || !r.AtEnd()) return std::nullopt;
        recorder_.Write({{"event", "logout"}, {"user", Utf8(*name)}});
        return Reply{WireWriter(*op).Int(simaccount::kStatusDone).Finish()};
      }
      case Op::UserInfo: {
        auto name = r.Bytes();
        auto password = r.Bytes();
        if (!name || !password || !r.AtEnd()) return std::nullopt;
        user = Utf8(*name);
        const SimUser* u = Check(user, *password);
        recorder_.Write({{"event", "user-info"}, {"user", user}, {"ok", u != nullptr}});
        if (!u) return Reply{WireWriter(*op).Int(simaccount::kStatusRefused).Bytes(Gbk(kRefusal)).Finish()};
        const auto record = InfoRecord(*u);
        return Reply{WireWriter(*op)
                         .Int(simaccount::kStatusDone)
                         .Bytes(std::string_view(reinterpret_cast<const char*>(&record), sizeof record))
                         .Finish()};
      }
      case Op::OnlineTime: {
        auto name = r.Bytes();
        auto seconds = r.Int();
        if (!name || !seconds || !r.AtEnd()) return std::nullopt;
        user = Utf8(*name);
        auto it = users_.find(user);
        if (it == users_.end()) {
          recorder_.Write({{"event", "online-time"}, {"user", user}, {"ok", false}});
          return Reply{WireWriter(*op).Int(simaccount::kStatusRefused).Bytes(Gbk(kRefusal)).Finish()};
        }
        // A report counts what the program says it was online, within one day.
        const int32_t add = *seconds > 0 && *seconds <= 86400 ? *seconds : 600;
        AddOnlineTime(it->second, add);
        recorder_.Write({{"event", "online-time"}, {"user", user}, {"ok", true}, {"seconds", add},
                         {"total", it->second.onlineSeconds}, {"level", it->second.level}});
        return Reply{WireWriter(*op).Int(simaccount::kStatusDone).Finish()};
      }
      case Op::SharePost: {
        auto bytes = r.Bytes();
        if (!bytes || bytes->size() != sizeof(simaccount::SharePostRecord) || !r.AtEnd()) return std::nullopt;
        auto post = base::LoadRecord<simaccount::SharePostRecord>(bytes->data());
        post.postTime = static_cast<int32_t>(std::time(nullptr));
        MessageFrame frame{};
        base::StoreLE<int32_t>(frame.data(), 1006);
        base::StoreRecord(frame.data() + 88, post);
        const int reached = hooks_.pushFrame ? hooks_.pushFrame(frame) : 0;
        user = base::ReadFixedUtf8(post.posterId);
        recorder_.Write({{"event", "share-post"},
                         {"user", user},
                         {"posterName", base::ReadFixedUtf8(post.posterName)},
                         {"code", base::ReadFixedUtf8(post.code)},
                         {"name", base::ReadFixedUtf8(post.name)},
                         {"buyPrice", base::ReadFixedUtf8(post.buyPrice)},
                         {"setPrice", base::ReadFixedUtf8(post.setPrice)},
                         {"backAmount", base::ReadFixedUtf8(post.backAmount)},
                         {"lossLimit", base::ReadFixedUtf8(post.lossLimit)},
                         {"downAmount", base::ReadFixedUtf8(post.downAmount)},
                         {"remark", base::ReadFixedUtf8(post.remark)},
                         {"postTime", post.postTime},
                         {"reached", reached}});
        return Reply{WireWriter(*op).Int(simaccount::kStatusDone).Finish()};
      }
    }
    return std::nullopt;
  }

  // Online time raises the level: the next one needs (level + 1) * (level + 5) hours.
  static void AddOnlineTime(SimUser& u, int32_t seconds) {
    u.onlineSeconds += seconds;
    u.secondsToNextLevel -= seconds;
    while (u.secondsToNextLevel <= 0) {
      ++u.level;
      u.levelPicture = u.level;
      u.secondsToNextLevel += (u.level + 1) * (u.level + 5) * 3600;
    }
  }

  static simaccount::UserInfoRecord InfoRecord(const SimUser& u) {
    simaccount::UserInfoRecord r{};
    base::WriteFixedUtf8(r.userId, u.name);
    base::WriteFixedUtf8(r.userName, u.displayName.empty() ? u.name : u.displayName);
    r.userType = u.userType;
    base::WriteFixedUtf8(r.email, u.email);
    base::WriteFixedUtf8(r.qq, u.qq);
    base::WriteFixedUtf8(r.registered, u.registered);
    r.onlineSeconds = u.onlineSeconds;
    r.levelPicture = u.levelPicture;
    r.level = u.level;
    r.secondsToNextLevel = u.secondsToNextLevel;
    return r;
  }

  const ServerOptions& options_;
  Recorder& recorder_;
  ControlHooks& hooks_;
  std::mutex mutex_;
  std::map<std::string, SimUser> users_;
  std::set<tcp::socket*> sessions_;
  int32_t logins_ = 0;
};

asio::awaitable<void> AcceptLoop(std::shared_ptr<tcp::acceptor> acceptor, std::shared_ptr<AccountState> state) {
  for (;;) {
    asio::error_code ec;
    tcp::socket socket(asio::make_strand(acceptor->get_executor()));
    co_await acceptor->async_accept(socket, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) {
      if (!acceptor->is_open()) co_return;
      continue;
    }
    auto executor = socket.get_executor();
    asio::co_spawn(executor, state->Serve(std::move(socket)), [](std::exception_ptr) {});
  }
}

class AccountService : public Service {
 public:
  AccountService(std::shared_ptr<tcp::acceptor> acceptor, std::shared_ptr<AccountState> state)
      : acceptor_(std::move(acceptor)), state_(std::move(state)) {}
  ~AccountService() override {
    asio::error_code ec;
    acceptor_->close(ec);
    state_->CloseSessions();
  }

 private:
  std::shared_ptr<tcp::acceptor> acceptor_;
  std::shared_ptr<AccountState> state_;
};

}  // namespace

ServicePtr StartAccountService(asio::io_context& io, const ServerOptions& options, Recorder& recorder,
                               ControlHooks& hooks) {
  auto state = std::make_shared<AccountState>(options, recorder, hooks);
  auto acceptor = std::make_shared<tcp::acceptor>(OpenServiceAcceptor(io, options.host, options.accountPort));
  hooks.dropAccountSessions = [state] { return state->DropSessions(); };
  hooks.statusParts.push_back([state](nlohmann::json& status) { status["accountSessions"] = state->SessionCount(); });
  asio::co_spawn(io, AcceptLoop(acceptor, state), [](std::exception_ptr) {});
  return std::make_unique<AccountService>(acceptor, state);
}

}  // namespace simserver
