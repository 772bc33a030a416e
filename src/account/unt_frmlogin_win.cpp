#include "account/unt_frmlogin_win.h"

#include <fstream>
#include <thread>

#include "base/files.h"
#include "base/worker.h"

namespace account {

TfrmloginWin::TfrmloginWin(LoginViewArgs args, IAccountService& service, settings::TSettings& settings,
                           TSessionValues& session, void* loginSession)
    : args_(std::move(args)),
      // Cached pictures in data\ are removed at every start and end.
      picturePath_(settings.ApplicationFolder() + "data\\login.bmp"),
      model_(*this, service, settings, session, loginSession, args_.applicationTitle, args_.vendorSite) {
  dialog_.Create({.title = kLoginCaption, .size = {400, 300}, .owner = args_.owner});
  notice_.Create(dialog_, {.rect = {10, 10, 380, 90}});
  notice_.onClick = [this] { model_.ImageNoticeClick(); };
  serverLabel_.Create(dialog_, {.text = "服务器：", .rect = {40, 114, 70, 21}, .vcenter = true});
  server_.Create(dialog_, {.rect = {112, 112, 230, 23}, .editable = true});
  userLabel_.Create(dialog_, {.text = "用户名：", .rect = {40, 144, 70, 21}, .vcenter = true});
  user_.Create(dialog_, {.rect = {112, 144, 230, 21}, .maxLength = 16});
  passwordLabel_.Create(dialog_, {.text = "密　码：", .rect = {40, 174, 70, 21}, .vcenter = true});
  password_.Create(dialog_, {.rect = {112, 174, 230, 21}, .password = true, .maxLength = 32});
  lineLabel_.Create(dialog_, {.text = "线　路：", .rect = {40, 204, 70, 19}, .vcenter = true});
  telecom_.Create(dialog_, {.text = "电信", .rect = {112, 204, 70, 19}, .firstInGroup = true});
  unicom_.Create(dialog_, {.text = "联通", .rect = {190, 204, 70, 19}});
  rememberName_.Create(dialog_, {.text = "记住用户名", .rect = {40, 232, 100, 19}});
  rememberPassword_.Create(dialog_, {.text = "记住密码", .rect = {150, 232, 90, 19}});
  autoLogin_.Create(dialog_, {.text = "自动登录", .rect = {250, 232, 90, 19}});
  ok_.Create(dialog_, {.text = "确定", .rect = {200, 264, 80, 26}, .id = IDOK, .defaultButton = true});
  cancel_.Create(dialog_, {.text = "取消", .rect = {290, 264, 80, 26}, .id = IDCANCEL});

  ok_.onClick = [this] {
    Take();
    model_.bsSkinButtonOkClick();
    Finish();
  };
  cancel_.onClick = [this] {
    model_.bsSkinButtonCancelClick();
    Finish();
  };
  dialog_.onEscape = [this] {
    model_.FormKeyEscape();
    Finish();
  };
  user_.onKeyDown = [this](UINT key) {
    if (key != VK_ESCAPE) return false;
    model_.FormKeyEscape();
    Finish();
    return true;
  };
  // The timer runs from the dialog's creation; the model decides what a tick means.
  timer_.onTick = [this] {
    Take();
    model_.TimerAutoLoginTimer(IsWindowVisible(dialog_.Handle()) != 0);
    if (!model_.AutoLoginTimerEnabled()) timer_.Stop();
    Finish();
  };
  timer_.Start();
}

TfrmloginWin::~TfrmloginWin() { *alive_ = false; }

bool TfrmloginWin::ShowModal() {
  model_.ResetResult();
  if (!model_.FormShow()) {
    ShowInformation("服务器列表 servers.cfg 无法读取。", args_.applicationTitle);
  }
  Sync();
  FetchNoticePicture();
  dialog_.onShow = [this] { Sync(); };
  return dialog_.ShowModal() == IDOK;
}

void TfrmloginWin::FetchNoticePicture() {
  if (!args_.httpGet) return;
  // The picture only decorates the dialog: it comes when it comes, and a
  // failure leaves the box empty.
  base::StartUnwaitedWorker([get = args_.httpGet, url = model_.noticePictureUrl(), path = picturePath_,
                             poster = args_.poster, alive = alive_, this] {
    const auto body = get(url);
    if (!body || body->size() < 2 || (*body)[0] != 'B' || (*body)[1] != 'M') return;
    {
      std::ofstream out(base::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
      out.write(body->data(), static_cast<std::streamsize>(body->size()));
      if (!out) return;
    }
    poster.Post([this, alive, path] {
      if (*alive) notice_.LoadBitmapFile(path);
    });
  });
}

void TfrmloginWin::Take() {
  model_.serverText = server_.Text();
  model_.serverIndex = server_.Selected();
  model_.userText = user_.Text();
  model_.passwordText = password_.Text();
  model_.rememberName = rememberName_.Checked();
  model_.rememberPassword = rememberPassword_.Checked();
  model_.telecom = !unicom_.Checked();
  model_.autoLogin = autoLogin_.Checked();
}

void TfrmloginWin::Sync() {
  server_.SetItems(model_.Servers());
  server_.Select(model_.serverIndex);
  if (model_.serverIndex < 0) server_.SetText(model_.serverText);
  user_.SetText(model_.userText);
  password_.SetText(model_.passwordText);
  rememberName_.SetChecked(model_.rememberName);
  rememberPassword_.SetChecked(model_.rememberPassword);
  telecom_.SetChecked(model_.telecom);
  unicom_.SetChecked(!model_.telecom);
  autoLogin_.SetChecked(model_.autoLogin);
  FocusField();
}

void TfrmloginWin::FocusField() {
  switch (model_.focus) {
    case Tfrmlogin::Focus::Server: server_.Focus(); break;
    case Tfrmlogin::Focus::User: user_.Focus(); break;
    case Tfrmlogin::Focus::Password: password_.Focus(); break;
    case Tfrmlogin::Focus::None: break;
  }
}

void TfrmloginWin::Finish() {
  switch (model_.ModalResult()) {
    case Tfrmlogin::Result::Ok: dialog_.EndModal(IDOK); return;
    case Tfrmlogin::Result::Cancel: dialog_.EndModal(IDCANCEL); return;
    case Tfrmlogin::Result::None: break;
  }
  FocusField();
}

void TfrmloginWin::ShowInformation(const std::string& text, const std::string& title) {
  win::ShowInfo(IsWindowVisible(dialog_.Handle()) ? dialog_.Handle() : args_.owner, text, title);
}

void TfrmloginWin::SetDialogVisible(bool visible) {
  ShowWindow(dialog_.Handle(), visible ? SW_SHOW : SW_HIDE);
  if (visible) SetForegroundWindow(dialog_.Handle());
}

void TfrmloginWin::RepaintMainWindow() {
  if (args_.owner) {
    RedrawWindow(args_.owner, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

}  // namespace account
