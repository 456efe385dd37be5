// The ZIP reader over any bytes: it either refuses the archive with ZipError
// or hands out exactly the bytes each entry records.

#include <cstring>

#include "fuzz/fuzz_input.h"
#include "launcher/zip_archive.h"

namespace {

using namespace launcher::zip;

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void read(std::uint64_t offset, void* buffer, std::size_t count) override {
        fuzzing::require(offset <= bytes_.size() && count <= bytes_.size() - offset,
                         "the reader stays inside the archive");
        std::memcpy(buffer, bytes_.data() + offset, count);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

void checkTime(const Entry& entry) {
    const std::optional<LocalTime> time = modificationTime(entry);
    if (!time) return;
    fuzzing::require(time->month >= 1 && time->month <= 12 && time->day >= 1 && time->day <= 31 &&
                         time->hour <= 23 && time->minute <= 59 && time->second <= 59,
                     "a modification time names a real moment");
}

void extractChecked(MemorySource& source, const Entry& entry) {
    std::uint64_t received = 0;
    try {
        extractEntry(source, entry,
                     [&received](const std::uint8_t*, std::size_t size) { received += size; });
    } catch (const ZipError&) {
        return;
    }
    fuzzing::require(received == entry.uncompressedSize, "an entry yields its recorded size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    MemorySource source(input.restAsBytes());
    std::vector<Entry> entries;
    try {
        entries = readDirectory(source);
    } catch (const ZipError&) {
        return 0;
    }
    for (const Entry& entry : entries) {
        fuzzing::require(entry.dataOffset + entry.compressedSize <= source.size(),
                         "an entry's data lies inside the archive");
        checkTime(entry);
        extractChecked(source, entry);
    }
    return 0;
}
