// Reading a file again to see whether it still holds what was read, where its
// times cannot tell.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "base/content_check.h"

namespace loopsmith {
namespace {

TEST(ReadLedger, ARewriteOfTheSameSizeShows) {
  const std::vector<unsigned char> original(70'000, 5);
  const struct {
    const char* name;
    std::function<void(std::vector<unsigned char>&)> change;
    bool holds;
  } cases[] = {
      {"nothing changed", [](auto&) {}, true},
      {"one byte in a range read", [](auto& file) { file[65'500] = 6; }, false},
      {"one byte outside every range read", [](auto& file) { file[69'999] = 6; }, true},
      {"cut short", [](auto& file) { file.resize(60'000); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> file = original;
    ReadLedger ledger;
    ledger.Note(0, file.data(), 12);
    ledger.Note(12, file.data() + 12, 65'536);
    ledger.Note(4, file.data() + 4, 8);  // read again after a seek back
    c.change(file);
    EXPECT_EQ(ledger.StillHolds([&](std::int64_t at, void* buffer, std::size_t n) {
      const auto from = static_cast<std::size_t>(at);
      const std::size_t got = from >= file.size() ? 0 : std::min(n, file.size() - from);
      std::memcpy(buffer, file.data() + from, got);
      return static_cast<std::int64_t>(got);
    }),
              c.holds);
  }
}

}  // namespace
}  // namespace loopsmith
