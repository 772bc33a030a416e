// GBK conversion through glibc's iconv, whose "GBK" table is code page 936
// without the user-defined areas.
#include <errno.h>
#include <iconv.h>

#include "base/gbk.h"

namespace base::detail {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Run(std::string_view in, std::string& out) {
    out.clear();
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
    if (in.empty()) return true;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t used = 0;
    while (true) {
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      const size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (r != static_cast<size_t>(-1)) break;
      if (errno != E2BIG) {
        out.clear();
        return false;
      }
      out.resize(out.size() * 2);
    }
    // Close the shift state (a no-op for these encodings, but part of the contract).
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.resize(out.size() - dstLeft);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool PlatformGbkToUtf8(std::string_view gbk, std::string& out) {
  thread_local Converter conv("UTF-8", "GBK");
  return conv.Run(gbk, out);
}

bool PlatformUtf8ToGbk(std::string_view utf8, std::string& out) {
  thread_local Converter conv("GBK", "UTF-8");
  return conv.Run(utf8, out);
}

}  // namespace base::detail
