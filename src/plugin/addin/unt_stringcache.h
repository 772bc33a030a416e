// The module's string cache: strings of the resource module, loaded by id on
// first use into one text pool and handed out as GBK text that stays valid
// until the next reset. Host threads read it besides the GUI thread, so the
// cache takes its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "plugin/addin/kvaddin.h"
#include "plugin/push/unt_pushports.h"

namespace addin {

// The resource side of the module (Win32: the string tables of a module).
class IStringResources {
 public:
  virtual ~IStringResources() = default;
  // Copies string `id` of `module` as GBK into the buffer, at most size-1
  // bytes without splitting a character, terminated; answers the bytes
  // copied, 0 when the module has no such string.
  virtual int LoadText(kv::KvValue module, uint32_t id, char* buffer, int size) = 0;
  // A resource library loaded from a file; 0 when it cannot be loaded.
  virtual kv::KvValue LoadResourceLibrary(const std::string& pathUtf8) = 0;
  virtual void FreeResourceLibrary(kv::KvValue library) = 0;
};

class CStringCache final : public push::IStringTable {
 public:
  explicit CStringCache(IStringResources& resources) : resources_(resources) {}
  CStringCache(const CStringCache&) = delete;
  CStringCache& operator=(const CStringCache&) = delete;

  // Empties the cache and makes a pool of max(poolSize, 2048) bytes over
  // the module's own instance.
  void Setup(kv::KvValue instance, size_t poolSize);
  // The text of string `id`: loaded once, then the same pointer; an empty
  // text when the module lacks it or the pool is full.
  const char* Get(uint32_t id);
  const char* Text(uint32_t id) override { return Get(id); }
  // Switches to another resource module (0: the module's own instance) and
  // empties the cache; a library the cache loaded itself is freed when it is
  // not the new module.
  void Reset(kv::KvValue module);
  // Loads a resource library (none: back to the own instance) and resets to it.
  void LoadResourceLibrary(const char* pathUtf8);

  kv::KvValue ResourceModule();
  size_t FillLevel();
  size_t PoolSize();

 private:
  void ResetLocked(kv::KvValue module);

  IStringResources& resources_;
  std::mutex lock_;
  kv::KvValue instance_ = 0;
  kv::KvValue module_ = 0;
  kv::KvValue loaded_ = 0;  // the library the cache loaded itself
  std::unordered_map<uint16_t, const char*> table_;
  std::vector<char> pool_;
  size_t fill_ = 0;
};

}  // namespace addin
