// The trade log viewer: reads log\trade.log (written by the monitor loop),
// shows every trigger line as a row, and can empty the log.
//
// The log is GBK text. Lines are split into tokens on the GBK bytes, which
// is safe: the trail byte of a GBK double-byte character is 0x40 or above,
// so it is never a blank, a control character, ',' or '"'. Rows keep the
// token bytes in one pool; cell texts are converted to UTF-8 only when the
// view asks for them, so a log of 100,000 lines loads in a blink and the
// owner-data list shows any part of it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The tokens of one trade log line: comma-delimited, '"' quoting ("" inside
// quotes is one '"'), blanks also end a token, characters 1 to 32 skipped
// around tokens and after a comma; ",," gives an empty token and a comma
// as the very last character a final empty one. A NUL ends the line.
std::vector<std::string> TradeLogTokens(std::string_view line);

// Walks the tokens of a line without allocating; Next gives the raw bytes
// of each token (without its quotes, "" not yet undoubled).
class TradeLogTokenizer {
 public:
  explicit TradeLogTokenizer(std::string_view line);
  bool Next(std::string_view& raw, bool& quoted);

 private:
  std::string_view s_;
  size_t pos_ = 0;
  bool pendingEmpty_ = false;
};
// Appends a token's text, undoubling "" in a quoted one.
void AppendTokenText(std::string& out, std::string_view raw, bool quoted);

// Whether a GBK line holds "触发交易" as whole characters.
bool IsTradeTriggerLine(std::string_view gbkLine);

enum class ColumnAlign { kLeft, kRight, kCentre };
struct ShowLogColumn {
  const char* caption;
  int width;
  ColumnAlign align;
};
constexpr int kShowLogColumnCount = 11;
extern const std::array<ShowLogColumn, kShowLogColumnCount> kShowLogColumns;

// The rows of a loaded trade log, stored compactly.
class TradeLogRows {
 public:
  static constexpr int kTokens = 12;  // tokens 0..11 are shown

  void Clear();
  // Adds a row for every kept line of the GBK file contents, after the rows
  // already there.
  void Load(std::string_view bytes);
  size_t Count() const { return counts_.size(); }
  // Cell text in UTF-8; column 0 is the running number.
  std::string Cell(size_t row, int column) const;
  // Token bytes (GBK) of a row; empty for a token the line did not have.
  std::string_view Token(size_t row, int token) const;
  int TokenCount(size_t row) const { return counts_[row]; }

 private:
  void AddLine(std::string_view line);

  std::string pool_;
  // Per row kTokens + 1 bounds into the pool: token k is [b[k], b[k+1]).
  std::vector<uint32_t> bounds_;
  std::vector<uint8_t> counts_;
};

// The file access of the viewer.
class IShowLogFiles {
 public:
  virtual ~IShowLogFiles() = default;
  virtual bool Exists(const std::string& path) = 0;
  virtual std::optional<std::string> Read(const std::string& path) = 0;
  // Empties the file and keeps it; false with `error` set on failure.
  virtual bool Truncate(const std::string& path, std::string* error) = 0;
};

// The files on disk.
class DiskShowLogFiles : public IShowLogFiles {
 public:
  bool Exists(const std::string& path) override;
  std::optional<std::string> Read(const std::string& path) override;
  bool Truncate(const std::string& path, std::string* error) override;
};

// What the viewer asks of its window and the user.
class IShowLogUi {
 public:
  virtual ~IShowLogUi() = default;
  // A Yes/No question box; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // An information box with OK.
  virtual void ShowInformation(const std::string& text, const std::string& title) = 0;
  // Hides the viewer window (it is kept for the next showing).
  virtual void CloseWindow() = 0;
};

class Tfrmshowlog {
 public:
  static constexpr const char* kCaption = "触发记录查看";
  static constexpr int kKeyEscape = 0x1B;

  Tfrmshowlog(std::string appFolder, IShowLogFiles& files, IShowLogUi& ui);

  // Events.
  void FormShow();
  void FormKeyDown(int key);
  void BtnClearLogClick();  // "清空日志"
  void BtnRefreshClick();   // "刷新"
  void BtnCloseClick();     // "关闭"

  // State.
  size_t RowCount() const { return rows_.Count(); }
  std::string CellText(size_t row, int column) const { return rows_.Cell(row, column); }
  const TradeLogRows& Rows() const { return rows_; }
  // The trade log path remembered at the last showing; empty when the log
  // did not exist then.
  const std::string& LogPath() const { return logPath_; }
  // Rises whenever the rows change, so the view knows to refill the list.
  uint64_t RowsVersion() const { return rowsVersion_; }

  std::string TradeLogPathOfFolder() const;

 private:
  void ClearRows();
  void LoadFile(const std::string& path);

  std::string appFolder_;
  IShowLogFiles& files_;
  IShowLogUi& ui_;
  std::string logPath_;
  TradeLogRows rows_;
  uint64_t rowsVersion_ = 0;
};

}  // namespace app
