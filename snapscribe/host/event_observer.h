#pragma once
// A window on the events the writer reports. The platform's event log may
// keep nothing it can give back, so tests watch here; the report itself goes
// to the event log whether or not anyone watches.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace snapscribe {

struct ReportedEvent {
    std::uint16_t type = 0;
    std::uint16_t category = 0;
    std::uint32_t id = 0;
    std::vector<std::wstring> strings;
    std::vector<std::uint8_t> rawData;
};

using EventObserver = std::function<void(const ReportedEvent&)>;

// Called after each event the event log accepted; an empty observer stops it.
void setEventObserver(EventObserver observer);

}  // namespace snapscribe
