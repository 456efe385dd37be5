// IDAPI32.DLL as the launcher calls it: aliases in the configuration file,
// connections to stand-in instances through VCI.dll, a query read field by
// field, and the error information of failed calls.

#include "interfaces/bde/idapi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

// The failure's message and contexts, one per line.
std::string errorText() {
    DBIErrInfo info;
    EXPECT_EQ(DbiGetErrorInfo(TRUE, &info), DBIERR_NONE);
    std::string text = info.szErrCode;
    for (const char* context :
         {info.szContext1, info.szContext2, info.szContext3, info.szContext4}) {
        if (*context) text += std::string("|") + context;
    }
    return text;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void setDriverSetting(const wchar_t* name, const std::wstring& data) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kDriverKey, name, REG_SZ, data.c_str(),
                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::string> aliasNames() {
    hDBICur cursor = nullptr;
    EXPECT_EQ(DbiOpenDatabaseList(&cursor), DBIERR_NONE);
    std::vector<std::string> names;
    DBDesc description;
    while (DbiGetNextRecord(cursor, dbiNOLOCK, reinterpret_cast<pBYTE>(&description), nullptr) ==
           DBIERR_NONE) {
        names.push_back(std::string(description.szName) + "/" + description.szDbType + "/" +
                        description.szPhyName);
    }
    EXPECT_EQ(DbiCloseCursor(&cursor), DBIERR_NONE);
    EXPECT_EQ(cursor, nullptr);
    return names;
}

// DbiOpenDatabase's optional fields: descriptors and the texts they point at.
class OptionalFields {
public:
    explicit OptionalFields(const std::vector<std::pair<std::string, std::string>>& entries) {
        for (const auto& [name, value] : entries) {
            FLDDesc field{};
            std::strncpy(field.szName, name.c_str(), DBIMAXNAMELEN);
            field.iFldType = fldZSTRING;
            field.iOffset = static_cast<UINT16>(values_.size());
            field.iLen = static_cast<UINT16>(value.size() + 1);
            values_.insert(values_.end(), value.begin(), value.end());
            values_.push_back(0);
            fields_.push_back(field);
        }
    }
    UINT16 count() { return static_cast<UINT16>(fields_.size()); }
    pFLDDesc fields() { return fields_.data(); }
    pBYTE values() { return values_.data(); }

private:
    std::vector<FLDDesc> fields_;
    std::vector<BYTE> values_;
};

DBIResult open(const char* alias, OptionalFields fields, hDBIDb* database) {
    return DbiOpenDatabase(const_cast<char*>(alias), nullptr, dbiREADWRITE, dbiOPENSHARED, nullptr,
                           fields.count(), fields.fields(), fields.values(), database);
}

// The first row's fields by name, "<null>" for a blank one.
std::vector<std::string> firstRow(hDBICur cursor, const std::vector<std::string>& names) {
    CURProps properties;
    EXPECT_EQ(DbiGetCursorProps(cursor, &properties), DBIERR_NONE);
    std::vector<FLDDesc> fields(properties.iFields);
    EXPECT_EQ(DbiGetFieldDescs(cursor, fields.data()), DBIERR_NONE);
    std::vector<BYTE> record(properties.iRecBufSize);
    EXPECT_EQ(DbiGetNextRecord(cursor, dbiNOLOCK, record.data(), nullptr), DBIERR_NONE);
    std::vector<std::string> values;
    for (const std::string& name : names) {
        for (const FLDDesc& field : fields) {
            if (name != field.szName) continue;
            EXPECT_EQ(field.iFldType, fldZSTRING);
            std::vector<BYTE> value(field.iLen, 0xCC);
            BOOL blank = FALSE;
            EXPECT_EQ(DbiGetField(cursor, field.iFldNum, record.data(), value.data(), &blank),
                      DBIERR_NONE);
            values.push_back(blank ? "<null>" : reinterpret_cast<const char*>(value.data()));
        }
    }
    return values;
}

// One process, one engine session: the tests below run in this order.
class Engine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        config_ =
            std::string(temp) + "idapi-test-" + std::to_string(GetCurrentProcessId()) + ".cfg";
        std::ofstream(config_, std::ios::binary)
            << "[trvn_data]\r\nDRIVER=VORLIX\r\nSERVER NAME=ELSEWHERE\r\n";
    }
    static void TearDownTestSuite() {
        DbiExit();
        DeleteFileA(config_.c_str());
    }

    static inline std::string config_;
};

