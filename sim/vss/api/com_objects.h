#pragma once
// The document interfaces a writer receives in its events, over the plain
// document model. Texts go out as BSTRs the caller frees with SysFreeString;
// interfaces that derive from IUnknown are reference counted and live until
// their last Release, so a writer may keep a component beyond its event.

#include <windows.h>

#include <vswriter.h>

#include <vector>

#include "sim/vss/model/component_index.h"
#include "sim/vss/model/wire.h"

namespace vsssim {

template <typename Interface>
class RefCounted : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

protected:
    bool heldByOneOnly() const { return references_ == 1; }
    virtual ~RefCounted() = default;

private:
    LONG references_ = 1;
};

class FiledescObject final : public RefCounted<IVssWMFiledesc> {
public:
    explicit FiledescObject(const FileSpec& fileSpec) : fileSpec_(fileSpec) {}

    HRESULT STDMETHODCALLTYPE GetPath(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE GetFilespec(BSTR* filespec) override;
    HRESULT STDMETHODCALLTYPE GetRecursive(boolean* recursive) override;
    HRESULT STDMETHODCALLTYPE GetAlternateLocation(BSTR* location) override;
    HRESULT STDMETHODCALLTYPE GetBackupTypeMask(DWORD* mask) override;

private:
    FileSpec fileSpec_;
};

class ComponentObject final : public RefCounted<IVssComponent> {
public:
    ComponentObject(ComponentState state, Event event) : state_(std::move(state)), event_(event) {}

    // The state as the writer left it; given up, not copied, when no one
    // but the framework holds the component any more.
    ComponentState collectState();
    // After its event the component still answers, but changes nothing.
    void seal() { sealed_ = true; }

