#include "security/well_known_sids.h"

#include <iterator>

namespace keyscout {

namespace {

// Names longer than 31 units (several below) do not fit the first lookup's
// buffers; they come back through the second, sized call.
constexpr WellKnownSid WELL_KNOWN_SIDS[] = {
    {u"S-1-0-0", u"", u"NULL SID", SidTypeWellKnownGroup},
    {u"S-1-1-0", u"", u"Everyone", SidTypeWellKnownGroup},
    {u"S-1-2-0", u"", u"LOCAL", SidTypeWellKnownGroup},
    {u"S-1-2-1", u"", u"CONSOLE LOGON", SidTypeWellKnownGroup},
    {u"S-1-3-0", u"", u"CREATOR OWNER", SidTypeWellKnownGroup},
    {u"S-1-3-1", u"", u"CREATOR GROUP", SidTypeWellKnownGroup},
    {u"S-1-3-2", u"", u"CREATOR OWNER SERVER", SidTypeWellKnownGroup},
    {u"S-1-3-3", u"", u"CREATOR GROUP SERVER", SidTypeWellKnownGroup},
    {u"S-1-3-4", u"", u"OWNER RIGHTS", SidTypeWellKnownGroup},
    {u"S-1-5-1", u"NT AUTHORITY", u"DIALUP", SidTypeWellKnownGroup},
    {u"S-1-5-2", u"NT AUTHORITY", u"NETWORK", SidTypeWellKnownGroup},
    {u"S-1-5-3", u"NT AUTHORITY", u"BATCH", SidTypeWellKnownGroup},
    {u"S-1-5-4", u"NT AUTHORITY", u"INTERACTIVE", SidTypeWellKnownGroup},
    {u"S-1-5-6", u"NT AUTHORITY", u"SERVICE", SidTypeWellKnownGroup},
    {u"S-1-5-7", u"NT AUTHORITY", u"ANONYMOUS LOGON", SidTypeWellKnownGroup},
    {u"S-1-5-8", u"NT AUTHORITY", u"PROXY", SidTypeWellKnownGroup},
    {u"S-1-5-9", u"NT AUTHORITY", u"ENTERPRISE DOMAIN CONTROLLERS", SidTypeWellKnownGroup},
    {u"S-1-5-10", u"NT AUTHORITY", u"SELF", SidTypeWellKnownGroup},
    {u"S-1-5-11", u"NT AUTHORITY", u"Authenticated Users", SidTypeWellKnownGroup},
    {u"S-1-5-12", u"NT AUTHORITY", u"RESTRICTED", SidTypeWellKnownGroup},
    {u"S-1-5-13", u"NT AUTHORITY", u"TERMINAL SERVER USER", SidTypeWellKnownGroup},
    {u"S-1-5-14", u"NT AUTHORITY", u"REMOTE INTERACTIVE LOGON", SidTypeWellKnownGroup},
    {u"S-1-5-15", u"NT AUTHORITY", u"This Organization", SidTypeWellKnownGroup},
    {u"S-1-5-17", u"NT AUTHORITY", u"IUSR", SidTypeWellKnownGroup},
    {u"S-1-5-18", u"NT AUTHORITY", u"SYSTEM", SidTypeWellKnownGroup},
    {u"S-1-5-19", u"NT AUTHORITY", u"LOCAL SERVICE", SidTypeWellKnownGroup},
    {u"S-1-5-20", u"NT AUTHORITY", u"NETWORK SERVICE", SidTypeWellKnownGroup},
    {u"S-1-5-33", u"NT AUTHORITY", u"WRITE RESTRICTED", SidTypeWellKnownGroup},
    {u"S-1-5-64-10", u"NT AUTHORITY", u"NTLM Authentication", SidTypeWellKnownGroup},
    {u"S-1-5-64-14", u"NT AUTHORITY", u"SChannel Authentication", SidTypeWellKnownGroup},
    {u"S-1-5-64-21", u"NT AUTHORITY", u"Digest Authentication", SidTypeWellKnownGroup},
    {u"S-1-5-113", u"NT AUTHORITY", u"Local account", SidTypeWellKnownGroup},
    {u"S-1-5-114", u"NT AUTHORITY", u"Local account and member of Administrators group", SidTypeWellKnownGroup},
    {u"S-1-5-1000", u"NT AUTHORITY", u"OTHER ORGANIZATION", SidTypeWellKnownGroup},
    {u"S-1-5-32", u"BUILTIN", u"BUILTIN", SidTypeDomain},
    {u"S-1-5-32-544", u"BUILTIN", u"Administrators", SidTypeAlias},
    {u"S-1-5-32-545", u"BUILTIN", u"Users", SidTypeAlias},
    {u"S-1-5-32-546", u"BUILTIN", u"Guests", SidTypeAlias},
    {u"S-1-5-32-547", u"BUILTIN", u"Power Users", SidTypeAlias},
    {u"S-1-5-32-548", u"BUILTIN", u"Account Operators", SidTypeAlias},
    {u"S-1-5-32-549", u"BUILTIN", u"Server Operators", SidTypeAlias},
    {u"S-1-5-32-550", u"BUILTIN", u"Print Operators", SidTypeAlias},
    {u"S-1-5-32-551", u"BUILTIN", u"Backup Operators", SidTypeAlias},
    {u"S-1-5-32-552", u"BUILTIN", u"Replicator", SidTypeAlias},
    {u"S-1-5-32-554", u"BUILTIN", u"Pre-Windows 2000 Compatible Access", SidTypeAlias},
    {u"S-1-5-32-555", u"BUILTIN", u"Remote Desktop Users", SidTypeAlias},
    {u"S-1-5-32-556", u"BUILTIN", u"Network Configuration Operators", SidTypeAlias},
    {u"S-1-5-32-558", u"BUILTIN", u"Performance Monitor Users", SidTypeAlias},
    {u"S-1-5-32-559", u"BUILTIN", u"Performance Log Users", SidTypeAlias},
    {u"S-1-5-32-560", u"BUILTIN", u"Windows Authorization Access Group", SidTypeAlias},
    {u"S-1-5-32-561", u"BUILTIN", u"Terminal Server License Servers", SidTypeAlias},
    {u"S-1-5-32-562", u"BUILTIN", u"Distributed COM Users", SidTypeAlias},
    {u"S-1-5-32-568", u"BUILTIN", u"IIS_IUSRS", SidTypeAlias},
    {u"S-1-5-32-569", u"BUILTIN", u"Cryptographic Operators", SidTypeAlias},
    {u"S-1-5-32-573", u"BUILTIN", u"Event Log Readers", SidTypeAlias},
    {u"S-1-5-32-574", u"BUILTIN", u"Certificate Service DCOM Access", SidTypeAlias},
    {u"S-1-5-32-575", u"BUILTIN", u"RDS Remote Access Servers", SidTypeAlias},
    {u"S-1-5-32-576", u"BUILTIN", u"RDS Endpoint Servers", SidTypeAlias},
    {u"S-1-5-32-577", u"BUILTIN", u"RDS Management Servers", SidTypeAlias},
    {u"S-1-5-32-578", u"BUILTIN", u"Hyper-V Administrators", SidTypeAlias},
    {u"S-1-5-32-579", u"BUILTIN", u"Access Control Assistance Operators", SidTypeAlias},
    {u"S-1-5-32-580", u"BUILTIN", u"Remote Management Users", SidTypeAlias},
    {u"S-1-5-32-583", u"BUILTIN", u"Device Owners", SidTypeAlias},
    {u"S-1-5-80-0", u"NT SERVICE", u"ALL SERVICES", SidTypeWellKnownGroup},
    {u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", u"NT SERVICE", u"TrustedInstaller", SidTypeWellKnownGroup},
    {u"S-1-5-84-0-0-0-0-0", u"NT AUTHORITY", u"USER MODE DRIVERS", SidTypeWellKnownGroup},
    {u"S-1-15-2-1", u"APPLICATION PACKAGE AUTHORITY", u"ALL APPLICATION PACKAGES", SidTypeWellKnownGroup},
    {u"S-1-15-2-2", u"APPLICATION PACKAGE AUTHORITY", u"ALL RESTRICTED APPLICATION PACKAGES", SidTypeWellKnownGroup},
    {u"S-1-16-0", u"Mandatory Label", u"Untrusted Mandatory Level", SidTypeLabel},
    {u"S-1-16-4096", u"Mandatory Label", u"Low Mandatory Level", SidTypeLabel},
    {u"S-1-16-8192", u"Mandatory Label", u"Medium Mandatory Level", SidTypeLabel},
    {u"S-1-16-8448", u"Mandatory Label", u"Medium Plus Mandatory Level", SidTypeLabel},
    {u"S-1-16-12288", u"Mandatory Label", u"High Mandatory Level", SidTypeLabel},
    {u"S-1-16-16384", u"Mandatory Label", u"System Mandatory Level", SidTypeLabel},
    {u"S-1-16-20480", u"Mandatory Label", u"Protected Process Mandatory Level", SidTypeLabel},
    {u"S-1-16-28672", u"Mandatory Label", u"Secure Process Mandatory Level", SidTypeLabel},
    {u"S-1-5-32-581", u"BUILTIN", u"System Managed Accounts Group", SidTypeAlias},
    {u"S-1-5-32-582", u"BUILTIN", u"Storage Replica Administrators", SidTypeAlias},
    {u"S-1-5-32-584", u"BUILTIN", u"User Mode Hardware Operators", SidTypeAlias},
    {u"S-1-5-32-585", u"BUILTIN", u"OpenSSH Users", SidTypeAlias},
    {u"S-1-5-83-0", u"NT VIRTUAL MACHINE", u"Virtual Machines", SidTypeWellKnownGroup},
    {u"S-1-5-90-0", u"Window Manager", u"Window Manager Group", SidTypeWellKnownGroup},
};

}  // namespace

const WellKnownSid* FindWellKnownSid(std::u16string_view sid_text) {
  for (const WellKnownSid& entry : WELL_KNOWN_SIDS) {
    if (entry.sid_text == sid_text) return &entry;
  }
  return nullptr;
}

const WellKnownSid* WellKnownSidTable(size_t* count) {
  *count = std::size(WELL_KNOWN_SIDS);
  return WELL_KNOWN_SIDS;
}

}  // namespace keyscout
