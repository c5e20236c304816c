#include "security/security_desc.h"

#include <gtest/gtest.h>

#include "support/sd_builder.h"

namespace keyscout {
namespace {

using test::Acl;
using test::Ace;
using test::Bytes;
using test::Descriptor;
using test::Guid;
using test::ObjectAce;
using test::SdSpec;
using test::Sid;

PSECURITY_DESCRIPTOR Ref(const Bytes& b) { return PSECURITY_DESCRIPTOR{b.data(), static_cast<uint32_t>(b.size())}; }

HRESULT RaisedBy(auto&& action) {
  try {
    action();
  } catch (const CAtlException& e) {
    return e.hr();
  }
  return 0;
}

GUID AsGuid(const Bytes& b) {
  GUID g;
  std::copy(b.begin(), b.end(), g.bytes);
  return g;
}

Bytes AceBytesOf(const CAcl::CAce& ace) { return Bytes(ace.AceBytes(), ace.AceBytes() + ace.AceByteLength()); }

// A descriptor holding only a DACL (or only a SACL) of `aces`.
Bytes WithDacl(const std::vector<Bytes>& aces) {
  SdSpec shape;
  shape.dacl = Acl(aces);
  return Descriptor(shape);
}
Bytes WithSacl(const std::vector<Bytes>& aces) {
  SdSpec shape;
  shape.sacl = Acl(aces);
  return Descriptor(shape);
}

TEST(LoadStoredTest, CopiesExactlyTheMeasuredLength) {
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  shape.dacl = Acl({Ace(0, 0, 0x20019, Sid("S-1-5-11"))});
  const Bytes sd = Descriptor(shape);
  Bytes stored = sd;
  stored.resize(sd.size() + 64, 0xCC);  // the rest of the cell
  CSecurityDesc desc;
  desc.LoadStored(Ref(stored));
  const PSECURITY_DESCRIPTOR copy = desc.DescriptorCopy();
  ASSERT_FALSE(copy.IsNull());
  EXPECT_FALSE(copy.StartsAt(stored.data()));
  Bytes copied(copy.size());
  ASSERT_TRUE(copy.Copy(0, copied.size(), copied));
  EXPECT_EQ(copied, sd);
  desc.FreeDescriptor();
  EXPECT_TRUE(desc.DescriptorCopy().IsNull());
}

TEST(LoadStoredTest, RefusesWhatItCannotCopyWhole) {
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  shape.dacl = Acl({Ace(0, 0, 1, Sid("S-1-1-0"))});
  const Bytes sd = Descriptor(shape);
  CSecurityDesc desc;
  // One byte short of the furthest part: nothing is copied.
  EXPECT_EQ(RaisedBy([&] { desc.LoadStored(PSECURITY_DESCRIPTOR{sd.data(), static_cast<uint32_t>(sd.size() - 1)}); }),
            E_INVALIDARG);
  EXPECT_TRUE(desc.DescriptorCopy().IsNull());
  EXPECT_EQ(RaisedBy([&] { desc.LoadStored(PSECURITY_DESCRIPTOR{}); }), E_INVALIDARG);

  SdSpec absolute = shape;
  absolute.self_relative = false;
  EXPECT_EQ(RaisedBy([&] { desc.LoadStored(Ref(Descriptor(absolute))); }), E_INVALIDARG);
  EXPECT_TRUE(desc.DescriptorCopy().IsNull());

  Bytes revision2 = sd;
  revision2[0] = 2;
  EXPECT_EQ(RaisedBy([&] { desc.LoadStored(Ref(revision2)); }), HResultFromWin32(ERROR_UNKNOWN_REVISION));
  EXPECT_TRUE(desc.DescriptorCopy().IsNull());

  // A DACL whose declared size runs far past the stored bytes.
  Bytes big_acl = sd;
  test::SetU16(big_acl, test::GetU32(sd, test::SD_DACL_FIELD) + 2, 0x4000);
  EXPECT_EQ(RaisedBy([&] { desc.LoadStored(Ref(big_acl)); }), E_INVALIDARG);
}

TEST(FillFromAclTest, DaclKeepsAccessTypesOnly) {
  const Bytes everyone = Sid("S-1-1-0");
  const Bytes callback = test::Concat({Ace(0x09, 0, 5, everyone), Bytes{'a', 'r', 't', 'x'}});
  Bytes callback_sized = callback;
  test::SetU16(callback_sized, 2, static_cast<uint16_t>(callback.size()));
  const Bytes sd = WithDacl({Ace(0x00, 0x02, 1, everyone), Ace(0x01, 0x00, 2, Sid("S-1-5-7")),
                            Ace(0x02, 0xC0, 3, everyone), ObjectAce(0x05, 0, 4, 0, {}, {}, everyone),
                            ObjectAce(0x06, 0x10, 6, 3, Guid(1), Guid(2), everyone), callback_sized});
  CSecurityDesc desc;
  desc.LoadStored(Ref(sd));
  CDacl dacl;
  ASSERT_TRUE(desc.ExtractDacl(dacl));
  ASSERT_EQ(dacl.AceCount(), 4u);
  const uint8_t types[] = {0x00, 0x01, 0x05, 0x06};
  const uint32_t masks[] = {1, 2, 4, 6};
  const uint8_t flags[] = {0x02, 0x00, 0x00, 0x10};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(dacl.AceAt(i).TypeCode(), types[i]) << i;
    EXPECT_EQ(dacl.AceAt(i).Mask(), masks[i]) << i;
    EXPECT_EQ(dacl.AceAt(i).Flags(), flags[i]) << i;
    EXPECT_EQ(dacl.AceAt(i).HasObjectTypes(), i >= 2) << i;
  }
  EXPECT_NE(dynamic_cast<const CDacl::CAccessObjectAce*>(&dacl.AceAt(2)), nullptr);
  EXPECT_EQ(dynamic_cast<const CDacl::CAccessObjectAce*>(&dacl.AceAt(1)), nullptr);
  EXPECT_EQ(RaisedBy([&] { dacl.AceAt(4); }), E_INVALIDARG);
  EXPECT_EQ(RaisedBy([&] { dacl.RemoveAceAt(4); }), E_INVALIDARG);
  EXPECT_EQ(dacl.Revision(), 2u);
  EXPECT_FALSE(dacl.IsNull());