    HRESULT STDMETHODCALLTYPE GetLogicalPath(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE GetComponentType(VSS_COMPONENT_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetComponentName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE GetBackupSucceeded(boolean* succeeded) override;
    HRESULT STDMETHODCALLTYPE GetAlternateLocationMappingCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetAlternateLocationMapping(UINT index,
                                                          IVssWMFiledesc** filedesc) override;
    HRESULT STDMETHODCALLTYPE SetBackupMetadata(LPCWSTR data) override;
    HRESULT STDMETHODCALLTYPE GetBackupMetadata(BSTR* data) override;
    HRESULT STDMETHODCALLTYPE AddPartialFile(LPCWSTR path, LPCWSTR filename, LPCWSTR ranges,
                                             LPCWSTR metadata) override;
    HRESULT STDMETHODCALLTYPE GetPartialFileCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetPartialFile(UINT index, BSTR* path, BSTR* filename, BSTR* range,
                                             BSTR* metadata) override;
    HRESULT STDMETHODCALLTYPE IsSelectedForRestore(boolean* selected) override;
    HRESULT STDMETHODCALLTYPE GetAdditionalRestores(boolean* additional) override;
    HRESULT STDMETHODCALLTYPE GetNewTargetCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetNewTarget(UINT index, IVssWMFiledesc** filedesc) override;
    HRESULT STDMETHODCALLTYPE AddDirectedTarget(LPCWSTR sourcePath, LPCWSTR sourceFilename,
                                                LPCWSTR sourceRanges, LPCWSTR destinationPath,
                                                LPCWSTR destinationFilename,
                                                LPCWSTR destinationRanges) override;
    HRESULT STDMETHODCALLTYPE GetDirectedTargetCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetDirectedTarget(UINT index, BSTR* sourcePath, BSTR* sourceFilename,
                                                BSTR* sourceRanges, BSTR* destinationPath,
                                                BSTR* destinationFilename,
                                                BSTR* destinationRanges) override;
    HRESULT STDMETHODCALLTYPE SetRestoreMetadata(LPCWSTR data) override;
    HRESULT STDMETHODCALLTYPE GetRestoreMetadata(BSTR* data) override;
    HRESULT STDMETHODCALLTYPE SetRestoreTarget(VSS_RESTORE_TARGET target) override;
    HRESULT STDMETHODCALLTYPE GetRestoreTarget(VSS_RESTORE_TARGET* target) override;
    HRESULT STDMETHODCALLTYPE SetPreRestoreFailureMsg(LPCWSTR message) override;
    HRESULT STDMETHODCALLTYPE GetPreRestoreFailureMsg(BSTR* message) override;
    HRESULT STDMETHODCALLTYPE SetPostRestoreFailureMsg(LPCWSTR message) override;
    HRESULT STDMETHODCALLTYPE GetPostRestoreFailureMsg(BSTR* message) override;
    HRESULT STDMETHODCALLTYPE SetBackupStamp(LPCWSTR stamp) override;
    HRESULT STDMETHODCALLTYPE GetBackupStamp(BSTR* stamp) override;
    HRESULT STDMETHODCALLTYPE GetPreviousBackupStamp(BSTR* stamp) override;
    HRESULT STDMETHODCALLTYPE GetBackupOptions(BSTR* options) override;
    HRESULT STDMETHODCALLTYPE GetRestoreOptions(BSTR* options) override;
    HRESULT STDMETHODCALLTYPE GetRestoreSubcomponentCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetRestoreSubcomponent(UINT index, BSTR* logicalPath, BSTR* name,
                                                     boolean* repair) override;
    HRESULT STDMETHODCALLTYPE GetFileRestoreStatus(VSS_FILE_RESTORE_STATUS* status) override;
    HRESULT STDMETHODCALLTYPE AddDifferencedFilesByLastModifyTime(LPCWSTR path, LPCWSTR filespec,
                                                                  WINBOOL recursive,
                                                                  FILETIME lastModify) override;
    HRESULT STDMETHODCALLTYPE AddDifferencedFilesByLastModifyLSN(LPCWSTR path, LPCWSTR filespec,
                                                                 WINBOOL recursive,
                                                                 BSTR lsn) override;
    HRESULT STDMETHODCALLTYPE GetDifferencedFilesCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetDifferencedFile(UINT index, BSTR* path, BSTR* filespec,
                                                 WINBOOL* recursive, BSTR* lsn,
                                                 FILETIME* lastModify) override;

private:
    // Writers describe a backup while it is prepared and after the snapshot.
    bool backupDocumentWritable() const {
        return !sealed_ && (event_ == Event::PrepareBackup || event_ == Event::PostSnapshot);
    }
    bool eventIs(Event event) const { return !sealed_ && event_ == event; }
    HRESULT addDifferenced(LPCWSTR path, LPCWSTR filespec, WINBOOL recursive, const Text& lsn,
                           std::uint64_t lastModify);

    ComponentState state_;
    Event event_;
    bool sealed_ = false;
};

// Owned by the framework for one event; not reference counted, as on the
// platform. The components it hands out are.
class WriterComponentsObject final : public IVssWriterComponents {
public:
    WriterComponentsObject(std::vector<ComponentState> components, Event event,
                           const GUID& writerId);
    ~WriterComponentsObject();
    WriterComponentsObject(const WriterComponentsObject&) = delete;
    WriterComponentsObject& operator=(const WriterComponentsObject&) = delete;

    // The components as the event left them; seals them against later
    // changes. Once, at the event's end: components the writer no longer
    // holds give their state up.
    std::vector<ComponentState> collect();

    HRESULT STDMETHODCALLTYPE GetComponentCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetWriterInfo(VSS_ID* instanceId, VSS_ID* writerId) override;
    HRESULT STDMETHODCALLTYPE GetComponent(UINT index, IVssComponent** component) override;

private:
    std::vector<ComponentObject*> components_;
    GUID writerId_;
};

class CreateWriterMetadataObject final : public IVssCreateWriterMetadata {
public:
    explicit CreateWriterMetadataObject(const WriterMetadata& identity) : metadata_(identity) {}

    const WriterMetadata& metadata() const { return metadata_; }

    HRESULT STDMETHODCALLTYPE AddIncludeFiles(LPCWSTR path, LPCWSTR filespec, boolean recursive,
                                              LPCWSTR alternateLocation) override;
    HRESULT STDMETHODCALLTYPE AddExcludeFiles(LPCWSTR path, LPCWSTR filespec,
                                              boolean recursive) override;
    HRESULT STDMETHODCALLTYPE AddComponent(VSS_COMPONENT_TYPE type, LPCWSTR logicalPath,
                                           LPCWSTR name, LPCWSTR caption, const BYTE* icon,
                                           UINT iconBytes, boolean restoreMetadata,
                                           boolean notifyOnBackupComplete, boolean selectable,
                                           boolean selectableForRestore, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE AddDatabaseFiles(LPCWSTR logicalPath, LPCWSTR databaseName,
                                               LPCWSTR path, LPCWSTR filespec,
                                               DWORD typeMask) override;
    HRESULT STDMETHODCALLTYPE AddDatabaseLogFiles(LPCWSTR logicalPath, LPCWSTR databaseName,
                                                  LPCWSTR path, LPCWSTR filespec,
                                                  DWORD typeMask) override;
    HRESULT STDMETHODCALLTYPE AddFilesToFileGroup(LPCWSTR logicalPath, LPCWSTR groupName,
                                                  LPCWSTR path, LPCWSTR filespec, boolean recursive,
                                                  LPCWSTR alternateLocation,
                                                  DWORD typeMask) override;
    HRESULT STDMETHODCALLTYPE SetRestoreMethod(VSS_RESTOREMETHOD_ENUM method, LPCWSTR service,
                                               LPCWSTR userProcedure,
                                               VSS_WRITERRESTORE_ENUM writerRestore,
                                               boolean rebootRequired) override;
    HRESULT STDMETHODCALLTYPE AddAlternateLocationMapping(LPCWSTR sourcePath,
                                                          LPCWSTR sourceFilespec, boolean recursive,
                                                          LPCWSTR destination) override;
    HRESULT STDMETHODCALLTYPE AddComponentDependency(LPCWSTR forLogicalPath, LPCWSTR forName,
                                                     VSS_ID onWriterId, LPCWSTR onLogicalPath,
                                                     LPCWSTR onName) override;
    HRESULT STDMETHODCALLTYPE SetBackupSchema(DWORD schema) override;
    HRESULT STDMETHODCALLTYPE GetDocument(IXMLDOMDocument** document) override;
    HRESULT STDMETHODCALLTYPE SaveAsXML(BSTR* document) override;

private:
    ComponentInfo* findComponent(LPCWSTR logicalPath, LPCWSTR name);
    HRESULT addComponentFiles(LPCWSTR logicalPath, LPCWSTR name, std::uint32_t requiredType,
                              std::vector<FileSpec> ComponentInfo::*list, const FileSpec& fileSpec);

    WriterMetadata metadata_;
    ComponentIndex componentIndex_;
};

}  // namespace vsssim
