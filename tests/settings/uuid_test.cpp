// An object's identity as text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "settings/uuid.h"

namespace {

TEST(GuidText, TextForm) {
  Guid g;
  g.data1 = 0x0123abcd;
  g.data2 = 0x4567;
  g.data3 = 0x89ef;
  const uint8_t tail[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  std::copy(tail, tail + 8, g.data4);
  std::string text;
  ASSERT_TRUE(GuidToText(g, text));
  EXPECT_EQ(text, "0123abcd-4567-89ef-0123-456789abcdef");
  EXPECT_EQ(PortableGuidToText(Guid{}), "00000000-0000-0000-0000-000000000000");
  Guid back;
  ASSERT_TRUE(GuidFromText(text, back));
  EXPECT_EQ(back, g);
}

}  // namespace
