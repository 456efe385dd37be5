// The writer base class's table by the platform's slot numbers, checked from
// both sides: a writer built on the header is called through the slots, and
// the library calls a hand-made table through them. The numbers are written
// down here from the platform's documentation of the class.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vswriter.h>

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "sim/vss/tests/process_harness.h"

using namespace vsssim::testing;
using ::testing::ElementsAre;

namespace {

enum Slot {
    kDestructor,
    kIdentify,
    kPrepareBackup,
    kPrepareSnapshot,
    kFreeze,
    kThaw,
    kAbort,
    kBackupComplete,
    kBackupShutdown,
    kPreRestore,
    kPostRestore,
    kPostSnapshot,
    kBackOffIOOnVolume,
    kContinueIOOnVolume,
    kVSSShutdown,
    kVSSApplicationStartup,
    kSlotCount
};

const VSS_ID kSnapshotId = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
const VSS_ID kProviderId = {0x55555555, 0x6666, 0x7777, {8, 8, 8, 8, 8, 8, 8, 8}};

using NoArguments = bool(__stdcall*)(void* self);
using WithPointer = bool(__stdcall*)(void* self, void* argument);
using WithGuid = bool(__stdcall*)(void* self, VSS_ID id);
using WithVolume = bool(__stdcall*)(void* self, VSS_PWSZ volume, VSS_ID snapshot, VSS_ID provider);
using ScalarDeletingDestructor = void*(__thiscall*)(void* self, unsigned int flags);

template <typename Function>
Function slotOf(void* object, int slot) {
    return reinterpret_cast<Function>(
        static_cast<void* const*>(*static_cast<void**>(object))[slot]);
}

// Every event answers the slot it believes it sits in, and keeps what it got.
class RecordingWriter : public CVssWriter {
public:
    ~RecordingWriter() override { ++destroyed; }

    static void* operator new(std::size_t size) {
        ++allocated;
        return ::operator new(size);
    }
    static void operator delete(void* block) {
        ++freed;
        ::operator delete(block);
    }

    bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* metadata) override {
        return took(kIdentify, metadata);
    }
    bool STDMETHODCALLTYPE OnPrepareBackup(IVssWriterComponents* components) override {
        return took(kPrepareBackup, components);
    }
    bool STDMETHODCALLTYPE OnPrepareSnapshot() override { return took(kPrepareSnapshot); }
    bool STDMETHODCALLTYPE OnFreeze() override { return took(kFreeze); }
    bool STDMETHODCALLTYPE OnThaw() override { return took(kThaw); }
    bool STDMETHODCALLTYPE OnAbort() override { return took(kAbort); }
    bool STDMETHODCALLTYPE OnBackupComplete(IVssWriterComponents* components) override {
        return took(kBackupComplete, components);
    }
    bool STDMETHODCALLTYPE OnBackupShutdown(VSS_ID snapshotSetId) override {
        guid = snapshotSetId;
        return took(kBackupShutdown);
    }
    bool STDMETHODCALLTYPE OnPreRestore(IVssWriterComponents* components) override {
        return took(kPreRestore, components);
    }
    bool STDMETHODCALLTYPE OnPostRestore(IVssWriterComponents* components) override {
        return took(kPostRestore, components);
    }
    bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* components) override {
        return took(kPostSnapshot, components);
    }
    bool STDMETHODCALLTYPE OnBackOffIOOnVolume(VSS_PWSZ volume, VSS_ID snapshot,
                                               VSS_ID provider) override {
        return tookVolume(kBackOffIOOnVolume, volume, snapshot, provider);
    }
    bool STDMETHODCALLTYPE OnContinueIOOnVolume(VSS_PWSZ volume, VSS_ID snapshot,
                                                VSS_ID provider) override {
        return tookVolume(kContinueIOOnVolume, volume, snapshot, provider);
    }
    bool STDMETHODCALLTYPE OnVSSShutdown() override { return took(kVSSShutdown); }
    bool STDMETHODCALLTYPE OnVSSApplicationStartup() override {
        return took(kVSSApplicationStartup);
    }

    std::vector<int> calls;
    void* pointer = nullptr;
    VSS_ID guid = GUID_NULL;
    std::wstring volume;
    static inline int destroyed = 0;
    static inline int allocated = 0;
    static inline int freed = 0;

private:
    bool took(int slot, void* argument = nullptr) {
        calls.push_back(slot);
        pointer = argument;
        return true;
    }
    bool tookVolume(int slot, VSS_PWSZ name, VSS_ID snapshot, VSS_ID provider) {
        volume = name;
        guid = IsEqualGUID(snapshot, kSnapshotId) ? provider : GUID_NULL;
        return took(slot);
    }
};

