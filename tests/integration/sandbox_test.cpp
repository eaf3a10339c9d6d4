#include <gtest/gtest.h>
TEST(SandboxSmoke, Builds) {}