  dacl.RemoveAceAt(1);
  ASSERT_EQ(dacl.AceCount(), 3u);
  EXPECT_EQ(dacl.AceAt(1).TypeCode(), 0x05);
}

TEST(FillFromAclTest, SaclKeepsAuditAndLabelEntriesAsAudits) {
  const Bytes sd = WithSacl({Ace(0x02, 0xC0, 0x10, Sid("S-1-1-0")), Ace(0x03, 0x80, 0x20, Sid("S-1-1-0")),
                            ObjectAce(0x07, 0x40, 0x30, 1, Guid(3), {}, Sid("S-1-5-18")),
                            Ace(0x11, 0x00, 0x1, Sid("S-1-16-4096"))});
  CSecurityDesc desc;
  desc.LoadStored(Ref(sd));
  CSacl sacl;
  ASSERT_TRUE(desc.ExtractSacl(sacl));
  ASSERT_EQ(sacl.AceCount(), 3u);
  EXPECT_EQ(sacl.AceAt(0).TypeCode(), 0x02);
  EXPECT_EQ(sacl.AceAt(1).TypeCode(), 0x07);
  EXPECT_EQ(sacl.AceAt(2).TypeCode(), 0x02);
  EXPECT_EQ(sacl.AceAt(2).Mask(), 0x1u);
  EXPECT_EQ(sacl.AceAt(1).ObjectTypeGuid(), AsGuid(Guid(3)));
  EXPECT_EQ(sacl.AceAt(1).InheritedTypeGuid(), GUID{});
  EXPECT_EQ(RaisedBy([&] { sacl.AceAt(3); }), E_INVALIDARG);
  // The audit flags stay as stored and give the success and failure flags.
  EXPECT_EQ(sacl.AceAt(0).Flags(), 0xC0);
  EXPECT_TRUE(sacl.AceAt(0).AuditsSuccess() && sacl.AceAt(0).AuditsFailure());
  EXPECT_EQ(sacl.AceAt(1).Flags(), 0x40);
  EXPECT_TRUE(sacl.AceAt(1).AuditsSuccess() && !sacl.AceAt(1).AuditsFailure());
  EXPECT_EQ(sacl.AceAt(2).Flags(), 0x00);
  EXPECT_FALSE(sacl.AceAt(2).AuditsSuccess() || sacl.AceAt(2).AuditsFailure());
  // The encoded form of an audit entry is the stored entry again.
  EXPECT_EQ(AceBytesOf(sacl.AceAt(0)), Ace(0x02, 0xC0, 0x10, Sid("S-1-1-0")));
}

TEST(FillFromAclTest, AFailureFlagAloneStaysAlone) {
  CSecurityDesc desc;
  desc.LoadStored(Ref(WithSacl({Ace(0x02, 0x80, 1, Sid("S-1-1-0"))})));
  CSacl sacl;
  ASSERT_TRUE(desc.ExtractSacl(sacl));
  EXPECT_EQ(sacl.AceAt(0).Flags(), 0x80);
  EXPECT_TRUE(sacl.AceAt(0).AuditsFailure());
  EXPECT_FALSE(sacl.AceAt(0).AuditsSuccess());
}

TEST(FillFromAclTest, ObjectLayoutsPlaceGuidsAndSidByTheirFlags) {
  struct Case {
    uint32_t object_flags;
    GUID object_type;
    GUID inherited_type;
    uint32_t sid_offset;
  };
  const Case cases[] = {{0, GUID{}, GUID{}, 12},
                        {1, AsGuid(Guid(1)), GUID{}, 28},
                        {2, GUID{}, AsGuid(Guid(2)), 28},
                        {3, AsGuid(Guid(1)), AsGuid(Guid(2)), 44}};
  for (const Case& c : cases) {
    const Bytes stored = ObjectAce(0x05, 0, 0x100, c.object_flags, Guid(1), Guid(2), Sid("S-1-5-32-545"));
    ASSERT_EQ(Bytes(stored.begin() + c.sid_offset, stored.begin() + c.sid_offset + 2), (Bytes{1, 2}));
    CSecurityDesc desc;
    desc.LoadStored(Ref(WithDacl({stored})));
    CDacl dacl;
    ASSERT_TRUE(desc.ExtractDacl(dacl));
    ASSERT_EQ(dacl.AceCount(), 1u);
    const auto& ace = dacl.AceAt(0);
    EXPECT_EQ(ace.ObjectTypeGuid(), c.object_type) << c.object_flags;
    EXPECT_EQ(ace.InheritedTypeGuid(), c.inherited_type) << c.object_flags;
    CSid trustee(ace.TrusteeSid());
    EXPECT_EQ(trustee.SidText(), u"S-1-5-32-545") << c.object_flags;
    // Encoding the entry again gives back the stored bytes.
    EXPECT_EQ(AceBytesOf(ace), stored) << c.object_flags;
  }
}

TEST(ExtractAclTest, NullAbsentAndEmptyAcls) {
  CSacl sacl;
  CDacl dacl;
  CSecurityDesc none;
  EXPECT_FALSE(none.ExtractSacl(sacl));
  EXPECT_FALSE(none.ExtractDacl(dacl));

  SdSpec null_both;
  null_both.sacl_present = true;
  null_both.dacl_present = true;
  CSecurityDesc desc;
  desc.LoadStored(Ref(Descriptor(null_both)));
  ASSERT_TRUE(desc.ExtractSacl(sacl));
  ASSERT_TRUE(desc.ExtractDacl(dacl));
  EXPECT_TRUE(sacl.IsNull());
  EXPECT_TRUE(dacl.IsNull());
  EXPECT_EQ(sacl.AceCount(), 0u);
  EXPECT_EQ(dacl.AceCount(), 0u);

  // Absent: the flag is cleared again and the entries go.
  SdSpec filled;
  filled.dacl = Acl({Ace(0, 0, 1, Sid("S-1-1-0"))});
  CSecurityDesc with_dacl;
  with_dacl.LoadStored(Ref(Descriptor(filled)));
  ASSERT_TRUE(with_dacl.ExtractDacl(dacl));
  EXPECT_EQ(dacl.AceCount(), 1u);
  ASSERT_TRUE(with_dacl.ExtractSacl(sacl));
  EXPECT_FALSE(sacl.IsNull());
  EXPECT_EQ(sacl.AceCount(), 0u);

  // A null DACL object filled again is no longer null.
  CDacl reused;
  ASSERT_TRUE(desc.ExtractDacl(reused));
  ASSERT_TRUE(reused.IsNull());
  ASSERT_TRUE(with_dacl.ExtractDacl(reused));
  EXPECT_FALSE(reused.IsNull());
  EXPECT_EQ(reused.AceCount(), 1u);

  SdSpec empty;
  empty.dacl = Acl({});
  CSecurityDesc with_empty;
  with_empty.LoadStored(Ref(Descriptor(empty)));
  ASSERT_TRUE(with_empty.ExtractDacl(dacl));
  EXPECT_FALSE(dacl.IsNull());
  EXPECT_EQ(dacl.AceCount(), 0u);
}

TEST(FillFromAclTest, DamagedEntriesRaiseAndKeepWhatCameBefore) {
  const Bytes good = Ace(0x00, 0, 1, Sid("S-1-1-0"));
  struct Case {
    const char* what;
    Bytes bad;
    HRESULT hr;
  };
  Bytes cut_sid = Sid("S-1-5-21-1-2-3");
  cut_sid.resize(cut_sid.size() - 4);  // its count still says four sub-authorities
  const Bytes sid_past_entry = Ace(0x00, 0, 2, cut_sid);
  Bytes bad_revision = Ace(0x01, 0, 2, Sid("S-1-5-18"));
  bad_revision[8] = 5;
  Bytes too_many_subs = Ace(0x00, 0, 2, Sid("S-1-5-18"));
  too_many_subs[9] = 16;
  Bytes guids_missing = ObjectAce(0x05, 0, 2, 0, {}, {}, Sid("S-1-1-0"));
  test::SetU32(guids_missing, 8, 3);  // claims two GUIDs the entry does not hold
  const Case cases[] = {
      {"SID runs past its entry", sid_past_entry, E_INVALIDARG},
      {"SID revision", bad_revision, E_INVALIDARG},
      {"sub-authority count", too_many_subs, E_INVALIDARG},
      {"entry too short for its mask", Bytes{0x00, 0, 4, 0}, E_INVALIDARG},
      {"GUIDs past the entry", guids_missing, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    CSecurityDesc desc;
    desc.LoadStored(Ref(WithDacl({good, c.bad, good})));
    CDacl dacl;
    EXPECT_EQ(RaisedBy([&] { desc.ExtractDacl(dacl); }), c.hr) << c.what;
    EXPECT_EQ(dacl.AceCount(), 1u) << c.what;
  }
  // A short entry of a type the DACL passes over is never read.
  CSecurityDesc desc;
  desc.LoadStored(Ref(WithDacl({good, Bytes{0x03, 0, 4, 0}, good})));
  CDacl dacl;
  ASSERT_TRUE(desc.ExtractDacl(dacl));
  EXPECT_EQ(dacl.AceCount(), 2u);
}

// Sort keys of an entry: inherited, allow, object.
std::string Keys(const CDacl& dacl) {
  std::string out;
  for (size_t i = 0; i < dacl.AceCount(); ++i) {
    const auto& ace = dacl.AceAt(i);
    out += (ace.Flags() & INHERITED_ACE) != 0 ? 'I' : 'E';
    out += ace.IsAllow() ? 'a' : 'd';
    out += ace.HasObjectTypes() ? 'o' : 'p';
    out += ' ';
  }
  return out;
}

void Fill(CDacl* dacl, const std::vector<Bytes>& aces) {
  CSecurityDesc desc;
  desc.LoadStored(Ref(WithDacl(aces)));
  if (!desc.ExtractDacl(*dacl)) ADD_FAILURE();
}

TEST(OrderAcesTest, ExplicitBeforeInheritedDenyBeforeAllowPlainBeforeObject) {
  const Bytes s = Sid("S-1-1-0");
  const Bytes ia = Ace(0x00, 0x10, 1, s);
  const Bytes ea = Ace(0x00, 0x00, 2, s);
  const Bytes ed = Ace(0x01, 0x00, 3, s);
  const Bytes id = Ace(0x01, 0x10, 4, s);
  const Bytes eao = ObjectAce(0x05, 0x00, 5, 0, {}, {}, s);
  const Bytes edo = ObjectAce(0x06, 0x00, 6, 1, Guid(1), {}, s);
  const Bytes iao = ObjectAce(0x05, 0x10, 7, 2, {}, Guid(2), s);
  // Fewer than five entries: one pass with gap 1.
  CDacl small;
  Fill(&small, {ia, eao, ea, ed});
  small.OrderAces();
  EXPECT_EQ(Keys(small), "Edp Eap Eao Iap ");
  EXPECT_EQ(small.AceAt(1).Mask(), 2u);

  CDacl mixed;
  Fill(&mixed, {ia, eao, iao, ea, id, edo, ed, ia, ea});
  mixed.OrderAces();
  EXPECT_EQ(Keys(mixed), "Edp Edo Eap Eap Eao Idp Iap Iap Iao ");

  // A long list exercises the larger gaps.
  std::vector<Bytes> many;
  const Bytes kinds[] = {ia, ea, ed, id, eao, edo, iao};
  for (int i = 0; i < 41; ++i) many.push_back(kinds[(i * 5 + 3) % 7]);
  CDacl large;
  Fill(&large, many);
  large.OrderAces();
  const std::string keys = Keys(large);
  std::string sorted_keys;
  for (const char* k : {"Edp ", "Edo ", "Eap ", "Eao ", "Idp ", "Iap ", "Iao "}) {
    for (size_t at = keys.find(k); at != std::string::npos; at = keys.find(k, at + 4)) sorted_keys += k;
  }
  EXPECT_EQ(keys, sorted_keys);
  EXPECT_EQ(large.AceCount(), 41u);

  // A SACL keeps its order.
  CSecurityDesc desc;
  desc.LoadStored(Ref(WithSacl({Ace(0x02, 0x10, 1, s), Ace(0x02, 0x00, 2, s)})));
  CSacl sacl;
  ASSERT_TRUE(desc.ExtractSacl(sacl));
  sacl.OrderAces();
  EXPECT_EQ(sacl.AceAt(0).Mask(), 1u);
}

}  // namespace
}  // namespace keyscout
