// The engine's WinHTTP transport against loopback servers, under the real
// WinHTTP: an answer with the caller's headers on a kept-alive connection,
// redirects and a redirect loop, the deadline against a silent server,
// Cancel from another thread, and the Internet Options proxy (with its
// bypass list) taken from the registry as the user set it.
#include "support/loopback_http.h"  // Asio before <windows.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "engine/drasken_winhttp_win.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qvtest::LoopbackHttp;
using qvtest::LoopbackReply;
using qvtest::TargetOf;

long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(EngineWinHttp, AnswersRedirectsAndAKeptAliveConnection) {
  LoopbackHttp server([](const std::string& head, int) -> LoopbackReply {
    const std::string t = TargetOf(head);
    if (t == "/a") return {"HTTP/1.1 302 Found\r\nLocation: /q/b\r\nContent-Length: 0\r\n\r\n"};
    if (t == "/q/b") return {"HTTP/1.1 301 Moved\r\nLocation: c?x=1\r\nContent-Length: 0\r\n\r\n"};
    if (t == "/missing") return {"HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone"};
    if (t == "/loop") return {"HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n"};
    return {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nvar \r\n5\r\nhq=1;\r\n0\r\n\r\n"};
  });
  auto transport = engine::WinHttpTransports()();
  const std::vector<std::string> headers = {"User-Agent: Mozilla/5.0 (quorvel)", "Referer: https://finance.example/"};
  engine::HttpResult plain = transport->Get(server.Base() + "/list=sh600000", headers, 3s);
  EXPECT_TRUE(plain.ok) << plain.error;
  EXPECT_EQ(plain.status, 200);
  EXPECT_EQ(plain.body, "var hq=1;");
  engine::HttpResult again = transport->Get(server.Base() + "/list=sz000001", headers, 3s);
  EXPECT_TRUE(again.ok) << again.error;
  EXPECT_EQ(server.Connections(), 1);  // kept alive between the calls
  auto heads = server.Heads();
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(Count(heads[0], "User-Agent:"), 1u) << heads[0];
  EXPECT_NE(heads[0].find("\r\nUser-Agent: Mozilla/5.0 (quorvel)"), std::string::npos) << heads[0];
  EXPECT_NE(heads[0].find("\r\nReferer: https://finance.example/"), std::string::npos) << heads[0];

  engine::HttpResult moved = transport->Get(server.Base() + "/a", headers, 3s);
  EXPECT_TRUE(moved.ok) << moved.error;
  EXPECT_EQ(moved.body, "var hq=1;");
  heads = server.Heads();
  ASSERT_EQ(heads.size(), 5u);
  EXPECT_EQ(TargetOf(heads[3]), "/q/b");
  EXPECT_EQ(TargetOf(heads[4]), "/q/c?x=1");

  engine::HttpResult missing = transport->Get(server.Base() + "/missing", headers, 3s);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.status, 404);

  engine::HttpResult loop = transport->Get(server.Base() + "/loop", headers, 5s);
  EXPECT_FALSE(loop.ok);
  EXPECT_NE(loop.error.find("redirects"), std::string::npos) << loop.error;
  EXPECT_EQ(server.Heads().size(), 6u + 1 + engine::kWinHttpMaxRedirects);

  EXPECT_FALSE(transport->Get("ftp://127.0.0.1/x", headers, 1s).ok);
  // Every request's state is freed by WinHTTP's last callback of its handle.
  transport.reset();
  auto until = Clock::now() + 2s;
  while (engine::WinHttpRequestsNotTornDown() > 0 && Clock::now() < until) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(engine::WinHttpRequestsNotTornDown(), 0);
}

