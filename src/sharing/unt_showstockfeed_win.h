// The share feed's view: the list bsSkinLVShowStock on the main window's
// page "晒股信息", its odd-row and maroon colours, the hint over a row, the
// context menu "查看详细信息" and the detail window. It owns the feed model.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sharing/unt_frmshowstockdetail_win.h"
#include "sharing/unt_showstockfeed.h"
#include "win/all_win.h"

namespace sharing {

struct FeedViewArgs {
  HWND owner = nullptr;  // the main window: questions and the detail window
  std::function<bool()> soundOn;
  std::function<void(const std::string& path)> playSound;
  std::function<void(const std::string& title, const std::string& text)> showBalloon;
};

class TShowStockFeedView final : public IShowStockFeedHost {
 public:
  TShowStockFeedView(win::Parent page, std::string applicationFolder, FeedViewArgs args);
  TShowStockFeed& Feed() { return feed_; }
  win::ListView& List() { return list_; }
  void Move(const win::Rect& rect) { list_.Move(rect); }

  // ---- IShowStockFeedHost ----
  bool SoundOn() override { return args_.soundOn && args_.soundOn(); }
  void PlaySound(const std::string& path) override {
    if (args_.playSound) args_.playSound(path);
  }
  void ShowBalloon(const std::string& title, const std::string& text) override {
    if (args_.showBalloon) args_.showBalloon(title, text);
  }
  bool AskYesNo(const std::string& text, const std::string& title) override {
    return win::AskYesNo(args_.owner, text, title);
  }
  void ShowDetail(const std::array<std::string, kFeedColumns>& cells) override;

 private:
  void FitColumns();
  void Rows();
  void Hover(POINT client);

  FeedViewArgs args_;
  TShowStockFeed feed_;
  win::ListView list_;
  std::unique_ptr<win::Menu> popup_;
  std::unique_ptr<TfrmshowstockdetailWin> detail_;
  int hintRow_ = -1;
};

}  // namespace sharing
