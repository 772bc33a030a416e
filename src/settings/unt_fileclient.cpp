#include "settings/unt_fileclient.h"

#include <chrono>
#include <cstring>

#include <asio.hpp>

#include "base/fixed_text.h"
#include "base/gbk.h"

namespace settings {

std::string MakeFileRequest(TFileCommand command, std::string_view utf8Name) {
  TFileRequestRecord r;
  r.command = static_cast<int32_t>(command);
  base::WriteFixedText(r.name, base::Utf8ToGbkLossy(utf8Name));
  std::string bytes(sizeof r, '\0');
  std::memcpy(bytes.data(), &r, sizeof r);
  return bytes;
}

uint32_t ReplyByteCount(const unsigned char (&head)[4]) { return base::LoadBE32(head); }

std::vector<std::string> SplitReplyLines(std::string_view gbk) {
  std::vector<std::string> lines;
  while (!gbk.empty()) {
    const size_t end = gbk.find('\n');
    std::string_view line = gbk.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(base::GbkToUtf8Lossy(line));
    if (end == std::string_view::npos) break;
    gbk.remove_prefix(end + 1);
  }
  return lines;
}

namespace {

using asio::ip::tcp;

// Blocking calls bounded by a deadline: each runs the context until the
// operation finished or the time ran out (the socket is then closed).
class TFileClient final : public IFileClient {
 public:
  TFileClient(int connectTimeoutMs, int replyTimeoutMs)
      : connectTimeout_(connectTimeoutMs), replyTimeout_(replyTimeoutMs) {}

  // A connection the server has closed meanwhile (it reads end-of-file
  // without waiting) counts as gone, so that the next exchange connects
  // again instead of failing on it.
  bool Connected() override {
    if (!socket_.is_open()) return false;
    asio::error_code ec, ignored;
    socket_.non_blocking(true, ignored);
    char probe;
    const size_t n = socket_.receive(asio::buffer(&probe, 1), tcp::socket::message_peek, ec);
    socket_.non_blocking(false, ignored);
    if (n == 0 && ec != asio::error::would_block && ec != asio::error::try_again) {
      Close();
      return false;
    }
    return true;
  }

  bool Connect(const std::string& host, uint16_t port) override {
    Close();
    asio::error_code ec;
    const auto address = asio::ip::make_address(host, ec);
    std::error_code result = asio::error::would_block;
    if (!ec) {
      socket_.async_connect(tcp::endpoint(address, port), [&](const std::error_code& e) { result = e; });
    } else {
      // A host name: resolved first, within the same time.
      resolver_.async_resolve(host, std::to_string(port), [&](const std::error_code& e, tcp::resolver::results_type r) {
        if (e) {
          result = e;
          return;
        }
        asio::async_connect(socket_, r, [&](const std::error_code& ce, const tcp::endpoint&) { result = ce; });
      });
    }
    Run(connectTimeout_, result);
    if (result) {
      Close();
      return false;
    }
    SwitchFileKeepAliveOn(static_cast<uintptr_t>(socket_.native_handle()));
    return true;
  }

  std::string Exchange(TFileCommand command, const std::string& utf8Name) override {
    if (!socket_.is_open()) throw EFileServerError("文件服务器没有连接。");
    const std::string request = MakeFileRequest(command, utf8Name);
    Transfer([&](auto done) { asio::async_write(socket_, asio::buffer(request), done); }, "发送");
    unsigned char head[4] = {};
    Transfer([&](auto done) { asio::async_read(socket_, asio::buffer(head), done); }, "接收");
    const uint32_t count = ReplyByteCount(head);
    if (count > kMaxFileReplyBytes) {
      Close();
      throw EFileServerError("文件服务器的回复过大（" + std::to_string(count) + " 字节），已拒绝。");
    }
    std::string body(count, '\0');
    if (count > 0) Transfer([&](auto done) { asio::async_read(socket_, asio::buffer(body), done); }, "接收");
    return body;
  }

 private:
  template <class Start>
  void Transfer(Start start, const char* what) {
    std::error_code result = asio::error::would_block;
    start([&](const std::error_code& e, size_t) { result = e; });
    Run(replyTimeout_, result);
    if (result) {
      const std::string reason = result == asio::error::operation_aborted ? "超时" : result.message();
      Close();
      throw EFileServerError(std::string("和文件服务器的连接中断（") + what + "：" + reason + "）。");
    }
  }

  // Runs the handlers until `result` is set; at the deadline the socket is
  // closed, which ends the operation with operation_aborted.
  void Run(int timeoutMs, std::error_code& result) {
    io_.restart();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (result == asio::error::would_block) {
      io_.run_one_until(deadline);
      if (result == asio::error::would_block && std::chrono::steady_clock::now() >= deadline) {
        resolver_.cancel();
        asio::error_code ignored;
        socket_.close(ignored);
        io_.restart();
        io_.run();  // the aborted handlers
        if (result == asio::error::would_block) result = asio::error::timed_out;
      }
    }
  }

  void Close() {
    asio::error_code ignored;
    socket_.close(ignored);
  }

  int connectTimeout_;
  int replyTimeout_;
  asio::io_context io_;
  tcp::socket socket_{io_};
  tcp::resolver resolver_{io_};
};

}  // namespace

std::unique_ptr<IFileClient> CreateFileClient(int connectTimeoutMs, int replyTimeoutMs) {
  return std::make_unique<TFileClient>(connectTimeoutMs, replyTimeoutMs);
}

}  // namespace settings
