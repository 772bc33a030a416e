// The file server (filePort): offers the trading profiles of --profiles DIR.
// A program sends 88-byte requests (int32 command, then an 84-byte GBK
// name); each gets a big-endian byte count and that many bytes: 3008 the
// file names, one per line (CR LF), 3009 the named file, 3010 the names that
// contain the text. The connection stays open for the next request.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include <asio.hpp>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/records.h"
#include "service_acceptor.h"
#include "sim_server.h"

namespace simserver {
namespace {

using asio::ip::tcp;
namespace fs = std::filesystem;

constexpr size_t kRequestSize = 88;
constexpr int32_t kList = 3008;
constexpr int32_t kDownload = 3009;
constexpr int32_t kSearch = 3010;

class ProfileFolder {
 public:
  explicit ProfileFolder(std::string dir) : dir_(std::move(dir)) {}

  // The names (UTF-8) of the regular files, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    std::error_code ec;
    if (dir_.empty()) return names;
    for (fs::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The file's bytes; nothing for a name that is not one of Names().
  std::optional<std::string> Read(const std::string& name) const {
    const auto names = Names();
    if (std::find(names.begin(), names.end(), name) == names.end()) return std::nullopt;
    std::ifstream in(fs::path(dir_) / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) return std::nullopt;
    return bytes.str();
  }

 private:
  std::string dir_;
};

std::string JoinLines(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += base::Utf8ToGbkLossy(n) + "\r\n";
  return out;
}

asio::awaitable<void> Serve(tcp::socket socket, std::shared_ptr<const ProfileFolder> folder, Recorder& recorder) {
  asio::error_code ec;
  const auto peer = socket.remote_endpoint(ec);
  const std::string peerText = ec ? "?" : peer.address().to_string() + ":" + std::to_string(peer.port());
  recorder.Write({{"event", "file-connection"}, {"open", true}, {"peer", peerText}});
  for (;;) {
    unsigned char request[kRequestSize];
    co_await asio::async_read(socket, asio::buffer(request), asio::redirect_error(asio::use_awaitable, ec));
    if (ec) break;
    const int32_t command = base::LoadLE<int32_t>(request);
    const std::string name = base::GbkToUtf8Lossy(base::ReadFixedText(reinterpret_cast<const char*>(request) + 4, 84));
    std::string body;
    nlohmann::json event = {{"event", "file-request"}, {"command", command}, {"name", name}};
    if (command == kList) {
      const auto names = folder->Names();
      body = JoinLines(names);
      event["count"] = names.size();
    } else if (command == kSearch) {
      auto names = folder->Names();
      std::erase_if(names, [&](const std::string& n) { return n.find(name) == std::string::npos; });
      body = JoinLines(names);
      event["count"] = names.size();
    } else if (command == kDownload) {
      const auto bytes = folder->Read(name);
      event["found"] = bytes.has_value();
      if (bytes) body = *bytes;
    } else {
      recorder.Write({{"event", "file-error"}, {"peer", peerText}, {"error", "unknown command"}, {"command", command}});
      break;
    }
    event["bytes"] = body.size();
    recorder.Write(event);
    unsigned char head[4];
    base::StoreBE32(head, static_cast<uint32_t>(body.size()));
    const std::array<asio::const_buffer, 2> reply = {asio::buffer(head), asio::buffer(body)};
    co_await asio::async_write(socket, reply, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) break;
  }
  socket.close(ec);
  recorder.Write({{"event", "file-connection"}, {"open", false}, {"peer", peerText}});
}

asio::awaitable<void> AcceptLoop(std::shared_ptr<tcp::acceptor> acceptor, std::shared_ptr<const ProfileFolder> folder,
                                 Recorder& recorder) {
  for (;;) {
    asio::error_code ec;
    tcp::socket socket(acceptor->get_executor());
    co_await acceptor->async_accept(socket, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) {
      if (!acceptor->is_open()) co_return;
      continue;
    }
    asio::co_spawn(acceptor->get_executor(), Serve(std::move(socket), folder, recorder), [](std::exception_ptr) {});
  }
}

class FileService : public Service {
 public:
  explicit FileService(std::shared_ptr<tcp::acceptor> acceptor) : acceptor_(std::move(acceptor)) {}
  ~FileService() override {
    asio::error_code ec;
    acceptor_->close(ec);
  }

 private:
  std::shared_ptr<tcp::acceptor> acceptor_;
};

}  // namespace

ServicePtr StartFileService(asio::io_context& io, const ServerOptions& options, Recorder& recorder, ControlHooks&) {
  auto acceptor = std::make_shared<tcp::acceptor>(OpenServiceAcceptor(io, options.host, options.filePort));
  auto folder = std::make_shared<const ProfileFolder>(options.profilesDir);
  asio::co_spawn(io, AcceptLoop(acceptor, folder, recorder), [](std::exception_ptr) {});
  return std::make_unique<FileService>(acceptor);
}

}  // namespace simserver
