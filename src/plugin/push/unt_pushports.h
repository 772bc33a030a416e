// What the plug-in's push code needs of the system and of its module,
// behind small interfaces so that the logic runs and is tested anywhere.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "plugin/addin/kvaddin.h"
#include "plugin/res/resource.h"

namespace ui {
class INoteViewFactory;
}

namespace push {

class CPushCenter;

struct TLocalTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The clock, the files and the windows of the host process.
class IPushSystem {
 public:
  virtual ~IPushSystem() = default;
  // Milliseconds since the system started (wraps after 49.7 days).
  virtual uint32_t TickCount() = 0;
  virtual TLocalTime LocalTime() = 0;
  // Seconds since 1970.
  virtual int64_t UnixTime() = 0;
  virtual uint32_t ThreadId() = 0;
  // The host program's file (the process's executable, not the DLL), UTF-8.
  virtual std::string ProgramPath() = 0;
  virtual void PostWindowMessage(kv::KvHwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// The module's strings by id, GBK. A text stays valid until the module's
// string cache is reset.
class IStringTable {
 public:
  virtual ~IStringTable() = default;
  virtual const char* Text(uint32_t id) = 0;
};

// What every part of the plug-in reaches process-wide: set up by the module
// object at load, the port and the push center filled in by Initialize.
struct TPluginContext {
  IPushSystem* system = nullptr;
  IStringTable* strings = nullptr;
  std::atomic<kv::IAddinPort*> port{nullptr};
  std::atomic<CPushCenter*> center{nullptr};
  // The windows of the fill note (Win32); none where no window can be made.
  ui::INoteViewFactory* views = nullptr;
};

// Host job function numbers.
namespace fn {
constexpr uint16_t kLogin1 = 99;
constexpr uint16_t kLogin2 = 101;
constexpr uint16_t kRegistration = 144;
constexpr uint16_t kCancel = 200;
constexpr uint16_t kOrder = 202;
constexpr uint16_t kFill = 402;
}  // namespace fn

// The separator of the host's file paths.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Appends the bytes to the file in one write: opened in binary append mode
// (shared with other writers), written, closed. False when it cannot be
// opened or written; the folder is never created.
bool AppendFileBinary(const std::string& pathUtf8, std::string_view bytes);

// A GBK text from UTF-8 source text, converted once and kept for the run.
// Only for the plug-in's fixed texts (format strings, names).
const char* Gbk(const char* utf8);

}  // namespace push
