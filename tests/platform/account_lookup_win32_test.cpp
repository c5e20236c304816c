// The Windows account lookup: the system names what it knows, including the
// machine's own accounts, and is never handed more or less than a whole SID.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/account_lookup.h"
#include "security/security_api.h"
// After the security layer: the Windows headers' macros of the same names
// must not clash with its constants.
#include "platform/windows_api.h"

namespace keyscout {
namespace {

static_assert(ERROR_NONE_MAPPED == 1332 && SE_DACL_PRESENT == 0x0004 && SECURITY_MAX_SID_SIZE == 68);

// The SID of the account this test runs as, from the process token.
std::vector<uint8_t> CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  alignas(8) BYTE info[512];
  DWORD length = 0;
  std::vector<uint8_t> sid;
  if (::GetTokenInformation(token, TokenUser, info, sizeof info, &length)) {
    ::PSID user = reinterpret_cast<TOKEN_USER*>(info)->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(user);
    sid.assign(bytes, bytes + ::GetLengthSid(user));
  }
  ::CloseHandle(token);
  return sid;
}

struct Answer {
  AccountLookup result;
  std::u16string domain;
  std::u16string name;
  uint32_t use = 0;
};

// Asks with the first `length` bytes of `sid` as the whole SID (the copy holds
// at most 68).
Answer Ask(const std::vector<uint8_t>& sid, size_t length) {
  SidBytes whole;
  std::copy(sid.begin(), sid.begin() + static_cast<ptrdiff_t>(std::min(length, sizeof whole.bytes)), whole.bytes);
  whole.length = static_cast<uint32_t>(length);
  Answer a;
  a.result = PlatformLookupAccount(whole, &a.domain, &a.name, &a.use);
  return a;
}

TEST(WindowsAccountLookupTest, TheSystemNamesTheMachinesOwnAccounts) {
  // The current user is a local (or domain) account: no table holds it.
  const std::vector<uint8_t> sid = CurrentUserSid();
  ASSERT_GE(sid.size(), 8u);
  wchar_t user[256];
  DWORD user_length = 256;
  ASSERT_TRUE(::GetUserNameW(user, &user_length));
  const Answer a = Ask(sid, sid.size());
  ASSERT_EQ(a.result, AccountLookup::kMapped);
  EXPECT_EQ(ConvertToWindowsText(a.name), std::wstring(user));
  EXPECT_FALSE(a.domain.empty());
  EXPECT_EQ(a.use, static_cast<uint32_t>(SidTypeUser));
}

TEST(WindowsAccountLookupTest, OnlyWholeSidsReachTheSystem) {
  const std::vector<uint8_t> sid = CurrentUserSid();
  ASSERT_GE(sid.size(), 12u);
  // One byte short of what the sub-authority count promises.
  EXPECT_EQ(Ask(sid, sid.size() - 1).result, AccountLookup::kUnavailable);
  EXPECT_EQ(Ask(sid, 7).result, AccountLookup::kUnavailable);
  // More sub-authorities than a SID may have, with the bytes to match.
  std::vector<uint8_t> too_long(8 + 4 * 16, 0);
  too_long[0] = 1;
  too_long[1] = 16;
  too_long[7] = 5;
  EXPECT_EQ(Ask(too_long, too_long.size()).result, AccountLookup::kUnavailable);
}

TEST(WindowsAccountLookupTest, SidsTheSystemCannotNameAreLeftToTheTable) {
  // S-1-5-21-1-2-3-4: a domain no system here belongs to.
  const std::vector<uint8_t> foreign = {1, 4, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0,
                                        2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};
  EXPECT_EQ(Ask(foreign, foreign.size()).result, AccountLookup::kUnavailable);
}

}  // namespace
}  // namespace keyscout
