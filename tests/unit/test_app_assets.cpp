// The pictures, sounds, help texts and manifest of quorvel.exe, as the
// Windows side will meet them: LoadImage wants 32-bit icons of the sizes the
// views ask for, sndPlaySound a plain PCM wave, the editors' rich edit an RTF
// it can read on any code page, and the resource script must name every
// picture under the identifier the views use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/res/resource_ids.h"
#include "base/files.h"
#include "support/temp_dir.h"

using testing_support::SourcePath;

namespace {

std::string Bytes(const std::string& relative) {
  return base::ReadFileBytes(SourcePath(relative)).value_or("");
}

uint32_t Le(const std::string& b, size_t at, int size) {
  uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b.at(at + i));
  return v;
}

struct IconImage {
  int size = 0;
  int bits = 0;
  int hotX = 0, hotY = 0;            // cursor files only
  std::vector<uint32_t> argb;        // top row first
};

// Reads an .ico or .cur file whose images are uncompressed DIBs.
std::vector<IconImage> ReadIcons(const std::string& bytes, int expectedType) {
  std::vector<IconImage> images;
  EXPECT_GE(bytes.size(), 6u);
  if (bytes.size() < 6) return images;
  EXPECT_EQ(Le(bytes, 0, 2), 0u);
  EXPECT_EQ(Le(bytes, 2, 2), static_cast<uint32_t>(expectedType));
  const uint32_t count = Le(bytes, 4, 2);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * i;
    IconImage img;
    img.size = static_cast<uint8_t>(bytes.at(entry));
    img.hotX = static_cast<int>(Le(bytes, entry + 4, 2));
    img.hotY = static_cast<int>(Le(bytes, entry + 6, 2));
    const uint32_t offset = Le(bytes, entry + 12, 4);
    EXPECT_EQ(Le(bytes, offset, 4), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(Le(bytes, offset + 4, 4), static_cast<uint32_t>(img.size));
    EXPECT_EQ(Le(bytes, offset + 8, 4), static_cast<uint32_t>(2 * img.size)) << "colour and mask";
    img.bits = static_cast<int>(Le(bytes, offset + 14, 2));
    if (img.bits == 32) {
      const size_t pixels = offset + 40;
      for (int y = img.size - 1; y >= 0; --y) {
        for (int x = 0; x < img.size; ++x) {
          img.argb.push_back(Le(bytes, pixels + 4 * (static_cast<size_t>(y) * img.size + x), 4));
        }
      }
    }
    images.push_back(img);
  }
  return images;
}

// A 32-bit picture with a real alpha channel: see-through around the symbol,
// opaque on it.
void ExpectAlphaPicture(const IconImage& img, const std::string& what) {
  ASSERT_EQ(img.bits, 32) << what;
  int clear = 0, opaque = 0;
  for (uint32_t p : img.argb) {
    const uint32_t alpha = p >> 24;
    clear += alpha < 64;
    opaque += alpha > 240;
  }
  EXPECT_GT(clear, 0) << what;
  EXPECT_GE(opaque, img.size * img.size / 16) << what;
}

std::vector<int> Sizes(const std::vector<IconImage>& images) {
  std::vector<int> sizes;
  for (const auto& i : images) sizes.push_back(i.size);
  return sizes;
}

// The #defines of resource_ids.h, by name.
std::map<std::string, int> ResourceIds() {
  std::map<std::string, int> ids;
  const std::string header = Bytes("src/app/res/resource_ids.h");
  static const std::regex define(R"(#define (\w+) (\d+)\b)");
  for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
    ids[(*it)[1]] = std::stoi((*it)[2]);
  }
  return ids;
}

