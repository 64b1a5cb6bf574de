// A folder read as the sampler's card, on files in memory and on the disk:
// which numbers are free, what each loop file holds, what the sampler may not see.
#include <gtest/gtest.h>

#include <cerrno>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/forwarding_file_system.h"
#include "base/memory_file_system.h"
#include "base/platform_file_system.h"
#include "card/card.h"
#include "card/card_index.h"
#include "card/card_moves.h"
#include "card/numbering.h"
#include "core/loop_format.h"
#include "temp_dir.h"

namespace loopsmith {
namespace {

std::vector<std::uint8_t> Loop(std::int16_t tenths, MeasureMode mode) {
  std::vector<std::uint8_t> bytes(LoopImageSize({tenths, mode, 1}));
  MakeLoopHeader({tenths, mode, 1}, bytes.data());
  return bytes;
}

// The same files put on each layer.
struct Layer {
  const char* name;
  std::function<std::unique_ptr<FileSystem>(testing::TempDir&, std::string&)> make;
  std::function<void(FileSystem&, const std::string&, const std::vector<std::uint8_t>&)> put;
  std::function<void(FileSystem&, const std::string&)> lock;  // made read-only
  bool locks = true;  // whether this program then may not write it
};

// Root may write any file on POSIX, and the listing says what this program may do.
#ifdef _WIN32
const bool kDiskLocks = true;
#else
const bool kDiskLocks = ::geteuid() != 0;
#endif

TEST(Card, SlotsAndStraysOnEveryLayer) {
  const Layer layers[] = {
      {"memory",
       [](testing::TempDir&, std::string& folder) {
         folder = "/card";
         return std::make_unique<MemoryFileSystem>();
       },
       [](FileSystem& fs, const std::string& path, const std::vector<std::uint8_t>& bytes) {
         static_cast<MemoryFileSystem&>(fs).files[path] = bytes;
       },
       [](FileSystem& fs, const std::string& path) {
         static_cast<MemoryFileSystem&>(fs).readOnly.insert(path);
       }},
      {"disk",
       [](testing::TempDir& dir, std::string& folder) {
         folder = dir.Path("");
         folder.pop_back();
         return std::make_unique<PlatformFileSystem>();
       },
       [](FileSystem&, const std::string& path, const std::vector<std::uint8_t>& bytes) {
         testing::WriteBytes(path, bytes);
       },
       [](FileSystem&, const std::string& path) {
         using std::filesystem::perms;
         std::filesystem::permissions(path,
                                      perms::owner_read | perms::group_read | perms::others_read);
       },
       kDiskLocks},
  };
  for (const Layer& layer : layers) {
    SCOPED_TRACE(layer.name);
    testing::TempDir dir;
    std::string folder;
    auto fs = layer.make(dir, folder);
    const auto put = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
      std::string path = folder;
      path += '/';
      path += name;
      layer.put(*fs, path, bytes);
    };
    put("L01.T58", Loop(1280, kMeasureOne));
    put("L12.T58", Loop(905, kMeasureTwo));
    put("L30.T58", Loop(1200, kMeasureOne));
    layer.lock(*fs, folder + "/L30.T58");
    put("L20.T58", {'x', 'x'});
    put("L7.T58", Loop(1200, kMeasureOne));
    put("L51.T58", Loop(1200, kMeasureOne));
    put("notes.txt", {'n'});
    put(".loopsmith-4a5e39", {});
#ifndef _WIN32
    put("l12.t58", Loop(1200, kMeasureOne));  // a case twin, where case counts
#endif
    card::CardView view;
    ASSERT_EQ(card::ReadCard(*fs, folder, view), 0);
    const auto& one = view.slots[0].file;
    ASSERT_TRUE(one);
    EXPECT_FALSE(one->problem);
    EXPECT_EQ(one->params.tempo, 1280);
    EXPECT_EQ(one->loopSamples, 82'689u);
    EXPECT_EQ(one->size, 262'200);
    ASSERT_TRUE(view.slots[11].file);
    EXPECT_EQ(view.slots[11].file->params.measureMode, kMeasureTwo);
    ASSERT_TRUE(view.slots[19].file && view.slots[19].file->problem);
    EXPECT_EQ(DetailOf(*view.slots[19].file->problem),
              "it holds 2 bytes, less than the 56-byte header");
    EXPECT_FALSE(view.slots[6].file) << "L7.T58 is not number 7's name";
    EXPECT_EQ(view.FreeNumbers().size(), 46u);
    ASSERT_TRUE(view.slots[29].file);
    EXPECT_EQ(view.slots[29].file->readOnly, layer.locks);
    EXPECT_FALSE(view.slots[0].file->readOnly);
    std::vector<std::string> strays;
    for (const auto& stray : view.strays) strays.push_back(stray.name + ": " + stray.why);
    std::vector<std::string> expected = {
        ".loopsmith-4a5e39: left by a write that was cut off",
        "L51.T58: no number the sampler reads (L01.T58 to L50.T58)",
        "L7.T58: the sampler reads L07.T58, spelt so",
#ifndef _WIN32
        "l12.t58: a second file for number 12 beside L12.T58",
#endif
    };
    EXPECT_EQ(strays, expected);

    // The moves through the layer's own rename and removal.
    EXPECT_FALSE(card::MoveSlot(*fs, folder, 1, 2));
    EXPECT_EQ(DetailOf(*card::MoveSlot(*fs, folder, 2, 12)),
              "L12.T58 is taken: a move never replaces");
    EXPECT_FALSE(card::SwapSlots(*fs, folder, 2, 12));
    EXPECT_FALSE(card::RemoveSlot(*fs, folder, 20));
    ASSERT_EQ(card::ReadCard(*fs, folder, view), 0);
    EXPECT_FALSE(view.slots[0].file || view.slots[19].file);
    ASSERT_TRUE(view.slots[1].file && view.slots[11].file);
    EXPECT_EQ(view.slots[1].file->params.tempo, 905);
    EXPECT_EQ(view.slots[11].file->params.tempo, 1280);
  }
}

// Files in memory whose calls fail from the nth on, as a killed process
// makes no more, or only the nth, as one failing call does.
class Stopping final : public ForwardingFileSystem {
 public:
  Stopping(MemoryFileSystem& inner, int nth, bool stays)
      : ForwardingFileSystem(inner), m_in(inner), m_nth(nth), m_stays(stays) {}
  int OpenRead(const std::string& p, FileHandle& h) override {
    return Go() ? m_in.OpenRead(p, h) : -EIO;
  }
  int CreateOutput(const std::string& p, FileHandle& h) override {
    return Go() ? m_in.CreateOutput(p, h) : -EIO;
  }
  std::int64_t Read(FileHandle f, void* b, std::size_t n) override {
    return Go() ? m_in.Read(f, b, n) : -EIO;
  }
  std::int64_t Write(FileHandle f, const void* b, std::size_t n) override {
    return Go() ? m_in.Write(f, b, n) : -EIO;
  }
  int CommitOutput(FileHandle f) override {
    if (Go()) return m_in.CommitOutput(f);
    m_in.DiscardOutput(f);
    return -EIO;
  }
  int MoveNoReplace(const std::string& a, const std::string& b) override {
    return Go() ? m_in.MoveNoReplace(a, b) : -EIO;
  }
  int Remove(const std::string& p) override { return Go() ? m_in.Remove(p) : -EIO; }
  int calls = 0;

 private:
  bool Go() {
    ++calls;
    return m_stays ? calls < m_nth : calls != m_nth;
  }
  MemoryFileSystem& m_in;
  int m_nth;
  bool m_stays;
};

// Names on loops: kept by each loop's bytes, so they follow a move; any
// damage to the index sets it aside, never the card.
TEST(Card, NamesFollowTheLoopsAndADamagedIndexIsSetAside) {
  MemoryFileSystem fs;
  fs.files["card/L01.T58"] = Loop(1200, kMeasureOne);
  fs.files["card/L02.T58"] = Loop(900, kMeasureTwo);
  ASSERT_EQ(card::RecordSlot(fs, "card", 2, "fill\t2.wav", "2026-12-08 17:00"), 0);
  ASSERT_EQ(card::LabelSlot(fs, "card", 2, "Fill\\B"), 0);
  ASSERT_FALSE(card::MoveSlot(fs, "card", 2, 9).has_value());
  card::CardView view;
  ASSERT_EQ(card::ReadCard(fs, "card", view), 0);
  EXPECT_FALSE(view.slots[0].file->named.has_value());
  ASSERT_TRUE(view.slots[8].file && view.slots[8].file->named);
  EXPECT_EQ(view.slots[8].file->named->source, "fill\t2.wav");
  EXPECT_EQ(view.slots[8].file->named->label, "Fill\\B");
  EXPECT_TRUE(view.strays.empty()) << view.strays[0].name;
  const std::string good(fs.files["card/.loopsmith-card"].begin(),
                         fs.files["card/.loopsmith-card"].end());
  EXPECT_EQ(card::IndexText(card::ParseIndex(good)), good);
  for (const std::string& bad :
       {std::string("garbage\n"), good.substr(0, good.size() - 1), good + "1 2\tx\ty\tz\n",
        good + "262200 0123456789abcdef\ta\\q\tb\tc\n",
        good + "999999 0123456789abcdef\ta\tb\tc\n"}) {
    fs.files["card/.loopsmith-card"].assign(bad.begin(), bad.end());
    ASSERT_EQ(card::ReadCard(fs, "card", view), 0);
    EXPECT_FALSE(view.indexProblem.empty()) << bad;
    EXPECT_FALSE(view.slots[8].file->named.has_value());
  }
}

// A card put back from its backup gets its names back; a name given since
// stays, and a backup index that does not read adds nothing.
TEST(Card, ABackupsNamesComeBackWithItsLoops) {
  MemoryFileSystem fs;
  fs.files["card/L01.T58"] = Loop(1200, kMeasureOne);
  fs.files["card/L02.T58"] = Loop(900, kMeasureTwo);
  ASSERT_EQ(card::RecordSlot(fs, "card", 1, "intro.wav", "2026-12-08 17:00"), 0);
  ASSERT_EQ(card::RecordSlot(fs, "card", 2, "fill.wav", "2026-12-08 17:01"), 0);
  const auto& bytes = fs.files["card/.loopsmith-card"];
  const std::string backup(bytes.begin(), bytes.end());
  fs.files.erase("card/.loopsmith-card");
  ASSERT_EQ(card::LabelSlot(fs, "card", 2, "Break"), 0);
  for (const std::string& text : {std::string("garbage\n"), backup.substr(1), backup}) {
    ASSERT_EQ(card::AdoptNames(fs, "card", text), 0);
  }
  card::CardView view;
  ASSERT_EQ(card::ReadCard(fs, "card", view), 0);
  ASSERT_TRUE(view.slots[0].file->named && view.slots[1].file->named);
  EXPECT_EQ(view.slots[0].file->named->source, "intro.wav");
  EXPECT_EQ(view.slots[1].file->named->source, "fill.wav");
  EXPECT_EQ(view.slots[1].file->named->label, "Break");
}

// A loop marked read-only is removed only on purpose.
TEST(Card, AReadOnlyLoopIsRemovedOnlyWithForce) {
  MemoryFileSystem fs;
  fs.files["card/L05.T58"] = Loop(1200, kMeasureOne);
  fs.readOnly.insert("card/L05.T58");
  const auto kept = card::RemoveSlot(fs, "card", 5);
  ASSERT_TRUE(kept.has_value());
  EXPECT_NE(DetailOf(*kept).find("read-only"), std::string::npos);
  EXPECT_EQ(fs.files.count("card/L05.T58"), 1U);
  EXPECT_FALSE(card::RemoveSlot(fs, "card", 5, true).has_value());
  EXPECT_EQ(fs.files.count("card/L05.T58"), 0U);
}

// One rule for a batch's numbers, the command line's and the page's: all of
// the batch or none of it.
TEST(Card, ABatchTakesItsNumbersWhole) {
  struct Row {
    std::vector<int> taken;
    int count;
    int first;
    std::vector<int> numbers;  // empty: refused
  };
  std::vector<int> allButOne;
  for (int n = 2; n <= card::kSlots; ++n) allButOne.push_back(n);
  const std::vector<Row> rows = {
      {{2}, 2, 0, {1, 3}},              // the lowest free, past a taken one
      {{2}, 2, 2, {2, 3}},              // the chosen number though taken, then free ones above
      {{2, 3}, 3, 1, {1, 4, 5}},        // never a free number below the first
      {{}, 3, 49, {}},                  // 49 and 50 only: refused whole
      {{}, 50, 0, std::vector<int>{}},  // filled in below: exactly as many as are free
      {{1}, 50, 0, {}},                 // one more than are free
      {allButOne, 1, 0, {1}},
      {allButOne, 2, 0, {}},
      {{}, 0, 0, {}},
  };
  for (const Row& row : rows) {
    card::CardView view;
    const auto at = [](int n) { return static_cast<std::size_t>(n - 1); };
    for (int n = 1; n <= card::kSlots; ++n) view.slots[at(n)].number = n;
    for (const int n : row.taken) view.slots[at(n)].file = card::SlotFile{card::SlotName(n)};
    std::vector<int> want = row.numbers;
    if (row.count == 50 && row.taken.empty()) {
      for (int n = 1; n <= card::kSlots; ++n) want.push_back(n);
    }
    const auto plan = card::PlanNumbers(view, row.count, row.first);
    SCOPED_TRACE(::testing::Message() << row.count << " from " << row.first);
    EXPECT_EQ(plan.numbers, want);
    EXPECT_EQ(plan.problem.empty(), !want.empty() || row.count == 0) << plan.problem;
  }
}

// A free slot is written; any file in a slot, read-only or not, is asked about first.
TEST(Card, APlacementAsksAboutEveryTakenSlot) {
  card::CardView view;
  for (int n = 1; n <= card::kSlots; ++n) {
    view.slots[static_cast<std::size_t>(n - 1)].number = n;
    if (n != 1)
      view.slots[static_cast<std::size_t>(n - 1)].file = card::SlotFile{card::SlotName(n)};
  }
  view.slots[2].file->readOnly = true;  // L03
  const card::Placement placement = card::PlanPlacement(view, {1, 2, 3});
  EXPECT_EQ(placement.ask, (std::vector<int>{2, 3}));
  EXPECT_FALSE(placement.full);
  view.slots[0].file = card::SlotFile{"L01.T58"};
  EXPECT_TRUE(card::PlanPlacement(view, {1}).full);
}

TEST(Card, AMoveOrSwapCutAtAnyCallLosesNoLoop) {
  const auto first = Loop(1280, kMeasureOne);
  const auto second = Loop(905, kMeasureTwo);
  using Places = std::pair<std::string, std::string>;  // where the first loop is, and the second
  const struct {
    const char* what;
    std::function<std::optional<Failure>(FileSystem&)> run;
    std::vector<Places> allowed;  // after a cut, once the next operation has finished it
    Places done;
  } operations[] = {
      {"swap 3 and 7",
       [](FileSystem& fs) { return card::SwapSlots(fs, "/c", 3, 7); },
       {{"L03.T58", "L07.T58"}, {"L07.T58", "L03.T58"}},
       {"L07.T58", "L03.T58"}},
      {"move 3 to 9",
       [](FileSystem& fs) { return card::MoveSlot(fs, "/c", 3, 9); },
       {{"L03.T58", "L07.T58"}, {"L09.T58", "L07.T58"}},
       {"L09.T58", "L07.T58"}},
  };
  for (const auto& operation : operations) {
    for (const bool killed : {true, false}) {
      for (int nth = 1;; ++nth) {
        SCOPED_TRACE(std::string(operation.what) +
                     (killed ? ", killed at call " : ", call fails: ") + std::to_string(nth));
        MemoryFileSystem card;
        card.files["/c/L03.T58"] = first;
        card.files["/c/L07.T58"] = second;
        Stopping stopping(card, nth, killed);
        const bool done = !operation.run(stopping);
        // The next operation on the card finishes what was cut off.
        EXPECT_FALSE(card::FinishInterruptedSwap(card, "/c"));
        ASSERT_EQ(card.files.size(), 2u);
        Places places;
        for (const auto& [path, bytes] : card.files) {
          (bytes == first ? places.first : places.second) = path.substr(3);
        }
        EXPECT_NE(std::find(operation.allowed.begin(), operation.allowed.end(), places),
                  operation.allowed.end())
            << places.first << " " << places.second;
        if (done) {
          EXPECT_EQ(places, operation.done);
          break;
        }
      }
    }
  }
}

}  // namespace
}  // namespace loopsmith
