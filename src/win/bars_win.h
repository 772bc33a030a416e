// The status bar, the toolbar and the tab (page) control.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "win/control_win.h"

namespace win {

class ImageList;

// A pane width of kRest takes the room the fixed panes leave; panes after
// it sit at the right end of the bar.
constexpr int kRest = -1;

struct StatusPane {
  int width = 100;  // 96-dpi units, or kRest
  std::string text{};
  bool tooltip = false;  // hovering shows the pane's whole text
  std::string hint{};    // hovering shows this text instead (when not empty)
};

struct StatusBarArgs {
  std::vector<StatusPane> panes{};
  int id = 0;
  bool sizeGrip = true;
};

// Sits at the bottom of its parent; call Layout() from the parent's onSize.
class StatusBar : public Control {
 public:
  StatusBar() = default;
  StatusBar(Parent parent, const StatusBarArgs& args) { Create(parent, args); }
  void Create(Parent parent, const StatusBarArgs& args);
  void Layout();  // follows the parent's width; recomputes the rest pane

  int PaneCount() const { return static_cast<int>(panes_.size()); }
  void SetPaneText(int pane, std::string_view text);  // repaints at once
  std::string PaneText(int pane) const;
  void SetPaneWidth(int pane, int width);  // 96-dpi units or kRest
  void SetPaneTooltip(int pane, bool on);
  void SetPaneHint(int pane, std::string_view hint);  // a fixed hint; empty: none
  std::string PaneTooltip(int pane) const;  // the text the tip shows, empty when none
  RECT PaneRect(int pane) const;            // client pixels of the bar
  int PaneAt(POINT client) const;           // -1 outside the panes
  int Height() const;                       // pixels

  std::function<void(int pane)> onPaneClick;
  std::function<void(int pane)> onPaneDoubleClick;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void UpdateTips();
  std::vector<StatusPane> panes_{};
  HWND tips_ = nullptr;
};

struct ToolButton {
  int id = 0;
  std::string text{};
  int image = -1;  // index in the toolbar's image list
  std::string tooltip{};
  bool enabled = true;
  bool separator = false;
  bool checkable = false;
};

struct ToolBarArgs {
  std::vector<ToolButton> buttons{};
  const ImageList* images = nullptr;  // not owned
  int id = 0;
  bool textRight = true;  // text beside the icon; else under it
  bool flat = true;
  bool topAligned = true;  // sits at the top of the parent (CCS_TOP); else placed with Move
  bool divider = false;
};

class ToolBar : public Control {
 public:
  ToolBar() = default;
  ToolBar(Parent parent, const ToolBarArgs& args) { Create(parent, args); }
  void Create(Parent parent, const ToolBarArgs& args);
  void AddButton(const ToolButton& button);
  void Layout();  // after the parent's size changed
  int ButtonCount() const;
  std::string ButtonText(int id) const;
  void SetButtonEnabled(int id, bool on);
  bool ButtonEnabled(int id) const;
  void SetButtonChecked(int id, bool on);
  bool ButtonChecked(int id) const;
  RECT ButtonRect(int id) const;  // client pixels of the toolbar
  int Height() const;             // pixels
  void ClickButton(int id);       // as the user (only when enabled)

  std::function<void(int id)> onClick;

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::map<int, std::wstring> tips_{};
};

struct TabControlArgs {
  Rect rect{};
  int id = 0;
  std::vector<std::string> pages{};
};

// Tabs over pages: each page is a Panel that hosts the page's controls and
// fills the display area. Hiding a page's tab keeps the page and its controls.
class TabControl : public Control {
 public:
  TabControl() = default;
  TabControl(Parent parent, const TabControlArgs& args) { Create(parent, args); }
  void Create(Parent parent, const TabControlArgs& args);
  int AddPage(std::string_view caption);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  Panel& Page(int page) { return *pages_[page].panel; }
  void SetActive(int page);  // shows the page's tab when hidden; raises no event
  int Active() const { return active_; }
  void ShowTab(int page, bool on);
  bool TabShown(int page) const;
  std::string PageCaption(int page) const { return pages_[page].caption; }
  int TabIndexOf(int page) const;  // the tab position of a shown page, -1 when hidden
  void MovePixels(const RECT& rect) override;  // the pages follow
  RECT PageRectPixels() const;  // the display area, client pixels of the tab control (the pages are its children)

  std::function<void(int page)> onChanged;  // the user chose another page

 protected:
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  struct PageEntry {
    std::string caption{};
    std::unique_ptr<Panel> panel{};
    bool shown = true;
  };
  void Rebuild();
  void LayoutPages();
  void ShowOnly(int page);
  std::vector<PageEntry> pages_{};
  int active_ = -1;
};

}  // namespace win
