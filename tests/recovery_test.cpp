#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/content_check.h"
#include "base/forwarding_file_system.h"
#include "base/journal.h"
#include "base/memory_file_system.h"
#include "base/platform_file_system.h"
#include "card/card.h"
#include "card/card_moves.h"
#include "journal_bytes.h"
#include "temp_dir.h"

namespace loopsmith {
namespace {

using testing::IdentityIn;
using testing::Journal;
using Bytes = std::vector<std::uint8_t>;

const Bytes kOld(9000, 7);
const Bytes kNew(5000, 9);
const Bytes kVictim = {'m', 'i', 'n', 'e'};

// One file layer with a card folder in it and a file of the user's beside
// the folder, which nothing done in the folder may touch.
class Layer {
 public:
  virtual ~Layer() = default;
  virtual FileSystem& fs() = 0;
  virtual std::string folder() = 0;
  virtual void Put(const std::string& name, const Bytes& bytes) = 0;
  virtual void MakeFolder(const std::string& name) = 0;
  // Every name in the folder and its bytes, and the victim's, as they are.
  virtual std::map<std::string, Bytes> Everything() = 0;
};

class MemoryLayer final : public Layer {
 public:
  MemoryLayer() { m_fs.files["/victim.txt"] = kVictim; }
  FileSystem& fs() override { return m_fs; }
  std::string folder() override { return "/card"; }
  void Put(const std::string& name, const Bytes& bytes) override {
    m_fs.files["/card/" + name] = bytes;
  }
  void MakeFolder(const std::string& name) override { m_fs.files["/card/" + name + "/x"] = {}; }
  std::map<std::string, Bytes> Everything() override {
    return {m_fs.files.begin(), m_fs.files.end()};
  }

 private:
  MemoryFileSystem m_fs;
};

class DiskLayer final : public Layer {
 public:
  DiskLayer() {
    std::filesystem::create_directory(m_dir.root() / "card");
    testing::WriteBytes(m_dir.Path("victim.txt"), kVictim);
  }
  FileSystem& fs() override { return m_fs; }
  std::string folder() override { return m_dir.Path("card"); }
  void Put(const std::string& name, const Bytes& bytes) override {
    testing::WriteBytes(m_dir.Path("card/" + name), bytes);
  }
  void MakeFolder(const std::string& name) override {
    std::filesystem::create_directory(m_dir.root() / "card" / name);
  }
  std::map<std::string, Bytes> Everything() override {
    std::map<std::string, Bytes> all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir.root())) {
      const std::string name = testing::Utf8Of(entry.path().lexically_relative(m_dir.root()));
      all[name] =
          entry.is_regular_file() ? testing::ReadBytes(testing::Utf8Of(entry.path())) : Bytes{};
    }
    return all;
  }

 private:
  testing::TempDir m_dir;
  PlatformFileSystem m_fs;
};

// A layer whose locks cannot be had, as on a share whose lock daemon is gone.
class NoLockFolder final : public RecoveryFolder {
 public:
  explicit NoLockFolder(std::unique_ptr<RecoveryFolder> inner) : m_in(std::move(inner)) {}
  int List(std::vector<std::string>& n) override { return m_in->List(n); }
  int Open(const std::string& n, bool w, File& f) override { return m_in->Open(n, w, f); }
  int Create(const std::string& n, File& f) override { return m_in->Create(n, f); }
  bool StillNamed(File f, const std::string& n) override { return m_in->StillNamed(f, n); }
  LockResult TryLock(File) override { return LockResult::kCannot; }
  int Identify(File f, FileIdentity& i) override { return m_in->Identify(f, i); }
  std::int64_t ReadAt(File f, void* b, std::size_t n, std::int64_t a) override {
    return m_in->ReadAt(f, b, n, a);
  }
  int WriteAt(File f, const void* b, std::size_t n, std::int64_t a) override {
    return m_in->WriteAt(f, b, n, a);
  }
  std::int64_t Size(File f) override { return m_in->Size(f); }
  int SetSizeAndSync(File f, std::int64_t s) override { return m_in->SetSizeAndSync(f, s); }
  int Remove(File f, const std::string& n) override { return m_in->Remove(f, n); }
  void Close(File f) override { m_in->Close(f); }

 private:
  std::unique_ptr<RecoveryFolder> m_in;
};

