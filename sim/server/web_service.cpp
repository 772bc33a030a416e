// The vendor web pages (notice, login picture and page, newest-version
// manifest, update history) and the control interface under /admin/, on the
// web port. Files under --web-dir are served at their relative path and take
// precedence over the built-in pages.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "hook_routes.h"
#include "quote_formats.h"
#include "sim_server.h"

namespace simserver {
namespace {

namespace fs = std::filesystem;

constexpr char kNoticePage[] =
    "<html><head><meta charset=\"utf-8\"><title>Tarvolen 公告</title></head><body>\n"
    "<h3>Tarvolen系列-Merrowick 公告</h3>\n"
    "<p>欢迎使用 Tarvolen 自动盯盘。行情服务器与账户服务器运行正常。</p>\n"
    "<p>请在交易时间内保持交易软件打开，以便自动下单。</p>\n"
    "</body></html>\n";
constexpr char kLoginPage[] =
    "<html><head><meta charset=\"utf-8\"><title>Tarvolen</title></head><body>\n"
    "<h3>Tarvolen 会员服务</h3><p>登录后即可使用自动盯盘、晒股和条件单功能。</p>\n"
    "</body></html>\n";
constexpr char kUpdateHistory[] =
    "<html><head><meta charset=\"utf-8\"><title>更新历史</title></head><body>\n"
    "<h3>Tarvolen系列-Merrowick 更新历史</h3>\n<ul>\n"
    "<li>v1.7.6 指数监控支持多个指数代码；修正行情提示框的显示位置。</li>\n"
    "<li>v1.7.5 增加晒股功能和网络测速。</li>\n"
    "<li>v1.7.4 增加时间监控和条件止损。</li>\n"
    "</ul></body></html>\n";
// The running version and no signature: a program refuses it, which at
// start-up goes on to the login as "no newer version" does. Tests that need
// an update serve a signed manifest with --web-dir.
constexpr char kVersionManifest[] = "version=1.7.6\nnotes=\ninstaller=\nsha256=\n";

void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v & 0xFFFF));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

// The login picture: a 24-bit BMP with a red-to-gold band and a frame.
std::string LoginPicture() {
  const int w = 240, h = 60;
  const uint32_t rowBytes = (w * 3 + 3) & ~3u, pixels = rowBytes * h;
  std::string s = "BM";
  Put32(s, 54 + pixels);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, w);
  Put32(s, h);
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, 0);
  Put32(s, pixels);
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, 0);
  Put32(s, 0);
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int x = 0; x < w; ++x) {
      bool frame = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
      unsigned char r = frame ? 90 : static_cast<unsigned char>(200 + 55 * x / w);
      unsigned char g = frame ? 20 : static_cast<unsigned char>(30 + 150 * x / w);
      unsigned char b = frame ? 20 : static_cast<unsigned char>(30 + 20 * y / h);
      row += static_cast<char>(b);
      row += static_cast<char>(g);
      row += static_cast<char>(r);
    }
    row.resize(rowBytes, '\0');
    s += row;
  }
  return s;
}

std::string ContentType(const std::string& path) {
  auto ext = fs::path(path).extension().string();
  if (ext == ".htm" || ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".bmp") return "image/bmp";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".png") return "image/png";
  if (ext == ".txt" || ext.empty()) return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

