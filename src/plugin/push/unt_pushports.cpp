#include "plugin/push/unt_pushports.h"

#include <map>
#include <mutex>

#include "base/gbk.h"

namespace push {

const char* Gbk(const char* utf8) {
  static std::mutex lock;
  static std::map<const char*, std::string> converted;  // nodes stay put: c_str() stays valid
  std::lock_guard guard(lock);
  auto it = converted.find(utf8);
  if (it == converted.end()) it = converted.emplace(utf8, base::Utf8ToGbkLossy(utf8)).first;
  return it->second.c_str();
}

}  // namespace push
