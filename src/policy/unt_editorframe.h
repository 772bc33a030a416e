// The frame every monitor editor shares: code entry with its quote lookup,
// the live-price updaters, the price basis boxes, the set-price and quantity
// fields with their spin buttons, quote optimisation, automatic trading, the
// status line, the help pane's file, saving as default, the calculator, the
// confirmation and the saving sequence. An editor derives from TEditorFrame,
// adds its own fields and gives its reset, re-fill, validation and record.
//
// The model holds what the dialog shows; its view copies the controls' texts
// in before each event (Take) and shows the model after it (Sync). Controls
// are named as the editors name them ("RzEditLabel", "RzNumEditSetPrice"...);
// the focus request carries such a name.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/datetime.h"
#include "policy/unt_policy.h"
#include "quotes/Ustockdrv.h"
#include "quotes/unt_getstockinfotread.h"
#include "settings/unt_common.h"

namespace policy {

// Texts of the frame.
inline constexpr char kEditorGroupCaption[] = "策略设置";
inline constexpr char kEditorStatusCaption[] = "提示：";
inline constexpr char kConfirmTitle[] = "确认提示！";
inline constexpr char kConfirmQuestion[] = "是否确认下单？";
inline constexpr char kBadCodeText[] = "证券代码不正确！";
inline constexpr char kSessionRuleText[] = "当设定价使用开盘价或现价时，必须在盘中(9:30以后)使用！";
inline constexpr char kPolicySoundFile[] = "res\\Money_Policy.wav";
inline constexpr char kOptimiseHint[] = "默认不勾选，按10‰处理";
inline constexpr char kOptimiseAmountHint[] = "优化后的报价不能超过当日该股的涨跌停价格";
inline constexpr char kActiveHint[] = "勾选后当下单条件触发后会自动下单。不勾选只提示不会下单";
inline constexpr char kSaveDefaultHint[] = "保存为默认参数";
inline constexpr char kQuantitySpinHint[] = "一次100";
inline constexpr char kOkCaption[] = "确定[&O]";
inline constexpr char kCancelCaption[] = "取消[&C]";
inline constexpr char kResetCaption[] = "撤销[&R]";
inline constexpr char kDefaultsNotWritten[] = "默认参数未能写入config.ini！";
inline constexpr char kNoNewestPriceText[] = "未能取得该证券的现价，监控未保存！";
// The open before the first trade of the day, a previous close of a first
// day: 0 is no price, and a monitor set at 0 fires on the first trade.
inline constexpr char kNoOpenPriceText[] = "未能取得该证券的开盘价，监控未保存！";
inline constexpr char kNoPrevClosePriceText[] = "未能取得该证券的昨收价，监控未保存！";
inline constexpr char kFiredWhileEditedText[] = "该监控在修改期间已触发，未保存！";
inline constexpr char kRemovedWhileEditedText[] = "该监控在修改期间已被删除，未保存！";

// Control names the frame itself moves the focus to.
inline constexpr char kCtlCode[] = "RzEditLabel";
inline constexpr char kCtlSetPrice[] = "RzNumEditSetPrice";
inline constexpr char kCtlOptimise[] = "RzNEditOptimize";

// Where the editors reach the rest of the program.
struct TEditorServices {
  settings::TSettings* settings = nullptr;
  TPolicyList* monitors = nullptr;
  // The quote engine's single-quote request; called on the GUI thread by
  // the lookups and on the updaters' threads. `out` stays as it was when
  // nothing came back; an exception is a lookup that raised an error.
  std::function<void(const std::string& code, quotes::TQuoteReport& out)> requestQuote;
  // The main window's list rebuild, which also saves the policy store.
  std::function<void()> rebuildMonitorList;
  std::function<void(const std::string& path, bool wait)> playSound;
  std::function<base::TDateTime()> now;
  // Runs a closure on the GUI thread later; callable from any thread, and
  // after the editor is gone (the closure then finds it gone and does nothing).
  std::function<void(std::function<void()>)> postToGui;
  // The updaters' pause; empty: their own 2000 ms clock.
  quotes::TGetStockInfoThread::Pause livePricePause;
};

// What an editor asks of its own window.
class IEditorDialog {
 public:
  virtual ~IEditorDialog() = default;
  // Yes/No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // The calculator beside the dialog.
  virtual void ShowCalculator() = 0;
  // The model changed outside an event of the view (a live price came, or a
  // lookup is about to block): show it now.
  virtual void Refresh() = 0;
};

enum class TEditorMode { Add, Modify };
// The live-price updaters: the security's, and the price editor's target's.
enum class TLiveRole { Main = 0, Target = 1 };

// Quote optimisation: the box, the amount and its unit pair ("元" or the
// non-yuan unit). The amount and unit are enabled exactly while the box is
// checked, whatever set it.
struct TOptimiseFields {
  bool checked = false;
  std::string amount;
  bool yuan = false;
  bool Enabled() const { return checked; }
};

// Spin buttons: the value (0 when the text is no number) plus or minus the
// step, rounded to `decimals`, in the shortest decimal form; a result below
// 0 becomes "0".
std::string SpinValue(std::string_view text, double step, int decimals, bool up);
// Trimmed text as a number; nullopt when it is none.
std::optional<double> NumberOf(std::string_view text);
// A typed price: the trimmed text as a number rounded to three decimals,
// as it is checked and saved; nullopt when it is no number or does not fit
// the record's single-precision field.
std::optional<double> PriceOf(std::string_view text);
// Prices and points are shown and typed with three decimals; compared at
// three decimals, a float quote of 10.004 equals a typed 10.004.
// Stored as a double before it is used: the i686 build computes on the x87
// unit, which would keep the quotient at 80 bits, so that a set point typed
// as the very value shown compared as below or above it.
inline double PriceAtThousandths(double v) {
  volatile double rounded = std::round(v * 1000.0) / 1000.0;
  return rounded;
}
// Trimmed text as a whole number of 32 bits; nullopt otherwise.
std::optional<int32_t> WholeNumberOf(std::string_view text);
// The length in characters of the trimmed text.
size_t CharacterCount(std::string_view utf8);
// The unit marker rule of a stored default: the shown amount and whether
// the non-yuan unit is selected.
settings::TAmountText ShownAmount(std::string_view stored);
// An amount for the defaults: trimmed, with the marker unless yuan.
std::string StoredAmount(std::string_view text, bool yuan);
// The time of day of a date-time, cut to whole minutes, in minutes.
int MinuteOfDay(base::TDateTime value);
// A quote report's name as program text.
std::string QuoteName(const quotes::TQuoteReport& report);

// When a code box is looked up: at every change of its text (typed,
// pasted, dropped), and at a key release that no change answered already.
class TCodeEntry {
 public:
  bool Changed(std::string_view code);
  bool KeyReleased(std::string_view code);
  void Forget() { handled_.clear(), answered_ = false; }

