#include "writer_settings.h"

#include <cwctype>

namespace snapscribe {

Phase phaseFromLetter(wchar_t letter) {
    switch (std::towlower(letter)) {
        case L'y': return PhaseIdentify;
        case L'b': return PhasePrepareForBackup;
        case L's': return PhasePrepareForSnapshot;
        case L'f': return PhaseFreeze;
        case L't': return PhaseThaw;
        case L'n': return PhasePostSnapshot;
        case L'a': return PhaseAbort;
        case L'c': return PhaseBackupComplete;
        case L'z': return PhaseBackupShutdown;
        case L'r': return PhasePreRestore;
        case L'o': return PhasePostRestore;
        default: return PhaseNone;
    }
}

WriterSettings& writerSettings() {
    static WriterSettings settings;
    return settings;
}

}  // namespace snapscribe
