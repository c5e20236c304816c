// The -s report through the real entry point, compared to the byte.
#include "app/security_report.h"

#include <gtest/gtest.h>

#include "support/run_tool.h"
#include "support/sample_hive.h"
#include "support/sd_builder.h"

namespace keyscout {
namespace {

using test::Acl;
using test::Ace;
using test::Bytes;
using test::Descriptor;
using test::Guid;
using test::HiveBuilder;
using test::ObjectAce;
using test::RunWith;
using test::SdPart;
using test::SdSpec;
using test::Sid;

const char* const HEADER = "CLASS      SID\t       Domain&Account\t\tAccess\tType\tFlags\n";

// Everything the run prints before the report's first row.
std::string Head(const std::string& key_path = "ROOT") {
  return test::Preamble(key_path) + "=====================\nSecurity descriptor information : \n" + HEADER;
}

std::string Failed(const std::string& key_path = "ROOT") {
  return "Cannot read the security descriptor. (" + key_path + ")\n";
}

// A hive whose root key carries `descriptor`.
Bytes HiveWith(const Bytes& descriptor) {
  test::TreeKey root;
  root.name = u"ROOT";
  root.security = descriptor;
  return test::BuildHive(root);
}

test::RunResult Show(const Bytes& hive) { return RunWith(hive, {"-f", "h", "-s"}); }

const std::string OWNER_ADMINS = "Owner    : S-1-5-32-544    BUILTIN\\Administrators\n";
const std::string GROUP_SYSTEM = "Group    : S-1-5-18    NT AUTHORITY\\SYSTEM\n";

SdSpec AdminsAndSystem() {
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  shape.group = Sid("S-1-5-18");
  return shape;
}

TEST(SecurityReportTest, OwnerGroupAndTwoAllowedEntries) {
  SdSpec shape = AdminsAndSystem();
  shape.dacl = Acl({Ace(0x00, 0x02, 0x000F003F, Sid("S-1-5-32-544")), Ace(0x00, 0x12, 0x00020019, Sid("S-1-5-32-545"))});
  const test::RunResult r = Show(HiveWith(Descriptor(shape)));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, Head() + OWNER_ADMINS + GROUP_SYSTEM +
                       "DACL ACE : S-1-5-32-544    BUILTIN\\Administrators 000F003F 00 02\n"
                       "DACL ACE : S-1-5-32-545    BUILTIN\\Users 00020019 00 12\n");
}

TEST(SecurityReportTest, AccessEntriesOfEveryKindInStoredOrder) {
  SdSpec shape = AdminsAndSystem();
  shape.dacl = Acl({Ace(0x00, 0x00, 0x1, Sid("S-1-1-0")), Ace(0x01, 0x03, 0x2, Sid("S-1-5-7")),
                   ObjectAce(0x05, 0x10, 0x3, 1, Guid(1), {}, Sid("S-1-5-11")),
                   ObjectAce(0x06, 0x0B, 0x4, 3, Guid(1), Guid(2), Sid("S-1-3-0"))});
  EXPECT_EQ(Show(HiveWith(Descriptor(shape))).out,
            Head() + OWNER_ADMINS + GROUP_SYSTEM +
                "DACL ACE : S-1-1-0    \\Everyone 00000001 00 00\n"
                "DACL ACE : S-1-5-7    NT AUTHORITY\\ANONYMOUS LOGON 00000002 01 03\n"
                "DACL ACE : S-1-5-11    NT AUTHORITY\\Authenticated Users 00000003 05 10\n"
                "DACL ACE : S-1-3-0    \\CREATOR OWNER 00000004 06 0B\n");
}

TEST(SecurityReportTest, SaclShowsAuditsAndLabelsAsAuditsAndPassesOverAlarms) {
  SdSpec shape = AdminsAndSystem();
  shape.sacl = Acl({Ace(0x02, 0xC0, 0x000D0016, Sid("S-1-1-0")), Ace(0x11, 0x00, 0x1, Sid("S-1-16-12288")),
                   Ace(0x03, 0x80, 0x1, Sid("S-1-1-0"))});
  shape.dacl = Acl({Ace(0x00, 0x00, 0x000F003F, Sid("S-1-5-18"))});
  EXPECT_EQ(Show(HiveWith(Descriptor(shape))).out,
            Head() + OWNER_ADMINS + GROUP_SYSTEM +
                "SACL ACE : S-1-1-0    \\Everyone 000D0016 02 C0\n"
                "SACL ACE : S-1-16-12288    Mandatory Label\\High Mandatory Level 00000001 02 00\n"
                "DACL ACE : S-1-5-18    NT AUTHORITY\\SYSTEM 000F003F 00 00\n");
}

TEST(SecurityReportTest, AnEntryOfAnotherTypeIsPassedOver) {
  SdSpec shape = AdminsAndSystem();
  shape.dacl = Acl({Ace(0x00, 0, 0x1, Sid("S-1-1-0")), Ace(0x09, 0, 0x2, Sid("S-1-1-0")),
                   Ace(0x00, 0, 0x3, Sid("S-1-5-18"))});
  EXPECT_EQ(Show(HiveWith(Descriptor(shape))).out, Head() + OWNER_ADMINS + GROUP_SYSTEM +
                                                      "DACL ACE : S-1-1-0    \\Everyone 00000001 00 00\n"
                                                      "DACL ACE : S-1-5-18    NT AUTHORITY\\SYSTEM 00000003 00 00\n");
}

TEST(SecurityReportTest, NullEmptyAndAbsentAclsPrintNoRows) {
  SdSpec null_dacl = AdminsAndSystem();
  null_dacl.dacl_present = true;
  null_dacl.sacl_present = true;
  SdSpec empty_dacl = AdminsAndSystem();
  empty_dacl.dacl = Acl({});
  SdSpec absent = AdminsAndSystem();
  absent.dacl = Acl({Ace(0x00, 0, 0x1, Sid("S-1-1-0"))});
  absent.dacl_present = false;  // the bytes are there, the bit is not
  for (const SdSpec& shape : {null_dacl, empty_dacl, absent}) {
    const test::RunResult r = Show(HiveWith(Descriptor(shape)));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, Head() + OWNER_ADMINS + GROUP_SYSTEM);
  }
}

