#include "quotes/Ustockdrv_win.h"

#include <windows.h>

#include <cstring>
#include <mutex>

#include "base/gbk.h"
#include "win/contained_call_win.h"

namespace quotes {
namespace {

template <class Fn>
Fn Lookup(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

// The last owner: nothing can be inside the library any more.
TStockDrv::~TStockDrv() {
  std::unique_lock lock(callGuard_);
  Release();
}

bool TStockDrv::Bind(const std::string& applicationFolder) {
  Unbind();
  const std::u16string path = base::Utf8ToUtf16(applicationFolder + kQuoteEngineFile);
  HMODULE library = LoadLibraryW(reinterpret_cast<const wchar_t*>(path.c_str()));
  if (!library) return false;
  std::unique_lock lock(callGuard_);
  library_ = library;
  // The order of the lookups is the engine's documented one.
  init_ = Lookup<InitFn>(library, "Stock_Init");
  quit_ = Lookup<QuitFn>(library, "Stock_Quit");
  setupReceiver_ = Lookup<AnyFn>(library, "SetupReceiver");
  start_ = Lookup<StartFn>(library, "Stock_Start");
  setLabels_ = Lookup<SetLabelsFn>(library, "Stock_SetLabels");
  getStockInfo_ = Lookup<GetStockInfoFn>(library, "Stock_GetStockInfo");
  getStockNewReport_ = Lookup<AnyFn>(library, "Stock_GetStockNewReport");
  // Not one of the seven: another maker's engine simply has none.
  getLimits_ = Lookup<GetLimitsFn>(library, "Stock_GetLimits");
  return true;
}

void TStockDrv::Unbind() {
  std::unique_lock lock(callGuard_, std::defer_lock);
  if (lock.try_lock_for(kUnbindWait)) Release();
}

void TStockDrv::Release() {
  init_ = nullptr;
  quit_ = nullptr;
  setupReceiver_ = nullptr;
  start_ = nullptr;
  setLabels_ = nullptr;
  getStockInfo_ = nullptr;
  getStockNewReport_ = nullptr;
  getLimits_ = nullptr;
  if (library_) FreeLibrary(static_cast<HMODULE>(library_));
  library_ = nullptr;
}

TStockDrv::BoundExports TStockDrv::Bound() const {
  std::shared_lock lock(callGuard_);
  return {init_ != nullptr,      quit_ != nullptr,         setupReceiver_ != nullptr,    start_ != nullptr,
          setLabels_ != nullptr, getStockInfo_ != nullptr, getStockNewReport_ != nullptr, getLimits_ != nullptr};
}

void TStockDrv::Init(uintptr_t mainWindow) {
  if (init_) init_(reinterpret_cast<void*>(mainWindow), kQuoteMessage, 4);
}

bool TStockDrv::Start(const void* loginSession, int32_t startToken, const std::string& userId) {
  if (!start_) return true;
  const std::string user = base::Utf8ToGbkLossy(userId);
  // The engine answers with a byte-sized boolean: only the low byte counts.
  const int32_t result = start_(const_cast<void*>(loginSession), startToken, user.c_str());
  return (result & 0xFF) != 0;
}

void TStockDrv::SetLabels(const TStockLabel* labels, int32_t highestIndex) {
  if (setLabels_) setLabels_(labels, highestIndex);
}

bool TStockDrv::GetStockInfo(const std::string& code, const std::string& serverAddress, int32_t serverPort,
                             TQuoteReport& out) {
  std::shared_lock lock(callGuard_);
  if (!getStockInfo_) return false;
  const std::string gbkCode = base::Utf8ToGbkLossy(code);
  std::string server = base::Utf8ToGbkLossy(serverAddress);
  if (server.size() > 33) server.resize(33);
  // The engine writes into a copy, so that a failed request leaves the
  // caller's buffer as it was.
  TQuoteReport buffer;
  std::memcpy(&buffer, &out, sizeof buffer);
  // A fault inside the engine ends the request, not the program.
  if (!win::CallContained([&] { getStockInfo_(&buffer, gbkCode.c_str(), server.c_str(), serverPort); }))
    return false;
  std::memcpy(&out, &buffer, sizeof buffer);
  return true;
}

bool TStockDrv::GetLimits(const std::string& code, double& limitUp, double& limitDown) {
  std::shared_lock lock(callGuard_);
  if (!getLimits_) return false;
  const std::string gbkCode = base::Utf8ToGbkLossy(code);
  double up = 0, down = 0;
  int32_t found = 0;
  if (!win::CallContained([&] { found = getLimits_(gbkCode.c_str(), &up, &down); })) return false;
  if (found != 1) return false;
  limitUp = up;
  limitDown = down;
  return true;
}

void TStockDrv::Quit(uintptr_t mainWindow) {
  if (quit_) quit_(reinterpret_cast<void*>(mainWindow));
}

}  // namespace quotes
