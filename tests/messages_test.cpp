#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>

#include "base/messages.h"

namespace loopsmith {
namespace {

TEST(MessageCatalogue, EveryIdHasItsOwnText) {
  std::set<std::string_view> seen;
  for (int id = kFirstMessageId; id <= kLastMessageId; ++id) {
    const auto text = MessageText(static_cast<MessageId>(id));
    EXPECT_FALSE(text.empty()) << id;
    EXPECT_TRUE(seen.insert(text).second) << id;
  }
  EXPECT_TRUE(MessageText(static_cast<MessageId>(119)).empty());
  EXPECT_TRUE(MessageText(static_cast<MessageId>(137)).empty());
}

TEST(MessageCatalogue, TextsAreExact) {
  const char* const texts[] = {"Wave file open error #1",
                               "Wave file open error #2",
                               "Wave file close error #1",
                               "Wave file read error #1",
                               "Wave file open error #3",
                               "Wave file read error #2",
                               "Wave file read error #3",
                               "Wave file read error #4",
                               "Wave file write error #1",
                               "Wave file write error #2",
                               "Loop file read error",
                               "Loop file write error",
                               "Memory error",
                               "Wave file format error",
                               "Wave file read error",
                               "Wave file write error",
                               "File number error"};
  static_assert(std::size(texts) == kLastMessageId - kFirstMessageId + 1);
  for (int id = kFirstMessageId; id <= kLastMessageId; ++id) {
    EXPECT_EQ(MessageText(static_cast<MessageId>(id)), texts[id - kFirstMessageId]) << id;
  }
}

}  // namespace
}  // namespace loopsmith
