// A run of blocks through DesTransformBlocks equals each block on its own,
// for odd and even counts, in both directions and in place.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypto/des.h"

namespace {

TEST(DesCodebook, RunOfBlocksEqualsBlockByBlock) {
  std::mt19937 random(2026);
  for (int count = 0; count <= 9; ++count) {
    BYTE key[kDesKeyBytes];
    for (BYTE& b : key) b = static_cast<BYTE>(random());
    DesRoundKeys encryptKeys, decryptKeys;
    DesSetKey(key, encryptKeys, decryptKeys);
    std::vector<BYTE> input(static_cast<size_t>(count) * kDesBlockBytes + 1);
    for (BYTE& b : input) b = static_cast<BYTE>(random());
    for (int direction : {kDesEncipher, kDesDecipher}) {
      std::vector<BYTE> expected(input.size(), 0xEE), actual(input.size(), 0xEE);
      for (int k = 0; k < count; ++k) {
        DesTransformBlock(encryptKeys, decryptKeys, &input[k * kDesBlockBytes],
                          &expected[k * kDesBlockBytes], direction);
      }
      DesTransformBlocks(encryptKeys, decryptKeys, input.data(), actual.data(), count, direction);
      EXPECT_EQ(actual, expected) << count;  // including the untouched byte past the run

      std::vector<BYTE> inPlace = input;
      DesTransformBlocks(encryptKeys, decryptKeys, inPlace.data(), inPlace.data(), count,
                         direction);
      inPlace.back() = 0xEE;
      EXPECT_EQ(inPlace, expected) << count;
    }
  }
}

}  // namespace
