#include "sharing/unt_showstockfeed.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "base/fixed_text.h"

namespace sharing {

std::string ShareBalloonText(const TShowStockRecord& p) {
  return "用户" + base::ReadFixedUtf8(p.posterName) + "(" + base::ReadFixedUtf8(p.posterId) + ")晒出了一只股票:" +
         base::ReadFixedUtf8(p.code) + "(" + base::ReadFixedUtf8(p.name) + "),详情请查看晒股动态栏.";
}

TShowStockFeed::TShowStockFeed(std::string applicationFolder, IShowStockFeedHost& host)
    : folder_(std::move(applicationFolder)), host_(host) {}

std::string TShowStockFeed::FeedPath() const {
  return base::PathToUtf8(base::PathFromUtf8(folder_) / "data" / kFeedFile);
}

TShowStockFeed::Row TShowStockFeed::MakeRow(const TShowStockRecord& post) {
  Row row{post, FeedCells(post), false};
  row.maroon = std::any_of(row.cells.begin(), row.cells.end(), [](const std::string& c) { return c == kMaroonCell; });
  return row;
}

void TShowStockFeed::Insert(const TShowStockRecord& post) {
  rows_.insert(rows_.begin(), MakeRow(post));
  if (rows_.size() > kFeedKeptPosts) rows_.pop_back();
}

void TShowStockFeed::LoadFeed() {
  const std::string path = FeedPath();
  const auto bytes = base::ReadFileBytes(path);
  if (!bytes) return;
  // Whole posts only; a damaged tail stays in the file (Append sets it aside
  // before the next post, so that later posts stay aligned).
  const size_t whole = bytes->size() / kShowStockRecordSize;
  const size_t first = whole > kFeedKeptPosts ? whole - kFeedKeptPosts : 0;
  if (first > 0) {
    // Every user receives every user's posts: only the newest are kept, so
    // that the file and the start-up stay small. Should the rewrite fail,
    // the file stays whole and the next start tries again.
    base::AtomicReplace(path, std::string_view(*bytes).substr(first * kShowStockRecordSize));
  }
  // The file's last post goes on top.
  rows_.clear();
  rows_.reserve(whole - first);
  for (size_t i = whole; i-- > first;) {
    rows_.push_back(MakeRow(ShowStockFromBytes(reinterpret_cast<const unsigned char*>(bytes->data()) +
                                               i * kShowStockRecordSize)));
  }
  Changed();
}

bool TShowStockFeed::Append(const TShowStockRecord& post, std::string& error) {
  const std::string path = FeedPath();
  std::error_code ec;
  const auto size = std::filesystem::file_size(base::PathFromUtf8(path), ec);
  if (!ec && size % kShowStockRecordSize != 0) {
    // A tail that is no whole post would shift every post after it: it is
    // kept beside the file, and the file keeps its whole posts.
    const auto bytes = base::ReadFileBytes(path);
    if (!bytes) {
      error = "无法读取 " + path;
      return false;
    }
    const size_t keep = bytes->size() - bytes->size() % kShowStockRecordSize;
    const std::string rest = base::PathToUtf8(base::PathFromUtf8(folder_) / "data" / kFeedRestFile);
    if (!base::AppendToFile(rest, std::string_view(*bytes).substr(keep), &error) ||
        !base::AtomicReplace(path, std::string_view(*bytes).substr(0, keep), &error)) {
      return false;
    }
  }
  return base::AppendToFile(path, std::string_view(reinterpret_cast<const char*>(&post), sizeof post), &error);
}

void TShowStockFeed::ReceiveSharePost(const TShowStockRecord& post) {
  const std::string sound = base::PathToUtf8(base::PathFromUtf8(folder_) / "res" / kShareSound);
  if (host_.SoundOn() && base::FileExists(sound)) host_.PlaySound(sound);
  host_.ShowBalloon(kShareBalloonTitle, ShareBalloonText(post));
  Insert(post);
  Changed();
  std::string error;
  if (Append(post, error)) {
    toldWriteFailure_ = false;
  } else if (!toldWriteFailure_) {
    // Said once until the file takes posts again; the feed shows them all the same.
    toldWriteFailure_ = true;
    host_.ShowBalloon(kShareBalloonTitle, "晒股信息未能保存到文件：" + error);
  }
}

void TShowStockFeed::ClearFeed() {
  if (rows_.empty() || !host_.AskYesNo(kClearFeedQuestion, "提示")) return;
  rows_.clear();
  Changed();
  std::error_code ec;
  std::filesystem::remove(base::PathFromUtf8(FeedPath()), ec);
  // A file left behind would bring the posts back at the next start.
  if (ec) host_.ShowBalloon(kShareBalloonTitle, "晒股信息文件未能删除：" + FeedPath());
}

void TShowStockFeed::ShowDetail(int row) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  host_.ShowDetail(rows_[row].cells);
}

std::string TShowStockFeed::Hint(size_t row) const {
  const auto& c = rows_[row].cells;
  return "提示：" + c[kColCode] + " " + c[kColName] + "  备注：" + c[kColRemark];
}

}  // namespace sharing
