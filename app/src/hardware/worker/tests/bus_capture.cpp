#include "bus_capture.h"

#include <gtest/gtest.h>

#include <chrono>

enum { BUS_MARKER = 0x7177 };

BusCapture::BusCapture()
{
    EXPECT_EQ(event_create(&bus_, 30, nullptr), 0);
    EXPECT_EQ(event_receive_register(bus_, on_event, this), 0);
}

BusCapture::~BusCapture() { event_destroy(&bus_); }

void BusCapture::on_event(event_handle *, void *data, int evtype, const void *evdata, int size)
{
    BusCapture *c = (BusCapture *)data;
    std::lock_guard<std::mutex> lock(c->mtx_);
    if (evtype == BUS_MARKER) {
        c->markers_++;
    } else {
        const uint8_t *p = (const uint8_t *)evdata;
        c->events_.push_back({evtype, std::vector<int>(p, p + size)});
    }
    c->cv_.notify_all();
}

std::vector<BusEvent> BusCapture::take()
{
    std::unique_lock<std::mutex> lock(mtx_);
    const int want = markers_ + 1;
    lock.unlock();
    EXPECT_EQ(event_broadcast_send(bus_, BUS_MARKER, nullptr, 0, 1000), 0);
    lock.lock();
    EXPECT_TRUE(cv_.wait_for(lock, std::chrono::seconds(10), [&] { return markers_ >= want; }));
    std::vector<BusEvent> out;
    out.swap(events_);
    return out;
}

std::vector<std::vector<int>> BusCapture::take_payloads(int type)
{
    std::vector<std::vector<int>> out;
    for (BusEvent &e : take())
        if (e.type == type) out.push_back(e.bytes);
    return out;
}
