#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "plugin/collection/clibverify.h"
#include "plugin/collection/coll.h"
#include "plugin_verify_recorder.h"

using coll::CBlockPool;
using testing_support::VerifyRecorder;

namespace {

// A block source that can run dry and counts what it holds.
class CountingMemory final : public coll::IBlockMemory {
 public:
  void* Allocate(size_t bytes) override {
    if (allowed == 0) return nullptr;
    --allowed;
    ++live;
    lastBytes = bytes;
    return std::malloc(bytes);
  }
  void Release(void* block) override {
    --live;
    std::free(block);
  }
  int allowed = 1 << 30;
  int live = 0;
  size_t lastBytes = 0;
};

}  // namespace

TEST(BlockPool, CreationPutsOneBlockOfItemsOnTheFreeList) {
  CountingMemory memory;
  CBlockPool pool(28, true, &memory);
  EXPECT_EQ(pool.ItemSize(), 28u);
  EXPECT_TRUE(pool.IsPooled());
  EXPECT_EQ(pool.BlockCount(), 1u);
  EXPECT_EQ(pool.FreeCount(), 128u);
  EXPECT_EQ(memory.live, 1);
  EXPECT_GE(memory.lastBytes, 128u * 28u);
}

TEST(BlockPool, HandsOutTheOldestFreeItemFirst) {
  CBlockPool pool(16);
  std::vector<void*> items;
  for (int i = 0; i < 4; ++i) items.push_back(pool.Alloc());
  // Returned items go to the end of the free list: the block's remaining
  // 124 items come first, then the returned ones in the order returned.
  pool.Free(items[2]);
  pool.Free(items[0]);
  std::vector<void*> next;
  for (int i = 0; i < 126; ++i) next.push_back(pool.Alloc());
  EXPECT_EQ(next[124], items[2]);
  EXPECT_EQ(next[125], items[0]);
  EXPECT_EQ(std::count(next.begin(), next.begin() + 124, items[2]), 0);
  EXPECT_EQ(pool.BlockCount(), 1u);
}

TEST(BlockPool, GrowsByWholeBlocksAndFreesThemAllAtTheEnd) {
  CountingMemory memory;
  {
    CBlockPool pool(20, true, &memory);
    std::set<void*> distinct;
    for (int i = 0; i < 300; ++i) {
      void* p = pool.Alloc();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(void*), 0u);
      std::memset(p, 0xAB, 20);  // every byte of the item is usable
      distinct.insert(p);
    }
    EXPECT_EQ(distinct.size(), 300u);
    EXPECT_EQ(pool.BlockCount(), 3u);
    EXPECT_EQ(pool.FreeCount(), 3u * 128u - 300u);
    EXPECT_EQ(memory.live, 3);
  }
  EXPECT_EQ(memory.live, 0) << "destroying the pool frees every block";
}

TEST(BlockPool, ExhaustionIsReportedAndAnswersNull) {
  VerifyRecorder recorder;
  CountingMemory memory;
  memory.allowed = 1;
  CBlockPool pool(16, true, &memory);
  for (int i = 0; i < 128; ++i) ASSERT_NE(pool.Alloc(), nullptr);
  EXPECT_TRUE(recorder.texts.empty());
  EXPECT_EQ(pool.Alloc(), nullptr);
  ASSERT_EQ(recorder.texts.size(), 1u);
  EXPECT_EQ(recorder.texts[0], "FILE:collection/coll.cpp LINE:207 EXCEPTION: pBlock!=NULL");
  // Memory that comes back makes the pool work again.
  memory.allowed = 1;
  EXPECT_NE(pool.Alloc(), nullptr);
  EXPECT_EQ(pool.BlockCount(), 2u);
}

TEST(BlockPool, FailedFirstBlockIsReportedAtCreation) {
  VerifyRecorder recorder;
  CountingMemory memory;
  memory.allowed = 0;
  CBlockPool pool(16, true, &memory);
  ASSERT_EQ(recorder.texts.size(), 1u);
  EXPECT_EQ(recorder.texts[0], "FILE:collection/coll.cpp LINE:179 EXCEPTION: pBlock!=NULL");
  EXPECT_EQ(pool.BlockCount(), 0u);
  memory.allowed = 1;
  EXPECT_NE(pool.Alloc(), nullptr) << "the first take tries again";
}

