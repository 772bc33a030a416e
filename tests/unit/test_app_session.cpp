// The session worked as a user and the account server would: the login
// dialog's checks and remembered fields, the login and logout sequences
// with a fake account service and engine, and the message connection
// against a loopback server that receives the program's packets and
// pushes frames (system message, share post, logged in elsewhere).
#include <gtest/gtest.h>
#include <zlib.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

#include "account/password_cipher.h"
#include "account/unt_frmlogin.h"
#include "account/unt_frmuserinfo.h"
#include "app/unt_frmmain.h"
#include "app/unt_session.h"
#include "base/fixed_text.h"
#include "base/records.h"
#include "quotes/unt_externalapi.h"
#include "settings/options_record.h"
#include "support/frmmain_fake_host.h"
#include "support/temp_dir.h"
#include "support/trading_fake_desktop.h"

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// The account server's message service: inflates what arrives, pushes frames.
class MessageServer {
 public:
  MessageServer() {
    acceptor_.open(tcp::v4());
    acceptor_.bind(tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    acceptor_.listen();
    port = acceptor_.local_endpoint().port();
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~MessageServer() {
    io_.stop();
    thread_.join();
  }

  struct Block {
    int32_t type;
    std::string userId;
    std::vector<unsigned char> bytes;
  };

  // Waits until `n` blocks have arrived; all that arrived so far.
  std::vector<Block> WaitBlocks(size_t n, int timeoutMs = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return blocks_.size() >= n; });
    return blocks_;
  }
  int Accepted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
  }
  void Push(int32_t type, const std::string& textGbk = {}, unsigned char postMark = 0) {
    auto frame = std::make_shared<account::FrameBytes>();
    frame->fill(0);
    base::StoreLE<int32_t>(frame->data(), type);
    std::memcpy(frame->data() + 622, textGbk.data(), textGbk.size());
    (*frame)[88] = postMark;
    asio::post(io_, [this, frame] {
      for (auto& c : clients_) {
        std::error_code ec;
        asio::write(*c, asio::buffer(*frame), ec);
      }
    });
  }

  uint16_t port = 0;

 private:
  void Accept() {
    acceptor_.async_accept([this](std::error_code ec, tcp::socket s) {
      if (ec) return;
      auto c = std::make_shared<tcp::socket>(std::move(s));
      clients_.push_back(c);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++accepted_;
      }
      cv_.notify_all();
      Read(c);
      Accept();
    });
  }
  void Read(std::shared_ptr<tcp::socket> c) {
    auto length = std::make_shared<std::array<unsigned char, 4>>();
    asio::async_read(*c, asio::buffer(*length), [this, c, length](std::error_code ec, size_t) {
      if (ec) return;
      auto packet = std::make_shared<std::vector<unsigned char>>(base::LoadBE32(length->data()));
      asio::async_read(*c, asio::buffer(*packet), [this, c, packet](std::error_code ec2, size_t) {
        if (ec2) return;
        Block b;
        b.bytes.resize(static_cast<size_t>(base::LoadLE<uint64_t>(packet->data())));
        uLongf size = static_cast<uLongf>(b.bytes.size());
        if (uncompress(b.bytes.data(), &size, packet->data() + 8, static_cast<uLong>(packet->size() - 8)) != Z_OK)
          return;
        b.type = base::LoadLE<int32_t>(b.bytes.data());
        b.userId = base::ReadFixedUtf8(reinterpret_cast<const char*>(b.bytes.data()) + 4, 84);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          blocks_.push_back(std::move(b));
        }
        cv_.notify_all();
        Read(c);
      });
    });
  }

  asio::io_context io_;
  tcp::acceptor acceptor_{io_};
  std::vector<std::shared_ptr<tcp::socket>> clients_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Block> blocks_;
  int accepted_ = 0;
};

class FakeAccountService : public account::IAccountService {
 public:
  bool bound = true;
  int32_t loginResult = 0;
  std::string refusal;
  std::vector<std::string> calls;
  account::TAccountRecord lastAccount{};
  std::mutex onlineMutex;
  std::vector<std::string> onlineUpdates;

