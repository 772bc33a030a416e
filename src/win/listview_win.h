// The report-mode list view: columns, rows with a per-row value, row and
// cell icons, odd-row colours, hit tests, fast rebuilds, and an owner-data
// mode that asks for the texts of the rows shown.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "win/control_win.h"

namespace win {

class ImageList;

struct Column {
  std::string caption{};
  int width = 80;  // 96-dpi units
  Align align = Align::Left;
};

struct ListViewArgs {
  Rect rect{};
  int id = 0;
  std::vector<Column> columns{};
  bool gridLines = true;
  bool fullRowSelect = true;
  bool singleSelect = true;
  bool showSelectionAlways = true;
  bool ownerData = false;    // virtual: rows come from cellText
  bool subItemImages = true; // icons in cells other than the first
  bool border = true;
  bool headerClickable = false;
  COLORREF oddRowColor = kDefaultColor;  // background of rows 1, 3, 5, ...
  bool checkBoxes = false;  // a check box before each row (a check list)
  bool noHeader = false;    // no column header
};

struct ListHit {
  int row = -1;     // -1: no row
  int column = -1;  // -1: no column
  explicit operator bool() const { return row >= 0; }
};

class ListView : public Control {
 public:
  ListView() = default;
  ListView(Parent parent, const ListViewArgs& args) { Create(parent, args); }
  void Create(Parent parent, const ListViewArgs& args);

  // Columns.
  int AddColumn(const Column& column);
  int ColumnCount() const;
  int ColumnWidth(int column) const;  // 96-dpi units
  int ColumnWidthPixels(int column) const;
  void SetColumnWidth(int column, int width);  // 96-dpi units
  // As wide as its widest cell, never narrower than `minWidth` (96-dpi units).
  void FitColumnToCells(int column, int minWidth);

  // The small image list for row and cell icons; not owned.
  void SetImageList(const ImageList* images);

  // Rows. AddRow/InsertRow return the row index.
  int AddRow(std::string_view caption, int image = -1, LPARAM data = 0);
  int InsertRow(int at, std::string_view caption, int image = -1, LPARAM data = 0);
  void DeleteRow(int row);
  void Clear();
  int RowCount() const;
  void Reserve(int rows);  // before a large rebuild
  void SetCell(int row, int column, std::string_view text);
  std::string Cell(int row, int column) const;
  void SetCellImage(int row, int column, int image);  // column 0: the row icon
  int CellImage(int row, int column) const;
  void SetRowData(int row, LPARAM data);
  LPARAM RowData(int row) const;
  int FindRowByData(LPARAM data) const;  // -1 when none

  // Owner-data mode: the row count, and the callbacks that give the texts
  // (and icons) of the rows the list shows.
  void SetVirtualRowCount(int rows);
  std::function<std::string(int row, int column)> cellText;
  std::function<int(int row, int column)> cellImage;

  // Check boxes (checkBoxes lists). SetChecked raises no event.
  bool Checked(int row) const;
  void SetChecked(int row, bool on);
  // The user checked or unchecked a row (a click on its box, or Space).
  std::function<void(int row, bool checked)> onCheckChanged;

  // Selection and focus.
  int FocusedRow() const;
  int SelectedRow() const;  // the first selected row, -1 when none
  std::vector<int> SelectedRows() const;
  void Select(int row, bool focus = true);  // -1 clears the selection
  void EnsureVisible(int row);
  int TopRow() const;

  // Geometry in client pixels of the list.
  ListHit HitTest(POINT client) const;
  RECT CellRect(int row, int column) const;  // the cell's label rectangle
  RECT RowRect(int row) const;
  int HeaderHeight() const;

  // Rebuilds without painting in between (WM_SETREDRAW); nested calls count.
  void BeginUpdate();
  void EndUpdate();

  // Row background: the callback wins over the fixed odd-row colour; it
  // returns kDefaultColor for the list's normal background.
  void SetOddRowColor(COLORREF color) { oddRowColor_ = color; }
  std::function<COLORREF(int row)> rowColor;
  // Text colour of a row; kDefaultColor for the list's normal text.
  std::function<COLORREF(int row)> rowTextColor;
  // Called after every paint of the list with its DC (client pixels): for
  // frames drawn over cells.
  std::function<void(HDC dc)> onPaint;

  // Events. Points are client pixels of the list unless they say screen.
  std::function<void(ListHit hit, POINT client)> onClick;
  std::function<void(ListHit hit, POINT client)> onDoubleClick;
  std::function<void(ListHit hit, POINT screen)> onRightClick;
  std::function<void(int row)> onSelectionChanged;  // the new focused row after a change
  std::function<void(int column)> onHeaderClick;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
  COLORREF oddRowColor_ = kDefaultColor;
  COLORREF paintColor_ = kDefaultColor;  // of the row being drawn
  COLORREF paintText_ = kDefaultColor;
  int updateDepth_ = 0;
  bool ownerData_ = false;
  bool settingCheck_ = false;
  std::wstring dispBuffer_{};
};

}  // namespace win
