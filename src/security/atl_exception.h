// The one exception type of the security model: an HRESULT and nothing else.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>

namespace keyscout {

using HRESULT = int32_t;

// <windows.h> defines these as macros of the same value; where it came first,
// its macros serve.
#ifndef E_OUTOFMEMORY
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
#endif
#ifndef E_INVALIDARG
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
#endif
#ifndef E_FAIL
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
#endif

// A Win32 error code as an HRESULT: 0 and negative codes pass unchanged, any
// other becomes 0x80070000 with the code's low 16 bits.
constexpr HRESULT HResultFromWin32(uint32_t code) {
  return static_cast<int32_t>(code) <= 0
             ? static_cast<HRESULT>(code)
             : static_cast<HRESULT>((code & 0x0000FFFFu) | 0x80070000u);
}

class CAtlException {
 public:
  explicit CAtlException(HRESULT hr) : hr_(hr) {}
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

// Raises the exception; the model's one way to fail.
[[noreturn]] inline void AtlThrow(HRESULT hr) { throw CAtlException(hr); }

// Runs `allocate`, which grows a text or a list or makes an object, and
// returns what it returns. Running out of memory (std::bad_alloc, or the
// std::length_error of a container asked to grow past its limit) becomes
// E_OUTOFMEMORY. Everything else passes on as it is: the model's own
// failures keep their codes, since relabelling an E_INVALIDARG from a SID
// copy would report a damaged descriptor as a lack of memory.
template <typename Allocate>
auto GuardAllocation(Allocate allocate) -> decltype(allocate()) {
  try {
    return allocate();
  } catch (const std::bad_alloc&) {
    AtlThrow(E_OUTOFMEMORY);
  } catch (const std::length_error&) {
    AtlThrow(E_OUTOFMEMORY);
  }
}

}  // namespace keyscout
