// The control layer against real windows under Wine: a gallery window with
// every control kind, worked through the messages a user's actions send,
// read back through the wrappers, and photographed for a look.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "win/all_win.h"

using namespace win;
using testing_support::SourcePath;
using testing_support::TempDir;

namespace {

constexpr COLORREF kOddRow = RGB(255, 251, 240);
constexpr int kMenuLogin = 101, kMenuLogout = 102, kMenuSound = 103, kMenuOrder = 110, kMenuTest = 111;
constexpr int kPopupStart = 201, kPopupStop = 202, kPopupRefresh = 203;
constexpr UINT kQuoteMessage = 0x463;

POINT Center(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
LPARAM PointParam(POINT p) { return MAKELPARAM(p.x, p.y); }

// Saves the screen area of a window as a 24-bit BMP file; returns the pixels
// (bottom-up rows) for colour checks.
std::vector<unsigned char> Screenshot(HWND window, const std::string& path, int& width, int& height) {
  RECT r;
  GetWindowRect(window, &r);
  width = r.right - r.left;
  height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  std::vector<unsigned char> pixels(static_cast<unsigned char*>(bits), static_cast<unsigned char*>(bits) + stride * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  std::ofstream out(std::filesystem::path(base::PathFromUtf8(path)), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
  out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
  return pixels;
}

COLORREF PixelAt(const std::vector<unsigned char>& pixels, int width, int height, int x, int y) {
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  const unsigned char* p = &pixels[stride * static_cast<size_t>(height - 1 - y) + static_cast<size_t>(x) * 3];
  return RGB(p[2], p[1], p[0]);
}

// A 16x16 32-bit icon of one colour, as the drawn pictures are.
HICON SolidIcon(COLORREF color) {
  std::vector<uint32_t> bgra(16 * 16, 0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color));
  std::vector<unsigned char> mask(2 * 16, 0);
  return CreateIcon(GetModuleHandleW(nullptr), 16, 16, 1, 32, mask.data(), reinterpret_cast<BYTE*>(bgra.data()));
}

// Every control kind in one window, laid out as the main window is.
struct Gallery {
  Window window;
  Menu menu{{{.caption = "登录[&L]", .items = {{.caption = "登录[&L]", .id = kMenuLogin},
                                               {.caption = "注销[&O]", .id = kMenuLogout, .enabled = false}}},
             {.caption = "工具[&T]", .items = {{.caption = "开启提示声音[&S]", .id = kMenuSound, .checked = true}}},
             {.caption = "委托", .id = kMenuOrder, .rightJustify = true},
             {.caption = "下单测试", .id = kMenuTest}},
            Menu::kBar};
  std::vector<HICON> icons{SolidIcon(RGB(0, 160, 0)), SolidIcon(RGB(200, 0, 0)), SolidIcon(RGB(0, 0, 200))};
  ImageList images{16};
  ToolBar toolbar;
  ListView list;
  NumericEdit price;
  ProgressBar activity;
  Splitter splitter;
  Marquee marquee;
  TabControl pages;
  RichEdit notice;
  Button reload;
  ListView shares;
  Label footer;
  GroupBox group;
  Edit code;
  CheckBox sound;
  Radio buy, sell;
  ComboBox direction;
  Label level;
  StatusBar status;
  Picture levelIcon;

  Gallery() {
    for (HICON icon : icons) images.AddIcon(icon);
    window.onCreate = [this] { Build(); };
    window.onSize = [this](Size client) { Layout(client); };
    window.Create(WindowArgs{.title = "控件一览 Gallery", .rect = {40, 40, 900, 600}, .minSize = {600, 400}});
    window.SetMenu(&menu);
  }
  ~Gallery() {
    for (HICON icon : icons) DestroyIcon(icon);
  }

  void Build() {
    Parent w = window;
    toolbar.Create(w, {.buttons = {{.id = 301, .text = "启动所有监控", .image = 0, .tooltip = "启动"},
                                   {.id = 302, .text = "停止所有监控", .image = 1},
                                   {.id = 303, .text = "添加移动止盈", .image = 2},
                                   {.id = 304, .text = "刷新", .image = 0, .enabled = false}},
                       .images = &images});
    list.Create(w, {.columns = {{"序号", 40}, {"启动/策略", 85, Align::Center}, {"代码", 55, Align::Center},
                                {"名称", 80}, {"设定价", 70, Align::Right}, {"当前价", 70, Align::Right}, {"操作", 300}},
                    .oddRowColor = kOddRow});
    list.SetImageList(&images);
    price.Create(list, {.value = 10, .decimals = 3, .step = 0.01, .min = 0, .max = 10000, .rect = {0, 0, 70, 18},
                        .spinButtons = false, .border = false});
    price.Show(false);
    activity.Create(w, {.max = 10, .gradient = true, .parts = true, .tooltip = "自动盯盘活动状态提示"});
    splitter.Create(w, {});
    marquee.Create(w, {.text = "未关联下单软件！请登录下单软件后，点击此界面上的“刷新”按钮或者重新登录进行关联。 ",
                       .intervalMs = 50});
    pages.Create(w, {.pages = {"公告栏", "晒股信息"}});
    notice.Create(pages.Page(0), {.rect = {4, 4, 300, 100}});
    notice.SetText("今日公告：系统运行正常。");
    reload.Create(pages.Page(0), {.text = "刷新", .rect = {310, 4, 75, 23}});
    shares.Create(pages.Page(1), {.rect = {4, 4, 300, 80}, .columns = {{"代码", 60}, {"名称", 80}}});
    footer.Create(pages.Page(1), {.text = "本项功能不构成买卖建议，凭此买卖，风险自担。", .rect = {4, 88, 300, 15},
                                  .color = RGB(255, 0, 0)});
    group.Create(w, {.text = "策略设置", .rect = {0, 0, 250, 100}});
    code.Create(w, {.upperCase = true, .maxLength = 6, .tooltip = "证券代码"});
    sound.Create(w, {.text = "开启提示声音"});
    buy.Create(w, {.text = "买入", .firstInGroup = true});
    sell.Create(w, {.text = "卖出", .checked = true});
    direction.Create(w, {.items = {"上涨", "下跌", "上涨中回落", "下跌中反弹"}, .selected = 1});
    level.Create(w, {.text = "0级", .bold = true, .color = RGB(0, 0, 160), .handCursor = true});
    status.Create(w, {.panes = {{.width = 20},
                                {.width = 120, .text = "未登录", .tooltip = true},
                                {.width = 100, .text = "自动关机：无"},
                                {.width = kRest, .text = "已关联：华泰证券网上股票交易系统5.0（窗口句柄 0x1234）", .tooltip = true},
                                {.width = 90, .text = "延时 12 ms"},
                                {.width = 80, .text = "12:00:00"},
                                {.width = 70}}});
    levelIcon.Create(status, {.rect = {0, 0, 16, 16}});
    levelIcon.SetIcon(icons[2]);
  }

  // Toolbar at the top, status bar at the bottom, the bottom panel above it,
  // the list and the side controls in between.
  void Layout(Size client) {
    toolbar.Layout();
    status.Layout();
    int top = toolbar.dpi().Unscale(toolbar.Height());
    int bottom = client.height - status.dpi().Unscale(status.Height());
    int panel = 150;
    int side = 260;
    list.Move({0, top, client.width - side, bottom - panel - 12 - top});
    activity.Move({0, bottom - panel - 12, client.width - side, 8});
    splitter.Move({0, bottom - panel - 4, client.width, 4});
    marquee.Move({0, bottom - panel, client.width, 18});
    pages.Move({0, bottom - panel + 18, client.width, panel - 18});
    int x = client.width - side + 5;
    group.Move({x, top + 2, 250, 160});
    code.Move({x + 10, top + 22, 100, 21});
    sound.Move({x + 10, top + 50, 200, 19});
    buy.Move({x + 10, top + 74, 80, 19});
    sell.Move({x + 100, top + 74, 80, 19});
    direction.Move({x + 10, top + 100, 150, 23});
    level.Move({x + 10, top + 132, 100, 17});
    RECT pane = status.PaneRect(6);
    levelIcon.MovePixels({pane.left + 4, pane.top + 1, pane.left + 4 + levelIcon.dpi().Scale(16), pane.top + 1 + levelIcon.dpi().Scale(16)});
  }

  void FillList(int rows) {
    list.BeginUpdate();
    list.Clear();
    list.Reserve(rows);
    char text[64];
    for (int i = 0; i < rows; ++i) {
      int row = list.AddRow(std::to_string(i + 1), i % 3, 1000 + i);
      list.SetCell(row, 1, i % 2 ? "价位/卖出" : "止盈/卖出");
      list.SetCellImage(row, 1, i % 2);
      snprintf(text, sizeof(text), "%06d", 600000 + i);
      list.SetCell(row, 2, text);
      list.SetCell(row, 3, "浦发银行");
      list.SetCell(row, 4, "10.000");
      list.SetCell(row, 5, "10.120");
      list.SetCell(row, 6, "当价格上涨到10.000元时，以即时成交价卖出100股");
    }
    list.EndUpdate();
  }
};

class WinControls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App::Init(); }
  static void Pump(int ms = 50) {
    PumpUntil([] { return false; }, ms);
  }
};

TEST_F(WinControls, UiFontHasChineseGlyphs) {
  HFONT font = UiFont(Dpi::System());
  ASSERT_NE(font, nullptr);
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font);
  WORD glyphs[4] = {};
  GetGlyphIndicesW(screen, L"委托刷新", 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  for (WORD glyph : glyphs) EXPECT_NE(glyph, 0xFFFF) << UiFontFace();
  std::printf("UI font: %s\n", UiFontFace().c_str());
}

TEST_F(WinControls, GalleryMainWindowWorkedAsAUser) {
  Gallery g;
  g.window.ShowNormal();
  g.FillList(12);
  Pump(200);

  // Menu bar: state by id, commands reach onCommand, the right-end items too.
  std::vector<int> commands;
  g.menu.onCommand = [&](int id) { commands.push_back(id); };
  EXPECT_TRUE(g.menu.Checked(kMenuSound));
  EXPECT_FALSE(g.menu.Enabled(kMenuLogout));
  g.menu.SetEnabled(kMenuLogout, true);
  g.menu.SetChecked(kMenuSound, false);
  EXPECT_TRUE(g.menu.Enabled(kMenuLogout));
  EXPECT_FALSE(g.menu.Checked(kMenuSound));
  EXPECT_EQ(g.menu.Caption(kMenuOrder), "委托");
  SendMessageW(g.window.Handle(), WM_COMMAND, MAKEWPARAM(kMenuOrder, 0), 0);
  SendMessageW(g.window.Handle(), WM_COMMAND, MAKEWPARAM(kMenuLogin, 0), 0);
  EXPECT_EQ(commands, (std::vector<int>{kMenuOrder, kMenuLogin}));
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_FTYPE;
  GetMenuItemInfoW(GetMenu(g.window.Handle()), 2, TRUE, &info);
  EXPECT_TRUE(info.fType & MFT_RIGHTJUSTIFY);

  // Toolbar: texts, a click, a disabled button that does nothing.
  std::vector<int> clicks;
  g.toolbar.onClick = [&](int id) { clicks.push_back(id); };
  EXPECT_EQ(g.toolbar.ButtonCount(), 4);
  EXPECT_EQ(g.toolbar.ButtonText(301), "启动所有监控");
  g.toolbar.ClickButton(302);
  g.toolbar.ClickButton(304);
  EXPECT_FALSE(g.toolbar.ButtonEnabled(304));
  g.toolbar.SetButtonEnabled(304, true);
  g.toolbar.ClickButton(304);
  EXPECT_EQ(clicks, (std::vector<int>{302, 304}));

  // List: a click in the set-price cell reports row and column; the
  // fine-tune field laid over the cell steps with the wheel and the keys and
  // reports Enter and the lost focus.
  std::vector<ListHit> clicked, doubled;
  POINT rightScreen{};
  g.list.onClick = [&](ListHit hit, POINT) { clicked.push_back(hit); };
  g.list.onDoubleClick = [&](ListHit hit, POINT) { doubled.push_back(hit); };
  g.list.onRightClick = [&](ListHit hit, POINT screen) {
    EXPECT_EQ(hit.row, 1);
    rightScreen = screen;
  };
  RECT cell = g.list.CellRect(2, 4);
  RECT row = g.list.RowRect(2);
  EXPECT_GT(cell.left, row.left);
  EXPECT_EQ(cell.top, row.top);
  int columnsBefore = 0;
  for (int c = 0; c < 4; ++c) columnsBefore += g.list.ColumnWidthPixels(c);
  EXPECT_NEAR(cell.left, columnsBefore, 2);
  PostMessageW(g.list.Handle(), WM_LBUTTONUP, 0, PointParam(Center(cell)));
  SendMessageW(g.list.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, PointParam(Center(cell)));
  Pump();
  ASSERT_FALSE(clicked.empty());
  EXPECT_EQ(clicked.back().row, 2);
  EXPECT_EQ(clicked.back().column, 4);
  EXPECT_EQ(g.list.SelectedRow(), 2);
  EXPECT_EQ(g.list.FocusedRow(), 2);
  EXPECT_EQ(g.list.RowData(2), 1002);
  EXPECT_EQ(g.list.FindRowByData(1005), 5);

  g.price.MovePixels({cell.left + 2, cell.top + 1, cell.right, cell.top + 1 + g.price.dpi().Scale(18)});
  g.price.SetText(g.list.Cell(2, 4));
  g.price.Enable(true);
  g.price.Show(true);
  g.price.Focus();
  g.price.SelectAll();
  int entered = 0, lost = 0;
  g.price.onEnter = [&] { ++entered; };
  g.price.onFocusLost = [&] { ++lost; };
  SendMessageW(g.price.Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(g.price.Text(), "10.010");
  SendMessageW(g.price.Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
  EXPECT_EQ(g.price.Text(), "9.990");
  SendMessageW(g.price.Handle(), WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(g.price.Text(), "10.000");
  ASSERT_TRUE(g.price.Value().has_value());
  EXPECT_DOUBLE_EQ(*g.price.Value(), 10.0);
  // Enter goes through the program's loop, past the dialog keyboard handling.
  PostMessageW(g.price.Handle(), WM_KEYDOWN, VK_RETURN, 1);
  Pump();
  EXPECT_EQ(entered, 1);
  g.code.Focus();
  EXPECT_EQ(lost, 1);
  g.price.SetText("abc");
  EXPECT_FALSE(g.price.Value().has_value());

  SendMessageW(g.list.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, PointParam(Center(g.list.CellRect(3, 6))));
  ASSERT_EQ(doubled.size(), 1u);
  EXPECT_EQ(doubled[0].row, 3);
  EXPECT_EQ(doubled[0].column, 6);
  RECT second = g.list.CellRect(1, 2);
  PostMessageW(g.list.Handle(), WM_RBUTTONUP, 0, PointParam(Center(second)));
  SendMessageW(g.list.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, PointParam(Center(second)));
  Pump();
  POINT expected = Center(second);
  ClientToScreen(g.list.Handle(), &expected);
  EXPECT_EQ(rightScreen.x, expected.x);
  EXPECT_EQ(rightScreen.y, expected.y);
  ListHit none = g.list.HitTest({5, g.list.RowRect(11).bottom + 30});
  EXPECT_FALSE(none);
  EXPECT_EQ(g.list.Cell(3, 3), "浦发银行");
  EXPECT_EQ(g.list.CellImage(1, 1), 1);
  EXPECT_EQ(g.list.CellImage(2, 0), 2);

  // Side controls.
  int changed = 0;
  g.code.onChanged = [&] { ++changed; };
  g.code.SetText("");
  for (wchar_t c : std::wstring(L"600000x")) SendMessageW(g.code.Handle(), WM_CHAR, c, 1);
  EXPECT_EQ(g.code.Text(), "600000");  // six characters at most
  EXPECT_GE(changed, 6);
  int checks = 0;
  g.sound.onClick = [&] { ++checks; };
  SendMessageW(g.sound.Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(g.sound.Checked());
  EXPECT_EQ(checks, 1);
  SendMessageW(g.buy.Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(g.buy.Checked());
  EXPECT_FALSE(g.sell.Checked());
  g.sell.SetChecked(true);
  EXPECT_FALSE(g.buy.Checked());
  int picks = 0;
  g.direction.onChanged = [&] { ++picks; };
  EXPECT_EQ(g.direction.Selected(), 1);
  EXPECT_EQ(g.direction.ItemText(3), "下跌中反弹");
  SendMessageW(g.direction.Handle(), CB_SETCURSEL, 2, 0);
  SendMessageW(g.window.Handle(), WM_COMMAND, MAKEWPARAM(g.direction.Id(), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(g.direction.Handle()));
  EXPECT_EQ(picks, 1);
  EXPECT_EQ(g.direction.Selected(), 2);
  int levelClicks = 0, enters = 0;
  g.level.onClick = [&] { ++levelClicks; };
  g.level.onMouseEnter = [&] { ++enters; };
  SendMessageW(g.level.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  SendMessageW(g.level.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  SendMessageW(g.level.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  EXPECT_EQ(levelClicks, 1);
  EXPECT_EQ(enters, 1);
  g.level.SetText("3级 12.50 h");
  EXPECT_EQ(g.level.Text(), "3级 12.50 h");

  // Status bar: the rest pane takes what the fixed ones leave, hovering
  // panes show their whole text, a click names the pane, and a picture on
  // the bar gets its clicks through the bar.
  RECT bar;
  GetClientRect(g.status.Handle(), &bar);
  RECT rest = g.status.PaneRect(3);
  int fixed = 0;
  for (int w : {20, 120, 100, 90, 80, 70}) fixed += g.status.dpi().Scale(w);
  EXPECT_NEAR(rest.right - rest.left, bar.right - fixed, 4);
  EXPECT_EQ(g.status.PaneText(2), "自动关机：无");
  EXPECT_EQ(g.status.PaneText(3), "已关联：华泰证券网上股票交易系统5.0（窗口句柄 0x1234）");
  EXPECT_EQ(g.status.PaneText(5), "12:00:00");
  g.status.SetPaneText(1, "已登录：张三");
  EXPECT_EQ(g.status.PaneText(1), "已登录：张三");
  EXPECT_EQ(g.status.PaneTooltip(1), "已登录：张三");
  EXPECT_EQ(g.status.PaneTooltip(3), "已关联：华泰证券网上股票交易系统5.0（窗口句柄 0x1234）");
  EXPECT_EQ(g.status.PaneTooltip(5), "");
  std::vector<int> paneClicks;
  g.status.onPaneClick = [&](int pane) { paneClicks.push_back(pane); };
  NMMOUSE mouse{};
  mouse.hdr = {g.status.Handle(), static_cast<UINT_PTR>(g.status.Id()), static_cast<UINT>(NM_CLICK)};
  mouse.dwItemSpec = 5;
  mouse.pt = Center(g.status.PaneRect(5));
  SendMessageW(g.window.Handle(), WM_NOTIFY, static_cast<WPARAM>(g.status.Id()), reinterpret_cast<LPARAM>(&mouse));
  SendMessageW(g.status.Handle(), WM_LBUTTONUP, 0, PointParam(Center(g.status.PaneRect(4))));
  EXPECT_EQ(paneClicks, (std::vector<int>{5, 4}));
  int iconClicks = 0;
  g.levelIcon.onClick = [&] { ++iconClicks; };
  SendMessageW(g.levelIcon.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(iconClicks, 1);

  // Tabs: the second tab hides and comes back; the user picks a page.
  EXPECT_EQ(g.pages.Active(), 0);
  EXPECT_TRUE(g.pages.Page(0).Visible());
  EXPECT_FALSE(g.pages.Page(1).Visible());
  g.pages.ShowTab(1, false);
  EXPECT_EQ(SendMessageW(g.pages.Handle(), TCM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(g.pages.TabIndexOf(1), -1);
  g.pages.ShowTab(1, true);
  EXPECT_EQ(SendMessageW(g.pages.Handle(), TCM_GETITEMCOUNT, 0, 0), 2);
  int chosen = -1;
  g.pages.onChanged = [&](int page) { chosen = page; };
  SendMessageW(g.pages.Handle(), TCM_SETCURSEL, 1, 0);
  NMHDR change{g.pages.Handle(), static_cast<UINT_PTR>(g.pages.Id()), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(g.window.Handle(), WM_NOTIFY, static_cast<WPARAM>(g.pages.Id()), reinterpret_cast<LPARAM>(&change));
  EXPECT_EQ(chosen, 1);
  EXPECT_TRUE(g.pages.Page(1).Visible());
  EXPECT_FALSE(g.pages.Page(0).Visible());
  RECT pageRect = g.pages.PageRectPixels();
  RECT pageBounds = g.pages.Page(1).BoundsPixels();
  EXPECT_EQ(pageBounds.left, pageRect.left);
  EXPECT_EQ(pageBounds.bottom, pageRect.bottom);
  g.pages.SetActive(0);
  EXPECT_EQ(g.notice.Text(), "今日公告：系统运行正常。");

  // The activity bar and the marquee.
  for (int i = 0; i < 5; ++i) g.activity.Step();
  EXPECT_EQ(g.activity.Position(), 5);
  g.activity.Step(20);
  EXPECT_EQ(g.activity.Position(), 10);
  g.activity.SetPosition(6);
  g.marquee.Start();
  EXPECT_TRUE(PumpUntil([&] { return g.marquee.Offset() >= 5; }, 3000));
  g.marquee.Stop();
  int stopped = g.marquee.Offset();
  Pump(200);
  EXPECT_EQ(g.marquee.Offset(), stopped);
  g.marquee.Advance();
  g.marquee.Advance();

  // The splitter reports the drag in 96-dpi units.
  int dragged = 0, ended = 0;
  g.splitter.onDrag = [&](int delta) { dragged += delta; };
  g.splitter.onDragEnd = [&] { ++ended; };
  RECT split;
  GetWindowRect(g.splitter.Handle(), &split);
  POINT grab = Center(split);
  if (SetCursorPos(grab.x, grab.y)) {
    SendMessageW(g.splitter.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    SetCursorPos(grab.x, grab.y - g.splitter.dpi().Scale(30));
    SendMessageW(g.splitter.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 1));
    SendMessageW(g.splitter.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 1));
    EXPECT_EQ(dragged, -30);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(g.splitter.Dragging());
  }

  // A look at the whole window: Chinese texts, the gradient over the filled
  // part of the activity bar, odd rows in their colour.
  g.list.Select(-1);
  g.price.Show(false);
  g.window.Activate();
  Pump(300);
  std::filesystem::create_directories(base::PathFromUtf8(SourcePath("build/test-logs")));
  int width = 0, height = 0;
  auto pixels = Screenshot(g.window.Handle(), SourcePath("build/test-logs/win_controls_gallery.bmp"), width, height);
  RECT windowRect, barRect;
  GetWindowRect(g.window.Handle(), &windowRect);
  GetWindowRect(g.activity.Handle(), &barRect);
  int barY = (barRect.top + barRect.bottom) / 2 - windowRect.top;
  int barLeft = barRect.left - windowRect.left + 4;
  int barWidth = barRect.right - barRect.left;
  COLORREF start = PixelAt(pixels, width, height, barLeft, barY);
  COLORREF late = PixelAt(pixels, width, height, barRect.left - windowRect.left + barWidth * 55 / 100, barY);
  COLORREF empty = PixelAt(pixels, width, height, barRect.left - windowRect.left + barWidth * 85 / 100, barY);
  EXPECT_GT(GetGValue(start), 200);
  EXPECT_LT(GetRValue(start), 60);
  EXPECT_GT(GetRValue(late), GetRValue(start) + 60);
  EXPECT_EQ(empty, GetSysColor(COLOR_WINDOW));
  RECT odd = g.list.CellRect(1, 4);  // a right-aligned price: its left part is background
  POINT oddPoint{odd.left + 4, (odd.top + odd.bottom) / 2};
  ClientToScreen(g.list.Handle(), &oddPoint);
  EXPECT_EQ(PixelAt(pixels, width, height, oddPoint.x - windowRect.left, oddPoint.y - windowRect.top), kOddRow);
}

TEST_F(WinControls, ListRebuildOf10000RowsColoursRowsAndDrawsOverCells) {
  Gallery g;
  g.window.ShowNormal();
  Pump(100);
  std::vector<int> coloured;
  g.list.rowColor = [&](int row) {
    coloured.push_back(row);
    return row % 2 ? kOddRow : kDefaultColor;
  };
  int painted = 0;
  g.list.onPaint = [&](HDC dc) {
    ++painted;
    RECT frame = g.list.CellRect(0, 5);
    InflateRect(&frame, -2, -1);
    FrameRect(dc, &frame, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  };
  auto t0 = std::chrono::steady_clock::now();
  g.FillList(10000);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  std::printf("10000-row rebuild with drawing held: %lld ms\n", static_cast<long long>(ms));
  EXPECT_EQ(g.list.RowCount(), 10000);
  EXPECT_EQ(g.list.Cell(9999, 0), "10000");
  EXPECT_EQ(g.list.Cell(9999, 2), "609999");
  // Nothing was painted while the rows went in.
  EXPECT_TRUE(coloured.empty());
  UpdateWindow(g.list.Handle());
  Pump(100);
  EXPECT_GT(painted, 0);
  ASSERT_FALSE(coloured.empty());
  EXPECT_NE(std::find(coloured.begin(), coloured.end(), 0), coloured.end());
  EXPECT_NE(std::find(coloured.begin(), coloured.end(), 1), coloured.end());
  EXPECT_LT(*std::max_element(coloured.begin(), coloured.end()), 100);  // only the rows on the screen
  coloured.clear();
  g.list.EnsureVisible(9999);
  EXPECT_TRUE(PumpUntil([&] { return !coloured.empty() && *std::max_element(coloured.begin(), coloured.end()) > 9900; }, 3000));
  EXPECT_GT(g.list.TopRow(), 9900);
  g.list.Clear();
  EXPECT_EQ(g.list.RowCount(), 0);
}

TEST_F(WinControls, OwnerDataListAsksOnlyForTheRowsShown) {
  Window window(WindowArgs{.title = "触发记录查看", .rect = {60, 60, 700, 400}});
  ListView log(window, {.rect = {0, 0, 700, 400},
                        .columns = {{"序号", 40}, {"触发时间", 110}, {"代码", 55}, {"备注", 400}},
                        .ownerData = true,
                        .oddRowColor = kOddRow});
  std::vector<std::pair<int, int>> asked;
  log.cellText = [&](int row, int column) {
    asked.emplace_back(row, column);
    return column == 0 ? std::to_string(row) : "行" + std::to_string(row) + "列" + std::to_string(column);
  };
  log.SetVirtualRowCount(100000);
  window.ShowNormal();
  Pump(200);
  EXPECT_EQ(log.RowCount(), 100000);
  ASSERT_FALSE(asked.empty());
  int highest = 0;
  for (auto [row, column] : asked) highest = std::max(highest, row);
  EXPECT_LT(highest, 100);
  EXPECT_EQ(log.Cell(99999, 3), "行99999列3");
  // The text the list itself shows for a row it displays.
  wchar_t text[64] = {};
  LVITEMW item{};
  item.iSubItem = 2;
  item.pszText = text;
  item.cchTextMax = 64;
  SendMessageW(log.Handle(), LVM_GETITEMTEXTW, 5, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(text, L"行5列2");
  log.Clear();
  EXPECT_EQ(log.RowCount(), 0);
}

TEST_F(WinControls, ModalDialogKeepsTheMainWindowsMessagesAndClosesOnEscape) {
  Window main(WindowArgs{.title = "主窗口", .rect = {50, 50, 400, 300}});
  int quotes = 0;
  main.onMessage = [&](UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message != kQuoteMessage) return std::nullopt;
    ++quotes;
    return 0;
  };
  main.ShowNormal();
  Dialog dialog(DialogArgs{.title = "添加按价位监视", .size = {300, 160}, .owner = main.Handle()});
  Edit field(dialog, {.text = "600000", .rect = {10, 10, 120, 21}});
  Button ok(dialog, {.text = "确定[&O]", .rect = {120, 120, 75, 23}});
  int shown = 0;
  bool ownerDisabled = false;
  Timer step(30);
  int phase = 0;
  dialog.onShow = [&] {
    ++shown;
    field.Focus();
  };
  // What happens while the dialog runs: quotes arrive, then the user presses Esc.
  step.onTick = [&] {
    if (phase == 0) {
      ownerDisabled = !IsWindowEnabled(main.Handle());
      PostMessageW(main.Handle(), kQuoteMessage, 0x3F001234, 0);
      PostMessageW(main.Handle(), kQuoteMessage, 0x3F001234, 0);
    } else if (phase == 1) {
      PostMessageW(field.Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    }
    ++phase;
  };
  step.Start();
  EXPECT_EQ(dialog.ShowModal(), IDCANCEL);
  step.Stop();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(quotes, 2);
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));
  EXPECT_FALSE(dialog.Visible());
  ASSERT_TRUE(IsWindow(dialog.Handle()));  // kept for the next use

  // Enter on the default button ends it with the button's result; a close
  // the view refuses keeps it open.
  ok.onClick = [&] { dialog.EndModal(IDOK); };
  dialog.SetDefaultButton(ok.Id());
  bool refuse = true;
  dialog.onClose = [&](bool& cancel) { cancel = refuse; };
  phase = 0;
  step.onTick = [&] {
    if (phase == 0) SendMessageW(dialog.Handle(), WM_CLOSE, 0, 0);
    if (phase == 1) {
      EXPECT_TRUE(dialog.Visible());
      PostMessageW(field.Handle(), WM_KEYDOWN, VK_RETURN, 1);
    }
    ++phase;
  };
  step.Start();
  EXPECT_EQ(dialog.ShowModal(), IDOK);
  step.Stop();
  EXPECT_EQ(shown, 2);
}

TEST_F(WinControls, BoxesAreAnsweredAsAUserWould) {
  Window main(WindowArgs{.title = "主窗口", .rect = {50, 50, 300, 200}});
  main.ShowNormal();
  Timer answer(50);
  // The "show again" box: the user ticks the box and presses OK.
  bool ticked = false;
  answer.onTick = [&] {
    HWND box = FindWindowW(L"QvWindow", L"提示");
    if (ticked || !box || !IsWindowVisible(box)) return;
    ticked = true;
    HWND check = FindWindowExW(box, nullptr, WC_BUTTONW, L"不再显示");
    SendMessageW(check, BM_CLICK, 0, 0);
    PostMessageW(check, WM_KEYDOWN, VK_RETURN, 1);
  };
  answer.Start();
  bool checked = false;
  ShowInfoWithCheck(main.Handle(), "交易软件已经关联。\n下单前请确认价格。", "提示", "不再显示", checked);
  answer.Stop();
  EXPECT_TRUE(checked);
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));

  answer.onTick = [&] {
    HWND box = FindWindowW(L"#32770", L"提示");
    if (box) PostMessageW(box, WM_COMMAND, IDYES, 0);
  };
  answer.Start();
  EXPECT_TRUE(AskYesNo(main.Handle(), "您确定要清空日志吗？", "提示"));
  answer.Stop();
}

TEST_F(WinControls, AppWideKeyActsAnywhereAndPopupMenuReturnsTheChoice) {
  Window main(WindowArgs{.title = "主窗口", .rect = {50, 50, 300, 200}});
  Edit field(main, {.rect = {10, 10, 100, 21}});
  int f12 = 0, fieldKeys = 0;
  App::SetKey(VK_F12, [&] { ++f12; });
  field.onKeyDown = [&](UINT) {
    ++fieldKeys;
    return false;
  };
  main.ShowNormal();
  field.Focus();
  PostMessageW(field.Handle(), WM_KEYDOWN, VK_F12, 1);
  PostMessageW(field.Handle(), WM_KEYDOWN, VK_F12, 1 | (1 << 30));  // held: no repeat
  PostMessageW(field.Handle(), WM_KEYDOWN, 'A', 1);
  Pump(100);
  App::SetKey(VK_F12, nullptr);
  EXPECT_EQ(f12, 1);
  EXPECT_EQ(fieldKeys, 1);

  Menu popup({{.caption = "启动[&B]", .id = kPopupStart},
              {.caption = "停止[&S]", .id = kPopupStop, .enabled = false},
              MenuSeparator(),
              {.caption = "刷新[&F]", .id = kPopupRefresh}},
             Menu::kPopup);
  int dispatched = 0;
  popup.onCommand = [&](int id) { dispatched = id; };
  // The user types the accelerator letter of "刷新[&F]"; a guard ends the
  // menu should the keys not arrive.
  Timer keys(100);
  int ticks = 0;
  keys.onTick = [&] {
    if (++ticks == 1) {
      keybd_event('F', 0, 0, 0);
      keybd_event('F', 0, KEYEVENTF_KEYUP, 0);
    } else if (ticks > 30) {
      EndMenu();
    }
  };
  keys.Start();
  RECT r;
  GetWindowRect(main.Handle(), &r);
  int chosen = popup.Track(main.Handle(), {r.left + 40, r.top + 60});
  keys.Stop();
  EXPECT_EQ(chosen, kPopupRefresh);
  EXPECT_EQ(dispatched, kPopupRefresh);
}

TEST_F(WinControls, TrayIconAnimatesAndReportsClicks) {
  std::vector<HICON> frames{SolidIcon(RGB(255, 0, 0)), SolidIcon(RGB(0, 255, 0)), SolidIcon(RGB(0, 0, 255))};
  {
    TrayIcon tray({.icon = frames[0], .tip = "Tarvolen-Merrowick"});
    bool added = tray.Add();
    std::printf("tray icon added: %s\n", added ? "yes" : "no (no notification area)");
    if (added) {
      EXPECT_TRUE(tray.ShowBalloon("系统消息", "今日维护"));
    } else {
      EXPECT_FALSE(tray.ShowBalloon("系统消息", "今日维护"));
    }
    EXPECT_EQ(tray.BalloonText(), "今日维护");
    tray.SetAnimation(frames, 100);  // slow enough that no frame goes unseen on a busy machine
    std::vector<int> seen;
    tray.StartAnimation();
    EXPECT_TRUE(PumpUntil([&] {
      if (seen.empty() || seen.back() != tray.Frame()) seen.push_back(tray.Frame());
      return seen.size() >= 4;
    }, 3000));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 0}));
    tray.StopAnimation();
    EXPECT_FALSE(tray.Animating());
    EXPECT_EQ(tray.Frame(), 0);
    EXPECT_EQ(tray.CurrentIcon(), frames[0]);

    int left = 0, balloon = 0;
    POINT right{-1, -1};
    tray.onLeftClick = [&] { ++left; };
    tray.onBalloonClick = [&] { ++balloon; };
    tray.onRightClick = [&](POINT screen) { right = screen; };
    const UINT callback = WM_APP + 0x52;
    SendMessageW(tray.WindowHandle(), callback, 1, WM_LBUTTONUP);
    SendMessageW(tray.WindowHandle(), callback, 1, NIN_BALLOONUSERCLICK);
    SendMessageW(tray.WindowHandle(), callback, 1, WM_RBUTTONUP);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(balloon, 1);
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(right.x, cursor.x);
    // A restarted task bar gets the icon again.
    SendMessageW(tray.WindowHandle(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(tray.Added(), added);
  }
  for (HICON icon : frames) DestroyIcon(icon);
}

TEST_F(WinControls, TimersTickUntilStopped) {
  Timer fast(15), slow(400);
  int fastTicks = 0, slowTicks = 0;
  fast.onTick = [&] { ++fastTicks; };
  slow.onTick = [&] { ++slowTicks; };
  fast.Start();
  slow.Start();
  EXPECT_TRUE(PumpUntil([&] { return fastTicks >= 5; }, 3000));
  fast.Stop();
  EXPECT_FALSE(fast.Enabled());
  int atStop = fastTicks;
  Pump(100);
  EXPECT_EQ(fastTicks, atStop);
  EXPECT_EQ(slowTicks, 0);
  slow.SetInterval(10);
  EXPECT_TRUE(PumpUntil([&] { return slowTicks >= 2; }, 3000));
}

TEST_F(WinControls, GuiQueueKeepsEachThreadsOrderLosesNothingAndDropsAfterTheEnd) {
  auto queue = std::make_unique<GuiQueue>();
  constexpr int kThreads = 4, kJobs = 2000;
  std::vector<std::vector<int>> received(kThreads);
  DWORD gui = GetCurrentThreadId();
  std::atomic<bool> wrongThread{false};
  std::vector<std::thread> workers;
  GuiPoster poster = queue->Poster();
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kJobs; ++i) {
        poster.Post([&, t, i] {
          if (GetCurrentThreadId() != gui) wrongThread = true;
          received[static_cast<size_t>(t)].push_back(i);
        });
      }
    });
  }
  auto total = [&] {
    size_t n = 0;
    for (auto& r : received) n += r.size();
    return n;
  };
  EXPECT_TRUE(PumpUntil([&] { return total() == kThreads * kJobs; }, 10000));
  for (auto& w : workers) w.join();
  Pump(50);
  EXPECT_FALSE(wrongThread);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(received[static_cast<size_t>(t)].size(), static_cast<size_t>(kJobs));
    for (int i = 0; i < kJobs; ++i) ASSERT_EQ(received[static_cast<size_t>(t)][static_cast<size_t>(i)], i);
  }
  // A closure that throws does not stop the ones after it.
  int after = 0;
  queue->Post([] { throw std::runtime_error("failed job"); });
  queue->Post([&] { ++after; });
  EXPECT_TRUE(PumpUntil([&] { return after == 1; }, 2000));

  int late = 0;
  queue->Post([&] { ++late; });  // still queued when the queue goes
  queue.reset();
  std::thread worker([&] { EXPECT_FALSE(poster.Post([&] { ++late; })); });
  worker.join();
  Pump(100);
  EXPECT_EQ(late, 0);
}

TEST_F(WinControls, RichEditLoadsHelpTextAndKeepsItsTextWhenTheFileIsMissing) {
  TempDir dir;
  std::string rtf = dir.File("MonitorPrice.rtf");
  {
    std::ofstream out(std::filesystem::path(base::PathFromUtf8(rtf)), std::ios::binary);
    out << "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}"
           "\\f0\\fs18 \\b Price monitor\\b0\\par \\u25353?\\u20215?\\u20301?\\u30417?\\u25511?\\par}";
  }
  Window window(WindowArgs{.title = "帮助", .rect = {70, 70, 300, 200}});
  RichEdit help(window, {.rect = {0, 0, 300, 200}});
  window.ShowNormal();
  ASSERT_TRUE(help.LoadRtfFile(rtf));
  std::string text = help.Text();
  EXPECT_NE(text.find("Price monitor"), std::string::npos) << text;
  EXPECT_NE(text.find("按价位监控"), std::string::npos) << text;
  EXPECT_FALSE(help.LoadRtfFile(dir.File("missing.rtf")));
  EXPECT_NE(help.Text().find("按价位监控"), std::string::npos);
  help.SetText("帮助文件缺失。");
  EXPECT_EQ(help.Text(), "帮助文件缺失。");
}

TEST_F(WinControls, ProgressWindowIsBorderlessTopMostHalfTransparentAndCentred) {
  Window main(WindowArgs{.title = "主窗口", .rect = {100, 100, 600, 400}});
  main.ShowNormal();
  Window progress(WindowArgs{.title = "", .rect = {0, 0, 334, 29}, .owner = main.Handle(), .borderless = true,
                             .toolWindow = true, .topMost = true, .alpha = 128});
  ProgressBar bar(progress, {.rect = {0, 0, 334, 29}, .max = 10});
  Label text(progress, {.text = "正在关联下单软件……", .rect = {8, 7, 318, 15}, .align = Align::Center});
  progress.CenterOn(main.Handle());
  progress.ShowNormal();
  Pump(100);
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(progress.Handle(), nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 128);
  EXPECT_TRUE(GetWindowLongPtrW(progress.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE(GetWindowLongPtrW(progress.Handle(), GWL_STYLE) & WS_CAPTION);
  RECT client;
  GetClientRect(progress.Handle(), &client);
  EXPECT_EQ(client.right, progress.dpi().Scale(334));
  EXPECT_EQ(client.bottom, progress.dpi().Scale(29));
  RECT m, p;
  GetWindowRect(main.Handle(), &m);
  GetWindowRect(progress.Handle(), &p);
  EXPECT_NEAR((p.left + p.right) / 2, (m.left + m.right) / 2, 1);
  EXPECT_NEAR((p.top + p.bottom) / 2, (m.top + m.bottom) / 2, 1);
  bar.SetPosition(3);
  EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0), 3);
  bar.SetMax(4);
  bar.Step(5);
  EXPECT_EQ(bar.Position(), 4);
}

// A 16x16 32-bit .ico file of one colour, as the drawing script writes them.
void WriteIcon(const std::string& path, COLORREF color) {
  std::string bytes;
  auto put16 = [&](uint16_t v) { bytes.append(reinterpret_cast<const char*>(&v), 2); };
  auto put32 = [&](uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); };
  const uint32_t imageSize = 40 + 16 * 16 * 4 + 16 * 4;
  put16(0), put16(1), put16(1);                                        // icon directory, one image
  bytes += '\x10', bytes += '\x10', bytes += '\0', bytes += '\0';       // 16x16, no palette
  put16(1), put16(32), put32(imageSize), put32(6 + 16);                // planes, bits, size, offset
  put32(40), put32(16), put32(32), put16(1), put16(32), put32(0), put32(16 * 16 * 4 + 16 * 4);
  put32(0), put32(0), put32(0), put32(0);
  for (int i = 0; i < 16 * 16; ++i) put32(0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color));
  bytes.append(16 * 4, '\0');  // the AND mask: every pixel shown
  std::ofstream(std::filesystem::path(base::PathFromUtf8(path)), std::ios::binary) << bytes;
}

TEST_F(WinControls, ImageListLoadsIconFilesAndKeepsTheIndexesOfMissingPictures) {
  TempDir dir;
  WriteIcon(dir.File("监控_启动.ico"), RGB(0, 200, 0));
  WriteIcon(dir.File("stop.ico"), RGB(200, 0, 0));
  ImageList images(16, {dir.File("监控_启动.ico"), dir.File("missing.ico"), dir.File("stop.ico")});
  EXPECT_EQ(images.Count(), 3);  // the missing picture keeps its place
  EXPECT_EQ(images.Add(dir.File("also-missing.ico")), -1);
  EXPECT_EQ(images.Add(dir.File("stop.ico")), 4);
  // The pictures are the files' colours.
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
  HGDIOBJ old = SelectObject(memory, bitmap);
  DrawIconEx(memory, 0, 0, images.Icon(0), 16, 16, 0, nullptr, DI_NORMAL);
  COLORREF first = GetPixel(memory, 8, 8);
  DrawIconEx(memory, 0, 0, images.Icon(2), 16, 16, 0, nullptr, DI_NORMAL);
  COLORREF third = GetPixel(memory, 8, 8);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(first, RGB(0, 200, 0));
  EXPECT_EQ(third, RGB(200, 0, 0));
  EXPECT_EQ(LoadIconSource(dir.File("missing.ico")), nullptr);

  // A list and a menu item show them.
  Window window(WindowArgs{.title = "图标", .rect = {80, 80, 300, 200}});
  ListView list(window, {.rect = {0, 0, 300, 200}, .columns = {{"序号", 60}, {"状态", 60}}});
  list.SetImageList(&images);
  int row = list.AddRow("1", 2);
  list.SetCellImage(row, 1, 0);
  EXPECT_EQ(list.CellImage(row, 0), 2);
  EXPECT_EQ(list.CellImage(row, 1), 0);
  Menu menu({{.caption = "交易[&B]", .items = {{.caption = "启动所有监控[&S]", .id = 301}}}}, Menu::kBar);
  menu.SetItemIcon(301, images.Icon(0));
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_BITMAP;
  GetMenuItemInfoW(menu.Handle(), 301, FALSE, &info);
  EXPECT_NE(info.hbmpItem, nullptr);
}

// A status-bar picture that changes every few seconds (the line speed's)
// holds one icon: showing the same picture again loads nothing, and the
// icon replaced is destroyed, not left to the process.
TEST_F(WinControls, PictureShowsAnIconOnceAndDestroysTheOneItReplaces) {
  TempDir dir;
  WriteIcon(dir.File("fast.ico"), RGB(0, 200, 0));
  WriteIcon(dir.File("slow.ico"), RGB(200, 0, 0));
  Window window(WindowArgs{.title = "网速", .rect = {80, 80, 200, 100}});
  Picture picture(window, {.rect = {4, 4, 16, 16}});
  picture.ShowIcon(dir.File("fast.ico"));
  const HICON fast = picture.Icon();
  ASSERT_NE(fast, nullptr);
  for (int i = 0; i < 50; ++i) picture.ShowIcon(dir.File("fast.ico"));
  EXPECT_EQ(picture.Icon(), fast);
  picture.ShowIcon(dir.File("slow.ico"));
  const HICON slow = picture.Icon();
  ASSERT_NE(slow, nullptr);
  EXPECT_NE(slow, fast);
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(fast, &info)) << "the icon replaced is still alive";
  // A picture given an icon it does not own leaves that icon alone and
  // destroys its own.
  HICON shared = LoadIconW(nullptr, IDI_INFORMATION);
  picture.SetIcon(shared);
  EXPECT_FALSE(GetIconInfo(slow, &info));
  ASSERT_TRUE(GetIconInfo(shared, &info));
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
}

// The association warning steps 20 times a second for as long as no
// trading program is found: a step moves the pixels shown and draws only
// the strip uncovered, and what it shows after many steps (a wrap included)
// is what a full repaint draws. While its window is minimised it rests.
TEST_F(WinControls, MarqueeStepsShowWhatAFullRepaintShowsAndRestWhileMinimised) {
  Window window(WindowArgs{.title = "跑马灯", .rect = {60, 60, 260, 90}});
  Marquee marquee(window, {.text = "未关联下单软件！请登录", .rect = {0, 0, 200, 18}, .bold = true});
  window.ShowNormal();
  Pump(100);
  RECT client;
  GetClientRect(marquee.Handle(), &client);
  const auto pixels = [&] {
    HDC dc = GetDC(marquee.Handle());
    std::vector<COLORREF> out;
    for (int y = 0; y < client.bottom; y += 2)
      for (int x = 0; x < client.right; ++x) out.push_back(GetPixel(dc, x, y));
    ReleaseDC(marquee.Handle(), dc);
    return out;
  };
  const COLORREF red = RGB(255, 0, 0);
  bool wrapped = false;
  for (int i = 0; i < 900; ++i) {
    const int before = marquee.Offset();
    marquee.Advance();
    wrapped = wrapped || marquee.Offset() < before;
    if (wrapped && marquee.Offset() > client.right / 2) break;
  }
  ASSERT_TRUE(wrapped);
  const auto stepped = pixels();
  EXPECT_NE(std::count(stepped.begin(), stepped.end(), red), 0) << "no text shown";
  InvalidateRect(marquee.Handle(), nullptr, FALSE);
  UpdateWindow(marquee.Handle());
  EXPECT_EQ(pixels(), stepped);

  window.Minimize();
  Pump(100);
  const int resting = marquee.Offset();
  for (int i = 0; i < 10; ++i) marquee.Advance();
  EXPECT_EQ(marquee.Offset(), resting);
  window.ShowNormal();
  Pump(100);
  marquee.Advance();
  EXPECT_GT(marquee.Offset(), resting);
}

TEST_F(WinControls, MainWindowCloseCanBeRefusedAndEndsTheLoopWhenAllowed) {
  Window main(WindowArgs{.title = "主窗口", .rect = {50, 50, 400, 300}, .minSize = {300, 200}, .quitOnDestroy = true});
  bool allow = false;
  int asked = 0, destroyed = 0;
  main.onClose = [&](bool& cancel) {
    ++asked;
    cancel = !allow;
  };
  main.onDestroy = [&] { ++destroyed; };
  main.ShowNormal();
  main.Close();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(IsWindow(main.Handle()));
  // The minimum size holds against a smaller size.
  SetWindowPos(main.Handle(), nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
  Size client = main.ClientSize();
  EXPECT_GE(client.width, 300);
  EXPECT_GE(client.height, 200);
  allow = true;
  PostMessageW(main.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(RunMessageLoop(), 0);  // the close ended the loop
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(main.Handle(), nullptr);
}

}  // namespace
