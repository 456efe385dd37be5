// dbengine.dll as the launcher uses it: aliases in its configuration file,
// connections to stand-in instances through VCI.dll, queries read as text.

#include "interfaces/bde/dbengine.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/vorlix/tests/vci_client.h"

namespace {

using vorlix::test::TestInstance;

constexpr wchar_t kDriverKey[] =
    L"SOFTWARE\\Borland\\Database Engine\\Settings\\DRIVERS\\VORLIX\\INIT";

const char kDescription[] = R"({
  "netServiceNames": ["BDETEST"],
  "tables": [{"name": "VERSMP", "columns": ["EXFILE", "VERSON", "EXSIZE", "INDATE", "UPTEXT"],
              "rows": [["VEZerez.exe", "VZ-2", "1,234,567", "2024-05-01", null]]}]
})";

std::wstring lastError() {
    wchar_t text[1024] = L"";
    DbeGetLastError(text, 1024);
    return text;
}

std::wstring aliasNames() {
    int required = 0;
    DbeGetAliasNames(nullptr, 0, &required);
    std::wstring names(static_cast<std::size_t>(required), L'\0');
    EXPECT_EQ(DbeGetAliasNames(names.data(), required, &required), DBE_OK);
    for (wchar_t& c : names) c = c ? c : L'|';
    return names;
}

std::string fileText(const std::wstring& path) {
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void setDriverSetting(const wchar_t* name, const std::wstring& data) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kDriverKey, name, REG_SZ, data.c_str(),
                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

std::wstring fieldText(DbeQuery* query, const wchar_t* column) {
    wchar_t value[256] = L"?";
    int required = 0;
    if (DbeGetFieldText(query, column, value, 256, &required) != DBE_OK) return L"<error>";
    return value;
}

// One process, one engine session: the tests below run in this order.
class Engine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        config_ = std::wstring(temp) + L"dbengine-test-" + std::to_wstring(GetCurrentProcessId()) +
                  L".cfg";
        std::ofstream(std::string(config_.begin(), config_.end()), std::ios::binary)
            << "[trvn_data]\r\nDRIVER=VORLIX\r\nSERVER NAME=ELSEWHERE\r\n";
        SetEnvironmentVariableW(L"DBENGINE_CONFIG", config_.c_str());
    }
    static void TearDownTestSuite() { DeleteFileW(config_.c_str()); }

    static inline std::wstring config_;
};

TEST_F(Engine, AddsAliasesRefusingOnesThatDifferOnlyInCase) {
    EXPECT_EQ(aliasNames(), L"trvn_data||");
    EXPECT_EQ(DbeAddAlias(L"TRVN_DATA", L"VORLIX", L"SERVER NAME=X\0"), DBE_ERROR);
    EXPECT_EQ(lastError(), L"Duplicate database alias name: TRVN_DATA (exists as trvn_data)");
    EXPECT_EQ(DbeAddAlias(L"DELIVERY", L"VORLIX", L"SERVER NAME=X\0USER NAME=dlv\0"), DBE_OK);
    EXPECT_EQ(aliasNames(), L"trvn_data|DELIVERY||");
    EXPECT_EQ(DbeAddAlias(L"BROKEN", L"VORLIX", L"NO VALUE\0"), DBE_ERROR);
    EXPECT_EQ(lastError(), L"parameter 'NO VALUE' is not NAME=VALUE");
    ASSERT_EQ(DbeSaveConfigFile(), DBE_OK);
    EXPECT_EQ(
        fileText(config_),
        "; database engine aliases\r\n\r\n[trvn_data]\r\nDRIVER=VORLIX\r\nSERVER NAME=ELSEWHERE\r\n"
        "\r\n[DELIVERY]\r\nDRIVER=VORLIX\r\nSERVER NAME=X\r\nUSER NAME=dlv\r\n");
}

TEST_F(Engine, ConnectsWithTheListOverTheAliasAndReadsColumnsAsText) {
    TestInstance instance(kDescription);
    const std::wstring service = L"BDETEST";
    setDriverSetting(L"DLL32", L"SQLVLX8.DLL");
    setDriverSetting(L"VENDOR INIT", vorlix::test::binDirectory() + L"\\VCI.dll");
    const std::wstring list = L"SERVER NAME=" + service + L"|USER NAME=dlv|PASSWORD=dlv4826|";
    std::wstring parameters = list;
    for (wchar_t& c : parameters) c = c == L'|' ? L'\0' : c;

    DbeDatabase* database = nullptr;
    ASSERT_EQ(DbeOpenDatabase(L"TRVN_DATA", parameters.c_str(), &database), DBE_OK) << lastError();
    DbeQuery* query = nullptr;
    ASSERT_EQ(
        DbeOpenQuery(database, L"  SELECT * FROM VERSMP \r\n   WHERE EXFILE = 'VEZerez.exe'  \r\n",
                     &query),
        DBE_OK)
        << lastError();
    ASSERT_EQ(DbeNextRow(query), DBE_OK);
    EXPECT_EQ(fieldText(query, L"verson"), L"VZ-2");
    EXPECT_EQ(fieldText(query, L"EXSIZE"), L"1,234,567");
    EXPECT_EQ(fieldText(query, L"UPTEXT"), L"");
    EXPECT_EQ(fieldText(query, L"NOPE"), L"<error>");
    EXPECT_EQ(lastError(), L"Field 'NOPE' not found");
    EXPECT_EQ(DbeNextRow(query), DBE_END_OF_ROWS);
    DbeCloseQuery(query);
    ASSERT_EQ(DbeOpenQuery(database, L"SELECT * FROM VERSMP WHERE EXFILE = 'none.exe'", &query),
              DBE_OK);
    EXPECT_EQ(DbeNextRow(query), DBE_END_OF_ROWS);
    DbeCloseQuery(query);
    DbeCloseDatabase(database);

    std::wstring wrong = parameters;
    wrong.replace(wrong.find(L"dlv4826"), 7, L"nopenop");
    EXPECT_EQ(DbeOpenDatabase(L"trvn_data", wrong.c_str(), &database), DBE_ERROR);
    EXPECT_EQ(lastError().find(L"Unable to connect to database trvn_data\r\nVLX-01017"), 0u)
        << lastError();
    EXPECT_EQ(DbeOpenDatabase(L"NOWHERE", parameters.c_str(), &database), DBE_ERROR);
    EXPECT_EQ(lastError(), L"Unknown database: NOWHERE");
}

TEST_F(Engine, NeedsTheDriverSettings) {
    setDriverSetting(L"DLL32", L"SQLOTHER.DLL");
    DbeDatabase* database = nullptr;
    EXPECT_EQ(DbeOpenDatabase(L"TRVN_DATA", L"\0", &database), DBE_ERROR);
    EXPECT_EQ(lastError(), L"Cannot load driver library SQLOTHER.DLL of driver VORLIX");
    setDriverSetting(L"DLL32", L"SQLVLX8.DLL");
    setDriverSetting(L"VENDOR INIT", L"NOSUCH.DLL");
    EXPECT_EQ(DbeOpenDatabase(L"TRVN_DATA", L"\0", &database), DBE_ERROR);
    EXPECT_EQ(lastError().find(L"Cannot load the vendor client library NOSUCH.DLL"), 0u);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kDriverKey, L"VENDOR INIT");
    EXPECT_EQ(DbeOpenDatabase(L"TRVN_DATA", L"\0", &database), DBE_ERROR);
    EXPECT_EQ(lastError(), L"Driver VORLIX is not configured: its setting VENDOR INIT is missing");
    setDriverSetting(L"VENDOR INIT", L"VCI.DLL");
}

}  // namespace
