// Helpers shared by the settings tests: settings files are GBK on disk, the
// tests write them from UTF-8 text.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "base/files.h"
#include "base/gbk.h"
#include "settings/unt_common.h"

namespace settings_test {

inline std::string Gbk(const std::string& utf8) { return *base::Utf8ToGbk(utf8); }

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(base::AtomicReplace(path, bytes)) << path;
}

inline void WriteGbk(const std::string& path, const std::string& utf8) { WriteBytes(path, Gbk(utf8)); }

inline std::string FileBytes(const std::string& path) { return base::ReadFileBytes(path).value_or("<missing>"); }

// Makes every later write of `path` fail: the file is replaced through a
// temporary file beside it, and a folder stands in that file's place.
inline void BlockWrites(const std::string& path) {
  std::filesystem::create_directory(base::PathFromUtf8(path + ".new~"));
}

inline std::string FileText(const std::string& path) { return base::GbkToUtf8Lossy(FileBytes(path)); }

}  // namespace settings_test

namespace settings {

// Readable failure messages for whole parameter sets.
inline void PrintTo(const TParameters& p, std::ostream* os) {
  *os << "{antiLock=" << p.antiLockSeconds << " hideNotice=" << p.hideStartupNotice << " help=" << p.helpUrl
      << " tradingAlpha=" << p.tradingWindowAlpha << " mainAlpha=" << p.mainWindowAlpha
      << " minimise=" << p.minimiseAfterOrder << " quoteTip=" << p.showQuoteTip << " program=" << p.orderProgram
      << "}";
}

}  // namespace settings
