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

}  // namespace keyscout
