// Test doubles for the plug-in's push code: a clock and window poster that
// the test sets, the module's string table, and a context wiring them up.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/gbk.h"
#include "plugin/addin/unt_addin.h"
#include "plugin/addin/unt_stringcache.h"
#include "plugin/push/unt_pushports.h"

namespace testing_support {

// The module's strings (id -> UTF-8) as the resource script holds them.
inline const std::map<uint32_t, std::string>& PluginTexts() {
  static const std::map<uint32_t, std::string> texts = {
      {10002, "推送服务"},
      {10003, "推送模块"},
      {10007, "委托耗时:"},
      {10008, "宋体"},
      {10009, "宋体"},
      {10010, "证券代码"},
      {10011, "证券名称"},
      {10012, "成交数量"},
      {10013, "成交价格"},
      {10014, "成交时间"},
      {10015, "业务说明"},
      {10016, "关闭"},
      {10017, "下一条"},
      {10018, "共接收数据%d条,新接收数据%d条"},
      {10019, "普通委托"},
      {10020, "委托撤单"},
      {10021, "委托耗时:"},
      {10022, "成交耗时:"},
      {10023, "推送消息"},
      {10024, "成交回报信息    "},
      {10025, "推送模块"},
  };
  return texts;
}

inline std::string G(const std::string& utf8) { return *base::Utf8ToGbk(utf8); }
inline std::string U(const std::string& gbk) { return base::GbkToUtf8Lossy(gbk); }

// String resources of two modules: module 1 holds the plug-in's texts,
// module 2 a resource library with other texts ("R:" in front).
class CFakeStringResources final : public addin::IStringResources {
 public:
  int LoadText(kv::KvValue module, uint32_t id, char* buffer, int size) override {
    std::lock_guard lock(lock_);
    ++loads;
    const auto it = PluginTexts().find(id);
    if (it == PluginTexts().end() || size <= 0 || (module != 1 && module != 2)) return 0;
    const std::string text = G((module == 2 ? "R:" : "") + it->second);
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = '\0';
    return static_cast<int>(n);
  }
  kv::KvValue LoadResourceLibrary(const std::string& path) override {
    std::lock_guard lock(lock_);
    events.push_back("load " + path);
    return path == "missing.dll" ? 0 : 2;
  }
  void FreeResourceLibrary(kv::KvValue library) override {
    std::lock_guard lock(lock_);
    events.push_back("free " + std::to_string(library));
  }

  std::mutex lock_;
  int loads = 0;
  std::vector<std::string> events;
};

struct TPosted {
  kv::KvHwnd window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

class CFakePushSystem final : public push::IPushSystem {
 public:
  uint32_t TickCount() override { return tick; }
  push::TLocalTime LocalTime() override { return now; }
  int64_t UnixTime() override { return unixTime; }
  uint32_t ThreadId() override { return threadId; }
  std::string ProgramPath() override { return programPath; }
  void PostWindowMessage(kv::KvHwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    std::lock_guard lock(lock_);
    posted.push_back({window, message, wParam, lParam});
  }
  std::vector<TPosted> Posted() {
    std::lock_guard lock(lock_);
    return posted;
  }

  std::atomic<uint32_t> tick{0};
  push::TLocalTime now{2010, 7, 21, 17, 33, 38, 5};
  std::atomic<int64_t> unixTime{1279704818};
  uint32_t threadId = 0x1A2B;
  std::string programPath;  // no folder: the push center reads no profile

 private:
  std::mutex lock_;
  std::vector<TPosted> posted;
};

// The module object as the add-in object needs it: the resource handle
// goes to the string cache, the window registry is its own.
class CFakeAddinModule final : public addin::IAddinModule {
 public:
  explicit CFakeAddinModule(addin::CStringCache& cache) : cache_(cache) {}
  void SetResourceModule(kv::KvValue module) override { cache_.Reset(module); }
  addin::CModuleWindows& Windows() override { return windows_; }

 private:
  addin::CStringCache& cache_;
  addin::CModuleWindows windows_;
};

// The process-wide context as the module object sets it up, and the add-in
// object that feature headers point to.
struct TPluginHarness {
  TPluginHarness() {
    cache.Setup(1, 10240);
    context.system = &system;
    context.strings = &cache;
  }
  CFakePushSystem system;
  CFakeStringResources resources;
  addin::CStringCache cache{resources};
  push::TPluginContext context;
  CFakeAddinModule module{cache};
  addin::CAddin addin{context, module};
};

}  // namespace testing_support
