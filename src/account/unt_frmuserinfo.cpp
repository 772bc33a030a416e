#include "account/unt_frmuserinfo.h"

#include <algorithm>

#include "base/fixed_text.h"
#include "base/text.h"

namespace account {

namespace {

std::string Localised(std::string text, const DateTimeSeparators& s) {
  std::string out;
  for (char c : text) {
    if (c == '-') {
      out += s.date;
    } else if (c == ':') {
      out += s.time;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

TUserInfoTexts UserInfoTexts(const TUserInfoRecord& info, const DateTimeSeparators& separators) {
  TUserInfoTexts t;
  t.userId = base::ReadFixedUtf8(info.userId);
  t.userName = base::ReadFixedUtf8(info.userName);
  t.userType = info.userType == 2 ? "VIP" : "普通";
  t.email = base::ReadFixedUtf8(info.email);
  t.qq = base::ReadFixedUtf8(info.qq);
  t.registered = Localised(base::ReadFixedUtf8(info.registered), separators);
  t.onlineSeconds = info.onlineSeconds;
  t.onlineHours = base::FormatFixed(static_cast<double>(info.onlineSeconds) / 3600.0, 2);
  t.neededHours = base::FormatFixed(static_cast<double>(info.secondsToNextLevel) / 3600.0, 2);
  t.level = info.level;
  t.levelPicture = info.levelPicture;
  return t;
}

std::string LevelCaption(const TUserInfoTexts& t) { return std::to_string(t.level) + "级 " + t.onlineHours + " h"; }

std::vector<std::string> LevelHintLines(const TUserInfoTexts& t) {
  return {
      "用   户  ID: " + t.userId,
      "用户名称: " + t.userName,
      "用户类型: " + t.userType,
      "在线时间: " + t.onlineHours + "小时",
      "等        级: " + std::to_string(t.level) + "级",
      "升级需要: " + t.neededHours + "小时",
      "    E - Mail: " + t.email,
      "          QQ: " + t.qq,
      "注册时间: " + t.registered,
      std::string(40, '-'),
      "点击可刷新",
  };
}

Tfrmuserinfo::Tfrmuserinfo(std::function<void()> fetch, std::function<const TUserInfoRecord&()> record,
                           DateTimeSeparators separators)
    : fetch_(std::move(fetch)), record_(std::move(record)), separators_(std::move(separators)) {}

void Tfrmuserinfo::Fill() {
  const TUserInfoRecord& info = record_();
  texts_ = UserInfoTexts(info, separators_);
  rows_ = {
      {"用户ID", texts_.userId},
      {"用户名称", texts_.userName},
      {"用户类型", texts_.userType},
      {"在线时间", texts_.onlineHours + "小时"},
      {"等级", std::to_string(texts_.level) + "级"},
      {"升级需要时间", texts_.neededHours + "小时"},
      {"E-Mail", texts_.email},
      {"QQ", texts_.qq},
      {"注册时间", texts_.registered},
  };
  const int64_t level = info.level;
  gaugeMax_ = (level + 1) * (level + 5) * 3600;
  // A service that reports more seconds than the level spans must not push
  // the gauge below empty.
  gaugeValue_ = std::clamp<int64_t>(gaugeMax_ - info.secondsToNextLevel, 0, gaugeMax_);
}

void Tfrmuserinfo::SetProgress(int position) {
  progress_ = position;
  if (onProgress) onProgress(position);
}

void Tfrmuserinfo::bsSkinButtonRefreshClick() {
  SetProgress(50);
  fetch_();
  Fill();
  SetProgress(100);
}

}  // namespace account
