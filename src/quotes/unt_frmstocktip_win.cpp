#include "quotes/unt_frmstocktip_win.h"

#include <array>

#include "win/all_win.h"

namespace quotes {
namespace {

constexpr int kRowStep = 21;    // left column
constexpr int kLevelStep = 19;  // right column: five asks over five bids
constexpr int kTop = 6;

}  // namespace

struct TfrmstocktipView::Impl {
  win::Window window;
  HFONT font = nullptr;
  std::array<win::Label, kQuoteFieldCount> values;
  std::array<win::Label, kQuoteFieldCount> captions;

  ~Impl() {
    if (font) DeleteObject(font);
  }
};

TfrmstocktipView::TfrmstocktipView() : impl_(std::make_unique<Impl>()) {
  Impl& v = *impl_;
  win::WindowArgs a;
  a.title = "Tfrmstocktip";
  a.rect = {0, 0, kStockTipWidth, kStockTipHeight};
  a.borderless = true;
  a.toolWindow = true;
  a.topMost = true;
  a.dropShadow = true;
  a.alpha = kStockTipAlpha;
  a.sizeable = false;
  a.background = GetSysColor(COLOR_INFOBK);
  v.window.Create(a);
  const win::Dpi& dpi = v.window.dpi();
  v.font = CreateFontW(-dpi.Scale(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, win::Wide(kStockTipFont).c_str());
  const COLORREF text = GetSysColor(COLOR_INFOTEXT);
  auto label = [&](win::Label& l, const std::string& caption, win::Rect r, win::Align align) {
    l.Create(v.window, {.text = caption, .rect = r, .align = align, .color = text, .vcenter = true});
    SendMessageW(l.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(v.font), FALSE);
    l.onClick = [this] { Close(); };
  };
  // Left: the security, the day's prices, the volume and the time.
  const QuoteField left[] = {kFieldCode, kFieldName, kFieldOpen, kFieldClose, kFieldNow,
                             kFieldVolume, kFieldHigh, kFieldLow, kFieldTime};
  int row = 0;
  for (QuoteField f : left) {
    const int y = kTop + row++ * kRowStep;
    label(v.captions[f], Tfrmstocktip::Caption(f), {6, y, 54, 16}, win::Align::Left);
    label(v.values[f], "", {60, y, 70, 16}, win::Align::Left);
  }
  // Right: the asks from the fifth down to the first, then the bids.
  for (int i = 0; i < 10; ++i) {
    const bool ask = i < 5;
    const int level = ask ? 4 - i : i - 5;
    const auto price = static_cast<QuoteField>((ask ? kFieldSellPrice1 : kFieldBuyPrice1) + level);
    const auto volume = static_cast<QuoteField>((ask ? kFieldSellVol1 : kFieldBuyVol1) + level);
    const int y = kTop + i * kLevelStep + (ask ? 0 : 4);
    label(v.captions[price], Tfrmstocktip::Caption(price), {136, y, 34, 16}, win::Align::Left);
    label(v.values[price], "", {170, y, 46, 16}, win::Align::Right);
    label(v.values[volume], "", {216, y, 46, 16}, win::Align::Right);
  }
  v.window.onMessage = [this](UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_LBUTTONDOWN) {
      Close();
      return 0;
    }
    // A tip never takes the activation from the main window.
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    return std::nullopt;
  };
}

TfrmstocktipView::~TfrmstocktipView() = default;

HWND TfrmstocktipView::Handle() const { return impl_->window.Handle(); }

bool TfrmstocktipView::Visible() const { return IsWindowVisible(Handle()) != FALSE; }

void TfrmstocktipView::ShowFor(std::string_view code, int screenX, int screenY) {
  model_.ShowFor(code);
  for (int f = 0; f < kQuoteFieldCount; ++f) impl_->values[f].SetText("");
  SetWindowPos(Handle(), HWND_TOPMOST, screenX, screenY, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  UpdateWindow(Handle());
}

void TfrmstocktipView::ShowReport(const TQuoteReport& report) {
  if (!model_.ShowReport(report)) return;
  for (int f = 0; f < kQuoteFieldCount; ++f) {
    impl_->values[f].SetText(model_.Value(static_cast<QuoteField>(f)));
  }
}

void TfrmstocktipView::Close() {
  model_.Close();
  ShowWindow(Handle(), SW_HIDE);
}

}  // namespace quotes
