#include "reason_text.h"

#include <gtest/gtest.h>

namespace truvello {
namespace {

TEST(ReasonText, NulBytesBecomeSpacesAndOneTerminatorEnds) {
  const std::vector<char> text = reason_text(std::string("a\0b\0", 4));
  EXPECT_EQ(std::string(text.begin(), text.end()), std::string("a b \0", 5));
}

TEST(ReasonText, EmptyReasonIsAnEmptyString) {
  const std::vector<char> text = reason_text("");
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(text[0], '\0');
}

}  // namespace
}  // namespace truvello
