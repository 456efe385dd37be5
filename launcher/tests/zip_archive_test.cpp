// The ZIP container reader against archives built here and then damaged.

#include "launcher/zip_archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "launcher/tests/zip_builder.h"

namespace launcher::zip {
namespace {

using testing::ZipBuilder;

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void read(std::uint64_t offset, void* buffer, std::size_t count) override {
        std::memcpy(buffer, bytes_.data() + offset, count);
    }

private:
    std::string bytes_;
};

std::string extracted(ByteSource& source, const Entry& entry) {
    std::string out;
    extractEntry(source, entry, [&out](const std::uint8_t* data, std::size_t size) {
        out.append(reinterpret_cast<const char*>(data), size);
    });
    return out;
}

std::string randomBytes(std::size_t size) {
    std::mt19937 generator(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

std::string errorOf(const std::string& archive) {
    MemorySource source(archive);
    try {
        for (const Entry& entry : readDirectory(source)) extracted(source, entry);
    } catch (const ZipError& error) {
        return error.what();
    }
    return "";
}

TEST(ZipArchive, ReadsStoredDeflatedAndFolderEntries) {
    const std::string big = randomBytes(300 * 1024) + std::string(200 * 1024, 'a');
    ZipBuilder builder;
    builder.add("readme.txt", "hello", ZipBuilder::Method::Stored);
    builder.add("bin/", "", ZipBuilder::Method::Stored);
    builder.add("bin/big.dll", big);
    builder.add("empty.txt", "");
    MemorySource source(builder.finish("a comment"));
    const std::vector<Entry> entries = readDirectory(source);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "readme.txt");
    EXPECT_TRUE(entries[0].utf8Name);
    EXPECT_TRUE(entries[1].isDirectory());
    EXPECT_FALSE(entries[2].isDirectory());
    EXPECT_EQ(extracted(source, entries[0]), "hello");
    EXPECT_EQ(extracted(source, entries[2]), big);
    EXPECT_EQ(extracted(source, entries[3]), "");
}

TEST(ZipArchive, RefusesWhatIsNoArchive) {
    EXPECT_EQ(errorOf(""), "the file is too short to be a ZIP archive");
    EXPECT_EQ(errorOf(std::string(100, 'x')),
              "not a ZIP archive (no end of central directory record)");
    ZipBuilder builder;
    builder.add("a.exe", "program");
    const std::string archive = builder.finish();
    // A download cut short loses the central directory at the end.
    EXPECT_EQ(errorOf(archive.substr(0, archive.size() - 30)),
              "not a ZIP archive (no end of central directory record)");
}

TEST(ZipArchive, FindsDamageInEveryPart) {
    ZipBuilder builder;
    builder.add("a.exe", randomBytes(5000) + std::string(5000, 'z'));
    const std::string good = builder.finish();
    const std::size_t directory = good.find("PK\x01\x02");
    ASSERT_NE(directory, std::string::npos);
    auto damaged = [&good](std::size_t offset, char value) {
        std::string bytes = good;
        bytes[offset] = value;
        return errorOf(bytes);
    };
    EXPECT_EQ(damaged(0, 'X'), "entry 'a.exe' has no local header where the directory says");
    EXPECT_EQ(damaged(30, 'b'), "entry 'a.exe' has a different name in its local header");
    EXPECT_EQ(damaged(directory, 'X'), "central directory record 1 is damaged");
    EXPECT_EQ(damaged(directory + 16, static_cast<char>(good[directory + 16] ^ 1)),
              "entry 'a.exe' fails its CRC check");
    EXPECT_EQ(damaged(directory + 24, static_cast<char>(good[directory + 24] + 1)),
              "entry 'a.exe' holds less data than recorded");
    EXPECT_EQ(damaged(directory + 24, static_cast<char>(good[directory + 24] - 1)),
              "entry 'a.exe' holds more data than recorded");
    EXPECT_EQ(damaged(directory + 10, 12),
              "entry 'a.exe' uses an unsupported compression method 12");
    EXPECT_EQ(damaged(directory + 8, 1), "entry 'a.exe' is encrypted");
    // Flipped bits in the compressed data: zlib or the CRC catches every one.
    for (std::size_t offset = 40; offset < directory; offset += 97) {
        EXPECT_NE(damaged(offset, static_cast<char>(good[offset] ^ 0x10)), "") << offset;
    }
}

TEST(ZipArchive, RefusesWhatItCannotVouchFor) {
    ZipBuilder builder;
    builder.add("a.exe", "program", ZipBuilder::Method::Stored);
    std::string archive = builder.finish();
    const std::size_t end = archive.size() - 22;
    std::string multiVolume = archive;
    multiVolume[end + 4] = 1;
    EXPECT_EQ(errorOf(multiVolume), "archives spread over several volumes are not supported");
    std::string zip64 = archive;
    std::memset(zip64.data() + end + 16, 0xFF, 4);
    EXPECT_EQ(errorOf(zip64), "ZIP64 archives are not supported");
    std::string pastEnd = archive;
    pastEnd[end + 12] = 0x70;
    EXPECT_EQ(errorOf(pastEnd), "the central directory overlaps the end record");
}

TEST(ZipArchive, ReadsModificationTimesAndRefusesImpossibleOnes) {
    const auto timeOf = [](std::uint16_t time, std::uint16_t date) {
        ZipBuilder builder;
        builder.add("a", "x", ZipBuilder::Method::Stored, {true, time, date});
        MemorySource source(builder.finish());
        return modificationTime(readDirectory(source).at(0));
    };
    // 2024-02-29 23:59:58: a leap day, the last two-second step of the day.
    const std::optional<LocalTime> leapDay =
        timeOf(23 << 11 | 59 << 5 | 29, (2024 - 1980) << 9 | 2 << 5 | 29);
    ASSERT_TRUE(leapDay);
    EXPECT_EQ(std::vector<int>({leapDay->year, leapDay->month, leapDay->day, leapDay->hour,
                                leapDay->minute, leapDay->second}),
              std::vector<int>({2024, 2, 29, 23, 59, 58}));
    EXPECT_FALSE(timeOf(0, 0)) << "no date recorded";
    EXPECT_FALSE(timeOf(0, (2023 - 1980) << 9 | 2 << 5 | 29)) << "2023 has no leap day";
    EXPECT_FALSE(timeOf(0, (2023 - 1980) << 9 | 13 << 5 | 1)) << "month 13";
    EXPECT_FALSE(timeOf(24 << 11, (2023 - 1980) << 9 | 1 << 5 | 1)) << "hour 24";
    EXPECT_FALSE(timeOf(60 << 5, (2023 - 1980) << 9 | 1 << 5 | 1)) << "minute 60";
}

}  // namespace
}  // namespace launcher::zip