TEST(SecurityReportTest, SaclRowsComeFirstWhateverTheStoredOrder) {
  SdSpec shape = AdminsAndSystem();
  shape.sacl = Acl({Ace(0x02, 0x80, 0x2, Sid("S-1-1-0"))});
  shape.dacl = Acl({Ace(0x00, 0, 0x1, Sid("S-1-1-0"))});
  const std::string want = Head() + OWNER_ADMINS + GROUP_SYSTEM + "SACL ACE : S-1-1-0    \\Everyone 00000002 02 80\n" +
                           "DACL ACE : S-1-1-0    \\Everyone 00000001 00 00\n";
  for (const std::vector<SdPart>& order :
       {std::vector<SdPart>{SdPart::kDacl, SdPart::kSacl, SdPart::kGroup, SdPart::kOwner},
        std::vector<SdPart>{SdPart::kOwner, SdPart::kGroup, SdPart::kDacl, SdPart::kSacl},
        std::vector<SdPart>{SdPart::kSacl, SdPart::kDacl, SdPart::kOwner, SdPart::kGroup}}) {
    shape.order = order;
    EXPECT_EQ(Show(HiveWith(Descriptor(shape))).out, want);
  }
}

TEST(SecurityReportTest, UnmappedSidsLongNamesAndLargeAuthorities) {
  SdSpec shape;
  shape.owner = Sid("S-1-5-21-1004336348-1177238915-682003330-500");
  shape.group = Sid("S-1-0x123456789abc-7");
  shape.dacl = Acl({Ace(0x00, 0, 0x1, Sid("S-1-5-21-1004336348-1177238915-682003330-1001")),
                   Ace(0x00, 0, 0x2, Sid("S-1-5-114"))});
  EXPECT_EQ(Show(HiveWith(Descriptor(shape))).out,
            Head() + "Owner    : S-1-5-21-1004336348-1177238915-682003330-500    \\\n" +
                "Group    : S-1-0x123456789abc-7    \\\n" +
                "DACL ACE : S-1-5-21-1004336348-1177238915-682003330-1001    \\ 00000001 00 00\n" +
                "DACL ACE : S-1-5-114    NT AUTHORITY\\Local account and member of Administrators group "
                "00000002 00 00\n");
}

TEST(SecurityReportTest, AZeroOwnerEndsTheRunAfterTheHeader) {
  SdSpec shape;
  shape.group = Sid("S-1-5-18");
  shape.dacl = Acl({Ace(0x00, 0, 0x1, Sid("S-1-1-0"))});
  const Bytes hive = HiveWith(Descriptor(shape));
  const test::RunResult r = Show(hive);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, Head() + Failed());
  // No later report runs; the key path is named as typed.
  const test::RunResult keyed = RunWith(hive, {"-f", "h", "-k", "\\", "-s", "-l", "-e"});
  EXPECT_EQ(keyed.code, 1);
  EXPECT_EQ(keyed.out, Head("\\") + Failed("\\"));
}

