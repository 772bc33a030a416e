// The user information: the texts of the main window's level label and its
// hint, and the dialog "账户信息" as a form model (grid, level picture,
// level gauge, refresh with its progress gauge).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "account/unt_accountservice.h"

namespace account {

inline constexpr char kUserInfoCaption[] = "账户信息";
inline constexpr char kUserInfoHintTitle[] = "用户信息";

// The system's date and time separators, which the registration time takes.
struct DateTimeSeparators {
  std::string date = "-";
  std::string time = ":";
};

// The fields of a user information record as the windows show them.
struct TUserInfoTexts {
  std::string userId, userName, userType, email, qq, registered;
  std::string onlineHours;  // "%.2f"
  std::string neededHours;  // "%.2f"
  int32_t level = 0;
  int32_t levelPicture = 0;
  int64_t onlineSeconds = 0;
};
TUserInfoTexts UserInfoTexts(const TUserInfoRecord& info, const DateTimeSeparators& separators);

// The level label's caption: level, "级 ", hours "%.2f", " h".
std::string LevelCaption(const TUserInfoTexts& texts);
// The lines of the level label's hint. They are kept apart rather than
// joined with "@" (the old skin's line break), which would also break the
// line inside every e-mail address.
std::vector<std::string> LevelHintLines(const TUserInfoTexts& texts);

class Tfrmuserinfo {
 public:
  // `fetch` is FetchUserInfo: it refreshes the record and the main window.
  Tfrmuserinfo(std::function<void()> fetch, std::function<const TUserInfoRecord&()> record,
               DateTimeSeparators separators);

  void FormShow() { Fill(); }
  // "刷新[&R]": the progress gauge at 50, the fetch, the refilled grid, 100.
  void bsSkinButtonRefreshClick();
  // "关闭[&C]" and Esc.
  void bsSkinButtonCloseClick() { closed_ = true; }
  void FormKeyEscape() { closed_ = true; }

  // Rows of the grid: caption and value.
  const std::vector<std::pair<std::string, std::string>>& Rows() const { return rows_; }
  int32_t LevelPicture() const { return texts_.levelPicture; }
  int64_t GaugeMax() const { return gaugeMax_; }
  int64_t GaugeValue() const { return gaugeValue_; }
  std::string GaugeHint() const { return "升到下一级，需要" + texts_.neededHours + "小时"; }
  int ProgressPosition() const { return progress_; }
  bool TakeClosed() { const bool c = closed_; closed_ = false; return c; }

  // Called when the progress gauge moves, so the view can paint it at once.
  std::function<void(int position)> onProgress;

 private:
  void Fill();
  void SetProgress(int position);

  std::function<void()> fetch_;
  std::function<const TUserInfoRecord&()> record_;
  DateTimeSeparators separators_;
  TUserInfoTexts texts_;
  std::vector<std::pair<std::string, std::string>> rows_;
  int64_t gaugeMax_ = 0;
  int64_t gaugeValue_ = 0;
  int progress_ = 0;
  bool closed_ = false;
};

}  // namespace account
