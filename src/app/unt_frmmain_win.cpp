#include "app/unt_frmmain_win.h"

#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <windowsx.h>
#include <shellapi.h>

#include <algorithm>
#include <map>
#include <ctime>
#include <thread>
#include <utility>

#include "app/res/resource_ids.h"
#include "app/unt_frmmain.h"
#include "app/unt_frmprogress.h"
#include "app/unt_frmreplay_win.h"
#include "app/unt_frmshowlog_win.h"
#include "app/unt_frmupgrade_win.h"
#include "app/unt_updatemanifest.h"
#include "app/unt_http_win.h"
#include "app/unt_session.h"
#include "account/unt_accountservice_win.h"
#include "account/unt_frmlogin_win.h"
#include "account/unt_frmuserinfo_win.h"
#include "base/worker.h"
#include "quotes/Ustockdrv_win.h"
#include "quotes/login_session.h"
#include "quotes/unt_externalapi.h"
#include "base/files.h"
#include "base/market_clock.h"
#include "policy/unt_frmpolicyindex_win.h"
#include "policy/unt_frmpolicypayoff_win.h"
#include "policy/unt_frmprice_win.h"
#include "policy/unt_frmtime_win.h"
#include "policy/unt_policy_describe.h"
#include "quotes/Ustockdrv_win.h"
#include "quotes/unt_externalapi.h"
#include "quotes/unt_frmdebug_win.h"
#include "quotes/unt_frmstocktip_win.h"
#include "settings/autostart_win.h"
#include "settings/unt_fileclient.h"
#include "settings/unt_frmconfig_win.h"
#include "settings/unt_frmsetting_win.h"
#include "sharing/unt_frmshowstock_win.h"
#include "sharing/unt_showstockfeed_win.h"
#include "trading/desktop_win.h"
#include "trading/unt_frmmodifytradecaption_win.h"
#include "trading/unt_launcher.h"
#include "trading/unt_calculator_win.h"
#include "app/unt_notify_win.h"
#include "utilities/unt_frmautoshutdown_win.h"
#include "utilities/unt_synclocaltime_win.h"
#include "utilities/unt_testspeed.h"
#include "win/all_win.h"

namespace app {
namespace {

constexpr int kNoticeTimeoutMs = 8000;
constexpr int kVersionTimeoutMs = 8000;
// Image list of the monitor list: 14 row icons, then the three state icons.
constexpr int kStateImageBase = 14;

std::wstring W(std::string_view s) { return win::Wide(s); }

win::Align ToWin(Align a) {
  return a == Align::Left ? win::Align::Left : a == Align::Centre ? win::Align::Center : win::Align::Right;
}

win::MenuItem Item(const MenuItemDef& d) {
  if (d.cmd == Cmd::None) return win::MenuSeparator();
  win::MenuItem m;
  m.caption = d.caption;
  m.id = static_cast<int>(d.cmd);
  return m;
}

// The logs take their sender when the window is made, before the session
// that owns the message connection exists.
class SessionMessages final : public IMessageSender {
 public:
  IMessageSender* session = nullptr;
  bool Connected() override { return session && session->Connected(); }
  void SendText(const std::string& userId, const std::string& text) override {
    if (session) session->SendText(userId, text);
  }
};

// The system's date and time separators, for the registration time.
account::DateTimeSeparators SystemSeparators() {
  account::DateTimeSeparators s;
  wchar_t buffer[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDATE, buffer, 8) > 1) s.date = win::Utf8(buffer);
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, buffer, 8) > 1) s.time = win::Utf8(buffer);
  return s;
}

// The progress window: borderless, on top, half transparent, a bar of parts
// with its label over it.
class ProgressView {
 public:
  ProgressView() {
    win::WindowArgs a;
    a.title = "Tfrmprogress";
    a.rect = {0, 0, 334, 29};
    a.borderless = true;
    a.toolWindow = true;
    a.topMost = true;
    a.alpha = 128;
    a.sizeable = false;
    window_.Create(a);
    bar_.Create(window_, {.rect = {0, 0, 334, 29}, .max = model_.TotalParts(), .parts = true});
    label_.Create(window_, {.text = "", .rect = {8, 6, 318, 17}, .align = win::Align::Center,
                            .color = RGB(0, 0, 128), .background = RGB(255, 255, 255), .vcenter = true});
  }
  void Show(HWND owner, const std::string& text) {
    model_.SetText(text);
    model_.Shown();
    label_.SetText(text);
    bar_.SetMax(model_.TotalParts());
    bar_.SetPosition(0);
    window_.CenterOn(owner);
    ShowWindow(window_.Handle(), SW_SHOWNOACTIVATE);
    window_.BringToTop();
    UpdateWindow(window_.Handle());
  }
  void Step() {
    model_.Advance(1);
    bar_.SetPosition(model_.Position());
  }
  void Hide() { window_.Show(false); }

 private:
  Tfrmprogress model_;
  win::Window window_;
  win::ProgressBar bar_;
  win::Label label_;
};

// The about box: the title, the version and a line about the program.
class AboutBox {
 public:
  explicit AboutBox(HWND owner) {
    dialog_.Create({.title = "关于", .size = {340, 150}, .owner = owner});
    icon_.Create(dialog_, {.rect = {16, 16, 32, 32}});
    icon_.SetIcon(win::LoadIconSource(IDI_QUORVEL, 32));
    title_.Create(dialog_, {.text = kApplicationTitle, .rect = {60, 16, 260, 20}, .bold = true});
    version_.Create(dialog_, {.text = std::string("版本 ") + kProgramVersion, .rect = {60, 40, 260, 18}});
    about_.Create(dialog_, {.text = "盯盘、条件触发与自动下单的证券交易助手。", .rect = {60, 62, 270, 18}});
    copyright_.Create(dialog_, {.text = "Copyright © 2026 quorvel", .rect = {60, 84, 260, 18}});
    ok_.Create(dialog_, {.text = "确定", .rect = {250, 114, 75, 25}, .id = IDOK, .defaultButton = true});
    ok_.onClick = [this] { dialog_.EndModal(IDOK); };
  }
  void Show() { dialog_.ShowModal(); }

 private:
  win::Dialog dialog_;
  win::Picture icon_;
  win::Label title_, version_, about_, copyright_;
  win::Button ok_;
};

bool ForegroundIsOurs() {
  DWORD pid = 0;
  GetWindowThreadProcessId(GetForegroundWindow(), &pid);
  return pid == GetCurrentProcessId();
}

}  // namespace

namespace {

COLORREF FrameColour(PriceFrame frame) {
  switch (frame) {
    case PriceFrame::Green: return RGB(0, 255, 0);
    case PriceFrame::Red: return RGB(255, 0, 0);
    default: return RGB(255, 255, 0);
  }
}

// The first and last row the list shows (the last may be partly hidden).
std::pair<int, int> RowsInView(const win::ListView& list) {
  const int top = std::max(0, list.TopRow());
  return {top, top + static_cast<int>(SendMessageW(list.Handle(), LVM_GETCOUNTPERPAGE, 0, 0))};
}

}  // namespace