  void Init(uintptr_t) override {}
  void FInit() override {}
  std::optional<int32_t> Login(const std::string& server, int32_t port, const std::string& user,
                               const std::string& password, void* session, std::string& reason) override {
    if (!bound) return std::nullopt;
    calls.push_back("login " + server + ":" + std::to_string(port) + " " + user + " " + password);
    if (loginResult == 0) static_cast<char*>(session)[0] = 'q';
    reason = refusal;
    return loginResult;
  }
  void Logout(const std::string& server, int32_t port, const std::string& user) override {
    calls.push_back("logout " + server + ":" + std::to_string(port) + " " + user);
  }
  bool GetUserInfo(const std::string&, int32_t, const account::TAccountRecord& a,
                   account::TUserInfoRecord& info) override {
    calls.push_back("user info");
    lastAccount = a;
    base::WriteFixedUtf8(info.userId, base::ReadFixedUtf8(a.userName));
    base::WriteFixedUtf8(info.userName, "王五");
    info.userType = 2;
    base::WriteFixedUtf8(info.email, "wang@example.com");
    base::WriteFixedUtf8(info.qq, "10001");
    base::WriteFixedUtf8(info.registered, "2025-03-01 09:30:00");
    info.onlineSeconds = 9000;  // 2.50 h
    info.levelPicture = 3;
    info.level = 2;
    info.secondsToNextLevel = 5400;  // 1.50 h
    return true;
  }
  void ShowMyStock(const std::string&, int32_t, const account::TSharePostBlock&) override {}
  void UpdateOnlineTime(const std::string& user) override {
    std::lock_guard<std::mutex> lock(onlineMutex);
    onlineUpdates.push_back(user);
  }
  size_t OnlineUpdates() {
    std::lock_guard<std::mutex> lock(onlineMutex);
    return onlineUpdates.size();
  }
};

// The quote engine: Start answers as told; every call is counted.
class FakeEngine : public quotes::IQuoteEngine {
 public:
  bool starts = true;
  int inits = 0, startsCalled = 0, quits = 0;
  void Init(uintptr_t) override { ++inits; }
  bool Start(const void*, int32_t, const std::string&) override {
    ++startsCalled;
    return starts;
  }
  void SetLabels(const quotes::TStockLabel*, int32_t) override {}
  bool GetStockInfo(const std::string&, const std::string&, int32_t, quotes::TQuoteReport&) override { return false; }
  void Quit(uintptr_t) override { ++quits; }
};

// The login dialog's window and the session's surroundings.
class FakeSessionHost : public app::ISessionHost, public account::ILoginHost {
 public:
  std::vector<std::string> calls;
  std::unique_ptr<account::Tfrmlogin> dialog;
  // What the user does in the shown dialog before "确定"; none: waits for the timer.
  std::function<void(account::Tfrmlogin&)> user;
  FakeEngine engine;
  app::Tfrmmain* main = nullptr;
  std::vector<unsigned char> sharePostMarks;

