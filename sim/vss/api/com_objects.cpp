#include "sim/vss/api/com_objects.h"

#include <oleauto.h>

#include "sim/vss/common/wide.h"

namespace vsssim {

namespace {

// Every unit is copied, whatever it is: texts come back bit-exact.
HRESULT giveText(const Text& value, BSTR* out) {
    *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.data()),
                             static_cast<UINT>(value.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// An absent text is S_FALSE with a null BSTR, telling "never set" from "empty".
HRESULT giveOptional(const OptionalText& value, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return value ? giveText(*value, out) : S_FALSE;
}

HRESULT giveTexts(std::initializer_list<std::pair<const Text*, BSTR*>> values) {
    for (const auto& [value, out] : values)
        if (!out) return E_INVALIDARG;
    for (const auto& [value, out] : values) *out = nullptr;
    for (const auto& [value, out] : values) {
        if (giveText(*value, out) == S_OK) continue;
        for (const auto& [ignored, given] : values) SysFreeString(*given);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

template <typename Value>
HRESULT giveValue(const Value& value, Value* out) {
    if (!out) return E_INVALIDARG;
    *out = value;
    return S_OK;
}

template <typename Container>
HRESULT giveCount(const Container& items, UINT* count) {
    return giveValue(static_cast<UINT>(items.size()), count);
}

HRESULT giveFiledesc(const std::vector<FileSpec>& specs, UINT index, IVssWMFiledesc** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (index >= specs.size()) return E_INVALIDARG;
    *out = new FiledescObject(specs[index]);
    return S_OK;
}

bool isGiven(LPCWSTR text) { return text != nullptr && *text != L'\0'; }

std::uint64_t fileTimeValue(const FILETIME& time) {
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

FILETIME fileTimeOf(std::uint64_t value) {
    return {static_cast<DWORD>(value & 0xFFFFFFFF), static_cast<DWORD>(value >> 32)};
}

}  // namespace

// --- IVssWMFiledesc ---------------------------------------------------------

HRESULT FiledescObject::GetPath(BSTR* path) { return giveOptional(fileSpec_.path, path); }
HRESULT FiledescObject::GetFilespec(BSTR* filespec) {
    return giveOptional(fileSpec_.filespec, filespec);
}
HRESULT FiledescObject::GetRecursive(boolean* recursive) {
    return giveValue<boolean>(fileSpec_.recursive, recursive);
}
HRESULT FiledescObject::GetAlternateLocation(BSTR* location) {
    return giveOptional(fileSpec_.alternateLocation, location);
}
HRESULT FiledescObject::GetBackupTypeMask(DWORD* mask) {
    return giveValue<DWORD>(fileSpec_.typeMask, mask);
}

// --- IVssComponent ----------------------------------------------------------

HRESULT ComponentObject::GetLogicalPath(BSTR* path) {
    return giveOptional(state_.logicalPath, path);
}
HRESULT ComponentObject::GetComponentType(VSS_COMPONENT_TYPE* type) {
    return giveValue(static_cast<VSS_COMPONENT_TYPE>(state_.type), type);
}
HRESULT ComponentObject::GetComponentName(BSTR* name) { return giveOptional(state_.name, name); }
HRESULT ComponentObject::GetBackupSucceeded(boolean* succeeded) {
    return giveValue<boolean>(state_.backupSucceeded, succeeded);
}
HRESULT ComponentObject::GetAlternateLocationMappingCount(UINT* count) {
    return giveCount(state_.alternateMappings, count);
}
HRESULT ComponentObject::GetAlternateLocationMapping(UINT index, IVssWMFiledesc** filedesc) {
    return giveFiledesc(state_.alternateMappings, index, filedesc);
}

HRESULT ComponentObject::SetBackupMetadata(LPCWSTR data) {
    if (!data) return E_INVALIDARG;
    if (!eventIs(Event::PrepareBackup)) return VSS_E_BAD_STATE;
    state_.backupMetadata = toText(data);
    return S_OK;
}
HRESULT ComponentObject::GetBackupMetadata(BSTR* data) {
    return giveOptional(state_.backupMetadata, data);
}

HRESULT ComponentObject::AddPartialFile(LPCWSTR path, LPCWSTR filename, LPCWSTR ranges,
                                        LPCWSTR metadata) {
    if (!isGiven(path) || !isGiven(filename) || !isGiven(ranges)) return E_INVALIDARG;
    if (!backupDocumentWritable()) return VSS_E_BAD_STATE;
    state_.partialFiles.push_back(
        {toText(path), toText(filename), toText(ranges), toText(metadata)});
    return S_OK;
}
HRESULT ComponentObject::GetPartialFileCount(UINT* count) {
    return giveCount(state_.partialFiles, count);
}
HRESULT ComponentObject::GetPartialFile(UINT index, BSTR* path, BSTR* filename, BSTR* range,
                                        BSTR* metadata) {
    if (index >= state_.partialFiles.size()) return E_INVALIDARG;
    const PartialFile& file = state_.partialFiles[index];
    return giveTexts({{&file.path, path},
                      {&file.filename, filename},
                      {&file.ranges, range},
                      {&file.metadata, metadata}});
}

HRESULT ComponentObject::IsSelectedForRestore(boolean* selected) {
    return giveValue<boolean>(state_.selectedForRestore, selected);
}
HRESULT ComponentObject::GetAdditionalRestores(boolean* additional) {
    return giveValue<boolean>(state_.additionalRestores, additional);
}
HRESULT ComponentObject::GetNewTargetCount(UINT* count) {
    return giveCount(state_.newTargets, count);
}
HRESULT ComponentObject::GetNewTarget(UINT index, IVssWMFiledesc** filedesc) {
    return giveFiledesc(state_.newTargets, index, filedesc);
}

HRESULT ComponentObject::AddDirectedTarget(LPCWSTR sourcePath, LPCWSTR sourceFilename,
                                           LPCWSTR sourceRanges, LPCWSTR destinationPath,
                                           LPCWSTR destinationFilename, LPCWSTR destinationRanges) {
    if (!isGiven(sourcePath) || !isGiven(sourceFilename) || !isGiven(destinationPath) ||
        !isGiven(destinationFilename))
        return E_INVALIDARG;
    if (!eventIs(Event::PreRestore)) return VSS_E_BAD_STATE;
    state_.directedTargets.push_back({toText(sourcePath), toText(sourceFilename),
                                      toText(sourceRanges), toText(destinationPath),
                                      toText(destinationFilename), toText(destinationRanges)});
    return S_OK;
}
HRESULT ComponentObject::GetDirectedTargetCount(UINT* count) {
    return giveCount(state_.directedTargets, count);
}
HRESULT ComponentObject::GetDirectedTarget(UINT index, BSTR* sourcePath, BSTR* sourceFilename,
                                           BSTR* sourceRanges, BSTR* destinationPath,
                                           BSTR* destinationFilename, BSTR* destinationRanges) {
    if (index >= state_.directedTargets.size()) return E_INVALIDARG;
    const DirectedTarget& target = state_.directedTargets[index];
    return giveTexts({{&target.sourcePath, sourcePath},
                      {&target.sourceFilename, sourceFilename},
                      {&target.sourceRanges, sourceRanges},
                      {&target.destinationPath, destinationPath},
                      {&target.destinationFilename, destinationFilename},
                      {&target.destinationRanges, destinationRanges}});
}

ComponentState ComponentObject::collectState() {
    if (heldByOneOnly()) return std::move(state_);
    return state_;
}

HRESULT ComponentObject::SetRestoreMetadata(LPCWSTR data) {
    if (!data) return E_INVALIDARG;
    if (!backupDocumentWritable()) return VSS_E_BAD_STATE;
    state_.restoreMetadata = toText(data);
    return S_OK;
}
HRESULT ComponentObject::GetRestoreMetadata(BSTR* data) {
    return giveOptional(state_.restoreMetadata, data);
}

HRESULT ComponentObject::SetRestoreTarget(VSS_RESTORE_TARGET target) {
    if (target < VSS_RT_ORIGINAL || target > VSS_RT_ORIGINAL_LOCATION) return E_INVALIDARG;
    if (!eventIs(Event::PreRestore)) return VSS_E_BAD_STATE;
    state_.restoreTarget = target;
    return S_OK;
}
HRESULT ComponentObject::GetRestoreTarget(VSS_RESTORE_TARGET* target) {
    return giveValue(static_cast<VSS_RESTORE_TARGET>(state_.restoreTarget), target);
}

HRESULT ComponentObject::SetPreRestoreFailureMsg(LPCWSTR message) {
    if (!message) return E_INVALIDARG;
    if (!eventIs(Event::PreRestore)) return VSS_E_BAD_STATE;
    state_.preRestoreFailureMsg = toText(message);
    return S_OK;
}
HRESULT ComponentObject::GetPreRestoreFailureMsg(BSTR* message) {
    return giveOptional(state_.preRestoreFailureMsg, message);
}
HRESULT ComponentObject::SetPostRestoreFailureMsg(LPCWSTR message) {
    if (!message) return E_INVALIDARG;
    if (!eventIs(Event::PostRestore)) return VSS_E_BAD_STATE;
    state_.postRestoreFailureMsg = toText(message);
    return S_OK;
}
HRESULT ComponentObject::GetPostRestoreFailureMsg(BSTR* message) {
    return giveOptional(state_.postRestoreFailureMsg, message);
}

HRESULT ComponentObject::SetBackupStamp(LPCWSTR stamp) {
    if (!stamp) return E_INVALIDARG;
    if (!backupDocumentWritable()) return VSS_E_BAD_STATE;
    state_.backupStamp = toText(stamp);
    return S_OK;
}
HRESULT ComponentObject::GetBackupStamp(BSTR* stamp) {
    return giveOptional(state_.backupStamp, stamp);
}
HRESULT ComponentObject::GetPreviousBackupStamp(BSTR* stamp) {
    return giveOptional(state_.previousBackupStamp, stamp);
}
HRESULT ComponentObject::GetBackupOptions(BSTR* options) {
    return giveOptional(state_.backupOptions, options);
}
HRESULT ComponentObject::GetRestoreOptions(BSTR* options) {
    return giveOptional(state_.restoreOptions, options);
}

HRESULT ComponentObject::GetRestoreSubcomponentCount(UINT* count) {
    return giveCount(state_.subcomponents, count);
}
HRESULT ComponentObject::GetRestoreSubcomponent(UINT index, BSTR* logicalPath, BSTR* name,
                                                boolean* repair) {
    if (index >= state_.subcomponents.size() || !repair) return E_INVALIDARG;
    const Subcomponent& sub = state_.subcomponents[index];
    HRESULT hr = giveTexts({{&sub.logicalPath, logicalPath}, {&sub.name, name}});
    if (SUCCEEDED(hr)) *repair = sub.repair;
    return hr;
}

HRESULT ComponentObject::GetFileRestoreStatus(VSS_FILE_RESTORE_STATUS* status) {
    // The requester copies every file of a selected component or none.
    return giveValue(state_.selectedForRestore ? VSS_RS_ALL : VSS_RS_NONE, status);
}

HRESULT ComponentObject::addDifferenced(LPCWSTR path, LPCWSTR filespec, WINBOOL recursive,
                                        const Text& lsn, std::uint64_t lastModify) {
    if (!isGiven(path) || !isGiven(filespec)) return E_INVALIDARG;
    if (!backupDocumentWritable()) return VSS_E_BAD_STATE;
    state_.differencedFiles.push_back(
        {toText(path), toText(filespec), recursive != FALSE, lsn, lastModify});
    return S_OK;
}
HRESULT ComponentObject::AddDifferencedFilesByLastModifyTime(LPCWSTR path, LPCWSTR filespec,
                                                             WINBOOL recursive,
                                                             FILETIME lastModify) {
    return addDifferenced(path, filespec, recursive, Text(), fileTimeValue(lastModify));
}
HRESULT ComponentObject::AddDifferencedFilesByLastModifyLSN(LPCWSTR path, LPCWSTR filespec,
                                                            WINBOOL recursive, BSTR lsn) {
    if (!lsn) return E_INVALIDARG;
    Text lsnText(reinterpret_cast<const char16_t*>(lsn), SysStringLen(lsn));
    return addDifferenced(path, filespec, recursive, lsnText, 0);
}
HRESULT ComponentObject::GetDifferencedFilesCount(UINT* count) {
    return giveCount(state_.differencedFiles, count);
}
HRESULT ComponentObject::GetDifferencedFile(UINT index, BSTR* path, BSTR* filespec,
                                            WINBOOL* recursive, BSTR* lsn, FILETIME* lastModify) {
    if (index >= state_.differencedFiles.size() || !recursive || !lastModify) return E_INVALIDARG;
    const DifferencedFile& file = state_.differencedFiles[index];
    HRESULT hr = giveTexts({{&file.path, path}, {&file.filespec, filespec}, {&file.lsn, lsn}});
    if (FAILED(hr)) return hr;
    *recursive = file.recursive;
    *lastModify = fileTimeOf(file.lastModifyTime);
    return S_OK;
}

// --- IVssWriterComponents ---------------------------------------------------

WriterComponentsObject::WriterComponentsObject(std::vector<ComponentState> components, Event event,
                                               const GUID& writerId)
    : writerId_(writerId) {
    for (ComponentState& state : components)
        components_.push_back(new ComponentObject(std::move(state), event));
}

WriterComponentsObject::~WriterComponentsObject() {
    for (ComponentObject* component : components_) component->Release();
}

std::vector<ComponentState> WriterComponentsObject::collect() {
    std::vector<ComponentState> states;
    for (ComponentObject* component : components_) {
        component->seal();
        states.push_back(component->collectState());
    }
    return states;
}

HRESULT WriterComponentsObject::GetComponentCount(UINT* count) {
    return giveCount(components_, count);
}

HRESULT WriterComponentsObject::GetWriterInfo(VSS_ID* instanceId, VSS_ID* writerId) {
    if (!instanceId || !writerId) return E_INVALIDARG;
    *instanceId = GUID_NULL;
    *writerId = writerId_;
    return S_OK;
}

HRESULT WriterComponentsObject::GetComponent(UINT index, IVssComponent** component) {
    if (!component) return E_INVALIDARG;
    *component = nullptr;
    if (index >= components_.size()) return E_INVALIDARG;
    components_[index]->AddRef();
    *component = components_[index];
    return S_OK;
}

// --- IVssCreateWriterMetadata -----------------------------------------------

HRESULT CreateWriterMetadataObject::AddIncludeFiles(LPCWSTR path, LPCWSTR filespec,
                                                    boolean recursive, LPCWSTR alternateLocation) {
    if (!isGiven(path) || !isGiven(filespec)) return E_INVALIDARG;
    metadata_.includeFiles.push_back(
        {toText(path), toText(filespec), recursive != 0, toText(alternateLocation), 0xF0F});
    return S_OK;
}

HRESULT CreateWriterMetadataObject::AddExcludeFiles(LPCWSTR path, LPCWSTR filespec,
                                                    boolean recursive) {
    if (!isGiven(path) || !isGiven(filespec)) return E_INVALIDARG;
    metadata_.excludeFiles.push_back({toText(path), toText(filespec), recursive != 0, {}, 0xF0F});
    return S_OK;
}

ComponentInfo* CreateWriterMetadataObject::findComponent(LPCWSTR logicalPath, LPCWSTR name) {
    return componentIndex_.find(metadata_.components, toText(logicalPath), toText(name));
}

HRESULT CreateWriterMetadataObject::AddComponent(VSS_COMPONENT_TYPE type, LPCWSTR logicalPath,
                                                 LPCWSTR name, LPCWSTR caption, const BYTE* icon,
                                                 UINT iconBytes, boolean restoreMetadata,
                                                 boolean notifyOnBackupComplete, boolean selectable,
                                                 boolean selectableForRestore, DWORD flags) {
    if (!isGiven(name) || (type != VSS_CT_DATABASE && type != VSS_CT_FILEGROUP) ||
        (iconBytes > 0 && !icon))
        return E_INVALIDARG;
    if (findComponent(logicalPath, name)) return VSS_E_OBJECT_ALREADY_EXISTS;
    ComponentInfo info;
    info.type = type;
    info.logicalPath = toText(logicalPath);
    info.name = toText(name);
    info.caption = toText(caption);
    info.iconBytes = iconBytes;
    info.restoreMetadata = restoreMetadata != 0;
    info.notifyOnBackupComplete = notifyOnBackupComplete != 0;
    info.selectable = selectable != 0;
    info.selectableForRestore = selectableForRestore != 0;
    info.flags = flags;
    metadata_.components.push_back(info);
    return S_OK;
}

HRESULT CreateWriterMetadataObject::addComponentFiles(LPCWSTR logicalPath, LPCWSTR name,
                                                      std::uint32_t requiredType,
                                                      std::vector<FileSpec> ComponentInfo::*list,
                                                      const FileSpec& fileSpec) {
    if (!isGiven(name) || fileSpec.path.empty() || fileSpec.filespec.empty()) return E_INVALIDARG;
    ComponentInfo* info = findComponent(logicalPath, name);
    if (!info) return VSS_E_OBJECT_NOT_FOUND;
    if (info->type != requiredType) return E_INVALIDARG;
    (info->*list).push_back(fileSpec);
    return S_OK;
}

HRESULT CreateWriterMetadataObject::AddDatabaseFiles(LPCWSTR logicalPath, LPCWSTR databaseName,
                                                     LPCWSTR path, LPCWSTR filespec,
                                                     DWORD typeMask) {
    return addComponentFiles(logicalPath, databaseName, kDatabaseComponent,
                             &ComponentInfo::databaseFiles,
                             {toText(path), toText(filespec), false, {}, typeMask});
}

HRESULT CreateWriterMetadataObject::AddDatabaseLogFiles(LPCWSTR logicalPath, LPCWSTR databaseName,
                                                        LPCWSTR path, LPCWSTR filespec,
                                                        DWORD typeMask) {
    return addComponentFiles(logicalPath, databaseName, kDatabaseComponent,
                             &ComponentInfo::logFiles,
                             {toText(path), toText(filespec), false, {}, typeMask});
}

HRESULT CreateWriterMetadataObject::AddFilesToFileGroup(LPCWSTR logicalPath, LPCWSTR groupName,
                                                        LPCWSTR path, LPCWSTR filespec,
                                                        boolean recursive,
                                                        LPCWSTR alternateLocation, DWORD typeMask) {
    return addComponentFiles(
        logicalPath, groupName, kFileGroupComponent, &ComponentInfo::groupFiles,
        {toText(path), toText(filespec), recursive != 0, toText(alternateLocation), typeMask});
}

HRESULT CreateWriterMetadataObject::SetRestoreMethod(VSS_RESTOREMETHOD_ENUM method, LPCWSTR service,
                                                     LPCWSTR userProcedure,
                                                     VSS_WRITERRESTORE_ENUM writerRestore,
                                                     boolean rebootRequired) {
    if (method <= VSS_RME_UNDEFINED || method > VSS_RME_RESTORE_STOP_START ||
        writerRestore <= VSS_WRE_UNDEFINED || writerRestore > VSS_WRE_ALWAYS)
        return E_INVALIDARG;
    if (metadata_.restoreMethod.set) return VSS_E_OBJECT_ALREADY_EXISTS;
    metadata_.restoreMethod = {
        static_cast<std::uint32_t>(method),        toText(service),     toText(userProcedure),
        static_cast<std::uint32_t>(writerRestore), rebootRequired != 0, true};
    return S_OK;
}

HRESULT CreateWriterMetadataObject::AddAlternateLocationMapping(LPCWSTR sourcePath,
                                                                LPCWSTR sourceFilespec,
                                                                boolean recursive,
                                                                LPCWSTR destination) {
    if (!isGiven(sourcePath) || !isGiven(sourceFilespec) || !isGiven(destination))
        return E_INVALIDARG;
    metadata_.alternateMappings.push_back(
        {toText(sourcePath), toText(sourceFilespec), recursive != 0, toText(destination), 0xF0F});
    return S_OK;
}

HRESULT CreateWriterMetadataObject::AddComponentDependency(LPCWSTR forLogicalPath, LPCWSTR forName,
                                                           VSS_ID onWriterId, LPCWSTR onLogicalPath,
                                                           LPCWSTR onName) {
    if (!isGiven(forName) || !isGiven(onName)) return E_INVALIDARG;
    if (!findComponent(forLogicalPath, forName)) return VSS_E_OBJECT_NOT_FOUND;
    metadata_.dependencies.push_back({toText(forLogicalPath), toText(forName), guidText(onWriterId),
                                      toText(onLogicalPath), toText(onName)});
    return S_OK;
}

HRESULT CreateWriterMetadataObject::SetBackupSchema(DWORD schema) {
    metadata_.backupSchema = schema;
    return S_OK;
}

HRESULT CreateWriterMetadataObject::GetDocument(IXMLDOMDocument** document) {
    // The metadata is kept in this system's own text form, not as a DOM.
    if (document) *document = nullptr;
    return E_NOTIMPL;
}

HRESULT CreateWriterMetadataObject::SaveAsXML(BSTR* document) {
    if (!document) return E_INVALIDARG;
    return giveText(fromAscii(textOf(metadata_)), document);
}

}  // namespace vsssim