TEST_F(Engine, RefusesCallsBeforeItStartsAndReadsItsConfigurationAtStart) {
    hDBICur cursor = nullptr;
    EXPECT_EQ(DbiOpenDatabaseList(&cursor), DBIERR_NOTINITIALIZED);
    EXPECT_EQ(errorText(), "Engine not initialized.");
    DBIEnv environment{};
    std::strcpy(environment.szIniFile, config_.c_str());
    ASSERT_EQ(DbiInitFn(DBIINTFVER, &environment), DBIERR_NONE);
    EXPECT_EQ(aliasNames(), std::vector<std::string>{"trvn_data/VORLIX/ELSEWHERE"});
}

TEST_F(Engine, AddsAliasesRefusingOnesThatDifferOnlyInCaseAndSavesThePersistentOnes) {
    char params[] = "SERVER NAME: X;USER NAME: dlv";
    EXPECT_EQ(DbiAddAlias(nullptr, const_cast<char*>("TRVN_DATA"), const_cast<char*>("VORLIX"),
                          params, TRUE),
              DBIERR_NAMENOTUNIQUE);
    EXPECT_EQ(errorText(),
              "Name not unique in this context.|Duplicate database alias name: "
              "TRVN_DATA (exists as trvn_data)");
    EXPECT_EQ(DbiAddAlias(nullptr, const_cast<char*>("DELIVERY"), const_cast<char*>("VORLIX"),
                          params, TRUE),
              DBIERR_NONE);
    char quoted[] = " SERVER NAME : \"A;B\" ";
    EXPECT_EQ(DbiAddAlias(nullptr, const_cast<char*>("SCRATCH"), const_cast<char*>("VORLIX"),
                          quoted, FALSE),
              DBIERR_NONE);
    char broken[] = "NO VALUE";
    EXPECT_EQ(DbiAddAlias(nullptr, const_cast<char*>("BROKEN"), const_cast<char*>("VORLIX"), broken,
                          TRUE),
              DBIERR_INVALIDPARAM);
    EXPECT_EQ(aliasNames(), (std::vector<std::string>{"trvn_data/VORLIX/ELSEWHERE",
                                                      "DELIVERY/VORLIX/X", "SCRATCH/VORLIX/A;B"}));
    ASSERT_EQ(DbiCfgSave(nullptr, nullptr, TRUE), DBIERR_NONE);
    EXPECT_EQ(fileText(config_),
              "; database engine aliases\r\n\r\n[trvn_data]\r\nDRIVER=VORLIX\r\nSERVER "
              "NAME=ELSEWHERE\r\n\r\n[DELIVERY]\r\nDRIVER=VORLIX\r\nSERVER NAME=X\r\nUSER "
              "NAME=dlv\r\n");
}