TEST(SecurityReportTest, RowsPrintedBeforeAFailureStay) {
  SdSpec shape = AdminsAndSystem();
  Bytes bad_sid = Sid("S-1-5-18");
  bad_sid[0] = 4;  // revision
  shape.dacl = Acl({Ace(0x00, 0, 0x1, Sid("S-1-1-0")), Ace(0x00, 0, 0x1, bad_sid)});
  const test::RunResult r = Show(HiveWith(Descriptor(shape)));
  EXPECT_EQ(r.code, 1);
  // The DACL is filled whole before its rows print, so none of them shows.
  EXPECT_EQ(r.out, Head() + OWNER_ADMINS + GROUP_SYSTEM + Failed());
}

// Service SIDs worked out apart from this code: a name in no list, and one
// of the compiled names.
const std::string PROBE_SERVICE = "S-1-5-80-3378286936-537505594-255453772-1710593570-3798460476";
const std::string WDI_SERVICE_HOST = "S-1-5-80-3139157870-2983391045-3678747466-658725712-1809340420";

// Runs on every platform, and under Wine with the system asked first: the
// names of the hive's services, and of the newer well-known SIDs, come out
// the same there.
TEST(SecurityReportTest, ServiceSidsAreNamedFromTheHiveOwnServicesFirst) {
  SdSpec shape = AdminsAndSystem();
  shape.dacl = Acl({Ace(0x00, 0, 0x1, Sid(PROBE_SERVICE)), Ace(0x00, 0, 0x2, Sid(WDI_SERVICE_HOST)),
                   Ace(0x00, 0, 0x3, Sid("S-1-5-32-581")), Ace(0x00, 0, 0x4, Sid("S-1-5-90-0"))});
  test::TreeKey root{.name = u"ROOT", .security = Descriptor(shape)};
  // The list spells the second one WdiServiceHost; the hive's spelling wins.
  for (const char16_t* set : {u"ControlSet001", u"ControlSet002"}) {
    const char16_t* service = root.children.empty() ? u"wdiservicehost" : u"KeyscoutProbeService";
    root.children.push_back({.name = set, .children = {{.name = u"Services", .children = {{.name = service}}}}});
  }
  const test::RunResult r = Show(test::BuildHive(root));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, Head() + OWNER_ADMINS + GROUP_SYSTEM + "DACL ACE : " + PROBE_SERVICE +
                       "    NT SERVICE\\KeyscoutProbeService 00000001 00 00\n"
                       "DACL ACE : " + WDI_SERVICE_HOST + "    NT SERVICE\\wdiservicehost 00000002 00 00\n"
                       "DACL ACE : S-1-5-32-581    BUILTIN\\System Managed Accounts Group 00000003 00 00\n"
                       "DACL ACE : S-1-5-90-0    Window Manager\\Window Manager Group 00000004 00 00\n");
}

TEST(SecurityReportTest, ADamagedServicesKeyGivesNoNamesAndTheReportStands) {
  // ROOT\ControlSet001\Services\KeyscoutProbeService, built by hand to be
  // damaged in one place at a time.
  SdSpec shape = AdminsAndSystem();
  shape.dacl = Acl({Ace(0x00, 0, 0x1, Sid(PROBE_SERVICE)), Ace(0x00, 0, 0x2, Sid(WDI_SERVICE_HOST))});
  enum Damage { kNone, kServicesNode, kServicesList, kServiceNode };
  for (const Damage damage : {kNone, kServicesNode, kServicesList, kServiceNode}) {
    HiveBuilder b;
    const uint32_t sd = b.Security(Descriptor(shape));
    const uint32_t probe = b.Key({.name = u"KeyscoutProbeService", .security = sd});
    const uint32_t list = b.LeafList("lh", {probe});
    const uint32_t services = b.Key({.name = u"Services", .stable_count = 1, .stable_list = list, .security = sd});
    const uint32_t set = b.Key(
        {.name = u"ControlSet001", .stable_count = 1, .stable_list = b.LeafList("lh", {services}), .security = sd});
    b.SetRoot(b.Key({.name = u"ROOT", .stable_count = 1, .stable_list = b.LeafList("lh", {set}), .security = sd}));
    if (damage == kServicesNode) b.PatchCellU16(services, 4, 0x7878);
    if (damage == kServicesList) b.PatchCellU16(list, 4, 0x7878);
    if (damage == kServiceNode) b.PatchCellU16(probe, 4, 0x7878);
    const test::RunResult r = Show(b.Finish());
    EXPECT_EQ(r.code, 0) << damage;
    // WdiServiceHost still comes from the compiled names.
    const std::string probe_name = damage == kNone ? "NT SERVICE\\KeyscoutProbeService" : "\\";
    EXPECT_EQ(r.out, Head() + OWNER_ADMINS + GROUP_SYSTEM + "DACL ACE : " + PROBE_SERVICE + "    " + probe_name +
                         " 00000001 00 00\nDACL ACE : " + WDI_SERVICE_HOST +
                         "    NT SERVICE\\WdiServiceHost 00000002 00 00\n")
        << damage;
  }
}

