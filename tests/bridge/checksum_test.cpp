#include <gtest/gtest.h>

#include <vector>

#include "bridge/checksum.h"

using bridge::ByteChecksum;

TEST(ByteChecksum, KnownVectors) {
  EXPECT_EQ(ByteChecksum(nullptr, 0), 0);
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(ByteChecksum(abc, 3), 38404390);  // A = 294, B = 586
  std::vector<uint8_t> ones(256, 255);
  EXPECT_EQ(ByteChecksum(ones.data(), ones.size()), 109117184);  // A = 65280, B = 1664
  ones.push_back(255);
  EXPECT_EQ(ByteChecksum(ones.data(), ones.size()), 109903876);  // A reduced to 4, B = 1677
}

TEST(ByteChecksum, SumsMayRestExactlyAtTheirModulus) {
  // 257 bytes: 256 of 255 then 251 bring A to exactly 65531, which stays.
  std::vector<uint8_t> bytes(256, 255);
  bytes.push_back(251);
  EXPECT_EQ(ByteChecksum(bytes.data(), bytes.size()) & 0xffff, 65531);
}

TEST(ByteChecksum, SeesEveryByteAndTheLength) {
  std::vector<uint8_t> data(5000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  const int32_t whole = ByteChecksum(data.data(), data.size());
  EXPECT_GT(whole, 0);
  EXPECT_NE(ByteChecksum(data.data(), data.size() - 1), whole);
  data.push_back(0);
  EXPECT_NE(ByteChecksum(data.data(), data.size()), whole) << "a trailing zero byte still counts";
  data.pop_back();
  data[2500] ^= 1;
  EXPECT_NE(ByteChecksum(data.data(), data.size()), whole);
}

TEST(ByteChecksum, NeverNegativeOnLargeInputs) {
  std::vector<uint8_t> data(1 << 20, 0xff);
  EXPECT_GE(ByteChecksum(data.data(), data.size()), 0);
}
