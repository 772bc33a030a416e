// A small quote engine for the binding's tests: five of the seven exports
// (SetupReceiver and Stock_GetStockNewReport are missing) and the optional
// Stock_GetLimits, each call
// written to a log the test reads back through Probe_Log. Stock_Start
// fails for the user "refuse"; Stock_GetStockInfo knows only "600000" and
// takes 50 ms, so that side-by-side requests can be seen. A library that
// fails badly: Stock_GetStockInfo for "900001" writes through a null
// pointer (an access violation) and for "900002" raises an exception of its
// own language, as a Delphi library does; "900003" is a slow request
// (1500 ms, counted by Probe_InFlight); UpdateOnlineTime (the account
// service's export, when copied as velmora.dll) faults for the user "fault".
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex logMutex;
std::string logText;
std::atomic<int> inFlight{0};
std::atomic<int> mostInFlight{0};
int* volatile nowhere = nullptr;

void Log(const std::string& line) {
  std::lock_guard lock(logMutex);
  logText += line;
  logText += '\n';
}

}  // namespace

extern "C" {

__declspec(dllexport) void __stdcall Stock_Init(void* window, uint32_t message, int32_t mode) {
  char line[96];
  std::snprintf(line, sizeof line, "init %s 0x%x %d", window ? "window" : "null", message, mode);
  Log(line);
}

__declspec(dllexport) int32_t __stdcall Stock_Start(void* session, int32_t token, const char* user) {
  const char* server = static_cast<const char*>(session);
  int32_t port = 0;
  std::memcpy(&port, server + 33, 4);
  char line[160];
  std::snprintf(line, sizeof line, "start %.33s:%d token %d user %s", server, port, token, user);
  Log(line);
  // A byte-sized false with garbage above it: only the low byte counts.
  return std::strcmp(user, "refuse") == 0 ? 0x7F00 : 1;
}

__declspec(dllexport) void __stdcall Stock_SetLabels(const char* labels, int32_t highest) {
  std::string line = "labels " + std::to_string(highest);
  for (int32_t i = 0; labels && i <= highest; ++i) line += std::string(" ") + (labels + 16 * i);
  Log(labels ? line : line + " null");
}

__declspec(dllexport) int32_t __stdcall Stock_GetStockInfo(unsigned char* buffer, const char* code,
                                                           const char* server, int32_t port) {
  if (std::strcmp(code, "900001") == 0 || std::strcmp(code, "900002") == 0) {
    std::memset(buffer, 0xEE, 8);  // half written when it fails
    if (code[5] == '1') *nowhere = 1;
    RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  }
  const int now = ++inFlight;
  int seen = mostInFlight.load();
  while (now > seen && !mostInFlight.compare_exchange_weak(seen, now)) {
  }
  Sleep(std::strcmp(code, "900003") == 0 ? 1500 : 50);
  if (std::strcmp(code, "600000") == 0) {
    std::memset(buffer, 0, 158);
    std::memcpy(buffer + 8, code, 6);
    // The name in GBK: 浦发银行.
    std::memcpy(buffer + 18, "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0", 8);
    const float price = 10.25f;
    std::memcpy(buffer + 66, &price, 4);
  }
  char line[160];
  std::snprintf(line, sizeof line, "quote %s %s:%d", code, server, port);
  Log(line);
  --inFlight;
  return 1;
}

// Our own engine's optional export: limits known for "600000" only.
__declspec(dllexport) int32_t __stdcall Stock_GetLimits(const char* code, double* limitUp, double* limitDown) {
  Log(std::string("limits ") + code);
  if (std::strcmp(code, "600000") != 0) return 0;
  *limitUp = 11.28;
  *limitDown = 9.22;
  return 1;
}

__declspec(dllexport) void __stdcall Stock_Quit(void* window) { Log(window ? "quit window" : "quit null"); }

__declspec(dllexport) int32_t __stdcall UpdateOnlineTime(const char* user) {
  if (std::strcmp(user, "fault") == 0) *nowhere = 1;
  Log(std::string("online ") + user);
  return 1;
}

// For the test: the log so far (and cleared), and the most requests at once.
__declspec(dllexport) int32_t __stdcall Probe_Log(char* out, int32_t size) {
  std::lock_guard lock(logMutex);
  std::snprintf(out, static_cast<size_t>(size), "%s", logText.c_str());
  logText.clear();
  return mostInFlight.exchange(0);
}

__declspec(dllexport) int32_t __stdcall Probe_InFlight() { return inFlight.load(); }

}  // extern "C"