  bool ShowLoginDialog() override {
    dialog->FormShow();
    if (user) {
      user(*dialog);
      dialog->bsSkinButtonOkClick();
    } else {
      dialog->TimerAutoLoginTimer(true);
    }
    return dialog->ModalResult() == account::Tfrmlogin::Result::Ok;
  }
  bool StartQuoteEngine(const std::string& user) override {
    calls.push_back("engine start " + user);
    quotes::EngineStartArgs args;
    args.userId = user;
    return quotes::StartQuoteEngine(engine, args, main->Flags().loggedIn,
                                    [this](const std::string& text, const std::string& title) {
                                      calls.push_back("info " + title + ": " + text);
                                    });
  }
  void QuitQuoteEngine() override { engine.Quit(0); }
  void StartSpeedProbe() override { calls.push_back("speed probe"); }
  void ReceiveSharePost(const account::TSharePostBlock& post) override { sharePostMarks.push_back(post.bytes[0]); }
  void ShowWarning(const std::string& text, const std::string& title) override {
    calls.push_back("warning " + title + ": " + text);
  }
  void PostToGui(std::function<void()> job) override {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  void Sleep(int ms) override {
    calls.push_back("sleep " + std::to_string(ms));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  void ShowInformation(const std::string& text, const std::string& title) override {
    calls.push_back("info " + title + ": " + text);
  }
  void SetDialogVisible(bool visible) override { calls.push_back(visible ? "dialog shown" : "dialog hidden"); }
  void RepaintMainWindow() override {}
  void ShowProgress(const std::string& text) override { calls.push_back("progress " + text); }
  void CloseProgress() override { calls.push_back("progress closed"); }
  void OpenInBrowser(const std::string& address) override { calls.push_back("browse " + address); }

  bool Has(const std::string& c) const { return std::find(calls.begin(), calls.end(), c) != calls.end(); }
  // Runs the GUI thread's jobs until `done` holds (or the time is up).
  bool Pump(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      std::deque<std::function<void()>> now;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        now.swap(jobs_);
      }
      for (auto& job : now) job();
      if (done()) return true;
      if (Clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> jobs_;
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"data", "log", "res", "settings"}) std::filesystem::create_directories(dir.path() / d);
    folder = base::PathToUtf8(dir.path()) + "/";
    std::ofstream(dir.File("servers.cfg")) << "10.0.0.9\r\n127.0.0.1\r\n";
  }
  void Create(app::SessionOptions options = {}) {
    main = std::make_unique<app::Tfrmmain>(
        folder, host, desktop, [] { return base::EncodeDateTime(2026, 12, 9, 10, 0, 0); },
        [] { return base::EncodeDateTime(2026, 12, 9, 10, 0, 0); });
    main->FormCreate();
    sessionHost.main = main.get();
    options.messagePort = server.port;
    options.connection.firstReconnectPauseMs = 20;
    options.connection.maxReconnectPauseMs = 80;
    session = std::make_unique<app::TSession>(*main, sessionHost, service, options);
    host.messages.forward = session.get();
    sessionHost.dialog = std::make_unique<account::Tfrmlogin>(sessionHost, service, main->Settings(), session->Values(),
                                                              loginRecord, "Tarvolen-Merrowick", "http://site.test");
  }
  // The server's blocks once `n` have arrived, the GUI thread running meanwhile.
  std::vector<MessageServer::Block> Blocks(size_t n) {
    std::vector<MessageServer::Block> blocks;
    sessionHost.Pump([&] { return (blocks = server.WaitBlocks(n, 10)).size() >= n; });
    return blocks;
  }
  settings::TOptionsRecord StoredOptions() {
    settings::TOptionsRecord o{};
    EXPECT_TRUE(settings::ReadOptions(folder + "option.opt", o));
    return o;
  }

  testing_support::TempDir dir;
  std::string folder;
  MessageServer server;
  testing_support::FakeHost host;
  testing_support::FakeDesktop desktop;
  FakeAccountService service;
  FakeSessionHost sessionHost;
  char loginRecord[256] = {};
  std::unique_ptr<app::Tfrmmain> main;
  std::unique_ptr<app::TSession> session;
};

