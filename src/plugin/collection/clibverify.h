// The plug-in's report of a failed internal check. The plug-in never stops
// on such a check: it shows the "CLIBVERIFY" warning box (on Windows) and
// goes on with a refusal (a null or 0 answer) at the place that failed.
#pragma once

#include <string>

namespace coll {

// The longest report text, without its terminator.
constexpr size_t kVerifyTextMax = 1023;

// "FILE:<file> LINE:<line> EXCEPTION: <condition>", cut to kVerifyTextMax bytes.
std::string FormatVerifyText(const char* file, int line, const char* condition);

// Where reports go. The platform's sink shows a warning box without owner,
// captioned "CLIBVERIFY", and returns when the user has closed it; on Linux
// it writes the line to the standard error stream.
class IVerifySink {
 public:
  virtual ~IVerifySink() = default;
  virtual void Show(const std::string& text) = 0;
};

// The platform's sink (never null).
IVerifySink& PlatformVerifySink();

// Replaces the sink for the whole process and returns the previous one;
// null puts the platform's sink back. Tests use this to watch reports.
IVerifySink* SetVerifySink(IVerifySink* sink);

// Reports a failed check: `file` and `line` name the check's place in the
// plug-in's sources, `condition` is the condition that did not hold.
void ClibVerify(const char* file, int line, const char* condition);

namespace detail {
// The platform's way of showing one report.
void PlatformShowVerify(const std::string& text);
}  // namespace detail

}  // namespace coll