 private:
  std::string handled_;    // the text last looked up or stopped for
  bool answered_ = false;  // a change did so since the last key release
};

class TEditorFrame {
 public:
  struct Texts {
    std::string addTitle;
    std::string modifyTitle;
    std::string helpFile;  // relative to the application folder, e.g. "res\\MonitorPrice.rtf"
  };

  TEditorFrame(TEditorServices services, IEditorDialog& dialog, uint8_t kind, settings::TMonitorSection section,
               Texts texts);
  // Stops the updaters and waits for them.
  virtual ~TEditorFrame();
  TEditorFrame(const TEditorFrame&) = delete;
  TEditorFrame& operator=(const TEditorFrame&) = delete;

  // ---- entries (the view shows the dialog modally afterwards) ----
  void OpenForAdd();
  // False when the re-fill's lookup raised an error: the dialog is not shown.
  bool OpenForModify(const TPolicyRecord& monitor);
  // Each showing: the title, and the focus into the code box.
  virtual void FormShow();
  // Every way the dialog closes ends here: the updaters stop.
  void FormClose();

  // ---- events of the frame's controls ----
  void RzEditLabelKeyUp();  // key released in the code box: the lookup
  void RzEditLabelChange();  // the code box's text changed, by any means
  void RzEditLabelClick();  // a click into the code box
  virtual void OkClick() = 0;
  void CancelClick() { Close(); }
  void EscapePressed() { Close(); }
  // "撤销[&R]": status cleared, updaters stopped, the reset.
  virtual void ResetClick();
  virtual void SaveDefaultsClick() = 0;
  void CalculatorClick() { dialog_.ShowCalculator(); }
  void SetPriceSpin(bool up);   // ±0.001 while the field is enabled
  void QuantitySpin(bool up);   // ±100
  void OptimiseClick(bool checked) { SetOptimise(checked); }
  // The three basis boxes' click (box 1 open, 2 previous close, 3 newest),
  // with the box's state after the click.
  void BasisClick(int box, bool checked);

