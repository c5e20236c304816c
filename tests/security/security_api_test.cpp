#include "security/security_api.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/account_lookup.h"
#include "security/account_names.h"
#include "security/well_known_sids.h"
#include "support/sd_builder.h"

namespace keyscout {
namespace {

using test::Acl;
using test::Ace;
using test::Bytes;
using test::Descriptor;
using test::SdSpec;
using test::SetU16;
using test::SetU32;
using test::Sid;

PSID Ref(const Bytes& b) { return PSID{b.data(), static_cast<uint32_t>(b.size())}; }

std::u16string TextOf(const Bytes& sid) {
  char16_t* text = nullptr;
  if (!ConvertSidToStringSidW(Ref(sid), &text)) return u"<failed>";
  std::u16string out(text);
  LocalFree(text);
  return out;
}

TEST(SidOperationsTest, StringFormForAuthoritiesBelowAndAbove2To32) {
  EXPECT_EQ(TextOf(Sid("S-1-5-32-544")), u"S-1-5-32-544");
  EXPECT_EQ(TextOf(Sid("S-1-0")), u"S-1-0");  // no sub-authorities
  EXPECT_EQ(TextOf(Sid("S-1-4294967295-4294967295")), u"S-1-4294967295-4294967295");
  EXPECT_EQ(TextOf(Sid("S-1-0x100000000-1")), u"S-1-0x000100000000-1");
  EXPECT_EQ(TextOf(Sid("S-1-0xA1B2C3D4E5F6-0")), u"S-1-0xa1b2c3d4e5f6-0");
  EXPECT_EQ(TextOf(Sid("S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14")),
            u"S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14");
}

TEST(SidOperationsTest, ValidityIsMeasuredAgainstTheBytesGiven) {
  const Bytes sid = Sid("S-1-5-21-1-2-3-500");  // 8 + 5 * 4 = 28 bytes
  EXPECT_TRUE(IsValidSid(Ref(sid)));
  EXPECT_EQ(GetLengthSid(Ref(sid)), 28u);
  EXPECT_FALSE(IsValidSid(PSID{sid.data(), 27}));  // last byte outside
  EXPECT_FALSE(IsValidSid(PSID{sid.data(), 1}));
  EXPECT_FALSE(IsValidSid(PSID{}));
  EXPECT_EQ(GetLengthSid(PSID{sid.data(), 1}), 0u);

  Bytes bad_revision = sid;
  bad_revision[0] = 2;
  EXPECT_FALSE(IsValidSid(Ref(bad_revision)));
  Bytes too_many = Sid("S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15");
  EXPECT_TRUE(IsValidSid(Ref(too_many)));
  too_many[1] = 16;
  too_many.resize(8 + 16 * 4, 0);
  EXPECT_FALSE(IsValidSid(Ref(too_many)));

  char16_t* text = reinterpret_cast<char16_t*>(1);
  EXPECT_FALSE(ConvertSidToStringSidW(PSID{sid.data(), 27}, &text));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  EXPECT_EQ(text, nullptr);
}

TEST(DescriptorLengthTest, IsTheEndOfTheFurthestPart) {
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  shape.group = Sid("S-1-5-18");
  shape.dacl = Acl({Ace(0, 0, 1, Sid("S-1-1-0"))});
  Bytes sd = Descriptor(shape);
  EXPECT_EQ(GetSecurityDescriptorLength(Ref(sd)), sd.size());

  // Trailing bytes after the last part are not part of the descriptor.
  Bytes padded = sd;
  padded.resize(sd.size() + 40, 0xEE);
  EXPECT_EQ(GetSecurityDescriptorLength(Ref(padded)), sd.size());

  // A DACL flagged absent is not measured, though its offset is set.
  Bytes absent = sd;
  SetU16(absent, 2, 0x8000);
  EXPECT_EQ(GetSecurityDescriptorLength(Ref(absent)), test::GetU32(sd, test::SD_OWNER_FIELD) + 16u + 12u);

  // A gap before the owner counts: the owner's end is what matters.
  Bytes gap = sd;
  gap.insert(gap.begin() + 20, 8, 0);
  for (size_t field : {test::SD_OWNER_FIELD, test::SD_GROUP_FIELD, test::SD_DACL_FIELD}) {
    SetU32(gap, field, test::GetU32(gap, field) + 8);
  }
  EXPECT_EQ(GetSecurityDescriptorLength(Ref(gap)), gap.size());
}

TEST(DescriptorLengthTest, IsZeroWhenAPartCannotBeMeasuredInsideTheBytes) {
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  const Bytes sd = Descriptor(shape);
  EXPECT_EQ(GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR{sd.data(), 19}), 0u);
  EXPECT_EQ(GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR{sd.data(), 21}), 0u);  // owner's count byte
  EXPECT_EQ(GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR{sd.data(), 22}), sd.size());
  Bytes far = sd;
  SetU32(far, test::SD_OWNER_FIELD, 0xFFFFFFF0u);
  EXPECT_EQ(GetSecurityDescriptorLength(Ref(far)), 0u);
  // A huge declared ACL size measures past the bytes; the caller compares.
  SdSpec with_acl;
  with_acl.dacl = Acl({}, 2, 0xFFFF);
  const Bytes big = Descriptor(with_acl);
  EXPECT_EQ(GetSecurityDescriptorLength(Ref(big)), 20u + 0xFFFF);
}

