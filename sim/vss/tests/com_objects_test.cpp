// The document interfaces as a writer sees them: BSTR and reference-count
// rules, and which event may change what.

#include <gtest/gtest.h>

#include "sim/vss/api/com_objects.h"

using namespace vsssim;

namespace {

std::wstring take(BSTR text) {
    std::wstring value(text, SysStringLen(text));
    SysFreeString(text);
    return value;
}

ComponentState sampleComponent() {
    ComponentState state;
    state.logicalPath = u"ORCL";
    state.name = u"Data";
    state.backupOptions = Text(u"A\0B", 3);
    state.newTargets.push_back({u"C:\\db", u"*.dbf", true, u"D:\\alt", 0xF0F});
    return state;
}

TEST(ComObjects, TextsAreFreshBstrsAndAbsentTextsAreNull) {
    WriterComponentsObject components({sampleComponent()}, Event::PrepareBackup, GUID_NULL);
    IVssComponent* component = nullptr;
    ASSERT_EQ(components.GetComponent(0, &component), S_OK);
    BSTR options = nullptr;
    ASSERT_EQ(component->GetBackupOptions(&options), S_OK);
    EXPECT_EQ(take(options), std::wstring(L"A\0B", 3));
    BSTR stamp = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(component->GetBackupStamp(&stamp), S_FALSE);
    EXPECT_EQ(stamp, nullptr);
    EXPECT_EQ(component->GetBackupMetadata(nullptr), E_INVALIDARG);
    component->Release();
}

TEST(ComObjects, ComponentsAreCountedAndOutliveTheirEvent) {
    IVssComponent* kept = nullptr;
    {
        WriterComponentsObject components({sampleComponent()}, Event::PrepareBackup, GUID_NULL);
        ASSERT_EQ(components.GetComponent(0, &kept), S_OK);
        EXPECT_EQ(kept->AddRef(), 3u);  // the collection's, ours, this one
        EXPECT_EQ(kept->Release(), 2u);
        EXPECT_EQ(components.GetComponent(1, &kept), E_INVALIDARG);
        EXPECT_EQ(kept, nullptr);
        ASSERT_EQ(components.GetComponent(0, &kept), S_OK);
        kept->Release();
        std::vector<ComponentState> collected = components.collect();
        EXPECT_EQ(collected.size(), 1u);
    }
    // The collection is gone; our reference still answers but changes nothing.
    BSTR name = nullptr;
    ASSERT_EQ(kept->GetComponentName(&name), S_OK);
    EXPECT_EQ(take(name), L"Data");
    EXPECT_EQ(kept->SetBackupMetadata(L"late"), VSS_E_BAD_STATE);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(kept->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(kept->Release(), 0u);
}

TEST(ComObjects, EachEventMayChangeOnlyItsPartOfTheDocument) {
    WriterComponentsObject prepare({sampleComponent()}, Event::PrepareBackup, GUID_NULL);
    WriterComponentsObject complete({sampleComponent()}, Event::BackupComplete, GUID_NULL);
    WriterComponentsObject preRestore({sampleComponent()}, Event::PreRestore, GUID_NULL);
    IVssComponent *during = nullptr, *after = nullptr, *restoring = nullptr;
    prepare.GetComponent(0, &during);
    complete.GetComponent(0, &after);
    preRestore.GetComponent(0, &restoring);

    EXPECT_EQ(during->SetBackupMetadata(L"DBID=1"), S_OK);
    EXPECT_EQ(during->SetBackupStamp(L"FILETIME=1,2;"), S_OK);
    FILETIME time = {5, 6};
    EXPECT_EQ(during->AddDifferencedFilesByLastModifyTime(L"C:\\a", L"*", TRUE, time), S_OK);
    EXPECT_EQ(during->SetPreRestoreFailureMsg(L"x"), VSS_E_BAD_STATE);
    EXPECT_EQ(after->SetBackupStamp(L"FILETIME=1,2;"), VSS_E_BAD_STATE);
    EXPECT_EQ(after->SetRestoreMetadata(L"RESTORABLE=TRUE"), VSS_E_BAD_STATE);
    EXPECT_EQ(restoring->SetBackupMetadata(L"x"), VSS_E_BAD_STATE);
    EXPECT_EQ(restoring->SetPreRestoreFailureMsg(L"refused"), S_OK);
    EXPECT_EQ(restoring->SetRestoreTarget(VSS_RT_ALTERNATE), S_OK);

    during->Release();
    after->Release();
    restoring->Release();
    ComponentState changed = prepare.collect().at(0);
    EXPECT_EQ(changed.backupMetadata, OptionalText(u"DBID=1"));
    ASSERT_EQ(changed.differencedFiles.size(), 1u);
    EXPECT_EQ(changed.differencedFiles[0].lastModifyTime, 0x0000000600000005ull);
    EXPECT_TRUE(changed.differencedFiles[0].recursive);
    EXPECT_EQ(preRestore.collect().at(0).restoreTarget,
              static_cast<std::uint32_t>(VSS_RT_ALTERNATE));
}

TEST(ComObjects, NewTargetsComeAsFiledescriptions) {
    WriterComponentsObject components({sampleComponent()}, Event::PostRestore, GUID_NULL);
    IVssComponent* component = nullptr;
    components.GetComponent(0, &component);
    UINT count = 0;
    ASSERT_EQ(component->GetNewTargetCount(&count), S_OK);
    ASSERT_EQ(count, 1u);
    IVssWMFiledesc* target = nullptr;
    ASSERT_EQ(component->GetNewTarget(0, &target), S_OK);
    BSTR path = nullptr, fileSpec = nullptr, alternate = nullptr;
    boolean recursive = false;
    DWORD mask = 0;
    target->GetPath(&path);
    target->GetFilespec(&fileSpec);
    target->GetAlternateLocation(&alternate);
    target->GetRecursive(&recursive);
    target->GetBackupTypeMask(&mask);
    EXPECT_EQ(take(path), L"C:\\db");
    EXPECT_EQ(take(fileSpec), L"*.dbf");
    EXPECT_EQ(take(alternate), L"D:\\alt");
    EXPECT_TRUE(recursive);
    EXPECT_EQ(mask, 0xF0Fu);
    EXPECT_EQ(target->Release(), 0u);
    EXPECT_EQ(component->GetNewTarget(1, &target), E_INVALIDARG);
    component->Release();
}

TEST(ComObjects, MetadataRefusesFilesForMissingOrMismatchedComponents) {
    CreateWriterMetadataObject metadata(WriterMetadata{});
    EXPECT_EQ(metadata.AddComponent(VSS_CT_DATABASE, L"ORCL", L"DB", L"DB", nullptr, 0, true, true,
                                    true, true, 0),
              S_OK);
    EXPECT_EQ(metadata.AddComponent(VSS_CT_DATABASE, L"ORCL", L"DB", L"again", nullptr, 0, true,
                                    true, true, true, 0),
              VSS_E_OBJECT_ALREADY_EXISTS);
    EXPECT_EQ(metadata.AddComponent(VSS_CT_FILEGROUP, nullptr, nullptr, L"x", nullptr, 0, true,
                                    true, true, true, 0),
              E_INVALIDARG);
    EXPECT_EQ(metadata.AddDatabaseFiles(L"ORCL", L"DB", L"C:\\db", L"a.dbf", 0xF01), S_OK);
    EXPECT_EQ(metadata.AddDatabaseLogFiles(L"ORCL", L"Other", L"C:\\db", L"*.log", 0xF0E),
              VSS_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(metadata.AddFilesToFileGroup(L"ORCL", L"DB", L"C:\\db", L"*", true, nullptr, 0xF06),
              E_INVALIDARG);
    EXPECT_EQ(metadata.AddDatabaseFiles(L"ORCL", L"DB", L"", L"a.dbf", 0xF01), E_INVALIDARG);
    EXPECT_EQ(metadata.SetRestoreMethod(VSS_RME_RESTORE_IF_CAN_REPLACE, nullptr, nullptr,
                                        VSS_WRE_ALWAYS, false),
              S_OK);
    EXPECT_EQ(metadata.SetRestoreMethod(VSS_RME_RESTORE_IF_CAN_REPLACE, nullptr, nullptr,
                                        VSS_WRE_ALWAYS, false),
              VSS_E_OBJECT_ALREADY_EXISTS);
    const WriterMetadata& result = metadata.metadata();
    ASSERT_EQ(result.components.size(), 1u);
    EXPECT_EQ(result.components[0].databaseFiles.size(), 1u);
    EXPECT_TRUE(result.components[0].logFiles.empty());
    BSTR saved = nullptr;
    ASSERT_EQ(metadata.SaveAsXML(&saved), S_OK);
    EXPECT_NE(take(saved).find(L"begin writer-metadata"), std::wstring::npos);
}

}  // namespace