// Resource id -> file of every ICON statement of quorvel.rc, in order.
std::vector<std::pair<int, std::string>> RcIcons() {
  const auto ids = ResourceIds();
  std::vector<std::pair<int, std::string>> icons;
  const std::string rc = Bytes("src/app/res/quorvel.rc");
  static const std::regex icon(R"re((?:^|\n)(\w+) ICON "([^"]+)")re");
  for (std::sregex_iterator it(rc.begin(), rc.end(), icon), end; it != end; ++it) {
    const std::string name = (*it)[1];
    EXPECT_TRUE(ids.count(name)) << name << " is not defined in resource_ids.h";
    icons.emplace_back(ids.count(name) ? ids.at(name) : -1, (*it)[2]);
  }
  return icons;
}

std::string FileOf(const std::vector<std::pair<int, std::string>>& icons, int id) {
  for (const auto& [i, f] : icons) {
    if (i == id) return f;
  }
  return "";
}

// The text of an RTF file: \uN? escapes turned back into UTF-8.
std::string RtfText(const std::string& rtf) {
  std::string out;
  static const std::regex unicode(R"(\\u(-?\d+)\?)");
  for (std::sregex_iterator it(rtf.begin(), rtf.end(), unicode), end; it != end; ++it) {
    int n = std::stoi((*it)[1]);
    const uint32_t c = n < 0 ? static_cast<uint32_t>(n + 65536) : static_cast<uint32_t>(n);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

TEST(AppAssets, ResourceScriptNamesEveryPictureUnderTheIdsTheViewsUse) {
  const auto icons = RcIcons();
  ASSERT_FALSE(icons.empty());
  // Explorer shows the first icon group: it must be the program icon.
  EXPECT_EQ(icons.front().first, IDI_QUORVEL);
  EXPECT_EQ(icons.front().second, "quorvel.ico");

  std::set<int> seen;
  for (const auto& [id, file] : icons) EXPECT_TRUE(seen.insert(id).second) << "id " << id << " used twice";

  for (int k = IDI_KIND_MIN; k <= IDI_KIND_MAX; ++k) {
    EXPECT_EQ(FileOf(icons, IDI_KIND(k)), "kind" + std::to_string(k) + ".ico");
    EXPECT_EQ(FileOf(icons, IDI_KIND_FIRED(k)), "kind" + std::to_string(k) + "_fired.ico");
  }
  EXPECT_EQ(FileOf(icons, IDI_STATE_START), "state_start.ico");
  EXPECT_EQ(FileOf(icons, IDI_STATE_STOP), "state_stop.ico");
  EXPECT_EQ(FileOf(icons, IDI_STATE_TRIGGERED), "state_triggered.ico");
  const char* toolbar[IDI_TB_COUNT] = {"start", "stop", "payoff", "losslimit", "price", "time", "showstock", "refresh"};
  for (int i = 0; i < IDI_TB_COUNT; ++i) {
    EXPECT_EQ(FileOf(icons, IDI_TB_START + i), std::string("tb_") + toolbar[i] + ".ico");
  }
  for (int i = 0; i < IDI_TRAY_FRAMES; ++i) EXPECT_EQ(FileOf(icons, IDI_TRAY0 + i), "tray" + std::to_string(i) + ".ico");
  for (int i = 0; i < IDI_LEVEL_COUNT; ++i) EXPECT_EQ(FileOf(icons, IDI_LEVEL(i)), "level" + std::to_string(i) + ".ico");
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(FileOf(icons, IDI_SPEED(i)), "speed" + std::to_string(i) + ".ico");
  EXPECT_EQ(icons.size(), 1u + 14u + 3u + IDI_TB_COUNT + IDI_TRAY_FRAMES + IDI_LEVEL_COUNT + 6);

  const std::string rc = Bytes("src/app/res/quorvel.rc");
  EXPECT_NE(rc.find("\nCURSOR1 CURSOR \"finder.cur\""), std::string::npos);
  EXPECT_NE(rc.find("IDR_MANIFEST RT_MANIFEST \"quorvel.manifest\""), std::string::npos);
  EXPECT_NE(rc.find("#pragma code_page(65001)"), std::string::npos);
  EXPECT_NE(rc.find("BLOCK \"080404B0\""), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"ProductName\", \"Tarvolen-Merrowick\""), std::string::npos);
  EXPECT_NE(rc.find("FILEVERSION QV_VERSION_RC"), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"ProductVersion\", QV_VERSION_RC_TEXT"), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"Translation\", 0x0804, 1200"), std::string::npos);
}

TEST(AppAssets, IconsAre32BitWithAlphaInTheSizesTheyAreShownIn) {
  for (const auto& [id, file] : RcIcons()) {
    const auto images = ReadIcons(Bytes("src/app/res/" + file), 1);
    std::vector<int> expected{16};
    if (id == IDI_QUORVEL) expected = {16, 32, 48};
    if (id >= IDI_TB_START && id < IDI_TB_START + IDI_TB_COUNT) expected = {16, 24};
    EXPECT_EQ(Sizes(images), expected) << file;
    for (const auto& img : images) ExpectAlphaPicture(img, file + " " + std::to_string(img.size));
  }
  // Tray frame 0 is the program icon itself.
  const auto program = ReadIcons(Bytes("src/app/res/quorvel.ico"), 1);
  const auto tray0 = ReadIcons(Bytes("src/app/res/tray0.ico"), 1);
  ASSERT_FALSE(program.empty());
  ASSERT_EQ(tray0.size(), 1u);
  EXPECT_EQ(tray0[0].argb, program[0].argb);
}

TEST(AppAssets, RowIconsTellEveryKindAndItsFiredStateApart) {
  std::vector<std::pair<std::string, std::vector<uint32_t>>> rows;
  for (int k = IDI_KIND_MIN; k <= IDI_KIND_MAX; ++k) {
    for (const std::string suffix : {"", "_fired"}) {
      const std::string file = "kind" + std::to_string(k) + suffix + ".ico";
      const auto images = ReadIcons(Bytes("src/app/res/" + file), 1);
      ASSERT_EQ(images.size(), 1u) << file;
      rows.emplace_back(file, images[0].argb);
    }
  }
  // At 16 px a difference of a handful of pixels is lost; ask for an eighth
  // of the picture (the fired badge alone is about that) between any two.
  for (size_t a = 0; a < rows.size(); ++a) {
    for (size_t b = a + 1; b < rows.size(); ++b) {
      int differing = 0;
      for (size_t p = 0; p < rows[a].second.size(); ++p) {
        const uint32_t x = rows[a].second[p], y = rows[b].second[p];
        int distance = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          distance += std::abs(static_cast<int>((x >> shift) & 0xFF) - static_cast<int>((y >> shift) & 0xFF));
        }
        differing += distance > 96;
      }
      EXPECT_GE(differing, 16 * 16 / 8) << rows[a].first << " vs " << rows[b].first;
    }
  }
}

