// The code page port on Linux: glibc's iconv for the code pages, OpenCC
// for the simplified and traditional Chinese characters.
#include <errno.h>
#include <iconv.h>
#include <opencc.h>

#include <cstring>
#include <mutex>

#include "base/gbk.h"
#include "plugin/litexml/codepage.h"

namespace litexml {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// iconv's name of a Windows code page; 0 (the system code page) is GBK.
std::string IconvName(int codePage) {
  switch (codePage) {
    case 0:
    case 936:
      return "CP936";
    case 65000:
      return "UTF-7";
    case 65001:
      return "UTF-8";
    default:
      return "CP" + std::to_string(codePage);
  }
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; at an input sequence it cannot take, `onBad`
  // says how many input bytes to skip and appends its stand-in to `out`.
  template <typename OnBad>
  void Run(const char* in, size_t inLeft, std::string& out, OnBad onBad) {
    char* src = const_cast<char*>(in);
    char buffer[4096];
    while (inLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      const size_t r = iconv(cd_, &src, &inLeft, &dst, &dstLeft);
      const int error = errno;
      out.append(buffer, sizeof buffer - dstLeft);
      if (r != static_cast<size_t>(-1) || error == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut off at the end).
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      const size_t skip = onBad(src, inLeft, out);
      src += skip;
      inLeft -= skip;
    }
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, sizeof buffer - dstLeft);
  }

 private:
  iconv_t cd_;
};

void AppendUnit(std::string& utf16le, char16_t unit) {
  utf16le += static_cast<char>(unit & 0xFF);
  utf16le += static_cast<char>(unit >> 8);
}

// One OpenCC converter per direction, opened on first use.
class ChineseMapper {
 public:
  explicit ChineseMapper(const char* config) : handle_(opencc_open(config)) {}
  ~ChineseMapper() {
    if (ok()) opencc_close(handle_);
  }
  ChineseMapper(const ChineseMapper&) = delete;
  ChineseMapper& operator=(const ChineseMapper&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<opencc_t>(-1); }

  bool Map(const std::string& utf8, std::string& out) {
    if (!ok()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    char* mapped = opencc_convert_utf8(handle_, utf8.data(), utf8.size());
    if (!mapped) return false;
    out.assign(mapped);
    opencc_convert_utf8_free(mapped);
    return true;
  }

 private:
  opencc_t handle_;
  std::mutex lock_;
};

class PosixConverter final : public ICodePageConverter {
 public:
  bool Decode(int codePage, std::string_view bytes, std::u16string& out) override {
    out.clear();
    Iconv cv("UTF-16LE", IconvName(codePage));
    if (!cv.ok()) return false;
    std::string le;
    cv.Run(bytes.data(), bytes.size(), le, [](const char*, size_t, std::string& o) {
      AppendUnit(o, kReplacement);
      return size_t{1};
    });
    out.reserve(le.size() / 2);
    for (size_t i = 0; i + 1 < le.size(); i += 2)
      out += static_cast<char16_t>(static_cast<unsigned char>(le[i]) | static_cast<unsigned char>(le[i + 1]) << 8);
    return true;
  }

  bool Encode(int codePage, std::u16string_view text, std::string& out) override {
    out.clear();
    Iconv cv(IconvName(codePage), "UTF-16LE");
    if (!cv.ok()) return false;
    std::string le;
    le.reserve(text.size() * 2);
    for (char16_t unit : text) AppendUnit(le, unit);
    cv.Run(le.data(), le.size(), out, [](const char* at, size_t left, std::string& o) {
      o += '?';
      // A whole surrogate pair stands for one character.
      const auto unit = [&](size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(at[i]) | static_cast<unsigned char>(at[i + 1]) << 8);
      };
      if (left >= 4 && unit(0) >= 0xD800 && unit(0) <= 0xDBFF && unit(2) >= 0xDC00 && unit(2) <= 0xDFFF)
        return size_t{4};
      return left >= 2 ? size_t{2} : left;
    });
    return true;
  }

  bool MapChinese(std::u16string_view text, bool toTraditional, std::u16string& out) override {
    static ChineseMapper toTrad("s2t.json");
    static ChineseMapper toSimp("t2s.json");
    ChineseMapper& mapper = toTraditional ? toTrad : toSimp;
    // OpenCC answers terminated text: map the runs between NULs one by one.
    std::u16string result;
    std::string mapped;
    for (size_t start = 0; start <= text.size();) {
      size_t end = text.find(u'\0', start);
      if (end == std::u16string_view::npos) end = text.size();
      if (end > start) {
        if (!mapper.Map(base::Utf16ToUtf8(text.substr(start, end - start)), mapped)) return false;
        result += base::Utf8ToUtf16(mapped);
      }
      if (end < text.size()) result += u'\0';
      start = end + 1;
    }
    out = std::move(result);
    return true;
  }
};

}  // namespace

ICodePageConverter& PlatformCodePageConverter() {
  static PosixConverter converter;
  return converter;
}

}  // namespace litexml
