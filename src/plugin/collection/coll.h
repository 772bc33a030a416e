// Fixed-size item pools for the plug-in's XML documents. A pooled pool
// carves its items out of blocks of 128 and keeps the free ones in a
// first-in first-out list, so a document with thousands of nodes costs a
// few large allocations instead of thousands of small ones, and an item
// that was just returned is the last one handed out again.
//
// The items of a block that were never handed out are not linked one by
// one: they stand at the front of the free list as a run in address order,
// which keeps a freshly built document's items together in memory.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>

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
  void* Alloc() {
    // The common case of a load: the holder takes the next item of a
    // block's untouched run.
    if (holder_.load(std::memory_order_relaxed) == std::this_thread::get_id() && fresh_) return TakeFresh();
    return AllocSlow();
  }
  // Gives an item back; it goes to the end of the free list. Null is ignored.
  void Free(void* item);
  // Puts every item of every block back on the free list, in block order.
  // For an owner that has given up all its items at once (a document
  // emptied as a whole); an item still in use must not be touched after.
  // A pool that is not pooled has nothing to reset.
  void Reset();

  // Holds the pool's lock while it lives, for a run of many takes and
  // returns by one thread (a whole document load): the holder's takes and
  // returns then skip the lock, every other thread waits as usual.
  class Hold {
   public:
    explicit Hold(CBlockPool& pool);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    CBlockPool& pool_;
  };

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

  // Allocates one block and puts all its items on the free list; false
  // when out of memory. Called with the lock held.
  bool AddBlock();
  void* AllocSlow();
  // The next item of the untouched run; called with the lock held and a run left.
  void* TakeFresh() {
    void* item = ItemAt(fresh_, freshNext_);
    if (++freshNext_ == kItemsPerBlock) {
      fresh_ = fresh_->next;
      freshNext_ = 0;
    }
    --freeCount_;
    return item;
  }
  // The lock for one take or return: none when this thread holds the pool.
  std::unique_lock<std::mutex> LockUnlessHeld() const;
  char* ItemAt(BlockHeader* block, int index) const {
    return reinterpret_cast<char*>(block) + kHeaderBytes + stride_ * static_cast<size_t>(index);
  }

  // The block header is padded so that the items after it keep the heap's alignment.
  static constexpr size_t kHeaderBytes =
      (sizeof(void*) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

  const size_t itemSize_;
  const size_t stride_;
  const bool pooled_;
  IBlockMemory& memory_;
  BlockHeader* blocks_ = nullptr;  // in allocation order
  BlockHeader* lastBlock_ = nullptr;
  size_t blockCount_ = 0;
  // The front of the free list: the items of `fresh_` from `freshNext_`
  // on, and of every block after it. Then the linked returned items.
  BlockHeader* fresh_ = nullptr;
  int freshNext_ = 0;
  FreeItem* freeHead_ = nullptr;
  FreeItem* freeTail_ = nullptr;
  size_t freeCount_ = 0;
  mutable std::mutex lock_;
  std::atomic<std::thread::id> holder_{};
};

}  // namespace coll
