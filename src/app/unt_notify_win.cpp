#include "app/unt_notify_win.h"

#include <windows.h>
#include <wincrypt.h>

#include "app/unt_http_win.h"
#include "base/files.h"
#include "win/text_win.h"

namespace app {
namespace {

// Closing the program waits at most this long for undelivered messages;
// the rest is sent at the next start.
constexpr int kCloseWaitMs = 2000;
constexpr char kOutboxName[] = "notify-outbox.json";
// Robots answer in a few hundred bytes.
constexpr size_t kMaxAnswerBytes = 64u << 10;

// The robots' requests go through the program's one fetch, bounded as a
// whole (an endpoint that takes the connection and never answers is cut off
// at the deadline). Error texts name the address only without its query or
// hook id: for many robots the address is the only credential.
class WinHttpPoster : public IHookPoster {
 public:
  explicit WinHttpPoster(int deadlineMs) : deadlineMs_(deadlineMs) {}

  HookReply Post(const std::string& url, const std::string& body, int timeoutMs) override {
    HttpReply r = HttpPostJson(url, body, timeoutMs, deadlineMs_, kMaxAnswerBytes);
    HookReply reply{r.status, std::move(r.body), std::move(r.error)};
    const std::string shown = RedactUrl(url);
    for (size_t at = reply.error.find(url); at != std::string::npos; at = reply.error.find(url, at + shown.size()))
      reply.error.replace(at, url.size(), shown);
    return reply;
  }

 private:
  int deadlineMs_;
};

std::optional<std::string> Crypt(std::string_view in, bool protect) {
  DATA_BLOB input{static_cast<DWORD>(in.size()), reinterpret_cast<BYTE*>(const_cast<char*>(in.data()))};
  DATA_BLOB output{};
  const BOOL ok = protect ? CryptProtectData(&input, L"quorvel", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                                             &output)
                          : CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                                               &output);
  if (!ok) return std::nullopt;
  std::string out(reinterpret_cast<const char*>(output.pbData), output.cbData);
  SecureZeroMemory(output.pbData, output.cbData);
  LocalFree(output.pbData);
  return out;
}

}  // namespace

std::optional<std::string> DpapiProtector::Protect(std::string_view plain) { return Crypt(plain, true); }
std::optional<std::string> DpapiProtector::Unprotect(std::string_view sealed) { return Crypt(sealed, false); }

// ---- the dialog ----

TfrmnotifyWin::TfrmnotifyWin(HWND owner, INotifyDialogHost& host) : model_(host) {
  dialog_.Create({.title = kNotifyCaption, .size = {720, 252}, .owner = owner});
  for (int i = 0; i < kNotifyChannelCount; ++i) {
    const NotifyChannel ch = kNotifyChannels[i];
    const ChannelInfo& info = InfoOf(ch);
    RowControls& r = rows_[i];
    const int y = 16 + i * 36;
    r.enabled.Create(dialog_, {.text = info.caption, .rect = {16, y + 2, 92, 20}, .id = kEnableId + i});
    r.urlLabel.Create(dialog_, {.text = "地址", .rect = {112, y, 34, 23}, .vcenter = true});
    r.url.Create(dialog_, {.rect = {146, y, info.signs ? 300 : 454, 23}, .id = kUrlId + i});
    if (info.signs) {
      r.secretLabel.Create(dialog_, {.text = "密钥", .rect = {456, y, 34, 23}, .vcenter = true});
      r.secret.Create(dialog_, {.rect = {490, y, 110, 23}, .id = kSecretId + i, .password = true});
    }
    r.test.Create(dialog_, {.text = kNotifyTestButton, .rect = {608, y - 1, 96, 26}, .id = kTestId + i});
    r.enabled.onClick = [this] { Do([] {}); };
    r.test.onClick = [this, ch] { Do([&] { model_.TestClick(ch); }); };
  }
  save_.Create(dialog_, {.text = kNotifySaveButton, .rect = {528, 166, 84, 26}, .id = kSaveId});
  close_.Create(dialog_, {.text = kNotifyCloseButton, .rect = {620, 166, 84, 26}, .id = IDCANCEL});
  status_.Create(dialog_, {.text = "", .rect = {16, 202, 688, 40}, .id = kStatusId, .color = RGB(0, 0, 160)});
  save_.onClick = [this] { Do([&] { model_.SaveClick(); }); };
  close_.onClick = [this] { Do([&] { model_.Close(); }); };
  dialog_.onEscape = [this] { Do([&] { model_.Close(); }); };
}

