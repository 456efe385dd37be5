#include "sim/vorlix/vci/conversions.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vci {
namespace {

using vorlix::Value;

double roundTrip(double n) {
    std::string bytes = encodeVarnum(n);
    EXPECT_EQ(size_t(static_cast<unsigned char>(bytes[0])), bytes.size() - 1);
    return decodeVarnum(reinterpret_cast<const unsigned char*>(bytes.data()) + 1, bytes.size() - 1);
}

TEST(Varnum, KnownEncodingsAndRoundTrips) {
    EXPECT_EQ(encodeVarnum(0), std::string("\x01\x80", 2));
    EXPECT_EQ(encodeVarnum(1), std::string("\x02\xC1\x02", 3));
    EXPECT_EQ(encodeVarnum(100), std::string("\x02\xC2\x02", 3));
    EXPECT_EQ(encodeVarnum(-1), std::string("\x03\x3E\x64\x66", 4));
    for (double n : {1.0, 99.0, 101.0, 1234567.0, 4294967295.0, 0.5, 12.25, -7.0, -123456.0, 1e15})
        EXPECT_EQ(roundTrip(n), n) << n;
}

TEST(Dates, SevenByteFormRoundTripsAndRefusesNonDates) {
    std::string bytes = encodeDate("2024-03-09 13:05:07");
    ASSERT_EQ(bytes.size(), 7u);
    EXPECT_EQ(bytes, std::string("\x78\x7C\x03\x09\x0E\x06\x08", 7));
    EXPECT_EQ(decodeDate(reinterpret_cast<const unsigned char*>(bytes.data())),
              "2024-03-09 13:05:07");
    EXPECT_TRUE(encodeDate("yesterday").empty());
}

TEST(Targets, TextIsCutWithTheFullLengthInTheIndicator) {
    char buffer[4];
    int16_t indicator = 0;
    uint16_t length = 0, code = 0;
    Target t{buffer, sizeof buffer, SQLT_STR, &indicator, &length, &code};
    EXPECT_EQ(writeValue(Value::text("ABCDEF"), t), 1406);
    EXPECT_STREQ(buffer, "ABC");
    EXPECT_EQ(indicator, 6);
    EXPECT_EQ(code, 1406);
    EXPECT_EQ(writeValue(Value::text("AB"), t), 0);
    EXPECT_EQ(indicator, 0);
    EXPECT_EQ(writeValue(Value(), t), 0);
    EXPECT_EQ(indicator, -1);
    EXPECT_STREQ(buffer, "");
}

TEST(Targets, NumbersGoIntoIntegersOfEachWidthAndTextThatIsNoNumberIsRefused) {
    int16_t small = 0;
    EXPECT_EQ(writeValue(Value::text("42"), Target{&small, 2, SQLT_INT, nullptr, nullptr, nullptr}),
              0);
    EXPECT_EQ(small, 42);
    uint32_t retval = 0;
    writeValue(Value::number(-1), Target{&retval, 4, SQLT_UIN, nullptr, nullptr, nullptr});
    EXPECT_EQ(int32_t(retval), -1);  // the writer reads it back as signed
    int64_t big = 0;
    writeValue(Value::number(8589934592.0), Target{&big, 8, SQLT_INT, nullptr, nullptr, nullptr});
    EXPECT_EQ(big, 8589934592LL);
    EXPECT_THROW(
        writeValue(Value::text("abc"), Target{&small, 2, SQLT_INT, nullptr, nullptr, nullptr}),
        vorlix::DbError);
    EXPECT_THROW(
        writeValue(Value::number(1), Target{&small, 3, SQLT_INT, nullptr, nullptr, nullptr}),
        vorlix::DbError);
}

TEST(Targets, BindValuesAreReadByTypeAndANullIndicatorWins) {
    char text[8] = "ABC";
    int16_t minusOne = -1;
    EXPECT_EQ(readValue(Target{text, sizeof text, SQLT_STR, nullptr, nullptr, nullptr}).asText(),
              "ABC");
    EXPECT_TRUE(
        readValue(Target{text, sizeof text, SQLT_STR, &minusOne, nullptr, nullptr}).isNull());
    uint16_t dest = 3;
    EXPECT_EQ(readValue(Target{&dest, 2, SQLT_UIN, nullptr, nullptr, nullptr}).asNumber(), 3);
    std::string number = encodeVarnum(1234.5);
    EXPECT_EQ(readValue(Target{number.data(), 22, SQLT_VNU, nullptr, nullptr, nullptr}).asNumber(),
              1234.5);
    unsigned char noDate[7] = {};
    EXPECT_TRUE(readValue(Target{noDate, 7, SQLT_DAT, nullptr, nullptr, nullptr}).isNull());
}

}  // namespace
}  // namespace vci
