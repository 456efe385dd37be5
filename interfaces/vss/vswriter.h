// Interface of the platform's shadow-copy writer framework, vssapi.dll.
#pragma once
// The writer side of the shadow-copy service: mingw-w64's declarations of
// the document interfaces, plus the writer base class they lack. A writer
// derives from CVssWriter, overrides the event methods and links vssapi.

#include_next <vswriter.h>

#ifdef VSSAPI_BUILDING
#define VSSAPI_CLASS __declspec(dllexport)
#else
#define VSSAPI_CLASS __declspec(dllimport)
#endif

class CVssWriterImpl;

class VSSAPI_CLASS CVssWriter {
public:
    CVssWriter();
    virtual ~CVssWriter();

    HRESULT STDMETHODCALLTYPE
    Initialize(VSS_ID WriterID, LPCWSTR wszWriterName, VSS_USAGE_TYPE ut, VSS_SOURCE_TYPE st,
               VSS_APPLICATION_LEVEL nLevel = VSS_APP_FRONT_END, DWORD dwTimeoutFreeze = 60000,
               VSS_ALTERNATE_WRITER_STATE aws = VSS_AWS_NO_ALTERNATE_WRITER,
               bool bIOThrottlingOnly = false, LPCWSTR wszWriterInstanceName = NULL);
    HRESULT STDMETHODCALLTYPE Subscribe(DWORD dwEventFlags = VSS_SM_BACKUP_EVENTS_FLAG |
                                                             VSS_SM_RESTORE_EVENTS_FLAG);
    HRESULT STDMETHODCALLTYPE Unsubscribe();

    // Valid while an event is being delivered, on the event's thread.
    const VSS_ID* STDMETHODCALLTYPE GetCurrentSnapshotSetId();
    LONG STDMETHODCALLTYPE GetCurrentVolumeCount();
    VSS_APPLICATION_LEVEL STDMETHODCALLTYPE GetCurrentLevel();
    bool STDMETHODCALLTYPE IsPathAffected(LPCWSTR wszPath);
    bool STDMETHODCALLTYPE IsBootableSystemStateBackedUp();
    bool STDMETHODCALLTYPE AreComponentsSelected();
    VSS_BACKUP_TYPE STDMETHODCALLTYPE GetBackupType();
    VSS_RESTORE_TYPE STDMETHODCALLTYPE GetRestoreType();
    bool STDMETHODCALLTYPE IsPartialFileSupportEnabled();
    HRESULT STDMETHODCALLTYPE SetWriterFailure(HRESULT hr);

    // The events, in the order of their slots.
    virtual bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* pMetadata);
    virtual bool STDMETHODCALLTYPE OnPrepareBackup(IVssWriterComponents* pComponent);
    virtual bool STDMETHODCALLTYPE OnPrepareSnapshot() = 0;
    virtual bool STDMETHODCALLTYPE OnFreeze() = 0;
    virtual bool STDMETHODCALLTYPE OnThaw() = 0;
    virtual bool STDMETHODCALLTYPE OnAbort() = 0;
    virtual bool STDMETHODCALLTYPE OnBackupComplete(IVssWriterComponents* pComponent);
    virtual bool STDMETHODCALLTYPE OnBackupShutdown(VSS_ID SnapshotSetId);
    virtual bool STDMETHODCALLTYPE OnPreRestore(IVssWriterComponents* pComponent);
    virtual bool STDMETHODCALLTYPE OnPostRestore(IVssWriterComponents* pComponent);
    virtual bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* pComponent);
    virtual bool STDMETHODCALLTYPE OnBackOffIOOnVolume(VSS_PWSZ wszVolumeName, VSS_ID snapshotId,
                                                       VSS_ID providerId);
    virtual bool STDMETHODCALLTYPE OnContinueIOOnVolume(VSS_PWSZ wszVolumeName, VSS_ID snapshotId,
                                                        VSS_ID providerId);
    virtual bool STDMETHODCALLTYPE OnVSSShutdown();
    virtual bool STDMETHODCALLTYPE OnVSSApplicationStartup();

private:
    CVssWriter(const CVssWriter&) = delete;
    CVssWriter& operator=(const CVssWriter&) = delete;

    CVssWriterImpl* m_pWrapper;
};
