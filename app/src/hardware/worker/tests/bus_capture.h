// What the device modules post on a bus, as a test sees it: every event
// the bus delivered, collected after a marker shows the bus is drained.
#pragma once

#include <stdint.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "boardcast.h"

struct BusEvent {
    int type;
    std::vector<int> bytes;
};

class BusCapture {
public:
    /* A fresh bus of depth 30 with the capture registered. */
    BusCapture();
    ~BusCapture();
    event_handle *bus() const { return bus_; }
    /* Waits until every event posted so far is delivered, and hands them
     * over (the capture is emptied). */
    std::vector<BusEvent> take();
    /* Only the payloads of one event type. */
    std::vector<std::vector<int>> take_payloads(int type = 1);

private:
    static void on_event(event_handle *, void *data, int evtype, const void *evdata, int size);
    event_handle *bus_ = nullptr;
    std::mutex mtx_;
    std::condition_variable cv_;
    std::vector<BusEvent> events_;
    int markers_ = 0;
};
