#include "policy/unt_policy.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/files.h"
#include "base/fixed_text.h"
#include "policy/unt_policy_describe.h"

namespace policy {

TPolicyRecord NewPolicyRecord() {
  TPolicyRecord r;
  std::memset(&r, 0, sizeof r);
  return r;
}

// ---- Code tables ----

namespace {

struct KindNames {
  const char* name;
  const char* shortName;
  const char* notice;
};

const KindNames kKinds[] = {
    {"移动止盈", "止盈", "移动止盈"},     {"按价位监控", "价位", "按价位监控"},
    {"对买对卖", "对买", ""},             {"按时间监控", "时间", "按时间监控"},
    {"条件止损", "止损", "条件止损"},     {"限价下跌反弹", "限跌", "限价下跌反弹"},
    {"指数监控", "指数", "按指数监控"},
};

const KindNames* FindKind(uint8_t kind) {
  return kind >= 1 && kind <= 7 ? &kKinds[kind - 1] : nullptr;
}

}  // namespace

std::string KindName(uint8_t kind) {
  const KindNames* k = FindKind(kind & 0x7F);
  return k ? k->name : "";
}

std::string KindShortName(uint8_t kind) {
  const KindNames* k = FindKind(kind);
  return k ? k->shortName : "";
}

std::string ShortKindText(const TPolicyRecord& record) {
  return KindShortName(record.kind) + "-" + TradeTypeText(record.tradeType);
}

std::string NoticeTitle(uint8_t kind) {
  const KindNames* k = FindKind(kind);
  return k ? k->notice : "";
}

std::string DirectionText(uint8_t direction) {
  switch (direction) {
    case kDirRise: return "上涨";
    case kDirFall: return "下跌";
    case kDirRiseFallBack: return "上涨中回落";
    case kDirFallRebound: return "下跌中反弹";
    default: return "";
  }
}

uint8_t DirectionCode(std::string_view text) {
  if (text == "上涨") return kDirRise;
  if (text == "下跌") return kDirFall;
  if (text == "上涨中回落") return kDirRiseFallBack;
  return kDirFallRebound;
}

std::string TradeTypeText(uint8_t tradeType) {
  switch (tradeType) {
    case 1: return "买入";
    case 2: return "卖出";
    default: return "";
  }
}

std::string ChangeUnitText(uint8_t unit) {
  switch (unit) {
    case kUnitYuan: return "元";
    case kUnitPercent: return "%";
    case kUnitPoint: return "点";
    default: return "";
  }
}

// ---- Fields ----

std::string CodeText(const TPolicyRecord& record) { return base::ReadFixedText(record.code); }
std::string NameUtf8(const TPolicyRecord& record) { return base::ReadFixedUtf8(record.name); }
std::string DescriptionUtf8(const TPolicyRecord& record) { return base::ReadFixedUtf8(record.description); }
void SetCode(TPolicyRecord& record, std::string_view utf8) { base::WriteFixedUtf8(record.code, utf8); }
void SetName(TPolicyRecord& record, std::string_view utf8) { base::WriteFixedUtf8(record.name, utf8); }
void SetDescription(TPolicyRecord& record, std::string_view utf8) {
  base::WriteFixedUtf8(record.description, utf8);
}
void SetTargetCode(TPolicyRecord& record, std::string_view utf8) {
  base::WriteFixedUtf8(record.targetCode, utf8);
}
void SetTargetName(TPolicyRecord& record, std::string_view utf8) {
  base::WriteFixedUtf8(record.targetName, utf8);
}

// ---- The running-monitor index ----

namespace {

// A security code (up to its first NUL, at most 10 bytes) packed into two
// integers, so that looking a report up costs one hash and no string work.
struct CodeKey {
  uint64_t lo = 0;
  uint16_t hi = 0;
  bool operator==(const CodeKey&) const = default;
};

CodeKey MakeKey(std::string_view code) {
  unsigned char bytes[10] = {};
  std::memcpy(bytes, code.data(), std::min<size_t>(code.size(), 10));
  CodeKey k;
  std::memcpy(&k.lo, bytes, 8);
  std::memcpy(&k.hi, bytes + 8, 2);
  return k;
}

std::string_view FieldText(const char* field, size_t size) { return base::FixedTextView(field, size); }

struct CodeKeyHash {
  size_t operator()(const CodeKey& k) const {
    uint64_t h = k.lo * 0x9E3779B97F4A7C15ull ^ (uint64_t{k.hi} + 0x632BE59BD9B4E019ull);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return static_cast<size_t>(h);
  }
};

}  // namespace

struct TPolicyList::CodeIndex {
  std::unordered_map<CodeKey, std::vector<std::shared_ptr<TPolicyRecord>>, CodeKeyHash> byCode;
};

std::shared_ptr<const TPolicyList::CodeIndex> TPolicyList::RunningIndexLocked() {
  if (!index_) {
    auto index = std::make_shared<CodeIndex>();
    for (const auto& r : records_) {
      if (r->state != kStateRunning || r->fired != 0) continue;
      index->byCode[MakeKey(FieldText(r->code, sizeof r->code))].push_back(r);
    }
    index_ = std::move(index);
  }
  return index_;
}

const std::vector<std::shared_ptr<TPolicyRecord>>* TPolicyList::Candidates(const CodeIndex& index,
                                                                           std::string_view code) {
  const auto it = index.byCode.find(MakeKey(code));
  return it == index.byCode.end() ? nullptr : &it->second;
}

bool TPolicyList::ContainsLocked(const TPolicyRecord* record) {
  if (membersGeneration_ != generation_) {
    members_.clear();
    for (const auto& r : records_) members_.insert(r.get());
    membersGeneration_ = generation_;
  }
  return members_.count(record) > 0;
}

// ---- List operations ----

void TPolicyList::SetEngine(quotes::IQuoteEngine* engine) {
  std::lock_guard lock(mutex_);
  engine_ = engine;
}

TPolicyRecord* TPolicyList::FindLocked(int32_t id) {
  for (auto& r : records_)
    if (r->id == id) return r.get();
  return nullptr;
}

int32_t TPolicyList::NextId() {
  std::lock_guard lock(mutex_);
  if (records_.empty()) return 0;
  int32_t highest = records_.front()->id;
  for (const auto& r : records_) highest = std::max(highest, r->id);
  // Wraps like the 32-bit arithmetic it stands for.
  return static_cast<int32_t>(static_cast<uint32_t>(highest) + 1u);
}

void TPolicyList::Add(const TPolicyRecord& record) {
  std::lock_guard lock(mutex_);
  records_.push_back(std::make_shared<TPolicyRecord>(record));
  Changed();
}

void TPolicyList::Replace(const TPolicyRecord& record) {
  std::lock_guard lock(mutex_);
  if (TPolicyRecord* r = FindLocked(record.id)) {
    *r = record;
    Changed();
  }
}

TEditedSave TPolicyList::ReplaceEdited(TPolicyRecord record, const TPolicyRecord& opened) {
  std::lock_guard lock(mutex_);
  TPolicyRecord* r = FindLocked(record.id);
  if (!r) return TEditedSave::Removed;
  const bool firedNow = r->fired != 0 || r->state == kStateTriggered;
  const bool firedBefore = opened.fired != 0 || opened.state == kStateTriggered;
  if (firedNow && !firedBefore) return TEditedSave::Fired;
  record.state = r->state;
  record.fired = r->fired;
  if (std::memcmp(record.code, r->code, sizeof record.code) == 0) {
    record.newestPrice = r->newestPrice;
    record.trailingHigh = r->trailingHigh;
    record.trailingLow = r->trailingLow;
    record.crossed = r->crossed;
  } else {
    record.trailingHigh = 0;
    record.trailingLow = 0;
    record.crossed = 0;
  }
  *r = record;
  Changed();
  return TEditedSave::Saved;
}

void TPolicyList::ChangeSetPrice(int32_t id, float price) {
  std::lock_guard lock(mutex_);
  if (TPolicyRecord* r = FindLocked(id)) {
    r->setPrice = price;
    UpdateDescription(*r);
  }
}

namespace {
void ResetForStartOrStop(TPolicyRecord& r, bool start) {
  r.state = start ? kStateRunning : kStateStopped;
  r.fired = 0;
  r.crossed = 0;
  r.trailingHigh = 0;
}
}  // namespace

void TPolicyList::StartOrStopAll(bool start) {
  std::lock_guard lock(mutex_);
  for (auto& r : records_) {
    ResetForStartOrStop(*r, start);
    r->trailingLow = 0;
  }
  Changed();
}

void TPolicyList::StartOrStopOne(bool start, int32_t id) {
  std::lock_guard lock(mutex_);
  if (TPolicyRecord* r = FindLocked(id)) {
    ResetForStartOrStop(*r, start);
    Changed();
  }
}

void TPolicyList::Remove(int32_t id) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(records_.begin(), records_.end(), [&](const auto& r) { return r->id == id; });
  if (it != records_.end()) {
    records_.erase(it);
    Changed();
  }
}