TEST_F(SessionTest, LoginDialogChecksItsFieldsAndRemembersWhatTheUserChose) {
  Create();
  account::Tfrmlogin& d = *sessionHost.dialog;
  ASSERT_TRUE(d.FormShow());
  EXPECT_EQ(d.Servers(), (std::vector<std::string>{"10.0.0.9", "127.0.0.1"}));
  EXPECT_EQ(d.serverIndex, -1);
  EXPECT_EQ(d.focus, account::Tfrmlogin::Focus::User);

  // Each empty field in turn, blanks counting as empty.
  d.serverText = "  ";
  d.bsSkinButtonOkClick();
  EXPECT_EQ(sessionHost.calls.back(), "info Tarvolen-Merrowick: 服务器地址不能为空！");
  EXPECT_EQ(d.focus, account::Tfrmlogin::Focus::Server);
  d.serverText = "127.0.0.1";
  d.bsSkinButtonOkClick();
  EXPECT_EQ(sessionHost.calls.back(), "info Tarvolen-Merrowick: 用户名不能为空！");
  EXPECT_EQ(d.focus, account::Tfrmlogin::Focus::User);
  d.userText = "  zhang";
  d.bsSkinButtonOkClick();
  EXPECT_EQ(sessionHost.calls.back(), "info Tarvolen-Merrowick: 密码不能为空！");
  EXPECT_EQ(d.focus, account::Tfrmlogin::Focus::Password);
  EXPECT_TRUE(service.calls.empty());
  EXPECT_FALSE(base::FileExists(folder + "option.opt"));

  // A refused login: the reason, the dialog again, nothing closed.
  d.passwordText = " pw1234 ";
  d.rememberName = d.rememberPassword = true;
  d.telecom = false;
  service.loginResult = 7;
  service.refusal = "密码错误";
  d.bsSkinButtonOkClick();
  const std::string enciphered = account::CipherPassword("pw1234");
  EXPECT_EQ(service.calls.back(), "login 127.0.0.1:8085 zhang " + enciphered);
  EXPECT_EQ(sessionHost.calls.back(), "info Tarvolen-Merrowick: 登录失败：密码错误");
  EXPECT_TRUE(sessionHost.Has("progress 正在登录，请稍后..."));
  EXPECT_EQ(d.ModalResult(), account::Tfrmlogin::Result::None);

  // The stored record: the name as typed, the password enciphered, never clear.
  settings::TOptionsRecord o = StoredOptions();
  EXPECT_EQ(o.ServerAddress(), "127.0.0.1");
  EXPECT_EQ(o.serverPort, 8085);
  EXPECT_EQ(o.networkLine, 0);
  EXPECT_EQ(o.UserName(), "  zhang");
  EXPECT_EQ(o.StoredPassword(), enciphered);
  {
    std::ifstream raw(folder + "option.opt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(raw)), {});
    EXPECT_EQ(bytes.find("pw1234"), std::string::npos);
  }

  // Next time without "记住密码": only its flag changes in the file, and
  // the field is no longer filled from it.
  service.loginResult = 0;
  d.rememberPassword = false;
  d.passwordText = "other";
  d.bsSkinButtonOkClick();
  EXPECT_EQ(d.ModalResult(), account::Tfrmlogin::Result::Ok);
  o = StoredOptions();
  EXPECT_EQ(o.rememberPassword, 0);
  EXPECT_EQ(o.StoredPassword(), enciphered);
  ASSERT_TRUE(d.FormShow());
  EXPECT_EQ(d.serverIndex, 1);
  EXPECT_EQ(d.userText, "  zhang");
  EXPECT_TRUE(d.passwordText.empty());
  EXPECT_FALSE(d.telecom);

  d.ImageNoticeClick();
  EXPECT_EQ(sessionHost.calls.back(), "browse http://site.test/notice/login.html");
  EXPECT_EQ(d.noticePictureUrl(), "http://site.test/notice/login.bmp");
}

TEST_F(SessionTest, AutoLoginRunsOnTheFirstShowingOnly) {
  settings::TOptionsRecord o{};
  settings::StoreLoginChoices(o, {"127.0.0.1", 8085, true, true, "li", true, account::CipherPassword("secret"), true});
  settings::WriteOptions(folder + "option.opt", o);
  Create();
  account::Tfrmlogin& d = *sessionHost.dialog;
  d.FormShow();
  EXPECT_TRUE(d.AutoLoginTimerEnabled());
  EXPECT_EQ(d.passwordText, "secret");
  EXPECT_TRUE(d.telecom);
  d.TimerAutoLoginTimer(false);  // not shown yet: waits
  EXPECT_TRUE(service.calls.empty());
  d.TimerAutoLoginTimer(true);
  EXPECT_EQ(service.calls.back(), "login 127.0.0.1:8085 li " + account::CipherPassword("secret"));
  EXPECT_EQ(d.ModalResult(), account::Tfrmlogin::Result::Ok);
  EXPECT_FALSE(d.AutoLoginTimerEnabled());
  // The second showing of the run stays until the user acts.
  d.FormShow();
  d.TimerAutoLoginTimer(true);
  EXPECT_EQ(service.calls.size(), 1u);
  EXPECT_EQ(d.ModalResult(), account::Tfrmlogin::Result::None);
}

TEST_F(SessionTest, LoginPresenceSystemMessagesSharePostsAndTheForcedLogout) {
  app::SessionOptions options;
  options.onlineTimePeriodMs = 30;
  Create(options);
  main->FormShow();
  sessionHost.user = [](account::Tfrmlogin& d) {
    d.serverText = "127.0.0.1";
    d.userText = "zhang";
    d.passwordText = "pw";
  };
  session->LoginCommand();

  // Logged in: flag, engine, features, panes, user information.
  EXPECT_TRUE(main->Flags().loggedIn);
  EXPECT_TRUE(sessionHost.Has("engine start zhang"));
  EXPECT_EQ(sessionHost.engine.startsCalled, 1);
  EXPECT_TRUE(sessionHost.Has("sleep 300"));
  EXPECT_TRUE(sessionHost.Has("speed probe"));
  EXPECT_TRUE(main->ListEnabled());
  EXPECT_FALSE(main->Enabled(app::Cmd::Login));
  EXPECT_TRUE(main->Enabled(app::Cmd::Logout));
  EXPECT_EQ(main->Pane(app::Tfrmmain::kPane2), "ID：zhang");
  EXPECT_EQ(main->LevelCaption(), "2级 2.50 h");
  EXPECT_EQ(main->LevelIcon(), 3);
  EXPECT_EQ(base::ReadFixedUtf8(service.lastAccount.userName), "zhang");
  EXPECT_EQ(std::string(service.lastAccount.password), account::CipherPassword("pw"));

  // Exactly one presence notice reaches the server, with the identifier.
  auto blocks = Blocks(1);
  ASSERT_GE(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].type, 1000);
  EXPECT_EQ(blocks[0].userId, "zhang");
  EXPECT_EQ(blocks[0].bytes.size(), 88u);

  // A daily-log entry goes out as a 3007 line.
  sessionHost.Pump([] { return false; }, 200);
  main->Logs().WriteDailyLog("买入 600000", false);
  blocks = Blocks(2);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].type, 3007);
  EXPECT_EQ(blocks[1].bytes.size(), 600u);
  EXPECT_EQ(base::ReadFixedUtf8(reinterpret_cast<const char*>(blocks[1].bytes.data()) + 88, 512), "买入 600000");

  // The online time is reported while the session lasts.
  EXPECT_TRUE(sessionHost.Pump([&] { return service.OnlineUpdates() >= 2; }));
  EXPECT_EQ(service.onlineUpdates[0], "zhang");

  // 3001: a balloon with the text; 1006: the post to the share feed.
  server.Push(3001, "\xCF\xB5\xCD\xB3\xCE\xAC\xBB\xA4");  // "系统维护"
  ASSERT_TRUE(sessionHost.Pump([&] { return host.Has("balloon 系统消息: 系统维护"); }));
  server.Push(1006, {}, 0x42);
  ASSERT_TRUE(sessionHost.Pump([&] { return !sessionHost.sharePostMarks.empty(); }));
  EXPECT_EQ(sessionHost.sharePostMarks[0], 0x42);
  server.Push(4242);  // unknown types change nothing
  EXPECT_EQ(server.Accepted(), 1);

  // 3002: logged out, monitors stopped, window released, then the warning.
  main->Monitors().StartOrStopAll(true);
  server.Push(3002);
  ASSERT_TRUE(sessionHost.Pump([&] { return sessionHost.Has("warning 服务中断！: 该账户在其他地方登录，您被迫下线！"); }));
  EXPECT_FALSE(main->Flags().loggedIn);
  EXPECT_FALSE(main->Monitors().AnyRunning());
  EXPECT_FALSE(main->TradingWindow().Found());
  EXPECT_EQ(main->Pane(app::Tfrmmain::kPane2), "未登录");
  EXPECT_EQ(main->Pane(app::Tfrmmain::kPane3), "已注销");
  EXPECT_FALSE(main->ListEnabled());
  EXPECT_TRUE(main->Enabled(app::Cmd::Login));
  EXPECT_EQ(service.calls.back(), "logout 127.0.0.1:8085 zhang");
  EXPECT_EQ(sessionHost.engine.quits, 1);
  EXPECT_EQ(sessionHost.calls.back(), "warning 服务中断！: 该账户在其他地方登录，您被迫下线！");
  EXPECT_EQ(session->UserInfo().level, 0);
  // The offline notice went out before the connection closed.
  blocks = Blocks(3);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[2].type, 1001);
  // Both workers ended with the logout.
  const size_t updates = service.OnlineUpdates();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(service.OnlineUpdates(), updates);
  EXPECT_FALSE(session->Connected());
}

