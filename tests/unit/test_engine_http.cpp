// The engine's socket client against a scripted loopback server: answers as
// servers really send them (interim answers, no body, bare LF, redirects),
// the whole-request deadline (a silent kept-alive connection, a hung name
// lookup), Cancel from another thread, and every address of a host tried.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/engine_http.h"
#include "engine/engine_transport.h"
#include "support/loopback_http.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using engine::HttpClient;
using engine::HttpResult;
using qvtest::LoopbackHttp;
using qvtest::LoopbackReply;
using qvtest::TargetOf;

long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

engine::Url At(const LoopbackHttp& server, const std::string& target) {
  auto url = engine::ParseUrl(server.Base() + target);
  EXPECT_TRUE(url);
  return url.value_or(engine::Url{});
}

TEST(EngineHttp, AnswersAsServersSendThemOnOneKeptAliveConnection) {
  LoopbackHttp server([](const std::string& head, int) -> LoopbackReply {
    const std::string t = TargetOf(head);
    if (t == "/interim")
      return {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n"
              "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst"};
    if (t == "/empty") return {"HTTP/1.1 204 No Content\r\nServer: x\r\n\r\n"};
    if (t == "/bare") return {"HTTP/1.1 200 OK\nContent-Type: text/plain\nTransfer-Encoding: chunked\n\n3\nabc\n2;x=1\nde\n0\n\n"};
    if (t == "/same") return {"HTTP/1.1 304 Not Modified\r\nETag: \"1\"\r\n\r\n"};
    return {"HTTP/1.1 200 OK\nContent-Length: 4\n\nlast"};
  });
  HttpClient client;
  const auto started = Clock::now();
  HttpResult a = client.Get(At(server, "/interim"), {}, 2s);
  EXPECT_TRUE(a.ok) << a.error;
  EXPECT_EQ(a.body, "first");
  HttpResult b = client.Get(At(server, "/empty"), {}, 2s);
  EXPECT_FALSE(b.ok);
  EXPECT_EQ(b.status, 204);
  EXPECT_EQ(b.body, "");
  HttpResult c = client.Get(At(server, "/bare"), {}, 2s);
  EXPECT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.body, "abcde");
  HttpResult d = client.Get(At(server, "/same"), {}, 2s);
  EXPECT_EQ(d.status, 304);
  HttpResult e = client.Get(At(server, "/last"), {"X-Probe: 1"}, 2s);
  EXPECT_TRUE(e.ok) << e.error;
  EXPECT_EQ(e.body, "last");
  // Answers without a body end at their head: nothing waited for a close
  // or for the time-out, and the connection went on serving.
  EXPECT_LT(MsSince(started), 1500);
  EXPECT_EQ(server.Connections(), 1);
  ASSERT_EQ(server.Heads().size(), 5u);
  EXPECT_NE(server.Heads()[4].find("\r\nX-Probe: 1"), std::string::npos);
}