void TPolicyList::RemoveAll() {
  std::lock_guard lock(mutex_);
  records_.clear();
  Changed();
}

void TPolicyList::Copy(int32_t id, TPolicyRecord& out) {
  std::lock_guard lock(mutex_);
  out.id = -1;
  if (const TPolicyRecord* r = FindLocked(id)) out = *r;
}

bool TPolicyList::AnyRunning() {
  std::lock_guard lock(mutex_);
  return std::any_of(records_.begin(), records_.end(), [](const auto& r) { return r->state == kStateRunning; });
}

size_t TPolicyList::Count() {
  std::lock_guard lock(mutex_);
  return records_.size();
}

std::vector<TPolicyRecord> TPolicyList::Snapshot() {
  std::vector<TPolicyRecord> out;
  SnapshotInto(out);
  return out;
}

void TPolicyList::SnapshotInto(std::vector<TPolicyRecord>& out) {
  std::lock_guard lock(mutex_);
  out.clear();
  out.reserve(records_.size());
  for (const auto& r : records_) out.push_back(*r);
}

// ---- Watched labels ----

namespace {
struct LabelKeyHash {
  size_t operator()(const std::pair<CodeKey, int32_t>& k) const {
    return CodeKeyHash{}(k.first) ^ (static_cast<size_t>(static_cast<uint32_t>(k.second)) * 0x9E3779B1u);
  }
};
}  // namespace

