// The command line of quorvel-sim-server. Its options are relied on by tests
// and people: new ones are added, existing ones keep their names.
#include <charconv>
#include <cstdio>

#include "sim_server.h"

namespace simserver {
namespace {

bool ParseInt(const std::string& text, long min, long max, long& out) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && p == end && out >= min && out <= max;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(sep, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// A host of the loopback network (127.0.0.0/8), written as four decimals.
bool IsLoopbackAddress(const std::string& host) {
  auto parts = Split(host, '.');
  if (parts.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    long v = 0;
    if (!ParseInt(parts[i], 0, 255, v)) return false;
    if (i == 0 && v != 127) return false;
  }
  return true;
}

// --synthetic N[:MS] or CODE,CODE,...[:MS]: N codes from 600000 upwards.
bool ParseSynthetic(const std::string& text, ServerOptions& o) {
  std::string codes = text;
  size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    long ms = 0;
    if (!ParseInt(text.substr(colon + 1), 1, 3600000, ms)) return false;
    o.syntheticIntervalMs = static_cast<int>(ms);
    codes = text.substr(0, colon);
  }
  o.syntheticCodes.clear();
  long count = 0;
  if (ParseInt(codes, 1, 100000, count)) {
    for (long i = 0; i < count; ++i) o.syntheticCodes.push_back(std::to_string(600000 + i));
    return true;
  }
  for (auto& code : Split(codes, ',')) {
    if (code.empty() || code.size() > 9) return false;
    o.syntheticCodes.push_back(code);
  }
  return true;
}

SimUser* FindUser(ServerOptions& o, const std::string& name) {
  for (auto& u : o.users)
    if (u.name == name) return &u;
  return nullptr;
}

// --user-info NAME:key=value,...
bool ApplyUserInfo(const std::string& text, ServerOptions& o, std::string& error) {
  size_t colon = text.find(':');
  SimUser* user = colon == std::string::npos ? nullptr : FindUser(o, text.substr(0, colon));
  if (!user) {
    error = "--user-info names no user given before it: " + text;
    return false;
  }
  for (auto& pair : Split(text.substr(colon + 1), ',')) {
    size_t eq = pair.find('=');
    if (eq == std::string::npos) {
      error = "--user-info wants key=value: " + pair;
      return false;
    }
    std::string key = pair.substr(0, eq), value = pair.substr(eq + 1);
    long n = 0;
    auto number = [&](int32_t& field) {
      if (!ParseInt(value, 0, 0x7FFFFFFF, n)) return false;
      field = static_cast<int32_t>(n);
      return true;
    };
    bool ok = true;
    if (key == "type") ok = number(user->userType);
    else if (key == "display") user->displayName = value;
    else if (key == "email") user->email = value;
    else if (key == "qq") user->qq = value;
    else if (key == "registered") user->registered = value;
    else if (key == "online") ok = number(user->onlineSeconds);
    else if (key == "levelpicture") ok = number(user->levelPicture);
    else if (key == "level") ok = number(user->level);
    else if (key == "next") ok = number(user->secondsToNextLevel);
    else {
      error = "--user-info: unknown key " + key;
      return false;
    }
    if (!ok) {
      error = "--user-info: " + key + " wants a number";
      return false;
    }
  }
  return true;
}

}  // namespace

SimUser MakeUser(const std::string& name, const std::string& password) {
  SimUser u;
  u.name = name;
  u.password = password;
  // Values that differ between users but stay the same from run to run.
  uint32_t h = 2166136261u;
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  u.displayName = name;
  u.email = name + "@quorvel.test";
  u.qq = std::to_string(10000000 + h % 90000000);
  u.onlineSeconds = static_cast<int32_t>(h % 200000);
  u.level = 1 + u.onlineSeconds / 36000;
  u.levelPicture = u.level;
  u.secondsToNextLevel = 36000 - u.onlineSeconds % 36000;
  return u;
}

std::string ServerUsage() {
  return "usage: quorvel-sim-server [options]\n"
         "  --host ADDR            loopback address to serve on (default 127.0.0.1); fixed ports:\n"
         "                         account 8085, message 8081, file 8082, speed probe 8080, Daytime 13\n"
         "  --web-port N           vendor web pages and the /admin/ control interface (default 80)\n"
         "  --quote-port N         quote feed (default 7709)\n"
         "  --user NAME[:PASSWORD] a user; without a password any non-empty one is accepted (repeatable)\n"
         "  --user-info NAME:key=value,...  user information of a user given before: type, display,\n"
         "                         email, qq, registered, online, levelpicture, level, next\n"
         "  --tape FILE            quote tape to play (CSV: time,code,market,name,prev_close,open,high,low,price)\n"
         "  --pace-ms N            pause between tape rows (default 0)\n"
         "  --tape-step            play tape rows only as the control interface releases them\n"
         "  --synthetic N|CODES[:MS]  besides the tape, one generated report per code every MS ms\n"
         "                         (default 1000); N codes from 600000 up, or a comma list of codes\n"
         "  --profiles DIR         trading profiles the file server offers\n"
         "  --record FILE          append one JSON object per line for everything a program did\n"
         "  --web-dir DIR          files served by the web pages at their relative path (override pages)\n"
         "  --web-drip-ms N        the pages under /notice and /version send one byte every N ms (a slow site)\n"
         "  --hook-secret SECRET   the robots' signing secret the /hook/dingtalk and /hook/feishu pages check\n"
         "  --help                 this text\n"
         "Control interface (JSON answers): GET /admin/status; POST /admin/message {\"text\":...};\n"
         "POST /admin/elsewhere; POST /admin/share {code,name,price,...}; POST /admin/quote-feed/drop,\n"
         "POST /admin/quote-feed/restore; POST /admin/account-sessions/drop; POST /admin/tape/release {\"rows\":N};\n"
         "POST /admin/quote {code,name,prevClose,price} (one quote, as if the tape had played it);\n"
         "POST /admin/hooks/down [{\"stallMs\":N}], /admin/hooks/up (the robot pages under /hook/ answer 503 while down).\n"
         "Robot pages: POST /hook/wecom, /hook/dingtalk, /hook/feishu, /hook/plain.\n";
}

ParsedOptions ParseServerOptions(const std::vector<std::string>& args) {
  ParsedOptions r;
  ServerOptions& o = r.options;
  auto fail = [&](std::string why) {
    r.ok = false;
    r.error = std::move(why);
    return r;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      r.help = true;
      continue;
    }
    if (a == "--tape-step") {
      o.tapeStep = true;
      continue;
    }
    if (i + 1 >= args.size()) return fail(a.rfind("--", 0) == 0 ? a + " wants a value" : "unknown argument " + a);
    const std::string& v = args[++i];
    long n = 0;
    if (a == "--host") {
      if (!IsLoopbackAddress(v)) return fail("--host wants a loopback address (127.x.y.z): " + v);
      o.host = v;
    } else if (a == "--web-port" || a == "--quote-port") {
      if (!ParseInt(v, 1, 65535, n)) return fail(a + " wants a port number: " + v);
      (a == "--web-port" ? o.webPort : o.quotePort) = static_cast<uint16_t>(n);
    } else if (a == "--user") {
      size_t colon = v.find(':');
      std::string name = v.substr(0, colon);
      if (name.empty()) return fail("--user wants NAME[:PASSWORD]");
      if (FindUser(o, name)) return fail("--user given twice for " + name);
      o.users.push_back(MakeUser(name, colon == std::string::npos ? "" : v.substr(colon + 1)));
    } else if (a == "--user-info") {
      std::string why;
      if (!ApplyUserInfo(v, o, why)) return fail(why);
    } else if (a == "--tape") {
      o.tapePath = v;
    } else if (a == "--pace-ms") {
      if (!ParseInt(v, 0, 3600000, n)) return fail("--pace-ms wants milliseconds: " + v);
      o.paceMs = static_cast<int>(n);
    } else if (a == "--synthetic") {
      if (!ParseSynthetic(v, o)) return fail("--synthetic wants N or CODES, then optionally :MS: " + v);
    } else if (a == "--profiles") {
      o.profilesDir = v;
    } else if (a == "--record") {
      o.recordPath = v;
    } else if (a == "--hook-secret") {
      o.hookSecret = v;
    } else if (a == "--web-dir") {
      o.webDir = v;
    } else if (a == "--web-drip-ms") {
      if (!ParseInt(v, 1, 60000, n)) return fail("--web-drip-ms wants milliseconds: " + v);
      o.webDripMs = static_cast<int>(n);
    } else {
      return fail("unknown option " + a);
    }
  }
  return r;
}

}  // namespace simserver