// A hive whose root key's security cell holds `descriptor` and has a size
// field `size_field_delta` bytes off the exact fit (marked free on request),
// built by hand so the cell can be damaged.
Bytes RootWithSecurityCell(const Bytes& descriptor, int32_t size_field_delta, bool free_cell = false) {
  HiveBuilder b;
  const uint32_t cell = b.Security(descriptor);
  const uint32_t exact = 0x18 + static_cast<uint32_t>(descriptor.size());
  const int32_t size = static_cast<int32_t>(exact) + size_field_delta;
  b.PatchCellU32(cell, 0, static_cast<uint32_t>(free_cell ? size : -size));
  test::KeySpec root;
  root.name = u"ROOT";
  root.security = cell;
  b.SetRoot(b.Key(root));
  return b.Finish();
}

TEST(SecurityReportTest, TheDescriptorMustLieInsideItsCell) {
  SdSpec shape = AdminsAndSystem();
  const Bytes sd = Descriptor(shape);
  const std::string rows = OWNER_ADMINS + GROUP_SYSTEM;
  EXPECT_EQ(Show(RootWithSecurityCell(sd, 0)).out, Head() + rows);
  const test::RunResult short_cell = Show(RootWithSecurityCell(sd, -1));
  EXPECT_EQ(short_cell.code, 1);
  EXPECT_EQ(short_cell.out, Head() + Failed());
  EXPECT_EQ(Show(RootWithSecurityCell(sd, -static_cast<int32_t>(sd.size()) - 0x18)).out, Head() + Failed());
  // A cell marked free is measured by its size all the same.
  EXPECT_EQ(Show(RootWithSecurityCell(sd, 0, true)).out, Head() + rows);
}

TEST(SecurityReportTest, SecurityFieldsThatLeadNowhere) {
  for (const uint32_t index : {0xFFFFFFFFu, 0x7FFFFFF0u, 0xFFFFFFE8u}) {
    HiveBuilder b;
    test::KeySpec root;
    root.name = u"ROOT";
    root.security = index;
    b.SetRoot(b.Key(root));
    const test::RunResult r = Show(b.Finish());
    EXPECT_EQ(r.code, 1) << index;
    EXPECT_EQ(r.out, Head() + Failed()) << index;
  }
  // The security cell is the last thing in the file and the file ends inside
  // its descriptor.
  SdSpec shape = AdminsAndSystem();
  HiveBuilder b;
  test::KeySpec root;
  root.name = u"ROOT";
  root.security = 0x100;
  b.SetRoot(b.Key(root));
  b.RawCell(0x100, -0x100, test::Concat({Bytes(0x14, 0), Descriptor(shape)}));
  Bytes cut = b.Finish();
  cut.resize(0x1000 + 0x100 + 0x18 + 24);
  EXPECT_EQ(Show(cut).out, Head() + Failed());
}

