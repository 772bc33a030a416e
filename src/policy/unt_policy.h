// Monitors: the monitor record, its code tables, the monitor list with its
// operations, the watched-label list handed to the quote engine, and the
// policy store data\policy.tmp in which the list survives between runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/datetime.h"
#include "base/records.h"
#include "quotes/Ustockdrv.h"

namespace policy {

// Monitor kinds.
enum : uint8_t {
  kKindPayoff = 1,      // trailing take-profit
  kKindPrice = 2,       // price level
  kKindPair = 3,        // buy-and-sell pair: a name only, never fires
  kKindTime = 4,        // time of day
  kKindLossLimit = 5,   // conditional stop-loss
  kKindLimitDown = 6,   // rebound after a fall below a limit price
  kKindIndex = 7,       // index level
};

// Monitor states.
enum : uint8_t { kStateStopped = 1, kStateRunning = 2, kStateTriggered = 3 };

// Directions.
enum : uint8_t { kDirRise = 1, kDirFall = 2, kDirRiseFallBack = 3, kDirFallRebound = 4 };

// Change units; the optimisation unit uses 1 (yuan) and 2 (per mille).
enum : uint8_t { kUnitYuan = 1, kUnitPercent = 2, kUnitPoint = 3 };
enum : uint8_t { kOptUnitYuan = 1, kOptUnitPerMille = 2 };

// Price bases.
enum : uint8_t {
  kBasisTyped = 0,
  kBasisOpen = 1,
  kBasisPrevClose = 2,
  kBasisNewest = 3,
  kBasisTradePrice = 4,  // the trade price at the moment of firing (time monitors)
};

#pragma pack(push, 1)
// One monitor: the same 673 bytes in memory, in the editors, in the main
// list's items and in the policy store. Texts are GBK, NUL-terminated and
// zero-padded.
struct TPolicyRecord {
  int32_t id;
  uint8_t kind;
  char code[10];
  char name[32];
  int32_t market;
  uint8_t priceBasis;
  float setPrice;
  uint8_t state;
  uint8_t fired;
  uint8_t crossed;
  uint8_t promptOnly;  // 0: order automatically; otherwise prompt and log only
  float newestPrice;
  float openPrice;
  float prevClose;
  float basisPrice;  // the newest price fetched at OK with price basis 3
  float trailingHigh;
  float trailingLow;  // 0: none seen yet
  uint8_t direction;
  float changeAmount;
  uint8_t changeUnit;
  uint8_t tradeType;
  int32_t quantity;
  char description[512];
  uint8_t targetFlag;
  char targetCode[10];
  char targetName[32];
  uint8_t optFlag;
  float optAmount;
  uint8_t optUnit;
  uint8_t reserved1;
  double orderTime;  // time monitors: the time of day to fire at
  uint8_t reserved2[8];
};
#pragma pack(pop)

QV_RECORD_SIZE(TPolicyRecord, 673);
QV_FIELD_AT(TPolicyRecord, id, 0);
QV_FIELD_AT(TPolicyRecord, kind, 4);
QV_FIELD_AT(TPolicyRecord, code, 5);
QV_FIELD_AT(TPolicyRecord, name, 15);
QV_FIELD_AT(TPolicyRecord, market, 47);
QV_FIELD_AT(TPolicyRecord, priceBasis, 51);
QV_FIELD_AT(TPolicyRecord, setPrice, 52);
QV_FIELD_AT(TPolicyRecord, state, 56);
QV_FIELD_AT(TPolicyRecord, fired, 57);
QV_FIELD_AT(TPolicyRecord, crossed, 58);
QV_FIELD_AT(TPolicyRecord, promptOnly, 59);
QV_FIELD_AT(TPolicyRecord, newestPrice, 60);
QV_FIELD_AT(TPolicyRecord, openPrice, 64);
QV_FIELD_AT(TPolicyRecord, prevClose, 68);
QV_FIELD_AT(TPolicyRecord, basisPrice, 72);
QV_FIELD_AT(TPolicyRecord, trailingHigh, 76);
QV_FIELD_AT(TPolicyRecord, trailingLow, 80);
QV_FIELD_AT(TPolicyRecord, direction, 84);
QV_FIELD_AT(TPolicyRecord, changeAmount, 85);
QV_FIELD_AT(TPolicyRecord, changeUnit, 89);
QV_FIELD_AT(TPolicyRecord, tradeType, 90);
QV_FIELD_AT(TPolicyRecord, quantity, 91);
QV_FIELD_AT(TPolicyRecord, description, 95);
QV_FIELD_AT(TPolicyRecord, targetFlag, 607);
QV_FIELD_AT(TPolicyRecord, targetCode, 608);
QV_FIELD_AT(TPolicyRecord, targetName, 618);
QV_FIELD_AT(TPolicyRecord, optFlag, 650);
QV_FIELD_AT(TPolicyRecord, optAmount, 651);
QV_FIELD_AT(TPolicyRecord, optUnit, 655);
QV_FIELD_AT(TPolicyRecord, reserved1, 656);
QV_FIELD_AT(TPolicyRecord, orderTime, 657);
QV_FIELD_AT(TPolicyRecord, reserved2, 665);

constexpr size_t kPolicyRecordSize = sizeof(TPolicyRecord);

// A new record: 673 zero bytes.
TPolicyRecord NewPolicyRecord();

// ---- Code tables (texts are UTF-8) ----

// Long name of a kind; the top bit of the kind byte is ignored; empty for
// anything else. Titles trigger notices and names the kind in the trade log.
std::string KindName(uint8_t kind);
// Short name of a kind ("止盈", ...); empty for anything else.
std::string KindShortName(uint8_t kind);
// Short name, "-" and the trade type text: the main list's kind column.
std::string ShortKindText(const TPolicyRecord& record);
// Title of the trigger notice of a kind; empty for kinds that never fire.
std::string NoticeTitle(uint8_t kind);
std::string DirectionText(uint8_t direction);
// "上涨" 1, "下跌" 2, "上涨中回落" 3, any other text 4.
uint8_t DirectionCode(std::string_view text);
std::string TradeTypeText(uint8_t tradeType);
std::string ChangeUnitText(uint8_t unit);

// ---- Fields as program text ----
std::string CodeText(const TPolicyRecord& record);  // GBK bytes up to the NUL (codes are ASCII)
std::string NameUtf8(const TPolicyRecord& record);
std::string DescriptionUtf8(const TPolicyRecord& record);
void SetCode(TPolicyRecord& record, std::string_view utf8);
void SetName(TPolicyRecord& record, std::string_view utf8);
void SetDescription(TPolicyRecord& record, std::string_view utf8);
void SetTargetCode(TPolicyRecord& record, std::string_view utf8);
void SetTargetName(TPolicyRecord& record, std::string_view utf8);

// ---- The policy store ----

// data\policy.tmp under the application folder.
std::string PolicyStorePath(const std::string& appFolder);

struct StoreLoadResult {
  bool ok = true;            // false: the file exists but could not be read, or
                             // is not a whole number of records (none loaded)
  size_t records = 0;        // records added to the list
  std::string error;
};

struct StoreSaveResult {
  bool ok = true;
  std::string error;
};

// The records of a store file's bytes as stored; a trailing partial record
// is left out.
std::vector<TPolicyRecord> ParsePolicyStore(std::string_view bytes);

class TPolicyList;

// What the user is told when the store cannot be saved.
inline constexpr char kStoreFailureTitle[] = "警告提示！";
std::string StoreFailureText(const std::string& path, const std::string& error);

// Saves the store after every list rebuild and tells the user when it
// cannot: once, through `report`, until a save succeeds again, so that a
// read-only or missing folder does not bring a balloon on every rebuild.
class TPolicyStoreWriter {
 public:
  using Report = std::function<void(const std::string& title, const std::string& text)>;
  TPolicyStoreWriter(std::string path, Report report) : path_(std::move(path)), report_(std::move(report)) {}
  bool Save(TPolicyList& list);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  Report report_;
  bool failureShown_ = false;
};

// ---- The monitor list ----

// What became of a monitor changed in its editor.
enum class TEditedSave { Saved, Removed, Fired };

// All monitors, in insertion order, behind one re-entrant lock. The list
// owns heap copies of its records. Every operation takes the lock for its
// whole duration and finds monitors by identifier, first match in list order.
class TPolicyList {
 public:
  explicit TPolicyList(quotes::IQuoteEngine* engine = nullptr) : engine_(engine) {}
  TPolicyList(const TPolicyList&) = delete;
  TPolicyList& operator=(const TPolicyList&) = delete;

