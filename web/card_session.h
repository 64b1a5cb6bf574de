#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/memory_file_system.h"
#include "base/messages.h"
#include "card/card.h"
#include "card/numbering.h"

namespace loopsmith::web {

// A folder the page opened as a card, held in memory as the browser handed
// it over, read and changed by the same card model as the command line's.
// The page cannot call the browser's folder from inside the model, so an
// operation runs on this copy first, and the steps it took there are what the
// page then takes, in order, on the real folder.
class CardSession {
 public:
  struct Step {
    enum class Kind { kWrite, kMove, kRemove };
    Kind kind = Kind::kWrite;
    std::string name;                 // the file written, moved or removed
    std::string to;                   // a move's new name
    std::vector<std::uint8_t> bytes;  // what a write puts there
  };

  // Forgets the folder held.
  void Clear();
  // One file of the folder: its bytes (a loop file's whole, or none of
  // another file), its size, and whether the page may write it.
  void Add(const std::string& name, std::vector<std::uint8_t> bytes, std::int64_t size,
           bool readOnly);
  // The fifty slots and the strays, as they stand in the copy.
  const card::CardView& Read();
  // Of these numbers, those to ask about before a write, and whether the card is full.
  card::Placement PlanPlacement(const std::vector<int>& numbers) const {
    return card::PlanPlacement(m_view, numbers);
  }
  // The numbers a batch of `count` new loops takes, by the card's one rule.
  card::NumberPlan PlanNumbers(int count, int first) const {
    return card::PlanNumbers(m_view, count, first);
  }
  // Slot N's loop as the sampler plays it, in `columns` pairs of lowest and
  // highest sample (-1 to 1), as of the last Read; empty for a free or
  // unreadable slot. Kept until the file changes, so a grid redraws at once.
  const std::vector<float>& Peaks(int number, int columns);
  // A slot's file as it stands in the copy, for the zip of the card.
  const std::vector<std::uint8_t>* Bytes(const std::string& name) const;

  // The operations, on the copy: nothing, or the failure in plain words; the
  // steps taken so far, for the real folder, either way.
  std::optional<Failure> Move(int from, int to, std::vector<Step>& steps);
  std::optional<Failure> Swap(int a, int b, std::vector<Step>& steps);
  // `force`: a loop marked read-only too, once the page has asked.
  std::optional<Failure> Remove(int number, bool force, std::vector<Step>& steps);
  std::optional<Failure> Finish(std::vector<Step>& steps);
  // A loop file the page made, put into slot N (the page asked first where N
  // was taken).
  // With `source` (the sound's name) and `made` (the page's clock), the loop's
  // name goes into the card's index as the command line's --number free does.
  std::optional<Failure> Place(int number, std::vector<std::uint8_t> bytes,
                               const std::string& source, const std::string& made,
                               std::vector<Step>& steps);
  // The musician's name for the loop in slot `number`.
  std::optional<Failure> Label(int number, const std::string& label, std::vector<Step>& steps);
  // The names a backup's index (`bytes`) holds for loops now on the card without one.
  std::optional<Failure> AdoptNames(const std::vector<std::uint8_t>& bytes,
                                    std::vector<Step>& steps);

 private:
  // An operation run on the copy through a layer that notes its steps.
  using Operation = std::function<std::optional<Failure>(FileSystem&)>;
  std::optional<Failure> Recorded(std::vector<Step>& steps, const Operation& operation);
  // The peaks of the files the steps changed are gone; a move takes them along.
  void Forget(const std::vector<Step>& steps);

  static constexpr const char* kFolder = "/card";
  MemoryFileSystem m_fs;
  card::CardView m_view;
  std::map<std::string, std::vector<float>> m_peaks;  // by file name
};

}  // namespace loopsmith::web