void TfrmnotifyWin::Show() {
  model_.FormShow();
  Sync();
  dialog_.ShowModeless();
}

void TfrmnotifyWin::TestAnswered(NotifyChannel channel, const HookVerdict& verdict) {
  Do([&] { model_.TestAnswered(channel, verdict); });
}

void TfrmnotifyWin::Pull() {
  for (int i = 0; i < kNotifyChannelCount; ++i) {
    Tfrmnotify::Row& row = model_.rows[i];
    row.enabled = rows_[i].enabled.Checked();
    row.url = rows_[i].url.Text();
    if (InfoOf(kNotifyChannels[i]).signs) row.secret = rows_[i].secret.Text();
  }
}

void TfrmnotifyWin::Sync() {
  for (int i = 0; i < kNotifyChannelCount; ++i) {
    const Tfrmnotify::Row& row = model_.rows[i];
    RowControls& r = rows_[i];
    r.enabled.SetChecked(row.enabled);
    if (r.url.Text() != row.url) r.url.SetText(row.url);
    if (InfoOf(kNotifyChannels[i]).signs && r.secret.Text() != row.secret) r.secret.SetText(row.secret);
    r.test.Enable(row.testEnabled);
  }
  status_.SetText(model_.statusLine);
  if (model_.closeRequested) {
    model_.closeRequested = false;
    dialog_.CloseDialog();
  }
}

// ---- the service ----

NotifyService::NotifyService(std::string appFolder, win::GuiPoster gui,
                             std::function<void(const std::string&)> dailyLog)
    : path_(base::PathToUtf8(base::PathFromUtf8(appFolder) / kNotifyIniName)),
      gui_(gui),
      notifier_(std::make_shared<WinHttpPoster>(NotifierOptions{}.deadlineMs),
                [gui, dailyLog](const std::string& line) {
                  if (dailyLog) gui.Post([dailyLog, line] { dailyLog(line); });
                },
                [&] {
                  NotifierOptions o;
                  o.outboxPath = base::PathToUtf8(base::PathFromUtf8(appFolder) / kOutboxName);
                  return o;
                }()) {
  // A secret written into the file by hand is protected at once.
  if (NotifyFileHasPlainSecret(path_)) {
    std::string error;
    if (!SealPlainSecrets(path_, protector_, &error) && dailyLog)
      gui.Post([dailyLog, error] { dailyLog("消息推送：无法加密 notify.ini 中的密钥：" + error); });
  }
  notifier_.SetSettings(LoadNotifySettings());
}

void NotifyService::ResumeOutbox() {
  if (outboxResumed_) return;
  outboxResumed_ = true;
  notifier_.ResumeOutbox();
}

NotifyService::~NotifyService() {
  *dialogRef_ = nullptr;
  notifier_.Close(0);
}

void NotifyService::QueueFire(const policy::FireEvent& fire, base::TDateTime now) {
  notifier_.Queue(FireNotice(fire, now));
}

void NotifyService::QueueOutcome(const NotifyEvent& e) { notifier_.QueueOutcome(e); }

void NotifyService::ShowDialog(HWND owner) {
  if (!dialog_) {
    dialog_ = std::make_unique<TfrmnotifyWin>(owner, *this);
    *dialogRef_ = dialog_.get();
  }
  dialog_->Show();
}

void NotifyService::Close() { notifier_.Close(kCloseWaitMs); }

NotifySettings NotifyService::LoadNotifySettings() { return app::LoadNotifySettings(path_, protector_); }

bool NotifyService::SaveNotifySettings(const NotifySettings& settings, std::string* error) {
  if (!app::SaveNotifySettings(path_, settings, protector_, error)) return false;
  notifier_.SetSettings(settings);
  return true;
}

void NotifyService::SendTestMessage(NotifyChannel channel, const ChannelSettings& settings) {
  NotifyEvent e;
  e.time = base::Now();
  notifier_.SendTest(channel, settings, e, [gui = gui_, ref = dialogRef_, channel](const HookVerdict& verdict) {
    gui.Post([ref, channel, verdict] {
      if (*ref) (*ref)->TestAnswered(channel, verdict);
    });
  });
}

}  // namespace app
