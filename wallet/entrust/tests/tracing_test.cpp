// The tracing convention on the classic and the diagnostic path, observed in
// the host's trace file around a login and a key-pair query.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/entrust/tests/profile_fixtures.h"
#include "sim/vlxrt/vlxsim.h"
#include "wallet/entrust/kmpwallet.h"
#include "wallet/entrust/tests/traced_host.h"

namespace {

constexpr char kAllSpecified[] =
    "nztwveGetAuthData: the profile, password and initialization file were specified - "
    "returning.";
constexpr char kWrongPassword[] =
    "nztwveDoLogin: Entrust function \"IKMPLogin\" failed with \"The password is incorrect.\" "
    "(error code -2005).";

// Logs in (with the right or a wrong password), asks for the key pair and
// logs out, all on `host`.
void runSession(TracedHost& host, const char* password) {
    std::string locator =
        "entr:" + fixtures::path("user.p12") + "::" + fixtures::path("profile.ini") + "::";
    std::string passwordText = password;
    void* wallet = nullptr;
    TracedHost::methods().Login(host.host(), static_cast<std::uint32_t>(locator.size()),
                                locator.data(), static_cast<std::uint32_t>(passwordText.size()),
                                passwordText.data(), &wallet);
    if (wallet == nullptr) return;
    std::uint8_t* certificate = nullptr;
    std::uint32_t length = 0, size = 0;
    void* key = nullptr;
    TracedHost::methods().GetKeyPair(host.host(), wallet, &certificate, &length, &key, &size);
    TracedHost::methods().Logout(host.host(), wallet);
}

std::string diag(unsigned level, const char* mask, const std::string& line) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "diag level=%u mask=%s ", level, mask);
    return std::string(prefix) + line;
}

TEST(ClassicTrace, WritesEachMessageUpToTheLevel) {
    TracedHost host;
    host.classic(6);
    runSession(host, fixtures::kPassword);
    EXPECT_TRUE(host.traced("nztwvelogin: entry"));
    EXPECT_TRUE(host.traced("nztwveapi_GetKeyPair: exit"));
    EXPECT_TRUE(host.traced(kAllSpecified));

    TracedHost quieter;
    quieter.classic(5);
    runSession(quieter, fixtures::kPassword);
    EXPECT_TRUE(quieter.traced(kAllSpecified));
    EXPECT_EQ(quieter.traceText().find("entry"), std::string::npos);

    TracedHost errorsOnly;
    errorsOnly.classic(1);
    runSession(errorsOnly, "not-the-password");
    EXPECT_EQ(errorsOnly.traceText(), std::string(kWrongPassword) + "\n");
}

TEST(ClassicTrace, NothingWithoutTheFlagOrATraceContext) {
    TracedHost off;
    off.trace.flags = 0;
    runSession(off, "not-the-password");
    EXPECT_EQ(off.traceText(), "");

    TracedHost none;
    none.context.traceContext = nullptr;
    runSession(none, fixtures::kPassword);
    EXPECT_EQ(none.traceText(), "");
}

TEST(DiagnosticTrace, WritesUpToTheSettingsLevelWithMaskFour) {
    TracedHost host;
    host.diagnostic(6);
    runSession(host, "not-the-password");
    EXPECT_TRUE(host.traced(diag(6, "0x0000000000000004", "nztwvelogin: entry")));
    EXPECT_TRUE(host.traced(diag(1, "0x0000000000000006", kWrongPassword)));
}

TEST(DiagnosticTrace, ErrorsNeedAnEnabledContextWhenTheLevelIsBelow) {
    TracedHost enabled;
    enabled.diagnostic(0);
    runSession(enabled, "not-the-password");
    EXPECT_EQ(enabled.traceText(), diag(1, "0x0000000000000002", kWrongPassword) + "\n");

    TracedHost disabled;
    disabled.diagnostic(0);
    disabled.diagnostics.enabled = 0;
    runSession(disabled, "not-the-password");
    EXPECT_EQ(disabled.traceText(), "");
}

TEST(DiagnosticTrace, WideSettingsAddToTheMask) {
    TracedHost host;
    host.diagnostic(1);
    host.settings.flags = hostrt::kSettingsWideMask;
    runSession(host, "not-the-password");
    EXPECT_TRUE(host.traced(diag(1, "0x000000000000003e", kWrongPassword)));
}

TEST(DiagnosticTrace, AnArmedEventDecidesTheMask) {
    TracedHost host;
    host.diagnostic(0);
    host.events = {hostrt::kEventsArmed, 1, hostrt::kTraceEventsPresent, {}};
    host.events.events[0] = {hostrt::kTraceFacility, hostrt::kTraceEvent, 4, 0x14};
    runSession(host, fixtures::kPassword);
    EXPECT_TRUE(host.traced(diag(4, "0x0000000000000014", kAllSpecified)));
    EXPECT_EQ(host.traceText().find("entry"), std::string::npos);
}

TEST(DiagnosticTrace, FilteredEventsGoThroughTheSourceFileFilter) {
    TracedHost host;
    host.diagnostic(6);
    host.events = {hostrt::kEventsArmed, 1, hostrt::kTraceEventsPresent, {}};
    host.events.events[0] = {hostrt::kTraceFacility, hostrt::kTraceEvent, 6,
                             std::uint64_t{hostrt::kMaskFiltered} << 32};
    std::strcpy(host.diagnostics.sourceFilter, "nztwveapi");
    runSession(host, fixtures::kPassword);
    EXPECT_TRUE(host.traced(diag(6, "0x4000000000000004", "nztwveapi_GetKeyPair: entry")));
    EXPECT_EQ(host.traceText().find("nztwvelogin"), std::string::npos);
}

TEST(DiagnosticTrace, KeyedContextIsMadeByTheHostWhenMissing) {
    TracedHost host;
    host.diagnostic(6);
    int key = 0;
    host.context.flags = 1;
    host.context.diagnosticContext = &key;
    host.diagnostics.enabled = 0;
    runSession(host, fixtures::kPassword);
    EXPECT_TRUE(host.traced(diag(6, "0x0000000000000004", "nztwvelogin: entry")));
    void* made = nullptr;
    sltskyg(host.context.keyContext, &key, &made);
    EXPECT_NE(made, nullptr);
    EXPECT_NE(made, &host.diagnostics);
}

}  // namespace
