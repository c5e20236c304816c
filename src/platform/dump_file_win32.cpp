#include <algorithm>

#include "platform/dump_file.h"
#include "platform/log_files.h"
#include "platform/windows_api.h"

namespace keyscout {

bool DumpFile::Create(const std::u16string& path, const Evidence& evidence) {
  Close();
  const std::wstring name = ConvertToWindowsText(path);
  // The hive is held without sharing, so this open already fails for it by
  // any name. The identity test below stands behind that, and so the file is
  // opened without truncating (OPEN_ALWAYS) and truncated only after it.
  HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem_ = ProblemOfLastError(::GetLastError(), path);
    // The hive and its logs, held without sharing, refuse the open itself:
    // their identity, read without asking for access, says which it was.
    if (const EvidenceRole role = evidence.RoleOf(IdentityOfFile(path)); role != EvidenceRole::kNone) {
      problem_ = EvidenceProblem(role);
    }
    return false;
  }
  file_ = CastFromHandle(file);
  if (const EvidenceRole role = evidence.RoleOf(IdentityOfHandle(file)); role != EvidenceRole::kNone) {
    problem_ = EvidenceProblem(role);
    Close();
    return false;
  }
  if (::GetFileType(file) == FILE_TYPE_DISK && !::SetEndOfFile(file)) {
    problem_ = ProblemOfLastError(::GetLastError(), path);
    Close();
    return false;
  }
  return true;
}

bool DumpFile::WriteAll(const uint8_t* data, uint64_t length) {
  if (file_ == -1) return false;
  // A value's data is below 2 GiB, so one WriteFile call takes it all.
  // Choice: should the system still take less than asked, the rest is written
  // by further calls rather than counted as written: a call that reports
  // success must not leave a short file behind a "succeed" message.
  do {
    const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(length, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(CastToHandle(file_), data, chunk, &written, nullptr)) {
      problem_ = ProblemOfLastError(::GetLastError(), u"");
      return false;
    }
    if (written == 0 && chunk != 0) {
      problem_ = {FileProblemKind::kSystem, "nothing was written"};
      return false;
    }
    data += written;
    length -= written;
  } while (length > 0);
  return true;
}

void DumpFile::Close() {
  if (file_ != -1) ::CloseHandle(CastToHandle(file_));
  file_ = -1;
}

}  // namespace keyscout
