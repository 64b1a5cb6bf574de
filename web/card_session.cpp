#include "web/card_session.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "base/forwarding_file_system.h"
#include "base/paths.h"
#include "card/card_moves.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "core/sample_transforms.h"

namespace loopsmith::web {
namespace {

// The copy in memory, noting each change that took so the page can take the
// same steps on the folder itself. Reads pass straight through.
class Recording final : public ForwardingFileSystem {
 public:
  Recording(MemoryFileSystem& inner, std::vector<CardSession::Step>& steps)
      : ForwardingFileSystem(inner), m_in(inner), m_steps(steps) {}
  int CreateOutput(const std::string& p, FileHandle& h) override {
    const int created = m_in.CreateOutput(p, h);
    if (created == 0) m_targets[h] = p;
    return created;
  }
  int CommitOutput(FileHandle f) override {
    const std::string target = m_targets[f];
    m_targets.erase(f);
    const int committed = m_in.CommitOutput(f);
    if (committed == 0) {
      m_steps.push_back({CardSession::Step::Kind::kWrite, NameOf(target), {}, m_in.files[target]});
    }
    return committed;
  }
  void DiscardOutput(FileHandle f) override {
    m_targets.erase(f);
    m_in.DiscardOutput(f);
  }
  int MoveNoReplace(const std::string& a, const std::string& b) override {
    const int moved = m_in.MoveNoReplace(a, b);
    if (moved == 0) m_steps.push_back({CardSession::Step::Kind::kMove, NameOf(a), NameOf(b), {}});
    return moved;
  }
  int Remove(const std::string& p) override {
    const int removed = m_in.Remove(p);
    if (removed == 0) m_steps.push_back({CardSession::Step::Kind::kRemove, NameOf(p), {}, {}});
    return removed;
  }

 private:
  MemoryFileSystem& m_in;
  std::vector<CardSession::Step>& m_steps;
  std::map<FileHandle, std::string> m_targets;
};

// A failure to keep a name, in the words the page shows.
std::optional<Failure> Named(int result) {
  if (result == 0) return std::nullopt;
  Failure failure = PlainFailure("the loop's name could not be kept in the card's index");
  failure.systemError = -result;
  return failure;
}

}  // namespace

void CardSession::Clear() {
  m_fs = MemoryFileSystem{};
  m_view = card::CardView{};
  m_peaks.clear();
}

void CardSession::Add(const std::string& name, std::vector<std::uint8_t> bytes, std::int64_t size,
                      bool readOnly) {
  const std::string path = card::PathIn(kFolder, name);
  // Only a loop file's bytes are held; the listing still gives the others' sizes.
  if (static_cast<std::int64_t>(bytes.size()) != size) m_fs.wholeSizes[path] = size;
  m_fs.files[path] = std::move(bytes);
  if (readOnly) m_fs.readOnly.insert(path);
  m_peaks.erase(name);
}

const card::CardView& CardSession::Read() {
  card::ReadCard(m_fs, kFolder, m_view);
  return m_view;
}

const std::vector<float>& CardSession::Peaks(int number, int columns) {
  static const std::vector<float> kNone;
  if (number < 1 || number > card::kSlots || columns <= 0) return kNone;
  const card::Slot& slot = m_view.slots[static_cast<std::size_t>(number - 1)];
  if (!slot.file || slot.file->problem) return kNone;
  auto& peaks = m_peaks[slot.file->name];
  if (peaks.size() == 2 * static_cast<std::size_t>(columns)) return peaks;
  const auto held = m_fs.files.find(card::PathIn(kFolder, slot.file->name));
  const std::size_t count = slot.file->loopSamples;
  if (held == m_fs.files.end() || held->second.size() < kLoopHeaderSize + 2 * count) return kNone;
  // The words turned to samples a piece at a time: no copy of the file, no allocation.
  const std::uint8_t* words = held->second.data() + kLoopHeaderSize;
  std::array<std::uint8_t, std::size_t{2} * 1024> pcm{};
  peaks.assign(2 * static_cast<std::size_t>(columns), 0.0F);
  for (std::size_t c = 0; c < static_cast<std::size_t>(columns); ++c) {
    const std::size_t begin = c * count / static_cast<std::size_t>(columns);
    const std::size_t end =
        std::max(begin + 1, (c + 1) * count / static_cast<std::size_t>(columns));
    int low = 32767;
    int high = -32768;
    for (std::size_t at = begin; at < end; at += pcm.size() / 2) {
      const std::size_t n = std::min(pcm.size() / 2, end - at);
      LoopToPcm(words + 2 * at, pcm.data(), static_cast<std::uint32_t>(n - 1));
      for (std::size_t i = 0; i < n; ++i) {
        const int sample = static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
        low = std::min(low, sample);
        high = std::max(high, sample);
      }
    }
    peaks[2 * c] = static_cast<float>(low) / 32768.0F;
    peaks[2 * c + 1] = static_cast<float>(high) / 32768.0F;
  }
  return peaks;
}

void CardSession::Forget(const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    if (step.kind != Step::Kind::kMove) {
      m_peaks.erase(step.name);
      continue;
    }
    auto moved = m_peaks.extract(step.name);
    m_peaks.erase(step.to);
    if (moved) {
      moved.key() = step.to;
      m_peaks.insert(std::move(moved));
    }
  }
}