TEST(AppAssets, FinderCursorIsA32PixelCrosshairWithItsHotSpotInTheMiddle) {
  const auto images = ReadIcons(Bytes("src/app/res/finder.cur"), 2);
  ASSERT_EQ(images.size(), 1u);
  const auto& cur = images[0];
  EXPECT_EQ(cur.size, 32);
  EXPECT_EQ(cur.hotX, 16);
  EXPECT_EQ(cur.hotY, 16);
  ExpectAlphaPicture(cur, "finder.cur");
  // The cross runs through the hot spot's row and column.
  ASSERT_EQ(cur.argb.size(), 32u * 32u);
  EXPECT_GT(cur.argb[2 * 32 + 16] >> 24, 240u);
  EXPECT_GT(cur.argb[16 * 32 + 2] >> 24, 240u);
}

TEST(AppAssets, SoundsArePlainPcmThatSndPlaySoundPlays) {
  const std::map<std::string, double> longest{
      {"dist/res/warning.wav", 1.0}, {"dist/res/Money_Take.wav", 1.5}, {"dist/res/Money_Policy.wav", 1.5}};
  for (const auto& [file, limit] : longest) {
    const std::string b = Bytes(file);
    ASSERT_GE(b.size(), 44u) << file;
    EXPECT_EQ(b.substr(0, 4), "RIFF") << file;
    EXPECT_EQ(b.substr(8, 4), "WAVE") << file;
    // Walk the chunks: fmt must say PCM mono 22050 Hz 16 bit.
    size_t at = 12;
    std::string data;
    bool fmt = false;
    while (at + 8 <= b.size()) {
      const std::string id = b.substr(at, 4);
      const uint32_t size = Le(b, at + 4, 4);
      if (id == "fmt ") {
        fmt = true;
        EXPECT_EQ(Le(b, at + 8, 2), 1u) << file << " PCM";
        EXPECT_EQ(Le(b, at + 10, 2), 1u) << file << " mono";
        EXPECT_EQ(Le(b, at + 12, 4), 22050u) << file;
        EXPECT_EQ(Le(b, at + 22, 2), 16u) << file;
      } else if (id == "data") {
        data = b.substr(at + 8, size);
      }
      at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(fmt) << file;
    const double seconds = static_cast<double>(data.size()) / 2 / 22050;
    EXPECT_GT(seconds, 0.2) << file;
    EXPECT_LT(seconds, limit) << file;
    int peak = 0;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
      peak = std::max(peak, std::abs(static_cast<int>(static_cast<int16_t>(Le(data, i, 2)))));
    }
    // Audible, and not clipped.
    EXPECT_GT(peak, 32768 / 8) << file;
    EXPECT_LT(peak, 32767) << file;
  }
}