  void SetEngine(quotes::IQuoteEngine* engine);

  // Highest identifier plus one (signed comparison); 0 for an empty list.
  int32_t NextId();
  void Add(const TPolicyRecord& record);
  // Overwrites the first monitor with the record's identifier, all 673 bytes.
  void Replace(const TPolicyRecord& record);
  // Replaces a monitor changed in its editor, which `opened` was copied for.
  // What the monitor loop did meanwhile stays: state, fired flag and the
  // tracking fields come from the list (tracking restarts when the code
  // changed). Nothing is replaced when the monitor was removed or has fired
  // since it was opened: the loop may already have ordered.
  TEditedSave ReplaceEdited(TPolicyRecord record, const TPolicyRecord& opened);
  // Sets the set price and rebuilds the description; nothing else changes.
  void ChangeSetPrice(int32_t id, float price);
  // State 2 (start) or 1; fired, crossed, trailing high and low cleared.
  void StartOrStopAll(bool start);
  // The same for one monitor, leaving its trailing low as it is.
  void StartOrStopOne(bool start, int32_t id);
  void Remove(int32_t id);
  void RemoveAll();
  // Sets out.id to -1, then copies the monitor when it is found.
  void Copy(int32_t id, TPolicyRecord& out);
  bool AnyRunning();
  size_t Count();
  // Copies of all records, in list order.
  std::vector<TPolicyRecord> Snapshot();
  // The same into `out`, whose memory is reused (a rebuild of a long list
  // then copies into memory it already has).
  void SnapshotInto(std::vector<TPolicyRecord>& out);