struct TfrmmainView::Impl final : public IFrmmainHost,
                                  public IQuoteDispatchHost,
                                  public quotes::IFrmdebugHost,
                                  public ISessionHost {
  Impl(std::string folder, trading::IDesktop* givenDesktop);
  ~Impl() override;

  void CreateControls();
  void Layout(win::Size client);
  void Sync();
  // Runs a model event and shows what changed.
  template <class F>
  void Do(F&& f) {
    f();
    Sync();
  }
  void FitColumns();
  void OnListClick(win::ListHit hit);
  void OnListRightClick(POINT screen);
  void OnListMouseMove(POINT client);
  void FetchNoticeText(const std::string& address);

  // ---- IFrmmainHost ----
  void ShowInformation(const std::string& text, const std::string& title) override {
    win::ShowInfo(window.Handle(), text, title);
  }
  bool AskYesNo(const std::string& text, const std::string& title) override {
    return win::AskYesNo(window.Handle(), text, title);
  }
  bool ShowNoticeWithCheck(const std::string& text, const std::string& title, bool showAgain) override {
    win::ShowInfoWithCheck(window.Handle(), text, title, "下次启动时仍然显示此提示", showAgain);
    return showAgain;
  }
  void SetCaption(const std::string& caption) override { window.SetTitle(caption); }
  void SetAlphaBlend(int alpha) override {
    if (alpha > 0 && alpha < 255) window.SetAlpha(static_cast<uint8_t>(alpha));
  }
  void EnableMainWindow(bool enable) override { EnableWindow(window.Handle(), enable); }
  bool MainWindowVisible() override { return IsWindowVisible(window.Handle()) && !window.Minimized(); }
  void RestoreMainWindow() override { window.ShowNormal(); }
  void CloseMainWindow() override { window.Close(); }
  trading::ScreenSize MainWindowSize() override {
    RECT r{};
    GetWindowRect(window.Handle(), &r);
    return {r.right - r.left, r.bottom - r.top};
  }
  void MoveMainWindow(int left, int top) override {
    SetWindowPos(window.Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void ShowTrayBalloon(const std::string& title, const std::string& text) override { tray->ShowBalloon(title, text); }
  void ShowTrayWarning(const std::string& title, const std::string& text) override {
    tray->ShowBalloon(title, text, 10000, win::BalloonIcon::Warning);
  }
  void AnimateTrayIcon(bool animate) override { animate ? tray->StartAnimation() : tray->StopAnimation(); }
  void ShowProgress(const std::string& text) override { progress->Show(window.Handle(), text); }
  void StepProgress() override { progress->Step(); }
  void CloseProgress() override { progress->Hide(); }
  void OpenDialog(Dialog d) override;
  void OpenEditor(uint8_t kind, EditorMode mode, const policy::TPolicyRecord* monitor) override;
  // The editor of a kind, made on first use; null for a kind without one.
  policy::TEditorView* Editor(uint8_t kind);
  // The tip sits just below the mouse: at the mouse itself it would take
  // the pointer from the list, which then closes it at once.
  void ShowQuoteTip(const policy::TPolicyRecord& monitor, int x, int y) override {
    tip->ShowFor(policy::CodeText(monitor), x + 4, y + 20);
  }
  bool QuoteTipVisible() override { return tip->Visible(); }
  void HideQuoteTip() override { tip->Close(); }

  // ---- IQuoteDispatchHost ----
  void ProcessMessages() override { win::ProcessMessages(); }
  bool DebugWindowVisible() override { return debug && debug->Visible(); }
  void ShowDebugReport(const quotes::TQuoteReport& report) override { debug->ShowReport(report); }
  // The code first: it is asked for every report of a packet.
  bool QuoteTipShows(std::string_view code) override { return tip->ShowsCode(code) && tip->Visible(); }
  void ShowTipReport(const quotes::TQuoteReport& report) override { tip->ShowReport(report); }

  // ---- quotes::IFrmdebugHost ----
  bool SoundOn() override { return model->Settings().options.soundOn != 0; }
  void EnableDebugWindow(bool enable) override { debug->Enable(enable); }
  void PlaceOrder(policy::TTradeRecord order) override { model->PlaceOrder(std::move(order)); }
  void RefreshMainWindow() override { Do([&] { model->Command(Cmd::TbRefresh); }); }

  std::optional<LRESULT> WindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // "委托" is a command on the menu bar, where no control tooltip reaches:
  // its hint is a tracking tip while the mouse rests on it.
  void TrackEntrustHint(UINT message, WPARAM hit, LPARAM lParam);
  HWND entrustTip = nullptr;
  bool entrustTipShown = false;
  void InvalidatePrices(const std::vector<int>& rows);
  void DrawPriceFrames(HDC dc);
  void NavigateNotice(const std::string& address) override;
  void StartProgram(const std::string& path) override {
    ShellExecuteW(nullptr, L"open", W(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
  bool RemoveFile(const std::string& path) override { return DeleteFileW(W(path).c_str()) != 0; }
  void Sleep(int ms) override { ::Sleep(static_cast<DWORD>(ms)); }
  void SetScreenSaverActive(bool active) override {
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, 0);
  }
  void OpenInBrowser(const std::string& address) override {
    ShellExecuteW(nullptr, L"open", W(address).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
  }
  void StartCalculator() override;
  bool LaunchOrderProgram() override;
  // Calls on a library or export that is not there do nothing.
  void BindLibraries() override {
    account::BindAccountService(folder);
    engine->Bind(folder);
    model->Monitors().SetEngine(engine.get());
  }
  void AccountInit() override { account::AccountService().Init(reinterpret_cast<uintptr_t>(window.Handle())); }
  void AccountFInit() override { account::AccountService().FInit(); }
  void EngineQuit() override { quotes::StopQuoteEngine(*engine, reinterpret_cast<uintptr_t>(window.Handle())); }
  void UnbindLibraries() override {
    account::UnbindAccountService();
    model->Monitors().SetEngine(nullptr);
    engine->Unbind();
  }
  void Login() override { session->LoginCommand(); }
  void Logout() override { session->LogoutCommand(); }
  void RefreshUserInfo() override { session->FetchUserInfo(); }
  bool DisconnectMessageConnection() override { return session->Shutdown(); }
  void LoadShareFeed() override { feed->Feed().LoadFeed(); }
  void ClearShareFeed() override { feed->Feed().ClearFeed(); }
  void StartVersionCheck(bool quiet) override;
  bool StartUpgrade(const VersionInfo& newest) override;
  IMessageSender& Messages() override { return messages; }
  void RequestQuote(const std::string& code, quotes::TQuoteReport& out) override {
    quotes::RequestQuote(*engine, code, out);
  }

  // ---- ISessionHost ----
  bool ShowLoginDialog() override;
  bool StartQuoteEngine(const std::string& userId) override;
  void QuitQuoteEngine() override { EngineQuit(); }
  void StartSpeedProbe() override;
  void ReceiveSharePost(const account::TSharePostBlock& post) override {
    feed->Feed().ReceiveSharePost(sharing::ShowStockFromBytes(post.bytes));
  }
  void ShowSpeed();
  void OpenShowStock();
  void OpenShutdown();
  void ShowWarning(const std::string& text, const std::string& title) override {
    win::ShowInfo(window.Handle(), text, title, win::BoxIcon::Warning);
  }
  void PostToGui(std::function<void()> job) override { queue.Post(std::move(job)); }
  void OpenUserInfo();
  void PlaySound(const std::string& path, bool wait) override {
    sndPlaySoundW(W(path).c_str(), (wait ? SND_SYNC : SND_ASYNC) | SND_NODEFAULT);
  }

  std::string folder;
  SessionMessages messages;
  // Shared with the live-price workers: one still inside a request when its
  // window closes finishes on its own and must find the binding there.
  std::shared_ptr<quotes::TStockDrv> engine = std::make_shared<quotes::TStockDrv>();
  trading::TWin32Desktop systemDesktop;
  trading::IDesktop& desktop;
  win::GuiQueue queue;
  std::unique_ptr<Tfrmmain> model;
  std::unique_ptr<TStoreSaver> saver;
  // After the model: it goes first, and the model hands it reports.
  std::unique_ptr<quotes::TDayTapeRecorder> tapes;
  int tapeKeepDays = 0;

  win::Window window;
  std::unique_ptr<win::Menu> menu;
  std::unique_ptr<win::Menu> listPopup;
  std::unique_ptr<win::Menu> trayPopup;
  std::unique_ptr<win::ImageList> listImages;
  std::unique_ptr<win::ImageList> toolImages;
  win::ToolBar toolbar;
  win::ListView list;
  win::NumericEdit fineTune;
  win::ProgressBar activity;
  win::Splitter splitter;
  win::Panel bottom;
  win::Marquee marquee;
  win::TabControl pages;
  win::Button noticeRefresh;
  win::WebView browser;
  bool browserOk = false;
  win::Edit noticeText;
  win::Button clearShare;
  std::unique_ptr<sharing::TShowStockFeedView> feed;
  std::unique_ptr<sharing::TfrmshowstockWin> showStock;
  // The shutdown dialog's ports: the clock, its box, the date pane and the
  // real shutdown.
  struct ShutdownHost final : utilities::IShutdownHost {
    explicit ShutdownHost(Impl& v) : view(v) {}
    base::TDateTime Now() override { return base::Now(); }
    void ShowMessage(const std::string& text) override { win::ShowInfo(view.window.Handle(), text, ProgramName(), win::BoxIcon::None); }
    void SetDatePane(const std::string& text) override { view.Do([&] { view.model->SetDatePane(text); }); }
    bool ShutdownComputer() override { return utilities::ShutdownComputer(); }
    static std::string ProgramName() {
      wchar_t path[MAX_PATH] = {};
      GetModuleFileNameW(nullptr, path, MAX_PATH);
      std::wstring name(path);
      name = name.substr(name.find_last_of(L"\\/") + 1);
      return win::Utf8(name.substr(0, name.rfind(L'.')));
    }
    Impl& view;
  };
  ShutdownHost shutdownHost{*this};
  std::unique_ptr<utilities::TfrmshutdownWin> shutdown;
  std::unique_ptr<NotifyService> notify;
  utilities::TWin32SystemClock systemClock;
  std::unique_ptr<utilities::TSyncClock> syncClock;
  std::unique_ptr<utilities::TSpeedMeter> speed;
  win::Picture speedIcon;
  win::Label shareFooter;
  win::StatusBar status;
  win::Picture levelIcon;
  win::Label levelLabel;
  std::unique_ptr<win::TrayIcon> tray;
  std::vector<HICON> trayFrames;
  win::Timer antiLock;
  win::Timer clock{1000};
  win::Timer orderWatch{Tfrmmain::OrderWatchIntervalMs};
  win::Timer startupGrace{Tfrmmain::StartupCheckGraceMs};
  std::unique_ptr<ProgressView> progress;
  std::unique_ptr<AboutBox> about;
  std::unique_ptr<TfrmshowlogWin> showlog;
  std::unique_ptr<TfrmreplayWin> replay;
  std::unique_ptr<quotes::TfrmstocktipView> tip;
  std::unique_ptr<quotes::TfrmdebugView> debug;
  // The checked installer that msiexec runs after the program has closed.
  std::string pendingInstaller;
  std::unique_ptr<TSession> session;
  std::unique_ptr<account::TfrmloginWin> login;
  std::unique_ptr<account::Tfrmuserinfo> userInfoModel;
  std::unique_ptr<account::TfrmuserinfoWin> userInfo;
  // The file-server connection, kept between openings of the profile dialog.
  std::unique_ptr<settings::IFileClient> fileClient = settings::CreateFileClient();
  std::unique_ptr<settings::TfrmsettingWin> profileDialog;
  std::unique_ptr<settings::IAutostartStore> autostart = settings::CreateRegistryAutostart();
  std::unique_ptr<settings::TfrmconfigWin> config;
  std::unique_ptr<trading::TfrmmodifytradecaptionWin> captionTool;
  void OpenProfileDialog();
  void OpenSettingsDialog();
  void ApplyTapeSetting();
  void OpenCaptionTool();
  // The monitor editors by kind; they go before the window they belong to.
  std::map<uint8_t, std::unique_ptr<policy::TEditorView>> editors;
  int bottomHeight = 170;
  int savedBottomHeight = 170;
  bool endBlocked = false;  // a reason why the session may not end is shown
  bool destroyed = false;
};

enum StatusPaneIndex { kSbPane1, kSbPane2, kSbDate, kSbPane3, kSbSpeed, kSbClock, kSbLevel };

TfrmmainView::Impl::Impl(std::string appFolder, trading::IDesktop* givenDesktop)
    : folder(std::move(appFolder)), desktop(givenDesktop ? *givenDesktop : systemDesktop) {
  model = std::make_unique<Tfrmmain>(
      folder, *this, desktop, [] { return base::Now(); }, [] { return base::BeijingNow(); });
  CreateControls();
  progress = std::make_unique<ProgressView>();
  tip = std::make_unique<quotes::TfrmstocktipView>();
  model->SetQuoteDispatchHost(this);
  saver = std::make_unique<TStoreSaver>(
      policy::PolicyStorePath(folder), [this] { return model->Monitors().StoreBytes(); },
      [this](const std::string& title, const std::string& text) {
        if (!destroyed) model->ShowBalloon(title, text);
      },
      [poster = queue.Poster()](std::function<void()> job) { poster.Post(std::move(job)); });
  model->SetStoreSaver(saver.get());
  SessionOptions sessionOptions;
  sessionOptions.separators = SystemSeparators();
  session = std::make_unique<TSession>(*model, *this, account::AccountService(), sessionOptions);
  messages.session = session.get();
  model->onChanged = [this] {
    queue.Post([this] {
      if (!destroyed) Sync();
    });
  };
  model->AttachQuoteEngine(engine.get(), reinterpret_cast<uintptr_t>(window.Handle()));
  model->FormCreate();
  ApplyTapeSetting();
  notify = std::make_unique<NotifyService>(folder, queue.Poster(), [this](const std::string& line) {
    if (!destroyed) model->Logs().WriteDailyLog(line);
  });
  model->MonitorLoop().SetFireNotice(notify.get());
  model->SetOutcomeNotice(notify.get());
  Sync();
}

TfrmmainView::Impl::~Impl() = default;

void TfrmmainView::Impl::CreateControls() {
  win::WindowArgs a;
  a.title = kApplicationTitle;
  a.rect = {static_cast<int>(CW_USEDEFAULT), static_cast<int>(CW_USEDEFAULT), 980, 640};
  a.minSize = {640, 420};
  a.icon = win::LoadIconSource(IDI_QUORVEL, 32);
  a.quitOnDestroy = true;
  window.Create(a);

  // Menu bar, with "委托" and "下单测试" at its right end.
  std::vector<win::MenuItem> bar;
  for (const MenuDef& m : MainMenu()) {
    win::MenuItem top;
    top.caption = m.caption;
    for (const MenuItemDef& d : m.items) top.items.push_back(Item(d));
    bar.push_back(top);
  }
  win::MenuItem entrust;
  entrust.caption = "委托";
  entrust.id = static_cast<int>(Cmd::Entrust);
  entrust.rightJustify = true;
  bar.push_back(entrust);
  win::MenuItem test;
  test.caption = "下单测试";
  test.id = static_cast<int>(Cmd::OrderTest);
  bar.push_back(test);
  menu = std::make_unique<win::Menu>(bar, win::Menu::kBar);
  menu->onCommand = [this](int id) { Do([&] { model->Command(static_cast<Cmd>(id)); }); };
  window.SetMenu(menu.get());
  menu->SetItemIcon(static_cast<int>(Cmd::StartAll), win::LoadIconSource(IDI_STATE_START));
  menu->SetItemIcon(static_cast<int>(Cmd::StopAll), win::LoadIconSource(IDI_STATE_STOP));

  std::vector<win::MenuItem> popup;
  for (const MenuItemDef& d : ListPopupMenu()) popup.push_back(Item(d));
  listPopup = std::make_unique<win::Menu>(popup, win::Menu::kPopup);
  std::vector<win::MenuItem> trayItems;
  for (const MenuItemDef& d : TrayMenu()) trayItems.push_back(Item(d));
  trayPopup = std::make_unique<win::Menu>(trayItems, win::Menu::kPopup);

  // Toolbar.
  std::vector<win::ImageSource> tb;
  for (int i = 0; i < IDI_TB_COUNT; ++i) tb.emplace_back(IDI_TB_START + i);
  toolImages = std::make_unique<win::ImageList>(16, tb);
  win::ToolBarArgs ta;
  ta.images = toolImages.get();
  int image = 0;
  for (const ToolButtonDef& b : ToolButtons()) {
    win::ToolButton button;
    button.id = static_cast<int>(b.cmd);
    button.text = b.caption;
    button.image = image++;
    button.tooltip = b.caption;
    ta.buttons.push_back(button);
  }
  toolbar.Create(window, ta);
  toolbar.onClick = [this](int id) { Do([&] { model->Command(static_cast<Cmd>(id)); }); };

  // Monitor list: owner data, the rows live in the model.
  std::vector<win::ImageSource> li;
  for (int kind = 1; kind <= 7; ++kind) {
    li.emplace_back(IDI_KIND(kind));
    li.emplace_back(IDI_KIND_FIRED(kind));
  }
  li.emplace_back(IDI_STATE_START);
  li.emplace_back(IDI_STATE_STOP);
  li.emplace_back(IDI_STATE_TRIGGERED);
  listImages = std::make_unique<win::ImageList>(16, li);
  win::ListViewArgs la;
  for (const ColumnDef& c : MonitorColumns()) la.columns.push_back({c.caption, c.width, ToWin(c.align)});
  la.ownerData = true;
  la.oddRowColor = kOddRowColour;
  list.Create(window, la);
  list.SetImageList(listImages.get());
  FitColumns();
  list.cellText = [this](int row, int column) {
    return static_cast<size_t>(row) < model->RowCount() ? model->Cell(row, column) : std::string();
  };
  list.cellImage = [this](int row, int column) {
    if (static_cast<size_t>(row) >= model->RowCount()) return -1;
    if (column == 0) return model->RowIconOf(row);
    if (column == 1) return kStateImageBase + model->StateIconOfRow(row);
    return -1;
  };
  list.onClick = [this](win::ListHit hit, POINT) { OnListClick(hit); };
  list.onDoubleClick = [this](win::ListHit, POINT) { Do([&] { model->RzListViewDblClick(list.SelectedRow()); }); };
  list.onRightClick = [this](win::ListHit, POINT screen) { OnListRightClick(screen); };
  list.onMouseMove = [this](POINT client) { OnListMouseMove(client); };
  list.onMouseLeave = [this] { Do([&] { model->RzListViewMouseLeave(); }); };
  list.onPaint = [this](HDC dc) { DrawPriceFrames(dc); };
  // A refused, unsent or unanswered order stands out in its row.
  list.rowTextColor = [this](int row) -> COLORREF {
    return static_cast<size_t>(row) < model->RowCount() && model->RowStandsOut(row) ? RGB(200, 0, 0)
                                                                                     : win::kDefaultColor;
  };
  list.rowColor = [this](int row) -> COLORREF {
    if (static_cast<size_t>(row) < model->RowCount() && model->RowStandsOut(row)) return RGB(255, 228, 225);
    return row % 2 == 1 ? kOddRowColour : win::kDefaultColor;
  };

  // The set-price fine-tune field lies over a cell of the list.
  fineTune.Create(list, {.decimals = 3, .step = 0.01, .min = 0, .max = 999999, .rect = {0, 0, 70, 18},
                         .spinButtons = true, .tooltip = kSetPriceHint});
  fineTune.Show(false);
  fineTune.Enable(false);
  auto leave = [this] {
    if (fineTune.Visible()) Do([&] { model->RzSpinEditPriceExit(fineTune.Text()); });
  };
  fineTune.onEnter = leave;
  fineTune.onFocusLost = leave;

  activity.Create(window, {.rect = {0, 0, 100, 8}, .max = kActivityParts, .gradient = true, .parts = true,
                           .tooltip = "自动盯盘活动状态提示"});

  // The bottom panel: the association warning and the two pages.
  splitter.Create(window, {.rect = {0, 0, 100, 5}});
  splitter.onDrag = [this](int delta) {
    bottomHeight = std::max(0, bottomHeight - delta);
    Layout(window.ClientSize());
  };
  splitter.onDoubleClick = [this] {
    if (bottomHeight > 0) {
      savedBottomHeight = bottomHeight;
      bottomHeight = 0;
    } else {
      bottomHeight = savedBottomHeight > 0 ? savedBottomHeight : 170;
    }
    Layout(window.ClientSize());
  };
  bottom.Create(window, {.rect = {0, 0, 100, 170}});
  marquee.Create(bottom, {.text = kMarqueeText, .rect = {0, 0, 100, 18}, .intervalMs = 50, .bold = true});
  marquee.Show(false);
  pages.Create(bottom, {.rect = {0, 18, 100, 150}, .pages = {"公告栏", "晒股信息"}});
  pages.onChanged = [this](int page) { model->SetActivePage(page); };
  noticeRefresh.Create(pages.Page(0), {.text = "刷新", .rect = {4, 4, 60, 22}});
  noticeRefresh.onClick = [this] { Do([&] { model->Command(Cmd::NoticeRefresh); }); };
  browserOk = browser.Create(pages.Page(0), {.rect = {4, 30, 100, 100}});
  noticeText.Create(pages.Page(0), {.text = "", .rect = {4, 30, 100, 100}, .multiline = true, .readOnly = true});
  noticeText.Show(!browserOk);
  clearShare.Create(pages.Page(1), {.text = "清空列表", .rect = {4, 4, 75, 22}});
  clearShare.onClick = [this] { Do([&] { model->Command(Cmd::ClearShareList); }); };
  shareFooter.Create(pages.Page(1), {.text = kShareFooter, .rect = {90, 8, 400, 16}, .color = RGB(128, 0, 0)});
  sharing::FeedViewArgs feedArgs;
  feedArgs.owner = window.Handle();
  feedArgs.soundOn = [this] { return model->Settings().options.soundOn != 0; };
  feedArgs.playSound = [this](const std::string& path) { PlaySound(path, false); };
  feedArgs.showBalloon = [this](const std::string& title, const std::string& text) { model->ShowBalloon(title, text); };
  feed = std::make_unique<sharing::TShowStockFeedView>(pages.Page(1), folder, std::move(feedArgs));

  // Status bar with the level icon and label over its last pane.
  status.Create(window, {.panes = {{60, "", true},
                                   {110, "未登录", true},
                                   {130, "", false},
                                   {win::kRest, "", true},
                                   {110, "", false},
                                   {130, "", false},
                                   {90, "", false}}});
  levelIcon.Create(status, {.rect = {0, 0, 16, 16}});
  levelLabel.Create(status, {.text = "0级", .rect = {0, 0, 70, 16}, .vcenter = true, .handCursor = true});
  levelLabel.onClick = [this] { Do([&] { model->LevelLabelClick(); }); };

  // Tray icon with its animation frames.
  for (int i = 0; i < IDI_TRAY_FRAMES; ++i) trayFrames.push_back(win::LoadIconSource(IDI_TRAY0 + i));
  tray = std::make_unique<win::TrayIcon>(win::TrayIconArgs{trayFrames[0], kApplicationTitle});
  tray->SetAnimation(trayFrames, 300);
  tray->Add();
  tray->onLeftClick = [this] { Do([&] { model->TrayIconClick(); }); };
  tray->onBalloonClick = [this] { Do([&] { model->TrayBalloonClick(); }); };
  tray->onRightClick = [this](POINT screen) {
    SetForegroundWindow(window.Handle());
    const int id = trayPopup->Track(window.Handle(), screen);
    if (id) Do([&] { model->Command(static_cast<Cmd>(id)); });
  };

  antiLock.onTick = [this] { Do([&] { model->TimerAutoActiveTimer(); }); };
  startupGrace.onTick = [this] {
    startupGrace.Stop();
    Do([&] { model->StartupCheckOverdue(); });
  };
  // The broker's answers to orders are read beside the monitor loop.
  orderWatch.onTick = [this] {
    if (model->OrderWatchActive()) Do([&] { model->OrderWatchTick(); });
  };
  orderWatch.Start();
  clock.onTick = [this] {
    const std::time_t t = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&t));
    status.SetPaneText(kSbClock, text);
  };
  clock.Start();
  status.SetPaneHint(kSbClock, utilities::kClockHint);
  syncClock = std::make_unique<utilities::TSyncClock>(
      systemClock, [poster = queue.Poster()](std::function<void()> job) { poster.Post(std::move(job)); },
      [this](const std::string& text) { Do([&] { model->SetAssociationPane(text); }); },
      utilities::ReadTimeServer(folder));
  status.onPaneClick = [this](int pane) {
    if (pane == kSbClock) syncClock->SyncClock();
  };
  speedIcon.Create(status, {.rect = {0, 0, 16, 16}});
  speed = std::make_unique<utilities::TSpeedMeter>(
      [poster = queue.Poster()](std::function<void()> job) { poster.Post(std::move(job)); }, [this] { ShowSpeed(); });
  ShowSpeed();

  win::App::SetKey(VK_F12, [this] { Do([&] { model->F12Pressed(); }); });

  window.onSize = [this](win::Size client) { Layout(client); };
  window.onMessage = [this](UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowMessage(message, wParam, lParam);
  };
  window.onClose = [this](bool& cancel) {
    // Closing for the upgrade was agreed already.
    if (!pendingInstaller.empty()) model->Flags().closing = true;
    else cancel = !model->FormCloseQuery();
  };
  window.onDestroy = [this] {
    if (destroyed) return;
    destroyed = true;
    model->SetQuoteDispatchHost(nullptr);
    clock.Stop();
    orderWatch.Stop();
    antiLock.Stop();
    speed->Stop();
    marquee.Stop();
    tray->StopAnimation();
    tray->Remove();
    model->FormDestroy();
    if (notify) {
      model->MonitorLoop().SetFireNotice(nullptr);
      model->SetOutcomeNotice(nullptr);
      notify->Close();
    }
  };
  Layout(window.ClientSize());
}

void TfrmmainView::Impl::Layout(win::Size client) {
  if (!status) return;
  status.Layout();
  toolbar.Layout();
  const win::Dpi& dpi = window.dpi();
  const int tbH = dpi.Unscale(toolbar.Height());
  const int sbH = dpi.Unscale(status.Height());
  const int w = client.width;
  const int maxBottom = std::max(0, client.height - tbH - sbH - 120);
  const int bh = std::min(bottomHeight, maxBottom);
  const int bottomTop = client.height - sbH - bh;
  const int splitTop = bottomTop - 5;
  const int activityTop = splitTop - 8;
  list.Move({0, tbH, w, std::max(0, activityTop - tbH)});
  activity.Move({0, activityTop, w, 8});
  splitter.Move({0, splitTop, w, 5});
  bottom.Move({0, bottomTop, w, bh});
  bottom.Show(bh > 0);
  marquee.Move({4, 0, w - 8, 18});
  const int pagesTop = marquee.Visible() ? 18 : 0;
  pages.Move({0, pagesTop, w, std::max(0, bh - pagesTop)});
  const RECT page = pages.PageRectPixels();
  const int pw = dpi.Unscale(page.right - page.left), ph = dpi.Unscale(page.bottom - page.top);
  noticeText.Move({4, 30, std::max(0, pw - 8), std::max(0, ph - 34)});
  if (browserOk) browser.Move({4, 30, std::max(0, pw - 8), std::max(0, ph - 34)});
  feed->Move({4, 30, std::max(0, pw - 8), std::max(0, ph - 34)});
  // The level icon and label sit in the last pane.
  const RECT lp = status.PaneRect(kSbLevel);
  levelIcon.MovePixels({lp.left + 2, lp.top + 1, lp.left + 2 + dpi.Scale(16), lp.top + 1 + dpi.Scale(16)});
  levelLabel.MovePixels({lp.left + dpi.Scale(20), lp.top + 1, lp.right - 2, lp.bottom - 1});
  // The speed picture at the right end of its pane, beside the delay.
  const RECT sp = status.PaneRect(kSbSpeed);
  speedIcon.MovePixels({sp.right - 2 - dpi.Scale(16), sp.top + 1, sp.right - 2, sp.top + 1 + dpi.Scale(16)});
}

std::optional<LRESULT> TfrmmainView::Impl::WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case quotes::kQuoteMessage:
      Do([&] { model->QuoteMessage(static_cast<uint32_t>(wParam), reinterpret_cast<const void*>(lParam)); });
      return 0;
    case quotes::kQuoteConnectionLost:
    case quotes::kQuoteConnectionRestored:
    case kLoginSessionLost:
      Do([&] { model->ConnectionMessage(message); });
      return 0;
    case WM_NCMOUSEMOVE:
    case WM_NCMOUSELEAVE:
      TrackEntrustHint(message, wParam, lParam);
      return std::nullopt;
    case WM_QUERYENDSESSION:
      if (!model->EndSessionRefused()) return TRUE;
      // Windows shows the reason while it waits; the order is short.
      // Where the call fails the refusal stands alone.
      endBlocked = ShutdownBlockReasonCreate(window.Handle(), W(kEndSessionDuringOrderText).c_str()) || endBlocked;
      return FALSE;
    case WM_ENDSESSION:
      // The process may end right after this message: what destruction
      // would have saved is saved now. A forced end comes here even in the
      // middle of an order.
      if (wParam) Do([&] { model->EndSession(); });
      return 0;
    default:
      return std::nullopt;
  }
}

void TfrmmainView::Impl::TrackEntrustHint(UINT message, WPARAM hit, LPARAM lParam) {
  int item = -1;
  if (message == WM_NCMOUSEMOVE && hit == HTMENU) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const int under = MenuItemFromPoint(window.Handle(), menu->Handle(), at);
    if (under >= 0 && GetMenuItemID(menu->Handle(), under) == static_cast<UINT>(Cmd::Entrust)) item = under;
  }
  if ((item >= 0) == entrustTipShown) return;
  entrustTipShown = item >= 0;
  static std::wstring text = W(kEntrustHint);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = window.Handle();
  tool.lpszText = text.data();
  if (!entrustTip) {
    entrustTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                                 0, 0, window.Handle(), nullptr, win::App::Instance(), nullptr);
    if (!entrustTip) return;
    SendMessageW(entrustTip, WM_SETFONT, reinterpret_cast<WPARAM>(win::UiFont(window.dpi())), FALSE);
    SendMessageW(entrustTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  if (entrustTipShown) {
    // The non-client leave ends the tip.
    TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE | TME_NONCLIENT, window.Handle(), 0};
    TrackMouseEvent(&leave);
    RECT r{};
    GetMenuItemRect(window.Handle(), menu->Handle(), static_cast<UINT>(item), &r);
    SendMessageW(entrustTip, TTM_TRACKPOSITION, 0, MAKELPARAM(r.left, r.bottom + 2));
  }
  SendMessageW(entrustTip, TTM_TRACKACTIVATE, entrustTipShown, reinterpret_cast<LPARAM>(&tool));
}