// The file under --web-dir for a request path; false for paths that leave
// the folder or name no regular file.
bool WebDirFile(const std::string& webDir, const std::string& path, std::string& content) {
  if (webDir.empty() || path.empty() || path[0] != '/') return false;
  fs::path rel(path.substr(1));
  for (const auto& part : rel)
    if (part == ".." || part.has_root_name() || part.has_root_directory()) return false;
  fs::path file = fs::path(webDir) / rel;
  std::error_code ec;
  if (fs::is_directory(file, ec)) file /= "index.html";
  if (!fs::is_regular_file(file, ec)) return false;
  std::ifstream in(file, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  if (!in.good() && !in.eof()) return false;
  content = all.str();
  return true;
}

void Json(httplib::Response& res, const nlohmann::json& body, int status = 200) {
  res.status = status;
  res.set_content(body.dump() + "\n", "application/json");
}

nlohmann::json RequestJson(const httplib::Request& req) {
  if (req.body.empty()) return nlohmann::json::object();
  auto j = nlohmann::json::parse(req.body, nullptr, false);
  return j.is_object() ? j : nlohmann::json();
}

class WebPages : public Service {
 public:
  WebPages(const ServerOptions& options, Recorder& recorder, ControlHooks& hooks)
      : options_(options), recorder_(recorder), hooks_(hooks), started_(std::chrono::steady_clock::now()) {
    Routes();
    if (!server_.bind_to_port(options_.host, options_.webPort))
      throw std::runtime_error("cannot listen on " + options_.host + ":" + std::to_string(options_.webPort));
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~WebPages() override {
    stopping_ = true;
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Routes() {
    server_.Get("/admin/status", [this](const httplib::Request&, httplib::Response& res) { Status(res); });
    server_.Get("/admin/health", [](const httplib::Request&, httplib::Response& res) { Json(res, {{"ok", true}}); });
    server_.Post("/admin/message", [this](const httplib::Request& req, httplib::Response& res) {
      auto body = RequestJson(req);
      if (!body.is_object() || !body.contains("text") || !body["text"].is_string())
        return Json(res, {{"ok", false}, {"error", "wants {\"text\": ...}"}}, 400);
      Push(res, "message", MakeTextFrame(kFrameSystemMessage, body["text"].get<std::string>()), body);
    });
    server_.Post("/admin/elsewhere", [this](const httplib::Request&, httplib::Response& res) {
      Push(res, "elsewhere", MakeTextFrame(kFrameLoggedInElsewhere, ""), nlohmann::json::object());
    });
    server_.Post("/admin/share", [this](const httplib::Request& req, httplib::Response& res) {
      auto body = RequestJson(req);
      if (!body.is_object()) return Json(res, {{"ok", false}, {"error", "wants a JSON object"}}, 400);
      Push(res, "share", MakeSharePostFrame(body), body);
    });
    server_.Post(R"(/admin/quote-feed/(drop|restore))", [this](const httplib::Request& req, httplib::Response& res) {
      if (!hooks_.setQuoteFeedUp) return Json(res, {{"ok", false}, {"error", "no quote feed"}}, 503);
      bool up = req.matches[1] == "restore";
      hooks_.setQuoteFeedUp(up);
      recorder_.Write({{"event", "admin"}, {"action", up ? "quote-restore" : "quote-drop"}});
      Json(res, {{"ok", true}, {"quoteFeedUp", up}});
    });
    server_.Post("/admin/quote", [this](const httplib::Request& req, httplib::Response& res) {
      if (!hooks_.playQuote) return Json(res, {{"ok", false}, {"error", "no quote feed"}}, 503);
      auto body = RequestJson(req);
      if (!hooks_.playQuote(body))
        return Json(res, {{"ok", false}, {"error", "wants {\"code\":...,\"name\",\"prevClose\",\"price\"}"}}, 400);
      recorder_.Write({{"event", "admin"}, {"action", "quote"}, {"quote", body}});
      Json(res, {{"ok", true}});
    });
    server_.Post("/admin/tape/release", [this](const httplib::Request& req, httplib::Response& res) {
      if (!hooks_.releaseTapeRows) return Json(res, {{"ok", false}, {"error", "no quote feed"}}, 503);
      auto body = RequestJson(req);
      const int rows = body.is_object() && body.contains("rows") && body["rows"].is_number_integer()
                           ? body["rows"].get<int>()
                           : 0;
      if (rows <= 0) return Json(res, {{"ok", false}, {"error", "wants {\"rows\":N} with N > 0"}}, 400);
      hooks_.releaseTapeRows(rows);
      Json(res, {{"ok", true}, {"rows", rows}});
    });
    server_.Post("/admin/account-sessions/drop", [this](const httplib::Request&, httplib::Response& res) {
      if (!hooks_.dropAccountSessions) return Json(res, {{"ok", false}, {"error", "no account service"}}, 503);
      const int dropped = hooks_.dropAccountSessions();
      recorder_.Write({{"event", "admin"}, {"action", "account-sessions-drop"}, {"dropped", dropped}});
      Json(res, {{"ok", true}, {"dropped", dropped}});
    });
    AddHookRoutes(server_, options_, recorder_);
    AddQuoteFormatRoutes(server_, recorder_, hooks_);
    server_.Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) { Page(req, res); });
  }

  void Push(httplib::Response& res, const char* action, const MessageFrame& frame, const nlohmann::json& body) {
    if (!hooks_.pushFrame) return Json(res, {{"ok", false}, {"error", "no message service"}}, 503);
    int reached = hooks_.pushFrame(frame);
    recorder_.Write({{"event", "admin"}, {"action", action}, {"body", body}, {"reached", reached}});
    Json(res, {{"ok", true}, {"reached", reached}});
  }

  void Status(httplib::Response& res) {
    auto up = std::chrono::steady_clock::now() - started_;
    nlohmann::json s = {
        {"ok", true},
        {"host", options_.host},
        {"uptimeMs", std::chrono::duration_cast<std::chrono::milliseconds>(up).count()},
        {"ports",
         {{"account", options_.accountPort},
          {"message", options_.messagePort},
          {"file", options_.filePort},
          {"speed", options_.speedPort},
          {"daytime", options_.daytimePort},
          {"web", options_.webPort},
          {"quote", options_.quotePort}}},
        {"webRequests", requests_.load()},
    };
    nlohmann::json users = nlohmann::json::array();
    for (const auto& u : options_.users) users.push_back(u.name);
    s["users"] = users;
    for (const auto& part : hooks_.statusParts) part(s);
    Json(res, s);
  }

  void Page(const httplib::Request& req, httplib::Response& res) {
    ++requests_;
    std::string path = req.path, content;
    bool found = true;
    if (WebDirFile(options_.webDir, path, content)) {
      res.set_content(content, ContentType(path));
    } else if (path == "/notice" || path == "/notice/" || path == "/notice/index.html") {
      res.set_content(kNoticePage, "text/html; charset=utf-8");
    } else if (path == "/notice/login.bmp") {
      res.set_content(LoginPicture(), "image/bmp");
    } else if (path == "/notice/login.html") {
      res.set_content(kLoginPage, "text/html; charset=utf-8");
    } else if (path == "/version") {
      res.set_content(kVersionManifest, "text/plain; charset=utf-8");
    } else if (path == "/updatehistory/updatehistory.htm") {
      res.set_content(kUpdateHistory, "text/html; charset=utf-8");
    } else {
      found = false;
      res.status = 404;
      res.set_content("not found\n", "text/plain");
    }
    if (found && options_.webDripMs > 0 && (path.rfind("/notice", 0) == 0 || path == "/version")) Drip(res);
    recorder_.Write({{"event", "web"}, {"path", path}, {"status", found ? 200 : 404}});
  }

  // The answer's headers at once, then its body one byte per pause, as a
  // site slowed down on purpose sends it; given up when the server stops
  // or the program hangs up.
  void Drip(httplib::Response& res) {
    auto body = std::make_shared<std::string>(res.body);
    const std::string type = res.get_header_value("Content-Type");
    res.body.clear();
    res.headers.erase("Content-Type");
    res.set_content_provider(body->size(), type, [this, body](size_t offset, size_t, httplib::DataSink& sink) {
      for (int waited = 0; waited < options_.webDripMs; waited += 20) {
        if (stopping_) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(20, options_.webDripMs - waited)));
      }
      return sink.write(body->data() + offset, 1);
    });
  }

  const ServerOptions& options_;
  Recorder& recorder_;
  ControlHooks& hooks_;
  std::chrono::steady_clock::time_point started_;
  std::atomic<int64_t> requests_{0};
  std::atomic<bool> stopping_{false};
  httplib::Server server_;
  std::thread thread_;
};

}  // namespace

ServicePtr StartWebPages(asio::io_context&, const ServerOptions& options, Recorder& recorder, ControlHooks& hooks) {
  return std::make_unique<WebPages>(options, recorder, hooks);
}

}  // namespace simserver
