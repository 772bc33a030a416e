// The progress window of the login and the association: a label over a bar
// of parts. The model keeps what the window shows.
#pragma once

#include <string>

namespace app {

class Tfrmprogress {
 public:
  void SetText(const std::string& text) { text_ = text; }
  void SetTotalParts(int parts) { total_ = parts > 0 ? parts : 1; if (position_ > total_) position_ = total_; }
  // A complete bar starts again from empty, then takes n parts.
  void Advance(int n = 1) {
    if (position_ >= total_) position_ = 0;
    position_ = position_ + n > total_ ? total_ : position_ + n;
  }
  // Showing starts from an empty bar.
  void Shown() { position_ = 0; }
  const std::string& Text() const { return text_; }
  int TotalParts() const { return total_; }
  int Position() const { return position_; }

 private:
  std::string text_;
  int total_ = 10;
  int position_ = 0;
};

}  // namespace app
