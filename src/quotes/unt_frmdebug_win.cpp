#include "quotes/unt_frmdebug_win.h"

#include <array>

#include "win/all_win.h"

namespace quotes {
namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 330;
constexpr int kRowStep = 20;
constexpr int kTop = 10;

}  // namespace

std::string SystemDateTimeText(base::TDateTime value) {
  const base::DateTimeParts p = base::DecodeDateTime(value);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(p.year);
  t.wMonth = static_cast<WORD>(p.month);
  t.wDay = static_cast<WORD>(p.day);
  t.wHour = static_cast<WORD>(p.hour);
  t.wMinute = static_cast<WORD>(p.minute);
  t.wSecond = static_cast<WORD>(p.second);
  wchar_t date[80] = {}, time[80] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, 80);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, 80);
  return win::Utf8(date) + " " + win::Utf8(time);
}

struct TfrmdebugView::Impl {
  win::Dialog dialog;
  std::array<win::Label, kQuoteFieldCount> values;
  std::array<win::Label, kQuoteFieldCount> captions;
  win::Label countCaption, count;
  win::GroupBox group;
  win::Button buy, sell, refresh, close;
};

TfrmdebugView::TfrmdebugView(std::string applicationFolder, IFrmdebugHost& host, HWND owner)
    : model_(std::move(applicationFolder), host, SystemDateTimeText), impl_(std::make_unique<Impl>()) {
  Impl& v = *impl_;
  v.dialog.Create({.title = kDebugCaption, .size = {kWidth, kHeight}, .owner = owner, .sizeable = true,
                   .toolWindow = true, .topMost = true, .minSize = {kWidth, kHeight}});
  auto label = [&](win::Label& l, const std::string& text, win::Rect r, win::Align align = win::Align::Left) {
    l.Create(v.dialog, {.text = text, .rect = r, .align = align, .vcenter = true});
  };
  // Left: the security, the day's prices, the volume, the time, the counter.
  const QuoteField left[] = {kFieldCode, kFieldName, kFieldOpen, kFieldClose, kFieldNow,
                             kFieldVolume, kFieldHigh, kFieldLow, kFieldTime};
  int row = 0;
  for (QuoteField f : left) {
    const int y = kTop + row++ * kRowStep;
    label(v.captions[f], Tfrmdebug::Caption(f), {12, y, 72, 18});
    label(v.values[f], "", {84, y, 124, 18});
  }
  label(v.countCaption, "收到行情数：", {12, kTop + row * kRowStep, 72, 18});
  label(v.count, model_.CountCaption(), {84, kTop + row * kRowStep, 124, 18});
  // Right: the asks from the fifth down to the first, then the bids.
  for (int i = 0; i < 10; ++i) {
    const bool ask = i < 5;
    const int level = ask ? 4 - i : i - 5;
    const auto price = static_cast<QuoteField>((ask ? kFieldSellPrice1 : kFieldBuyPrice1) + level);
    const auto volume = static_cast<QuoteField>((ask ? kFieldSellVol1 : kFieldBuyVol1) + level);
    const int y = kTop + i * kRowStep;
    label(v.captions[price], Tfrmdebug::Caption(price), {216, y, 36, 18});
    label(v.values[price], "", {252, y, 62, 18}, win::Align::Right);
    label(v.values[volume], "", {316, y, 74, 18}, win::Align::Right);
  }
  const int groupTop = kTop + 11 * kRowStep;
  v.group.Create(v.dialog, {.text = "证券商测试功能区", .rect = {10, groupTop, kWidth - 20, 54}});
  v.buy.Create(v.dialog, {.text = "测试闪电下单买入", .rect = {24, groupTop + 20, 166, 25}});
  v.sell.Create(v.dialog, {.text = "测试闪电下单卖出", .rect = {210, groupTop + 20, 166, 25}});
  v.refresh.Create(v.dialog, {.text = "刷新", .rect = {kWidth - 170, kHeight - 35, 75, 25}});
  v.close.Create(v.dialog, {.text = "关闭", .rect = {kWidth - 85, kHeight - 35, 75, 25}});
  v.buy.onClick = [this] { model_.ButtonBuyClick(); };
  v.sell.onClick = [this] { model_.ButtonSellClick(); };
  v.refresh.onClick = [this] { model_.ButtonRefreshClick(); };
  auto close = [this] {
    model_.ButtonCloseClick();
    impl_->dialog.CloseDialog();
  };
  v.close.onClick = close;
  v.dialog.onEscape = close;
  v.dialog.onClose = [this](bool&) { model_.ButtonCloseClick(); };
  // The buttons keep to the bottom right corner of a resized window.
  v.dialog.onSize = [this](win::Size client) {
    Impl& w = *impl_;
    w.refresh.Move({client.width - 170, client.height - 35, 75, 25});
    w.close.Move({client.width - 85, client.height - 35, 75, 25});
  };
}

TfrmdebugView::~TfrmdebugView() = default;

HWND TfrmdebugView::Handle() const { return impl_->dialog.Handle(); }

bool TfrmdebugView::Visible() const { return IsWindowVisible(Handle()) != FALSE; }

void TfrmdebugView::Show() {
  model_.Show();
  impl_->dialog.ShowModeless();
}

void TfrmdebugView::Enable(bool on) { EnableWindow(Handle(), on ? TRUE : FALSE); }

void TfrmdebugView::ShowReport(const TQuoteReport& report) {
  model_.ShowReport(report);
  for (int f = 0; f < kQuoteFieldCount; ++f) impl_->values[f].SetText(model_.Value(static_cast<QuoteField>(f)));
  impl_->count.SetText(model_.CountCaption());
}

}  // namespace quotes