void TPolicyList::PublishLabels() {
  std::unique_lock lock(mutex_);
  // New storage on every publish: the engine may keep the pointer it was given.
  std::vector<quotes::TStockLabel> labels(records_.size());
  std::unordered_set<std::pair<CodeKey, int32_t>, LabelKeyHash> seen;
  size_t next = 0;
  for (const auto& r : records_) {
    if (r->state != kStateRunning) continue;
    const std::string_view code = FieldText(r->code, sizeof r->code);
    // A label without a code names no security; it would only occupy a slot.
    if (code.empty()) continue;
    if (!seen.insert({MakeKey(code), r->market}).second) continue;
    quotes::TStockLabel& label = labels[next++];
    std::memcpy(label.code, code.data(), code.size());
    label.market = r->market;
  }
  // The engine may still read the block it was given before: the old one
  // goes only after the engine has the new one.
  std::vector<quotes::TStockLabel> previous = std::exchange(labels_, std::move(labels));
  quotes::IQuoteEngine* engine = engine_;
  const quotes::TStockLabel* data = labels_.empty() ? nullptr : labels_.data();
  const auto highest = static_cast<int32_t>(labels_.size()) - 1;
  lock.unlock();
  if (engine) engine->SetLabels(data, highest);
}

TPolicyList::PublishedBlock TPolicyList::PublishedLabels() {
  std::lock_guard lock(mutex_);
  if (labels_.empty()) return {};
  return {labels_.data(), static_cast<int32_t>(labels_.size()) - 1};
}

