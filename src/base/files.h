// File access shared by the whole program. Paths are UTF-8 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace base {

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

bool FileExists(const std::string& path);

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Reads the file in one go into memory the caller lays out itself:
// `place(size)` is called once with the file's size as it was opened and
// returns where that many bytes go. Gives the number of bytes read (fewer
// only when the file shrank meanwhile), or nullopt when the file cannot be
// opened or read (a folder, for one).
using PlaceBytes = std::function<void*(size_t size)>;
std::optional<size_t> ReadFileInto(const std::string& path, const PlaceBytes& place);

// Appends `bytes` at the end of the file, creating it when missing. The
// file is opened for reading and writing for this one write only, with other
// writers locked out meanwhile; while another writer holds it, the open is
// retried for a short while. False (and `error` set) when the file cannot be
// opened or written; a write that fails part way (a full disk, a size limit)
// is cut back, so the file ends where it ended before and the next append
// never continues a fragment.
bool AppendToFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Appends one line ended by CR LF.
bool AppendLine(const std::string& path, std::string_view line, std::string* error = nullptr);

// Empties an existing file and keeps it, with the same locking and retries
// as AppendToFile. False (and `error` set) when it is missing or cannot be
// emptied.
bool TruncateFile(const std::string& path, std::string* error = nullptr);

// Replaces the file's contents all at once: the bytes go to a temporary file
// beside it, which is flushed to disk and renamed over the target. A crash
// or a full disk on the way leaves the previous file whole. False (and
// `error` set) when anything fails; the target is then untouched.
bool AtomicReplace(const std::string& path, std::string_view bytes, std::string* error = nullptr);

namespace detail {
// Renames `from` over `to` (replacing it) and makes the rename durable.
bool PlatformReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::string* error);
enum class LockedWrite { kDone, kBusy, kFailed };
// Opens the file for reading and writing with other writers denied
// (creating it when `create`), moves to its end, writes `bytes` and closes
// it; with `truncate` it is emptied instead. kBusy when another writer holds
// it (nothing was written), kFailed with `error` set on any other failure
// (after a failed write the file is cut back to its length before it).
LockedWrite PlatformLockedWrite(const std::filesystem::path& path, std::string_view bytes, bool create,
                                bool truncate, std::string* error);
// Forces a written file's data to disk.
bool PlatformSync(std::FILE* file);
// Opens a file for binary reading; null on failure.
std::FILE* PlatformOpenRead(const std::filesystem::path& path);
// Creates or empties a file for binary writing; null on failure.
std::FILE* PlatformOpenWrite(const std::filesystem::path& path);
// The size of an open regular file; nullopt for anything else.
std::optional<uint64_t> PlatformFileSize(std::FILE* file);
}  // namespace detail

}  // namespace base
