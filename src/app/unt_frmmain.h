// The main window as a form model: what its menus, toolbar, monitor list,
// panel and status bar show, the commands behind them, and the window's
// lifecycle from creation to destruction. The Win32 view owns the real
// controls, forwards every event to one method here and copies the changed
// state back (see TakeChanges). Everything outside the window goes through
// IFrmmainHost, so the whole window is tested without one.
#pragma once

#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/process_flags.h"
#include "app/qv_version.h"
#include "app/unt_colours.h"
#include "app/unt_logs.h"
#include "app/unt_notify.h"
#include "app/unt_orderoutcomes.h"
#include "app/unt_storesaver.h"
#include "app/unt_update.h"
#include "app/unt_updatemanifest.h"
#include "policy/unt_monitorloop.h"
#include "policy/unt_policy.h"
#include "quotes/Ustockdrv.h"
#include "quotes/unt_taperecorder.h"
#include "settings/unt_common.h"
#include "trading/desktop_port.h"
#include "trading/main_window_port.h"
#include "trading/unt_apiwrapper.h"
#include "trading/unt_orderwatch.h"
#include "trading/unt_simulator.h"

namespace app {

inline constexpr char kApplicationTitle[] = "Tarvolen-Merrowick";
inline constexpr char kProgramVersion[] = "v" QV_VERSION_TEXT;
inline constexpr char kCaptionText[] = "Tarvolen系列-Merrowick" "v" QV_VERSION_TEXT;
// The user guide, rendered to HTML at build time, under the application folder.
inline constexpr char kGuideFile[] = "help/guide.html";
inline constexpr char kNotLoggedIn[] = "用户没有登录，请先登录！";
inline constexpr char kCloseQuestion[] = "您确定要关闭吗？";
inline constexpr char kUpdateWhileMonitoring[] = "正在监控，不能更新！请停止所有监控后再操作。";
inline constexpr char kMarqueeText[] =
    "未关联下单软件！请登录下单软件后，点击此界面上的“刷新”按钮或者重新登录进行关联。 ";
inline constexpr char kSetPriceHint[] =
    "微调设定价：变化幅度为0.01元。可以通过鼠标滚轮快速调整。\r\n"
    "注意：修改完毕后，鼠标点击其他区域或者按回车后才能生效。";
inline constexpr char kTradePriceText[] = "即时成交价";
inline constexpr char kCloseDuringOrderText[] = "正在下单，请在下单完成后再关闭程序。";
// Why the end of the Windows session waits, as Windows shows it.
inline constexpr char kEndSessionDuringOrderText[] = "正在下单，请在下单完成后再注销或关机。";
inline constexpr char kStoreSetAsideText[] = "无法读取的监控记录文件已改名为 ";
inline constexpr char kStoreHeldAtEndText[] =
    "监控记录文件仍无法读取或移开，本次运行中监控列表的改动没有保存：";
inline constexpr char kOrdersCsvLostText[] = "有委托结果没能写入文件，请在交易软件中查看当日委托：";
inline constexpr char kEntrustHint[] = "F12键功能相同；未设置下单软件时打开设置窗口";
inline constexpr char kShareFooter[] = "本项功能不构成买卖建议，凭此买卖，风险自担。";
inline constexpr int kActivityParts = 10;

// Every command of the window: menu items, toolbar and menu-bar buttons, the
// list's pop-up menu, the tray menu and the panel buttons. The numbers are
// the Win32 command identifiers.
enum class Cmd : int {
  None = 0,
  Login = 40001, Logout, AccountInfo, Exit,
  DownloadConfig, CaptionTool,
  StartAll, StopAll, TradeLog,
  AddPayoff, AddLossLimit, AddPrice, AddTime, AddLimitDown, AddIndex,
  AntiLock, MinimiseAfterOrder, Sound, QuoteTip, AutoShutdown, Calculator, Settings,
  CheckVersion, UpdateHistory,
  Help, About,
  TbStart, TbStop, TbAddPayoff, TbAddLossLimit, TbPrice, TbTime, TbShowStock, TbRefresh,
  Entrust, OrderTest,
  PopStart, PopStop, PopDelete, PopDeleteAll, PopRefresh,
  TrayOpen, TrayAbout, TrayExit,
  NoticeRefresh, ClearShareList,
  Notify = 40100,
  Replay = 40101,
};

struct MenuItemDef {
  Cmd cmd;
  const char* caption;  // empty: a separator
  bool needsLogin;
  bool checkable;
};
struct MenuDef {
  const char* caption;
  std::vector<MenuItemDef> items;
};
// The main menu, in order.
const std::vector<MenuDef>& MainMenu();
// The list's pop-up menu and the tray menu.
const std::vector<MenuItemDef>& ListPopupMenu();
const std::vector<MenuItemDef>& TrayMenu();

struct ToolButtonDef {
  Cmd cmd;
  const char* name;     // the control's name
  const char* caption;
};
const std::array<ToolButtonDef, 8>& ToolButtons();

enum class Align { Left, Centre, Right };
struct ColumnDef {
  const char* caption;
  int width;
  Align align;
};
// The seven columns of the list, then "委托结果" (the outcome of the row's last order).
inline constexpr int kMonitorColumnCount = 8;
inline constexpr int kOutcomeColumn = 7;
const std::array<ColumnDef, kMonitorColumnCount>& MonitorColumns();

// Pictures of the list: a row icon pair per kind, three state icons.
int RowIcon(uint8_t kind, bool fired);  // 0..13, by kind 1..7 (others as kind 3)
enum StateIcon : int { kStateIconStart = 0, kStateIconStop = 1, kStateIconTriggered = 2 };
int StateIconOf(uint8_t state);

// Where an unreadable store is set aside: its own name, a word that says
// why, and the time.
std::string UnreadableStorePath(const std::string& storePath, base::TDateTime when);

// The name of the one-copy lock of an application folder: the same for any
// spelling of the folder that Windows takes as the same (letter case,
// either slash, a trailing separator, the "\\?\" prefix of a final path).
// The caller passes the folder's final path (short names, substituted
// drives and junctions resolved), which only the platform can give.
std::string SingleCopyName(const std::string& applicationFolder);

// The text of a monitor's cell in a column of the list.
std::string MonitorCell(const policy::TPolicyRecord& record, int column);

// The dialogs the window opens.
enum class Dialog {
  AccountInfo, DownloadConfig, CaptionTool, TradeLog, AutoShutdown, Settings, ShowStock, QuoteTest, About,
  Notify, Replay,
};
// Editors: add a monitor of a kind, or modify a copy.
enum class EditorMode { Add, Modify };

// What the window asks of the rest of the program. All calls come on the
// main thread; questions and message boxes are modal and may let window
// messages run.
class IFrmmainHost {
 public:
  virtual ~IFrmmainHost() = default;

