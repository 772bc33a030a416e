// The Win32 side of the editor frame: the dialog with the help pane on the
// left, the group box "策略设置" on the right, the two-pane status bar and
// the buttons, plus the rows every editor shares (code, set price,
// quantity, quote optimisation, automatic trading, price basis boxes). An
// editor's view derives from TEditorFrameWin, creates its rows in field
// order (which is the tab order) and copies its own fields in TakeFields
// and SyncFields. Nothing here decides anything: events go to the model.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "policy/unt_editorframe.h"
#include "win/all_win.h"

namespace policy {

// What an editor's window needs from the program around it; the view fills
// the GUI-thread poster into the services.
struct TEditorViewArgs {
  HWND owner = nullptr;
  TEditorServices services;
  win::GuiPoster poster;
};

// The services with the poster as their way to the GUI thread.
TEditorServices WithPoster(const TEditorViewArgs& args);

// Every editor's window as the main window sees it.
class TEditorView {
 public:
  virtual ~TEditorView() = default;
  virtual void OpenForAdd() = 0;
  virtual void OpenForModify(const TPolicyRecord& monitor) = 0;
  virtual HWND Handle() const = 0;
};

// Identifiers of the fields, by which scenario tests find them; an
// editor's own fields count from kIdEditorFields.
enum TEditorControlId : int {
  kIdCode = 3001,
  kIdName,
  kIdSetPrice,
  kIdQuantity,
  kIdOptimiseAmount,
  kIdEditorFields = 3100,
};

// A text box that reports clicks into it.
class TClickEdit : public win::Edit {
 public:
  std::function<void()> onClick;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class TEditorFrameWin : public TEditorView, public IEditorDialog {
 public:
  explicit TEditorFrameWin(HWND owner) : owner_(owner) {}
  ~TEditorFrameWin() override = default;

  void OpenForAdd() override;
  void OpenForModify(const TPolicyRecord& monitor) override;
  HWND Handle() const override { return dialog_.Handle(); }

  // ---- IEditorDialog ----
  bool AskYesNo(const std::string& text, const std::string& title) override;
  void ShowCalculator() override;
  void Refresh() override { SyncLive(); }

 protected:
  // Row layout inside the group box, 96-dpi units.
  static constexpr int kRowHeight = 28;
  static constexpr int kLabelX = 12;
  static constexpr int kFieldX = 88;
  static constexpr int kFieldWidth = 92;
  static constexpr int kEditHeight = 21;

  // The dialog around a group of the given size; call first, from the
  // derived constructor, once the model exists.
  void CreateFrame(TEditorFrame& model, int groupWidth, int groupHeight);
  // The buttons, the help pane and the status bar; call after the rows
  // (the tab order follows creation).
  void FinishFrame();
  // A rectangle inside the group box.
  win::Rect G(int x, int y, int width, int height) const { return {groupX_ + x, groupY_ + y, width, height}; }
  // The control a focus request names.
  void Register(const std::string& name, win::Control& control, win::Edit* edit = nullptr);
  // Runs a model event between Take and Sync, and ends the dialog when the
  // model closed it.
  void Do(const std::function<void()>& event);
  // A text change of an edit: the event, unless the change is the view's
  // own (Sync) or happens inside another event.
  void OnTextChanged(const std::function<void()>& event) {
    if (busy_ == 0) Do(event);
  }

  // ---- shared rows; each returns the y of the next row ----
  int CodeRow(int y, const std::string& caption);  // label, code, name, live price
  int BasisRow(int y);                              // the three boxes with open and close
  int SetPriceRow(int y, const std::string& caption, const std::string& unit, bool calculator);
  int QuantityRow(int y, const std::string& caption, const std::string& control);
  int OptimiseRow(int y, const std::string& otherUnit, const std::string& otherHint);
  int ActiveRow(int y);
  win::Label& NewLabel(const std::string& text, const win::Rect& rect);

  // The editor's own fields.
  virtual void TakeFields() {}
  virtual void SyncFields() {}
  // What changes outside the view's events: live prices, enabled code boxes.
  virtual void SyncLive();

  static void SetText(win::Control& control, const std::string& text);

  TEditorFrame* model_ = nullptr;
  HWND owner_ = nullptr;
  int busy_ = 0;  // inside Do or Sync
  win::Dialog dialog_;
  win::GroupBox group_;
  win::RichEdit help_;
  win::StatusBar status_;
  win::Button ok_, cancel_, reset_, saveDefault_, calculator_;
  win::Label codeLabel_, setPriceLabel_, setPriceUnit_, quantityLabel_;
  TClickEdit code_;
  win::Edit name_, setPrice_, quantity_, optimiseAmount_;
  win::Label newPrice_, openLabel_, closeLabel_;
  win::SpinButtons setPriceSpin_, quantitySpin_;
  std::array<win::CheckBox, 4> basis_{};  // 1..3
  win::CheckBox optimise_, active_;
  win::Radio optYuan_, optOther_;
  std::vector<std::unique_ptr<win::Label>> labels_;

 private:
  void Take();
  void Sync();
  void ShowModal();
  void ApplyFocus();

  struct Focusable {
    win::Control* control = nullptr;
    win::Edit* edit = nullptr;
  };
  std::map<std::string, Focusable> focusables_;
  int groupX_ = 0, groupY_ = 0, groupWidth_ = 0, groupHeight_ = 0;
  int clientWidth_ = 0, clientHeight_ = 0;
  bool hasBasis_ = false, hasSetPrice_ = false, hasQuantity_ = false, hasOptimise_ = false, hasActive_ = false;
};

}  // namespace policy
