#include "app/unt_frmreplay_win.h"

// GDI+ wants the property types and its min and max, which the lean
// Windows headers and NOMINMAX leave out.
#include <objidl.h>
#include <propidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <cmath>
#include <utility>

#include "app/unt_colours.h"
#include "base/datetime.h"
#include "base/text.h"
#include "win/app_win.h"
#include "win/internal_win.h"
#include "win/shell_win.h"
#include "win/text_win.h"

namespace app {
namespace {

constexpr COLORREF kPriceColour = RGB(0, 84, 192);
constexpr COLORREF kSetPriceColour = RGB(200, 0, 0);
constexpr COLORREF kTrailColour = RGB(230, 130, 0);
constexpr COLORREF kFireColour = RGB(160, 0, 160);
constexpr COLORREF kGridColour = RGB(225, 225, 225);
constexpr COLORREF kAxisColour = RGB(64, 64, 64);
// The result list's order column at least (96-dpi units).
constexpr int kOrderColumnWidth = 410;

void Text(HDC dc, int x, int y, const std::string& text, UINT align, COLORREF colour) {
  const std::wstring w = win::Wide(text);
  SetTextColor(dc, colour);
  SetTextAlign(dc, align);
  TextOutW(dc, x, y, w.c_str(), static_cast<int>(w.size()));
}

int TextWidth(HDC dc, const std::string& text) {
  const std::wstring w = win::Wide(text);
  SIZE size{};
  GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  return size.cx;
}

void Line(HDC dc, int x1, int y1, int x2, int y2) {
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

}  // namespace

void DrawReplayChart(HDC dc, const RECT& area, const ReplayChart& c, const win::Dpi& dpi) {
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(dc, &area, white);
  DeleteObject(white);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, win::UiFont(dpi));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int lineHeight = metrics.tmHeight;

  Text(dc, area.left + dpi.Scale(8), area.top + dpi.Scale(6), c.title, TA_LEFT | TA_TOP, RGB(0, 0, 0));
  if (c.empty) {
    const std::string none = c.title.empty() ? "回测后选择一个监控，这里显示它的证券当天的走势。" : "该证券当天没有成交行情。";
    Text(dc, (area.left + area.right) / 2, (area.top + area.bottom) / 2, none, TA_CENTER | TA_TOP,
         RGB(96, 96, 96));
    SelectObject(dc, oldFont);
    return;
  }

  // The plot: price labels at the left, time labels below, title and key above.
  int labelWidth = 0;
  for (const ChartTick& t : c.priceTicks) labelWidth = std::max(labelWidth, TextWidth(dc, t.label));
  // The last time label is centred on the right edge: room for its half.
  const int rightMargin = std::max(dpi.Scale(16), TextWidth(dc, "00:00") / 2 + dpi.Scale(6));
  const RECT plot{area.left + labelWidth + dpi.Scale(14), area.top + lineHeight * 2 + dpi.Scale(8),
                  area.right - rightMargin, area.bottom - lineHeight - dpi.Scale(10)};
  if (plot.right - plot.left < 20 || plot.bottom - plot.top < 20) {
    SelectObject(dc, oldFont);
    return;
  }
  const double tSpan = c.timeTo - c.timeFrom, pSpan = c.priceTo - c.priceFrom;
  const auto X = [&](double t) {
    return plot.left + static_cast<int>(std::lround((t - c.timeFrom) / tSpan * (plot.right - plot.left)));
  };
  const auto Y = [&](double p) {
    return plot.bottom - static_cast<int>(std::lround((p - c.priceFrom) / pSpan * (plot.bottom - plot.top)));
  };

