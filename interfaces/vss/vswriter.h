// Interface of the platform's shadow-copy writer framework, vssapi.dll.
#pragma once
// The platform's shadow-copy writer base class, CVssWriter of vssapi.dll, as
// the platform lays it out under the Microsoft C++ ABI, over mingw-w64's
// declarations of the document interfaces. A writer derives from it,
// overrides the event methods and links the target vss_writer.
//
// The object: the table pointer, then the base class's one data pointer.
// The table: slot 0 the scalar deleting destructor (thiscall on 32-bit, one
// flags argument whose bit 0 frees the object), then the events in the order
// they are declared below, each __stdcall on 32-bit (x64 has one convention).
//
// GCC gives a virtual destructor two slots (complete and deleting, neither
// taking flags) where it is declared. So slot 0 is an ordinary virtual
// function that does what the platform's deleting destructor does, and the
// C++ destructor is declared after the events: its two slots follow the
// platform's table, where the platform never looks, and deleting a writer
// still runs its most derived destructor.

#include_next <vswriter.h>

#include "vssapi_exports.h"

namespace vssapi {

// A constructor built to the platform's ABI leaves its class's table in the
// object. A library that exports the names without implementing the class
// leaves none, and no writer can work with it; nor can it with a library
// lacking a member the writer finds at run time. One library serves a process.
inline bool& classImplemented() {
    static bool implemented = true;
    return implemented;
}

}  // namespace vssapi

class CVssWriter {
public:
    CVssWriter() {
        vssapi::construct(this);
        vssapi::classImplemented() =
            *reinterpret_cast<void* const*>(this) != nullptr && vssapi::runTimeMembersFound();
    }
    CVssWriter(const CVssWriter&) = delete;
    CVssWriter& operator=(const CVssWriter&) = delete;

    virtual void* __thiscall ScalarDeletingDestructor(unsigned int flags) final {
        if (flags & 1) {
            delete this;
        } else {
            this->~CVssWriter();
        }
        return this;
    }

    HRESULT Initialize(VSS_ID WriterId, LPCWSTR wszWriterName, VSS_USAGE_TYPE ut,
                       VSS_SOURCE_TYPE st, VSS_APPLICATION_LEVEL nLevel = VSS_APP_FRONT_END,
                       DWORD dwTimeoutFreeze = 60000,
                       VSS_ALTERNATE_WRITER_STATE aws = VSS_AWS_NO_ALTERNATE_WRITER,
                       bool bIOThrottlingOnly = false, LPCWSTR wszWriterInstanceName = NULL) {
        return vssapi::initialize(this, WriterId, wszWriterName, ut, st, nLevel, dwTimeoutFreeze,
                                  aws, bIOThrottlingOnly, wszWriterInstanceName);
    }
    HRESULT Subscribe(DWORD dwEventFlags = VSS_SM_BACKUP_EVENTS_FLAG | VSS_SM_RESTORE_EVENTS_FLAG) {
        return vssapi::subscribe(this, dwEventFlags);
    }
    HRESULT Unsubscribe() { return vssapi::unsubscribe(this); }

protected:
    // Valid while an event is being delivered, on the event's thread.
    VSS_ID GetCurrentSnapshotSetId() const {
        VSS_ID id;
        return *vssapi::currentSnapshotSetId(this, &id);
    }
    UINT GetCurrentVolumeCount() const { return vssapi::currentVolumeCount(this); }
    VSS_APPLICATION_LEVEL GetCurrentLevel() const { return vssapi::currentLevel(this); }
    bool IsPathAffected(LPCWSTR wszPath) const { return vssapi::isPathAffected(this, wszPath); }
    bool IsBootableSystemStateBackedUp() const {
        return vssapi::isBootableSystemStateBackedUp(this);
    }
    bool AreComponentsSelected() const { return vssapi::areComponentsSelected(this); }
    VSS_BACKUP_TYPE GetBackupType() const { return vssapi::backupType(this); }
    VSS_RESTORE_TYPE GetRestoreType() const { return vssapi::restoreType(this); }
    bool IsPartialFileSupportEnabled() const { return vssapi::isPartialFileSupportEnabled(this); }
    HRESULT SetWriterFailure(HRESULT hr) { return vssapi::setWriterFailure(this, hr); }

public:
    virtual bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* pMetadata) {
        return vssapi::onIdentify(this, pMetadata);
    }
    virtual bool STDMETHODCALLTYPE OnPrepareBackup(IVssWriterComponents* pComponent) {
        return vssapi::onPrepareBackup(this, pComponent);
    }
    virtual bool STDMETHODCALLTYPE OnPrepareSnapshot() = 0;
    virtual bool STDMETHODCALLTYPE OnFreeze() = 0;
    virtual bool STDMETHODCALLTYPE OnThaw() = 0;
    virtual bool STDMETHODCALLTYPE OnAbort() = 0;
    virtual bool STDMETHODCALLTYPE OnBackupComplete(IVssWriterComponents* pComponent) {
        return vssapi::onBackupComplete(this, pComponent);
    }
    virtual bool STDMETHODCALLTYPE OnBackupShutdown(VSS_ID SnapshotSetId) {
        return vssapi::onBackupShutdown(this, SnapshotSetId);
    }
    virtual bool STDMETHODCALLTYPE OnPreRestore(IVssWriterComponents* pComponent) {
        return vssapi::onPreRestore(this, pComponent);
    }
    virtual bool STDMETHODCALLTYPE OnPostRestore(IVssWriterComponents* pComponent) {
        return vssapi::onPostRestore(this, pComponent);
    }
    virtual bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* pComponent) {
        return vssapi::onPostSnapshot(this, pComponent);
    }
    virtual bool STDMETHODCALLTYPE OnBackOffIOOnVolume(VSS_PWSZ wszVolumeName, VSS_ID snapshotId,
                                                       VSS_ID providerId) {
        return vssapi::onBackOffIOOnVolume(this, wszVolumeName, snapshotId, providerId);
    }
    virtual bool STDMETHODCALLTYPE OnContinueIOOnVolume(VSS_PWSZ wszVolumeName, VSS_ID snapshotId,
                                                        VSS_ID providerId) {
        return vssapi::onContinueIOOnVolume(this, wszVolumeName, snapshotId, providerId);
    }
    virtual bool STDMETHODCALLTYPE OnVSSShutdown() { return vssapi::onVSSShutdown(this); }
    virtual bool STDMETHODCALLTYPE OnVSSApplicationStartup() {
        return vssapi::onVSSApplicationStartup(this);
    }

    virtual ~CVssWriter() { vssapi::destruct(this); }

private:
    void* m_pWrapper;
};

static_assert(sizeof(CVssWriter) == 2 * sizeof(void*), "the table pointer and one data pointer");
