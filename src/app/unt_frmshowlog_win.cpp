#include "app/unt_frmshowlog_win.h"

#include <utility>

#include "app/unt_colours.h"
#include "win/shell_win.h"

namespace app {
namespace {

win::Align AlignOf(ColumnAlign align) {
  switch (align) {
    case ColumnAlign::kRight: return win::Align::Right;
    case ColumnAlign::kCentre: return win::Align::Center;
    default: return win::Align::Left;
  }
}

}  // namespace

TfrmshowlogWin::TfrmshowlogWin(std::string appFolder, HWND owner)
    : model_(std::move(appFolder), files_, *this) {
  win::DialogArgs args;
  args.title = Tfrmshowlog::kCaption;
  args.size = {860, 420};
  args.owner = owner;
  args.sizeable = true;
  args.minimizeBox = true;
  args.topMost = true;
  args.minSize = {420, 200};
  dialog_.Create(args);

  win::ToolBarArgs bar;
  bar.buttons = {{.id = kBtnClearLog, .text = "清空日志"},
                 {.id = kBtnRefresh, .text = "刷新"},
                 {.id = kBtnClose, .text = "关闭"}};
  toolbar_.Create(dialog_, bar);
  toolbar_.onClick = [this](int id) {
    if (id == kBtnClearLog) model_.BtnClearLogClick();
    if (id == kBtnRefresh) model_.BtnRefreshClick();
    if (id == kBtnClose) model_.BtnCloseClick();
    SyncRows();
  };

  win::ListViewArgs listArgs;
  for (const ShowLogColumn& c : kShowLogColumns) listArgs.columns.push_back({c.caption, c.width, AlignOf(c.align)});
  listArgs.ownerData = true;
  listArgs.subItemImages = false;
  listArgs.oddRowColor = kOddRowColour;
  list_.Create(dialog_, listArgs);
  list_.cellText = [this](int row, int column) { return model_.CellText(static_cast<size_t>(row), column); };

  // Esc anywhere in the viewer is the model's key.
  dialog_.onEscape = [this] { model_.FormKeyDown(Tfrmshowlog::kKeyEscape); };
  dialog_.onSize = [this](win::Size client) { Layout(client); };
  Layout(dialog_.ClientSize());
}

void TfrmshowlogWin::Layout(win::Size client) {
  if (!toolbar_ || !list_) return;
  toolbar_.Layout();
  const int top = dialog_.dpi().Unscale(toolbar_.Height());
  list_.Move({0, top, client.width, client.height > top ? client.height - top : 0});
}

void TfrmshowlogWin::Show() {
  model_.FormShow();
  SyncRows();
  dialog_.ShowModeless();
}

void TfrmshowlogWin::SyncRows() {
  if (model_.RowsVersion() == shownVersion_) return;
  shownVersion_ = model_.RowsVersion();
  list_.SetVirtualRowCount(static_cast<int>(model_.RowCount()));
  list_.Redraw();
}

bool TfrmshowlogWin::AskYesNo(const std::string& text, const std::string& title) {
  if (askYesNo) return askYesNo(text, title);
  return win::AskYesNo(dialog_.Handle(), text, title);
}

void TfrmshowlogWin::ShowInformation(const std::string& text, const std::string& title) {
  win::ShowInfo(dialog_.Handle(), text, title);
}

void TfrmshowlogWin::CloseWindow() { dialog_.CloseDialog(); }

}  // namespace app
