#ifndef TONEBAKE_TESTS_SUPPORT_FAULTY_FILE_ACCESS_H
#define TONEBAKE_TESTS_SUPPORT_FAULTY_FILE_ACCESS_H

#include <memory>

#include "fileio/file_access.h"

namespace tonebake::test {

// One operating-system call that is made to fail, or to move one byte less
// than asked.
enum class Fault {
  None,
  OpenInput,
  OpenOutput,
  Size,
  SizeOver4GiB,
  Read,
  ShortRead,
  Write,
  ShortWrite,
  CloseInput,
  CloseOutput,
  Rename,
  Seek,
  Link,  // as on FAT, where there are no hard links
};

struct FaultPlan {
  Fault fault = Fault::None;
  // A failed call that leaves no error code, to prove that a failure never
  // reads as success.
  bool systemLeavesNoCode = false;
  Fault alsoFails = Fault::None;  // a second call made to fail as well
};

// A factory is a plain function, so the plan lives here. Tests set it with
// ScopedFault.
inline FaultPlan g_faultPlan;

class ScopedFault {
 public:
  explicit ScopedFault(Fault fault, bool systemLeavesNoCode = false,
                       Fault alsoFails = Fault::None) {
    g_faultPlan = FaultPlan{fault, systemLeavesNoCode, alsoFails};
  }
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;
  ~ScopedFault() { g_faultPlan = FaultPlan{}; }
};

// The real file layer, but for the one call that the plan makes fail.
class FaultyFileAccess : public FileAccess {
 public:
  FileHandle Open(const char* name, std::uint32_t access, std::uint32_t attributes,
                  std::uint32_t disposition) override {
    writing = (access & os_file::kGenericWrite) != 0;
    if (Fails(writing ? Fault::OpenOutput : Fault::OpenInput)) {
      return kNoFileHandle;
    }
    return FileAccess::Open(name, access, attributes, disposition);
  }
  std::uint32_t GetSize(FileHandle handle, std::uint32_t* sizeHigh) override {
    if (Fails(Fault::Size)) {
      // Only the code makes a size query a failure (0xFFFFFFFF is a real
      // size), so this one always leaves a code, and answers a size that
      // would load if the code were overlooked.
      if (GetErrorCode() == 0) {
        SetErrorCode(SizeFailed);
      }
      return 0;
    }
    const std::uint32_t size = FileAccess::GetSize(handle, sizeHigh);
    if (g_faultPlan.fault == Fault::SizeOver4GiB && sizeHigh != nullptr) {
      *sizeHigh = 1;
    }
    return size;
  }
  std::uint32_t Read(FileHandle handle, void* buffer, std::uint32_t count) override {
    if (Fails(Fault::Read)) {
      return 0;
    }
    return FileAccess::Read(handle, buffer, Shortened(Fault::ShortRead, count));
  }
  std::uint32_t Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
    if (Fails(Fault::Write)) {
      return 0;
    }
    return FileAccess::Write(handle, buffer, Shortened(Fault::ShortWrite, count));
  }
  int SetPosition(FileHandle handle, std::uint32_t offset) override {
    return Fails(Fault::Seek) ? 0 : FileAccess::SetPosition(handle, offset);
  }
  int Rename(const char* from, const char* to) override {
    return Fails(Fault::Rename) ? 0 : FileAccess::Rename(from, to);
  }
  int Link(const char* existing, const char* name) override {
    return Fails(Fault::Link) ? 0 : FileAccess::Link(existing, name);
  }
  int Close(FileHandle handle) override {
    const int closed = FileAccess::Close(handle);
    return Fails(writing ? Fault::CloseOutput : Fault::CloseInput) ? 0 : closed;
  }

 private:
  bool Fails(Fault fault) {
    if (g_faultPlan.fault != fault && g_faultPlan.alsoFails != fault) {
      return false;
    }
    SetErrorCode(g_faultPlan.systemLeavesNoCode ? 0 : 5);
    return true;
  }
  static std::uint32_t Shortened(Fault fault, std::uint32_t count) {
    return g_faultPlan.fault == fault && count > 0 ? count - 1 : count;
  }

  bool writing = false;
};

inline std::unique_ptr<FileAccess> MakeFaultyFileAccess() {
  return std::make_unique<FaultyFileAccess>();
}

}  // namespace tonebake::test

#endif  // TONEBAKE_TESTS_SUPPORT_FAULTY_FILE_ACCESS_H
