#include "cli/describe_card.h"

#include <cstdio>

#include "base/text.h"
#include "card/card.h"

namespace loopsmith::cli {

bool DescribeCard(FileSystem& fs, LineReporter& reporter, const std::string& folder,
                  std::ostream& out) {
  card::CardView view;
  if (const int listed = card::ReadCard(fs, folder, view); listed != 0) {
    reporter.Report(OpenFailure(MessageId::kNoCatalogueText, -listed));
    return false;
  }
  const auto free = view.FreeNumbers();
  out << QuotedName(folder) << ": card, " << card::kSlots - static_cast<int>(free.size()) << " of "
      << card::kSlots << " numbers taken\n";
  bool allRead = true;
  for (const card::Slot& slot : view.slots) {
    out << "  " << card::SlotName(slot.number) << "  ";
    if (!slot.file) {
      out << "free\n";
      continue;
    }
    const card::SlotFile& file = *slot.file;
    if (file.problem) {
      allRead = false;
      out << MessageText(file.problem->id) << ": " << DetailOf(*file.problem) << '\n';
      continue;
    }
    char line[96];
    const int tenths = file.params.tempo;
    std::snprintf(line, sizeof line, "%5d.%d BPM  %-10s %6.3f s  %s bytes", tenths / 10,
                  tenths % 10,
                  file.params.measureMode == kMeasureOne   ? "1 measure"
                  : file.params.measureMode == kMeasureTwo ? "2 measures"
                                                           : "OFF",
                  file.seconds, WithCommas(static_cast<std::uint64_t>(file.size)).c_str());
    out << line << (file.readOnly ? "  read-only" : "");
    if (file.named) {
      // The musician's label first, then where the loop came from.
      const card::LoopName& named = *file.named;
      out << "  " << (named.label.empty() ? "" : QuotedName(named.label) + ", ") << "from "
          << QuotedName(named.source) << (named.made.empty() ? "" : ", " + named.made);
    }
    out << '\n';
  }
  if (!view.indexProblem.empty()) {
    out << "  the card's names (.loopsmith-card) are left aside: " << view.indexProblem << '\n';
  }
  if (!view.strays.empty()) {
    out << "  not seen by the sampler:\n";
    for (const card::Stray& stray : view.strays) {
      out << "    " << QuotedName(stray.name) << ": " << stray.why << '\n';
    }
  }
  return allRead;
}

}  // namespace loopsmith::cli
