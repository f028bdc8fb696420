#include "platform/volume.h"

#include <gtest/gtest.h>

TEST(Volume, SerialIsStableAndZeroWhenTheQueryFails) {
    EXPECT_EQ(platform::VolumeSerial("/"), platform::VolumeSerial("/"));
    EXPECT_EQ(platform::VolumeSerial("/no/such/folder/here"), 0u);
    EXPECT_EQ(platform::VolumeSerial(""), 0u);
}
