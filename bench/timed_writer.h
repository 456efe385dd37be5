#pragma once
// The writer with a clock around each of its events: the writer-side time
// of every event of a backup or restore, as the events ran.

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_writer.h"
#include "bench/timing.h"

namespace bench {

class TimedEventsWriter : public snapscribe::CVssWriterVorlix {
public:
    using Base = snapscribe::CVssWriterVorlix;

    bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* metadata) override {
        return timedEvent("Identify", [&] { return Base::OnIdentify(metadata); });
    }
    bool STDMETHODCALLTYPE OnPrepareBackup(IVssWriterComponents* components) override {
        return timedEvent("PrepareBackup", [&] { return Base::OnPrepareBackup(components); });
    }
    bool STDMETHODCALLTYPE OnPrepareSnapshot() override {
        return timedEvent("PrepareSnapshot", [&] { return Base::OnPrepareSnapshot(); });
    }
    bool STDMETHODCALLTYPE OnFreeze() override {
        return timedEvent("Freeze", [&] { return Base::OnFreeze(); });
    }
    bool STDMETHODCALLTYPE OnThaw() override {
        return timedEvent("Thaw", [&] { return Base::OnThaw(); });
    }
    bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* components) override {
        return timedEvent("PostSnapshot", [&] { return Base::OnPostSnapshot(components); });
    }
    bool STDMETHODCALLTYPE OnBackupComplete(IVssWriterComponents* components) override {
        return timedEvent("BackupComplete", [&] { return Base::OnBackupComplete(components); });
    }
    bool STDMETHODCALLTYPE OnBackupShutdown(VSS_ID snapshotSetId) override {
        return timedEvent("BackupShutdown", [&] { return Base::OnBackupShutdown(snapshotSetId); });
    }
    bool STDMETHODCALLTYPE OnAbort() override {
        return timedEvent("Abort", [&] { return Base::OnAbort(); });
    }
    bool STDMETHODCALLTYPE OnPreRestore(IVssWriterComponents* components) override {
        return timedEvent("PreRestore", [&] { return Base::OnPreRestore(components); });
    }
    bool STDMETHODCALLTYPE OnPostRestore(IVssWriterComponents* components) override {
        return timedEvent("PostRestore", [&] { return Base::OnPostRestore(components); });
    }

    // One line per event since the last call, then how long the database
    // stayed frozen, which the freeze timeout bounds; and forgets them.
    void printEvents(const char* label) {
        double frozenFrom = 0;
        for (const Event& event : events_) {
            std::printf("%s %-16s writer-side %8.3f s\n", label, event.name.c_str(),
                        event.end - event.start);
            if (event.name == "Freeze") frozenFrom = event.start;
            if (event.name == "Thaw" && frozenFrom)
                std::printf("%s frozen from Freeze to the end of Thaw %.3f s\n", label,
                            event.end - frozenFrom);
        }
        events_.clear();
    }

private:
    struct Event {
        std::string name;
        double start;
        double end;
    };

    template <typename Work>
    bool timedEvent(const char* name, Work work) {
        const double start = now();
        const bool result = work();
        events_.push_back({name, start, now()});
        return result;
    }

    std::vector<Event> events_;
};

}  // namespace bench
