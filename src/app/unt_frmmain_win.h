// The main window's Win32 view: creates the controls of the window, the
// tray icon and the progress window, binds every event to the form model
// and copies the model's changed state back into the controls. It is also
// the model's host: message boxes, dialogs, the system and the session.
#pragma once

#include <memory>
#include <string>

namespace trading {
class IDesktop;
}

namespace app {

class Tfrmmain;

class TfrmmainView {
 public:
  // Creates the window and runs the model's creation steps; the window is
  // shown by Show. The order automation works on `desktop` when one is
  // given (it must outlive the view), else on the system's.
  explicit TfrmmainView(std::string applicationFolder, trading::IDesktop* desktop = nullptr);
  ~TfrmmainView();
  TfrmmainView(const TfrmmainView&) = delete;
  TfrmmainView& operator=(const TfrmmainView&) = delete;

  // Shows the window, then runs the model's show steps.
  void Show();
  Tfrmmain& Model();
  // Copies the model's changed state into the controls now (it happens
  // after every event and, for changes made elsewhere, on the next pass of
  // the message loop).
  void Sync();
  // Waits until the store saves of the rebuilds so far are on disk.
  void FlushStore();
  void* Handle() const;  // the HWND
  // The title and text of the last tray balloon ("title: text"), for checks.
  std::string LastBalloon() const;
  // The downloaded and checked installer the program closed for; empty
  // when it closed for anything else.
  const std::string& PendingInstaller() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace app
