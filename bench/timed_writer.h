#pragma once
// The writer with a clock around each of its events: the writer-side time
// of every event of a backup or restore, as the events ran.

#include <cstdio>
#include <string>
#include <utility>
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

    // One line per event since the last call, and forgets them.
    void printEvents(const char* label) {
        for (const auto& [event, seconds] : events_)
            std::printf("%s %-16s writer-side %8.3f s\n", label, event.c_str(), seconds);
        events_.clear();
    }

private:
    template <typename Event>
    bool timedEvent(const char* name, Event event) {
        bool result = false;
        events_.emplace_back(name, timed([&] { result = event(); }));
        return result;
    }

    std::vector<std::pair<std::string, double>> events_;
};

}  // namespace bench