const std::vector<std::uint8_t>* CardSession::Bytes(const std::string& name) const {
  const auto found = m_fs.files.find(card::PathIn(kFolder, name));
  return found == m_fs.files.end() ? nullptr : &found->second;
}

std::optional<Failure> CardSession::Recorded(std::vector<Step>& steps, const Operation& operation) {
  Recording fs(m_fs, steps);
  auto failure = operation(fs);
  Forget(steps);
  return failure;
}

std::optional<Failure> CardSession::Move(int from, int to, std::vector<Step>& steps) {
  return Recorded(steps, [&](FileSystem& fs) { return card::MoveSlot(fs, kFolder, from, to); });
}

std::optional<Failure> CardSession::Swap(int a, int b, std::vector<Step>& steps) {
  return Recorded(steps, [&](FileSystem& fs) { return card::SwapSlots(fs, kFolder, a, b); });
}

std::optional<Failure> CardSession::Remove(int number, bool force, std::vector<Step>& steps) {
  return Recorded(steps,
                  [&](FileSystem& fs) { return card::RemoveSlot(fs, kFolder, number, force); });
}

std::optional<Failure> CardSession::Finish(std::vector<Step>& steps) {
  return Recorded(steps, [&](FileSystem& fs) { return card::FinishInterruptedSwap(fs, kFolder); });
}

std::optional<Failure> CardSession::Place(int number, std::vector<std::uint8_t> bytes,
                                          const std::string& source, const std::string& made,
                                          std::vector<Step>& steps) {
  const std::string name = card::SlotName(number);
  const std::string path = card::PathIn(kFolder, name);
  m_fs.wholeSizes.erase(path);
  m_fs.readOnly.erase(path);
  m_fs.files[path] = bytes;
  m_peaks.erase(name);
  steps.push_back({Step::Kind::kWrite, name, {}, std::move(bytes)});
  if (source.empty()) return std::nullopt;
  return Recorded(steps, [&](FileSystem& fs) {
    return Named(card::RecordSlot(fs, kFolder, number, source, made));
  });
}

std::optional<Failure> CardSession::Label(int number, const std::string& label,
                                          std::vector<Step>& steps) {
  return Recorded(
      steps, [&](FileSystem& fs) { return Named(card::LabelSlot(fs, kFolder, number, label)); });
}

std::optional<Failure> CardSession::AdoptNames(const std::vector<std::uint8_t>& bytes,
                                               std::vector<Step>& steps) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return Recorded(steps,
                  [&](FileSystem& fs) { return Named(card::AdoptNames(fs, kFolder, text)); });
}

}  // namespace loopsmith::web
