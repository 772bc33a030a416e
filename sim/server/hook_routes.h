// The chat robots' web hooks as the program's push notifications meet them.
#pragma once

#include "sim_server.h"

namespace httplib {
class Server;
}

namespace simserver {

// POST /hook/wecom, /hook/dingtalk, /hook/feishu (group robots: their JSON
// text messages, signatures checked with options.hookSecret as the real
// services check them, answered with their success and error bodies) and
// /hook/plain (any JSON object). Each request is recorded as "hook"
// (channel, ok, status, text, body, answer). POST /admin/hooks/down
// (optionally {"stallMs": N}: each answer comes only after N ms) and
// /admin/hooks/up switch the pages to 503 answers and back, recorded as
// "admin" actions "hooks-down" / "hooks-up". POST /admin/hooks/mode
// {"channel", "mode", "ms"} makes one page misbehave: "hang" takes each
// request and answers nothing for ms (60000) or until the mode changes,
// "malformed" answers codes too large for any integer, "huge" a JSON
// object cut after "errcode": and ms (100000) blanks; "normal" ends it.
void AddHookRoutes(httplib::Server& server, const ServerOptions& options, Recorder& recorder);

}  // namespace simserver
