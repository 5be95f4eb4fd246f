#include "net/curl_easy.h"

#include <gtest/gtest.h>

#include <string>

namespace raziriz {
namespace {

std::size_t Feed(BodySink& sink, std::string& chunk) {
  return BodySink::Write(chunk.data(), 1, chunk.size(), &sink);
}

TEST(BodySinkTest, HoldsExactlyTheLimitAndDropsTheBodyBeyondIt) {
  std::string chunk(1024 * 1024, 'b');
  BodySink sink;
  for (std::size_t held = 0; held < kMaxBodyBytes; held += chunk.size()) {
    ASSERT_EQ(Feed(sink, chunk), chunk.size());
  }
  EXPECT_EQ(sink.body.size(), kMaxBodyBytes);
  EXPECT_FALSE(sink.tooLarge);

  std::string oneMore = "x";
  EXPECT_EQ(Feed(sink, oneMore), 0u);  // less than given: the transfer ends
  EXPECT_TRUE(sink.tooLarge);
  EXPECT_TRUE(sink.body.empty());
  EXPECT_EQ(sink.body.capacity(), std::string().capacity());

  // Nothing is taken any more, however small.
  EXPECT_EQ(Feed(sink, oneMore), 0u);
  EXPECT_TRUE(sink.body.empty());
}

}  // namespace
}  // namespace raziriz