TEST(EngineHttp, FollowsRedirectsAndStopsAtALoop) {
  uint16_t port = 0;
  LoopbackHttp server([&port](const std::string& head, int) -> LoopbackReply {
    const std::string t = TargetOf(head);
    const std::string moved = "Content-Length: 5\r\n\r\nmoved";
    if (t == "/a") return {"HTTP/1.1 302 Found\r\nLocation: /q/b\r\n" + moved};
    if (t == "/q/b") return {"HTTP/1.1 301 Moved\r\nLocation: c?x=1\r\n" + moved};
    if (t == "/q/c?x=1")
      return {"HTTP/1.1 307 Temporary\r\nLocation: http://127.0.0.1:" + std::to_string(port) + "/d#top\r\n" + moved,
              true};
    if (t == "/d") return {"HTTP/1.1 308 Permanent\r\nLocation: /e\r\n" + moved};
    if (t == "/e") return {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nend"};
    if (t == "/secure") return {"HTTP/1.1 303 See Other\r\nLocation: https://127.0.0.1/\r\n" + moved};
    return {"HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n"};
  });
  port = server.Port();
  HttpClient client;
  HttpResult chain = client.Get(At(server, "/a"), {}, 3s);
  EXPECT_TRUE(chain.ok) << chain.error;
  EXPECT_EQ(chain.body, "end");
  std::vector<std::string> targets;
  for (const auto& h : server.Heads()) targets.push_back(TargetOf(h));
  EXPECT_EQ(targets, (std::vector<std::string>{"/a", "/q/b", "/q/c?x=1", "/d", "/e"}));
  EXPECT_EQ(server.Connections(), 2);  // the third answer closed its connection

  HttpResult loop = client.Get(At(server, "/loop"), {}, 3s);
  EXPECT_FALSE(loop.ok);
  EXPECT_NE(loop.error.find("redirects"), std::string::npos) << loop.error;
  EXPECT_EQ(server.Heads().size(), 5u + 1 + HttpClient::kMaxRedirects);

  HttpResult secure = client.Get(At(server, "/secure"), {}, 3s);
  EXPECT_FALSE(secure.ok);
  EXPECT_NE(secure.error.find("https"), std::string::npos) << secure.error;
}

TEST(EngineHttp, TheDeadlineHoldsForTheWholeRequest) {
  // One good answer, then the kept-alive connection goes silent.
  LoopbackHttp server([](const std::string&, int n) -> LoopbackReply {
    if (n == 0) return {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"};
    return {"", false, true};
  });
  auto transport = engine::MakeSocketTransport();
  HttpResult first = transport->Get(server.Base() + "/q", {}, 1000ms);
  EXPECT_TRUE(first.ok) << first.error;
  auto started = Clock::now();
  HttpResult silent = transport->Get(server.Base() + "/q", {}, 1000ms);
  long long silentMs = MsSince(started);
  EXPECT_FALSE(silent.ok);
  EXPECT_GE(silentMs, 950);
  EXPECT_LE(silentMs, 1300);
  EXPECT_EQ(server.Connections(), 1);

  // A name lookup that hangs counts against the same deadline.
  HttpClient hung([](const std::string&) {
    std::this_thread::sleep_for(4s);
    return std::vector<std::string>{"127.0.0.1"};
  });
  started = Clock::now();
  HttpResult lookup = hung.Get(engine::ParseUrl("http://quotes.test:" + std::to_string(server.Port()) + "/q").value(),
                               {}, 500ms);
  long long lookupMs = MsSince(started);
  EXPECT_FALSE(lookup.ok);
  EXPECT_GE(lookupMs, 450);
  EXPECT_LE(lookupMs, 800);
  std::printf("[ figures  ] silent kept-alive connection, 1000 ms deadline: failed after %lld ms; "
              "hung lookup, 500 ms deadline: failed after %lld ms\n",
              silentMs, lookupMs);
}

TEST(EngineHttp, CancelFromAnotherThreadEndsTheRequestAtOnce) {
  LoopbackHttp server([](const std::string&, int) -> LoopbackReply { return {"", false, true}; });
  auto cancelAfter = [](auto& target, Clock::time_point& at) {
    return std::thread([&target, &at] {
      std::this_thread::sleep_for(300ms);
      at = Clock::now();
      target.Cancel();
    });
  };
  // Waiting for the answer.
  auto transport = engine::MakeSocketTransport();
  Clock::time_point cancelled;
  std::thread canceller = cancelAfter(*transport, cancelled);
  HttpResult r = transport->Get(server.Base() + "/q", {}, 10s);
  long long answerMs = MsSince(cancelled);
  canceller.join();
  EXPECT_FALSE(r.ok);
  EXPECT_LE(answerMs, 200);
  // Every later request fails at once too.
  auto later = Clock::now();
  EXPECT_FALSE(transport->Get(server.Base() + "/q", {}, 10s).ok);
  EXPECT_LE(MsSince(later), 50);

  // In a name lookup that hangs.
  HttpClient hung([](const std::string&) {
    std::this_thread::sleep_for(4s);
    return std::vector<std::string>{"127.0.0.1"};
  });
  canceller = cancelAfter(hung, cancelled);
  r = hung.Get(engine::ParseUrl("http://quotes.test/q").value(), {}, 10s);
  long long lookupMs = MsSince(cancelled);
  canceller.join();
  EXPECT_FALSE(r.ok);
  EXPECT_LE(lookupMs, 200);
  std::printf("[ figures  ] cancel latency: %lld ms waiting for an answer, %lld ms in a hung lookup\n", answerMs,
              lookupMs);
}

TEST(EngineHttp, TriesEveryAddressOfTheHost) {
  // 127.0.0.2 refuses the port (the server listens on 127.0.0.1 only).
  LoopbackHttp server([](const std::string& head, int) -> LoopbackReply {
    bool named = head.find("\r\nHost: quotes.test:") != std::string::npos;
    return {std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n") + (named ? "ok" : "no")};
  });
  HttpClient client([](const std::string& host) {
    return host == "quotes.test" ? std::vector<std::string>{"127.0.0.2", "127.0.0.1"} : std::vector<std::string>{};
  });
  HttpResult r = client.Get(engine::ParseUrl("http://quotes.test:" + std::to_string(server.Port()) + "/q").value(), {}, 2s);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.body, "ok");
  HttpResult unknown = client.Get(engine::ParseUrl("http://elsewhere.test/q").value(), {}, 2s);
  EXPECT_FALSE(unknown.ok);
  EXPECT_NE(unknown.error.find("look up"), std::string::npos) << unknown.error;
}

}  // namespace
