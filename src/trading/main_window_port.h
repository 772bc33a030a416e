// What the trading automation asks of the main window: its titles, the
// association pane and warning, the progress window, message boxes, the
// logs, and the dialogs it falls back on. The main window implements it;
// quorvel-tool implements it on the console.
#pragma once

#include <string>

#include "trading/desktop_port.h"

namespace trading {

class ITradingMainWindow {
 public:
  virtual ~ITradingMainWindow() = default;

  // The plain application title, without an association suffix.
  virtual std::string ApplicationTitle() = 0;
  // Sets the application title and the main window caption.
  virtual void SetTitles(const std::string& title) = 0;
  // Status pane 3.
  virtual void SetAssociationPane(const std::string& text) = 0;
  // The scrolling "not associated" warning: shown scrolls, hidden stands still.
  virtual void ShowAssociationWarning(bool shown) = 0;

  virtual void ShowProgress(const std::string& text) = 0;
  virtual void StepProgress() = 0;
  virtual void CloseProgress() = 0;

  // A modal information box with OK.
  virtual void ShowInformation(const std::string& text, const std::string& title) = 0;

  // The daily log (written only while logged in) and the order-step log.
  virtual void WriteDailyLog(const std::string& text) = 0;
  virtual void WriteOrderStepLog(const std::string& category, const std::string& text) = 0;

  // Starts the configured trading program; false when none was started.
  virtual bool LaunchOrderProgram() = 0;
  // The settings-download dialog, where the user picks a trading profile.
  virtual void ShowProfileDownload() = 0;
  // Rebuilds the monitor list view (the refresh commands do it first).
  virtual void RebuildMonitorList() = 0;

  // The main window's outer size, and moving it (left and top in screen
  // coordinates). A window of size 0 is not moved.
  virtual ScreenSize MainWindowSize() = 0;
  virtual void MoveMainWindow(int left, int top) = 0;
};

}  // namespace trading