TEST(WriterLayout, AWritersEventsSitInThePlatformsSlots) {
    RecordingWriter writer;
    void* self = &writer;
    int marker = 0;
    for (int slot :
         {kIdentify, kPrepareBackup, kBackupComplete, kPreRestore, kPostRestore, kPostSnapshot}) {
        ASSERT_TRUE(slotOf<WithPointer>(self, slot)(self, &marker)) << slot;
        EXPECT_EQ(writer.calls.back(), slot);
        EXPECT_EQ(writer.pointer, &marker) << slot;
    }
    for (int slot :
         {kPrepareSnapshot, kFreeze, kThaw, kAbort, kVSSShutdown, kVSSApplicationStartup}) {
        ASSERT_TRUE(slotOf<NoArguments>(self, slot)(self)) << slot;
        EXPECT_EQ(writer.calls.back(), slot);
    }
    ASSERT_TRUE(slotOf<WithGuid>(self, kBackupShutdown)(self, kSnapshotId));
    EXPECT_EQ(writer.calls.back(), kBackupShutdown);
    EXPECT_EQ(writer.guid, kSnapshotId);
    wchar_t volume[] = L"C:\\";
    for (int slot : {kBackOffIOOnVolume, kContinueIOOnVolume}) {
        writer.guid = GUID_NULL;
        ASSERT_TRUE(slotOf<WithVolume>(self, slot)(self, volume, kSnapshotId, kProviderId));
        EXPECT_EQ(writer.calls.back(), slot);
        EXPECT_EQ(writer.volume, L"C:\\");
        EXPECT_EQ(writer.guid, kProviderId);
    }
    EXPECT_EQ(writer.calls.size(), static_cast<std::size_t>(kSlotCount - 1));
}

// Events a writer leaves alone reach the library's own answers, whose stack
// arguments must match the slot's for the call to come back at all.
TEST(WriterLayout, UnoverriddenEventsReachTheBaseClass) {
    class PlainWriter : public CVssWriter {
        bool STDMETHODCALLTYPE OnPrepareSnapshot() override { return true; }
        bool STDMETHODCALLTYPE OnFreeze() override { return true; }
        bool STDMETHODCALLTYPE OnThaw() override { return true; }
        bool STDMETHODCALLTYPE OnAbort() override { return true; }
    } writer;
    void* self = &writer;
    wchar_t volume[] = L"C:\\";
    EXPECT_TRUE(slotOf<WithPointer>(self, kIdentify)(self, nullptr));
    EXPECT_TRUE(slotOf<WithGuid>(self, kBackupShutdown)(self, kSnapshotId));
    EXPECT_TRUE(
        slotOf<WithVolume>(self, kContinueIOOnVolume)(self, volume, kSnapshotId, kProviderId));
    EXPECT_TRUE(slotOf<NoArguments>(self, kVSSApplicationStartup)(self));
}

TEST(WriterLayout, SlotZeroDestroysOnceAndFreesOnlyWhenAsked) {
    RecordingWriter::destroyed = RecordingWriter::allocated = RecordingWriter::freed = 0;
    void* heapWriter = new RecordingWriter;
    EXPECT_EQ(slotOf<ScalarDeletingDestructor>(heapWriter, kDestructor)(heapWriter, 1), heapWriter);
    EXPECT_EQ(RecordingWriter::destroyed, 1);
    EXPECT_EQ(RecordingWriter::freed, 1);

    alignas(RecordingWriter) unsigned char storage[sizeof(RecordingWriter)];
    void* placed = ::new (storage) RecordingWriter;
    EXPECT_EQ(slotOf<ScalarDeletingDestructor>(placed, kDestructor)(placed, 0), placed);
    EXPECT_EQ(RecordingWriter::destroyed, 2);
    EXPECT_EQ(RecordingWriter::freed, 1);
    EXPECT_EQ(RecordingWriter::allocated, 1);
}

// --- The library's side -----------------------------------------------------

// A writer object made by hand: the table pointer, then the library's data.
struct RawWriter {
    void* const* table;
    void* data;
};

std::mutex g_lock;
std::vector<int> g_reached;

template <int Slot>
bool __stdcall reachedWithoutArguments(RawWriter*) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_reached.push_back(Slot);
    return true;
}

template <int Slot>
bool __stdcall reachedWithPointer(RawWriter* self, void*) {
    return reachedWithoutArguments<Slot>(self);
}

template <int Slot>
bool __stdcall reachedWithGuid(RawWriter* self, VSS_ID) {
    return reachedWithoutArguments<Slot>(self);
}