// Only the price cells of the rows in view are painted again.
void TfrmmainView::Impl::InvalidatePrices(const std::vector<int>& rows) {
  const auto [first, last] = RowsInView(list);
  for (const int row : rows) {
    if (row < first || row > last) continue;
    RECT cell = list.CellRect(row, 5);
    InflateRect(&cell, 1, 1);
    InvalidateRect(list.Handle(), &cell, FALSE);
  }
}

// Each framed price cell of the rows in view gets its one-pixel frame
// inside the cell's label rectangle.
void TfrmmainView::Impl::DrawPriceFrames(HDC dc) {
  const auto [first, last] = RowsInView(list);
  const int rows = static_cast<int>(model->RowCount());
  const int header = list.HeaderHeight();
  for (int row = first; row < rows && row <= last; ++row) {
    const PriceFrame frame = model->RowPriceFrame(static_cast<size_t>(row));
    if (frame == PriceFrame::None) continue;
    RECT cell = list.CellRect(row, 5);
    if (cell.bottom <= header) continue;
    cell.left += 2;
    cell.right -= 2;
    cell.top += 1;
    cell.bottom -= 1;
    HBRUSH brush = CreateSolidBrush(FrameColour(frame));
    FrameRect(dc, &cell, brush);
    DeleteObject(brush);
  }
}

