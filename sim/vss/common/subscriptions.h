#pragma once
// Where subscribed writers announce themselves: one registry key per
// subscription, naming the writer and the pipe its events arrive on.

#include <windows.h>

#include <vector>

#include "sim/vss/model/documents.h"

namespace vsssim {

struct Subscription {
    Text key;  // the subscription's own key name
    Text writerId, writerName, instanceName, pipeName;
    DWORD processId = 0;
};

// "SOFTWARE\\ShadowCopySim\\Subscriptions" under HKEY_LOCAL_MACHINE.
extern const wchar_t kSubscriptionsKey[];

bool addSubscription(const Subscription& subscription);
void removeSubscription(const Text& key);
std::vector<Subscription> listSubscriptions();
// The subscribing process has ended without unsubscribing.
bool isStale(const Subscription& subscription);

}  // namespace vsssim
