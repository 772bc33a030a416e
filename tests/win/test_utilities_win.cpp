// The clock synchronisation and the automatic shutdown dialog under Wine,
// with the two system calls that would change this machine (SetLocalTime,
// ExitWindowsEx) behind fakes: the Daytime exchange on a worker against a
// server in this test, the zone's real bias, the reply applied on the GUI
// thread; and the real shutdown dialog worked through its controls, its
// timer reaching the (faked) shutdown at the set minute.
#include <windows.h>

#include <gtest/gtest.h>

#include <asio.hpp>
#include <filesystem>
#include <thread>

#include "base/datetime.h"
#include "base/files.h"
#include "screenshot_win.h"
#include "support/temp_dir.h"
#include "utilities/unt_frmautoshutdown_win.h"
#include "utilities/unt_synclocaltime_win.h"
#include "win/all_win.h"

namespace {

constexpr char kReply[] = "\n61100 26-04-30 20:30:00 50 0 0 123.0 UTC(NIST) * \n";

// The zone is the system's; only the setting is recorded.
class RecordingClock : public utilities::ISystemClock {
 public:
  utilities::TWin32SystemClock system;
  std::vector<base::DateTimeParts> set;
  DWORD setOn = 0;
  int TimeZoneBiasMinutes() override { return system.TimeZoneBiasMinutes(); }
  bool SetLocalTime(const base::DateTimeParts& p) override {
    set.push_back(p);
    setOn = GetCurrentThreadId();
    return true;
  }
};

TEST(ClockWin, DaytimeOnAWorkerSetsTheClockOnTheGuiThread) {
  win::App::Init();
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
  const uint16_t port = acceptor.local_endpoint().port();
  std::thread server([&] {
    asio::ip::tcp::socket s(io);
    acceptor.accept(s);
    asio::write(s, asio::buffer(std::string(kReply)));
  });

  win::GuiQueue queue;
  RecordingClock clock;
  std::string pane;
  utilities::TSyncClock sync(
      clock, [poster = queue.Poster()](std::function<void()> job) { poster.Post(std::move(job)); },
      [&pane](const std::string& text) { pane = text; }, "127.0.0.1", port, 5000);
  sync.SyncClock();
  EXPECT_TRUE(pane.empty()) << "the click returns before the server answers";
  EXPECT_TRUE(win::PumpUntil([&] { return !pane.empty(); }, 10000));
  server.join();

  EXPECT_EQ(pane, utilities::kClockSyncDone);
  ASSERT_EQ(clock.set.size(), 1u);
  EXPECT_EQ(clock.setOn, GetCurrentThreadId());
  const auto expected = utilities::ParseDaytimeReply(kReply, clock.system.TimeZoneBiasMinutes());
  ASSERT_TRUE(expected);
  EXPECT_EQ(clock.set[0].hour, expected->hour);
  EXPECT_EQ(clock.set[0].day, expected->day);
  EXPECT_EQ(clock.set[0].millisecond, 123);
}

class FakeShutdown : public utilities::IShutdownHost {
 public:
  base::TDateTime now = base::EncodeDateTime(2026, 3, 2, 14, 30, 0);
  std::string pane, message;
  int shutdowns = 0;
  base::TDateTime Now() override { return now; }
  void ShowMessage(const std::string& text) override { message = text; }
  void SetDatePane(const std::string& text) override { pane = text; }
  bool ShutdownComputer() override {
    ++shutdowns;
    return true;
  }
};

HWND ChildWithText(HWND parent, const wchar_t* text) {
  HWND found = nullptr;
  struct Find {
    const wchar_t* text;
    HWND* found;
  } find{text, &found};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM data) CALLBACK -> BOOL {
        auto* f = reinterpret_cast<Find*>(data);
        wchar_t buffer[64] = {};
        GetWindowTextW(child, buffer, 64);
        if (std::wstring(buffer) != f->text) return TRUE;
        *f->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&find));
  return found;
}

TEST(ShutdownWin, TheDialogArmsItsTimerWhichShutsDownAtTheMinute) {
  win::App::Init();
  FakeShutdown host;
  utilities::TfrmshutdownWin view(nullptr, host);
  view.Show();
  const HWND dialog = view.Handle();
  ASSERT_TRUE(IsWindowVisible(dialog));
  ASSERT_TRUE(ChildWithText(dialog, L"未设定自动关机时间"));
  const HWND time = ChildWithText(dialog, L"00:00");
  ASSERT_TRUE(time);

  // Already past: refused, the dialog stays.
  SetWindowTextW(time, L"14:29");
  SendMessageW(ChildWithText(dialog, L"设定[&S]"), BM_CLICK, 0, 0);
  EXPECT_EQ(host.message, utilities::kShutdownPassed);
  EXPECT_TRUE(IsWindowVisible(dialog));

  SetWindowTextW(time, L"14:31");
  win::ProcessMessages();
  std::filesystem::create_directories(base::PathFromUtf8(testing_support::SourcePath("build/test-logs")));
  EXPECT_TRUE(testing_support::SaveWindowPng(
      dialog, base::PathFromUtf8(testing_support::SourcePath("build/test-logs/shutdown-dialog.png"))));
  SendMessageW(ChildWithText(dialog, L"设定[&S]"), BM_CLICK, 0, 0);
  EXPECT_EQ(host.pane, "自动关机：14:31");
  EXPECT_FALSE(IsWindowVisible(dialog)) << "set closes the dialog; the timer stays armed";
  EXPECT_TRUE(view.Model().TimerRunning());

  // The tick in the minute shuts down, once: the timer stops itself.
  host.now = base::EncodeDateTime(2026, 3, 2, 14, 31, 2);
  EXPECT_TRUE(win::PumpUntil([&] { return host.shutdowns > 0; }, 3000));
  EXPECT_FALSE(view.Model().TimerRunning());
  win::PumpUntil([] { return false; }, 1100);
  EXPECT_EQ(host.shutdowns, 1);
}

}  // namespace