  // ---- the window itself and its dialogs ----
  virtual void ShowInformation(const std::string& text, const std::string& title) = 0;
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // The start-up notice with its "show again" check box; returns the box's state.
  virtual bool ShowNoticeWithCheck(const std::string& text, const std::string& title, bool showAgain) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetAlphaBlend(int alpha) = 0;
  virtual void EnableMainWindow(bool enable) = 0;
  virtual bool MainWindowVisible() = 0;
  virtual void RestoreMainWindow() = 0;
  virtual void CloseMainWindow() = 0;
  virtual trading::ScreenSize MainWindowSize() = 0;
  virtual void MoveMainWindow(int left, int top) = 0;
  virtual void ShowTrayBalloon(const std::string& title, const std::string& text) = 0;
  // A balloon with the warning icon.
  virtual void ShowTrayWarning(const std::string& title, const std::string& text) { ShowTrayBalloon(title, text); }
  virtual void AnimateTrayIcon(bool animate) = 0;
  virtual void ShowProgress(const std::string& text) = 0;
  virtual void StepProgress() = 0;
  virtual void CloseProgress() = 0;
  virtual void OpenDialog(Dialog dialog) = 0;
  virtual void OpenEditor(uint8_t kind, EditorMode mode, const policy::TPolicyRecord* monitor) = 0;
  // The quote tip window at a screen position, filled with the monitor.
  virtual void ShowQuoteTip(const policy::TPolicyRecord& monitor, int screenX, int screenY) = 0;
  virtual bool QuoteTipVisible() = 0;
  virtual void HideQuoteTip() = 0;
  virtual void NavigateNotice(const std::string& address) = 0;

