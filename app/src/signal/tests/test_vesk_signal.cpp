#include "vesk_signal.h"

#include <gtest/gtest.h>

TEST(Signal, TwoSignalsBeforeAPollAreOneRequestAndNeitherEndsTheProcess)
{
    signal_init();
    EXPECT_EQ(vesk_signal_consume_exit(), 0);
    raise(SIGTERM);
    raise(SIGINT);
    EXPECT_EQ(is_signal_exit(), 0) << "only the lifecycle sets quit";
    EXPECT_EQ(vesk_signal_consume_exit(), 1);
    EXPECT_EQ(vesk_signal_consume_exit(), 0);
}
