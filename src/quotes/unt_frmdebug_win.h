// The quote debug window's Win32 view: a sizeable tool window, always on
// top, with the quote labels, the counter, the two test-order buttons,
// "刷新" and "关闭"; Esc closes it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "quotes/unt_frmdebug.h"

namespace quotes {

// The system's short date and long time of a date-time.
std::string SystemDateTimeText(base::TDateTime value);

class TfrmdebugView {
 public:
  TfrmdebugView(std::string applicationFolder, IFrmdebugHost& host, HWND owner);
  ~TfrmdebugView();
  TfrmdebugView(const TfrmdebugView&) = delete;
  TfrmdebugView& operator=(const TfrmdebugView&) = delete;

  void Show();  // centred on the owner the first time
  bool Visible() const;
  void ShowReport(const TQuoteReport& report);
  void Enable(bool on);

  const Tfrmdebug& Model() const { return model_; }
  HWND Handle() const;

  struct Impl;

 private:
  Tfrmdebug model_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quotes
