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

constexpr size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

// Items hold a free-list link while free and must suit pointer-aligned records.
constexpr size_t ItemStride(size_t itemSize) {
  return RoundUp(itemSize < sizeof(void*) ? sizeof(void*) : itemSize, alignof(void*));
}

// The block header is padded so that the items after it keep the heap's alignment.
constexpr size_t kHeaderBytes = RoundUp(sizeof(void*), alignof(std::max_align_t));

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

bool CBlockPool::AddBlock() {
  auto* block = static_cast<BlockHeader*>(memory_.Allocate(kHeaderBytes + stride_ * kItemsPerBlock));
  if (!block) return false;
  block->next = blocks_;
  blocks_ = block;
  ++blockCount_;
  char* items = reinterpret_cast<char*>(block) + kHeaderBytes;
  for (int i = 0; i < kItemsPerBlock; ++i) {
    auto* item = reinterpret_cast<FreeItem*>(items + stride_ * static_cast<size_t>(i));
    item->next = nullptr;
    if (freeTail_) {
      freeTail_->next = item;
    } else {
      freeHead_ = item;
    }
    freeTail_ = item;
  }
  freeCount_ += kItemsPerBlock;
  return true;
}

void* CBlockPool::Alloc() {
  if (!pooled_) return memory_.Allocate(stride_);
  bool exhausted = false;
  FreeItem* item = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!freeHead_ && !AddBlock()) {
      exhausted = true;
    } else {
      item = freeHead_;
      freeHead_ = item->next;
      if (!freeHead_) freeTail_ = nullptr;
      --freeCount_;
    }
  }
  // Reported outside the lock: the report may wait for the user.
  if (exhausted) ClibVerify(kCollFile, kLineTakeBlock, "pBlock!=NULL");
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
  std::lock_guard<std::mutex> guard(lock_);
  if (freeTail_) {
    freeTail_->next = item;
  } else {
    freeHead_ = item;
  }
  freeTail_ = item;
  ++freeCount_;
}

size_t CBlockPool::BlockCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return blockCount_;
}

size_t CBlockPool::FreeCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return freeCount_;
}

}  // namespace coll
