#include "base/buffer.h"

#include <gtest/gtest.h>

#include "base/text.h"

using base::atext;
using base::wtext;

namespace {

// Every text handed to Windows relies on the zero after the last value.
void expectterminated(const atext& text) { EXPECT_EQ(text.data()[text.size()], '\0'); }

TEST(Buffer, StaysZeroTerminatedThroughEveryChange) {
  atext text;
  expectterminated(text);
  EXPECT_STREQ(text.c_str(), "");
  text += "C:\\Temp";
  expectterminated(text);
  text.push_back('\\');
  EXPECT_STREQ(text.c_str(), "C:\\Temp\\");
  text.pop_back();
  EXPECT_STREQ(text.c_str(), "C:\\Temp");
  text.resize(2);
  EXPECT_STREQ(text.c_str(), "C:");
  text.resize(4, '.');
  EXPECT_STREQ(text.c_str(), "C:..");
  text.erase(0);
  EXPECT_STREQ(text.c_str(), ":..");
  text.clear();
  EXPECT_STREQ(text.c_str(), "");
  EXPECT_TRUE(text.empty());
}

TEST(Buffer, AppendsItselfAcrossAGrowth) {
  // The appended values lie in the block that the growth replaces.
  atext text = "abc";
  for (int i = 0; i < 6; ++i) text += text;
  EXPECT_EQ(text.size(), 3u << 6);
  for (std::size_t i = 0; i < text.size(); ++i) ASSERT_EQ(text[i], "abc"[i % 3]);
  expectterminated(text);
}

TEST(Buffer, FindsAndCutsWithinBounds) {
  const wtext text(u"a\0b", 3);
  EXPECT_EQ(text.size(), 3u);
  EXPECT_EQ(text.find(u'\0'), 1u);
  EXPECT_EQ(text.find(u'b', 3), wtext::npos);
  EXPECT_EQ(text.find(u'x'), wtext::npos);
  EXPECT_EQ(text.substr(2), u"b");
  EXPECT_EQ(text.substr(1, 100), wtext(u"\0b", 2));
  EXPECT_TRUE(text.substr(3).empty());
  EXPECT_TRUE(text.substr(9, 2).empty());
}

TEST(Buffer, CopiesAndMovesOwnTheirValues) {
  atext first = "first";
  atext copy = first;
  copy[0] = 'F';
  EXPECT_EQ(first, "first");
  atext moved = std::move(copy);
  EXPECT_EQ(moved, "First");
  EXPECT_TRUE(copy.empty());  // NOLINT: a moved-from buffer is empty
  expectterminated(copy);
  first = moved + '!';
  EXPECT_EQ(first, "First!");
  EXPECT_NE(first, moved);
  EXPECT_EQ(wtext(3, u'x'), u"xxx");
}

}  // namespace