  // The key, on the line under the title.
  int keyX = area.left + dpi.Scale(8);
  const int keyY = area.top + dpi.Scale(6) + lineHeight;
  const auto key = [&](COLORREF colour, int style, const std::string& text) {
    HPEN pen = CreatePen(style, style == PS_SOLID ? dpi.Scale(2) : 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    Line(dc, keyX, keyY + lineHeight / 2, keyX + dpi.Scale(20), keyY + lineHeight / 2);
    SelectObject(dc, old);
    DeleteObject(pen);
    Text(dc, keyX + dpi.Scale(24), keyY, text, TA_LEFT | TA_TOP, RGB(0, 0, 0));
    keyX += dpi.Scale(24) + TextWidth(dc, text) + dpi.Scale(16);
  };
  key(kPriceColour, PS_SOLID, "成交价");
  if (c.hasSetPrice) key(kSetPriceColour, PS_DASH, "设定价 " + base::FormatPrice(c.setPrice));
  if (!c.trailLabel.empty()) key(kTrailColour, PS_SOLID, c.trailLabel);
  if (c.fired) {
    key(kFireColour, PS_SOLID,
        "触发 " + base::FormatDateTime("hh:nn:ss", c.fireTime) + " " + base::FormatPrice(c.firePrice));
  }

  // Grid and axis labels.
  HPEN grid = CreatePen(PS_SOLID, 1, kGridColour);
  HGDIOBJ oldPen = SelectObject(dc, grid);
  for (const ChartTick& t : c.priceTicks) {
    const int y = Y(t.value);
    Line(dc, plot.left, y, plot.right, y);
    Text(dc, plot.left - dpi.Scale(6), y - lineHeight / 2, t.label, TA_RIGHT | TA_TOP, kAxisColour);
  }
  for (const ChartTick& t : c.timeTicks) {
    const int x = X(t.value);
    Line(dc, x, plot.top, x, plot.bottom);
    Text(dc, x, plot.bottom + dpi.Scale(4), t.label, TA_CENTER | TA_TOP, kAxisColour);
  }
  SelectObject(dc, oldPen);
  DeleteObject(grid);
  HPEN axis = CreatePen(PS_SOLID, 1, kAxisColour);
  SelectObject(dc, axis);
  Line(dc, plot.left, plot.top, plot.left, plot.bottom);
  Line(dc, plot.left, plot.bottom, plot.right, plot.bottom);
  SelectObject(dc, oldPen);
  DeleteObject(axis);

  // Everything drawn from here on stays inside the plot.
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, plot.left, plot.top, plot.right + 1, plot.bottom + 1);
  if (c.hasSetPrice) {
    HPEN pen = CreatePen(PS_DASH, 1, kSetPriceColour);
    SelectObject(dc, pen);
    Line(dc, plot.left, Y(c.setPrice), plot.right, Y(c.setPrice));
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
  if (!c.trail.empty()) {
    HPEN pen = CreatePen(PS_SOLID, dpi.Scale(1), kTrailColour);
    SelectObject(dc, pen);
    std::vector<POINT> steps;
    for (size_t i = 0; i < c.trail.size(); ++i) {
      const int x = X(c.trail[i].first), y = Y(c.trail[i].second);
      if (!steps.empty()) steps.push_back({x, steps.back().y});
      steps.push_back({x, y});
    }
    steps.push_back({X(c.fired ? c.fireTime : c.timeTo), steps.back().y});
    Polyline(dc, steps.data(), static_cast<int>(steps.size()));
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
  {
    HPEN pen = CreatePen(PS_SOLID, dpi.Scale(2), kPriceColour);
    SelectObject(dc, pen);
    // Reports on one pixel column add nothing but their extremes: each
    // column is drawn through its first report, its high and low in the
    // order they came, and its last, so that no spike of the day is lost.
    std::vector<POINT> points;
    const auto add = [&](POINT pt) {
      if (points.empty() || points.back().x != pt.x || points.back().y != pt.y) points.push_back(pt);
    };
    std::vector<int> ys;  // the column's pixel rows
    for (size_t i = 0; i < c.prices.size();) {
      const int x = X(c.prices[i].time);
      size_t end = i, top = i, bottom = i;
      ys.clear();
      for (; end < c.prices.size() && X(c.prices[end].time) == x; ++end) {
        ys.push_back(Y(c.prices[end].price));
        if (ys.back() < ys[top - i]) top = end;
        if (ys.back() > ys[bottom - i]) bottom = end;
      }
      add({x, ys.front()});
      add({x, ys[std::min(top, bottom) - i]});
      add({x, ys[std::max(top, bottom) - i]});
      add({x, ys.back()});
      i = end;
    }
    if (points.size() == 1) points.push_back({points.front().x + 1, points.front().y});
    Polyline(dc, points.data(), static_cast<int>(points.size()));
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
  if (c.fired) {
    const int x = X(c.fireTime), y = Y(c.firePrice), r = dpi.Scale(5);
    HPEN pen = CreatePen(PS_SOLID, 1, kFireColour);
    HBRUSH brush = CreateSolidBrush(kFireColour);
    SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    const POINT triangle[3] = {{x, y + r / 2}, {x - r, y + r * 2}, {x + r, y + r * 2}};
    Polygon(dc, triangle, 3);
    Line(dc, x, plot.top, x, plot.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
  }
  RestoreDC(dc, saved);
  SelectObject(dc, oldFont);
}

bool SaveReplayChart(const ReplayChart& chart, int width, int height, const std::string& path, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (width <= 0 || height <= 0) return fail("图表没有大小");
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (!mem || !bitmap) {
    if (mem) DeleteDC(mem);
    if (bitmap) DeleteObject(bitmap);
    return fail("无法创建位图");
  }
  HGDIOBJ old = SelectObject(mem, bitmap);
  const RECT area{0, 0, width, height};
  DrawReplayChart(mem, area, chart, win::Dpi::System());
  SelectObject(mem, old);
  DeleteDC(mem);

  // GDI+ encodes; the file is replaced only once the picture is whole.
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char ch) { return static_cast<char>(std::tolower(static_cast<unsigned char>(ch))); });
  const bool bmp = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".bmp") == 0;
  // The encoders' class identifiers (image/png, image/bmp), as GDI+ lists them.
  static const CLSID kPng = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  static const CLSID kBmp = {0x557cf400, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
    DeleteObject(bitmap);
    return fail("GDI+ 无法启动");
  }
  const std::wstring target = win::Wide(path);
  const std::wstring temp = target + L".tmp";
  Gdiplus::Status status = Gdiplus::GenericError;
  {
    Gdiplus::Bitmap image(bitmap, nullptr);
    status = image.Save(temp.c_str(), bmp ? &kBmp : &kPng, nullptr);
  }
  Gdiplus::GdiplusShutdown(token);
  DeleteObject(bitmap);
  if (status != Gdiplus::Ok) {
    DeleteFileW(temp.c_str());
    return fail("无法写入文件（GDI+ 错误 " + std::to_string(static_cast<int>(status)) + "）");
  }
  if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    DeleteFileW(temp.c_str());
    return fail("无法替换文件（错误 " + std::to_string(code) + "）");
  }
  return true;
}

// ---- The chart control --------------------------------------------------------

void ReplayChartView::Create(win::Parent parent, const win::Rect& rect, int id) {
  Control::Create(parent, win::detail::RegisterClassOnce(L"QvReplayChart", CS_HREDRAW | CS_VREDRAW, -1), "",
                  WS_VISIBLE, WS_EX_CLIENTEDGE, rect, id);
}

void ReplayChartView::SetChart(const ReplayChart* chart) {
  chart_ = chart;
  if (handle_) InvalidateRect(handle_, nullptr, FALSE);
}

std::optional<LRESULT> ReplayChartView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(handle_, &ps);
    RECT client;
    GetClientRect(handle_, &client);
    // Drawn off screen first, so that a redraw never flickers.
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(1, client.right), std::max<LONG>(1, client.bottom));
    HGDIOBJ old = SelectObject(mem, bitmap);
    static const ReplayChart kEmpty;
    DrawReplayChart(mem, client, chart_ ? *chart_ : kEmpty, dpi());
    BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    EndPaint(handle_, &ps);
    return 0;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