TEST_F(SessionTest, AFailedEngineStartEndsTheLoginLoggedOut) {
  Create();
  sessionHost.engine.starts = false;
  sessionHost.user = [](account::Tfrmlogin& d) {
    d.serverText = "127.0.0.1";
    d.userText = "zhang";
    d.passwordText = "pw";
  };
  session->LoginCommand();
  EXPECT_FALSE(main->Flags().loggedIn);
  EXPECT_EQ(sessionHost.engine.inits, 1);
  EXPECT_EQ(sessionHost.engine.quits, 1);
  EXPECT_TRUE(sessionHost.Has("info 提示！: 启动盯盘模块失败，请重新登录！"));
  EXPECT_FALSE(main->ListEnabled());
  EXPECT_FALSE(main->Enabled(app::Cmd::Logout));
  EXPECT_EQ(main->Pane(app::Tfrmmain::kPane2), "未登录");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(SessionTest, WithoutAMessageServerTheLoginGoesOnAndTheReaderPausesLongerEachTime) {
  // A port where nothing listens.
  uint16_t deadPort;
  {
    asio::io_context io;
    tcp::acceptor a(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    deadPort = a.local_endpoint().port();
  }
  Create();
  session.reset();
  app::SessionOptions options;
  options.messagePort = deadPort;
  options.connection.firstReconnectPauseMs = 10;
  options.connection.maxReconnectPauseMs = 80;
  session = std::make_unique<app::TSession>(*main, sessionHost, service, options);
  sessionHost.dialog = std::make_unique<account::Tfrmlogin>(sessionHost, service, main->Settings(), session->Values(),
                                                            loginRecord, "Tarvolen-Merrowick", "http://site.test");
  sessionHost.user = [](account::Tfrmlogin& d) {
    d.serverText = "127.0.0.1";
    d.userText = "zhang";
    d.passwordText = "pw";
  };
  session->LoginCommand();
  EXPECT_TRUE(main->Flags().loggedIn);
  EXPECT_TRUE(main->ListEnabled());
  EXPECT_TRUE(sessionHost.Pump([&] { return main->Pane(app::Tfrmmain::kPane1) == app::kMessageLinkDown; }));
  session->LogoutCommand();
  EXPECT_EQ(main->Pane(app::Tfrmmain::kPane1), "");

  account::TReconnectPause pauses(10, 80);
  std::vector<int> seen;
  for (int i = 0; i < 6; ++i) seen.push_back(pauses.Next());
  EXPECT_EQ(seen, (std::vector<int>{10, 20, 40, 80, 80, 80}));
  pauses.Reset();
  EXPECT_EQ(pauses.Next(), 10);

  // The reader itself: attempts follow the pauses, so half a second holds
  // only a handful of them, and stopping ends it at once.
  account::TMessageConnection connection({.connectTimeoutMs = 1000, .framePauseMs = 100,
                                          .firstReconnectPauseMs = 10, .maxReconnectPauseMs = 80});
  std::mutex m;
  std::vector<int> reported;
  account::MessageConnectionEvents events;
  events.onReconnectPause = [&](int ms) {
    std::lock_guard<std::mutex> lock(m);
    reported.push_back(ms);
  };
  connection.Start("127.0.0.1", deadPort, std::move(events));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto t0 = Clock::now();
  connection.Stop();
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(200));
  std::lock_guard<std::mutex> lock(m);
  ASSERT_GE(reported.size(), 4u);
  EXPECT_LE(reported.size(), 12u);
  EXPECT_EQ(reported[0], 10);
  EXPECT_EQ(reported[1], 20);
  EXPECT_EQ(reported[3], 80);
  EXPECT_EQ(reported.back(), 80);
}

TEST(UserInfo, TextsAndGaugeOfTheDialogAndTheLevelLabel) {
  account::TUserInfoRecord info{};
  base::WriteFixedUtf8(info.userId, "zhang");
  base::WriteFixedUtf8(info.userName, "张三");
  info.userType = 1;
  base::WriteFixedUtf8(info.email, "z@q.com");
  base::WriteFixedUtf8(info.qq, "12345");
  base::WriteFixedUtf8(info.registered, "2025-03-01 09:30:00");
  info.onlineSeconds = 4500;
  info.level = 3;
  info.levelPicture = 4;
  info.secondsToNextLevel = 7200;
  const account::DateTimeSeparators local{"/", "."};

  const account::TUserInfoTexts texts = account::UserInfoTexts(info, local);
  EXPECT_EQ(account::LevelCaption(texts), "3级 1.25 h");
  const std::vector<std::string> hint = account::LevelHintLines(texts);
  const std::vector<std::string> expected = {
      "用   户  ID: zhang", "用户名称: 张三", "用户类型: 普通", "在线时间: 1.25小时", "等        级: 3级",
      "升级需要: 2.00小时", "    E - Mail: z@q.com", "          QQ: 12345", "注册时间: 2025/03/01 09.30.00",
      std::string(40, '-'), "点击可刷新"};
  EXPECT_EQ(hint, expected);

  int fetches = 0;
  std::vector<int> progress;
  account::Tfrmuserinfo dialog([&] { ++fetches; info.userType = 2; info.secondsToNextLevel = 3600; },
                               [&]() -> const account::TUserInfoRecord& { return info; }, local);
  dialog.onProgress = [&](int p) { progress.push_back(p); };
  dialog.FormShow();
  ASSERT_EQ(dialog.Rows().size(), 9u);
  EXPECT_EQ(dialog.Rows()[0], (std::pair<std::string, std::string>{"用户ID", "zhang"}));
  EXPECT_EQ(dialog.Rows()[2].second, "普通");
  EXPECT_EQ(dialog.Rows()[3].second, "1.25小时");
  EXPECT_EQ(dialog.Rows()[4].second, "3级");
  EXPECT_EQ(dialog.Rows()[5], (std::pair<std::string, std::string>{"升级需要时间", "2.00小时"}));
  EXPECT_EQ(dialog.Rows()[8], (std::pair<std::string, std::string>{"注册时间", "2025/03/01 09.30.00"}));
  // (3 + 1) * (3 + 5) * 3600 = 115200; 7200 still needed.
  EXPECT_EQ(dialog.GaugeMax(), 115200);
  EXPECT_EQ(dialog.GaugeValue(), 108000);
  EXPECT_EQ(dialog.GaugeHint(), "升到下一级，需要2.00小时");
  EXPECT_EQ(dialog.LevelPicture(), 4);

  dialog.bsSkinButtonRefreshClick();
  EXPECT_EQ(fetches, 1);
  EXPECT_EQ(progress, (std::vector<int>{50, 100}));
  EXPECT_EQ(dialog.Rows()[2].second, "VIP");
  EXPECT_EQ(dialog.GaugeValue(), 111600);
  EXPECT_EQ(dialog.GaugeHint(), "升到下一级，需要1.00小时");
  // More seconds than the level spans leave the gauge empty, not below.
  info.secondsToNextLevel = 200000;
  dialog.FormShow();
  EXPECT_EQ(dialog.GaugeValue(), 0);
  dialog.FormKeyEscape();
  EXPECT_TRUE(dialog.TakeClosed());
}

}  // namespace

