// The parameter lists handed to the database engine: the alias text and the
// optional fields of the connection.

#include "launcher/engine_parameters.h"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

TEST(EngineParameters, AliasTextQuotesValuesHoldingTheSeparator) {
    EXPECT_EQ(aliasParameterText(deliveryAliasParameters(makeSettings(std::nullopt, L"KDT1"))),
              "SERVER NAME: KDT1;USER NAME: dlv");
    EXPECT_EQ(aliasParameterText({{L"PATH", L"c:\\a;b"}, {L"EMPTY", L""}}),
              "PATH: \"c:\\a;b\";EMPTY: ");
    EXPECT_EQ(aliasParameterText({}), "");
}

TEST(EngineParameters, OptionalFieldsPointAtTerminatedValuesInOrder) {
    const NamedValues parameters = connectionParameters(makeSettings(std::nullopt, L"TRVN"));
    OptionalFields fields(parameters);
    ASSERT_EQ(static_cast<std::size_t>(fields.count()), parameters.size());
    UINT16 offset = 0;
    for (UINT16 i = 0; i < fields.count(); ++i) {
        const FLDDesc& field = fields.descriptors()[i];
        const std::string value(parameters[i].second.begin(), parameters[i].second.end());
        EXPECT_EQ(field.iFldNum, i + 1);
        EXPECT_EQ(field.szName,
                  std::string(parameters[i].first.begin(), parameters[i].first.end()));
        EXPECT_EQ(field.iFldType, fldZSTRING);
        EXPECT_EQ(field.iOffset, offset);
        EXPECT_EQ(static_cast<std::size_t>(field.iLen), value.size() + 1);
        EXPECT_EQ(reinterpret_cast<const char*>(fields.values() + field.iOffset), value);
        offset = static_cast<UINT16>(offset + field.iLen);
    }
    // Empty settings (LANGDRIVER) are sent as empty texts, not left out.
    EXPECT_EQ(std::string(fields.descriptors()[5].szName), "LANGDRIVER");
    EXPECT_EQ(fields.descriptors()[5].iLen, 1);
    EXPECT_EQ(std::string(fields.descriptors()[20].szName), "PASSWORD");
}

TEST(EngineParameters, RefusesNamesLongerThanTheEngineKeeps) {
    EXPECT_THROW(OptionalFields({{std::wstring(DBIMAXNAMELEN + 1, L'N'), L"x"}}),
                 std::length_error);
    EXPECT_NO_THROW(OptionalFields({{std::wstring(DBIMAXNAMELEN, L'N'), L"x"}}));
}

}  // namespace
}  // namespace launcher
