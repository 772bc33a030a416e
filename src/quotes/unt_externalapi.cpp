#include "quotes/unt_externalapi.h"

#include "base/fixed_text.h"
#include "base/text.h"

namespace quotes {

bool StartQuoteEngine(IQuoteEngine& engine, const EngineStartArgs& args, bool& loggedIn,
                      const std::function<void(const std::string& text, const std::string& title)>& showInformation) {
  engine.SetLabels(args.labels, args.labels ? args.highestLabel : -1);
  engine.Init(args.mainWindow);
  const int32_t token = args.session ? args.session->startToken : 0;
  if (engine.Start(args.session, token, args.userId)) return true;
  loggedIn = false;
  engine.Quit(args.mainWindow);
  if (showInformation) showInformation(kEngineStartFailedText, kEngineStartFailedTitle);
  return false;
}

std::string SessionQuoteServer(const TLoginSessionRecord& session) {
  return base::ReadFixedUtf8(session.quoteServer, sizeof session.quoteServer);
}

bool RequestQuote(IQuoteEngine& engine, const std::string& code, TQuoteReport& out) {
  const TLoginSessionRecord& session = LoginSession();
  return engine.GetStockInfo(std::string(base::Trim(code)), SessionQuoteServer(session), session.quotePort, out);
}

}  // namespace quotes
