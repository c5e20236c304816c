#include "security/sid.h"

#include <gtest/gtest.h>

#include "platform/account_lookup.h"
#include "security/account_names.h"
#include "support/sd_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::Sid;

PSID Ref(const Bytes& b) { return PSID{b.data(), static_cast<uint32_t>(b.size())}; }

HRESULT RaisedBy(auto&& action) {
  try {
    action();
  } catch (const CAtlException& e) {
    return e.hr();
  }
  return 0;
}

// An account service standing in for the platform's: it counts the calls and
// names one domain SID.
class WithFakeAccounts : public ::testing::Test {
 protected:
  int calls_ = 0;
  std::u16string name_;
  std::u16string domain_;
  AccountNames names_{[this](const SidBytes& sid, std::u16string* domain, std::u16string* name, uint32_t* use) {
    ++calls_;
    const Bytes known = Sid("S-1-5-21-7-8-9-1001");
    if (Bytes(sid.bytes, sid.bytes + sid.length) != known) return AccountLookup::kUnavailable;
    *domain = domain_;
    *name = name_;
    *use = SidTypeUser;
    return AccountLookup::kMapped;
  }};
};

// The names the product gives: the system's where it has them, else the
// table's.
class CSidTest : public ::testing::Test {
 protected:
  AccountNames names_{PlatformLookupAccount};
};

TEST_F(CSidTest, AssignRawRefusesNullAndInvalidSidsAndStaysEmpty) {
  CSid sid(names_);
  sid.AssignRaw(Ref(Sid("S-1-5-18")));
  EXPECT_EQ(sid.AccountText(), u"SYSTEM");
  EXPECT_EQ(RaisedBy([&] { sid.AssignRaw(PSID{}); }), E_INVALIDARG);
  EXPECT_FALSE(sid.IsValid());
  EXPECT_EQ(sid.NameUse(), SidTypeInvalid);
  EXPECT_EQ(sid.SidText(), u"");
  Bytes cut = Sid("S-1-5-21-1-2-3");
  EXPECT_EQ(RaisedBy([&] { sid.AssignRaw(PSID{cut.data(), 19}); }), E_INVALIDARG);
  EXPECT_FALSE(sid.IsValid());
}

TEST_F(CSidTest, TextsOfAWellKnownSid) {
  const Bytes bytes = Sid("S-1-5-32-544");
  CSid sid(names_);
  sid.AssignRaw(Ref(bytes));
  EXPECT_TRUE(sid.IsValid());
  EXPECT_EQ(sid.NameUse(), SidTypeUnknown);
  EXPECT_EQ(sid.SidText(), u"S-1-5-32-544");
  EXPECT_EQ(sid.AccountText(), u"Administrators");
  EXPECT_EQ(sid.DomainText(), u"BUILTIN");
  EXPECT_EQ(sid.NameUse(), SidTypeAlias);
  EXPECT_EQ(sid.Sid().size(), 16u);
  // Loading a SID again starts from empty texts.
  sid.AssignRaw(Ref(Sid("S-1-1-0")));
  EXPECT_EQ(sid.SidText(), u"S-1-1-0");
  EXPECT_EQ(sid.DomainText(), u"");
  EXPECT_EQ(sid.AccountText(), u"Everyone");
  // Table names longer than 31 units come through the second, sized lookup.
  sid.AssignRaw(Ref(Sid("S-1-15-2-2")));
  EXPECT_EQ(sid.AccountText(), u"ALL RESTRICTED APPLICATION PACKAGES");
  EXPECT_EQ(sid.DomainText(), u"APPLICATION PACKAGE AUTHORITY");
}

TEST_F(CSidTest, CopiesTakeTheSidAndTheCachedTexts) {
  CSid source(names_);
  source.AssignRaw(Ref(Sid("S-1-5-19")));
  EXPECT_EQ(source.AccountText(), u"LOCAL SERVICE");
  CSid copy(source);
  EXPECT_TRUE(copy.IsValid());
  EXPECT_EQ(copy.NameUse(), SidTypeWellKnownGroup);
  EXPECT_EQ(copy.AccountText(), u"LOCAL SERVICE");
  EXPECT_EQ(copy.SidText(), u"S-1-5-19");

  CSid target;
  target.AssignRaw(Ref(Sid("S-1-5-18")));
  target.AssignCopy(source);
  EXPECT_EQ(target.SidText(), u"S-1-5-19");
  Bytes copied(target.Sid().size());
  ASSERT_TRUE(target.Sid().Copy(0, copied.size(), copied));
  EXPECT_EQ(copied, Sid("S-1-5-19"));
  target.AssignCopy(target);
  EXPECT_EQ(target.SidText(), u"S-1-5-19");

  CSid empty;
  CSid copy_of_empty(empty);
  EXPECT_FALSE(copy_of_empty.IsValid());
  target.AssignCopy(empty);
  EXPECT_FALSE(target.IsValid());
}

TEST_F(CSidTest, TheNamingContextGoesWithCopiesAndStaysThroughAssignCopy) {
  const Bytes system = Sid("S-1-5-18");
  // Made as the ACL fill makes its trustees: without a context, it names
  // nothing, not even what the table holds.
  CSid trustee;
  trustee.AssignRaw(Ref(system));
  EXPECT_EQ(trustee.AccountText(), u"");
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  // The report's row takes the trustee's SID and keeps its own context.
  CSid row(names_);
  row.AssignCopy(trustee);
  EXPECT_EQ(row.AccountText(), u"SYSTEM");
  CSid copy(row);
  copy.AssignRaw(Ref(Sid("S-1-5-19")));
  EXPECT_EQ(copy.AccountText(), u"LOCAL SERVICE");
}

TEST_F(WithFakeAccounts, AnUnmappedSidIsLookedUpOnceForEachName) {
  CSid sid(names_);
  sid.AssignRaw(Ref(Sid("S-1-5-21-7-8-9-500")));
  EXPECT_EQ(sid.AccountText(), u"");
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(sid.DomainText(), u"");
  EXPECT_EQ(calls_, 2);
  EXPECT_EQ(sid.NameUse(), SidTypeUnknown);
  EXPECT_EQ(sid.SidText(), u"S-1-5-21-7-8-9-500");
}

TEST_F(WithFakeAccounts, AFortyUnitNameIsStoredWholeAfterTheSecondCall) {
  name_ = u"svc-backup-replication-agent-0123456789";
  name_ += u"X";
  ASSERT_EQ(name_.size(), 40u);
  domain_ = u"LAB";
  CSid sid(names_);
  sid.AssignRaw(Ref(Sid("S-1-5-21-7-8-9-1001")));
  EXPECT_EQ(sid.AccountText(), name_);
  EXPECT_EQ(calls_, 2);  // too small, then sized
  EXPECT_EQ(sid.DomainText(), u"LAB");
  EXPECT_EQ(calls_, 2);  // cached
  EXPECT_EQ(sid.NameUse(), SidTypeUser);

  // The same through a long domain name.
  calls_ = 0;
  name_ = u"jdoe";
  domain_ = std::u16string(40, u'D');
  sid.AssignRaw(Ref(Sid("S-1-5-21-7-8-9-1001")));
  EXPECT_EQ(sid.DomainText(), domain_);
  EXPECT_EQ(sid.AccountText(), u"jdoe");
  EXPECT_EQ(calls_, 2);
}

}  // namespace
}  // namespace keyscout
