#include "security/service_sids.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "security/sid.h"
#include "support/sd_builder.h"

namespace keyscout {
namespace {

// SIDs Windows gives these services, worked out apart from this code.
const std::string WDI_SERVICE_HOST = "S-1-5-80-3139157870-2983391045-3678747466-658725712-1809340420";
const std::string PROBE_SERVICE = "S-1-5-80-3378286936-537505594-255453772-1710593570-3798460476";  // not listed

TEST(ServiceSidTest, CompiledNamesAreTheRowsOfTheDataFile) {
  std::ifstream file(std::string(KEYSCOUT_SHARED_HIVES) + "/../data/service-names.txt");
  if (!file) GTEST_SKIP() << "no service-names.txt";
  size_t count = 0;
  const std::u16string_view* table = ServiceNameTable(&count);
  size_t row = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    ASSERT_LT(row, count) << line;
    EXPECT_EQ(table[row++], std::u16string(line.begin(), line.end()));
  }
  EXPECT_EQ(row, count);
}

// The platform names nothing, so that the tool's own naming is tested on
// every platform; no provider is left behind.
class ServiceSidLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetAccountSource([](const SidBytes&, std::u16string*, std::u16string*, uint32_t*) {
      return AccountLookup::kUnavailable;
    });
  }
  void TearDown() override {
    SetAccountSource(previous_);
    SetServiceNameProviders({});
  }

  // "domain\account (use)" as CSid gives them, through both lookup calls.
  static std::u16string NameOf(const std::string& sid_text) {
    const test::Bytes bytes = test::Sid(sid_text);
    CSid sid;
    sid.AssignRaw(PSID{bytes.data(), static_cast<uint32_t>(bytes.size())});
    const std::u16string domain = sid.DomainText();
    const std::u16string account = sid.AccountText();
    return domain + u"\\" + account + u" (" + char16_t(u'0' + sid.NameUse()) + u")";
  }

  static inline int provider_calls = 0;

 private:
  AccountSource previous_ = nullptr;
};

TEST_F(ServiceSidLookupTest, CompiledNamesNameServiceSidsAndLongOnesComeThroughTheSizedCall) {
  EXPECT_EQ(NameOf(WDI_SERVICE_HOST), u"NT SERVICE\\WdiServiceHost (5)");
  // 40 units: too long for the first 32-unit buffer.
  EXPECT_EQ(NameOf("S-1-5-80-1893912837-3656811718-1092209539-248709687-2734992936"),
            u"NT SERVICE\\CredentialEnrollmentManagerUserSvc_3763e (5)");
}

TEST_F(ServiceSidLookupTest, TheProviderIsAskedFirstOnceAndOnlyWhenAServiceSidIsLeftUnnamed) {
  provider_calls = 0;
  SetServiceNameProviders({[] {
    ++provider_calls;
    return std::vector<std::u16string>{u"KeyscoutProbeService", u"wdiservicehost"};
  }});
  for (const char* other : {"S-1-5-18", "S-1-5-21-1-2-3-500", "S-1-5-80-0",
                            "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"}) {
    NameOf(other);  // not a service SID, or one the table names
  }
  EXPECT_EQ(provider_calls, 0);
  EXPECT_EQ(NameOf(PROBE_SERVICE), u"NT SERVICE\\KeyscoutProbeService (5)");
  EXPECT_EQ(NameOf(WDI_SERVICE_HOST), u"NT SERVICE\\wdiservicehost (5)");  // its spelling, not the list's
  NameOf("S-1-5-80-1-2-3-4-5");
  EXPECT_EQ(provider_calls, 1);

  // A new provider that gives nothing replaces the old names and is asked once.
  SetServiceNameProviders({[] {
    ++provider_calls;
    return std::vector<std::u16string>{};
  }});
  EXPECT_EQ(NameOf(PROBE_SERVICE), u"\\ (8)");
  EXPECT_EQ(NameOf(WDI_SERVICE_HOST), u"NT SERVICE\\WdiServiceHost (5)");
  EXPECT_EQ(provider_calls, 2);
}

TEST_F(ServiceSidLookupTest, ALaterProviderIsAskedOnlyForASidTheEarlierOnesDoNotName) {
  int first = 0;
  int second = 0;
  SetServiceNameProviders({[&first] {
                             ++first;
                             return std::vector<std::u16string>{u"wdiservicehost"};
                           },
                           nullptr,
                           [&second] {
                             ++second;
                             return std::vector<std::u16string>{u"WDISERVICEHOST", u"KeyscoutProbeService"};
                           }});
  EXPECT_EQ(NameOf(WDI_SERVICE_HOST), u"NT SERVICE\\wdiservicehost (5)");
  EXPECT_EQ(first + 10 * second, 1);
  EXPECT_EQ(NameOf(PROBE_SERVICE), u"NT SERVICE\\KeyscoutProbeService (5)");
  EXPECT_EQ(NameOf(WDI_SERVICE_HOST), u"NT SERVICE\\wdiservicehost (5)");  // the earlier provider's spelling
  EXPECT_EQ(first + 10 * second, 11);
}

TEST_F(ServiceSidLookupTest, OtherShapesAndUnknownDigestsStayUnnamed) {
  // An unknown digest; then WdiServiceHost's words under 81, with a sixth
  // word, and with four.
  for (const char* text : {"S-1-5-80-1-2-3-4-5", "S-1-5-81-3139157870-2983391045-3678747466-658725712-1809340420",
                           "S-1-5-80-3139157870-2983391045-3678747466-658725712-1809340420-7",
                           "S-1-5-80-3139157870-2983391045-3678747466-658725712"}) {
    EXPECT_EQ(NameOf(text), u"\\ (8)") << text;
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED) << text;  // from the lookup's last call
  }
}

}  // namespace
}  // namespace keyscout