TEST(DescriptorPartsTest, OffsetsPastTheEndFail) {
  SdSpec shape;
  shape.owner = Sid("S-1-5-18");
  shape.dacl = Acl({});
  Bytes sd = Descriptor(shape);
  PSID owner;
  bool defaulted = false;
  ASSERT_TRUE(GetSecurityDescriptorOwner(Ref(sd), &owner, &defaulted));
  EXPECT_TRUE(owner.StartsAt(sd.data() + test::GetU32(sd, test::SD_OWNER_FIELD)));
  EXPECT_EQ(owner.size(), 12u);  // to the end of the descriptor

  SetU32(sd, test::SD_OWNER_FIELD, static_cast<uint32_t>(sd.size()));
  EXPECT_FALSE(GetSecurityDescriptorOwner(Ref(sd), &owner, &defaulted));

  bool present = false;
  PACL dacl;
  ASSERT_TRUE(GetSecurityDescriptorDacl(Ref(sd), &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl.size(), 8u);
  // Declared size one byte past the end of the descriptor.
  const uint32_t dacl_at = test::GetU32(sd, test::SD_DACL_FIELD);
  SetU16(sd, dacl_at + 2, static_cast<uint16_t>(sd.size() - dacl_at + 1));
  EXPECT_FALSE(GetSecurityDescriptorDacl(Ref(sd), &present, &dacl, &defaulted));
  // Header not whole inside.
  SetU32(sd, test::SD_DACL_FIELD, static_cast<uint32_t>(sd.size() - 7));
  EXPECT_FALSE(GetSecurityDescriptorDacl(Ref(sd), &present, &dacl, &defaulted));
}

TEST(AclOperationsTest, EntriesMustLieInsideTheDeclaredSize) {
  const Bytes a = Ace(0, 0, 1, Sid("S-1-1-0"));  // 20 bytes
  const Bytes b = Ace(1, 0, 2, Sid("S-1-5-18"));
  Bytes acl = Acl({a, b});
  ACL_SIZE_INFORMATION info{};
  ASSERT_TRUE(GetAclInformation(Ref(acl), &info, sizeof info, AclSizeInformation));
  EXPECT_EQ(info.AceCount, 2u);
  EXPECT_EQ(info.AclBytesInUse, 8u + 20 + 20);
  EXPECT_EQ(info.AclBytesFree, 0u);
  PACE ace;
  ASSERT_TRUE(GetAce(Ref(acl), 1, &ace));
  EXPECT_TRUE(ace.StartsAt(acl.data() + 28));
  EXPECT_EQ(ace.size(), 20u);
  EXPECT_FALSE(GetAce(Ref(acl), 2, &ace));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // The second entry's size reaches one byte past the ACL.
  Bytes long_ace = acl;
  SetU16(long_ace, 28 + 2, 21);
  EXPECT_FALSE(GetAclInformation(Ref(long_ace), &info, sizeof info, AclSizeInformation));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
  EXPECT_TRUE(GetAce(Ref(long_ace), 0, &ace));
  EXPECT_FALSE(GetAce(Ref(long_ace), 1, &ace));

  // A zero-size entry would never advance.
  Bytes zero = acl;
  SetU16(zero, 8 + 2, 0);
  EXPECT_FALSE(GetAce(Ref(zero), 1, &ace));

  // A count larger than the entries present runs into the end.
  Bytes counted = Acl({a}, 2, {}, 3);
  EXPECT_FALSE(GetAclInformation(Ref(counted), &info, sizeof info, AclSizeInformation));
  EXPECT_FALSE(GetAce(Ref(counted), 1, &ace));

  // Declared size below the header, or larger than the bytes handed over.
  Bytes tiny = Acl({}, 2, 7);
  EXPECT_FALSE(GetAclInformation(Ref(tiny), &info, sizeof info, AclSizeInformation));
  EXPECT_FALSE(GetAclInformation(PACL{acl.data(), static_cast<uint32_t>(acl.size() - 1)}, &info, sizeof info,
                                 AclSizeInformation));
  Bytes revision9 = Acl({}, 9);
  EXPECT_FALSE(GetAclInformation(Ref(revision9), &info, sizeof info, AclSizeInformation));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);

}

