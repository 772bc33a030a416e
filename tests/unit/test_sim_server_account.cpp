// The stand-in server's account and message services, worked as the
// stand-in velmora.dll and a program's message connection work them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <asio.hpp>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <thread>

#include "account/password_cipher.h"
#include "account_client.h"
#include "sim_server.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/records.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using asio::ip::tcp;
using nlohmann::json;

// A program's outbound packet of the message connection.
std::string Packet(int32_t type, const std::string& userUtf8, const std::string& bodyUtf8 = {}, bool text = false) {
  std::string block(88, '\0');
  base::StoreLE<int32_t>(block.data(), type);
  base::WriteFixedUtf8(block.data() + 4, 84, userUtf8);
  if (text) {
    std::string body(512, '\0');
    base::WriteFixedUtf8(body.data(), 512, bodyUtf8);
    block += body;
  }
  uLongf size = compressBound(block.size());
  std::string packed(8 + size, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data() + 8), &size, reinterpret_cast<const Bytef*>(block.data()),
            block.size(), Z_DEFAULT_COMPRESSION);
  packed.resize(8 + size);
  base::StoreLE<uint64_t>(packed.data(), block.size());
  std::string wire(4, '\0');
  base::StoreBE32(wire.data(), static_cast<uint32_t>(packed.size()));
  return wire + packed;
}

class SimAccountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.host = "127.0.41.7";
    options_.quotePort = 17709;
    simserver::SimUser alice;
    alice.name = "alice";
    alice.password = "pa55word";
    alice.displayName = "王小丫";
    alice.email = "alice@example.com";
    alice.level = 2;
    alice.secondsToNextLevel = 1000;
    options_.users.push_back(alice);
    services_.push_back(simserver::StartMessageService(io_, options_, recorder_, hooks_));
    services_.push_back(simserver::StartAccountService(io_, options_, recorder_, hooks_));
    runner_ = std::thread([this] { io_.run(); });
    account_ = {options_.host, options_.accountPort, "alice", account::CipherPassword("pa55word")};
  }
  void TearDown() override {
    io_.stop();
    runner_.join();
  }

  // The first recorded event of this kind that `match` accepts, waiting up to 5 s.
  json WaitFor(const std::string& event, const std::function<bool(const json&)>& match = {}) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    do {
      std::ifstream in(dir_.File("record.jsonl"));
      for (std::string line; std::getline(in, line);) {
        auto j = json::parse(line);
        if (j["event"] == event && (!match || match(j))) return j;
      }
      std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < until);
    ADD_FAILURE() << "no " << event << " event recorded";
    return {};
  }

  // A client socket whose reads give up after 5 s instead of hanging the test.
  tcp::socket Connect(uint16_t port) {
    tcp::socket s(client_);
    s.connect({asio::ip::make_address(options_.host), port});
    timeval limit{5, 0};
    setsockopt(s.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return s;
  }
  tcp::socket MessageConnection() { return Connect(options_.messagePort); }

  testing_support::TempDir dir_;
  simserver::ServerOptions options_;
  simserver::Recorder recorder_{dir_.File("record.jsonl")};
  simserver::ControlHooks hooks_;
  asio::io_context io_;
  asio::io_context client_;
  std::vector<simserver::ServicePtr> services_;
  std::thread runner_;
  simaccount::Account account_;
};