  // ---- the system ----
  virtual void StartProgram(const std::string& path) = 0;  // shown normally
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual void Sleep(int milliseconds) = 0;
  virtual void SetScreenSaverActive(bool active) = 0;
  virtual void OpenInBrowser(const std::string& address) = 0;  // maximised
  virtual void StartCalculator() = 0;
  // Starts the configured trading program; false when none started.
  virtual bool LaunchOrderProgram() = 0;

  // ---- outside libraries and the session ----
  virtual void BindLibraries() = 0;
  virtual void AccountInit() = 0;   // the account service's Init with the window, when bound
  virtual void AccountFInit() = 0;  // its FInit, when bound
  virtual void EngineQuit() = 0;    // the quote engine's Stock_Quit, when bound
  virtual void UnbindLibraries() = 0;
  virtual void Login() = 0;
  virtual void Logout() = 0;
  // The user information fetched again; the level label shows it.
  virtual void RefreshUserInfo() = 0;
  // Stops the session's workers without waiting long for one inside a
  // network call; false when one of them is still running.
  virtual bool DisconnectMessageConnection() = 0;
  virtual void LoadShareFeed() = 0;
  virtual void ClearShareFeed() = 0;
  // The online version check; quiet at start-up. The answer comes back
  // through Tfrmmain::VersionCheckDone; the quiet one also calls
  // Tfrmmain::StartupCheckOverdue after StartupCheckGraceMs.
  virtual void StartVersionCheck(bool quiet) = 0;
  // Downloads and checks the newer version's installer and, when it passed,
  // closes the program for it: true then. False when it did not come (the
  // user was told) or the user cancelled; nothing has changed.
  virtual bool StartUpgrade(const VersionInfo& newest) = 0;
  // The message connection, for the trade-line broadcast.
  virtual IMessageSender& Messages() = 0;
  // The single-quote request of the quote engine.
  virtual void RequestQuote(const std::string& code, quotes::TQuoteReport& out) = 0;
  virtual void PlaySound(const std::string& path, bool wait) = 0;
};

// The account service's message when its login session connection drops.
inline constexpr uint32_t kLoginSessionLost = 0x464;
inline constexpr char kQuoteLostText[] =
    "自动盯盘行情连接断开！无法获取行情数据，自动盯盘失效！系统会自动重连，直到连接为止。";
inline constexpr char kQuoteRestoredText[] = "自动盯盘行情行情重新连接成功！功能正常！";
inline constexpr char kSessionLostText[] =
    "登录会话断开连接，可能影响晒股信息的收发和在线时间的更新！系统会自动重连，直到连接为止。";

// The frame drawn inside a row's "当前价" cell after a quote.
enum class PriceFrame : uint8_t { None, Yellow, Green, Red };
// Yellow when the open and the newest price read the same at three
// decimals; green when the open is above the newest price, red below it.
PriceFrame PriceFrameOf(float open, float newestPrice);

// What the quote dispatch reaches beyond the window's own state: the quote
// windows and the message queue (the view's).
class IQuoteDispatchHost {
 public:
  virtual ~IQuoteDispatchHost() = default;
  // Lets the window messages waiting now run, once.
  virtual void ProcessMessages() = 0;
  // The quote debug window exists and is visible.
  virtual bool DebugWindowVisible() = 0;
  virtual void ShowDebugReport(const quotes::TQuoteReport& report) = 0;
  // The quote tip window is visible and shows this code.
  virtual bool QuoteTipShows(std::string_view code) = 0;
  virtual void ShowTipReport(const quotes::TQuoteReport& report) = 0;
};

// The state of the set-price fine-tune field.
struct FineTuneField {
  bool visible = false;
  bool enabled = false;
  int left = 0, top = 0, width = 0, height = 0;  // client coordinates of the window
  std::string text;
  bool focused = false;
};

// What a click on the list found.
struct ListClick {
  int selectedRow = -1;  // the focused, selected row; -1 when none
  int subItem = -1;      // the column under the mouse in that row, -1 outside it
  // The row's set-price cell in the field's parent's coordinates, as the
  // list shows it now (columns may have been dragged or scrolled).
  struct {
    int left = 0, top = 0, width = 0, height = 0;
  } cell;
};

// Parts of the window that changed since the view last looked.
enum Change : uint32_t {
  kChangeList = 1u << 0,      // rows rebuilt
  kChangeRows = 1u << 1,      // some rows' cells (ChangedRows)
  kChangeCommands = 1u << 2,  // enabled and checked states
  kChangeStatus = 1u << 3,    // panes, level label, marquee
  kChangeActivity = 1u << 4,
  kChangeFineTune = 1u << 5,
  kChangePages = 1u << 6,
  kChangeTimer = 1u << 7,
  kChangePrices = 1u << 8,    // some rows' price cells and frames (TakeChangedPrices)
  kChangeAll = 0xFFFFFFFFu,
};

class Tfrmmain final : public policy::IMonitorHost, public trading::ITradingMainWindow {
 public:
  // clock: the local clock; marketClock: Beijing time (base::BeijingNow).
  Tfrmmain(std::string applicationFolder, IFrmmainHost& host, trading::IDesktop& desktop, LogClock clock,
           LogClock marketClock);
  ~Tfrmmain() override;

