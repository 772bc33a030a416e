#include "plugin/addin/unt_stringcache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace addin {
namespace {
constexpr size_t kMinimumPool = 2048;
constexpr size_t kBuckets = 256;
}  // namespace

void CStringCache::Setup(kv::KvValue instance, size_t poolSize) {
  std::lock_guard lock(lock_);
  table_.clear();
  table_.reserve(kBuckets);
  pool_.assign(std::max(poolSize, kMinimumPool), '\0');
  fill_ = 0;
  instance_ = instance;
  module_ = instance;
}

const char* CStringCache::Get(uint32_t id) {
  std::lock_guard lock(lock_);
  const auto key = static_cast<uint16_t>(id);
  if (const auto it = table_.find(key); it != table_.end()) return it->second ? it->second : "";
  const size_t free = pool_.size() - fill_;
  if (free < 2) return "";
  char* text = pool_.data() + fill_;
  const int loaded = resources_.LoadText(module_, id, text, static_cast<int>(free));
  const size_t length = loaded > 0 ? std::min(static_cast<size_t>(loaded), free - 1) : 0;
  text[length] = '\0';
  try {
    table_.emplace(key, text);
  } catch (const std::bad_alloc&) {
    return "";  // out of memory: not stored, the pool stays as it was
  }
  fill_ += length + 1;
  return text;
}

void CStringCache::ResetLocked(kv::KvValue module) {
  module_ = module ? module : instance_;
  table_.clear();
  std::fill(pool_.begin(), pool_.end(), '\0');
  fill_ = 0;
  if (loaded_ && loaded_ != module_) {
    resources_.FreeResourceLibrary(loaded_);
    loaded_ = 0;
  }
}

void CStringCache::Reset(kv::KvValue module) {
  std::lock_guard lock(lock_);
  ResetLocked(module);
}

void CStringCache::LoadResourceLibrary(const char* pathUtf8) {
  std::lock_guard lock(lock_);
  if (loaded_) {
    resources_.FreeResourceLibrary(loaded_);
    loaded_ = 0;
  }
  if (pathUtf8 && *pathUtf8) loaded_ = resources_.LoadResourceLibrary(pathUtf8);
  ResetLocked(loaded_);
}

kv::KvValue CStringCache::ResourceModule() {
  std::lock_guard lock(lock_);
  return module_;
}

size_t CStringCache::FillLevel() {
  std::lock_guard lock(lock_);
  return fill_;
}

size_t CStringCache::PoolSize() {
  std::lock_guard lock(lock_);
  return pool_.size();
}

}  // namespace addin
