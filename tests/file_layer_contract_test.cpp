// What every file layer promises the code above it, as one table run over
// files in memory and the platform's own layer (the POSIX layer, the Linux
// way or the portable one as the build chose, or the Windows layer).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/memory_file_system.h"
#include "base/platform_file_system.h"
#include "temp_dir.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace loopsmith {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One layer, and how a test reaches past it: as another program would.
struct Layer {
  virtual ~Layer() = default;
  virtual FileSystem& fs() = 0;
  virtual std::string Path(const std::string& name) = 0;
  virtual void Put(const std::string& name, const Bytes& bytes) = 0;
  virtual std::optional<Bytes> Get(const std::string& name) = 0;
  virtual void Folder(const std::string& name) = 0;
  virtual void Lock(const std::string& name) = 0;
  virtual bool LockHolds() = 0;  // whether this program may then not write it
  // Another program writes into the file in place; false where the layer keeps it out.
  virtual bool ChangeInPlace(const std::string& name) = 0;
};

struct InMemory final : Layer {
  MemoryFileSystem memory;
  FileSystem& fs() override { return memory; }
  std::string Path(const std::string& name) override { return "/f/" + name; }
  void Put(const std::string& name, const Bytes& bytes) override {
    memory.files[Path(name)] = bytes;
  }
  std::optional<Bytes> Get(const std::string& name) override {
    const auto found = memory.files.find(Path(name));
    return found == memory.files.end() ? std::nullopt : std::optional<Bytes>(found->second);
  }
  void Folder(const std::string& name) override { memory.files[Path(name) + "/inside"] = {}; }
  void Lock(const std::string& name) override { memory.readOnly.insert(Path(name)); }
  bool LockHolds() override { return true; }
  bool ChangeInPlace(const std::string& name) override {
    memory.files[Path(name)][0] ^= 0xFF;
    return true;
  }
};

struct OnDisk final : Layer {
  testing::TempDir dir;
  PlatformFileSystem platform;
  FileSystem& fs() override { return platform; }
  std::string Path(const std::string& name) override { return dir.Path(name); }
  void Put(const std::string& name, const Bytes& bytes) override {
    testing::WriteBytes(Path(name), bytes);
  }
  std::optional<Bytes> Get(const std::string& name) override {
    if (!std::filesystem::exists(testing::FsPath(Path(name)))) return std::nullopt;
    return testing::ReadBytes(Path(name));
  }
  void Folder(const std::string& name) override {
    std::filesystem::create_directory(testing::FsPath(Path(name)));
  }
  void Lock(const std::string& name) override {
    using std::filesystem::perms;
    std::filesystem::permissions(testing::FsPath(Path(name)),
                                 perms::owner_read | perms::group_read | perms::others_read);
  }
  bool LockHolds() override {
#ifdef _WIN32
    return true;
#else
    return ::geteuid() != 0;  // root may write any file
#endif
  }
  bool ChangeInPlace(const std::string& name) override {
    std::FILE* file = std::fopen(testing::FsPath(Path(name)).string().c_str(), "r+b");
    if (file == nullptr) return false;  // Windows: the reader shares the file with no one
    std::fputc('X', file);
    std::fclose(file);
    return true;
  }
};

int Commit(FileSystem& fs, const std::string& path, const Bytes& bytes, bool keep = true) {
  FileHandle out = FileHandle::kNone;
  if (const int created = fs.CreateOutput(path, out); created != 0) return created;
  if (fs.Write(out, bytes.data(), bytes.size()) != static_cast<std::int64_t>(bytes.size())) {
    fs.DiscardOutput(out);
    return -EIO;
  }
  if (!keep) {
    fs.DiscardOutput(out);
    return 0;
  }
  return fs.CommitOutput(out);
}

const Bytes kOld = {'o', 'l', 'd'};
const Bytes kNew = {'n', 'e', 'w', '!'};

struct Promise {
  const char* what;
  std::function<void(Layer&)> check;
};