  // ---- lifecycle ----
  void FormCreate();
  void FormShow();
  // The close question; true when the window may close.
  bool FormCloseQuery();
  void FormDestroy();
  // Windows asks whether the session may end (WM_QUERYENDSESSION): not
  // while an order is typed (kEndSessionDuringOrderText says why).
  bool EndSessionRefused() const { return flags_.orderInProgress; }
  // Windows is logging off or shutting down (WM_ENDSESSION): the saving
  // part of destruction, now, since the process may end without it; never
  // waiting for a lock, since this may run inside an order's pumping.
  void EndSession();

  // ---- commands and events ----
  void Command(Cmd cmd);
  // The list pop-up's commands, on the list's focused row (-1 none).
  void PopupCommand(Cmd cmd, int focusedRow);
  void F12Pressed() { Command(Cmd::Entrust); }
  void RzListViewClick(const ListClick& click);
  void RzListViewDblClick(int selectedRow);
  // Mouse over the list: the row under it (-1 none), whether this program
  // is the foreground application, the mouse's screen position.
  void RzListViewMouseMove(int row, bool foreground, int screenX, int screenY);
  // The mouse left the list: the tip goes.
  void RzListViewMouseLeave() {
    if (host_.QuoteTipVisible()) host_.HideQuoteTip();
    hoveredId_ = -1;  // coming back to the same row shows the tip again
  }
  // A right click: true when the pop-up menu is shown.
  bool RzListViewContextPopup() const;
  // The fine-tune field was left or Enter was pressed in it.
  void RzSpinEditPriceExit(const std::string& text);
  void TrayIconClick();      // left click
  void TrayBalloonClick();
  void TimerAutoActiveTimer();
  void VersionCheckDone(const VersionCheckResult& result, bool quiet);
  // The start-up check has not answered in time: the login starts without
  // it (a slow vendor site must not keep an unattended start from its
  // monitors); an answer that comes later asks about an upgrade only.
  void StartupCheckOverdue();
  static constexpr int StartupCheckGraceMs = 2000;
  // A click on the level label refreshes the user information it shows;
  // logged out there is none to fetch.
  void LevelLabelClick() {
    if (flags_.loggedIn) host_.RefreshUserInfo();
  }

  // ---- operations other parts call ----
  void RebuildMonitorList() override;
  void SetLoginPane(const std::string& text);
  void SetDatePane(const std::string& text);
  void SetAssociationPane(const std::string& text) override;
  void ShowAssociationWarning(bool on) override;
  void TickActivityBar();
  void ShowBalloon(const std::string& title, const std::string& text) override;
  void ShowMonitorBalloon(const std::string& title, const policy::TPolicyRecord& monitor);
  void EnableLoggedInFeatures(bool on);
  void ShowUserLevel(int level, int64_t onlineSeconds, int levelIcon);
  void StartAllMonitoring();
  void StopAllMonitoring();
  // The login flow's changes of the flag (the logout item follows it, the
  // login item the opposite way).
  void SetLoggedIn(bool loggedIn, const std::string& userId);
  // Status pane 1: the state of the message connection.
  void SetMessagePane(const std::string& text);
  // The level label's hint, one entry per line.
  void SetLevelHint(std::vector<std::string> lines);
  // The application title and caption of a logged-out window.
  void ResetTitles();
  // The parameters in memory changed (the settings dialog saved): the
  // monitor loop and the association take their copies again.
  void ApplyParameters();

