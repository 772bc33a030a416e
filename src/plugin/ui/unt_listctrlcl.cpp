#include "plugin/ui/unt_listctrlcl.h"

#include <algorithm>

namespace ui {

char AlignmentChar(int columnFormat) {
  switch (columnFormat) {
    case format::kLeft: return '0';
    case format::kRight: return '2';
    default: return '1';
  }
}

TAlign AlignOf(char alignment) {
  switch (alignment) {
    case '0': return TAlign::kLeft;
    case '2': return TAlign::kRight;
    default: return TAlign::kCentre;
  }
}

void CHeaderCtrlClModel::AddColumn(std::string heading, int columnFormat) {
  headings_.push_back(std::move(heading));
  alignments_.push_back(AlignmentChar(columnFormat));
}

TAlign CHeaderCtrlClModel::Alignment(int column) const {
  if (column < 0 || static_cast<size_t>(column) >= alignments_.size()) return TAlign::kCentre;
  return AlignOf(alignments_[static_cast<size_t>(column)]);
}

TColour CHeaderCtrlClModel::GradientRow(int row) const {
  // Computed in 64 bits: a tall header times a large step must not wrap
  // back to a light colour.
  const auto part = [&](int start) {
    const long long value = static_cast<long long>(start) - static_cast<long long>(std::max(row, 0)) * step;
    return static_cast<int>(std::clamp<long long>(value, 0, 255));
  };
  return Rgb(part(red), part(green), part(blue));
}

int CHeaderCtrlClModel::ScaledHeight(int height) const {
  const double scaled = static_cast<double>(height) * static_cast<double>(heightFactor);
  if (!(scaled >= 0)) return 0;  // negative or not a number
  return scaled > 32767 ? 32767 : static_cast<int>(scaled);
}

TColour CListCtrlClModel::RowTextColour(int row) const {
  const auto it = rowColours.find(row);
  return it != rowColours.end() ? it->second : kBlack;
}

TColour CListCtrlClModel::CellBackground(bool selected, TColour systemHighlight, TColour listBackground) const {
  if (selected) return selectedBackground.set ? selectedBackground.colour : systemHighlight;
  return background.set ? background.colour : listBackground;
}

}  // namespace ui
