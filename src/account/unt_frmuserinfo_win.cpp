#include "account/unt_frmuserinfo_win.h"

#include <algorithm>

namespace account {

TfrmuserinfoWin::TfrmuserinfoWin(HWND owner, Tfrmuserinfo& model, std::function<int(int)> levelIcon)
    : model_(model), levelIcon_(std::move(levelIcon)) {
  dialog_.Create({.title = kUserInfoCaption, .size = {360, 330}, .owner = owner});
  grid_.Create(dialog_, {.rect = {10, 10, 340, 204}, .columns = {{"项目", 100}, {"内容", 215}}});
  picture_.Create(dialog_, {.rect = {10, 222, 32, 32}});
  levelLabel_.Create(dialog_, {.text = "等级进度", .rect = {50, 222, 100, 15}});
  level_.Create(dialog_, {.rect = {50, 240, 300, 14}, .max = 100});
  progress_.Create(dialog_, {.rect = {10, 264, 340, 10}, .max = 100});
  progress_.Show(false);
  refresh_.Create(dialog_, {.text = "刷新[&R]", .rect = {180, 288, 80, 26}});
  close_.Create(dialog_, {.text = "关闭[&C]", .rect = {270, 288, 80, 26}, .id = IDCANCEL});
  model_.onProgress = [this](int position) {
    progress_.Show(true);
    progress_.SetPosition(position);
  };
  refresh_.onClick = [this] {
    model_.bsSkinButtonRefreshClick();
    Fill();
    progress_.Show(false);
  };
  close_.onClick = [this] {
    model_.bsSkinButtonCloseClick();
    CloseIfAsked();
  };
  dialog_.onEscape = [this] {
    model_.FormKeyEscape();
    CloseIfAsked();
  };
}

void TfrmuserinfoWin::Show() {
  model_.FormShow();
  Fill();
  dialog_.ShowModeless();
}

void TfrmuserinfoWin::Fill() {
  grid_.Clear();
  for (const auto& [caption, value] : model_.Rows()) {
    const int row = grid_.AddRow(caption);
    grid_.SetCell(row, 1, value);
  }
  if (levelIcon_) picture_.ShowIcon(levelIcon_(model_.LevelPicture()));
  // The bar counts in parts; the seconds are scaled onto 1000 of them.
  const int64_t max = std::max<int64_t>(1, model_.GaugeMax());
  level_.SetMax(1000);
  level_.SetPosition(static_cast<int>(model_.GaugeValue() * 1000 / max));
  level_.SetTooltip(model_.GaugeHint());
}

void TfrmuserinfoWin::CloseIfAsked() {
  if (model_.TakeClosed()) dialog_.Show(false);
}

}  // namespace account
