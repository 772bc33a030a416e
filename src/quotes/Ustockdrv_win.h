// The binding of the quote engine drasken.dll: one library handle and the
// seven exports, looked up by name from the application folder's copy, and
// the optional Stock_GetLimits of our own engine. It
// implements the program's engine port; a missing library or export only
// turns the calls to it into no-ops.
#pragma once

#include <chrono>
#include <cstdint>
#include <shared_mutex>
#include <string>

#include "quotes/Ustockdrv.h"

namespace quotes {

inline constexpr char kQuoteEngineFile[] = "drasken.dll";

class TStockDrv final : public IQuoteEngine {
 public:
  TStockDrv() = default;
  ~TStockDrv() override;
  TStockDrv(const TStockDrv&) = delete;
  TStockDrv& operator=(const TStockDrv&) = delete;

  // Loads <applicationFolder>drasken.dll by its full path and looks up the
  // exports; false when the library did not load (everything stays unbound).
  bool Bind(const std::string& applicationFolder);
  // Releases the library once no single-quote request is in flight. One
  // that is still running after kUnbindWait keeps the library loaded (the
  // exports stay bound), so that closing never waits on the network.
  void Unbind();
  static constexpr std::chrono::milliseconds kUnbindWait{300};

  bool Loaded() const { return library_ != nullptr; }
  // Which of the seven exports were found, in lookup order (for checks).
  struct BoundExports {
    bool init, quit, setupReceiver, start, setLabels, getStockInfo, getStockNewReport;
    bool getLimits;  // optional: only our own engine has it
  };
  BoundExports Bound() const;

  void Init(uintptr_t mainWindow) override;
  bool Start(const void* loginSession, int32_t startToken, const std::string& userId) override;
  void SetLabels(const TStockLabel* labels, int32_t highestIndex) override;
  // Safe from several threads at once: the requests run side by side.
  bool GetStockInfo(const std::string& code, const std::string& serverAddress, int32_t serverPort,
                    TQuoteReport& out) override;
  void Quit(uintptr_t mainWindow) override;
  bool GetLimits(const std::string& code, double& limitUp, double& limitDown) override;

  // The export types, standard calling convention.
  using InitFn = void(__stdcall*)(void* window, uint32_t message, int32_t mode);
  using QuitFn = void(__stdcall*)(void* window);
  using StartFn = int32_t(__stdcall*)(void* loginSession, int32_t startToken, const char* userId);
  using SetLabelsFn = void(__stdcall*)(const TStockLabel* labels, int32_t highestIndex);
  using GetStockInfoFn = int32_t(__stdcall*)(TQuoteReport* buffer, const char* code, const char* server,
                                             int32_t port);
  using GetLimitsFn = int32_t(__stdcall*)(const char* code, double* limitUp, double* limitDown);
  using AnyFn = void(__stdcall*)();

 private:
  void Release();  // under the exclusive lock

  void* library_ = nullptr;  // HMODULE
  InitFn init_ = nullptr;
  QuitFn quit_ = nullptr;
  AnyFn setupReceiver_ = nullptr;  // looked up, never called
  StartFn start_ = nullptr;
  SetLabelsFn setLabels_ = nullptr;
  GetStockInfoFn getStockInfo_ = nullptr;
  AnyFn getStockNewReport_ = nullptr;  // looked up, never called
  GetLimitsFn getLimits_ = nullptr;
  // Shared by the single-quote requests, exclusive for the unbinding.
  mutable std::shared_timed_mutex callGuard_;
};

}  // namespace quotes