TEST(AppAssets, HelpTextsAreAsciiRtfThatExplainTheirEditorsFields) {
  const std::map<std::string, std::vector<std::string>> topics{
      {"MonitorPayOff", {"移动止盈", "设定价位", "卖出数量", "回落数量", "报价优化", "采用自动交易", "举例"}},
      {"MonitorLossLimit", {"条件止损", "设定价位", "卖出数量", "下跌数量", "报价优化", "采用自动交易", "举例"}},
      {"MonitorLimitDownUp", {"限价下跌反弹", "设定价位", "买入数量", "反弹数量", "报价优化", "采用自动交易", "举例"}},
      {"MonitorPrice", {"按价位监控", "上涨中回落", "下跌中反弹", "变化数量", "目标证券", "买卖数量", "举例"}},
      {"MonitorTime", {"按时间监控", "用即时成交价", "下单时间", "买卖数量", "采用自动交易", "举例"}},
      {"MonitorIndex", {"指数监控", "监控指数", "设定点位", "跟踪方式", "目标证券", "indexcode.txt", "举例"}},
      {"ShowStock", {"晒股", "介入价格", "移动止盈设定价格", "条件止损设定价位", "备注", "风险自担"}},
  };
  for (const auto& [name, words] : topics) {
    const std::string file = "dist/res/" + name + ".rtf";
    const std::string rtf = Bytes(file);
    ASSERT_FALSE(rtf.empty()) << file;
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg936", 0), 0u) << file;
    EXPECT_NE(rtf.find("\\fcharset134"), std::string::npos) << file;
    // Pure ASCII, so no system code page can misread it.
    for (unsigned char c : rtf) {
      ASSERT_TRUE(c < 0x80) << file;
    }
    // Groups balance and the document group closes at the end.
    int depth = 0;
    size_t closed = std::string::npos;
    for (size_t i = 0; i < rtf.size(); ++i) {
      if (rtf[i] == '\\') {
        ++i;
      } else if (rtf[i] == '{') {
        ++depth;
      } else if (rtf[i] == '}') {
        ASSERT_GT(depth, 0) << file;
        if (--depth == 0) closed = i;
      }
    }
    EXPECT_EQ(depth, 0) << file;
    EXPECT_EQ(rtf.find_first_not_of("\r\n", closed + 1), std::string::npos) << file;
    // The text speaks of the editor's own fields. ASCII words appear as plain
    // text between the escapes.
    const std::string text = RtfText(rtf);
    for (const auto& word : words) {
      const bool ascii =
          std::all_of(word.begin(), word.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
      EXPECT_NE((ascii ? rtf : text).find(word), std::string::npos) << file << " lacks " << word;
    }
  }
}

TEST(AppAssets, ManifestAsksForCommonControls6PerMonitorDpiAndNoElevation) {
  const std::string m = Bytes("src/app/res/quorvel.manifest");
  for (const std::string part : {
           R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
           R"(level="asInvoker" uiAccess="false")",
           ">true/pm</dpiAware>",
           ">PerMonitorV2</dpiAwareness>",
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
       }) {
    EXPECT_NE(m.find(part), std::string::npos) << part;
  }
}