TEST(EngineWinHttp, SpeaksTlsToAnHttpsAddress) {
  // A server that is no TLS server: the request must go out as a TLS
  // handshake and end as a failure, not as an answer.
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
  const uint16_t port = acceptor.local_endpoint().port();
  std::string first;
  std::thread server([&] {
    asio::ip::tcp::socket socket(io);
    std::error_code ec;
    acceptor.accept(socket, ec);
    if (ec) return;
    char bytes[512];
    size_t n = socket.read_some(asio::buffer(bytes), ec);
    first.assign(bytes, ec ? 0 : n);
    asio::write(socket, asio::buffer(std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")), ec);
  });
  auto transport = engine::WinHttpTransports()();
  engine::HttpResult r = transport->Get("https://127.0.0.1:" + std::to_string(port) + "/q", {}, 3s);
  server.join();
  EXPECT_FALSE(r.ok);
  ASSERT_GE(first.size(), 3u);
  EXPECT_EQ(first[0], '\x16');  // a TLS handshake record
  EXPECT_EQ(first[1], '\x03');
}

TEST(EngineWinHttp, TheDeadlineHoldsAndCancelEndsARequestInFlight) {
  // One good answer, then the kept-alive connection goes silent.
  LoopbackHttp server([](const std::string&, int n) -> LoopbackReply {
    if (n == 0) return {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"};
    return {"", false, true};
  });
  auto transport = engine::WinHttpTransports()();
  EXPECT_TRUE(transport->Get(server.Base() + "/q", {}, 2s).ok);
  auto started = Clock::now();
  engine::HttpResult silent = transport->Get(server.Base() + "/q", {}, 1000ms);
  const long long deadlineMs = MsSince(started);
  EXPECT_FALSE(silent.ok);
  EXPECT_GE(deadlineMs, 950);
  EXPECT_LE(deadlineMs, 1400);

  // Cancel from another thread while the request waits for its answer.
  Clock::time_point cancelledAt;
  std::thread canceller([&] {
    std::this_thread::sleep_for(300ms);
    cancelledAt = Clock::now();
    transport->Cancel();
  });
  engine::HttpResult cancelled = transport->Get(server.Base() + "/q", {}, 10s);
  const long long cancelMs = MsSince(cancelledAt);
  canceller.join();
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.error, "cancelled");
  EXPECT_LE(cancelMs, 200);
  // Every later request fails at once.
  started = Clock::now();
  EXPECT_FALSE(transport->Get(server.Base() + "/q", {}, 10s).ok);
  EXPECT_LE(MsSince(started), 50);
  // Closing it waits for nothing (the engine's stop waits for this).
  started = Clock::now();
  transport.reset();
  const long long teardownMs = MsSince(started);
  EXPECT_LE(teardownMs, 200);
  std::printf("[ figures  ] WinHTTP: silent server, 1000 ms deadline: failed after %lld ms; cancel latency %lld ms; "
              "teardown %lld ms\n",
              deadlineMs, cancelMs, teardownMs);
}

// Sets values of HKCU's Internet Settings for the test's duration and puts
// back what was there.
class InternetSettings {
 public:
  InternetSettings() {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                    nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
  }
  ~InternetSettings() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->present)
        RegSetValueExW(key_, it->name.c_str(), 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
      else
        RegDeleteValueW(key_, it->name.c_str());
    }
    if (key_) RegCloseKey(key_);
  }
  bool Open() const { return key_ != nullptr; }
  void SetDword(const wchar_t* name, DWORD value) {
    Save(name);
    RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  }
  void SetText(const wchar_t* name, const std::wstring& value) {
    Save(name);
    RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  void Remove(const wchar_t* name) {
    Save(name);
    RegDeleteValueW(key_, name);
  }

 private:
  struct Saved {
    std::wstring name;
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  void Save(const wchar_t* name) {
    Saved s;
    s.name = name;
    DWORD size = 0;
    if (RegQueryValueExW(key_, name, nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS) {
      s.data.resize(size);
      s.present = RegQueryValueExW(key_, name, nullptr, &s.type, s.data.data(), &size) == ERROR_SUCCESS;
    }
    saved_.push_back(std::move(s));
  }
  HKEY key_ = nullptr;
  std::vector<Saved> saved_;
};

TEST(EngineWinHttp, GoesThroughTheInternetOptionsProxy) {
  LoopbackHttp proxy([](const std::string&, int) -> LoopbackReply {
    return {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nproxied"};
  });
  LoopbackHttp direct([](const std::string&, int) -> LoopbackReply {
    return {"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\ndirect"};
  });
  {
    InternetSettings settings;
    ASSERT_TRUE(settings.Open());
    settings.SetDword(L"ProxyEnable", 1);
    settings.SetText(L"ProxyServer", L"127.0.0.1:" + std::to_wstring(proxy.Port()));
    settings.SetText(L"ProxyOverride", L"127.0.0.1;<local>");
    settings.Remove(L"AutoConfigURL");

    auto transport = engine::WinHttpTransports()();
    // A name that does not resolve here: only the proxy can answer it.
    engine::HttpResult viaProxy = transport->Get("http://quotes.test/list=sh600000", {"User-Agent: quorvel"}, 3s);
    EXPECT_TRUE(viaProxy.ok) << viaProxy.error;
    EXPECT_EQ(viaProxy.body, "proxied");
    auto heads = proxy.Heads();
    ASSERT_EQ(heads.size(), 1u);
    // The absolute form of the address, which is how a proxy is asked.
    const std::string line = heads[0].substr(0, heads[0].find("\r\n"));
    EXPECT_TRUE(line == "GET http://quotes.test/list=sh600000 HTTP/1.1" ||
                line == "GET http://quotes.test:80/list=sh600000 HTTP/1.1")
        << line;
    // The bypass list: the loopback server is reached directly.
    engine::HttpResult bypassed = transport->Get(direct.Base() + "/q", {}, 3s);
    EXPECT_TRUE(bypassed.ok) << bypassed.error;
    EXPECT_EQ(bypassed.body, "direct");
    EXPECT_EQ(proxy.Heads().size(), 1u);
  }
  // The settings are back as they were: no proxy for a new transport.
  auto transport = engine::WinHttpTransports()();
  EXPECT_FALSE(transport->Get("http://quotes.test/list=sh600000", {}, 2s).ok);
  EXPECT_EQ(proxy.Heads().size(), 1u);
}

}  // namespace
