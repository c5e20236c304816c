#include "security/service_sids.h"

#include <gtest/gtest.h>

#include <string>

#include "security/account_names.h"
#include "security/sid.h"
#include "support/sd_builder.h"

namespace keyscout {
namespace {

// SIDs Windows gives these services, worked out apart from this code.
const std::string WDI_SERVICE_HOST = "S-1-5-80-3139157870-2983391045-3678747466-658725712-1809340420";
const std::string PROBE_SERVICE = "S-1-5-80-3378286936-537505594-255453772-1710593570-3798460476";  // not listed

// "domain\account (use)" as a CSid named by `names` gives them, through both
// lookup calls. No system is asked, so that the tool's own naming is tested
// on every platform.
std::u16string NameOf(AccountNames& names, const std::string& sid_text) {
  const test::Bytes bytes = test::Sid(sid_text);
  CSid sid(names);
  sid.AssignRaw(PSID{bytes.data(), static_cast<uint32_t>(bytes.size())});
  const std::u16string domain = sid.DomainText();
  const std::u16string account = sid.AccountText();
  return domain + u"\\" + account + u" (" + char16_t(u'0' + sid.NameUse()) + u")";
}

TEST(ServiceSidLookupTest, CompiledNamesNameServiceSidsAndLongOnesComeThroughTheSizedCall) {
  AccountNames names;
  EXPECT_EQ(NameOf(names, WDI_SERVICE_HOST), u"NT SERVICE\\WdiServiceHost (5)");
  // 40 units: too long for the first 32-unit buffer.
  EXPECT_EQ(NameOf(names, "S-1-5-80-1893912837-3656811718-1092209539-248709687-2734992936"),
            u"NT SERVICE\\CredentialEnrollmentManagerUserSvc_3763e (5)");
}

TEST(ServiceSidLookupTest, TheProviderIsAskedFirstOnceAndOnlyWhenAServiceSidIsLeftUnnamed) {
  int calls = 0;
  AccountNames names({}, {[&calls] {
                       ++calls;
                       return std::vector<std::u16string>{u"KeyscoutProbeService", u"wdiservicehost"};
                     }});
  for (const char* other : {"S-1-5-18", "S-1-5-21-1-2-3-500", "S-1-5-80-0",
                            "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"}) {
    NameOf(names, other);  // not a service SID, or one the table names
  }
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(NameOf(names, PROBE_SERVICE), u"NT SERVICE\\KeyscoutProbeService (5)");
  EXPECT_EQ(NameOf(names, WDI_SERVICE_HOST), u"NT SERVICE\\wdiservicehost (5)");  // its spelling, not the list's
  NameOf(names, "S-1-5-80-1-2-3-4-5");
  EXPECT_EQ(calls, 1);
}

TEST(ServiceSidLookupTest, WhatOneContextsProvidersGaveNamesNothingInAnother) {
  // The first context is still alive, and has asked its provider, when the
  // second one names the same SIDs.
  AccountNames hive_names({}, {[] { return std::vector<std::u16string>{u"KeyscoutProbeService", u"wdiservicehost"}; }});
  ASSERT_EQ(NameOf(hive_names, PROBE_SERVICE), u"NT SERVICE\\KeyscoutProbeService (5)");
  int calls = 0;
  AccountNames other({}, {[&calls] {
                       ++calls;
                       return std::vector<std::u16string>{};
                     }});
  EXPECT_EQ(NameOf(other, PROBE_SERVICE), u"\\ (8)");
  EXPECT_EQ(NameOf(other, WDI_SERVICE_HOST), u"NT SERVICE\\WdiServiceHost (5)");  // the list's spelling
  EXPECT_EQ(calls, 1);
}

TEST(ServiceSidLookupTest, ALaterProviderIsAskedOnlyForASidTheEarlierOnesDoNotName) {
  int first = 0;
  int second = 0;
  AccountNames names({}, {[&first] {
                            ++first;
                            return std::vector<std::u16string>{u"wdiservicehost"};
                          },
                          nullptr,
                          [&second] {
                            ++second;
                            return std::vector<std::u16string>{u"WDISERVICEHOST", u"KeyscoutProbeService"};
                          }});
  EXPECT_EQ(NameOf(names, WDI_SERVICE_HOST), u"NT SERVICE\\wdiservicehost (5)");
  EXPECT_EQ(first + 10 * second, 1);
  EXPECT_EQ(NameOf(names, PROBE_SERVICE), u"NT SERVICE\\KeyscoutProbeService (5)");
  EXPECT_EQ(NameOf(names, WDI_SERVICE_HOST), u"NT SERVICE\\wdiservicehost (5)");  // the earlier provider's spelling
  EXPECT_EQ(first + 10 * second, 11);
}

TEST(ServiceSidLookupTest, OtherShapesAndUnknownDigestsStayUnnamed) {
  AccountNames names;
  // An unknown digest; then WdiServiceHost's words under 81, with a sixth
  // word, and with four.
  for (const char* text : {"S-1-5-80-1-2-3-4-5", "S-1-5-81-3139157870-2983391045-3678747466-658725712-1809340420",
                           "S-1-5-80-3139157870-2983391045-3678747466-658725712-1809340420-7",
                           "S-1-5-80-3139157870-2983391045-3678747466-658725712"}) {
    EXPECT_EQ(NameOf(names, text), u"\\ (8)") << text;
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED) << text;  // from the lookup's last call
  }
}

}  // namespace
}  // namespace keyscout
