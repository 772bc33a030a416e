#include "app/unt_frmshowlog.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "base/files.h"
#include "base/gbk.h"

namespace app {
namespace {

// "触发交易" in GBK.
constexpr std::string_view kTriggerMarker = "\xB4\xA5\xB7\xA2\xBD\xBB\xD2\xD7";

constexpr bool IsSkipped(unsigned char c) { return c >= 1 && c <= 32; }

// The length of the GBK character at `pos`: a lead byte with a byte of the
// trail range is one character, anything else stands alone.
size_t GbkCharLength(std::string_view s, size_t pos) {
  const auto b = static_cast<unsigned char>(s[pos]);
  if (base::IsGbkLeadByte(b) && pos + 1 < s.size()) {
    const auto t = static_cast<unsigned char>(s[pos + 1]);
    if (t >= 0x40 && t <= 0xFE && t != 0x7F) return 2;
  }
  return 1;
}

}  // namespace

const std::array<ShowLogColumn, kShowLogColumnCount> kShowLogColumns = {{
    {"序号", 40, ColumnAlign::kLeft},
    {"触发时间", 110, ColumnAlign::kLeft},
    {"代码", 55, ColumnAlign::kLeft},
    {"名称", 70, ColumnAlign::kLeft},
    {"交易方向", 60, ColumnAlign::kLeft},
    {"策略名称", 90, ColumnAlign::kLeft},
    {"触发价格", 70, ColumnAlign::kRight},
    {"委托价格", 70, ColumnAlign::kRight},
    {"触发数量", 70, ColumnAlign::kRight},
    {"用户ID", 60, ColumnAlign::kCentre},
    {"备注", 400, ColumnAlign::kLeft},
}};

// --- Tokens ---

TradeLogTokenizer::TradeLogTokenizer(std::string_view line) : s_(line) {
  // Text after a NUL is not part of the line.
  const void* nul = std::memchr(s_.data(), 0, s_.size());
  if (nul) s_ = s_.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - s_.data()));
  while (pos_ < s_.size() && IsSkipped(static_cast<unsigned char>(s_[pos_]))) ++pos_;
}

