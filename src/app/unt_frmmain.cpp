#include "app/unt_frmmain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "app/unt_orderoutcomes.h"
#include "policy/unt_orderrules.h"
#include "policy/unt_policy_describe.h"
#include "policy/unt_setpricechecks.h"
#include "quotes/login_session.h"
#include "quotes/unt_externalapi.h"
#include "settings/options_record.h"
#include "trading/sndkey32.h"

namespace app {

// ---- tables ----------------------------------------------------------------

const std::vector<MenuDef>& MainMenu() {
  static const std::vector<MenuDef> menu = {
      {"登录[&L]",
       {{Cmd::Login, "登录[&L]", false, false},
        {Cmd::Logout, "注销[&O]", false, false},
        {Cmd::AccountInfo, "账户信息[&A]", true, false},
        {Cmd::None, "", false, false},
        {Cmd::Exit, "退出[&E]", false, false}}},
      {"配置[&O]",
       {{Cmd::DownloadConfig, "下载配置[&D]", true, false}, {Cmd::CaptionTool, "关联配置[&O]", true, false}}},
      {"交易[&B]",
       {{Cmd::StartAll, "启动所有监控[&S]", true, false},
        {Cmd::StopAll, "停止所有监控[&P]", true, false},
        {Cmd::None, "", false, false},
        {Cmd::TradeLog, "触发记录[&L]", true, false}}},
      {"监控模式[&P]",
       {{Cmd::AddPayoff, "移动止盈[&S]", true, false},
        {Cmd::AddLossLimit, "条件止损[&P]", true, false},
        {Cmd::AddPrice, "价位监控[&E]", true, false},
        {Cmd::AddTime, "时间监控[&T]", true, false},
        {Cmd::AddLimitDown, "限价下跌反弹[&L]", false, false},
        {Cmd::AddIndex, "指数监控[&Z]", false, false}}},
      {"工具[&T]",
       {{Cmd::AntiLock, "防止交易软件自动锁定", true, true},
        {Cmd::MinimiseAfterOrder, "下单完成后最小化交易软件", true, true},
        {Cmd::Sound, "开启提示声音[&S]", true, true},
        {Cmd::QuoteTip, "显示行情提示框[&T]", true, true},
        {Cmd::None, "", false, false},
        {Cmd::AutoShutdown, "自动关机设定[&A]", true, false},
        {Cmd::Calculator, "计算器[&C]", true, false},
        {Cmd::Replay, "回测…", false, false},
        {Cmd::None, "", false, false},
        {Cmd::Settings, "设置[&O]", true, false},
        {Cmd::Notify, "消息推送[&N]", false, false}}},
      {"更新[&U]",
       {{Cmd::CheckVersion, "检测最新版本[&D]", false, false},
        {Cmd::UpdateHistory, "查看更新历史[&H]", false, false}}},
      {"关于[&A]", {{Cmd::Help, "帮助[&H]", false, false}, {Cmd::About, "关于[&A]", false, false}}},
  };
  return menu;
}

const std::vector<MenuItemDef>& ListPopupMenu() {
  static const std::vector<MenuItemDef> items = {
      {Cmd::PopStart, "启动[&B]", false, false},     {Cmd::PopStop, "停止[&S]", false, false},
      {Cmd::None, "", false, false},                 {Cmd::PopDelete, "删除[&D]", false, false},
      {Cmd::PopDeleteAll, "删除全部[&A]", false, false}, {Cmd::None, "", false, false},
      {Cmd::PopRefresh, "刷新[&F]", false, false},
  };
  return items;
}

const std::vector<MenuItemDef>& TrayMenu() {
  static const std::vector<MenuItemDef> items = {
      {Cmd::TrayOpen, "打开[&O]", false, false},
      {Cmd::TrayAbout, "关于[&A]", false, false},
      {Cmd::None, "", false, false},
      {Cmd::TrayExit, "退出[&E]", false, false},
  };
  return items;
}

const std::array<ToolButtonDef, 8>& ToolButtons() {
  static const std::array<ToolButtonDef, 8> buttons = {{
      {Cmd::TbStart, "bsSkinSpeedBtnStart", "启动所有监控"},
      {Cmd::TbStop, "bsSkinSpeedBtnStop", "停止所有监控"},
      {Cmd::TbAddPayoff, "bsSkinBtnAddPayoff", "添加移动止盈"},
      {Cmd::TbAddLossLimit, "bsSkinBtnAddPrice", "添加条件止损"},
      {Cmd::TbPrice, "bsSkinBtnTrade", "按价位监控"},
      {Cmd::TbTime, "bsSkinBtnTime", "按时间监控"},
      {Cmd::TbShowStock, "bsSkinBtnShowStock", "晒股"},
      {Cmd::TbRefresh, "bsSkinBtnRefresh", "刷新"},
  }};
  return buttons;
}

const std::array<ColumnDef, kMonitorColumnCount>& MonitorColumns() {
  static const std::array<ColumnDef, kMonitorColumnCount> columns = {{
      {"序号", 40, Align::Left},
      {"启动/策略", 85, Align::Centre},
      {"代码", 55, Align::Centre},
      {"名称", 80, Align::Left},
      {"设定价", 70, Align::Right},
      {"当前价", 70, Align::Right},
      // Narrower than the description's full length, so that "委托结果"
      // stays inside the window at its first size (980 wide); the whole
      // description is in the monitor's editor.
      {"操作", 320, Align::Left},
      {"委托结果", 180, Align::Left},
  }};
  return columns;
}

int RowIcon(uint8_t kind, bool fired) {
  kind &= 0x7F;
  if (kind < policy::kKindPayoff || kind > policy::kKindIndex) kind = policy::kKindPair;
  return (kind - 1) * 2 + (fired ? 1 : 0);
}

int StateIconOf(uint8_t state) {
  if (state == policy::kStateRunning) return kStateIconStart;
  if (state == policy::kStateStopped) return kStateIconStop;
  return kStateIconTriggered;
}

namespace {

std::string SetPriceCell(const policy::TPolicyRecord& r) {
  if ((r.kind & 0x7F) == policy::kKindTime && r.priceBasis == policy::kBasisTradePrice) return kTradePriceText;
  return base::FormatPrice(r.setPrice);
}

}  // namespace

std::string MonitorCell(const policy::TPolicyRecord& r, int column) {
  switch (column) {
    case 0: return std::to_string(r.id);
    case 1: return policy::ShortKindText(r);
    case 2: return policy::CodeText(r);
    case 3: return policy::NameUtf8(r);
    case 4: return SetPriceCell(r);
    case 5: return base::FormatPrice(r.newestPrice);
    case 6: return policy::DescriptionUtf8(r);
    default: return {};
  }
}

PriceFrame PriceFrameOf(float open, float newestPrice) {
  const PriceFrame apart = open > newestPrice ? PriceFrame::Green : PriceFrame::Red;
  if (open == newestPrice) return PriceFrame::Yellow;
  // Two prices more than 0.001 apart never read the same at three
  // decimals; only closer ones need their texts compared. This runs for
  // every report of every packet.
  if (std::fabs(static_cast<double>(open) - newestPrice) > 0.001) return apart;
  return base::FormatPrice(open) == base::FormatPrice(newestPrice) ? PriceFrame::Yellow : apart;
}

// ---- the window ------------------------------------------------------------

namespace {

// Items whose enabled state follows the login.
bool NeedsLogin(Cmd cmd) {
  switch (cmd) {
    case Cmd::TbStart: case Cmd::TbStop: case Cmd::TbAddPayoff: case Cmd::TbAddLossLimit:
    case Cmd::TbPrice: case Cmd::TbTime: case Cmd::TbShowStock: case Cmd::TbRefresh:
      return true;
    default:
      break;
  }
  for (const MenuDef& menu : MainMenu()) {
    for (const MenuItemDef& item : menu.items) {
      if (item.cmd == cmd) return item.needsLogin;
    }
  }
  return false;
}

}  // namespace

Tfrmmain::Tfrmmain(std::string applicationFolder, IFrmmainHost& host, trading::IDesktop& desktop,
                   LogClock clock, LogClock marketClock)
    : host_(host),
      desktop_(desktop),
      clock_(std::move(clock)),
      marketClock_(std::move(marketClock)),
      settings_(std::move(applicationFolder)),
      storeWriter_(policy::PolicyStorePath(settings_.ApplicationFolder()),
                   [this](const std::string& title, const std::string& text) { ReportStoreFailure(title, text); }) {
  loopOptions_.appFolder = settings_.ApplicationFolder();
  logs_ = std::make_unique<TLogWriters>(settings_.ApplicationFolder(), flags_, &host_.Messages(), clock_);
}

Tfrmmain::~Tfrmmain() = default;

void Tfrmmain::ReportStoreFailure(const std::string& title, const std::string& text) { ShowBalloon(title, text); }

base::TDateTime Tfrmmain::Now() { return clock_(); }

void Tfrmmain::DeleteCachedPictures() {
  std::error_code ec;
  const std::filesystem::path data = base::PathFromUtf8(settings_.ApplicationFolder() + "data");
  for (std::filesystem::directory_iterator it(data, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string ext = base::PathToUtf8(it->path().extension());
    if (base::SameTextAscii(ext, ".jpg") || base::SameTextAscii(ext, ".bmp")) {
      host_.RemoveFile(base::PathToUtf8(it->path()));
    }
  }
}

void Tfrmmain::RunPendingPatch() {
  const std::string patch = settings_.ApplicationFolder() + "patch.exe";
  if (!base::FileExists(patch)) return;
  host_.StartProgram(patch);
  if (!host_.RemoveFile(patch)) {
    // The patch may still hold its own file for a moment.
    host_.Sleep(2000);
    host_.RemoveFile(patch);
  }
}

void Tfrmmain::FormCreate() {
  flags_.closing = false;
  RunPendingPatch();
  host_.SetCaption(kCaptionText);
  noticeAddress_ = ReadVendorSite(settings_.ApplicationFolder()).NoticePage();
  host_.SetScreenSaverActive(false);
  DeleteCachedPictures();

  // Settings, in the order each depends on the one before.
  settings_.LoadTradingSettings();
  settings::ReadParameters(settings_.SetupPath(), settings_.parameters);
  host_.SetAlphaBlend(settings_.parameters.mainWindowAlpha);
  settings::ReadOptions(settings_.OptionsPath(), settings_.options);
  loopOptions_.soundOn = settings_.options.soundOn != 0;
  loopOptions_.minimizeAfterOrder = settings_.parameters.minimiseAfterOrder;
  tradingOptions_.antiLockSeconds = settings_.parameters.antiLockSeconds;
  tradingOptions_.tradingWindowAlpha = settings_.parameters.tradingWindowAlpha;
  tradingOptions_.minimiseAfterOrder = settings_.parameters.minimiseAfterOrder;
  host_.BindLibraries();
  host_.AccountInit();

  trading_ = std::make_unique<trading::TTradingWindow>(desktop_, *this, flags_, settings_.profile, tradingOptions_);
  placer_ = std::make_unique<trading::TOrderPlacer>(desktop_, *this, *trading_, settings_.profile);
  watch_ = std::make_unique<trading::TOrderWatch>(desktop_, [this] { return std::llround(Now() * 86400000.0); });
  watch_->words = trading::OutcomeWords::Load(
      base::PathToUtf8(base::PathFromUtf8(ApplicationFolder()) / trading::kOutcomeWordsFile));
  watch_->onFinal = [this](const policy::TOrderOutcome& outcome) { RecordOrderOutcome(outcome); };
  // The exchanges' rules the orders are checked against.
  policy::LoadTradeRules(ApplicationFolder());
  ordersCsv_ = std::make_unique<TOrdersCsv>(OrdersCsvPath());
  placer_->beforeInput = [this] { watch_->Scan(); };
  loop_ = std::make_unique<policy::TMonitorLoop>(monitors_, flags_, *this, loopOptions_);
  antiLockChecked_ = true;
  Mark(kChangeTimer);

  EnableLoggedInFeatures(false);
  LoadMonitorStore();
  host_.LoadShareFeed();
  ShowAssociationWarning(false);
}

// A store that exists but cannot be read (held by another program, denied,
// too large for memory) is never saved over: it goes aside under a name
// that says so, and the user is told where it is.
void Tfrmmain::LoadMonitorStore() {
  policy::StoreLoadResult loaded;
  try {
    loaded = monitors_.LoadStore(storeWriter_.Path());
  } catch (const std::exception& e) {
    loaded.ok = false;
    loaded.error = e.what();
  }
  if (loaded.ok) return;
  monitors_.RemoveAll();
  const std::string& path = storeWriter_.Path();
  const std::string reason = "监控记录文件 " + path + " 无法读取（" + loaded.error + "）。";
  if (SetUnreadableStoreAside()) {
    host_.ShowInformation(reason + "\r\n原文件未作改动，已改名为 " + storeAside_ +
                              "\r\n监控列表暂时为空；请检查该文件，或重新添加监控。",
                          kApplicationTitle);
  } else {
    host_.ShowInformation(reason + "\r\n该文件也无法改名，程序不会覆盖它：在它能被移开之前，监控列表的改动不会保存。"
                                   "请关闭占用该文件的程序后重新启动本程序。",
                          kApplicationTitle);
  }
}

bool Tfrmmain::SetUnreadableStoreAside() {
  const std::string& path = storeWriter_.Path();
  const std::string aside = UnreadableStorePath(path, clock_());
  std::error_code ec;
  std::filesystem::rename(base::PathFromUtf8(path), base::PathFromUtf8(aside), ec);
  storeHeld_ = ec && base::FileExists(path);
  if (!storeHeld_) storeAside_ = aside;
  return !storeHeld_;
}

std::string UnreadableStorePath(const std::string& path, base::TDateTime when) {
  return path + ".unreadable-" + base::FormatDateTime("yyyymmdd-hhnnss", when);
}

std::string SingleCopyName(const std::string& applicationFolder) {
  std::string folder = applicationFolder;
  for (char& c : folder) {
    if (c == '/') c = '\\';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (folder.rfind("\\\\?\\unc\\", 0) == 0) folder = "\\\\" + folder.substr(8);
  else if (folder.rfind("\\\\?\\", 0) == 0) folder = folder.substr(4);
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : folder) hash = (hash ^ c) * 1099511628211ull;
  std::string name = "Local\\quorvel-";
  for (int shift = 60; shift >= 0; shift -= 4) name += "0123456789abcdef"[(hash >> shift) & 0xF];
  return name;
}

void Tfrmmain::FormShow() {
  if (!settings_.parameters.hideStartupNotice) {
    const std::string text =
        "为确保下单成功，请确认以下条件是否具备：\r\n"
        "1、宽带网络已经正常连接。\r\n"
        "2、需监控的股票交易软件已经打开(如同花顺闪电下单)。\r\n"
        "3、已关闭不必要的程序，以免干扰自动下单。\r\n"
        "4、不要锁定计算机，会影响下单。\r\n"
        "5、取消下单软件买卖委托前的密码校验功能(例如：安信证券)。\r\n"
        "6、最好关闭下单软件的自动锁定功能。";
    const bool showAgain = host_.ShowNoticeWithCheck(text, "使用提示！", true);
    if (base::FileExists(settings_.SetupPath())) {
      settings_.parameters.hideStartupNotice = !showAgain;
      try {
        base::IniFile(settings_.SetupPath()).WriteBool(settings::kParameterSection, "关闭启动提示", !showAgain);
      } catch (const base::EIniFileException& e) {
        // setup.ini is kept as it is (it may be held by another program);
        // the choice holds for this run only.
        ShowBalloon(kApplicationTitle, std::string("“关闭启动提示”未能保存：") + e.what());
      }
    }
  }
  RebuildMonitorList();
  host_.SetCaption(kCaptionText);
  Mark(kChangeCommands);
  host_.NavigateNotice(noticeAddress_);
  host_.StartVersionCheck(true);
}

void Tfrmmain::StartupCheckOverdue() {
  if (startupCheckAnswered_ || startupLoginStarted_ || flags_.closing) return;
  startupLoginStarted_ = true;
  Command(Cmd::Login);
}

void Tfrmmain::VersionCheckDone(const VersionCheckResult& result, bool quiet) {
  if (quiet) startupCheckAnswered_ = true;
  if (!result.error.empty())
    base::AppendLine(base::PathToUtf8(base::PathFromUtf8(logs_->LogFolder()) / kUpdateLogFile),
                     base::Utf8ToGbkLossy(LogTimeStamp(clock_()) + "检测最新版本：" + result.error));
  if (result.outcome == VersionCheckResult::Newer) {
    const std::string text = "发现新版本 " + result.newest.version +
                             (result.newest.notes.empty() ? "" : "：\r\n" + result.newest.notes) +
                             "\r\n\r\n现在升级吗？选择“否”以后再升级。";
    if (host_.AskYesNo(text, "软件升级")) {
      // Monitors may have been started while the question was open.
      if (monitors_.AnyRunning()) host_.ShowInformation(kUpdateWhileMonitoring, kApplicationTitle);
      else if (host_.StartUpgrade(result.newest)) return;  // the program closes for the installer
    }
  } else if (!quiet) {
    host_.ShowInformation(result.outcome == VersionCheckResult::Failed    ? "检测最新版本失败，请稍后再试。"
                          : result.outcome == VersionCheckResult::Refused ? kUpdateRefused
                                                                          : "当前已是最新版本。",
                          kApplicationTitle);
  }
  // The start-up check leads to the login, whatever came of it, as the
  // command would: not once the user has logged in during the check, nor
  // a second time after the check was overdue.
  if (quiet && !flags_.closing && !startupLoginStarted_) Command(Cmd::Login);
}

bool Tfrmmain::FormCloseQuery() {
  // Closing in the middle of an order (the tray menu stays live while the
  // main window is disabled) would tear down what the order script runs
  // on; the order is short, the user closes after it.
  if (RefuseCloseDuringOrder()) return false;
  const bool yes = host_.AskYesNo(kCloseQuestion, "提示");
  if (yes && RefuseCloseDuringOrder()) return false;
  flags_.closing = yes;
  return yes;
}

bool Tfrmmain::RefuseCloseDuringOrder() {
  if (!flags_.orderInProgress) return false;
  ShowBalloon(kApplicationTitle, kCloseDuringOrderText);
  return true;
}

bool Tfrmmain::SaveStoreAtEnd(bool tellUser, bool sessionEnding) {
  // Nothing older may land after the last save. At the end of the session
  // this may run inside an order's message pumping, in the middle of a
  // monitor pass that holds the list lock: the worker, waiting for that
  // lock, is not waited for (SaveLast).
  if (saver_ && !sessionEnding) saver_->Flush();
  if (storeHeld_) {
    if (!SetUnreadableStoreAside()) {
      if (tellUser) host_.ShowInformation(kStoreHeldAtEndText + storeWriter_.Path(), kApplicationTitle);
      return false;
    }
    if (tellUser) host_.ShowInformation(kStoreSetAsideText + storeAside_, kApplicationTitle);
  }
  // The tray icon is gone by now: a failure is told in a box, and the
  // last good file stays as it was.
  policy::StoreSaveResult saved;
  if (saver_ && sessionEnding) saved.ok = saver_->SaveLast(monitors_.StoreBytes(), &saved.error);
  else saved = monitors_.SaveStore(storeWriter_.Path());
  if (!saved.ok && tellUser)
    host_.ShowInformation(policy::StoreFailureText(storeWriter_.Path(), saved.error), policy::kStoreFailureTitle);
  return saved.ok;
}

void Tfrmmain::EndSession() {
  if (sessionEnded_) return;
  sessionEnded_ = true;
  flags_.closing = true;
  // Windows may end the process as soon as this returns: no box, just the
  // saving part of destruction.
  SaveStoreAtEnd(false, true);
  host_.EngineQuit();
}

void Tfrmmain::FormDestroy() {
  // Orders whose answer was still awaited are told as such, everywhere
  // their outcome would have gone; lines a spreadsheet still holds are
  // kept for the next run.
  exiting_ = true;
  if (watch_) watch_->FinishAll(policy::OrderResult::UnknownAtExit);
  if (std::string error; ordersCsv_ && !ordersCsv_->SaveWaiting(&error)) {
    host_.ShowInformation(kOrdersCsvLostText + OrdersCsvPath() + "\r\n" + error, kApplicationTitle);
  }
  host_.SetScreenSaverActive(true);
  DeleteCachedPictures();
  // The store first: whatever the workers do, nothing is lost.
  SaveStoreAtEnd(true, false);
  const bool workersEnded = host_.DisconnectMessageConnection();
  host_.AccountFInit();
  if (!sessionEnded_) host_.EngineQuit();
  rows_.clear();
  // A worker still inside the account service keeps its library loaded;
  // the process is ending anyway.
  if (workersEnded) host_.UnbindLibraries();
}

// ---- commands ----------------------------------------------------------------

bool Tfrmmain::Enabled(Cmd cmd) const {
  if (cmd == Cmd::Logout) return logoutEnabled_;
  if (cmd == Cmd::Login) return !logoutEnabled_;
  return !NeedsLogin(cmd) || featuresOn_;
}

bool Tfrmmain::Checked(Cmd cmd) const {
  switch (cmd) {
    case Cmd::AntiLock: return antiLockChecked_;
    case Cmd::MinimiseAfterOrder: return settings_.parameters.minimiseAfterOrder;
    case Cmd::Sound: return settings_.options.soundOn != 0;
    case Cmd::QuoteTip: return settings_.parameters.showQuoteTip;
    default: return false;
  }
}

void Tfrmmain::ApplyParameters() {
  loopOptions_.minimizeAfterOrder = settings_.parameters.minimiseAfterOrder;
  // The anti-lock interval stays the one of the start.
  tradingOptions_.tradingWindowAlpha = settings_.parameters.tradingWindowAlpha;
  tradingOptions_.minimiseAfterOrder = settings_.parameters.minimiseAfterOrder;
  Mark(kChangeCommands);
}

void Tfrmmain::ToggleOption(Cmd cmd) {
  Mark(kChangeCommands);
  try {
    switch (cmd) {
      case Cmd::AntiLock:
        antiLockChecked_ = !antiLockChecked_;
        Mark(kChangeTimer);
        break;
      case Cmd::MinimiseAfterOrder:
        settings_.parameters.minimiseAfterOrder = !settings_.parameters.minimiseAfterOrder;
        loopOptions_.minimizeAfterOrder = tradingOptions_.minimiseAfterOrder = settings_.parameters.minimiseAfterOrder;
        settings::WriteParameters(settings_.SetupPath(), settings_.parameters);
        break;
      case Cmd::Sound:
        settings_.options.soundOn = settings_.options.soundOn ? 0 : 1;
        loopOptions_.soundOn = settings_.options.soundOn != 0;
        settings::WriteOptions(settings_.OptionsPath(), settings_.options);
        break;
      case Cmd::QuoteTip:
        settings_.parameters.showQuoteTip = !settings_.parameters.showQuoteTip;
        settings::WriteParameters(settings_.SetupPath(), settings_.parameters);
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    // The choice holds for this run; the user learns it was not kept.
    host_.ShowInformation(std::string("设置未能保存：") + e.what(), kApplicationTitle);
  }
}

void Tfrmmain::Command(Cmd cmd) {
  if (!Enabled(cmd)) return;
  switch (cmd) {
    case Cmd::Login: host_.Login(); break;
    case Cmd::Logout: host_.Logout(); break;
    case Cmd::AccountInfo: host_.OpenDialog(Dialog::AccountInfo); break;
    case Cmd::Exit:
    case Cmd::TrayExit: host_.CloseMainWindow(); break;
    case Cmd::DownloadConfig: host_.OpenDialog(Dialog::DownloadConfig); break;
    case Cmd::CaptionTool: host_.OpenDialog(Dialog::CaptionTool); break;
    case Cmd::StartAll:
    case Cmd::TbStart: StartAllMonitoring(); break;
    case Cmd::StopAll:
    case Cmd::TbStop: StopAllMonitoring(); break;
    case Cmd::TradeLog: host_.OpenDialog(Dialog::TradeLog); break;
    case Cmd::AddPayoff:
    case Cmd::TbAddPayoff: host_.OpenEditor(policy::kKindPayoff, EditorMode::Add, nullptr); break;
    case Cmd::AddLossLimit:
    case Cmd::TbAddLossLimit: host_.OpenEditor(policy::kKindLossLimit, EditorMode::Add, nullptr); break;
    case Cmd::AddPrice:
    case Cmd::TbPrice: host_.OpenEditor(policy::kKindPrice, EditorMode::Add, nullptr); break;
    case Cmd::AddTime:
    case Cmd::TbTime: host_.OpenEditor(policy::kKindTime, EditorMode::Add, nullptr); break;
    case Cmd::AddLimitDown: host_.OpenEditor(policy::kKindLimitDown, EditorMode::Add, nullptr); break;
    case Cmd::AddIndex: host_.OpenEditor(policy::kKindIndex, EditorMode::Add, nullptr); break;
    case Cmd::AntiLock:
    case Cmd::MinimiseAfterOrder:
    case Cmd::Sound:
    case Cmd::QuoteTip: ToggleOption(cmd); break;
    case Cmd::AutoShutdown: host_.OpenDialog(Dialog::AutoShutdown); break;
    case Cmd::Calculator: host_.StartCalculator(); break;
    case Cmd::Settings: host_.OpenDialog(Dialog::Settings); break;
    case Cmd::Notify: host_.OpenDialog(Dialog::Notify); break;
    case Cmd::Replay: host_.OpenDialog(Dialog::Replay); break;
    case Cmd::CheckVersion:
      if (monitors_.AnyRunning()) {
        host_.ShowInformation(kUpdateWhileMonitoring, kApplicationTitle);
      } else {
        host_.StartVersionCheck(false);
      }
      break;
    case Cmd::UpdateHistory:
      host_.OpenInBrowser(ReadVendorSite(settings_.ApplicationFolder()).UpdateHistoryPage());
      break;
    case Cmd::Help: host_.OpenInBrowser(HelpAddress()); break;
    case Cmd::About:
    case Cmd::TrayAbout: host_.OpenDialog(Dialog::About); break;
    case Cmd::TbShowStock: host_.OpenDialog(Dialog::ShowStock); break;
    case Cmd::TbRefresh: trading_->RefreshCommand(trading::TRefreshSource::ToolbarButton); break;
    case Cmd::PopRefresh: trading_->RefreshCommand(trading::TRefreshSource::PopupMenuItem); break;
    case Cmd::Entrust: Entrust(); break;
    case Cmd::OrderTest:
      if (flags_.loggedIn) host_.OpenDialog(Dialog::QuoteTest);
      break;
    case Cmd::TrayOpen: host_.RestoreMainWindow(); break;
    case Cmd::NoticeRefresh: host_.NavigateNotice(noticeAddress_); break;
    case Cmd::ClearShareList: host_.ClearShareFeed(); break;
    case Cmd::PopStart:
    case Cmd::PopStop:
    case Cmd::PopDelete:
    case Cmd::PopDeleteAll:
    case Cmd::None:
      break;  // the pop-up commands need the focused row: PopupCommand
  }
}

void Tfrmmain::PopupCommand(Cmd cmd, int focusedRow) {
  if (rows_.empty()) return;
  const bool rowOk = focusedRow >= 0 && static_cast<size_t>(focusedRow) < rows_.size();
  switch (cmd) {
    case Cmd::PopStart:
    case Cmd::PopStop:
      if (!flags_.loggedIn) {
        host_.ShowInformation(kNotLoggedIn, kApplicationTitle);
        return;
      }
      if (!rowOk) return;
      monitors_.StartOrStopOne(cmd == Cmd::PopStart, rows_[focusedRow].id);
      break;
    case Cmd::PopDelete:
      if (!rowOk) return;
      monitors_.Remove(rows_[focusedRow].id);
      break;
    case Cmd::PopDeleteAll:
      monitors_.RemoveAll();
      break;
    default:
      Command(cmd);
      return;
  }
  monitors_.PublishLabels();
  RebuildMonitorList();
}

void Tfrmmain::Entrust() {
  if (!flags_.loggedIn) return;
  if (trading_->Found() && trading_->Window() != trading::kNoWindow) {
    trading::ForceForeground(desktop_, trading_->Window());
    return;
  }
  if (!host_.LaunchOrderProgram()) host_.OpenDialog(Dialog::Settings);
}

void Tfrmmain::StartAllMonitoring() {
  if (!flags_.loggedIn) {
    host_.ShowInformation(kNotLoggedIn, kApplicationTitle);
    return;
  }
  monitors_.StartOrStopAll(true);
  monitors_.PublishLabels();
  RebuildMonitorList();
}

void Tfrmmain::StopAllMonitoring() {
  monitors_.StartOrStopAll(false);
  monitors_.PublishLabels();
  RebuildMonitorList();
}

void Tfrmmain::SetLoggedIn(bool loggedIn, const std::string& userId) {
  flags_.loggedIn = loggedIn;
  if (loggedIn) flags_.userId = userId;
  logoutEnabled_ = loggedIn;
  Mark(kChangeCommands);
}

void Tfrmmain::AttachQuoteEngine(quotes::IQuoteEngine* engine, uintptr_t window) {
  engine_ = engine;
  engineWindow_ = window;
  monitors_.SetEngine(engine);
}

bool Tfrmmain::StartQuoteEngine() {
  if (!engine_) return true;
  const policy::TPolicyList::PublishedBlock labels = monitors_.PublishedLabels();
  quotes::EngineStartArgs args;
  args.mainWindow = engineWindow_;
  args.labels = labels.data;
  args.highestLabel = labels.highestIndex;
  args.session = &quotes::LoginSession();
  args.userId = flags_.userId;
  const bool started = quotes::StartQuoteEngine(
      *engine_, args, flags_.loggedIn, [this](const std::string& text, const std::string& title) {
        host_.ShowInformation(text, title);
      });
  // The logout item follows the flag the failed start cleared.
  if (!started) SetLoggedIn(false, flags_.userId);
  return started;
}

void Tfrmmain::SetMessagePane(const std::string& text) {
  panes_[kPane1] = text;
  Mark(kChangeStatus);
}

void Tfrmmain::SetLevelHint(std::vector<std::string> lines) {
  levelHint_ = std::move(lines);
  Mark(kChangeStatus);
}

void Tfrmmain::ResetTitles() {
  applicationTitle_ = kApplicationTitle;
  host_.SetCaption(kCaptionText);
}

void Tfrmmain::EnableLoggedInFeatures(bool on) {
  featuresOn_ = on;
  activePage_ = 0;
  if (!on) {
    // A disabled list shows no tip and keeps no field open.
    fineTune_.visible = fineTune_.enabled = false;
    hoveredId_ = -1;
    Mark(kChangeFineTune);
  }
  Mark(kChangeCommands | kChangePages | kChangeStatus);
}

// ---- the list ------------------------------------------------------------------

void Tfrmmain::RebuildMonitorList() {
  monitors_.SnapshotInto(rows_);
  // New rows: no frames, and the code index is made again when needed.
  rowsByCodeValid_ = false;
  frames_.assign(rows_.size(), PriceFrame::None);
  priceChanged_.assign(rows_.size(), 0);
  changedPrices_.clear();
  if (rows_.empty()) selectedSecurity_.clear();
  fineTune_.visible = fineTune_.enabled = false;
  fineTuneRow_ = -1;
  changedRows_.clear();
  Mark(kChangeList | kChangeFineTune);
  if (storeHeld_) {
    if (!SetUnreadableStoreAside()) return;  // never over a file nobody could read
    ShowBalloon(kApplicationTitle, kStoreSetAsideText + storeAside_);
  }
  if (saver_) {
    saver_->Save();
  } else {
    storeWriter_.Save(monitors_);
  }
}

std::string Tfrmmain::Cell(size_t row, int column) const {
  if (column != kOutcomeColumn) return MonitorCell(rows_[row], column);
  // A monitor started again has no outcome yet.
  const auto it = outcomes_.find(rows_[row].id);
  return it == outcomes_.end() || rows_[row].state != policy::kStateTriggered ? std::string() : OutcomeCell(it->second);
}

bool Tfrmmain::RowStandsOut(size_t row) const {
  const auto it = outcomes_.find(rows_[row].id);
  return it != outcomes_.end() && rows_[row].state == policy::kStateTriggered && NeedsWarning(it->second);
}

int Tfrmmain::RowIconOf(size_t row) const { return RowIcon(rows_[row].kind, rows_[row].fired != 0); }
int Tfrmmain::StateIconOfRow(size_t row) const { return StateIconOf(rows_[row].state); }

void Tfrmmain::RzListViewClick(const ListClick& click) {
  fineTune_.visible = fineTune_.enabled = fineTune_.focused = false;
  fineTuneRow_ = -1;
  Mark(kChangeFineTune);
  if (click.selectedRow < 0 || static_cast<size_t>(click.selectedRow) >= rows_.size()) return;
  const policy::TPolicyRecord& r = rows_[click.selectedRow];
  selectedSecurity_ = policy::CodeText(r);
  if (click.subItem != 4) return;
  const std::string text = SetPriceCell(r);
  if (!base::ParseDecimal(text)) return;  // "即时成交价" never opens the field
  fineTune_.left = click.cell.left;
  fineTune_.width = click.cell.width;
  fineTune_.height = 18;
  fineTune_.top = click.cell.top + std::max(0, (click.cell.height - fineTune_.height) / 2);
  fineTune_.text = text;
  fineTune_.visible = fineTune_.enabled = fineTune_.focused = true;
  fineTuneRow_ = click.selectedRow;
}

void Tfrmmain::RzSpinEditPriceExit(const std::string& text) {
  if (!fineTune_.visible) return;
  const int row = fineTuneRow_;
  fineTune_.visible = fineTune_.enabled = fineTune_.focused = false;
  fineTuneRow_ = -1;
  Mark(kChangeFineTune);
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  const int32_t id = rows_[row].id;
  policy::TPolicyRecord current;
  monitors_.Copy(id, current);
  if (current.id == -1) return;
  // The editors' checks, against the newest traded price the list shows: a
  // price they would refuse is refused here too, and the monitor stays as
  // it was.
  const float shown = quotes::IsTradedPrice(rows_[row].newestPrice) ? rows_[row].newestPrice : current.newestPrice;
  double price = 0;
  const std::string refusal = policy::SetPriceChangeError(current, text, shown, price);
  if (!refusal.empty()) {
    // The same text unchanged is no change, not a mistake.
    if (base::Trim(text) != SetPriceCell(current)) host_.ShowInformation(refusal, kApplicationTitle);
    return;
  }
  monitors_.ChangeSetPrice(id, static_cast<float>(price));
  policy::TPolicyRecord fresh;
  monitors_.Copy(id, fresh);
  if (fresh.id == -1) return;
  // The row shows the new price and sentence now; the store is written by
  // the next rebuild.
  rows_[row] = fresh;
  changedRows_.push_back(row);
  Mark(kChangeRows);
}

void Tfrmmain::RzListViewDblClick(int selectedRow) {
  if (!featuresOn_ || rows_.empty() || selectedRow < 0 || static_cast<size_t>(selectedRow) >= rows_.size()) return;
  policy::TPolicyRecord copy;
  monitors_.Copy(rows_[selectedRow].id, copy);
  if (copy.id == -1) return;
  const uint8_t kind = copy.kind & 0x7F;
  if (kind == policy::kKindPair || kind < policy::kKindPayoff || kind > policy::kKindIndex) return;
  host_.OpenEditor(kind, EditorMode::Modify, &copy);
}

void Tfrmmain::RzListViewMouseMove(int row, bool foreground, int screenX, int screenY) {
  if (!featuresOn_ || rows_.empty()) return;
  if (row >= 0 && static_cast<size_t>(row) < rows_.size() && foreground) {
    const int32_t id = rows_[row].id;
    if (id != hoveredId_ && settings_.parameters.showQuoteTip) {
      policy::TPolicyRecord monitor;
      monitors_.Copy(id, monitor);
      if (monitor.id != -1) host_.ShowQuoteTip(monitor, screenX, screenY);
    }
    hoveredId_ = id;
    return;
  }
  if (host_.QuoteTipVisible()) host_.HideQuoteTip();
  hoveredId_ = -1;
}

bool Tfrmmain::RzListViewContextPopup() const { return featuresOn_ && !rows_.empty(); }

// ---- quotes ------------------------------------------------------------------------

void Tfrmmain::RequestQuote(const std::string& code, quotes::TQuoteReport& out) {
  host_.RequestQuote(code, out);
  // The quote an order of another security was priced by (an index
  // monitor's target) goes on the day's tape too, so that a replay of the
  // day prices that order as this fire did.
  if (tapes_ && quotes::ReportCode(out) == code && quotes::IsTradedPrice(out.newestPrice)) tapes_->Record(out);
}

void Tfrmmain::QuoteMessage(uint32_t wordParam, const void* packet) {
  if (wordParam == quotes::kQuotePacketKind) {
    TickActivityBar();
    // A damaged packet (no reports, an absurd count, no first report) is not walked.
    const quotes::PacketReports reports = quotes::ReadPacket(packet);
    for (int32_t i = 0; i < reports.count; ++i) {
      try {
        const quotes::TQuoteReport report = reports.At(i);
        if (tapes_) tapes_->Record(report);
        loop_->Run(report);
        UpdatePriceColumn(report);
        if (dispatch_) {
          const std::string_view code = quotes::ReportCode(report);
          if (!selectedSecurity_.empty() && selectedSecurity_ == code && dispatch_->DebugWindowVisible()) {
            dispatch_->ShowDebugReport(report);
          }
          if (dispatch_->QuoteTipShows(code)) dispatch_->ShowTipReport(report);
        }
      } catch (...) {
        // A failure with one report is forgotten; the next report follows.
      }
    }
  }
  if (dispatch_) dispatch_->ProcessMessages();
}

std::vector<std::string> Tfrmmain::WatchedCodes() {
  std::vector<std::string> codes;
  for (const quotes::TStockLabel& label : monitors_.Labels())
    codes.emplace_back(label.code, strnlen(label.code, sizeof label.code));
  // The securities running monitors order instead: the quotes asked for
  // at their fires go on the tape too, written after the monitor fired.
  for (const policy::TPolicyRecord& m : monitors_.Snapshot()) {
    if ((m.state == policy::kStateRunning || m.state == policy::kStateTriggered) && policy::OrdersItsTarget(m))
      codes.emplace_back(base::Trim(base::ReadFixedText(m.targetCode)));
  }
  return codes;
}

const std::vector<int>* Tfrmmain::RowsOfCode(const char (&code)[10]) {
  if (!rowsByCodeValid_) {
    rowsByCode_.clear();
    for (size_t row = 0; row < rows_.size(); ++row) {
      rowsByCode_[std::string(rows_[row].code, sizeof rows_[row].code)].push_back(static_cast<int>(row));
    }
    rowsByCodeValid_ = true;
  }
  // All ten bytes count, as the list compares them.
  const auto it = rowsByCode_.find(std::string(code, sizeof code));
  return it == rowsByCode_.end() ? nullptr : &it->second;
}

void Tfrmmain::UpdatePriceColumn(const quotes::TQuoteReport& report) {
  // A report without a trade leaves the last traded price as it stands.
  if (!quotes::IsTradedPrice(report.newestPrice)) return;
  const std::vector<int>* rows = RowsOfCode(report.code);
  if (!rows) return;
  const PriceFrame frame = PriceFrameOf(report.open, report.newestPrice);
  for (const int row : *rows) {
    // A cell that would look the same is not painted again.
    if (rows_[row].newestPrice == report.newestPrice && frames_[row] == frame) continue;
    rows_[row].newestPrice = report.newestPrice;
    frames_[row] = frame;
    if (!priceChanged_[row]) {
      priceChanged_[row] = 1;
      changedPrices_.push_back(row);
    }
    Mark(kChangePrices);
  }
}

std::vector<int> Tfrmmain::TakeChangedPrices() {
  for (const int row : changedPrices_) priceChanged_[row] = 0;
  std::vector<int> changed;
  changed.swap(changedPrices_);
  return changed;
}

void Tfrmmain::ConnectionMessage(uint32_t message) {
  const char* title = "警告提示！";
  const char* text = nullptr;
  switch (message) {
    case quotes::kQuoteConnectionLost: text = kQuoteLostText; break;
    case quotes::kQuoteConnectionRestored: text = kQuoteRestoredText, title = "提示！"; break;
    case kLoginSessionLost: text = kSessionLostText; break;
    default: return;
  }
  if (++noticeCounter_ > 3) {
    noticeCounter_ = 0;
    ShowBalloon(title, text);
  }
}

// ---- other parts' operations ------------------------------------------------------

void Tfrmmain::SetLoginPane(const std::string& text) {
  panes_[kPane2] = text;
  Mark(kChangeStatus);
}
void Tfrmmain::SetDatePane(const std::string& text) {
  panes_[kPaneDate] = text;
  Mark(kChangeStatus);
}
void Tfrmmain::SetAssociationPane(const std::string& text) {
  panes_[kPane3] = text;
  Mark(kChangeStatus);
}
void Tfrmmain::ShowAssociationWarning(bool on) {
  marqueeOn_ = on;
  Mark(kChangeStatus);
}

void Tfrmmain::TickActivityBar() {
  if (activity_ >= kActivityParts) activity_ = 0;
  ++activity_;
  Mark(kChangeActivity);
}

void Tfrmmain::ShowBalloon(const std::string& title, const std::string& text) {
  host_.ShowTrayBalloon(title, text);
  if (!host_.MainWindowVisible()) host_.AnimateTrayIcon(true);
}

void Tfrmmain::ShowMonitorBalloon(const std::string& title, const policy::TPolicyRecord& monitor) {
  ShowBalloon(title, policy::MonitorBalloonText(monitor));
}

void Tfrmmain::TrayIconClick() {
  host_.AnimateTrayIcon(false);
  host_.RestoreMainWindow();
}

void Tfrmmain::TrayBalloonClick() { host_.AnimateTrayIcon(false); }

void Tfrmmain::ShowUserLevel(int level, int64_t onlineSeconds, int levelIcon) {
  levelIcon_ = levelIcon;
  levelCaption_ = std::to_string(level) + "级 " + base::FormatFixed(static_cast<double>(onlineSeconds) / 3600.0, 2) + " h";
  Mark(kChangeStatus);
}

void Tfrmmain::TimerAutoActiveTimer() {
  // The refresh key could close a broker's box still being watched.
  if (antiLockChecked_ && OrderWatchActive()) watch_->Scan();
  if (antiLockChecked_) trading_->AntiLockTick();
}

void Tfrmmain::SetTitles(const std::string& title) {
  applicationTitle_ = title;
  host_.SetCaption(title);
}

void Tfrmmain::PlaceOrder(policy::TTradeRecord order) { placer_->PlaceOrder(order); }

void Tfrmmain::OrderStarting(const policy::TOrderOutcome& order) {
  if (trading_->Window() != trading::kNoWindow) {
    watch_->Begin(order, trading_->Window());
    return;
  }
  // The order script types nothing without a trading window.
  policy::TOrderOutcome outcome = order;
  outcome.result = policy::OrderResult::NotPlaced;
  outcome.brokerText = "没有关联的交易软件";
  RecordOrderOutcome(outcome);
}

void Tfrmmain::OrderScriptEnded() { watch_->ScriptEnded(); }

std::string Tfrmmain::OrdersCsvPath() const {
  return base::PathToUtf8(base::PathFromUtf8(ApplicationFolder()) / "log" / "orders.csv");
}

std::string Tfrmmain::HelpAddress() const {
  if (!settings_.parameters.helpUrl.empty()) return settings_.parameters.helpUrl;
  // make_preferred: the browser is handed a path in the system's own form.
  const std::string guide =
      base::PathToUtf8((base::PathFromUtf8(ApplicationFolder()) / kGuideFile).make_preferred());
  return base::FileExists(guide) ? guide : settings::kVendorHelpPage;
}

void Tfrmmain::OrderWatchTick() {
  if (watch_->Watching()) watch_->Tick();
  // About once a second: each try is one open of the file.
  if (ordersCsv_->Waiting() > 0 && ++ordersCsvTicks_ * OrderWatchIntervalMs >= 1000) {
    ordersCsvTicks_ = 0;
    if (ordersCsv_->Flush(nullptr)) ordersCsvHeldTold_ = false;
  }
}

void Tfrmmain::RecordOrderOutcome(const policy::TOrderOutcome& outcome) {
  WriteOrderStepLog("Result", OutcomeLogText(outcome));
  outcomes_[outcome.monitorId] = outcome;
  for (size_t row = 0; row < rows_.size(); ++row) {
    if (rows_[row].id == outcome.monitorId) changedRows_.push_back(static_cast<int>(row));
  }
  Mark(kChangeRows);
  std::string error;
  if (ordersCsv_->Add(outcome, &error)) {
    ordersCsvHeldTold_ = false;
  } else if (!ordersCsvHeldTold_ && !exiting_) {
    // Once per spell: the lines wait in memory and follow by themselves.
    ordersCsvHeldTold_ = true;
    ShowBalloon("警告提示！", "委托结果暂时无法写入 " + OrdersCsvPath() + "（" + error + "），关闭该文件后自动补写。");
  }
  if (outcomeNotice_) outcomeNotice_->QueueOutcome(OutcomeNotice(outcome));
  if (!NeedsWarning(outcome) || exiting_) return;
  host_.ShowTrayWarning(OutcomeWarningTitle(outcome), OutcomeWarningText(outcome));
  if (!host_.MainWindowVisible()) host_.AnimateTrayIcon(true);
  const std::string sound = base::PathToUtf8(base::PathFromUtf8(ApplicationFolder()) / "res" / "warning.wav");
  if (settings_.options.soundOn != 0 && base::FileExists(sound)) host_.PlaySound(sound, false);
}

void Tfrmmain::MinimizeTradingWindow() {
  if (trading_->Window() != trading::kNoWindow) desktop_.ShowWindow(trading_->Window(), trading::kSwShowMinimized);
}

void Tfrmmain::BroadcastTradeLine(const std::string& userId, const std::string& line) {
  IMessageSender& messages = host_.Messages();
  if (messages.Connected()) messages.SendText(userId, line);
}

}  // namespace app