  // ---- the quote engine ----
  // The bound engine (the view's) and the window its quote messages go to;
  // every publish of the watched labels reaches the engine from then on.
  void AttachQuoteEngine(quotes::IQuoteEngine* engine, uintptr_t window);
  // The engine start of a successful login, after the logged-in flag was
  // set: the labels as last published, Init, Start with the login session
  // and the user identifier. False when the engine refused: the flag is
  // clear again, the engine quit, the user told, and the login must end.
  bool StartQuoteEngine();
  // The engine stop of a logout.
  void StopQuoteEngine() { host_.EngineQuit(); }

  // ---- quote and connection messages ----
  void SetQuoteDispatchHost(IQuoteDispatchHost* host) { dispatch_ = host; }
  IQuoteDispatchHost* QuoteDispatchHost() const { return dispatch_; }
  // 0x463: with the packet kind, every report of the packet goes to the
  // monitor loop, the price column and the quote windows; then, whatever
  // the kind, the pending window messages run.
  void QuoteMessage(uint32_t wordParam, const void* packet);
  // 0x465, 0x467 and 0x464: every fourth of them, counted together, is
  // shown as a balloon.
  void ConnectionMessage(uint32_t message);
  int ConnectionNoticeCount() const { return noticeCounter_; }
  PriceFrame RowPriceFrame(size_t row) const { return row < frames_.size() ? frames_[row] : PriceFrame::None; }
  // Rows whose price cell changed since the view last asked, each once.
  std::vector<int> TakeChangedPrices();

  // Called when the window's state starts to differ from what the view
  // last took (once until TakeChanges), whoever changed it.
  std::function<void()> onChanged;

  // Hands the saves of every rebuild to a worker (the view's); without one
  // each rebuild writes the store itself. Destruction always writes it.
  void SetStoreSaver(TStoreSaver* saver) { saver_ = saver; }
  // Every quote report received is handed to the day tape recorder (the
  // view's, while recording is on) before anything else sees it.
  void SetDayTapeRecorder(quotes::TDayTapeRecorder* recorder) { tapes_ = recorder; }
  // The codes of the securities the running monitors watch (the labels last
  // published) and order instead (the targets of running and fired ones):
  // what the day tape keeps. Safe on any thread.
  std::vector<std::string> WatchedCodes();

  // ---- state the view shows ----
  uint32_t TakeChanges() { uint32_t c = changes_; changes_ = 0; return c; }
  std::vector<int> TakeChangedRows() { return std::move(changedRows_); }
  bool Enabled(Cmd cmd) const;
  bool Checked(Cmd cmd) const;
  bool ListEnabled() const { return featuresOn_; }
  bool LevelIconEnabled() const { return featuresOn_; }
  size_t RowCount() const { return rows_.size(); }
  const policy::TPolicyRecord& RowRecord(size_t row) const { return rows_[row]; }
  std::string Cell(size_t row, int column) const;
  int RowIconOf(size_t row) const;
  int StateIconOfRow(size_t row) const;
  // A triggered row whose order was refused, not sent or went unanswered.
  bool RowStandsOut(size_t row) const;
  const std::string& Pane(int index) const { return panes_[index]; }  // 0..2 and 3 = date
  enum PaneIndex { kPane1 = 0, kPane2 = 1, kPane3 = 2, kPaneDate = 3 };
  bool MarqueeVisible() const { return marqueeOn_; }
  int ActivityParts() const { return activity_; }
  const FineTuneField& FineTune() const { return fineTune_; }
  bool ShareTabVisible() const { return featuresOn_; }
  int ActivePage() const { return activePage_; }  // 0 "公告栏", 1 "晒股信息"
  void SetActivePage(int page) { activePage_ = page; }
  const std::string& LevelCaption() const { return levelCaption_; }
  int LevelIcon() const { return levelIcon_; }
  const std::vector<std::string>& LevelHint() const { return levelHint_; }
  bool AntiLockTimerEnabled() const { return Checked(Cmd::AntiLock); }
  uint32_t AntiLockIntervalMs() const { return trading_->AntiLockIntervalMs(); }
  const std::string& SelectedSecurity() const { return selectedSecurity_; }
  int HoveredId() const { return hoveredId_; }
  const std::string& NoticeAddress() const { return noticeAddress_; }

