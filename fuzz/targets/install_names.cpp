// Where an archive entry may land: a name judged plain never leads out of
// the launcher's directory, and a bare file name holds no folder.

#include "fuzz/fuzz_input.h"
#include "launcher/install_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const std::wstring entryName = input.restAsWide();
    const std::wstring bare = launcher::bareFileName(entryName);
    fuzzing::require(bare.find_first_of(L"/\\") == std::wstring::npos,
                     "a bare file name holds no folder");
    fuzzing::require(entryName.ends_with(bare), "a bare file name ends the entry name");
    if (launcher::isPlainFileName(bare)) {
        fuzzing::require(!bare.empty() && bare != L"." && bare != L".." &&
                             bare.find_first_of(L":*?") == std::wstring::npos,
                         "a plain file name stays inside the directory");
    }
    return 0;
}
