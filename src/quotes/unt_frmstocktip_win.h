// The quote tip window's Win32 view: a borderless, shadowed, slightly
// transparent tool pop-up in the info-tip colour with the quote's labels.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "quotes/unt_frmstocktip.h"

namespace quotes {

class TfrmstocktipView {
 public:
  TfrmstocktipView();  // created hidden
  ~TfrmstocktipView();
  TfrmstocktipView(const TfrmstocktipView&) = delete;
  TfrmstocktipView& operator=(const TfrmstocktipView&) = delete;

  // Cleared, remembering the code, shown at a screen position without
  // taking the activation.
  void ShowFor(std::string_view code, int screenX, int screenY);
  bool Visible() const;
  bool ShowsCode(std::string_view code) const { return model_.ShowsCode(code); }
  void ShowReport(const TQuoteReport& report);
  void Close();

  const Tfrmstocktip& Model() const { return model_; }
  HWND Handle() const;

  struct Impl;

 private:
  Tfrmstocktip model_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quotes
