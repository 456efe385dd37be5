// The writer base class in process: its state rules and its subscription.

#include <gtest/gtest.h>

#include <vswriter.h>

#include "sim/vss/common/subscriptions.h"
#include "sim/vss/common/wide.h"

using namespace vsssim;

namespace {

const VSS_ID kWriterId = {0x1c0ffee0, 0x1234, 0x4abc, {1, 2, 3, 4, 5, 6, 7, 8}};

class IdleWriter : public CVssWriter {
public:
    bool STDMETHODCALLTYPE OnPrepareSnapshot() override { return true; }
    bool STDMETHODCALLTYPE OnFreeze() override { return true; }
    bool STDMETHODCALLTYPE OnThaw() override { return true; }
    bool STDMETHODCALLTYPE OnAbort() override { return true; }

    using CVssWriter::AreComponentsSelected;
    using CVssWriter::GetBackupType;
    using CVssWriter::GetCurrentSnapshotSetId;
    using CVssWriter::IsPathAffected;
    using CVssWriter::SetWriterFailure;
};

int subscriptionsOf(const Text& instance) {
    int found = 0;
    for (const Subscription& subscription : listSubscriptions())
        found += subscription.instanceName == instance;
    return found;
}

TEST(WriterBase, OutsideAnEventTheContextIsEmpty) {
    IdleWriter writer;
    EXPECT_EQ(writer.GetBackupType(), VSS_BT_UNDEFINED);
    EXPECT_FALSE(writer.AreComponentsSelected());
    EXPECT_FALSE(writer.IsPathAffected(L"C:\\"));
    EXPECT_EQ(writer.GetCurrentSnapshotSetId(), GUID_NULL);
    EXPECT_EQ(writer.SetWriterFailure(VSS_E_WRITERERROR_RETRYABLE), VSS_E_BAD_STATE);
    EXPECT_TRUE(writer.OnVSSShutdown());
    EXPECT_TRUE(writer.OnBackOffIOOnVolume(nullptr, GUID_NULL, GUID_NULL));
}

TEST(WriterBase, SubscribesOnlyOnceInitializedAndUnsubscribesCleanly) {
    Text instance = u"WB-" + toText(std::to_wstring(GetCurrentProcessId()));
    std::wstring wideInstance = toWide(instance);
    IdleWriter writer;
    EXPECT_EQ(writer.Subscribe(), VSS_E_BAD_STATE);
    EXPECT_EQ(writer.Initialize(kWriterId, nullptr, VSS_UT_USERDATA, VSS_ST_TRANSACTEDDB),
              E_INVALIDARG);
    ASSERT_EQ(writer.Initialize(kWriterId, L"Idle", VSS_UT_USERDATA, VSS_ST_TRANSACTEDDB,
                                VSS_APP_FRONT_END, 60000, VSS_AWS_NO_ALTERNATE_WRITER, false,
                                wideInstance.c_str()),
              S_OK);
    EXPECT_EQ(writer.Initialize(kWriterId, L"Idle", VSS_UT_USERDATA, VSS_ST_TRANSACTEDDB),
              VSS_E_BAD_STATE);
    ASSERT_EQ(writer.Subscribe(6), S_OK);
    EXPECT_EQ(writer.Subscribe(6), VSS_E_BAD_STATE);
    ASSERT_EQ(subscriptionsOf(instance), 1);
    for (const Subscription& subscription : listSubscriptions())
        if (subscription.instanceName == instance) {
            EXPECT_EQ(subscription.writerId, guidText(kWriterId));
            EXPECT_EQ(subscription.processId, GetCurrentProcessId());
        }
    EXPECT_EQ(writer.Unsubscribe(), S_OK);
    EXPECT_EQ(subscriptionsOf(instance), 0);
    EXPECT_EQ(writer.Unsubscribe(), S_FALSE);
}

// Libraries of systems before the writer instance name export Initialize
// without it; the stand-in answers that form too.
TEST(WriterBase, TheEarlierInitializeRegistersWithoutAnInstanceName) {
    const VSS_ID unnamedId = {0x1c0ffee1, 0x1234, 0x4abc, {8, 7, 6, 5, 4, 3, 2, 1}};
    auto earlier = reinterpret_cast<vssapi::InitializeWithoutInstanceName>(reinterpret_cast<void*>(
        GetProcAddress(vssapi::library(), vssapi::kInitializeWithoutInstanceName)));
    ASSERT_NE(earlier, nullptr);
    IdleWriter writer;
    ASSERT_EQ(earlier(&writer, unnamedId, L"Unnamed", VSS_UT_USERDATA, VSS_ST_TRANSACTEDDB,
                      VSS_APP_FRONT_END, 60000, VSS_AWS_NO_ALTERNATE_WRITER, false),
              S_OK);
    ASSERT_EQ(writer.Subscribe(6), S_OK);
    int found = 0;
    for (const Subscription& subscription : listSubscriptions()) {
        if (subscription.writerId != guidText(unnamedId)) continue;
        ++found;
        EXPECT_EQ(subscription.writerName, u"Unnamed");
        EXPECT_TRUE(subscription.instanceName.empty());
    }
    EXPECT_EQ(found, 1);
    EXPECT_EQ(writer.Unsubscribe(), S_OK);
}

}  // namespace
