#include "plugin/collection/clibverify.h"

#include <atomic>
#include <cstdio>

namespace coll {
namespace {

class PlatformSink final : public IVerifySink {
 public:
  void Show(const std::string& text) override { detail::PlatformShowVerify(text); }
};

PlatformSink& ThePlatformSink() {
  static PlatformSink sink;
  return sink;
}

// Reports come from any thread that allocates; the sink is swapped rarely.
std::atomic<IVerifySink*> g_sink{nullptr};

}  // namespace

std::string FormatVerifyText(const char* file, int line, const char* condition) {
  char text[kVerifyTextMax + 1];
  std::snprintf(text, sizeof text, "FILE:%s LINE:%d EXCEPTION: %s", file ? file : "", line,
                condition ? condition : "");
  return text;
}

IVerifySink& PlatformVerifySink() { return ThePlatformSink(); }

IVerifySink* SetVerifySink(IVerifySink* sink) {
  IVerifySink* previous = g_sink.exchange(sink);
  return previous ? previous : &ThePlatformSink();
}

void ClibVerify(const char* file, int line, const char* condition) {
  IVerifySink* sink = g_sink.load();
  (sink ? *sink : ThePlatformSink()).Show(FormatVerifyText(file, line, condition));
}

}  // namespace coll
