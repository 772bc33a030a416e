// The trading-program launcher: starts the user's order program when no
// trading window is associated. The configured program comes first, then
// the two independent order programs that may sit in the program's folder.
#pragma once

#include <functional>
#include <string>

namespace trading {

inline constexpr char kXiadanFolder[] = "同花顺闪电下单独立版";
inline constexpr char kXiadanProgram[] = "xiadan.exe";
inline constexpr char kKvFolder[] = "ZKR独立委托";
inline constexpr char kKvProgram[] = "Kv.exe";

// Starts a program shown normally; false when it did not start.
using StartProgramFn = std::function<bool(const std::string& path)>;

// `orderProgram` is the in-memory "委托程序名称": when it names no file it
// becomes the first candidate folder's program that exists (not saved
// here; the next write of the parameters saves it). True when a program
// was started.
bool LaunchOrderProgram(std::string& orderProgram, const std::string& applicationFolder,
                        const StartProgramFn& start);

}  // namespace trading