  // ---- what the dialog shows ----
  TEditorMode mode = TEditorMode::Add;
  std::string title;
  std::string codeText;          // RzEditLabel
  bool codeEnabled = true;
  std::string nameText;          // RzEditLabelInfo
  std::string openText;          // RzLabelOpen
  std::string closeText;         // RzLabelClose
  int basis = 0;                 // checked basis box: 0 none, 1 open, 2 close, 3 newest
  std::string setPriceText;      // RzNumEditSetPrice
  bool setPriceEnabled = true;
  std::string quantityText;      // the quantity field
  TOptimiseFields optimise;
  bool activeChecked = false;    // "采用自动交易"
  std::string statusText;        // the status bar's message pane
  const std::string& LivePriceText(TLiveRole role) const { return live_[Index(role)].text; }
  void SetLivePriceText(TLiveRole role, std::string text) { live_[Index(role)].text = std::move(text); }
  bool LivePriceRunning(TLiveRole role) const { return live_[Index(role)].thread != nullptr; }
  const std::string& LivePriceCode(TLiveRole role) const { return live_[Index(role)].code; }

  // The focus request since the view last took it: a control name and
  // whether its text is to be selected.
  struct FocusRequest {
    std::string control;
    bool selectAll = true;
  };
  std::optional<FocusRequest> TakeFocus() { return std::exchange(focus_, std::nullopt); }
  const std::optional<FocusRequest>& PendingFocus() const { return focus_; }
  // The dialog is to close (once).
  bool TakeClose() { return std::exchange(closeRequested_, false); }

  const quotes::TQuoteReport& Quote() const { return quote_; }
  const TPolicyRecord& Edited() const { return edited_; }
  uint8_t Kind() const { return kind_; }
  settings::TMonitorSection Section() const { return section_; }
  // The help text's file in the application folder.
  std::string HelpPath() const;
  // How many lookups went to the quote engine (the sixth character's).
  int LookupCount() const { return lookups_; }

  static constexpr const char* kBasisCaptions[4] = {"", "用开盘价", "用昨收价", "用现价"};
  static constexpr const char* kBasisCtl[4] = {"", "RzCBOpen", "RzCBClose", "RzCBStart"};

 protected:
  // The editor's reset, in its order; the frame's part in pieces below.
  virtual void Reset() = 0;
  // The re-fill after the common steps (mode, copy, reset, code and name,
  // lookup) have run.
  virtual void RefillRest(const TPolicyRecord& monitor) = 0;
  // After a lookup stored its quote and name: labels and focus. The frame's
  // shows open and previous close and moves to the set-price field when it
  // is enabled, else to NextAfterSetPrice().
  virtual void AfterLookup();
  virtual std::string NextAfterSetPrice() const = 0;

