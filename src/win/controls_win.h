// The standard controls: buttons, check boxes, radios, group boxes, labels,
// pictures, edits, numeric spin fields, spin buttons and combo boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/control_win.h"

namespace win {

struct ButtonArgs {
  std::string text{};
  Rect rect{0, 0, 75, 23};
  int id = 0;
  bool defaultButton = false;  // BS_DEFPUSHBUTTON
  bool flat = false;
  HICON icon = nullptr;  // shown left of the text
  std::string tooltip{};
};

class Button : public Control {
 public:
  Button() = default;
  Button(Parent parent, const ButtonArgs& args) { Create(parent, args); }
  void Create(Parent parent, const ButtonArgs& args);
  void Click();  // as the user: BM_CLICK
  std::function<void()> onClick;

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
};

struct CheckBoxArgs {
  std::string text{};
  Rect rect{0, 0, 120, 19};
  int id = 0;
  bool checked = false;
  std::string tooltip{};
};

class CheckBox : public Control {
 public:
  CheckBox() = default;
  CheckBox(Parent parent, const CheckBoxArgs& args) { Create(parent, args); }
  void Create(Parent parent, const CheckBoxArgs& args);
  bool Checked() const;
  void SetChecked(bool on);  // raises no event
  std::function<void()> onClick;  // after the check changed by the user

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
};

struct RadioArgs {
  std::string text{};
  Rect rect{0, 0, 80, 19};
  int id = 0;
  bool checked = false;
  bool firstInGroup = false;  // starts a new group (WS_GROUP); radios after it up to the next first one form the group
  std::string tooltip{};
};

class Radio : public Control {
 public:
  Radio() = default;
  Radio(Parent parent, const RadioArgs& args) { Create(parent, args); }
  void Create(Parent parent, const RadioArgs& args);
  bool Checked() const;
  void SetChecked(bool on);  // checking one unchecks the others of its group
  std::function<void()> onClick;

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
};

struct GroupBoxArgs {
  std::string text{};
  Rect rect{};
  int id = 0;
};

class GroupBox : public Control {
 public:
  GroupBox() = default;
  GroupBox(Parent parent, const GroupBoxArgs& args) { Create(parent, args); }
  void Create(Parent parent, const GroupBoxArgs& args);

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
};

struct LabelArgs {
  std::string text{};
  Rect rect{0, 0, 80, 15};
  int id = 0;
  Align align = Align::Left;
  bool bold = false;
  COLORREF color = kDefaultColor;       // text colour
  COLORREF background = kDefaultColor;  // the parent's background when not given
  bool vcenter = false;                 // single line, vertically centred
  bool ellipsis = false;                // "..." when cut off
  bool sunken = false;                  // a sunken frame (a value box)
  bool handCursor = false;              // for labels that act on a click
  std::string tooltip{};
};

class Label : public Control {
 public:
  Label() = default;
  Label(Parent parent, const LabelArgs& args) { Create(parent, args); }
  ~Label() override;
  void Create(Parent parent, const LabelArgs& args);
  void SetText(std::string_view text) override;  // repaints at once
  void SetColor(COLORREF color);
  void SetBackground(COLORREF color);
  void SetBold(bool bold);
  std::function<void()> onClick;
  std::function<void()> onDoubleClick;
  std::function<void()> onMouseEnter;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  COLORREF color_ = kDefaultColor;
  COLORREF background_ = kDefaultColor;
  HBRUSH brush_ = nullptr;
  bool hand_ = false;
  bool inside_ = false;
};

struct PictureArgs {
  Rect rect{0, 0, 16, 16};
  int id = 0;
  bool center = true;
  std::string tooltip{};
};

// A picture box: an icon or a bitmap, drawn centred (or stretched for
// bitmaps when the box is smaller).
class Picture : public Control {
 public:
  Picture() = default;
  Picture(Parent parent, const PictureArgs& args) { Create(parent, args); }
  ~Picture() override;
  void Create(Parent parent, const PictureArgs& args);
  void SetIcon(HICON icon);           // not owned
  // An icon of the program's resources (or an .ico file), loaded and owned
  // by the picture: showing the one shown already loads nothing, and the
  // one replaced is destroyed, so a picture that changes every few seconds
  // keeps one icon, not one per change.
  void ShowIcon(int resourceId, int size = 16);
  void ShowIcon(const std::string& file, int size = 16);
  HICON Icon() const { return icon_; }
  void SetBitmap(HBITMAP bitmap);     // owned from now on
  bool LoadBitmapFile(const std::string& path);  // .bmp; false when unreadable
  bool HasImage() const { return icon_ || bitmap_; }
  std::function<void()> onClick;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Own(HICON icon, int resourceId, std::string file, int size);
  void DropOwnedIcon();
  HICON icon_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  // What the owned icon was loaded from (none: icon_ is not ours).
  bool owned_ = false;
  int ownedId_ = 0, ownedSize_ = 0;
  std::string ownedFile_;
};

struct EditArgs {
  std::string text{};
  Rect rect{0, 0, 100, 21};
  int id = 0;
  bool multiline = false;  // with a vertical scroll bar and Enter as a new line
  bool readOnly = false;
  bool password = false;
  bool upperCase = false;
  bool digitsOnly = false;  // ES_NUMBER
  int maxLength = 0;        // characters; 0 = no limit
  Align align = Align::Left;
  bool border = true;
  bool wordWrap = true;  // multi-line only
  std::string tooltip{};
};

class Edit : public Control {
 public:
  Edit() = default;
  Edit(Parent parent, const EditArgs& args) { Create(parent, args); }
  void Create(Parent parent, const EditArgs& args);
  void SelectAll();
  void SetSelection(int start, int end);
  std::pair<int, int> Selection() const;
  void ReplaceSelection(std::string_view text);
  void SetReadOnly(bool on);
  bool ReadOnly() const;
  void SetMaxLength(int characters);
  void AppendText(std::string_view text);  // at the end, scrolled into view
  std::function<void()> onChanged;  // EN_CHANGE: by the user or by SetText
  std::function<void()> onEnter;    // Enter in a single-line edit

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
};

struct NumericEditArgs {
  double value = 0;
  int decimals = 2;
  double step = 1;
  double min = -1e12;
  double max = 1e12;
  Rect rect{0, 0, 80, 21};
  int id = 0;
  bool spinButtons = true;  // up/down arrows at the right, inside the rect
  bool border = true;
  int maxLength = 0;  // characters; 0: the system's limit
  Align align = Align::Right;
  std::string tooltip{};
};

// A numeric spin field: the text is the number with `decimals` digits; the
// arrows, the Up/Down keys and the mouse wheel step it by `step` within
// [min, max]. The text may be anything while the user types; Value() tells.
class NumericEdit : public Control {
 public:
  NumericEdit() = default;
  NumericEdit(Parent parent, const NumericEditArgs& args) { Create(parent, args); }
  void Create(Parent parent, const NumericEditArgs& args);
  void MovePixels(const RECT& rect) override;  // the field and its arrows
  void Show(bool on = true) override;
  void Enable(bool on = true) override;