bool TradeLogTokenizer::Next(std::string_view& raw, bool& quoted) {
  if (pendingEmpty_) {
    pendingEmpty_ = false;
    raw = {};
    quoted = false;
    return true;
  }
  const size_t end = s_.size();
  if (pos_ >= end) return false;
  if (s_[pos_] == '"') {
    quoted = true;
    const size_t start = pos_ + 1;
    size_t i = start;
    size_t close = end;
    while (i < end) {
      const size_t q = s_.find('"', i);
      if (q == std::string_view::npos) break;
      if (q + 1 < end && s_[q + 1] == '"') {
        i = q + 2;
        continue;
      }
      close = q;
      break;
    }
    // An unclosed quote runs to the end of the line.
    raw = s_.substr(start, close - start);
    pos_ = close < end ? close + 1 : end;
  } else {
    quoted = false;
    const size_t start = pos_;
    while (pos_ < end) {
      const auto c = static_cast<unsigned char>(s_[pos_]);
      if (c <= 32 || c == ',') break;
      ++pos_;
    }
    raw = s_.substr(start, pos_ - start);
  }
  while (pos_ < end && IsSkipped(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  if (pos_ < end && s_[pos_] == ',') {
    if (pos_ + 1 == end) pendingEmpty_ = true;
    ++pos_;
    while (pos_ < end && IsSkipped(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  return true;
}

void AppendTokenText(std::string& out, std::string_view raw, bool quoted) {
  if (!quoted) {
    out.append(raw);
    return;
  }
  for (size_t i = 0; i < raw.size(); ++i) {
    out += raw[i];
    // Inside quotes every '"' is doubled.
    if (raw[i] == '"') ++i;
  }
}

std::vector<std::string> TradeLogTokens(std::string_view line) {
  std::vector<std::string> tokens;
  TradeLogTokenizer tokenizer(line);
  std::string_view raw;
  bool quoted = false;
  while (tokenizer.Next(raw, quoted)) {
    tokens.emplace_back();
    AppendTokenText(tokens.back(), raw, quoted);
  }
  return tokens;
}

bool IsTradeTriggerLine(std::string_view line) {
  size_t from = 0;
  size_t boundary = 0;  // a character boundary at or before every candidate
  while (true) {
    const size_t hit = line.find(kTriggerMarker, from);
    if (hit == std::string_view::npos) return false;
    // GBK is not self-synchronising: a hit must begin on a character, not
    // on the trail byte of the character before.
    while (boundary < hit) boundary += GbkCharLength(line, boundary);
    if (boundary == hit) return true;
    from = hit + 1;
  }
}

// --- Rows ---

void TradeLogRows::Clear() {
  pool_.clear();
  pool_.shrink_to_fit();
  bounds_.clear();
  bounds_.shrink_to_fit();
  counts_.clear();
  counts_.shrink_to_fit();
}

void TradeLogRows::AddLine(std::string_view line) {
  // Offsets are 32 bits; a pool that would outgrow them takes no more rows.
  if (pool_.size() + line.size() > std::numeric_limits<uint32_t>::max()) return;
  TradeLogTokenizer tokenizer(line);
  std::string_view raw;
  bool quoted = false;
  int count = 0;
  bounds_.push_back(static_cast<uint32_t>(pool_.size()));
  while (count < kTokens && tokenizer.Next(raw, quoted)) {
    AppendTokenText(pool_, raw, quoted);
    bounds_.push_back(static_cast<uint32_t>(pool_.size()));
    ++count;
  }
  for (int k = count; k < kTokens; ++k) bounds_.push_back(static_cast<uint32_t>(pool_.size()));
  counts_.push_back(static_cast<uint8_t>(count));
}

void TradeLogRows::Load(std::string_view bytes) {
  // Room for the usual case of nearly every line being a trigger line.
  pool_.reserve(pool_.size() + bytes.size());
  const size_t lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  bounds_.reserve(bounds_.size() + lines * (kTokens + 1));
  counts_.reserve(counts_.size() + lines);
  size_t pos = 0;
  while (pos < bytes.size()) {
    // A line ends at CR, LF or CR LF; empty lines hold no marker.
    const char* data = bytes.data();
    const void* lf = std::memchr(data + pos, '\n', bytes.size() - pos);
    const size_t lfPos = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : bytes.size();
    const void* cr = std::memchr(data + pos, '\r', lfPos - pos);
    const size_t end = cr ? static_cast<size_t>(static_cast<const char*>(cr) - data) : lfPos;
    const std::string_view line = bytes.substr(pos, end - pos);
    if (IsTradeTriggerLine(line)) AddLine(line);
    pos = end + 1;
  }
}

std::string_view TradeLogRows::Token(size_t row, int token) const {
  if (row >= Count() || token < 0 || token >= kTokens) return {};
  const uint32_t* b = bounds_.data() + row * (kTokens + 1);
  return std::string_view(pool_).substr(b[token], b[token + 1] - b[token]);
}

std::string TradeLogRows::Cell(size_t row, int column) const {
  if (row >= Count()) return {};
  if (column == 0) return std::to_string(row);
  if (column == 1) {
    std::string when(Token(row, 0));
    if (TokenCount(row) > 1) {
      when += ' ';
      when += Token(row, 1);
    }
    return base::GbkToUtf8Lossy(when);
  }
  if (column < kShowLogColumnCount) return base::GbkToUtf8Lossy(Token(row, column + 1));
  return {};
}

// --- Files on disk ---

bool DiskShowLogFiles::Exists(const std::string& path) { return base::FileExists(path); }

std::optional<std::string> DiskShowLogFiles::Read(const std::string& path) { return base::ReadFileBytes(path); }

bool DiskShowLogFiles::Truncate(const std::string& path, std::string* error) {
  return base::TruncateFile(path, error);
}

// --- The viewer ---

Tfrmshowlog::Tfrmshowlog(std::string appFolder, IShowLogFiles& files, IShowLogUi& ui)
    : appFolder_(std::move(appFolder)), files_(files), ui_(ui) {}

std::string Tfrmshowlog::TradeLogPathOfFolder() const {
  return base::PathToUtf8(base::PathFromUtf8(appFolder_) / "log" / "trade.log");
}

void Tfrmshowlog::ClearRows() {
  rows_.Clear();
  ++rowsVersion_;
}

void Tfrmshowlog::LoadFile(const std::string& path) {
  const std::optional<std::string> bytes = files_.Read(path);
  if (bytes) rows_.Load(*bytes);
  ++rowsVersion_;
}

void Tfrmshowlog::FormShow() {
  logPath_.clear();
  // Rows of an earlier showing would describe a log that may be gone.
  ClearRows();
  const std::string path = TradeLogPathOfFolder();
  if (!files_.Exists(path)) return;
  logPath_ = path;
  LoadFile(path);
}

void Tfrmshowlog::FormKeyDown(int key) {
  if (key == kKeyEscape) ui_.CloseWindow();
}

void Tfrmshowlog::BtnRefreshClick() {
  ClearRows();
  if (!logPath_.empty()) LoadFile(logPath_);
}

void Tfrmshowlog::BtnClearLogClick() {
  if (RowCount() == 0) return;
  if (!ui_.AskYesNo("您确定要清空日志吗？", "提示")) return;
  if (!logPath_.empty() && files_.Exists(logPath_)) {
    std::string error;
    if (!files_.Truncate(logPath_, &error)) {
      // The rows stay: the log on disk still holds them.
      ui_.ShowInformation("日志未能清空：" + error, "提示");
      return;
    }
  }
  ClearRows();
}

void Tfrmshowlog::BtnCloseClick() { ui_.CloseWindow(); }

}  // namespace app