  // ---- what the window owns ----
  app::ProcessFlags& Flags() { return flags_; }
  policy::TPolicyList& Monitors() { return monitors_; }
  settings::TSettings& Settings() { return settings_; }
  policy::TMonitorLoop& MonitorLoop() { return *loop_; }
  trading::TTradingWindow& TradingWindow() { return *trading_; }
  TLogWriters& Logs() { return *logs_; }
  const std::string& ApplicationFolder() const { return settings_.ApplicationFolder(); }

  // ---- policy::IMonitorHost ----
  base::TDateTime Now() override;
  base::TDateTime MarketNow() override { return marketClock_(); }
  void PlaySound(const std::string& path, bool wait) override { host_.PlaySound(path, wait); }
  bool BlockInput(bool block) override { return desktop_.BlockInput(block); }
  void EnableMainWindow(bool enable) override { host_.EnableMainWindow(enable); }
  void PlaceOrder(policy::TTradeRecord order) override;
  void MinimizeTradingWindow() override;
  void RequestQuote(const std::string& code, quotes::TQuoteReport& out) override;
  bool RequestLimits(const std::string& code, double& limitUp, double& limitDown) override {
    return engine_ && engine_->GetLimits(code, limitUp, limitDown);
  }
  void BroadcastTradeLine(const std::string& userId, const std::string& line) override;
  void OrderStarting(const policy::TOrderOutcome& order) override;
  void OrderScriptEnded() override;
  void OrderNotPlaced(const policy::TOrderOutcome& outcome) override { RecordOrderOutcome(outcome); }

  // ---- order outcomes ----
  // Where an order's outcome becomes final, the one place: the order-step
  // log line, the row's "委托结果" cell, log\orders.csv, and for anything
  // but an accepted order the warning balloon and res\warning.wav.
  void RecordOrderOutcome(const policy::TOrderOutcome& outcome);
  // Final outcomes are also told beyond this PC (push notifications); null: not.
  void SetOutcomeNotice(IOutcomeNotice* notice) { outcomeNotice_ = notice; }
  // The broker's boxes are read, and watched orders made final, on the
  // view's timer (OrderWatchIntervalMs) while OrderWatchActive(); lines of
  // log\orders.csv that a spreadsheet held are tried again on it too.
  void OrderWatchTick();
  bool OrderWatchActive() const {
    return (watch_ && watch_->Watching()) || (ordersCsv_ && ordersCsv_->Waiting() > 0);
  }
  static constexpr int OrderWatchIntervalMs = 100;
  std::string OrdersCsvPath() const;

  // What "帮助[&H]" opens: the user's own "帮助URL" when set, otherwise the
  // guide shipped beside the program (kGuideFile), or the vendor's help page
  // when that is missing.
  std::string HelpAddress() const;

  // ---- trading::ITradingMainWindow ----
  std::string ApplicationTitle() override { return applicationTitle_; }
  void SetTitles(const std::string& title) override;
  void ShowProgress(const std::string& text) override { host_.ShowProgress(text); }
  void StepProgress() override { host_.StepProgress(); }
  void CloseProgress() override { host_.CloseProgress(); }
  void ShowInformation(const std::string& text, const std::string& title) override {
    host_.ShowInformation(text, title);
  }
  void WriteDailyLog(const std::string& text) override { logs_->WriteDailyLog(text, true); }
  void WriteOrderStepLog(const std::string& category, const std::string& text) override {
    logs_->WriteOrderStepLog(category, text);
  }
  bool LaunchOrderProgram() override { return host_.LaunchOrderProgram(); }
  void ShowProfileDownload() override { host_.OpenDialog(Dialog::DownloadConfig); }
  trading::ScreenSize MainWindowSize() override { return host_.MainWindowSize(); }
  void MoveMainWindow(int left, int top) override { host_.MoveMainWindow(left, top); }

