#pragma once
// The requester's connection to one subscribed writer process.

#include <windows.h>

#include <optional>

#include "sim/vss/common/subscriptions.h"
#include "sim/vss/model/wire.h"
#include "support/unique_handle.h"

namespace vsssim {

enum class Delivery { Answered, TimedOut, WriterGone };

struct Outcome {
    Delivery delivery = Delivery::WriterGone;
    EventAnswer answer;
    bool succeeded() const {
        return delivery == Delivery::Answered && answer.succeeded && answer.writerFailure == 0 &&
               answer.exceptionCode == 0;
    }
};

class WriterLink {
public:
    explicit WriterLink(const Subscription& subscription) : subscription_(subscription) {}

    const Subscription& subscription() const { return subscription_; }
    bool connect();

    // Delivers one event and waits at most `timeoutMs` for its answer. An
    // answer still owed for an earlier event that timed out is awaited (as
    // long again) and dropped first: the writer takes events one at a time.
    Outcome exchange(const EventRequest& request, DWORD timeoutMs);

private:
    Outcome receive(DWORD timeoutMs);

    Subscription subscription_;
    support::KernelHandle pipe_;
    int owed_ = 0;
};

}  // namespace vsssim
