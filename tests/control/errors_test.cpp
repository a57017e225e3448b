#include <gtest/gtest.h>

#include <string>

#include "control/errors.h"

using namespace control;

TEST(ErrorTable, ListedNumbersKeepTheirTextsExactly) {
  EXPECT_EQ(std::string(LookupError(0).description), "No error");
  EXPECT_EQ(std::string(LookupError(3).description), "The input file is empty ");
  EXPECT_EQ(std::string(LookupError(4).description), "The outputfile file is empty ");
  EXPECT_EQ(std::string(LookupError(5).description), "The input file or path is invalid");
  EXPECT_EQ(std::string(LookupError(20).description), "Cannot open media file");
  EXPECT_EQ(std::string(LookupError(28).description), "End of file before finding all Vorbis headers!");
  EXPECT_EQ(std::string(LookupError(29).description), "No valid devices in the system");
  EXPECT_EQ(std::string(LookupError(30).description), "Too many sounds playing at once");
  EXPECT_EQ(std::string(LookupError(37).description), "The server stopped sending");
  for (int32_t n : {0, 2, 3, 4, 5, 6, 20, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37})
    EXPECT_EQ(LookupError(n).number, n);
}

TEST(ErrorTable, EveryOtherNumberIsUnexpected) {
  for (int32_t n : {-1, 1, 7, 19, 21, 38, 255, 5001, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(LookupError(n).number, 255);
    EXPECT_EQ(std::string(LookupError(n).description), "Unexpected error");
  }
}

TEST(ErrorTable, RunStatesMapToTheirErrorNumbers) {
  const std::pair<int32_t, int32_t> mapped[] = {{0, 0},  {2, 22}, {3, 23}, {4, 24}, {5, 25}, {6, 26},
                                                {7, 27}, {8, 28}, {9, 29}, {10, 20}, {11, 31}, {12, 32},
                                                {13, 33}, {14, 34}, {15, 35}, {16, 36}, {17, 37}};
  for (auto [state, expected] : mapped) {
    int32_t number = -5;
    EXPECT_TRUE(ErrorForRunState(state, number)) << state;
    EXPECT_EQ(number, expected) << state;
  }
  for (int32_t state : {1, -1, 18, 998, INT32_MIN}) {
    int32_t number = -5;
    EXPECT_FALSE(ErrorForRunState(state, number)) << state;
  }
}
