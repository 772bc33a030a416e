// Fixed-size item pools for the plug-in's XML documents. A pooled pool
// carves its items out of blocks of 128 and keeps the free ones in a
// first-in first-out list, so a document with thousands of nodes costs a
// few large allocations instead of thousands of small ones, and an item
// that was just returned is the last one handed out again.
#pragma once

#include <cstddef>
#include <mutex>

namespace coll {

// Where a pool gets its blocks. The default uses the C heap; tests give a
// source that runs dry to see how exhaustion is reported.
class IBlockMemory {
 public:
  virtual ~IBlockMemory() = default;
  // Null when no memory is left.
  virtual void* Allocate(size_t bytes) = 0;
  virtual void Release(void* block) = 0;
};

IBlockMemory& HeapBlockMemory();

class CBlockPool {
 public:
  static constexpr int kItemsPerBlock = 128;

  // Items of `itemSize` bytes, aligned for pointers. With `pooled` false
  // every item is its own allocation (no blocks, no lock). A pooled pool
  // allocates its first block at once; when that fails the failure is
  // reported ("pBlock!=NULL") and the first take tries again.
  explicit CBlockPool(size_t itemSize, bool pooled = true, IBlockMemory* memory = nullptr);
  ~CBlockPool();
  CBlockPool(const CBlockPool&) = delete;
  CBlockPool& operator=(const CBlockPool&) = delete;

  // The oldest free item, or null when no memory is left (a pooled pool
  // reports that as "pBlock!=NULL"). Its contents are undefined.
  void* Alloc();
  // Gives an item back; it goes to the end of the free list. Null is ignored.
  void Free(void* item);

  size_t ItemSize() const { return itemSize_; }
  bool IsPooled() const { return pooled_; }
  size_t BlockCount() const;
  size_t FreeCount() const;

 private:
  struct FreeItem {
    FreeItem* next;
  };
  struct BlockHeader {
    BlockHeader* next;
  };

  // Allocates one block and queues all its items; false when out of memory.
  bool AddBlock();

  const size_t itemSize_;
  const size_t stride_;
  const bool pooled_;
  IBlockMemory& memory_;
  BlockHeader* blocks_ = nullptr;
  size_t blockCount_ = 0;
  FreeItem* freeHead_ = nullptr;
  FreeItem* freeTail_ = nullptr;
  size_t freeCount_ = 0;
  mutable std::mutex lock_;
};

}  // namespace coll
