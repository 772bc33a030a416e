// The public quote formats on the web port (quote_formats.cpp).
#pragma once

#include <httplib.h>

#include "sim_server.h"

namespace simserver {

// GET /list=<symbols> (comma format) and GET /q=<symbols> (tilde format)
// answer from the quote feed's playback; POST /admin/quote-format/<format>/
// fail makes that format answer 503 until .../recover.
void AddQuoteFormatRoutes(httplib::Server& server, Recorder& recorder, ControlHooks& hooks);

}  // namespace simserver