  // Rebuilds the watched-label list from the running monitors and hands it
  // to the engine (when one is attached).
  void PublishLabels();
  // The watched-label list as last published.
  std::vector<quotes::TStockLabel> Labels();
  // The same block that was handed to the engine (null and -1 when empty),
  // valid until the next publish: for the engine start of a login.
  struct PublishedBlock {
    const quotes::TStockLabel* data = nullptr;
    int32_t highestIndex = -1;
  };
  PublishedBlock PublishedLabels();

  // Adds the store's records, each stopped and with its fired flag cleared;
  // a missing file adds nothing.
  StoreLoadResult LoadStore(const std::string& path);
  // Replaces the store with the list's records through an atomic replace;
  // on failure the previous store is left whole.
  StoreSaveResult SaveStore(const std::string& path);
  // The store's bytes.
  std::string StoreBytes();

  // ---- For the monitor loop, which holds the lock across a pass ----
  std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock(mutex_); }
  // The monitors that were running when the index was last built, for one
  // security code, in list order. The returned block keeps them alive while
  // the caller holds it, whatever happens to the list; the loop's tests and
  // fire marks go through these pointers. The index does not see changes
  // made through them: a state, code or fired flag that makes a monitor
  // testable again goes through the operations.
  struct CodeIndex;
  std::shared_ptr<const CodeIndex> RunningIndexLocked();
  static const std::vector<std::shared_ptr<TPolicyRecord>>* Candidates(const CodeIndex& index,
                                                                       std::string_view code);
  size_t CountLocked() const { return records_.size(); }
  // Changes with every operation that adds, removes or rewrites monitors.
  uint64_t GenerationLocked() const { return generation_; }
  // Whether the record is still one of the list's own: a pass that let
  // other code run asks before it touches a monitor it found earlier.
  bool ContainsLocked(const TPolicyRecord* record);

 private:
  TPolicyRecord* FindLocked(int32_t id);
  void Changed() {
    index_.reset();
    ++generation_;
  }

  std::recursive_mutex mutex_;
  // Each entry is the list's own heap copy. Monitors added one by one have a
  // block each; the monitors of a loaded store share one block, read from
  // the file in one go, which lives until the last of them is removed.
  std::vector<std::shared_ptr<TPolicyRecord>> records_;
  std::vector<quotes::TStockLabel> labels_;
  quotes::IQuoteEngine* engine_ = nullptr;
  std::shared_ptr<const CodeIndex> index_;
  // Counts the changes, so that ContainsLocked answers from a set built at
  // most once per change rather than a walk per question.
  uint64_t generation_ = 0;
  uint64_t membersGeneration_ = ~uint64_t{0};
  std::unordered_set<const TPolicyRecord*> members_;
};

}  // namespace policy