  // ---- pieces for the editors ----
  settings::TMonitorDefaults& Defaults();
  const TEditorServices& Services() const { return services_; }
  IEditorDialog& Dialog() { return dialog_; }
  void MoveFocus(std::string control, bool selectAll = true) { focus_ = FocusRequest{std::move(control), selectAll}; }
  // Writes the refusal into the status line and moves the focus (when a
  // control is named); returns false for the caller's `return`.
  bool Refuse(std::string text, std::string focusControl = {});
  // The looked-up quote is for the code in the box.
  bool CodeValid() const;
  // The set price of the chosen basis as saved, and the basis price beside
  // it: the looked-up open or previous close, the newest price of a fresh
  // lookup, or the typed price. nullopt, refused in the status line, when
  // the chosen basis is no price (an open or previous close of 0, a fresh
  // lookup without a traded price).
  struct TBasisPrice {
    float setPrice = 0;
    float basisPrice = 0;
  };
  std::optional<TBasisPrice> BasisSetPrice();
  // Looks the code up as the code box does (disabled meanwhile), keeps the
  // report, shows the name and runs AfterLookup, then restarts the updater.
  // Exceptions of the request pass on, the code box enabled again.
  void LookUpCode(const std::string& code);
  // A fresh report for the code, outside the looked-up quote (the
  // newest price at OK, the target's lookup).
  quotes::TQuoteReport FreshQuote(const std::string& code);
  void ZeroQuote() { quote_ = quotes::TQuoteReport{}; }
  void StartLivePrice(TLiveRole role, const std::string& code);
  // Stops the updater and empties its label; captions it still had on the
  // way are dropped.
  void StopLivePrice(TLiveRole role);
  void StopLivePrices();
  // Reset pieces: the basis boxes unchecked through their click handling.
  void UncheckBasisBoxes();
  // The re-fill's basis: the box checked and its caption ("用开始价" for
  // the newest price) in the disabled field, or the set price.
  void RefillBasis(uint8_t priceBasis, float setPrice);
  void SetOptimise(bool checked) { optimise.checked = checked; }
  void FillOptimiseFromDefault();
  void RefillOptimise(const TPolicyRecord& monitor);
  // The current local time is 09:30 or later.
  bool InSession() const;
  // The fields every editor writes the same way: identifier (modify),
  // kind, code, name, market, the quote's prices, optimisation and the
  // prompt-only flag.
  TPolicyRecord CommonRecord() const;
  // The saving sequence: description, confirmation (add), updaters
  // stopped, sound, add or replace, labels published, list rebuilt, closed.
  // False when the user did not confirm, or (modify) when the monitor fired
  // or was removed while the dialog was open (said in the status line).
  bool SaveMonitor(TPolicyRecord record);
  // WriteMonitorDefaults for the editor's section when config.ini exists.
  void WriteDefaults();
  void Close();

 private:
  struct LiveSlot {
    std::unique_ptr<quotes::TGetStockInfoThread> thread;
    std::string code;
    std::string text;
    uint64_t serial = 0;
  };
  static size_t Index(TLiveRole role) { return static_cast<size_t>(role); }
  void LivePriceArrived(TLiveRole role, uint64_t serial, const std::string& caption);
  void CodeEntered();

  TEditorServices services_;
  IEditorDialog& dialog_;
  uint8_t kind_;
  settings::TMonitorSection section_;
  Texts texts_;
  TPolicyRecord edited_ = NewPolicyRecord();
  quotes::TQuoteReport quote_{};
  std::array<LiveSlot, 2> live_{};
  // Live prices posted to the GUI thread find the editor through this
  // token, which dies with it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::optional<FocusRequest> focus_;
  bool closeRequested_ = false;
  int lookups_ = 0;
  TCodeEntry codeEntry_;
};

}  // namespace policy