void TfrmmainView::Impl::Sync() {
  if (endBlocked && !model->EndSessionRefused()) {
    ShutdownBlockReasonDestroy(window.Handle());
    endBlocked = false;
  }
  const uint32_t c = model->TakeChanges();
  // Messages kept at the last closing go once the user is logged in, so
  // that the daily log has their lines.
  if (notify && model->Flags().loggedIn) notify->ResumeOutbox();
  if (c & kChangeList) {
    model->TakeChangedPrices();
    list.SetVirtualRowCount(static_cast<int>(model->RowCount()));
    list.Redraw();
  } else if (c & kChangeRows) {
    model->TakeChangedRows();
    list.Redraw();
  }
  if ((c & kChangePrices) && !(c & kChangeList)) InvalidatePrices(model->TakeChangedPrices());
  if (c & (kChangeCommands | kChangePages)) {
    for (const MenuDef& m : MainMenu()) {
      for (const MenuItemDef& d : m.items) {
        if (d.cmd == Cmd::None) continue;
        menu->SetEnabled(static_cast<int>(d.cmd), model->Enabled(d.cmd));
        if (d.checkable) menu->SetChecked(static_cast<int>(d.cmd), model->Checked(d.cmd));
      }
    }
    for (const ToolButtonDef& b : ToolButtons()) toolbar.SetButtonEnabled(static_cast<int>(b.cmd), model->Enabled(b.cmd));
    list.Enable(model->ListEnabled());
    levelIcon.Enable(model->LevelIconEnabled());
    pages.ShowTab(1, model->ShareTabVisible());
    pages.SetActive(model->ActivePage());
  }
  if (c & kChangeStatus) {
    status.SetPaneText(kSbPane1, model->Pane(Tfrmmain::kPane1));
    status.SetPaneText(kSbPane2, model->Pane(Tfrmmain::kPane2));
    status.SetPaneText(kSbDate, model->Pane(Tfrmmain::kPaneDate));
    status.SetPaneText(kSbPane3, model->Pane(Tfrmmain::kPane3));
    levelLabel.SetText(model->LevelCaption());
    std::string hint;
    for (const std::string& line : model->LevelHint()) hint += (hint.empty() ? "" : "\r\n") + line;
    levelLabel.SetTooltip(hint, hint.empty() ? "" : account::kUserInfoHintTitle);
    levelIcon.ShowIcon(IDI_LEVEL(std::clamp(model->LevelIcon(), 0, IDI_LEVEL_COUNT - 1)));
    const bool on = model->MarqueeVisible();
    if (on != marquee.Visible()) {
      marquee.Show(on);
      on ? marquee.Start() : marquee.Stop();
      Layout(window.ClientSize());
    }
  }
  if (c & kChangeActivity) activity.SetPosition(model->ActivityParts());
  if (c & kChangeFineTune) {
    const FineTuneField& f = model->FineTune();
    if (f.visible) {
      fineTune.Move({f.left, f.top, f.width, f.height});
      fineTune.SetText(f.text);
    }
    fineTune.Enable(f.enabled);
    fineTune.Show(f.visible);
    if (f.visible && f.focused) {
      fineTune.Focus();
      fineTune.SelectAll();
    }
  }
  if (c & kChangeTimer) {
    antiLock.SetInterval(static_cast<int>(model->AntiLockIntervalMs()));
    antiLock.SetEnabled(model->AntiLockTimerEnabled());
  }
}

