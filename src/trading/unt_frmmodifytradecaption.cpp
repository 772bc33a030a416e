#include "trading/unt_frmmodifytradecaption.h"

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/text.h"

namespace trading {

Tfrmmodifytradecaption::Tfrmmodifytradecaption(ICaptionFinderDesktop& desktop, settings::TSettings& settings,
                                               std::function<void()> relink)
    : desktop_(desktop), settings_(settings), relink_(std::move(relink)) {}

void Tfrmmodifytradecaption::FormShow() {
  closed_ = false;
  profileName = settings_.profile.profileName;
  currentTitle = settings_.profile.windowTitle;
  newName = currentTitle;
}

void Tfrmmodifytradecaption::FinderMouseMove() {
  const WindowHandle window = desktop_.WindowUnderCursor();
  underCursor_ = window;
  if (window == kNoWindow) return;
  if (window != lastFramed_) {
    if (lastFramed_ != kNoWindow) desktop_.DrawInvertedFrame(lastFramed_);
    desktop_.DrawInvertedFrame(window);
    lastFramed_ = window;
  }
  // The parents' titles, the nearest first and the top-level window last.
  std::string titles;
  for (WindowHandle w = desktop_.Parent(window); w != kNoWindow; w = desktop_.Parent(w)) {
    const std::string gbk = base::Utf8ToGbkLossy(desktop_.WindowText(w));
    const std::string title = base::GbkToUtf8Lossy(gbk.substr(0, base::GbkPrefixLength(gbk, kFinderTitleBytes)));
    titles += base::Trim(title);
  }
  newName = titles;
}

void Tfrmmodifytradecaption::FinderMouseUp() {
  desktop_.RepaintAll();
  underCursor_ = lastFramed_ = kNoWindow;
}

void Tfrmmodifytradecaption::BtnOkClick() {
  const std::string name(base::Trim(newName));
  if (name.empty() || name == settings_.profile.windowTitle) {
    closed_ = true;
    return;
  }
  // A failed write propagates before anything in memory changed.
  settings::WriteWindowTitle(settings_.ProfilePath(), name);
  settings_.profile.windowTitle = name;
  currentTitle = name;
  if (relink_) relink_();
  closed_ = true;
}

}  // namespace trading
