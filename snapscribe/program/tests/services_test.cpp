// Installing, listing and removing writer services through the real service
// control manager and registry of the test's prefix.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "snapscribe/host/tests/host_test_support.h"
#include "program_harness.h"

namespace snapscribe::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Optional;

const std::wstring kClassKey = L"CLSID\\{26D02976-B909-43ad-AF7E-62A4F625E372}";

// Instance names stay within ten bytes: a letter and the process id.
std::wstring instanceName(wchar_t letter) {
    return letter + std::to_wstring(GetCurrentProcessId() % 100000000);
}

class ServicesTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::wstring& sid : sids) snapscribe(sid + L" /d");
    }
    // With the administration tool at hand, as in an installation.
    Finished snapscribe(const std::wstring& arguments) {
        return runSnapscribe(arguments, scratch.file(L""), vorlixClient());
    }
    std::wstring sid(wchar_t letter) {
        sids.push_back(instanceName(letter));
        return sids.back();
    }

    ScratchDirectory scratch;
    std::vector<std::wstring> sids;
};

TEST_F(ServicesTest, ANewServiceStartsAutomaticallyAndAReinstalledOneOnDemand) {
    const std::wstring db = sid(L'I');
    const std::wstring service = L"VorlixVssWriter" + db;
    ASSERT_EQ(snapscribe(db + L" /i").exitCode, 0u);
    EXPECT_THAT(snapscribe(L"/q /status").output,
                HasSubstr(narrow(service) + " - The service is running.\n"))
        << "installing ends by starting the service";

    const ServiceConfig created = serviceConfig(service);
    ASSERT_TRUE(created.exists);
    EXPECT_EQ(created.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(created.binaryPath, snapscribePath() + L" " + db);
    EXPECT_EQ(created.displayName, L"Vorlix " + db + L" VSS Writer Service");
    EXPECT_THAT(classesRootDefault(kClassKey), Optional(created.displayName));
    EXPECT_THAT(classesRootDefault(kClassKey + L"\\LocalServer32"), Optional(snapscribePath()));
    EXPECT_THAT(classesRootDefault(kClassKey + L"\\AllowRemoteActivation"),
                Optional(std::wstring()));
    EXPECT_THAT(classesRootDefault(kClassKey + L"\\LocalService"), Optional(service));
    EXPECT_THAT(classesRootValue(kClassKey + L"\\LocalService", L"ServiceParameters"),
                Optional(std::wstring(L"-Service")));

    ASSERT_EQ(snapscribe(db + L" /I").exitCode, 0u);
    EXPECT_EQ(serviceConfig(service).startType, static_cast<DWORD>(SERVICE_DEMAND_START));

    ASSERT_EQ(snapscribe(db + L" /d").exitCode, 0u);
    EXPECT_FALSE(serviceConfig(service).exists);
    EXPECT_EQ(classesRootDefault(kClassKey), std::nullopt);
}

TEST_F(ServicesTest, TheServiceRunsTheWriterFromStartToStop) {
    const std::wstring db = sid(L'S');
    const std::wstring service = L"VorlixVssWriter" + db;
    ASSERT_EQ(snapscribe(db + L" /i").exitCode, 0u);
    ASSERT_EQ(startService(service), static_cast<DWORD>(SERVICE_RUNNING));

    Program requester(vssreqPath(), L"writers --instance " + db, scratch.file(L""));
    EXPECT_EQ(requester.finish(), 0u);
    EXPECT_THAT(requester.output(), HasSubstr("Vorlix VSS Writer - " + narrow(db)));
    EXPECT_THAT(snapscribe(L"/q /status").output,
                HasSubstr(narrow(service) + " - The service is running.\n"));

    EXPECT_EQ(stopService(service), static_cast<DWORD>(SERVICE_STOPPED));
    Program after(vssreqPath(), L"writers --instance " + db, scratch.file(L""));
    after.finish();
    EXPECT_THAT(after.output(), Not(HasSubstr("Vorlix VSS Writer")));
}

TEST_F(ServicesTest, ReinstallingWithoutAnAccountGoesBackToTheDefaultAccount) {
    const std::wstring db = sid(L'U');
    const std::wstring service = L"VorlixVssWriter" + db;
    ProgramOptions options = vorlixClient();
    options.input = "secret\r\n";
    ASSERT_EQ(runSnapscribe(db + L" /i /user:.\\someone", scratch.file(L""), options).exitCode, 0u);
    EXPECT_EQ(serviceConfig(service).account, L".\\someone");

    ASSERT_EQ(snapscribe(db + L" /i").exitCode, 0u);
    const std::wstring fresh = sid(L'V');
    ASSERT_EQ(snapscribe(fresh + L" /i").exitCode, 0u);
    EXPECT_EQ(serviceConfig(service).account, serviceConfig(L"VorlixVssWriter" + fresh).account);
}

// All instances share one class registration, which removing any of them
// takes away: the writer services of the others go on serving, also when
// started again.
TEST_F(ServicesTest, RemovingOneInstanceLeavesTheOthersWritersWorking) {
    const std::wstring removed = sid(L'C');
    const std::wstring kept = sid(L'K');
    const std::wstring keptService = L"VorlixVssWriter" + kept;
    ASSERT_EQ(snapscribe(kept + L" /i").exitCode, 0u);
    ASSERT_EQ(snapscribe(removed + L" /i").exitCode, 0u);
    ASSERT_EQ(snapscribe(removed + L" /d").exitCode, 0u);
    ASSERT_EQ(classesRootDefault(kClassKey), std::nullopt);

    for (const bool restarted : {false, true}) {
        if (restarted) {
            ASSERT_EQ(stopService(keptService), static_cast<DWORD>(SERVICE_STOPPED));
            ASSERT_EQ(startService(keptService), static_cast<DWORD>(SERVICE_RUNNING));
        }
        Program requester(vssreqPath(), L"writers --instance " + kept, scratch.file(L""));
        EXPECT_EQ(requester.finish(), 0u);
        EXPECT_THAT(requester.output(), HasSubstr("Vorlix VSS Writer - " + narrow(kept)))
            << (restarted ? "restarted" : "running");
    }
}

TEST_F(ServicesTest, QueryStopsAndStartsEveryWriterService) {
    const std::wstring first = L"VorlixVssWriter" + sid(L'A');
    const std::wstring second = L"VorlixVssWriter" + sid(L'B');
    ASSERT_EQ(snapscribe(sids[0] + L" /i").exitCode, 0u);
    ASSERT_EQ(snapscribe(sids[1] + L" /i").exitCode, 0u);

    EXPECT_EQ(snapscribe(L"/q /stop").exitCode, 200u);
    std::string status = snapscribe(L"/q /status").output;
    EXPECT_THAT(status, HasSubstr(narrow(first) + " - The service is not running.\n"));
    EXPECT_THAT(status, HasSubstr(narrow(second) + " - The service is not running.\n"));

    EXPECT_EQ(snapscribe(L"/q /start").exitCode, 200u);
    status = snapscribe(L"/q /status").output;
    EXPECT_THAT(status, HasSubstr(narrow(first) + " - The service is running.\n"));
    EXPECT_THAT(status, HasSubstr(narrow(second) + " - The service is running.\n"));
}

TEST_F(ServicesTest, InstallingStoresTheTraceSettingsGivenBeforeIt) {
    const std::wstring db = sid(L'T');
    const std::wstring level = L"VLX_" + db + L"_VSS_TLEVEL";
    ASSERT_EQ(snapscribe(db + L" /tl 5 /i").exitCode, 0u);
    EXPECT_THAT(storedSetting(level), Optional(std::wstring(L"5")));

    EXPECT_EQ(snapscribe(db + L" /tl 0").exitCode, 0u);
    EXPECT_EQ(storedSetting(level), std::nullopt) << "level 0 removes the stored level";
}

TEST_F(ServicesTest, TheGivenProgramPathIsRegisteredInBothPlacesQuotedOnlyWithABlank) {
    const std::wstring spaced = sid(L'P');
    const std::wstring withBlank = L"C:\\Program Files\\Vorlix\\snapscribe.exe";
    ASSERT_EQ(snapscribe(L"/exepath \"" + withBlank + L"\" " + spaced + L" /i").exitCode, 0u);
    EXPECT_EQ(serviceConfig(L"VorlixVssWriter" + spaced).binaryPath,
              L"\"" + withBlank + L"\" " + spaced);
    EXPECT_THAT(classesRootDefault(kClassKey + L"\\LocalServer32"),
                Optional(L"\"" + withBlank + L"\""));

    const std::wstring plain = sid(L'Q');
    ASSERT_EQ(snapscribe(L"/exepath C:\\Vorlix\\snapscribe.exe " + plain + L" /i").exitCode, 0u);
    EXPECT_EQ(serviceConfig(L"VorlixVssWriter" + plain).binaryPath,
              L"C:\\Vorlix\\snapscribe.exe " + plain);
    EXPECT_THAT(classesRootDefault(kClassKey + L"\\LocalServer32"),
                Optional(std::wstring(L"C:\\Vorlix\\snapscribe.exe")));
}

TEST_F(ServicesTest, RemovingAMissingServiceStillRemovesTheClassRegistration) {
    const std::wstring db = sid(L'R');
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, (kClassKey + L"\\LocalService").c_str(), &key),
              ERROR_SUCCESS);
    RegCloseKey(key);

    EXPECT_EQ(snapscribe(db + L" /d").exitCode, 0u);
    EXPECT_EQ(classesRootDefault(kClassKey), std::nullopt);
    EXPECT_EQ(snapscribe(db + L" /d").exitCode, 0u) << "nothing left to remove is no failure";
}

TEST_F(ServicesTest, QueryWorksOnServicesBeginningWithTheWriterPrefixOnly) {
    const std::wstring writer = L"VorlixVssWriter" + instanceName(L'L');
    const std::wstring lookalike = L"X" + writer;
    createService(writer, L"C:\\nothing.exe");
    createService(lookalike, L"C:\\nothing.exe");

    const Finished list = snapscribe(L"/q");
    const Finished status = snapscribe(L"/q /status");
    deleteService(writer);
    deleteService(lookalike);

    EXPECT_THAT(lines(list.output), Contains(narrow(writer)));
    EXPECT_THAT(list.output, Not(HasSubstr(narrow(lookalike))));
    EXPECT_THAT(status.output, HasSubstr(narrow(writer) + " - The service is not running.\n"));
    EXPECT_THAT(status.output, Not(HasSubstr(narrow(lookalike))));
}

}  // namespace
}  // namespace snapscribe::testing