// ---- The window ----------------------------------------------------------------

TfrmreplayWin::TfrmreplayWin(std::string appFolder, HWND owner,
                             std::function<std::vector<policy::TPolicyRecord>()> monitors,
                             std::function<void()> flushTapes)
    : appFolder_(std::move(appFolder)),
      days_(appFolder_, std::move(flushTapes)),
      model_(days_, *this, std::move(monitors)) {
  win::DialogArgs args;
  args.title = Tfrmreplay::kCaption;
  args.size = {1000, 660};
  args.owner = owner;
  args.sizeable = true;
  args.minimizeBox = true;
  args.minSize = {640, 480};
  dialog_.Create(args);

  lblDay_.Create(dialog_, {.text = "交易日：", .rect = {8, 12, 50, 17}});
  cbDay_.Create(dialog_, {.rect = {60, 8, 150, 23}, .id = kCbDay});
  cbDay_.onChanged = [this] {
    if (syncing_) return;
    model_.CbDayChange(cbDay_.Selected());
    Sync();
  };
  lblCsv_.Create(dialog_, {.rect = {218, 12, 300, 17}, .id = kLblCsv, .ellipsis = true});
  btnAll_.Create(dialog_, {.text = "全选", .rect = {0, 8, 75, 23}, .id = kBtnAll});
  btnAll_.onClick = [this] {
    model_.BtnAllClick();
    Sync();
  };
  btnRun_.Create(dialog_, {.text = "开始回测", .rect = {0, 8, 85, 23}, .id = kBtnRun, .defaultButton = true});
  btnRun_.onClick = [this] {
    btnRun_.Enable(false);
    model_.BtnRunClick();
    btnRun_.Enable(true);
    Sync();
  };
  btnSaveChart_.Create(dialog_, {.text = "保存图表…", .rect = {0, 8, 85, 23}, .id = kBtnSaveChart});
  btnSaveChart_.onClick = [this] {
    model_.BtnSaveChartClick();
    Sync();
  };

  lblMonitors_.Create(dialog_, {.text = "回测的监控（勾选）：", .rect = {8, 40, 300, 17}});
  win::ListViewArgs monitorArgs;
  monitorArgs.id = kListMonitors;
  monitorArgs.checkBoxes = true;
  monitorArgs.subItemImages = false;
  monitorArgs.oddRowColor = kOddRowColour;
  const int monitorWidths[Tfrmreplay::kMonitorColumns] = {60, 70, 90, 100, 630};
  for (int c = 0; c < Tfrmreplay::kMonitorColumns; ++c)
    monitorArgs.columns.push_back({Tfrmreplay::MonitorCaption(c), monitorWidths[c]});
  listMonitors_.Create(dialog_, monitorArgs);
  listMonitors_.onCheckChanged = [this](int row, bool checked) { model_.ListMonitorsCheck(row, checked); };

  lblResults_.Create(dialog_, {.text = "回测结果：", .rect = {8, 0, 300, 17}});
  win::ListViewArgs resultArgs;
  resultArgs.id = kListResults;
  resultArgs.subItemImages = false;
  resultArgs.oddRowColor = kOddRowColour;
  const int resultWidths[Tfrmreplay::kResultColumns] = {45, 60, 75, 90, 55, 70, 70, kOrderColumnWidth, 100};
  for (int c = 0; c < Tfrmreplay::kResultColumns; ++c) {
    const bool right = c == Tfrmreplay::kResPrice;
    resultArgs.columns.push_back({Tfrmreplay::ResultCaption(c), resultWidths[c], right ? win::Align::Right : win::Align::Left});
  }
  listResults_.Create(dialog_, resultArgs);
  listResults_.onSelectionChanged = [this](int row) {
    if (syncing_) return;
    model_.ListResultsSelect(row);
    chart_.SetChart(&model_.Chart());
  };

  chart_.Create(dialog_, {8, 0, 400, 200}, kChart);
  chart_.SetChart(&model_.Chart());
  progress_.Create(dialog_, {.rect = {8, 0, 200, 14}, .id = kProgress});
  lblStatus_.Create(dialog_, {.rect = {8, 0, 600, 17}, .id = kLblStatus, .ellipsis = true});

  dialog_.onSize = [this](win::Size client) { Layout(client); };
  Layout(dialog_.ClientSize());
}