TEST(SecurityReportTest, DamagedDescriptorsNeverReadOutsideTheirBytes) {
  // Every field of a full descriptor set to values at and around its bounds.
  // AddressSanitizer watches the exact-size hive and the exact-size copy; the
  // run must end cleanly with rows or the failure message.
  SdSpec shape = AdminsAndSystem();
  shape.sacl = Acl({Ace(0x02, 0xC0, 0x1, Sid("S-1-1-0")), ObjectAce(0x07, 0x40, 0x2, 3, Guid(1), Guid(2), Sid("S-1-5-18"))});
  shape.dacl = Acl({Ace(0x00, 0x02, 0x3, Sid("S-1-5-21-1-2-3-4")), ObjectAce(0x05, 0, 0x4, 2, {}, Guid(3), Sid("S-1-1-0")),
                   Ace(0x01, 0, 0x5, Sid("S-1-5-32-544"))});
  const Bytes sd = Descriptor(shape);
  const uint32_t values[] = {0, 1, 2, 3, 4, 7, 8, 15, 16, 19, 20, 0x7F, 0x80, 0xFF, 0xFFFF, 0xFFFFFFFF,
                             static_cast<uint32_t>(sd.size() - 1), static_cast<uint32_t>(sd.size())};
  size_t runs = 0;
  for (size_t at = 0; at < sd.size(); ++at) {
    for (uint32_t v : values) {
      Bytes damaged = sd;
      damaged[at] = static_cast<uint8_t>(v);
      if (at + 1 < damaged.size() && v > 0xFF) damaged[at + 1] = static_cast<uint8_t>(v >> 8);
      if (at + 3 < damaged.size() && v > 0xFFFF) test::SetU32(damaged, at, v);
      // Both a snug cell and a cell with room to spare after the descriptor.
      for (int32_t slack : {0, 64}) {
        const test::RunResult r = Show(RootWithSecurityCell(damaged, slack));
        ++runs;
        ASSERT_EQ(r.out.substr(0, Head().size()), Head()) << at << " " << v;
        // Exit code 1 exactly when the run says the descriptor failed, 0
        // otherwise.
        const bool failed = r.out.size() >= Failed().size() &&
                            r.out.compare(r.out.size() - Failed().size(), Failed().size(), Failed()) == 0;
        ASSERT_EQ(r.code, failed ? 1 : 0) << at << " " << v;
      }
    }
  }
  EXPECT_GT(runs, 1000u);
}

TEST(SecurityReportTest, SampleHiveShowsRealisticDescriptors) {
  const Bytes hive = test::BuildSampleHive();
  const std::string root_rows = OWNER_ADMINS + GROUP_SYSTEM +
                                "DACL ACE : S-1-5-21-3623811015-3361044348-30300820-1013    \\ 00010000 01 02\n"
                                "DACL ACE : S-1-5-32-544    BUILTIN\\Administrators 000F003F 00 02\n"
                                "DACL ACE : S-1-5-18    NT AUTHORITY\\SYSTEM 000F003F 00 02\n"
                                "DACL ACE : S-1-3-0    \\CREATOR OWNER 10000000 00 0A\n"
                                "DACL ACE : S-1-5-32-545    BUILTIN\\Users 00020019 00 02\n"
                                "DACL ACE : S-1-5-21-3623811015-3361044348-30300820-512    \\ 00000100 05 02\n"
                                "DACL ACE : S-1-15-2-1    APPLICATION PACKAGE AUTHORITY\\ALL APPLICATION PACKAGES "
                                "00020019 00 02\n";
  const test::RunResult root = Show(hive);
  EXPECT_EQ(root.code, 0);
  EXPECT_EQ(root.out, Head() + root_rows);
  EXPECT_EQ(RunWith(hive, {"-f", "h", "-k", "ControlSet001", "-s"}).out, Head("ControlSet001") + root_rows);

  const std::string path = "ControlSet001\\Control\\Session Manager";
  const test::RunResult session = RunWith(hive, {"-f", "h", "-k", path, "-s"});
  EXPECT_EQ(session.code, 0);
  EXPECT_EQ(session.out,
            Head(path) + OWNER_ADMINS + GROUP_SYSTEM +
                "SACL ACE : S-1-1-0    \\Everyone 000D0016 02 C0\n"
                "SACL ACE : S-1-16-16384    Mandatory Label\\System Mandatory Level 00000001 02 00\n"
                "DACL ACE : S-1-5-21-3623811015-3361044348-30300820-1013    \\ 00000006 01 00\n"
                "DACL ACE : S-1-5-32-544    BUILTIN\\Administrators 000F003F 00 12\n"
                "DACL ACE : S-1-5-18    NT AUTHORITY\\SYSTEM 000F003F 00 12\n"
                "DACL ACE : S-1-5-21-3623811015-3361044348-30300820-1001    \\ 00000100 05 00\n"
                "DACL ACE : S-1-5-32-545    BUILTIN\\Users 00020019 00 12\n");
}

}  // namespace
}  // namespace keyscout