// The table's widths suit the system font; a larger font would cut the
// codes and prices, so such a column grows to its widest usual text.
void TfrmmainView::Impl::FitColumns() {
  static const char* const samples[kMonitorColumnCount] = {
      "00000", "止盈-卖出", "600000", "浦发银行", "30000.000", "30000.000", "", "被拒绝：可用资金不足"};
  HDC dc = GetDC(list.Handle());
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(list.Handle(), WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? font : win::UiFont(list.dpi()));
  for (int c = 0; c < kMonitorColumnCount; ++c) {
    SIZE size{};
    const std::wstring text = W(samples[c]);
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    // Cell padding, and the icon of the first two columns.
    const int needed = list.dpi().Unscale(size.cx) + 18 + (c < 2 ? 20 : 0);
    list.SetColumnWidth(c, std::max(MonitorColumns()[c].width, needed));
  }
  SelectObject(dc, old);
  ReleaseDC(list.Handle(), dc);
}

void TfrmmainView::Impl::OnListClick(win::ListHit hit) {
  ListClick click;
  click.selectedRow = list.SelectedRow();
  if (click.selectedRow >= 0 && hit.row == click.selectedRow) {
    click.subItem = hit.column;
    // Where the set-price cell really is, after column drags and scrolling.
    const RECT cell = list.CellRect(click.selectedRow, 4);
    const win::Dpi& dpi = window.dpi();
    click.cell = {dpi.Unscale(cell.left), dpi.Unscale(cell.top), dpi.Unscale(cell.right - cell.left),
                  dpi.Unscale(cell.bottom - cell.top)};
  }
  // The field is a child of the list: list coordinates.
  Do([&] { model->RzListViewClick(click); });
}

