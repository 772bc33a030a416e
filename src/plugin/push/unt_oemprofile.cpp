// The host's KvOem.xml, read once when the push center is made.
#include "base/text.h"
#include "plugin/litexml/xml.h"
#include "plugin/push/unt_pushcenter.h"

namespace push {

bool ReadOemTraceSwitch(const std::string& profilePathUtf8) {
  litexml::CXmlDocument document("ProfileOfOEM", 936);
  // A missing or unreadable file leaves the empty document: the default answers.
  document.LoadFile(profilePathUtf8.c_str(), nullptr, 936);
  const char* trace = document.GetString("ProfileOfOEM/Common/Debug", "Trace", "");
  return base::SameTextAscii(trace ? trace : "", "YES");
}

}  // namespace push