TEST(BlockPool, UnpooledAllocatesEachItemOnItsOwn) {
  CountingMemory memory;
  CBlockPool pool(24, false, &memory);
  EXPECT_EQ(memory.live, 0);
  void* a = pool.Alloc();
  void* b = pool.Alloc();
  EXPECT_EQ(memory.live, 2);
  EXPECT_EQ(pool.BlockCount(), 0u);
  pool.Free(a);
  pool.Free(b);
  pool.Free(nullptr);
  EXPECT_EQ(memory.live, 0);
}

TEST(BlockPool, SmallItemsStillHoldTheFreeLink) {
  CBlockPool pool(1);
  void* a = pool.Alloc();
  void* b = pool.Alloc();
  EXPECT_GE(static_cast<char*>(b) - static_cast<char*>(a), static_cast<ptrdiff_t>(sizeof(void*)));
}

TEST(BlockPool, ThreadsNeverShareAnItem) {
  CBlockPool pool(16);
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<std::vector<void*>> kept(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<void*> mine;
      for (int i = 0; i < kRounds; ++i) {
        void* p = pool.Alloc();
        *static_cast<int*>(p) = t;  // a shared item would show another thread's mark
        mine.push_back(p);
        if (i % 3 == 2) {
          if (*static_cast<int*>(mine.front()) != t) return;
          pool.Free(mine.front());
          mine.erase(mine.begin());
        }
      }
      kept[t] = mine;
    });
  }
  for (auto& th : threads) th.join();
  std::set<void*> all;
  size_t total = 0;
  for (int t = 0; t < kThreads; ++t) {
    for (void* p : kept[t]) EXPECT_EQ(*static_cast<int*>(p), t);
    total += kept[t].size();
    all.insert(kept[t].begin(), kept[t].end());
  }
  EXPECT_EQ(total, static_cast<size_t>(kThreads) * (kRounds - kRounds / 3));
  EXPECT_EQ(all.size(), total);
  EXPECT_EQ(pool.FreeCount() + total, pool.BlockCount() * 128u);
}

TEST(BlockPool, ResetPutsEveryItemBackInBlockOrder) {
  CBlockPool pool(16);
  std::vector<void*> first;
  for (int i = 0; i < 200; ++i) first.push_back(pool.Alloc());
  pool.Free(first[5]);
  pool.Free(first[150]);
  pool.Reset();
  EXPECT_EQ(pool.BlockCount(), 2u);
  EXPECT_EQ(pool.FreeCount(), 256u);
  // The same items again, in the order a fresh pool hands them out.
  for (int i = 0; i < 200; ++i) ASSERT_EQ(pool.Alloc(), first[i]) << i;
  EXPECT_EQ(pool.FreeCount(), 56u);
}

TEST(BlockPool, HoldKeepsOtherThreadsOutUntilItEnds) {
  CBlockPool pool(16);
  std::atomic<bool> taken{false};
  std::thread other;
  {
    CBlockPool::Hold hold(pool);
    // The holder itself takes and returns without waiting.
    void* mine = pool.Alloc();
    ASSERT_NE(mine, nullptr);
    pool.Free(mine);
    EXPECT_EQ(pool.FreeCount(), 128u);
    other = std::thread([&] {
      pool.Free(pool.Alloc());
      taken = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(taken) << "another thread waits for the hold";
  }
  other.join();
  EXPECT_TRUE(taken);
}

TEST(ClibVerify, FormatsTheReportText) {
  EXPECT_EQ(coll::FormatVerifyText("litexml/xml.cpp", 630, "pParentNode==NULL"),
            "FILE:litexml/xml.cpp LINE:630 EXCEPTION: pParentNode==NULL");
  const std::string longCondition(3000, 'c');
  const std::string text = coll::FormatVerifyText("f", 1, longCondition.c_str());
  EXPECT_EQ(text.size(), coll::kVerifyTextMax);
  EXPECT_EQ(text.substr(0, 24), "FILE:f LINE:1 EXCEPTION:");
}

TEST(ClibVerify, ReportsGoToTheInstalledSinkUntilItIsRemoved) {
  {
    VerifyRecorder first;
    {
      VerifyRecorder second;
      coll::ClibVerify("a", 1, "x");
      EXPECT_EQ(second.texts.size(), 1u);
    }
    coll::ClibVerify("b", 2, "y");
    ASSERT_EQ(first.texts.size(), 1u);
    EXPECT_EQ(first.texts[0], "FILE:b LINE:2 EXCEPTION: y");
  }
}