class NoLockFiles final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::unique_ptr<RecoveryFolder> OpenRecoveryFolder(const std::string& folder) override {
    auto inner = ForwardingFileSystem::OpenRecoveryFolder(folder);
    return inner ? std::make_unique<NoLockFolder>(std::move(inner)) : nullptr;
  }
};

// A journal for `name`, filed under the name derived from `filedAs`, whose
// checksum is right for whatever it claims.
Bytes Crafted(Layer& layer, const std::string& name, const Bytes& old, const std::string& filedAs,
              bool rightFile) {
  const FileIdentity identity =
      rightFile ? IdentityIn(layer.fs(), layer.folder(), filedAs) : FileIdentity{};
  layer.Put(JournalName(filedAs), Journal(name, old, identity, kNew));
  return old;
}

struct Row {
  const char* what;
  std::function<void(Layer&)> lay;
  bool putBack;  // a sweep puts kOld back into L01.T58
};

std::vector<Row> Rows() {
  auto hostile = [](std::string name) {
    return [name](Layer& l) { Crafted(l, name, kOld, name, false); };
  };
  return {
      {"a name that climbs out", hostile("../victim.txt"), false},
      {"a name that climbs out, Windows' way", hostile("..\\victim.txt"), false},
      {"an absolute name", hostile("/victim.txt"), false},
      {"a drive", hostile("C:victim.txt"), false},
      {"a stream", hostile("L01.T58:x"), false},
      {"a device", hostile("CON.T58"), false},
      {"a trailing dot", hostile("L01.T58."), false},
      {"a trailing space", hostile("L01.T58 "), false},
      {"a NUL", hostile(std::string("L01.T58\0x", 9)), false},
      {"dot dot", hostile(".."), false},
      {"filed under another file's name",
       [](Layer& l) { l.Put(JournalName("L02.T58"), Journal("L01.T58", kOld, {}, kNew)); }, false},
      {"right checksum, another file's identity",
       [](Layer& l) { Crafted(l, "L01.T58", kOld, "L01.T58", false); }, false},
      {"an old size of a gigabyte",
       [](Layer& l) {
         auto head = MakeJournalHead({"L01.T58", {}, 1ULL << 30, kNew.size(), {}, {}, 0});
         l.Put(JournalName("L01.T58"), head);
       },
       false},
      {"a head cut in the middle",
       [](Layer& l) {
         auto bytes = Journal("L01.T58", kOld, IdentityIn(l.fs(), l.folder(), "L01.T58"), kNew);
         bytes.resize(30);
         l.Put(JournalName("L01.T58"), bytes);
       },
       false},
      {"a folder under the journal's name", [](Layer& l) { l.MakeFolder(JournalName("L01.T58")); },
       false},
      {"the user's own files and folders",
       [](Layer& l) {
         l.Put(".loopsmith-notes.txt", kOld);
         l.Put(".loopsmith-settings", kOld);
         l.Put(".loopsmith-a1b2c3.txt", kOld);
         l.MakeFolder(".loopsmith-0c0ffe");
       },
       false},
      {"a swap journal that names a file outside the card",
       [](Layer& l) {
         l.Put(".loopsmith-swap",
               {'L', '0', '1', '.', 'T', '5', '8', '\n', '.', '.', '/', 'x', '\n', '1', '\n'});
         l.Put(".loopsmith-swap.T58", {'1'});
       },
       false},
      {"the journal of a copy cut off over this very file",
       [](Layer& l) { Crafted(l, "L01.T58", kOld, "L01.T58", true); }, true},
  };
}

std::vector<std::unique_ptr<Layer>> Layers() {
  std::vector<std::unique_ptr<Layer>> layers;
  layers.push_back(std::make_unique<MemoryLayer>());
  layers.push_back(std::make_unique<DiskLayer>());
  return layers;
}