struct Lookup {
  bool ok = false;
  uint32_t error = 0;
  std::u16string name;
  std::u16string domain;
  uint32_t name_size = 0;
  uint32_t domain_size = 0;
  SID_NAME_USE use = SidTypeInvalid;
};

// Names `sid` as the product does: the system first, then the tool's own
// sources.
Lookup LookUp(const Bytes& sid, uint32_t name_room = 64, uint32_t domain_room = 64) {
  AccountNames names(PlatformLookupAccount);
  Lookup r;
  std::u16string name(64, u'#');
  std::u16string domain(64, u'#');
  r.name_size = name_room;
  r.domain_size = domain_room;
  r.ok = names.LookupAccountSidW(nullptr, Ref(sid), name.data(), &r.name_size, domain.data(), &r.domain_size,
                                 &r.use);
  r.error = r.ok ? 0 : GetLastError();
  if (r.ok) {
    r.name = name.c_str();
    r.domain = domain.c_str();
  }
  return r;
}

TEST(LookupAccountTest, TooSmallBuffersReportBothSizesNeeded) {
  // 48 units: longer than a first 32-unit buffer.
  const Bytes sid = Sid("S-1-5-114");
  const Lookup small = LookUp(sid, 32, 32);
  EXPECT_FALSE(small.ok);
  EXPECT_EQ(small.error, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(small.name_size, 49u);
  EXPECT_EQ(small.domain_size, 13u);
  EXPECT_EQ(LookUp(sid, 49, 12).error, ERROR_INSUFFICIENT_BUFFER);  // domain one unit short
  const Lookup exact = LookUp(sid, 49, 13);
  ASSERT_TRUE(exact.ok);
  EXPECT_EQ(exact.name, u"Local account and member of Administrators group");
  EXPECT_EQ(exact.name_size, 48u);
  // 31 units fit a 32-unit buffer with the terminator.
  EXPECT_TRUE(LookUp(Sid("S-1-5-32-574"), 32, 32).ok);
}

std::u16string Widen(const std::string& utf8_ascii) { return std::u16string(utf8_ascii.begin(), utf8_ascii.end()); }

TEST(WellKnownSidTableTest, HoldsExactlyTheRowsOfTheDataFile) {
  const std::string path = std::string(KEYSCOUT_SHARED_HIVES) + "/../data/well-known-sids.tsv";
  std::ifstream file(path);
  if (!file) GTEST_SKIP() << "no " << path;
  size_t count = 0;
  const WellKnownSid* table = WellKnownSidTable(&count);
  size_t row = 0;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string sid, domain, account, use;
    std::getline(fields, sid, '\t');
    std::getline(fields, domain, '\t');
    std::getline(fields, account, '\t');
    std::getline(fields, use, '\t');
    ASSERT_LT(row, count) << line;
    EXPECT_EQ(table[row].sid_text, Widen(sid));
    EXPECT_EQ(table[row].domain, Widen(domain));
    EXPECT_EQ(table[row].account, Widen(account));
    EXPECT_EQ(static_cast<uint32_t>(table[row].use), static_cast<uint32_t>(std::stoul(use))) << line;
    // And the lookup gives them for the SID itself, unless the system names
    // the SID on its own (Windows), whose answer then stands.
    const Bytes raw = Sid(sid);
    std::u16string system_domain;
    std::u16string system_name;
    uint32_t system_use = 0;
    SidBytes whole;
    std::copy(raw.begin(), raw.end(), whole.bytes);
    whole.length = static_cast<uint32_t>(raw.size());
    const bool named_by_system =
        PlatformLookupAccount(whole, &system_domain, &system_name, &system_use) == AccountLookup::kMapped;
    const Lookup found = LookUp(raw);
    ASSERT_TRUE(found.ok) << sid;
    EXPECT_EQ(found.name, named_by_system ? system_name : Widen(account));
    ++row;
  }
  EXPECT_EQ(row, count);
}

}  // namespace
}  // namespace keyscout