void TfrmmainView::Impl::OnListRightClick(POINT screen) {
  if (!model->RzListViewContextPopup()) return;
  const int id = listPopup->Track(window.Handle(), screen);
  if (id) Do([&] { model->PopupCommand(static_cast<Cmd>(id), list.FocusedRow()); });
}

void TfrmmainView::Impl::OnListMouseMove(POINT client) {
  const win::ListHit hit = list.HitTest(client);
  POINT screen = client;
  ClientToScreen(list.Handle(), &screen);
  Do([&] { model->RzListViewMouseMove(hit.row, ForegroundIsOurs(), screen.x, screen.y); });
}

void TfrmmainView::Impl::OpenDialog(Dialog d) {
  switch (d) {
    case Dialog::About:
      if (!about) about = std::make_unique<AboutBox>(window.Handle());
      about->Show();
      return;
    case Dialog::QuoteTest:
      if (!debug) debug = std::make_unique<quotes::TfrmdebugView>(folder, *this, window.Handle());
      debug->Show();
      return;
    case Dialog::TradeLog:
      if (!showlog) showlog = std::make_unique<TfrmshowlogWin>(folder, window.Handle());
      showlog->Show();
      return;
    case Dialog::AccountInfo:
      OpenUserInfo();
      return;
    case Dialog::DownloadConfig:
      OpenProfileDialog();
      return;
    case Dialog::Settings:
      OpenSettingsDialog();
      return;
    case Dialog::CaptionTool:
      OpenCaptionTool();
      return;
    case Dialog::ShowStock:
      OpenShowStock();
      return;
    case Dialog::AutoShutdown:
      OpenShutdown();
      return;
    case Dialog::Notify:
      notify->ShowDialog(window.Handle());
      return;
    case Dialog::Replay:
      // Copies of the live monitors at each showing; the replay never
      // touches the list itself. Today's tape is written out before it is
      // listed or read (the recorder may be off, or replaced by a setting);
      // on a disk that hangs, only for a while: the live monitors run on
      // this thread, and the replay then has what is on disk.
      if (!replay)
        replay = std::make_unique<TfrmreplayWin>(
            folder, window.Handle(), [this] { return model->Monitors().Snapshot(); },
            [this] {
              if (tapes) tapes->FlushFor(std::chrono::seconds(2));
            });
      replay->Show();
      return;
    default:
      ShowInformation("此功能在当前版本中尚未提供。", kApplicationTitle);
      return;
  }
}