std::vector<quotes::TStockLabel> TPolicyList::Labels() {
  std::lock_guard lock(mutex_);
  return labels_;
}

// ---- The policy store ----

std::string PolicyStorePath(const std::string& appFolder) {
  return base::PathToUtf8(base::PathFromUtf8(appFolder) / "data" / "policy.tmp");
}

std::vector<TPolicyRecord> ParsePolicyStore(std::string_view bytes) {
  std::vector<TPolicyRecord> out;
  out.reserve(bytes.size() / kPolicyRecordSize);
  for (size_t pos = 0; pos + kPolicyRecordSize <= bytes.size(); pos += kPolicyRecordSize) {
    out.push_back(base::LoadRecord<TPolicyRecord>(bytes.data() + pos));
  }
  return out;
}

StoreLoadResult TPolicyList::LoadStore(const std::string& path) {
  StoreLoadResult result;
  if (!base::FileExists(path)) return result;
  // The file goes straight into the records' block: the store is the
  // records exactly as in memory, so no parse and no second copy is needed.
  std::shared_ptr<TPolicyRecord[]> block;
  size_t capacity = 0;
  const std::optional<size_t> got = base::ReadFileInto(path, [&](size_t size) -> void* {
    capacity = size / kPolicyRecordSize;
    const size_t rest = size % kPolicyRecordSize;
    // A partial record is read into one spare record, so that it is seen.
    block = std::make_shared_for_overwrite<TPolicyRecord[]>(capacity + (rest ? 1 : 0));
    return block.get();
  });
  if (!got) {
    result.ok = false;
    result.error = "cannot read " + path;
    return result;
  }
  // Not a whole number of records: written by another version or damaged.
  // Reading what fits would drop the rest at the next save, so the file is
  // as unreadable as one that cannot be opened.
  if (*got % kPolicyRecordSize != 0) {
    result.ok = false;
    result.error = "长度 " + std::to_string(*got) + " 字节不是 " + std::to_string(kPolicyRecordSize) + " 字节的整数倍";
    return result;
  }
  const size_t n = std::min(capacity, *got / kPolicyRecordSize);
  result.records = n;
  // Nothing runs after a start; the tracking fields are kept as stored.
  std::vector<std::shared_ptr<TPolicyRecord>> loaded;
  loaded.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    TPolicyRecord& r = block[i];
    r.state = kStateStopped;
    r.fired = 0;
    loaded.emplace_back(block, &r);
  }
  std::lock_guard lock(mutex_);
  records_.insert(records_.end(), std::make_move_iterator(loaded.begin()), std::make_move_iterator(loaded.end()));
  Changed();
  return result;
}

std::string TPolicyList::StoreBytes() {
  std::lock_guard lock(mutex_);
  std::string bytes(records_.size() * kPolicyRecordSize, '\0');
  for (size_t i = 0; i < records_.size(); ++i) base::StoreRecord(bytes.data() + i * kPolicyRecordSize, *records_[i]);
  return bytes;
}

StoreSaveResult TPolicyList::SaveStore(const std::string& path) {
  StoreSaveResult result;
  result.ok = base::AtomicReplace(path, StoreBytes(), &result.error);
  return result;
}

std::string StoreFailureText(const std::string& path, const std::string& error) {
  return "监控策略无法保存到 " + path + "，程序关闭前请检查该文件夹。(" + error + ")";
}

bool TPolicyStoreWriter::Save(TPolicyList& list) {
  const StoreSaveResult result = list.SaveStore(path_);
  if (result.ok) {
    failureShown_ = false;
    return true;
  }
  if (!failureShown_ && report_) {
    failureShown_ = true;
    report_(kStoreFailureTitle, StoreFailureText(path_, result.error));
  }
  return false;
}

}  // namespace policy
