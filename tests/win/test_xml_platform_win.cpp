// The XML library's Windows adapters against the real system: the Chinese
// character mapping (the code page conversions are covered by the portable
// tests, which run here with the same adapter), and the "CLIBVERIFY" box,
// which a hook on this thread reads and closes as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/gbk.h"
#include "plugin/collection/clibverify.h"
#include "plugin/litexml/codepage.h"
#include "plugin/litexml/xml.h"

using namespace litexml;

namespace {

const std::string kZhongwenGbk = "\xD6\xD0\xCE\xC4";  // 中文
const std::string kZhongwenBig5 = "\xA4\xA4\xA4\xE5";

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::string WindowText(HWND hwnd) {
  wchar_t text[2048] = {};
  GetWindowTextW(hwnd, text, 2048);
  return base::Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

// What the hook saw of the box it closed.
struct SeenBox {
  int count = 0;
  std::string caption;
  std::vector<std::string> texts;
  bool owned = false;
  bool warningIcon = false;
};
SeenBox g_seen;

BOOL CALLBACK CollectChild(HWND child, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  if (lstrcmpiW(cls, L"Static") != 0) return TRUE;
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    if (icon && icon == LoadIconW(nullptr, IDI_WARNING)) g_seen.warningIcon = true;
  } else {
    g_seen.texts.push_back(WindowText(child));
  }
  return TRUE;
}

LRESULT CALLBACK CloseBoxes(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t cls[64] = {};
  if (code == HCBT_ACTIVATE && GetClassNameW(reinterpret_cast<HWND>(wParam), cls, 64) &&
      lstrcmpW(cls, L"#32770") == 0) {
    // Only dialog windows: the system may activate others on the way.
    const auto box = reinterpret_cast<HWND>(wParam);
    ++g_seen.count;
    g_seen.caption = WindowText(box);
    g_seen.owned = GetWindow(box, GW_OWNER) != nullptr;
    EnumChildWindows(box, CollectChild, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

TEST(XmlWinCodePage, MapsBetweenSimplifiedAndTraditional) {
  ICodePageConverter& conv = PlatformCodePageConverter();
  const std::u16string simplified = u"\u7B80\u4F53\u4E2D\u6587";   // 简体中文
  const std::u16string traditional = u"\u7C21\u9AD4\u4E2D\u6587";  // 簡體中文
  std::u16string mapped;
  ASSERT_TRUE(conv.MapChinese(simplified, true, mapped));
  std::u16string back;
  ASSERT_TRUE(conv.MapChinese(traditional, false, back));
  if (UnderWine()) {
    // Wine 8 answers the text unchanged; Windows maps it.
    EXPECT_TRUE(mapped == traditional || mapped == simplified);
    EXPECT_TRUE(back == simplified || back == traditional);
  } else {
    EXPECT_EQ(mapped, traditional);
    EXPECT_EQ(back, simplified);
  }
}

TEST(XmlWinCodePage, GbkDocumentLoadsAsBig5) {
  CXmlDocument doc;
  const std::string text = "<?xml version=\"1.0\" encoding=\"GBK\"?><r v=\"\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4\"/>";
  ASSERT_EQ(doc.LoadBuffer(text.data(), static_cast<int64_t>(text.size()), 950), 1);
  const std::string value = doc.GetString("r", "v", "");
  const std::string mapped = "\xC2\xB2\xC5\xE9" + kZhongwenBig5;  // 簡體中文
  if (UnderWine()) {
    // Without the mapping only the code page changes: 简 has no BIG5 character.
    std::u16string units;
    std::string unmapped;
    ASSERT_TRUE(PlatformCodePageConverter().Decode(936, "\xBC\xF2\xCC\xE5" + kZhongwenGbk, units));
    ASSERT_TRUE(PlatformCodePageConverter().Encode(950, units, unmapped));
    EXPECT_EQ(unmapped.substr(0, 1), "?");
    EXPECT_TRUE(value == mapped || value == unmapped) << value;
  } else {
    EXPECT_EQ(value, mapped);
  }
}

TEST(ClibVerifyWin, ShowsAWarningBoxWithoutOwnerAndGoesOn) {
  g_seen = SeenBox{};
  HHOOK hook = SetWindowsHookExW(WH_CBT, CloseBoxes, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  coll::ClibVerify("collection/coll.cpp", 207, "pBlock!=NULL");
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(g_seen.count, 1);
  EXPECT_EQ(g_seen.caption, "CLIBVERIFY");
  EXPECT_FALSE(g_seen.owned);
  EXPECT_TRUE(g_seen.warningIcon);
  bool found = false;
  for (const auto& t : g_seen.texts) found = found || t == "FILE:collection/coll.cpp LINE:207 EXCEPTION: pBlock!=NULL";
  EXPECT_TRUE(found);
}