void TfrmreplayWin::Layout(win::Size client) {
  if (!lblStatus_) return;
  const int w = client.width, h = client.height;
  btnSaveChart_.Move({w - 8 - 85, 8, 85, 23});
  btnRun_.Move({w - 8 - 85 - 6 - 85, 8, 85, 23});
  btnAll_.Move({w - 8 - 85 - 6 - 85 - 6 - 75, 8, 75, 23});
  lblCsv_.Move({218, 12, std::max(40, w - 218 - 8 - 85 - 6 - 85 - 6 - 75 - 8), 17});
  // Monitors and results share the upper part; the chart takes the rest.
  const int listHeight = std::max(80, (h - 40 - 17 - 17 - 8 - 34) * 27 / 100);
  listMonitors_.Move({8, 57, w - 16, listHeight});
  lblResults_.Move({8, 57 + listHeight + 6, 300, 17});
  const int resultsTop = 57 + listHeight + 6 + 17;
  listResults_.Move({8, resultsTop, w - 16, listHeight});
  const int chartTop = resultsTop + listHeight + 6;
  chart_.Move({8, chartTop, w - 16, std::max(60, h - chartTop - 30)});
  progress_.Move({8, h - 22, 160, 14});
  lblStatus_.Move({176, h - 24, w - 184, 17});
}

