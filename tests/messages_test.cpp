#include <gtest/gtest.h>

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
  EXPECT_EQ(MessageText(MessageId::kWaveOpenError1), "Wave file open error #1");
  EXPECT_EQ(MessageText(MessageId::kWaveCloseError1), "Wave file close error #1");
  EXPECT_EQ(MessageText(MessageId::kWaveReadError4), "Wave file read error #4");
  EXPECT_EQ(MessageText(MessageId::kWaveWriteError2), "Wave file write error #2");
  EXPECT_EQ(MessageText(MessageId::kLoopReadError), "Loop file read error");
  EXPECT_EQ(MessageText(MessageId::kMemoryError), "Memory error");
  EXPECT_EQ(MessageText(MessageId::kWaveReadError), "Wave file read error");
  EXPECT_EQ(MessageText(MessageId::kFileNumberError), "File number error");
}

}  // namespace
}  // namespace loopsmith