bool TfrmmainView::Impl::ShowLoginDialog() {
  if (!login) {
    // Created once per run: only its first showing can log in by itself.
    account::LoginViewArgs args;
    args.owner = window.Handle();
    args.applicationTitle = kApplicationTitle;
    args.vendorSite = ReadVendorSite(folder).site;
    args.httpGet = [](const std::string& url) { return HttpGet(url, kNoticeTimeoutMs); };
    args.showProgress = [this](const std::string& text) { ShowProgress(text); };
    args.closeProgress = [this] { CloseProgress(); };
    args.openInBrowser = [this](const std::string& address) { OpenInBrowser(address); };
    args.poster = queue.Poster();
    login = std::make_unique<account::TfrmloginWin>(std::move(args), account::AccountService(), model->Settings(),
                                                    session->Values(), &quotes::LoginSession());
  }
  return login->ShowModal();
}

// The session has set the flag and the user: the window's own sequence.
bool TfrmmainView::Impl::StartQuoteEngine(const std::string&) { return model->StartQuoteEngine(); }

void TfrmmainView::Impl::OpenUserInfo() {
  if (!userInfo) {
    userInfoModel = std::make_unique<account::Tfrmuserinfo>(
        [this] { Do([&] { session->FetchUserInfo(); }); },
        [this]() -> const account::TUserInfoRecord& { return session->UserInfo(); }, session->Separators());
    userInfo = std::make_unique<account::TfrmuserinfoWin>(window.Handle(), *userInfoModel, [](int picture) {
      return IDI_LEVEL(std::clamp(picture, 0, IDI_LEVEL_COUNT - 1));
    });
  }
  userInfo->Show();
}

void TfrmmainView::Impl::OpenShowStock() {
  if (!showStock) {
    sharing::ShowStockViewArgs args;
    args.owner = window.Handle();
    args.applicationFolder = folder;
    args.poster = queue.Poster();
    args.requestQuote = [engine = engine](const std::string& code, quotes::TQuoteReport& out) {
      quotes::RequestQuote(*engine, code, out);
    };
    args.writeDailyLog = [this](const std::string& text) { model->Logs().WriteDailyLog(text, true); };
    args.startCalculator = [this] { StartCalculator(); };
    args.dailyLogPath = [this](base::TDateTime today) { return model->Logs().DailyLogPath(today); };
    args.clock = [] { return base::Now(); };
    showStock = std::make_unique<sharing::TfrmshowstockWin>(std::move(args), account::AccountService(), session->Values());
  }
  showStock->ShowModal();
}

void TfrmmainView::Impl::OpenShutdown() {
  if (!shutdown) shutdown = std::make_unique<utilities::TfrmshutdownWin>(window.Handle(), shutdownHost);
  shutdown->Show();
}

// One worker for the whole run, against the quote server of the first login.
void TfrmmainView::Impl::StartSpeedProbe() { speed->Start(quotes::SessionQuoteServer(quotes::LoginSession())); }

void TfrmmainView::Impl::ShowSpeed() {
  const utilities::TSpeedProbe& probe = speed->Probe();
  status.SetPaneText(kSbSpeed, probe.Caption());
  status.SetPaneHint(kSbSpeed, probe.Hint());
  speedIcon.ShowIcon(IDI_SPEED(probe.SpeedClass()));
}

void TfrmmainView::Impl::OpenEditor(uint8_t kind, EditorMode mode, const policy::TPolicyRecord* monitor) {
  policy::TEditorView* editor = Editor(kind);
  if (!editor) {
    ShowInformation("监控编辑器在当前版本中尚未提供。", kApplicationTitle);
    return;
  }
  if (mode == EditorMode::Modify && monitor) {
    editor->OpenForModify(*monitor);
  } else {
    editor->OpenForAdd();
  }
  Sync();
}

policy::TEditorView* TfrmmainView::Impl::Editor(uint8_t kind) {
  std::unique_ptr<policy::TEditorView>& editor = editors[kind];
  if (editor) return editor.get();
  policy::TEditorViewArgs args;
  args.owner = window.Handle();
  args.poster = queue.Poster();
  args.services.settings = &model->Settings();
  args.services.monitors = &model->Monitors();
  args.services.requestQuote = [engine = engine](const std::string& code, quotes::TQuoteReport& out) {
    quotes::RequestQuote(*engine, code, out);
  };
  args.services.rebuildMonitorList = [this] { Do([&] { model->RebuildMonitorList(); }); };
  args.services.playSound = [this](const std::string& path, bool wait) { PlaySound(path, wait); };
  args.services.now = [] { return base::Now(); };
  // One line per editor.
  switch (kind) {
    case policy::kKindPrice: editor = std::make_unique<policy::TfrmpriceView>(args); break;
    case policy::kKindTime: editor = std::make_unique<policy::TfrmtimeView>(args); break;
    case policy::kKindPayoff: editor = std::make_unique<policy::TPayoffEditorView>(args, kind); break;
    case policy::kKindLossLimit: editor = std::make_unique<policy::TPayoffEditorView>(args, kind); break;
    case policy::kKindLimitDown: editor = std::make_unique<policy::TPayoffEditorView>(args, kind); break;
    case policy::kKindIndex: editor = std::make_unique<policy::TfrmindexView>(args); break;
    default: break;
  }
  return editor.get();
}