const Promise kPromises[] = {
    {"an output takes its target's place only on commit",
     [](Layer& l) {
       l.Put("a", kOld);
       FileHandle out = FileHandle::kNone;
       ASSERT_EQ(l.fs().CreateOutput(l.Path("a"), out), 0);
       ASSERT_EQ(l.fs().Write(out, kNew.data(), kNew.size()), 4);
       EXPECT_EQ(l.Get("a"), kOld) << "before the commit";
       ASSERT_EQ(l.fs().CommitOutput(out), 0);
       EXPECT_EQ(l.Get("a"), kNew);
       ASSERT_EQ(Commit(l.fs(), l.Path("b"), kNew), 0);
       EXPECT_EQ(l.Get("b"), kNew) << "a new file";
     }},
    {"a discarded output leaves the target as it was",
     [](Layer& l) {
       l.Put("a", kOld);
       ASSERT_EQ(Commit(l.fs(), l.Path("a"), kNew, false), 0);
       ASSERT_EQ(Commit(l.fs(), l.Path("b"), kNew, false), 0);
       EXPECT_EQ(l.Get("a"), kOld);
       EXPECT_EQ(l.Get("b"), std::nullopt);
     }},
    {"reads come up short at the end, and seek to it",
     [](Layer& l) {
       l.Put("a", kNew);
       FileHandle in = FileHandle::kNone;
       ASSERT_EQ(l.fs().OpenRead(l.Path("a"), in), 0);
       std::uint8_t buffer[8] = {};
       EXPECT_EQ(l.fs().Read(in, buffer, sizeof buffer), 4);
       EXPECT_EQ(l.fs().Read(in, buffer, sizeof buffer), 0);
       EXPECT_EQ(l.fs().Seek(in, 0, SeekFrom::kEnd), 4);
       EXPECT_EQ(l.fs().Seek(in, 1, SeekFrom::kStart), 1);
       EXPECT_EQ(l.fs().Read(in, buffer, 2), 2);
       EXPECT_EQ(buffer[0], 'e');
       EXPECT_EQ(l.fs().CheckUnchanged(in), 0);
       EXPECT_EQ(l.fs().Close(in), 0);
     }},
    {"a file changed while it is read says so",
     [](Layer& l) {
       l.Put("a", kNew);
       FileHandle in = FileHandle::kNone;
       ASSERT_EQ(l.fs().OpenRead(l.Path("a"), in), 0);
       std::uint8_t buffer[8];
       ASSERT_EQ(l.fs().Read(in, buffer, sizeof buffer), 4);
       const bool changed = l.ChangeInPlace("a");
       EXPECT_EQ(l.fs().CheckUnchanged(in), changed ? -kErrorChanged : 0);
       l.fs().Close(in);
     }},
    {"missing files, folders and read-only targets are refused",
     [](Layer& l) {
       FileHandle h = FileHandle::kNone;
       EXPECT_EQ(l.fs().OpenRead(l.Path("gone"), h), -ENOENT);
       l.Folder("dir");
       EXPECT_EQ(l.fs().OpenRead(l.Path("dir"), h), -EISDIR);
       EXPECT_NE(Commit(l.fs(), l.Path("dir"), kNew), 0);
       l.Put("locked", kOld);
       l.Lock("locked");
       if (l.LockHolds()) {
         EXPECT_NE(Commit(l.fs(), l.Path("locked"), kNew), 0);
         EXPECT_EQ(l.Get("locked"), kOld);
       }
     }},
    {"a move never replaces, and a removal takes the name",
     [](Layer& l) {
       l.Put("a", kOld);
       l.Put("b", kNew);
       EXPECT_EQ(l.fs().MoveNoReplace(l.Path("a"), l.Path("b")), -EEXIST);
       EXPECT_EQ(l.Get("a"), kOld);
       EXPECT_EQ(l.Get("b"), kNew);
       EXPECT_EQ(l.fs().MoveNoReplace(l.Path("a"), l.Path("c")), 0);
       EXPECT_EQ(l.Get("a"), std::nullopt);
       EXPECT_EQ(l.Get("c"), kOld);
       EXPECT_EQ(l.fs().MoveNoReplace(l.Path("a"), l.Path("d")), -ENOENT);
       EXPECT_EQ(l.fs().Remove(l.Path("c")), 0);
       EXPECT_EQ(l.Get("c"), std::nullopt);
       EXPECT_EQ(l.fs().Remove(l.Path("c")), -ENOENT);
     }},
    {"same file, and a folder's listing",
     [](Layer& l) {
       l.Put("a", kOld);
       l.Put("b", kNew);
       EXPECT_TRUE(l.fs().SameFile(l.Path("a"), l.Path("a")));
       EXPECT_FALSE(l.fs().SameFile(l.Path("a"), l.Path("b")));
       EXPECT_FALSE(l.fs().SameFile(l.Path("gone"), l.Path("gone")));
       std::vector<FolderEntry> entries;
       const std::string folder = l.Path("a").substr(0, l.Path("a").size() - 2);
       ASSERT_EQ(l.fs().ListFolder(folder, entries), 0);
       std::vector<std::string> seen;
       seen.reserve(entries.size());
       for (const auto& e : entries) {
         seen.push_back(e.name + (e.regular ? " file " : " other ") + std::to_string(e.size));
       }
       std::sort(seen.begin(), seen.end());
       EXPECT_EQ(seen, (std::vector<std::string>{"a file 3", "b file 4"}));
     }},
};

TEST(FileLayerContract, EveryLayerKeepsEveryPromise) {
  const std::function<std::unique_ptr<Layer>()> layers[] = {
      [] { return std::make_unique<InMemory>(); },
      [] { return std::make_unique<OnDisk>(); },
  };
  for (const auto& make : layers) {
    for (const Promise& promise : kPromises) {
      auto layer = make();
      SCOPED_TRACE(std::string(dynamic_cast<InMemory*>(layer.get()) ? "memory: " : "disk: ") +
                   promise.what);
      promise.check(*layer);
    }
  }
}

}  // namespace
}  // namespace loopsmith
