#include "plugin/collection/coll.h"

#include <cstdlib>

#include "plugin/collection/clibverify.h"

namespace coll {
namespace {

// The places of the exhaustion checks, as the report box names them.
constexpr const char* kCollFile = "collection/coll.cpp";
constexpr int kLineCreateBlock = 179;
constexpr int kLineTakeBlock = 207;

class HeapMemory final : public IBlockMemory {
 public:
  void* Allocate(size_t bytes) override { return std::malloc(bytes); }
  void Release(void* block) override { std::free(block); }
};

// Items hold a free-list link while free and must suit pointer-aligned records.
constexpr size_t ItemStride(size_t itemSize) {
  const size_t n = itemSize < sizeof(void*) ? sizeof(void*) : itemSize;
  return (n + alignof(void*) - 1) / alignof(void*) * alignof(void*);
}

}  // namespace

IBlockMemory& HeapBlockMemory() {
  static HeapMemory memory;
  return memory;
}

CBlockPool::CBlockPool(size_t itemSize, bool pooled, IBlockMemory* memory)
    : itemSize_(itemSize),
      stride_(ItemStride(itemSize)),
      pooled_(pooled),
      memory_(memory ? *memory : HeapBlockMemory()) {
  if (pooled_ && !AddBlock()) ClibVerify(kCollFile, kLineCreateBlock, "pBlock!=NULL");
}

CBlockPool::~CBlockPool() {
  while (blocks_) {
    BlockHeader* next = blocks_->next;
    memory_.Release(blocks_);
    blocks_ = next;
  }
}

CBlockPool::Hold::Hold(CBlockPool& pool) : pool_(pool) {
  pool_.lock_.lock();
  pool_.holder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

CBlockPool::Hold::~Hold() {
  pool_.holder_.store(std::thread::id(), std::memory_order_relaxed);
  pool_.lock_.unlock();
}

std::unique_lock<std::mutex> CBlockPool::LockUnlessHeld() const {
  // Only the holding thread can find its own id here.
  if (holder_.load(std::memory_order_relaxed) == std::this_thread::get_id()) return {};
  return std::unique_lock<std::mutex>(lock_);
}

bool CBlockPool::AddBlock() {
  auto* block = static_cast<BlockHeader*>(memory_.Allocate(kHeaderBytes + stride_ * kItemsPerBlock));
  if (!block) return false;
  block->next = nullptr;
  if (lastBlock_) {
    lastBlock_->next = block;
  } else {
    blocks_ = block;
  }
  lastBlock_ = block;
  ++blockCount_;
  // A new block is only needed when the free list is empty, so its items
  // are the whole list.
  fresh_ = block;
  freshNext_ = 0;
  freeCount_ += kItemsPerBlock;
  return true;
}

void* CBlockPool::AllocSlow() {
  if (!pooled_) return memory_.Allocate(stride_);
  void* item = nullptr;
  {
    const auto guard = LockUnlessHeld();
    if (!fresh_ && !freeHead_) AddBlock();
    if (fresh_) {
      item = TakeFresh();
    } else if (freeHead_) {
      FreeItem* taken = freeHead_;
      freeHead_ = taken->next;
      if (!freeHead_) freeTail_ = nullptr;
      --freeCount_;
      item = taken;
    }
  }
  // Reported outside the lock: the report may wait for the user.
  if (!item) ClibVerify(kCollFile, kLineTakeBlock, "pBlock!=NULL");
  return item;
}

void CBlockPool::Free(void* p) {
  if (!p) return;
  if (!pooled_) {
    memory_.Release(p);
    return;
  }
  auto* item = static_cast<FreeItem*>(p);
  item->next = nullptr;
  const auto guard = LockUnlessHeld();
  if (freeTail_) {
    freeTail_->next = item;
  } else {
    freeHead_ = item;
  }
  freeTail_ = item;
  ++freeCount_;
}

void CBlockPool::Reset() {
  if (!pooled_) return;
  const auto guard = LockUnlessHeld();
  fresh_ = blocks_;
  freshNext_ = 0;
  freeHead_ = freeTail_ = nullptr;
  freeCount_ = blockCount_ * kItemsPerBlock;
}

size_t CBlockPool::BlockCount() const {
  const auto guard = LockUnlessHeld();
  return blockCount_;
}

size_t CBlockPool::FreeCount() const {
  const auto guard = LockUnlessHeld();
  return freeCount_;
}

}  // namespace coll
