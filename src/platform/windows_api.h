// The one place the Windows headers are included from, with the settings every
// Windows source of the tool shares. Only src/platform/*_win32.cpp include it.
#pragma once

// Nothing newer than Windows 7 may be called, so the program starts there too.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_identity.h"
#include "platform/file_problem.h"

namespace keyscout {

// The units of a wide string as the Windows calls take them (wchar_t is
// 16 bits there), zero-terminated.
inline std::wstring ConvertToWindowsText(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (const char16_t unit : text) out.push_back(static_cast<wchar_t>(unit));
  return out;
}

// The handles live in the platform-neutral headers as integers.
inline HANDLE CastToHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
inline intptr_t CastFromHandle(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

// The identity of the open file `handle`; unknown (all zero) when the system
// cannot tell it, as for a console or a pipe.
inline FileIdentity IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return FileIdentity{};
  return FileIdentity{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// Why a call on the file `path` failed, from the `error` GetLastError gave.
// Opening a folder as a file is refused as access denied: the folder is told
// apart by its attributes.
inline FileProblem ProblemOfLastError(DWORD error, std::u16string_view path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {FileProblemKind::kMissing, {}};
    case ERROR_ACCESS_DENIED: {
      const DWORD attributes = ::GetFileAttributesW(ConvertToWindowsText(path).c_str());
      const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      return {folder ? FileProblemKind::kFolder : FileProblemKind::kNoPermission, {}};
    }
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return {FileProblemKind::kLocked, {}};
    default:
      break;
  }
  char text[256] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  text, sizeof(text), nullptr);
  // The system's sentence ends in a full stop and a line end.
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
  if (length == 0) return {FileProblemKind::kSystem, "system error " + std::to_string(error)};
  return {FileProblemKind::kSystem, std::string(text, length)};
}

}  // namespace keyscout
