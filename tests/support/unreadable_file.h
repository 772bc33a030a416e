// A file that exists but cannot be read, for as long as the object lives:
// on Windows it is held open by "another program" that shares it for
// renaming only, so reads fail with a sharing violation as with a locked
// file; elsewhere it is grown sparse far beyond memory, so a read runs out
// of memory. Either way no disk space is used and Release() gives back the
// file as it was.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

class UnreadableFile {
 public:
  explicit UnreadableFile(const std::string& path);
  ~UnreadableFile() { Release(); }
  UnreadableFile(const UnreadableFile&) = delete;
  UnreadableFile& operator=(const UnreadableFile&) = delete;

  // False where this machine cannot make the file unreadable.
  bool Made() const { return made_; }
  // Readable again with its content; `movedTo` is where the program under
  // test renamed it meanwhile.
  void Release(const std::string& movedTo = {});

 private:
  std::string path_;
  uintmax_t size_ = 0;
  bool made_ = false;
  void* handle_ = nullptr;
};

}  // namespace testing_support