void TfrmreplayWin::Show() {
  model_.FormShow();
  Sync();
  dialog_.ShowModeless();
}

void TfrmreplayWin::Sync() {
  syncing_ = true;
  cbDay_.SetItems(model_.DayItems());
  cbDay_.Select(model_.DayIndex());
  lblCsv_.SetText(model_.DayIndex() == static_cast<int>(model_.DayItems().size()) - 1 ? model_.CsvPath() : "");
  if (model_.MonitorsVersion() != shownMonitors_) {
    shownMonitors_ = model_.MonitorsVersion();
    listMonitors_.BeginUpdate();
    listMonitors_.Clear();
    for (size_t r = 0; r < model_.MonitorCount(); ++r) {
      const int row = listMonitors_.AddRow(model_.MonitorCell(r, 0));
      for (int c = 1; c < Tfrmreplay::kMonitorColumns; ++c) listMonitors_.SetCell(row, c, model_.MonitorCell(r, c));
      listMonitors_.SetChecked(row, model_.MonitorChecked(r));
    }
    listMonitors_.EndUpdate();
  }
  if (model_.ResultsVersion() != shownResults_) {
    shownResults_ = model_.ResultsVersion();
    listResults_.BeginUpdate();
    listResults_.Clear();
    for (size_t r = 0; r < model_.ResultCount(); ++r) {
      const int row = listResults_.AddRow(model_.ResultCell(r, 0));
      for (int c = 1; c < Tfrmreplay::kResultColumns; ++c) listResults_.SetCell(row, c, model_.ResultCell(r, c));
    }
    // An order with its price change is longer than the column: the whole
    // text shows, the list scrolls sideways.
    listResults_.FitColumnToCells(Tfrmreplay::kResOrder, kOrderColumnWidth);
    listResults_.EndUpdate();
  }
  if (model_.SelectedResult() >= 0 && listResults_.SelectedRow() != model_.SelectedResult())
    listResults_.Select(model_.SelectedResult());
  chart_.SetChart(&model_.Chart());
  lblStatus_.SetText(model_.Status());
  syncing_ = false;
}

std::optional<std::string> TfrmreplayWin::ChooseCsvFile() {
  return win::ChooseOpenFile(dialog_.Handle(), "选择 CSV 行情文件", "CSV 行情文件 (*.csv)|*.csv|所有文件 (*.*)|*.*",
                             "");
}

std::optional<std::string> TfrmreplayWin::ChooseChartFile() {
  return win::ChooseSaveFile(dialog_.Handle(), "保存图表", "PNG 图片 (*.png)|*.png|BMP 图片 (*.bmp)|*.bmp", "png");
}

bool TfrmreplayWin::SaveChartPicture(const std::string& path, std::string* error) {
  // The picture is the chart as the window shows it, at its size on screen.
  const RECT r = [&] {
    RECT client{};
    GetClientRect(chart_.Handle(), &client);
    return client;
  }();
  return SaveReplayChart(model_.Chart(), std::max<LONG>(r.right, 640), std::max<LONG>(r.bottom, 360), path, error);
}

bool TfrmreplayWin::Progress(size_t done, size_t total) {
  progress_.SetMax(1000);
  progress_.SetPosition(total ? static_cast<int>(done * 1000 / total) : 1000);
  return true;
}

}  // namespace app