template <int Slot>
bool __stdcall reachedWithVolume(RawWriter* self, VSS_PWSZ, VSS_ID, VSS_ID) {
    return reachedWithoutArguments<Slot>(self);
}

void* __thiscall neverDeleted(RawWriter* self, unsigned int) { return self; }

template <typename Function>
void* entry(Function function) {
    return reinterpret_cast<void*>(function);
}

void* const kHandMadeTable[kSlotCount] = {entry(neverDeleted),
                                          entry(reachedWithPointer<kIdentify>),
                                          entry(reachedWithPointer<kPrepareBackup>),
                                          entry(reachedWithoutArguments<kPrepareSnapshot>),
                                          entry(reachedWithoutArguments<kFreeze>),
                                          entry(reachedWithoutArguments<kThaw>),
                                          entry(reachedWithoutArguments<kAbort>),
                                          entry(reachedWithPointer<kBackupComplete>),
                                          entry(reachedWithGuid<kBackupShutdown>),
                                          entry(reachedWithPointer<kPreRestore>),
                                          entry(reachedWithPointer<kPostRestore>),
                                          entry(reachedWithPointer<kPostSnapshot>),
                                          entry(reachedWithVolume<kBackOffIOOnVolume>),
                                          entry(reachedWithVolume<kContinueIOOnVolume>),
                                          entry(reachedWithoutArguments<kVSSShutdown>),
                                          entry(reachedWithoutArguments<kVSSApplicationStartup>)};

// The members the test calls by name, as the platform exports them.
#if defined(_WIN64)
constexpr char kConstruct[] = "??0CVssWriter@@QEAA@XZ";
constexpr char kDestruct[] = "??1CVssWriter@@UEAA@XZ";
constexpr char kSubscribe[] = "?Subscribe@CVssWriter@@QEAAJK@Z";
constexpr char kUnsubscribe[] = "?Unsubscribe@CVssWriter@@QEAAJXZ";
#else
constexpr char kConstruct[] = "??0CVssWriter@@QAE@XZ";
constexpr char kDestruct[] = "??1CVssWriter@@UAE@XZ";
constexpr char kSubscribe[] = "?Subscribe@CVssWriter@@QAGJK@Z";
constexpr char kUnsubscribe[] = "?Unsubscribe@CVssWriter@@QAGJXZ";
#endif

template <typename Function>
Function exported(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vssapi.dll"), name)));
}

TEST(WriterLayout, TheLibraryCallsEventsThroughThePlatformsSlots) {
    using Construct = void*(__thiscall*)(RawWriter*);
    using Destruct = void(__thiscall*)(RawWriter*);
    using Initialize = HRESULT(__stdcall*)(RawWriter*, VSS_ID, LPCWSTR, VSS_USAGE_TYPE,
                                           VSS_SOURCE_TYPE, VSS_APPLICATION_LEVEL, DWORD,
                                           VSS_ALTERNATE_WRITER_STATE, bool, LPCWSTR);
    using Subscribe = HRESULT(__stdcall*)(RawWriter*, DWORD);
    using Unsubscribe = HRESULT(__stdcall*)(RawWriter*);

    RawWriter writer{};
    exported<Construct>(kConstruct)(&writer);
    ASSERT_NE(writer.table, nullptr) << "the library's constructor installs its own table";
    writer.table = kHandMadeTable;

    ScratchDirectory scratch;
    const std::wstring instance = uniqueName(L"L");
    const VSS_ID writerId = {0x0badcafe, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    ASSERT_EQ(exported<Initialize>(vssapi::kInitializeWithInstanceName)(
                  &writer, writerId, L"Raw", VSS_UT_USERDATA, VSS_ST_TRANSACTEDDB,
                  VSS_APP_FRONT_END, 60000, VSS_AWS_NO_ALTERNATE_WRITER, false, instance.c_str()),
              S_OK);
    ASSERT_EQ(exported<Subscribe>(kSubscribe)(&writer, 6), S_OK);
    VssreqResult backup =
        runVssreq(scratch, L"backup --set \"" + scratch / L"set" + L"\" --instance \"" + instance +
                               L"\" --volume \"" + scratch.path() + L"\"");
    exported<Unsubscribe>(kUnsubscribe)(&writer);
    exported<Destruct>(kDestruct)(&writer);

    EXPECT_EQ(backup.exitCode, 0) << backup.output;
    EXPECT_THAT(g_reached, ElementsAre(kIdentify, kPrepareBackup, kPrepareSnapshot, kFreeze, kThaw,
                                       kPostSnapshot, kBackupComplete, kBackupShutdown));
}

}  // namespace
