// The settings and the drawing decisions of the plug-in's owner-drawn list
// control (CListCtrlCl) and its header (CHeaderCtrlCl). The Win32 controls
// draw what these answer; nothing here touches a window.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ui {

// A colour as GDI takes it: 0x00BBGGRR.
using TColour = uint32_t;
constexpr TColour Rgb(int r, int g, int b) {
  return static_cast<TColour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr TColour kBlack = Rgb(0, 0, 0);
constexpr TColour kWhite = Rgb(255, 255, 255);
constexpr TColour kRed = Rgb(255, 0, 0);

// Column formats of the list view (LVCFMT_LEFT, _RIGHT, _CENTER).
namespace format {
constexpr int kLeft = 0;
constexpr int kRight = 1;
constexpr int kCentre = 2;
}  // namespace format

enum class TAlign { kLeft, kCentre, kRight };

// The alignment character of a column format: "0" left, "1" centre, "2"
// right, "1" for any other format.
char AlignmentChar(int columnFormat);
// How a cell or heading with that alignment character is drawn: "0" left,
// "2" right, anything else centred.
TAlign AlignOf(char alignment);

struct TOptionalColour {
  TColour colour = 0;
  bool set = false;
};

class CHeaderCtrlClModel {
 public:
  // The heading (GBK) and the alignment character of a new last column.
  void AddColumn(std::string heading, int columnFormat);
  const std::vector<std::string>& Headings() const { return headings_; }
  const std::string& Alignments() const { return alignments_; }
  // The alignment of a column; centred for one the header does not know.
  TAlign Alignment(int column) const;
  // The colour of pixel row `row` (0: the item's top) of the gradient: the
  // start colour, each part down by the step per row, not below 0.
  TColour GradientRow(int row) const;
  // The header's height after the default layout, times the height factor,
  // truncated to whole pixels.
  int ScaledHeight(int height) const;

  int red = 171, green = 199, blue = 235;
  int step = 8;
  float heightFactor = 1.0f;
  int fontHeight = 15;
  int fontWidth = 0;
  TColour textColour = kBlack;

 private:
  std::vector<std::string> headings_;
  std::string alignments_;
};

class CListCtrlClModel {
 public:
  // Column insertion: the heading and its alignment go to the header; the
  // view then inserts the column into the list.
  void InsertColumn(std::string heading, int columnFormat) { header.AddColumn(std::move(heading), columnFormat); }

  void SetHeaderHeight(float factor) { header.heightFactor = factor; }
  void SetHeaderFont(int height, int width) {
    header.fontHeight = height;
    header.fontWidth = width;
  }
  void SetHeaderTextColour(TColour colour) { header.textColour = colour; }
  void SetHeaderBackground(int r, int g, int b, int gradientStep) {
    header.red = r;
    header.green = g;
    header.blue = b;
    header.step = gradientStep;
  }
  void SetSelectedRowBackground(TColour colour) { selectedBackground = {colour, true}; }
  void SetBackground(TColour colour) { background = {colour, true}; }
  void SetRowTextColour(int row, TColour colour) { rowColours[row] = colour; }
  void ClearRowTextColours() { rowColours.clear(); }

  // A row's text colour: its own when it has one, else black (selected
  // rows too).
  TColour RowTextColour(int row) const;
  // A cell's background: the selected-row or the list's background colour
  // when set, else the system's highlight or the list view's own colour.
  TColour CellBackground(bool selected, TColour systemHighlight, TColour listBackground) const;

  CHeaderCtrlClModel header;
  TColour textColour = kBlack;  // no setter
  int fontHeight = 12;
  int fontWidth = 0;
  std::map<int, TColour> rowColours;
  TOptionalColour selectedBackground;
  TOptionalColour selectedText;
  TOptionalColour background;
};

}  // namespace ui
