// Windows entry: the arguments come from the wide command line, so that
// file names in any script reach the tool intact; output is UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>

#include "base/gbk.h"
#include "tool/tool.h"

int main() {
  tool::Args args;
  int argc = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    for (int i = 1; i < argc; ++i) {
      const std::wstring_view w(argv[i]);
      args.push_back(base::Utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
    LocalFree(argv);
  }
  SetConsoleOutputCP(CP_UTF8);
  // The same bytes as on Linux: no CR inserted before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return tool::Main(args, std::cout, std::cerr);
}
