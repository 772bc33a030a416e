// The settings dialog's Win32 view: the controls of "设置", bound to the
// Tfrmconfig model. Created once and refilled at every showing.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "settings/unt_frmconfig.h"
#include "win/all_win.h"

namespace settings {

struct FrmconfigViewArgs {
  HWND owner = nullptr;
  // The trading window's opacity, when one is held; the main window's alpha.
  std::function<void(int alpha)> setTradingOpacity;
  std::function<void(int alpha)> setMainAlpha;
  std::function<void()> parametersSaved;
};

class TfrmconfigWin final : public IFrmconfigHost {
 public:
  TfrmconfigWin(FrmconfigViewArgs args, TSettings& settings, IAutostartStore& autostart);
  ~TfrmconfigWin() override;
  TfrmconfigWin(const TfrmconfigWin&) = delete;
  TfrmconfigWin& operator=(const TfrmconfigWin&) = delete;

  void ShowModal();
  HWND Handle() const { return dialog_.Handle(); }
  Tfrmconfig& Model() { return model_; }

  // ---- IFrmconfigHost ----
  void SetTradingWindowOpacity(int alpha) override { args_.setTradingOpacity(alpha); }
  void SetMainWindowAlpha(int alpha) override { args_.setMainAlpha(alpha); }
  std::optional<std::string> ChooseFile(const std::string& title, const std::string& filter,
                                        const std::string& startFolder) override {
    return win::ChooseOpenFile(dialog_.Handle(), title, filter, startFolder);
  }
  void ParametersSaved() override { args_.parametersSaved(); }

 private:
  void Take();
  void Sync();
  void EditCell(int row);
  void EndCellEdit(bool keep);

  FrmconfigViewArgs args_;
  Tfrmconfig model_;
  win::Dialog dialog_;
  win::ListView grid_;
  win::Edit cell_;
  int editedRow_ = -1;
  win::GroupBox alphaGroup_;
  win::Label tradingLabel_, mainLabel_, tradingValue_, mainValue_;
  win::TrackBar trading_, main_;
  win::CheckBox autostart_, autoLogin_, hideNotice_;
  win::Label programLabel_, tapeLabel_, tapeUnit_;
  win::Edit program_, tapeDays_;
  win::Button choose_, clear_, ok_, cancel_;
};

}  // namespace settings
