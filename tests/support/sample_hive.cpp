#include "support/sample_hive.h"

#include <cstring>

#include "support/sd_builder.h"

namespace keyscout::test {

namespace {

Bytes Dword(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes Qword(uint64_t v) {
  Bytes out(8);
  for (size_t i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
  return out;
}

// REG_SZ / REG_EXPAND_SZ data: UTF-16LE with its terminator.
Bytes Sz(const std::u16string& s) {
  Bytes out = Utf16Le(s);
  out.push_back(0);
  out.push_back(0);
  return out;
}

// REG_MULTI_SZ data: each string terminated, then one more terminator.
Bytes MultiSz(const std::vector<std::u16string>& items) {
  Bytes out;
  for (const std::u16string& s : items) {
    const Bytes one = Sz(s);
    out.insert(out.end(), one.begin(), one.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

TreeKey Leaf(const std::u16string& name) { return TreeKey{name, {}, {}, {}, {}, 0, "lh"}; }

// Security descriptors as a Windows system stores them for its registry:
// owner BUILTIN\Administrators, group NT AUTHORITY\SYSTEM, and entries for
// well-known and domain accounts.
const char* const DOMAIN_USER = "S-1-5-21-3623811015-3361044348-30300820-1013";
const char* const DOMAIN_ADMINS = "S-1-5-21-3623811015-3361044348-30300820-512";
const char* const DOMAIN_OPERATOR = "S-1-5-21-3623811015-3361044348-30300820-1001";

// The stored bytes of {00299570-246d-11d0-a768-00aa006e0529}.
Bytes ExtendedRightGuid() {
  return {0x70, 0x95, 0x29, 0x00, 0x6d, 0x24, 0xd0, 0x11, 0xa7, 0x68, 0x00, 0xaa, 0x00, 0x6e, 0x05, 0x29};
}

// The root's descriptor, which ControlSet001 and the keys below it share.
Bytes RootDescriptor() {
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  shape.group = Sid("S-1-5-18");
  shape.dacl = Acl({
      Ace(0x01, 0x02, 0x00010000, Sid(DOMAIN_USER)),  // deny DELETE, container inherit
      Ace(0x00, 0x02, 0x000F003F, Sid("S-1-5-32-544")),
      Ace(0x00, 0x02, 0x000F003F, Sid("S-1-5-18")),
      Ace(0x00, 0x0A, 0x10000000, Sid("S-1-3-0")),  // GENERIC_ALL, inherit only
      Ace(0x00, 0x02, 0x00020019, Sid("S-1-5-32-545")),
      ObjectAce(0x05, 0x02, 0x00000100, 1, ExtendedRightGuid(), {}, Sid(DOMAIN_ADMINS)),
      Ace(0x00, 0x02, 0x00020019, Sid("S-1-15-2-1")),
  });
  return Descriptor(shape);
}

// Session Manager's own descriptor: audited, labelled, and with entries
// inherited from above.
Bytes SessionManagerDescriptor() {
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  shape.group = Sid("S-1-5-18");
  shape.sacl = Acl({
      Ace(0x02, 0xC0, 0x000D0016, Sid("S-1-1-0")),  // audit writes, success and failure
      Ace(0x11, 0x00, 0x00000001, Sid("S-1-16-16384")),  // system integrity, no write up
  });
  shape.dacl = Acl({
      Ace(0x01, 0x00, 0x00000006, Sid(DOMAIN_USER)),  // deny set value, create subkey
      Ace(0x00, 0x12, 0x000F003F, Sid("S-1-5-32-544")),
      Ace(0x00, 0x12, 0x000F003F, Sid("S-1-5-18")),
      ObjectAce(0x05, 0x00, 0x00000100, 1, ExtendedRightGuid(), {}, Sid(DOMAIN_OPERATOR)),
      Ace(0x00, 0x12, 0x00020019, Sid("S-1-5-32-545")),
  });
  return Descriptor(shape);
}

}  // namespace

Bytes BuildSampleHive() {
  TreeKey session_manager = Leaf(u"Session Manager");
  session_manager.security = SessionManagerDescriptor();
  session_manager.values = {
      {u"", 1, Sz(u"mnmsrvc")},
      {u"BootExecute", 7, MultiSz({u"autocheck autochk *"})},
      {u"CriticalSectionTimeout", 1, Sz(u"2592000")},
      {u"GlobalFlag", 4, Dword(0)},
      {u"ProtectionMode", 4, Dword(1)},
      {u"SystemDirectory", 2, Sz(u"%SystemRoot%\\system32")},
      {u"ExcludeFromKnownDlls", 7, MultiSz({})},
      {u"ResourcePolicy", 3, Pattern(20000, 7)},  // big data: two segments
      {u"HeapDeCommitFreeBlockThreshold", 5, {0x00, 0x04, 0x00, 0x00}},
      {u"SymbolicLinkValue", 6, Utf16Le(u"\\Registry\\Machine\\System\\ControlSet001")},
      {u"ResourceMap", 8, Pattern(48, 3)},
      {u"Configuration Data", 9, Pattern(40, 4)},
      {u"Requirements", 10, Pattern(72, 5)},
      {u"LastBootTime", 11, Qword(0x01DB4E5A12345678ull)},
      {u"Placeholder", 0, {}},
      {u"Vendor\u00E9Flag", 4, Dword(0xE9)},
      {u"\u041A\u043B\u044E\u0447", 1, Sz(u"\u0417\u043D\u0430\u0447\u0435\u043D\u0438\u0435")},
      {u"Unknown Type", 0x20000, Dword(7)},
  };
  session_manager.children = {Leaf(u"Environment"), Leaf(u"Memory Management"), Leaf(u"kernel"),
                              Leaf(u"Power"), Leaf(u"_Deferred")};
  session_manager.children[0].values = {{u"Path", 2, Sz(u"%SystemRoot%\\system32;%SystemRoot%")},
                                        {u"NUMBER_OF_PROCESSORS", 1, Sz(u"2")}};
  session_manager.children[1].values = {{u"PagingFiles", 7, MultiSz({u"?:\\pagefile.sys"})},
                                        {u"ClearPageFileAtShutdown", 4, Dword(0)}};

  TreeKey control = Leaf(u"Control");
  control.children = {session_manager, Leaf(u"Lsa"), Leaf(u"ComputerName"), Leaf(u"TimeZoneInformation")};
  control.children[2].values = {{u"ComputerName", 1, Sz(u"FORENSIC-WS01")}};

  // Enough services that their list is an "ri" over several "lh" leaves.
  TreeKey services = Leaf(u"Services");
  services.leaf_size = 8;
  for (const char16_t* name :
       {u"ACPI", u"AFD", u"BFE", u"BITS", u"Browser", u"CryptSvc", u"Dhcp", u"Dnscache", u"EventLog",
        u"FontCache", u"Fs_Rec", u"gpsvc", u"HTTP", u"iphlpsvc", u"KeyIso", u"LanmanServer",
        u"LanmanWorkstation", u"mpssvc", u"Netlogon", u"NlaSvc", u"nsi", u"PlugPlay", u"Power",
        u"RpcSs", u"SamSs", u"Schedule", u"SENS", u"Tcpip", u"W32Time", u"WinDefend", u"Winmgmt",
        u"wuauserv", u"_svc_test", u"[bracketed]"}) {
    services.children.push_back(Leaf(name));
  }
  services.children[0].values = {{u"Start", 4, Dword(0)}, {u"Type", 4, Dword(1)},
                                 {u"ImagePath", 2, Sz(u"System32\\drivers\\ACPI.sys")}};

  TreeKey control_set = Leaf(u"ControlSet001");
  control_set.children = {control, services, Leaf(u"Enum"), Leaf(u"Hardware Profiles")};

  TreeKey select = Leaf(u"Select");
  select.values = {{u"Current", 4, Dword(1)}, {u"Default", 4, Dword(1)}, {u"LastKnownGood", 4, Dword(1)}};

  TreeKey names = Leaf(u"Names");
  names.children = {Leaf(u"Caf\u00E9"), Leaf(u"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC"),
                    Leaf(u"Plain")};
  // Keys that exist only while the system runs hang off the volatile list.
  names.volatile_children = {Leaf(u"VolatileSession")};

  TreeKey root = Leaf(u"ROOT");
  root.security = RootDescriptor();
  root.children = {control_set, select, Leaf(u"MountedDevices"), Leaf(u"Setup"), names};
  root.children[2].values = {{u"\\DosDevices\\C:", 3, Pattern(12, 9)}};
  return BuildHive(root);
}

}  // namespace keyscout::test
