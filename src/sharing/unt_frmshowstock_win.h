// The posting window's view: the dialog "晒股" with the group "晒股设置",
// the help pane from res\ShowStock.rtf and the status bar "提示：". It binds
// every control to the Tfrmshowstock model and owns the live-price updater
// of RzLbNewPrice.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "quotes/unt_getstockinfotread_win.h"
#include "sharing/unt_frmshowstock.h"
#include "win/all_win.h"

namespace sharing {

struct ShowStockViewArgs {
  HWND owner = nullptr;
  std::string applicationFolder;
  win::GuiPoster poster;
  std::function<void(const std::string& code, quotes::TQuoteReport& out)> requestQuote;
  std::function<void(const std::string& text)> writeDailyLog;
  std::function<void()> startCalculator;
  std::function<std::string(base::TDateTime)> dailyLogPath;
  std::function<base::TDateTime()> clock;
};

class TfrmshowstockWin final : public IFrmshowstockHost {
 public:
  TfrmshowstockWin(ShowStockViewArgs args, account::IAccountService& service, const account::TSessionValues& session);
  ~TfrmshowstockWin() override;
  // Opening from the main window: modal until posted, cancelled or closed.
  void ShowModal();
  Tfrmshowstock& Model() { return model_; }
  HWND Handle() const { return dialog_.Handle(); }

  // ---- IFrmshowstockHost ----
  bool AskYesNo(const std::string& text, const std::string& title) override {
    return win::AskYesNo(dialog_.Handle(), text, title);
  }
  void RequestQuote(const std::string& code, quotes::TQuoteReport& out) override {
    if (args_.requestQuote) args_.requestQuote(code, out);
  }
  void StartLivePrice(const std::string& code) override;
  void StopLivePrice() override { live_.reset(); }
  void WriteDailyLog(const std::string& text) override {
    if (args_.writeDailyLog) args_.writeDailyLog(text);
  }
  void StartCalculator() override {
    if (args_.startCalculator) args_.startCalculator();
  }

 private:
  // Copies the fields into the model, runs the event, shows the result.
  template <class F>
  void Do(F&& f) {
    Take();
    f();
    Sync();
  }
  void Take();
  void Sync();
  void FocusField(win::NumericEdit& field);

  ShowStockViewArgs args_;
  Tfrmshowstock model_;
  std::unique_ptr<quotes::TLivePriceLabel> live_;
  win::Dialog dialog_;
  win::GroupBox group_;
  win::Label codeLabel_, newPriceLabel_, buyLabel_, setLabel_, backLabel_, lossLabel_, downLabel_, remarkLabel_;
  win::Label buyUnit_, setUnit_, lossUnit_;
  win::Edit code_, name_;
  win::Label newPrice_;
  win::NumericEdit buyPrice_, setPrice_, backPrice_, lossLimit_, down_;
  win::Edit remark_;
  // The view's own text changes (Sync) are no user's.
  bool syncing_ = false;
  win::Radio backYuan_, backPercent_, downYuan_, downPercent_;
  win::RichEdit help_;
  win::Button calculator_, post_, cancel_, reset_;
  win::StatusBar status_;
};

}  // namespace sharing
