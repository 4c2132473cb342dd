#include <gtest/gtest.h>

#include <cstring>

#include "link/port_name.hpp"

namespace {

TEST(PortNameTest, LongestNameFitsWithItsZero) {
    char name[stagemark::kPortNameSize];
    std::memset(name, '#', sizeof name);
    stagemark::BuildPortName(255, name);
    EXPECT_STREQ(name, "\\\\.\\COM255");
    EXPECT_EQ(std::strlen(name), 10u);
}

}  // namespace
