#include "app/unt_session.h"

#include "app/unt_frmmain.h"

namespace app {

TSession::TSession(Tfrmmain& main, ISessionHost& host, account::IAccountService& service, SessionOptions options)
    : main_(main),
      host_(host),
      service_(service),
      options_(std::move(options)),
      connection_(options_.connection),
      onlineTime_([&service](const std::string& user) { service.UpdateOnlineTime(user); },
                  options_.onlineTimePeriodMs) {}

TSession::~TSession() { Shutdown(); }

void TSession::LoginCommand() {
  if (!host_.ShowLoginDialog()) return;
  main_.SetLoggedIn(true, values_.userId);
  values_.userInfo = {};
  FetchUserInfo();
  if (!host_.StartQuoteEngine(values_.userId)) {
    // The engine start has cleared the flag, quit the engine and told the
    // user; the window's items follow the flag.
    main_.SetLoggedIn(false, values_.userId);
    return;
  }
  // A message connection that cannot be opened does not stop the login: the
  // reader keeps trying in the background and pane 1 says so meanwhile.
  StartSessionChannel();
  host_.Sleep(300);
  if (connection_.Connected()) presenceSentOn_ = connection_.Connections();
  SendPresence(true);
  host_.StartSpeedProbe();
  main_.EnableLoggedInFeatures(true);
  main_.SetAssociationPane("登录成功！");
  main_.SetLoginPane("ID：" + values_.userId);
  main_.TradingWindow().AssociateTradingWindow();
}

void TSession::LogoutCommand() {
  main_.StopAllMonitoring();
  main_.TradingWindow().ClearTradingWindow();
  main_.SetLoggedIn(false, values_.userId);
  SendPresence(false);
  service_.Logout(values_.accountServer, values_.accountPort, values_.userId);
  host_.QuitQuoteEngine();
  StopSessionChannel();
  main_.ResetTitles();
  main_.SetLoginPane("未登录");
  main_.SetAssociationPane("已注销");
  main_.SetDatePane("");
  main_.SetMessagePane("");
  values_.userInfo = {};
  main_.EnableLoggedInFeatures(false);
}

void TSession::FetchUserInfo() {
  service_.GetUserInfo(values_.accountServer, values_.accountPort,
                       account::MakeAccountRecord(values_.userId, values_.encipheredPassword), values_.userInfo);
  const account::TUserInfoTexts texts = account::UserInfoTexts(values_.userInfo, options_.separators);
  main_.ShowUserLevel(texts.level, texts.onlineSeconds, texts.levelPicture);
  main_.SetLevelHint(account::LevelHintLines(texts));
}

void TSession::SendPresence(bool online) {
  if (!connection_.Connected()) return;
  connection_.Send(account::MessageBytes(online ? account::kMsgOnline : account::kMsgOffline, values_.userId));
}

void TSession::SendText(const std::string& userId, const std::string& text) {
  if (!connection_.Connected()) return;
  connection_.Send(account::MessageBytes(account::kMsgTextLine, userId, account::TextLineBody(text)));
}

void TSession::StartSessionChannel() {
  if (!connection_.Running()) {
    const int generation = ++generation_;
    presenceSentOn_ = 0;
    account::MessageConnectionEvents events;
    events.onConnected = [this, generation](int connection) {
      host_.PostToGui([this, generation, connection] { ConnectionCameUp(generation, connection); });
    };
    events.onFrame = [this, generation](const account::FrameBytes& frame) {
      host_.PostToGui([this, generation, frame] { HandleFrame(generation, frame); });
    };
    events.onReconnectPause = [this, generation](int) {
      host_.PostToGui([this, generation] {
        if (generation == generation_ && connection_.Running()) main_.SetMessagePane(kMessageLinkDown);
      });
    };
    connection_.Start(values_.accountServer, options_.messagePort, std::move(events));
  }
  onlineTime_.Start(values_.userId);
}

bool TSession::StopSessionChannel() {
  // Whatever the old reader still posts belongs to a finished channel.
  ++generation_;
  connection_.Stop();
  return onlineTime_.Stop();
}

bool TSession::Shutdown() { return StopSessionChannel(); }

void TSession::ConnectionCameUp(int generation, int connection) {
  if (generation != generation_) return;
  main_.SetMessagePane("");
  // One presence notice per connection: the login's own, or this one for a
  // connection that came up late or again.
  if (connection > presenceSentOn_ && connection_.Connected()) {
    presenceSentOn_ = connection;
    SendPresence(main_.Flags().loggedIn);
  }
}

void TSession::HandleFrame(int generation, const account::FrameBytes& frame) {
  if (generation != generation_) return;
  switch (account::FrameType(frame)) {
    case account::kMsgSharePost: {
      account::TSharePostBlock post{};
      const auto bytes = account::FrameSharePost(frame);
      std::copy(bytes.begin(), bytes.end(), post.bytes);
      host_.ReceiveSharePost(post);
      break;
    }
    case account::kMsgSystemText:
      main_.ShowBalloon(kSystemMessageTitle, account::FrameText(frame));
      break;
    case account::kMsgLoggedInElsewhere:
      if (!main_.Flags().loggedIn) break;
      LogoutCommand();
      host_.ShowWarning(kForcedLogoutText, kForcedLogoutTitle);
      break;
    default:
      break;
  }
}

}  // namespace app
