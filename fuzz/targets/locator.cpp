// The wallet locator split in place: whatever the host passes and whatever
// length it claims within its block, the parts found are NUL-ended texts
// inside that block, and no byte past it is read or written.

#include "fuzz/fuzz_input.h"
#include "wallet/entrust/locator.h"

namespace {

void checkPart(const char* part, const std::vector<std::uint8_t>& block, std::uint32_t length) {
    if (part == nullptr) return;
    const auto* begin = reinterpret_cast<const char*>(block.data());
    fuzzing::require(part >= begin && part < begin + length, "a part lies inside the text");
    const auto* end = static_cast<const char*>(std::memchr(part, '\0', begin + length - part));
    fuzzing::require(end != nullptr && end > part, "a part is a text of its own, not empty");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const bool countsWholeBlock = input.flag();
    const auto claimed = input.number<std::uint32_t>();
    std::vector<std::uint8_t> block = input.restAsBytes();
    // The host's length never exceeds what it passed: the whole block, or a
    // shorter count the input chooses.
    const auto length = static_cast<std::uint32_t>(
        countsWholeBlock || block.empty() ? block.size() : claimed % (block.size() + 1));
    const kmpwallet::LocatorParts parts =
        kmpwallet::splitLocator(reinterpret_cast<char*>(block.data()), length);
    if (!parts.entrust) {
        fuzzing::require(parts.profile == nullptr && parts.iniFile == nullptr,
                         "only an entr: locator has parts");
    }
    checkPart(parts.profile, block, length);
    checkPart(parts.iniFile, block, length);
    return 0;
}