TEST(Recovery, NothingReadFromAFileNamesAnotherAndLooksWriteNothing) {
  for (const Row& row : Rows()) {
    for (auto& layer : Layers()) {
      SCOPED_TRACE(row.what);
      layer->Put("L01.T58", kNew);  // as a copy cut off after its last write leaves it
      row.lay(*layer);
      const auto before = layer->Everything();
      // Looks: the card, the file, reading it.
      card::CardView view;
      EXPECT_EQ(card::ReadCard(layer->fs(), layer->folder(), view), 0);
      (void)layer->fs().CutOffCopyOf(layer->folder() + "/L01.T58");
      FileHandle file = FileHandle::kNone;
      ASSERT_EQ(layer->fs().OpenRead(layer->folder() + "/L01.T58", file), 0);
      const std::int64_t size = layer->fs().Seek(file, 0, SeekFrom::kEnd);
      layer->fs().Close(file);
      EXPECT_EQ(size, static_cast<std::int64_t>(row.putBack ? kOld.size() : kNew.size()));
      EXPECT_EQ(layer->Everything(), before) << "a look wrote";
      // Where locks cannot be had, a sweep leaves everything alone.
      NoLockFiles noLocks(layer->fs());
      noLocks.SweepFolder(layer->folder());
      EXPECT_EQ(layer->Everything(), before) << "a sweep without locks acted";
      // The sweep and a card operation: only the real journal is put back.
      layer->fs().SweepFolder(layer->folder());
      (void)card::RemoveSlot(layer->fs(), layer->folder(), 50);
      auto after = layer->Everything();
      auto expected = before;
      for (const auto& [name, bytes] : before) {
        if (row.putBack && name.ends_with(JournalName("L01.T58"))) expected.erase(name);
        if (row.putBack && name.ends_with("L01.T58")) expected[name] = kOld;
      }
      EXPECT_EQ(after, expected);
    }
  }
}

TEST(Recovery, ACutOffCopyIsPutBackOnlyOntoTheFileItWasMadeFor) {
  for (auto& layer : Layers()) {
    // The copy's file replaced since (a new file under the name), or rewritten
    // by someone else (a backup copied over it): the journal stays, the file too.
    for (const bool replaced : {true, false}) {
      SCOPED_TRACE(replaced ? "replaced" : "rewritten");
      layer->Put("L01.T58", kNew);
      Crafted(*layer, "L01.T58", kOld, "L01.T58", true);
      if (replaced) {
        FileHandle out = FileHandle::kNone;
        ASSERT_EQ(layer->fs().CreateOutput(layer->folder() + "/L01.T58", out), 0);
        layer->fs().Write(out, kNew.data(), kNew.size());
        // A new file under the name: the writes of a commit by rename.
        layer->fs().CommitOutput(out);
        layer->Put(JournalName("L01.T58"), Journal("L01.T58", kOld, {1, 2, 3}, kNew));
      } else {
        layer->Put("L01.T58", Bytes(5000, 4));
      }
      const auto before = layer->Everything();
      layer->fs().SweepFolder(layer->folder());
      EXPECT_EQ(layer->Everything(), before);
      // --recover on the user's word puts back nothing that does not check out either.
      layer->fs().RecoverFolder(layer->folder());
      EXPECT_EQ(layer->Everything(), before);
    }
  }
}

TEST(Recovery, WithoutLocksOnlyRecoverPutsBack) {
  for (auto& layer : Layers()) {
    layer->Put("L01.T58", kNew);
    Crafted(*layer, "L01.T58", kOld, "L01.T58", true);
    layer->Put(".loopsmith-4a5e39", kNew);
    NoLockFiles noLocks(layer->fs());
    const auto left = noLocks.SweepFolder(layer->folder());
    EXPECT_EQ(left.size(), 2u);
    EXPECT_TRUE(noLocks.RecoverFolder(layer->folder()).empty());
    const auto all = layer->Everything();
    for (const auto& [name, bytes] : all) {
      EXPECT_EQ(name.find(".loopsmith-"), std::string::npos) << name;
      if (name.ends_with("L01.T58")) {
        EXPECT_EQ(bytes, kOld);
      }
    }
  }
}

TEST(Recovery, AJournalReadsTheSameWrittenInOnePieceOrMany) {
  const Bytes journal = Journal("L01.T58", kOld, {1, 2, 3}, kNew);
  for (const std::size_t piece :
       {std::size_t{1}, std::size_t{7}, std::size_t{4096}, journal.size()}) {
    Checksum whole;
    whole.Add(journal.data(), journal.size());
    Checksum parts;
    for (std::size_t at = 0; at < journal.size(); at += piece) {
      parts.Add(journal.data() + at, std::min(piece, journal.size() - at));
    }
    EXPECT_EQ(parts.value(), whole.value()) << piece;
  }
  EXPECT_EQ(ParseJournalHead(journal, JournalName("L01.T58")).fault, HeadFault::kNone);
}

}  // namespace
}  // namespace loopsmith