namespace {

// Logout and close stop the session's workers on the GUI thread: neither a
// slow account service inside an online-time update nor a message server
// that stopped reading may hold them.
TEST(SessionWorkers, StopWithoutWaitingOnTheNetwork) {
  using namespace std::chrono_literals;
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, open = false;
  };
  auto gate = std::make_shared<Gate>();
  account::TOnlineTimeWorker worker(
      [gate](const std::string&) {
        std::unique_lock lock(gate->mutex);
        gate->entered = true;
        gate->changed.notify_all();
        gate->changed.wait_for(lock, 3s, [&] { return gate->open; });  // the service answers late
      },
      1);
  worker.Start("zhang");
  {
    std::unique_lock lock(gate->mutex);
    ASSERT_TRUE(gate->changed.wait_for(lock, 5s, [&] { return gate->entered; }));
  }
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(worker.Stop());  // let go to finish alone
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
  EXPECT_FALSE(worker.Running());
  {
    std::lock_guard lock(gate->mutex);
    gate->open = true;
  }
  gate->changed.notify_all();

  // The message server accepts and never reads: more is sent than the
  // socket buffers hold.
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
  asio::ip::tcp::socket peer(io);
  account::TMessageConnection connection;
  std::atomic<bool> up{false};
  account::MessageConnectionEvents events;
  events.onConnected = [&](int) { up = true; };
  connection.Start("127.0.0.1", acceptor.local_endpoint().port(), std::move(events));
  acceptor.accept(peer);
  for (int i = 0; i < 500 && !up; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(up);
  for (int i = 0; i < 40000; ++i) ASSERT_TRUE(connection.Send(std::vector<unsigned char>(600, 0x42)));
  t0 = std::chrono::steady_clock::now();
  connection.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  EXPECT_FALSE(connection.Connected());
}

}  // namespace
