// The posting window "晒股" as a form model: the security looked up by its
// code with a live price, the entry price and the two exit levels, the
// remark, the daily quota, the checks in their order, the confirmation and
// the post through the account service. The Win32 view owns the controls
// and forwards every event to one method here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "account/unt_accountservice.h"
#include "account/unt_frmlogin.h"
#include "base/datetime.h"
#include "quotes/Ustockdrv.h"
#include "sharing/unt_showstockrecord.h"

namespace sharing {

inline constexpr int kDailyPostQuota = 3;
inline constexpr char kDefaultRemark[] = "仅供内部交流，凭此买卖，风险自担。";
inline constexpr char kQuotaUsedText[] = "今天晒出股票的次数已经用完。";
inline constexpr char kPriceRangeText[] = "介入价格不能超过当日价格的10% ！";
inline constexpr char kRemarkMissingText[] = "为提高晒股质量，备注内容必须填写！";
inline constexpr char kPostQuestion[] = "您确定要晒出该信息？";
inline constexpr char kPostCodeText[] = "证券代码不正确！";
inline constexpr char kBuyPriceHint[] = "买入价格幅度不能超过当日价格的10%";
inline constexpr char kHelpFile[] = "ShowStock.rtf";  // in the res folder
inline constexpr int kCodeLength = 6;
inline constexpr int kNumberLength = 10;  // characters of each numeric field
inline constexpr int kRemarkLength = 32;  // characters of the remark

// The day's log line that a post leaves, and that the quota counts.
std::string QuotaLogEntry(base::TDateTime today, std::string_view userId, std::string_view code);
// Posts of the user on that day in the daily log file (GBK lines): every
// line holding "[晒股]-" + yyyy-mm-dd + "-" + user + "-" counts once. A
// missing file counts none.
int CountPostsToday(const std::string& dailyLogPath, base::TDateTime today, std::string_view userId);
// "晒股(剩余可晒次数：n)" or "晒股(已无可晒次数！)".
std::string QuotaCaption(int postsToday);
// The entry price lies within ±10 % of the previous close, bounds included
// (compared to a thousandth, as prices are written).
bool WithinTenPercent(double price, double previousClose);

// What the window asks of the program around it.
class IFrmshowstockHost {
 public:
  virtual ~IFrmshowstockHost() = default;
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // A single quote from the engine; `out` stays as it was when none came.
  virtual void RequestQuote(const std::string& code, quotes::TQuoteReport& out) = 0;
  // The live-price updater on RzLbNewPrice (the previous one stops first).
  virtual void StartLivePrice(const std::string& code) = 0;
  virtual void StopLivePrice() = 0;
  // "time stamp[user]text" into today's daily log (and the 3007 broadcast).
  virtual void WriteDailyLog(const std::string& text) = 0;
  virtual void StartCalculator() = 0;
};

class Tfrmshowstock {
 public:
  enum class Focus { None, Code, BuyPrice, SetPrice, BackPrice, LossLimit, Down, Remark };

  // `session` is the login's (server, port, user, user information);
  // `dailyLogPath` names the day's log file for a date.
  Tfrmshowstock(IFrmshowstockHost& host, account::IAccountService& service, const account::TSessionValues& session,
                std::function<std::string(base::TDateTime)> dailyLogPath, std::function<base::TDateTime()> clock);

  // ---- events ----
  // The main window's button: everything editable again, then shown modally.
  void Open();
  // On show: the caption from the quota, then the reset.
  void FormShow();
  void ButtonCZClick();  // "撤销[&R]"
  void RzEditLabelKeyUp();
  void ButtonSGClick();        // "晒出[&S]"
  void bsSkinButton2Click();   // "取消[&C]"
  void RzBitBtn1Click() { host_.StartCalculator(); }
  // The window closed, by any means: the live price stops.
  void FormClose();

  // ---- control state (the view copies its fields in before each event) ----
  std::string caption;
  std::string codeText, nameText;
  std::string buyPriceText, setPriceText, backPriceText, lossLimitText, downText, remarkText;
  bool backYuan = true;  // RzRadioYuan, else RzRadioBai "%"
  bool downYuan = true;  // RzRadioDownYuan, else RzRadioButton2 "%"
  bool codeEnabled = true;
  bool postEnabled = false;  // ButtonSG
  bool resetEnabled = true;
  bool unitsEnabled = true;
  bool fieldsEditable = true;
  std::string status;  // the status bar's message after "提示："
  Focus focus = Focus::None;
  bool selectFocused = false;  // select the focused field's text
  bool closeRequested = false;

  const quotes::TQuoteReport& Quote() const { return quote_; }
  int PostsToday() const;
  // The post as "晒出[&S]" would send it now.
  TShowStockRecord BuildPost() const;

 private:
  void Close();
  void Fail(const std::string& text, Focus at, bool select);
  // The four exit fields hold numbers of at least 0; false after the
  // refusal of the first that does not.
  bool ExitFieldsValid();

  IFrmshowstockHost& host_;
  account::IAccountService& service_;
  const account::TSessionValues& session_;
  std::function<std::string(base::TDateTime)> dailyLogPath_;
  std::function<base::TDateTime()> clock_;
  quotes::TQuoteReport quote_{};
};

}  // namespace sharing
