#include "app/unt_frmnotify.h"

#include "base/text.h"

namespace app {
namespace {

bool IsWebAddress(const std::string& url) { return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0; }

}  // namespace

void Tfrmnotify::FormShow() {
  loaded_ = host_.LoadNotifySettings();
  for (NotifyChannel ch : kNotifyChannels) {
    Row& row = (*this)[ch];
    row.enabled = loaded_[ch].enabled;
    row.url = loaded_[ch].url;
    row.secret = loaded_[ch].secret;
  }
  statusLine.clear();
  for (NotifyChannel ch : kNotifyChannels)
    if (!loaded_[ch].undecryptable.empty())
      statusLine = std::string(InfoOf(ch).caption) + "的密钥无法解密（可能由其他用户保存），请重新填写";
}

bool Tfrmnotify::CheckAddress(NotifyChannel ch) {
  if (IsWebAddress(std::string(base::Trim((*this)[ch].url)))) return true;
  statusLine = std::string("请填写") + InfoOf(ch).caption + "的地址（以 http:// 或 https:// 开头）";
  return false;
}

NotifySettings Tfrmnotify::FromRows() const {
  NotifySettings s = loaded_;
  for (NotifyChannel ch : kNotifyChannels) {
    const Row& row = rows[static_cast<int>(ch)];
    ChannelSettings& c = s[ch];
    c.enabled = row.enabled;
    c.url = std::string(base::Trim(row.url));
    if (InfoOf(ch).signs) {
      c.secret = std::string(base::Trim(row.secret));
      if (!c.secret.empty()) c.undecryptable.clear();
    }
  }
  return s;
}

void Tfrmnotify::TestClick(NotifyChannel ch) {
  if (!CheckAddress(ch)) return;
  (*this)[ch].testEnabled = false;
  statusLine = std::string(InfoOf(ch).caption) + "：正在发送测试消息……";
  host_.SendTestMessage(ch, FromRows()[ch]);
}

void Tfrmnotify::TestAnswered(NotifyChannel ch, const HookVerdict& verdict) {
  (*this)[ch].testEnabled = true;
  statusLine = std::string(InfoOf(ch).caption) + (verdict.delivered ? "测试消息已送达：" : "测试消息未送达：") +
               verdict.text;
}

void Tfrmnotify::SaveClick() {
  for (NotifyChannel ch : kNotifyChannels)
    if ((*this)[ch].enabled && !CheckAddress(ch)) return;
  const NotifySettings s = FromRows();
  std::string error;
  if (!host_.SaveNotifySettings(s, &error)) {
    statusLine = "保存失败：" + error;
    return;
  }
  loaded_ = s;
  statusLine = kNotifySaved;
}

}  // namespace app