 private:
  void DeleteCachedPictures();
  void RunPendingPatch();
  void ToggleOption(Cmd cmd);
  void Entrust();
  void Mark(uint32_t change) {
    const bool first = changes_ == 0;
    changes_ |= change;
    if (first && onChanged) onChanged();
  }
  void ReportStoreFailure(const std::string& title, const std::string& text);
  void LoadMonitorStore();
  // Renames the unreadable store out of the way; false (the store is held:
  // no save) while that fails.
  bool SetUnreadableStoreAside();
  bool RefuseCloseDuringOrder();
  // The final save; `tellUser` shows a failure in a box.
  bool SaveStoreAtEnd(bool tellUser, bool sessionEnding);

  IFrmmainHost& host_;
  trading::IDesktop& desktop_;
  quotes::IQuoteEngine* engine_ = nullptr;
  uintptr_t engineWindow_ = 0;
  LogClock clock_;
  LogClock marketClock_;
  app::ProcessFlags flags_;
  settings::TSettings settings_;
  policy::TPolicyList monitors_;
  policy::TPolicyStoreWriter storeWriter_;
  TStoreSaver* saver_ = nullptr;
  quotes::TDayTapeRecorder* tapes_ = nullptr;
  bool storeHeld_ = false;   // an unreadable store that could not be set aside
  std::string storeAside_;   // where an unreadable store went
  bool sessionEnded_ = false;
  bool startupCheckAnswered_ = false;
  bool startupLoginStarted_ = false;
  policy::MonitorOptions loopOptions_;
  trading::TTradingOptions tradingOptions_;
  std::unique_ptr<policy::TMonitorLoop> loop_;
  std::unique_ptr<trading::TTradingWindow> trading_;
  std::unique_ptr<trading::TOrderPlacer> placer_;
  std::unique_ptr<trading::TOrderWatch> watch_;
  std::unique_ptr<TOrdersCsv> ordersCsv_;
  bool ordersCsvHeldTold_ = false;  // the user knows that lines wait
  int ordersCsvTicks_ = 0;
  bool exiting_ = false;            // outcomes made final by the close warn nobody
  std::unordered_map<int32_t, policy::TOrderOutcome> outcomes_;  // by monitor id, the last order's
  IOutcomeNotice* outcomeNotice_ = nullptr;
  std::unique_ptr<TLogWriters> logs_;

  std::string applicationTitle_ = kApplicationTitle;
  std::string noticeAddress_;
  std::vector<policy::TPolicyRecord> rows_;  // each row's private copy
  std::vector<int> changedRows_;
  uint32_t changes_ = kChangeAll;
  std::array<std::string, 4> panes_{"", "未登录", "", ""};
  std::string levelCaption_ = "0级";
  int levelIcon_ = 0;
  std::vector<std::string> levelHint_;
  bool marqueeOn_ = false;
  int activity_ = 0;
  bool featuresOn_ = false;
  bool logoutEnabled_ = false;
  bool antiLockChecked_ = true;
  int activePage_ = 0;
  FineTuneField fineTune_;
  int fineTuneRow_ = -1;
  int hoveredId_ = -1;
  std::string selectedSecurity_;

  // The quote dispatch's view of the rows: an index from the 10 code bytes
  // to the rows (built on the first quote after a rebuild), each row's
  // frame, and the price cells changed since the view last looked.
  void UpdatePriceColumn(const quotes::TQuoteReport& report);
  const std::vector<int>* RowsOfCode(const char (&code)[10]);
  IQuoteDispatchHost* dispatch_ = nullptr;
  std::unordered_map<std::string, std::vector<int>> rowsByCode_;
  bool rowsByCodeValid_ = false;
  std::vector<PriceFrame> frames_;
  std::vector<uint8_t> priceChanged_;
  std::vector<int> changedPrices_;
  int noticeCounter_ = 0;
};

}  // namespace app
