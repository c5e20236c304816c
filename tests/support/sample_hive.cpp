#include "support/sample_hive.h"

#include <cstring>

namespace keyscout::test {

namespace {

Bytes Dword(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes Qword(uint64_t v) {
  Bytes out(8);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
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

}  // namespace

Bytes BuildSampleHive() {
  TreeKey session_manager = Leaf(u"Session Manager");
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
  root.children = {control_set, select, Leaf(u"MountedDevices"), Leaf(u"Setup"), names};
  root.children[2].values = {{u"\\DosDevices\\C:", 3, Pattern(12, 9)}};
  return BuildHive(root);
}

}  // namespace keyscout::test