TEST_F(SimAccountTest, SessionOfOneUserFromLoginToSharePost) {
  auto channel = MessageConnection();
  asio::write(channel, asio::buffer(Packet(1000, "alice")));
  WaitFor("presence", [](const json& j) { return j["user"] == "alice" && j["online"] == true; });

  auto wrong = account_;
  wrong.password = account::CipherPassword("guess");
  auto refused = simaccount::Login(wrong, 0);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(base::GbkToUtf8Lossy(refused.reason), "用户名或密码错误");
  EXPECT_FALSE(refused.session);

  auto login = simaccount::Login(account_, 0);
  ASSERT_TRUE(login.ok) << base::GbkToUtf8Lossy(login.reason);
  EXPECT_EQ(login.quoteHost, "127.0.41.7");
  EXPECT_EQ(login.quotePort, 17709);
  EXPECT_EQ(WaitFor("login", [](const json& j) { return j["ok"] == true; })["token"], login.startToken);

  auto info = simaccount::FetchUserInfo(account_);
  ASSERT_TRUE(info);
  EXPECT_EQ(base::ReadFixedUtf8(info->userId), "alice");
  EXPECT_EQ(base::ReadFixedUtf8(info->userName), "王小丫");
  EXPECT_EQ(base::ReadFixedUtf8(info->email), "alice@example.com");
  EXPECT_EQ(base::ReadFixedUtf8(info->registered), "2025-03-01 09:30:00");
  EXPECT_EQ(info->level, 2);
  EXPECT_FALSE(simaccount::FetchUserInfo(wrong));

  // 600 s pass the 1000 s still needed only on the second report: level 3
  // then needs (3 + 1) * (3 + 5) hours less the 200 s already past.
  ASSERT_TRUE(simaccount::ReportOnlineTime(account_, 600));
  ASSERT_TRUE(simaccount::ReportOnlineTime(account_, 600));
  info = simaccount::FetchUserInfo(account_);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->onlineSeconds, 1200);
  EXPECT_EQ(info->level, 3);
  EXPECT_EQ(info->secondsToNextLevel, 4 * 8 * 3600 - 200);

  simaccount::SharePostRecord post{};
  base::WriteFixedUtf8(post.code, "600000");
  base::WriteFixedUtf8(post.name, "浦发银行");
  base::WriteFixedUtf8(post.buyPrice, "10.250");
  base::WriteFixedUtf8(post.backAmount, "5.000%");
  base::WriteFixedUtf8(post.posterId, "alice");
  base::WriteFixedUtf8(post.remark, "仅供内部交流，凭此买卖，风险自担。");
  const auto before = std::time(nullptr);
  ASSERT_TRUE(simaccount::PostShare(account_, post));
  simserver::MessageFrame frame{};
  asio::read(channel, asio::buffer(frame));
  EXPECT_EQ(base::LoadLE<int32_t>(frame.data()), 1006);
  const auto got = base::LoadRecord<simaccount::SharePostRecord>(frame.data() + 88);
  EXPECT_GE(got.postTime, before);
  EXPECT_LE(got.postTime, std::time(nullptr));
  EXPECT_EQ(base::ReadFixedUtf8(got.name), "浦发银行");
  EXPECT_EQ(base::ReadFixedUtf8(got.remark), "仅供内部交流，凭此买卖，风险自担。");
  auto shared = WaitFor("share-post");
  EXPECT_EQ(shared["code"], "600000");
  EXPECT_EQ(shared["backAmount"], "5.000%");
  EXPECT_EQ(shared["reached"], 1);

  asio::write(channel, asio::buffer(Packet(3007, "alice", "[买入]600000 浦发银行 10.250", true)));
  EXPECT_EQ(WaitFor("message")["text"], "[买入]600000 浦发银行 10.250");

  // A dropped session is told once and comes back by itself.
  std::mutex m;
  std::condition_variable cv;
  int drops = 0;
  simaccount::AccountSession session(account_, login.session, [&] {
    std::lock_guard lock(m);
    ++drops;
    cv.notify_all();
  });
  EXPECT_EQ(hooks_.dropAccountSessions(), 1);
  {
    std::unique_lock lock(m);
    EXPECT_TRUE(cv.wait_for(lock, 5s, [&] { return drops == 1; }));
  }
  WaitFor("login", [&](const json& j) { return j["ok"] == true && j["token"] != login.startToken; });
  EXPECT_TRUE(simaccount::Logout(account_));
  session.Stop();
  WaitFor("logout", [](const json& j) { return j["user"] == "alice"; });
  EXPECT_EQ(drops, 1);

  asio::write(channel, asio::buffer(Packet(1001, "alice")));
  WaitFor("presence", [](const json& j) { return j["online"] == false; });
}

TEST_F(SimAccountTest, GarbageClosesOnlyItsOwnConnection) {
  auto good = MessageConnection();
  asio::write(good, asio::buffer(Packet(1000, "alice")));
  WaitFor("presence");

  // Not a zlib stream, then a length far beyond any packet, then a stream
  // that inflates to less than it announces.
  const std::string notZlib("\0\0\0\x10" "\x58\x02\0\0\0\0\0\0" "garbage!", 20);
  const std::string huge = "\x7f\xff\xff\xff";
  std::string shortBlock = Packet(1000, "alice");
  base::StoreLE<uint64_t>(shortBlock.data() + 4, 600);
  for (const std::string& bad : {notZlib, huge, shortBlock}) {
    auto s = MessageConnection();
    asio::write(s, asio::buffer(bad));
    char byte;
    asio::error_code ec;
    s.read_some(asio::buffer(&byte, 1), ec);
    EXPECT_EQ(ec, asio::error::eof);
  }
  WaitFor("message-error", [](const json& j) { return j["error"] == "packet length 2147483647"; });

  // A malformed account request is refused the same way.
  auto account = Connect(options_.accountPort);
  asio::write(account, asio::buffer(std::string("\0\0\0\x03\x01\xff\xff", 7)));
  char byte;
  asio::error_code ec;
  account.read_some(asio::buffer(&byte, 1), ec);
  EXPECT_EQ(ec, asio::error::eof);

  // Wait until the closed connections are gone, then a push reaches the good one.
  int reached = 0;
  for (int i = 0; i < 250 && (reached = hooks_.pushFrame(simserver::MessageFrame{})) != 1; ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(reached, 1);
  simserver::MessageFrame frame{};
  asio::read(good, asio::buffer(frame));
  asio::write(good, asio::buffer(Packet(3007, "alice", "still here", true)));
  WaitFor("message", [](const json& j) { return j["text"] == "still here"; });
}

}  // namespace
