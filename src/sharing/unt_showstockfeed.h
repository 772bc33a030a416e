// The share feed "晒股信息": the posts received from the server, newest on
// top, kept across runs in data\showstock.tmp (534-byte posts in the order
// received, no header). A portable model: the main window's view shows its
// rows in bsSkinLVShowStock and forwards the list's events here.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "sharing/unt_showstockrecord.h"

namespace sharing {

inline constexpr char kFeedFile[] = "showstock.tmp";  // under data\ of the application folder
inline constexpr char kFeedRestFile[] = "showstock.tmp.rest";
// The newest posts kept in the feed and its file; older ones are dropped.
inline constexpr size_t kFeedKeptPosts = 5000;
inline constexpr char kShareBalloonTitle[] = "晒股动态";
inline constexpr char kClearFeedQuestion[] = "清空列表，所有晒股信息将会丢失，您确定要这样做吗？";
inline constexpr char kShareSound[] = "Money_Take.wav";  // in the res folder
inline constexpr char kDetailMenuItem[] = "查看详细信息";
// A row with a cell of exactly this text is drawn in maroon.
inline constexpr char kMaroonCell[] = "1000000";

// What the feed asks of the program around it (GUI thread).
class IShowStockFeedHost {
 public:
  virtual ~IShowStockFeedHost() = default;
  // The sound switch of option.opt.
  virtual bool SoundOn() = 0;
  virtual void PlaySound(const std::string& path) = 0;
  virtual void ShowBalloon(const std::string& title, const std::string& text) = 0;
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  virtual void ShowDetail(const std::array<std::string, kFeedColumns>& cells) = 0;
};

// The balloon text of a received post.
std::string ShareBalloonText(const TShowStockRecord& post);

class TShowStockFeed {
 public:
  TShowStockFeed(std::string applicationFolder, IShowStockFeedHost& host);

  // Reads the feed file at the main window's creation, whole posts only,
  // each put on top (the file's last post shows first); no sound, no balloon.
  // A file holding more than kFeedKeptPosts posts is rewritten with the
  // newest of them.
  void LoadFeed();
  // A 1006 post: sound, balloon, the row on top, the post appended to the
  // file. A post that cannot be written still shows; the user is told once.
  void ReceiveSharePost(const TShowStockRecord& post);
  // "清空列表": after the question, the rows and the file go.
  void ClearFeed();
  // Double click on a row, or "查看详细信息" on the focused row (-1 none).
  void ShowDetail(int row);

  size_t RowCount() const { return rows_.size(); }
  const std::string& Cell(size_t row, int column) const { return rows_[row].cells[column]; }
  const TShowStockRecord& Post(size_t row) const { return rows_[row].post; }
  // Odd rows (the second, fourth, ...) take the info-tip colour.
  static bool OddRow(size_t row) { return row % 2 == 1; }
  bool Maroon(size_t row) const { return rows_[row].maroon; }
  // The hint over a row.
  std::string Hint(size_t row) const;
  std::string FeedPath() const;

  // Called whenever the rows changed.
  std::function<void()> onChanged;

 private:
  struct Row {
    TShowStockRecord post;
    std::array<std::string, kFeedColumns> cells;
    bool maroon;
  };
  static Row MakeRow(const TShowStockRecord& post);
  void Insert(const TShowStockRecord& post);
  bool Append(const TShowStockRecord& post, std::string& error);
  void Changed() {
    if (onChanged) onChanged();
  }

  std::string folder_;
  IShowStockFeedHost& host_;
  std::vector<Row> rows_;  // newest first
  bool toldWriteFailure_ = false;
};

}  // namespace sharing
