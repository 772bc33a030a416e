// What a running program holds of the system, for the soak: its GDI and
// USER objects (GetGuiResources; Wine answers 0 for both, so the windows are
// also counted one by one), its kernel handles and every window it owns,
// child windows included.
//
// usage: gui_counts PID   prints: gdi N user N handles N windows N
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Count {
  DWORD pid;
  int windows = 0;
};

BOOL CALLBACK CountChild(HWND window, LPARAM data) {
  auto* count = reinterpret_cast<Count*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == count->pid) ++count->windows;
  return TRUE;
}

BOOL CALLBACK CountTop(HWND window, LPARAM data) {
  auto* count = reinterpret_cast<Count*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != count->pid) return TRUE;
  ++count->windows;
  // EnumChildWindows walks every descendant.
  EnumChildWindows(window, CountChild, data);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gui_counts PID\n");
    return 2;
  }
  Count count{static_cast<DWORD>(std::strtoul(argv[1], nullptr, 0))};
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, count.pid);
  if (!process) {
    std::fprintf(stderr, "gui_counts: no process %lu\n", static_cast<unsigned long>(count.pid));
    return 1;
  }
  DWORD handles = 0;
  GetProcessHandleCount(process, &handles);
  const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
  CloseHandle(process);
  EnumWindows(CountTop, reinterpret_cast<LPARAM>(&count));
  std::printf("gdi %lu user %lu handles %lu windows %d\n", static_cast<unsigned long>(gdi),
              static_cast<unsigned long>(user), static_cast<unsigned long>(handles), count.windows);
  return 0;
}