TEST_F(Engine, ConnectsWithTheOptionalFieldsOverTheAliasAndReadsFieldsAsText) {
    TestInstance instance(kDescription);
    setDriverSetting(L"DLL32", L"SQLVLX8.DLL");
    setDriverSetting(L"VENDOR INIT", vorlix::test::binDirectory() + L"\\VCI.dll");
    const std::vector<std::pair<std::string, std::string>> connection = {{"SERVER NAME", "BDETEST"},
                                                                         {"USER NAME", "dlv"},
                                                                         {"LANGDRIVER", ""},
                                                                         {"PASSWORD", "dlv4826"}};

    hDBIDb database = nullptr;
    ASSERT_EQ(open("TRVN_DATA", OptionalFields(connection), &database), DBIERR_NONE) << errorText();
    hDBICur cursor = nullptr;
    char sql[] = "  SELECT * FROM VERSMP \r\n   WHERE EXFILE = 'VEZerez.exe'  \r\n";
    ASSERT_EQ(DbiQExecDirect(database, qrylangSQL, sql, &cursor), DBIERR_NONE) << errorText();
    EXPECT_EQ(firstRow(cursor, {"VERSON", "EXSIZE", "UPTEXT", "EXFILE"}),
              (std::vector<std::string>{"VZ-2", "1,234,567", "<null>", "VEZerez.exe"}));
    BYTE value[8];
    EXPECT_EQ(DbiGetField(cursor, 6, nullptr, value, nullptr), DBIERR_OUTOFRANGE);
    EXPECT_EQ(DbiGetNextRecord(cursor, dbiNOLOCK, nullptr, nullptr), DBIERR_EOF);
    EXPECT_EQ(DbiCloseCursor(&cursor), DBIERR_NONE);

    char none[] = "SELECT * FROM VERSMP WHERE EXFILE = 'none.exe'";
    ASSERT_EQ(DbiQExecDirect(database, qrylangSQL, none, &cursor), DBIERR_NONE);
    EXPECT_EQ(DbiGetNextRecord(cursor, dbiNOLOCK, nullptr, nullptr), DBIERR_EOF);
    // Closing the database closes its cursors too.
    EXPECT_EQ(DbiCloseDatabase(&database), DBIERR_NONE);
    EXPECT_EQ(DbiGetNextRecord(cursor, dbiNOLOCK, nullptr, nullptr), DBIERR_INVALIDHNDL);

    std::vector<std::pair<std::string, std::string>> wrong = connection;
    wrong.back().second = "nopenop";
    EXPECT_EQ(open("trvn_data", OptionalFields(wrong), &database), DBIERR_UNKNOWNSQL);
    EXPECT_EQ(errorText().find("General SQL error.|Unable to connect to database "
                               "trvn_data|VLX-01017"),
              0u)
        << errorText();
    EXPECT_EQ(database, nullptr);
    EXPECT_EQ(open("NOWHERE", OptionalFields(connection), &database), DBIERR_UNKNOWNDB);
    EXPECT_EQ(errorText(), "Unknown database.|Unknown database: NOWHERE");
}

TEST_F(Engine, NeedsTheDriverSettings) {
    hDBIDb database = nullptr;
    setDriverSetting(L"DLL32", L"SQLOTHER.DLL");
    EXPECT_EQ(open("TRVN_DATA", OptionalFields({}), &database), DBIERR_CANTLOADLIBRARY);
    EXPECT_EQ(errorText(), "Cannot load a library of the engine.|SQLOTHER.DLL");
    setDriverSetting(L"DLL32", L"SQLVLX8.DLL");
    setDriverSetting(L"VENDOR INIT", L"NOSUCH.DLL");
    EXPECT_EQ(open("TRVN_DATA", OptionalFields({}), &database), DBIERR_CANTLOADLIBRARY);
    EXPECT_EQ(errorText().find("Cannot load a library of the engine.|NOSUCH.DLL|error "), 0u);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kDriverKey, L"VENDOR INIT");
    EXPECT_EQ(open("TRVN_DATA", OptionalFields({}), &database), DBIERR_UNKNOWNDRIVER);
    EXPECT_EQ(errorText(),
              "Driver not known to system.|VORLIX|Driver VORLIX is not configured: "
              "its setting VENDOR INIT is missing");
    setDriverSetting(L"VENDOR INIT", L"VCI.DLL");
}

TEST_F(Engine, AnswersBadHandlesAndKeepsTheLastErrorForTheErrorCalls) {
    hDBICur cursor = reinterpret_cast<hDBICur>(0x1234);
    EXPECT_EQ(DbiCloseCursor(&cursor), DBIERR_INVALIDHNDL);
    CURProps properties;
    EXPECT_EQ(DbiGetCursorProps(nullptr, &properties), DBIERR_INVALIDHNDL);
    char text[DBIMAXMSGLEN + 1];
    EXPECT_EQ(DbiGetErrorString(DBIERR_EOF, text), DBIERR_NONE);
    EXPECT_STREQ(text, "At end of table.");
    DBIErrInfo info;
    EXPECT_EQ(DbiGetErrorInfo(FALSE, &info), DBIERR_NONE);
    EXPECT_EQ(info.iError, DBIERR_INVALIDHNDL);
    EXPECT_EQ(DbiOpenDatabaseList(&cursor), DBIERR_NONE);
    EXPECT_EQ(DbiGetErrorInfo(FALSE, &info), DBIERR_NONE);
    EXPECT_EQ(info.iError, DBIERR_NONE);
    EXPECT_EQ(DbiCloseCursor(&cursor), DBIERR_NONE);
}

}  // namespace