  std::optional<double> Value() const;  // nullopt when the text is no number
  void SetValue(double value);          // clamped, formatted with the decimals
  void StepBy(int steps);               // as the arrows: from the value (or min), clamped
  void SetRange(double min, double max);
  void SetStep(double step) { step_ = step; }
  void SetDecimals(int decimals) { decimals_ = decimals; }
  void SetReadOnly(bool on);
  int Decimals() const { return decimals_; }
  double Step() const { return step_; }
  void SelectAll();
  HWND SpinHandle() const { return spin_; }

  std::function<void()> onChanged;  // text changed, by the user, a step or SetValue
  std::function<void()> onEnter;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void PlaceSpin();
  HWND spin_ = nullptr;
  int decimals_ = 2;
  double step_ = 1;
  double min_ = -1e12;
  double max_ = 1e12;
  int wheelRest_ = 0;
};

struct SpinButtonsArgs {
  Rect rect{0, 0, 17, 21};
  int id = 0;
  bool horizontal = false;
  std::string tooltip{};
};

// Bare up/down arrows whose meaning the view gives (the editors' ±0.001).
class SpinButtons : public Control {
 public:
  SpinButtons() = default;
  SpinButtons(Parent parent, const SpinButtonsArgs& args) { Create(parent, args); }
  void Create(Parent parent, const SpinButtonsArgs& args);
  std::function<void()> onUp;
  std::function<void()> onDown;

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
};

struct ComboBoxArgs {
  std::vector<std::string> items{};
  int selected = -1;
  Rect rect{0, 0, 120, 23};
  int id = 0;
  bool editable = false;  // a drop-down with an edit field; else a drop-down list
  int dropHeight = 200;   // 96-dpi units
  std::string tooltip{};
};

class ComboBox : public Control {
 public:
  ComboBox() = default;
  ComboBox(Parent parent, const ComboBoxArgs& args) { Create(parent, args); }
  void Create(Parent parent, const ComboBoxArgs& args);
  void SetItems(const std::vector<std::string>& items);
  int AddItem(std::string_view text);
  void Clear();
  int Count() const;
  std::string ItemText(int index) const;
  int Selected() const;  // -1 when none
  void Select(int index);  // raises no event
  void MovePixels(const RECT& rect) override;  // the height is the closed box's; the list drops below
  std::function<void()> onChanged;  // selection changed, or edit text changed
  std::function<void()> onDropDown;

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int dropHeight_ = 200;
};

struct TrackBarArgs {
  Rect rect{0, 0, 150, 28};
  int id = 0;
  int min = 0;
  int max = 100;
  int position = 0;
  int ticks = 0;  // a tick every this many steps; 0: none
  std::string tooltip{};
};

// A horizontal slider.
class TrackBar : public Control {
 public:
  TrackBar() = default;
  TrackBar(Parent parent, const TrackBarArgs& args) { Create(parent, args); }
  void Create(Parent parent, const TrackBarArgs& args);
  int Position() const;
  void SetPosition(int position);  // raises no event
  void SetRange(int min, int max);
  std::function<void(int position)> onChanged;  // moved by the user (mouse or keys)

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace win
