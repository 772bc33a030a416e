// The window of the replay: a modeless dialog with the day choice, the
// monitors to replay (check boxes), the per-monitor results and the chart of
// the selected monitor's security, drawn with GDI.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/unt_frmreplay.h"
#include "win/bars_win.h"
#include "win/controls_win.h"
#include "win/listview_win.h"
#include "win/painted_win.h"
#include "win/window_win.h"

namespace app {

// Draws the chart into `area` of the device context.
void DrawReplayChart(HDC dc, const RECT& area, const ReplayChart& chart, const win::Dpi& dpi);
// Draws the chart into a picture file of the given pixel size: PNG, or BMP
// for a ".bmp" name (GDI+ encoders), replacing the file only when whole.
bool SaveReplayChart(const ReplayChart& chart, int width, int height, const std::string& path, std::string* error);

// The chart control: paints the chart it is given.
class ReplayChartView : public win::Control {
 public:
  void Create(win::Parent parent, const win::Rect& rect, int id);
  void SetChart(const ReplayChart* chart);

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  const ReplayChart* chart_ = nullptr;
};

class TfrmreplayWin : private IReplayUi {
 public:
  enum ControlId {
    kCbDay = 201, kBtnAll, kBtnRun, kBtnSaveChart, kListMonitors, kListResults, kChart, kLblStatus, kLblCsv,
    kProgress,
  };

  // Created hidden; `monitors` gives copies of the live monitors, `flushTapes`
  // writes out what the day tape recorder holds (DiskReplayDays).
  TfrmreplayWin(std::string appFolder, HWND owner, std::function<std::vector<policy::TPolicyRecord>()> monitors,
                std::function<void()> flushTapes);

  void Show();
  Tfrmreplay& Model() { return model_; }
  win::Dialog& Window() { return dialog_; }

 private:
  std::optional<std::string> ChooseCsvFile() override;
  std::optional<std::string> ChooseChartFile() override;
  bool SaveChartPicture(const std::string& path, std::string* error) override;
  bool Progress(size_t done, size_t total) override;

  // Pushes the model's state into the controls.
  void Sync();
  void Layout(win::Size client);

  std::string appFolder_;
  DiskReplayDays days_;
  Tfrmreplay model_;
  win::Dialog dialog_;
  win::Label lblDay_, lblCsv_, lblStatus_, lblMonitors_, lblResults_;
  win::ComboBox cbDay_;
  win::Button btnAll_, btnRun_, btnSaveChart_;
  win::ListView listMonitors_, listResults_;
  ReplayChartView chart_;
  win::ProgressBar progress_;
  uint64_t shownMonitors_ = ~uint64_t{0};
  uint64_t shownResults_ = ~uint64_t{0};
  bool syncing_ = false;
};

}  // namespace app