void TfrmmainView::Impl::NavigateNotice(const std::string& address) {
  if (browserOk && browser.Navigate(address)) return;
  noticeText.SetText("正在载入公告……");
  FetchNoticeText(address);
}

void TfrmmainView::Impl::FetchNoticeText(const std::string& address) {
  // The request runs on a worker; only the text comes back to the window.
  base::StartUnwaitedWorker([poster = queue.Poster(), address, this] {
    std::string error;
    const auto body = HttpGet(address, kNoticeTimeoutMs, &error);
    const std::string text = body ? HtmlToText(*body) : "公告暂时无法显示：" + error;
    poster.Post([this, text] {
      if (!destroyed) noticeText.SetText(text.empty() ? "（暂无公告）" : text);
    });
  });
}

void TfrmmainView::Impl::StartVersionCheck(bool quiet) {
  // At start-up, an installation handed over before is long over.
  if (quiet) {
    RemoveOldUpgradePackages();
    startupGrace.Start();
  }
  const std::string address = ReadVendorSite(folder).VersionPage();
  base::StartUnwaitedWorker([poster = queue.Poster(), address, quiet, this] {
    std::string error = "只接受 https 地址：" + address;
    const bool allowed = IsAllowedUpdateAddress(address);
    const auto reply = allowed ? HttpGet(address, kVersionTimeoutMs, &error, kMaxManifestBytes) : std::nullopt;
    VersionCheckResult result = JudgeVersionReply(reply, kProgramVersion);
    if (!reply) result.error = error;
    poster.Post([this, result, quiet] {
      if (!destroyed) Do([&] { model->VersionCheckDone(result, quiet); });
    });
  });
}

bool TfrmmainView::Impl::StartUpgrade(const VersionInfo& newest) {
  auto installer = DownloadUpgrade(window.Handle(), queue, ReadVendorSite(folder), newest);
  if (!installer) return false;
  pendingInstaller = *installer;
  // Closed once the current event is over, through the usual destruction.
  PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
  return true;
}

void TfrmmainView::Impl::StartCalculator() { trading::ShowCalculator(nullptr); }

bool TfrmmainView::Impl::LaunchOrderProgram() {
  return trading::LaunchOrderProgram(model->Settings().parameters.orderProgram, folder, [](const std::string& path) {
    // Started in its own folder, where trading programs keep their files.
    std::wstring command = L"\"" + W(path) + L"\"";
    std::wstring directory = W(path);
    directory.resize(directory.find_last_of(L"\\/") == std::wstring::npos ? 0 : directory.find_last_of(L"\\/"));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process))
      return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  });
}

void TfrmmainView::Impl::OpenProfileDialog() {
  // Opened again from inside itself (an apply whose association found
  // nothing falls back on this dialog): the open one is that dialog.
  if (profileDialog) {
    SetForegroundWindow(profileDialog->Handle());
    return;
  }
  settings::FrmsettingViewArgs args;
  args.owner = window.Handle();
  args.applicationTitle = model->ApplicationTitle();
  args.lastLoginServer = [this] { return session->Values().accountServer; };
  args.loggedIn = [this] { return model->Flags().loggedIn != 0; };
  args.reassociate = [this] {
    Do([&] {
      model->TradingWindow().ClearTradingWindow();
      model->TradingWindow().AssociateTradingWindow();
    });
  };
  args.tradingWindowFound = [this] { return model->TradingWindow().Found(); };
  profileDialog = std::make_unique<settings::TfrmsettingWin>(std::move(args), model->Settings(), *fileClient);
  struct Reset {
    std::unique_ptr<settings::TfrmsettingWin>& dialog;
    ~Reset() { dialog.reset(); }
  } reset{profileDialog};
  profileDialog->ShowModal();
}

void TfrmmainView::Impl::OpenSettingsDialog() {
  if (!config) {
    settings::FrmconfigViewArgs args;
    args.owner = window.Handle();
    args.setTradingOpacity = [this](int alpha) {
      model->ApplyParameters();
      const trading::WindowHandle held = model->TradingWindow().Window();
      if (held != trading::kNoWindow) desktop.SetOpacity(held, static_cast<uint8_t>(alpha));
    };
    args.setMainAlpha = [this](int alpha) { window.SetAlpha(static_cast<uint8_t>(alpha)); };
    args.parametersSaved = [this] {
      Do([&] {
        model->ApplyParameters();
        ApplyTapeSetting();
      });
    };
    config = std::make_unique<settings::TfrmconfigWin>(std::move(args), model->Settings(), *autostart);
  }
  config->ShowModal();
}

// Recording on, off, or its days changed: a recorder of the new setting (its
// worker deletes the tapes beyond the days at its start).
void TfrmmainView::Impl::ApplyTapeSetting() {
  const int days = model->Settings().parameters.tapeKeepDays;
  if (days == tapeKeepDays) return;
  model->SetDayTapeRecorder(nullptr);
  tapes.reset();
  tapeKeepDays = days;
  if (days <= 0) return;
  quotes::TDayTapeRecorder::Options options;
  options.folder = quotes::DayTapesFolder(folder);
  options.keepDays = days;
  options.watchedCodes = [this] { return model->WatchedCodes(); };
  options.marketClock = [] { return base::BeijingNow(); };
  options.report = [this, poster = queue.Poster()](const std::string& text) {
    poster.Post([this, text] {
      if (!destroyed) model->Logs().WriteDailyLog(text);
    });
  };
  tapes = std::make_unique<quotes::TDayTapeRecorder>(std::move(options));
  model->SetDayTapeRecorder(tapes.get());
}

void TfrmmainView::Impl::OpenCaptionTool() {
  if (!captionTool) {
    captionTool = std::make_unique<trading::TfrmmodifytradecaptionWin>(
        window.Handle(), model->Settings(), [this] { Do([&] { model->TradingWindow().RelinkAfterTitleChange(); }); },
        LoadCursorW(win::App::Instance(), QV_CURSOR_FINDER));
  }
  captionTool->Show();
}

// ---- TfrmmainView ----------------------------------------------------------------

TfrmmainView::TfrmmainView(std::string applicationFolder, trading::IDesktop* desktop)
    : impl_(std::make_unique<Impl>(std::move(applicationFolder), desktop)) {}
TfrmmainView::~TfrmmainView() = default;

void TfrmmainView::Show() {
  impl_->window.ShowNormal();
  UpdateWindow(impl_->window.Handle());
  impl_->Do([&] { impl_->model->FormShow(); });
}

Tfrmmain& TfrmmainView::Model() { return *impl_->model; }
void TfrmmainView::Sync() { impl_->Sync(); }
void TfrmmainView::FlushStore() { impl_->saver->Flush(); }
void* TfrmmainView::Handle() const { return impl_->window.Handle(); }
std::string TfrmmainView::LastBalloon() const {
  return impl_->tray->BalloonTitle() + ": " + impl_->tray->BalloonText();
}
const std::string& TfrmmainView::PendingInstaller() const { return impl_->pendingInstaller; }

}  // namespace app
