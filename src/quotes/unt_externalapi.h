// The program's calls into the quote engine that go beyond one export: the
// engine start of a login, its stop, and the single-quote request with the
// current login session's quote server. Portable; the engine is the port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "quotes/Ustockdrv.h"
#include "quotes/login_session.h"

namespace quotes {

inline constexpr char kEngineStartFailedText[] = "启动盯盘模块失败，请重新登录！";
inline constexpr char kEngineStartFailedTitle[] = "提示！";

struct EngineStartArgs {
  uintptr_t mainWindow = 0;
  // The watched-label list as last published (null and -1 when none).
  const TStockLabel* labels = nullptr;
  int32_t highestLabel = -1;
  const TLoginSessionRecord* session = nullptr;
  std::string userId;
};

// The engine start of a successful login: the labels, Init, Start. When
// Start reports failure the logged-in flag is cleared, the engine is quit
// and the user told; false means the login ends there. Unbound exports are
// skipped and count as success.
bool StartQuoteEngine(IQuoteEngine& engine, const EngineStartArgs& args, bool& loggedIn,
                      const std::function<void(const std::string& text, const std::string& title)>& showInformation);

// The engine stop of a logout and of the main window's destruction.
inline void StopQuoteEngine(IQuoteEngine& engine, uintptr_t mainWindow) { engine.Quit(mainWindow); }

// The quote server address of the login session: the host text up to its
// NUL, never past the field.
std::string SessionQuoteServer(const TLoginSessionRecord& session);

// A single quote for the trimmed code from the current login session's
// quote server; `out` stays as it was when nothing came back. Any thread.
bool RequestQuote(IQuoteEngine& engine, const std::string& code, TQuoteReport& out);

}  // namespace quotes
