#include "cli/describe_json.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "base/text.h"
#include "base/work_buffers.h"
#include "card/card.h"
#include "cli/describe.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "wave/wave_io.h"
#ifdef LOOPSMITH_HAVE_ADAPT
#include "adapt/sound_file.h"
#endif

namespace loopsmith::cli {
namespace {

// A JSON string for any bytes: a byte that is not part of well-formed UTF-8
// (a name on a card may hold any) is the lone surrogate U+DC00 plus the byte,
// as Python's "surrogateescape" reads it back to the very bytes.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t length = Utf8SequenceAt(text, at);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || length == 0) {
      std::snprintf(escape, sizeof escape, "\\u%04x", length == 0 ? 0xDC00 + byte : byte);
      out += escape;
    } else {
      out.append(text, at, length);
      at += length;
      continue;
    }
    ++at;
  }
  return out + "\"";
}

std::string Number(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// An object's fields, in order.
class Object {
 public:
  Object& Add(const std::string& key, const std::string& json) {
    m_text += (m_text.empty() ? "" : ", ") + Quoted(key) + ": " + json;
    return *this;
  }
  std::string Text() const { return "{" + m_text + "}"; }

 private:
  std::string m_text;
};

void AddFailure(Object& object, const Failure& failure) {
  object.Add("ok", "false")
      .Add("message", Quoted(std::string(MessageText(failure.id))))
      .Add("detail", Quoted(DetailOf(failure)));
}

std::string MeasureOf(MeasureMode mode) {
  return Quoted(mode == kMeasureOne ? "1" : mode == kMeasureTwo ? "2" : "OFF");
}

std::string Loop(FileSystem& fs, const std::string& path, bool& ok) {
  Object object;
  object.Add("path", Quoted(path)).Add("kind", Quoted("loop"));
  PageAllocator heap;
  const WorkBuffer image(heap, kLargestLoopFile);
  FirstFailure failure;
  LoopParams params;
  ok = image && ReadLoopFile(fs, failure, path, image.first<kLargestLoopFile>(), params);
  if (!ok) {
    AddFailure(object, failure.first.value_or(Failure{MessageId::kMemoryError, 0, {}}));
    return object.Text();
  }
  const std::uint32_t last = SampleCount(params.measureMode, params.tempo);
  const std::int64_t size = FileSize(fs, path);
  object.Add("ok", "true")
      .Add("tempo", Number(params.tempo / 10.0, 1))
      .Add("measure", MeasureOf(params.measureMode))
      .Add("loopSamples", std::to_string(last + 1))
      .Add("seconds", Number((last + 1.0) / kSampleRate, 3))
      .Add("storedWords", std::to_string(StorageWords(last) + 1))
      .Add("size", std::to_string(size));
  return object.Text();
}

std::string Wave(FileSystem& fs, const std::string& path, const Options& options, bool& ok) {
  Object object;
  object.Add("path", Quoted(path));
  PageAllocator heap;
  const WorkBuffer pcm(heap, kPcmElements * 2);
  FirstFailure failure;
  CWaveFile wave(fs, failure);
  std::uint32_t loaded = 0;
  ok = pcm && LoadWave(wave, failure, path, pcm.first<kStereoLoadCap>(), loaded);
  if (ok) {
    const std::uint32_t frameBytes = 2u * wave.m_format.nChannels;
    object.Add("kind", Quoted("wave"))
        .Add("ok", "true")
        .Add("channels", std::to_string(wave.m_format.nChannels))
        .Add("rate", std::to_string(wave.m_format.nSamplesPerSec))
        .Add("bits", std::to_string(wave.m_format.wBitsPerSample))
        .Add("frames", std::to_string(wave.m_dataSize / frameBytes))
        .Add("converted", std::to_string((loaded + frameBytes - 1) / frameBytes));
    return object.Text();
  }
#ifdef LOOPSMITH_HAVE_ADAPT
  if (options.adapt) {
    Failure unopened = PlainFailure({});
    if (const auto sound = adapt::SoundFile::Open(fs, path, unopened)) {
      const adapt::SoundInfo& info = sound->info();
      ok = true;
      object.Add("kind", Quoted("sound"))
          .Add("ok", "true")
          .Add("container", Quoted(info.container))
          .Add("encoding", Quoted(info.encoding))
          .Add("rate", std::to_string(info.rate))
          .Add("channels", std::to_string(info.channels))
          .Add("frames", info.lengthKnown ? std::to_string(info.frames) : "null");
      return object.Text();
    }
    object.Add("kind", Quoted("sound"));
    AddFailure(object, unopened);
    return object.Text();
  }
#else
  (void)options;
#endif
  object.Add("kind", Quoted("wave"));
  AddFailure(object, failure.first.value_or(Failure{MessageId::kMemoryError, 0, {}}));
  return object.Text();
}

std::string Card(FileSystem& fs, const std::string& path, bool& ok) {
  Object object;
  object.Add("path", Quoted(path)).Add("kind", Quoted("card"));
  card::CardView view;
  if (const int listed = card::ReadCard(fs, path, view); listed != 0) {
    ok = false;
    AddFailure(object, OpenFailure(MessageId::kNoCatalogueText, -listed));
    return object.Text();
  }
  ok = true;
  std::string slots;
  for (const card::Slot& slot : view.slots) {
    Object item;
    item.Add("number", std::to_string(slot.number))
        .Add("name", Quoted(card::SlotName(slot.number)));
    if (!slot.file) {
      item.Add("state", Quoted("free"));
    } else if (slot.file->problem) {
      ok = false;
      item.Add("state", Quoted("unreadable"))
          .Add("message", Quoted(std::string(MessageText(slot.file->problem->id))))
          .Add("detail", Quoted(DetailOf(*slot.file->problem)));
    } else {
      const card::SlotFile& file = *slot.file;
      item.Add("state", Quoted("loop"))
          .Add("tempo", Number(file.params.tempo / 10.0, 1))
          .Add("measure", MeasureOf(file.params.measureMode))
          .Add("loopSamples", std::to_string(file.loopSamples))
          .Add("seconds", Number(file.seconds, 3))
          .Add("size", std::to_string(file.size))
          .Add("readOnly", file.readOnly ? "true" : "false");
      if (file.named) {
        item.Add("source", Quoted(file.named->source))
            .Add("made", Quoted(file.named->made))
            .Add("label", Quoted(file.named->label));
      }
    }
    slots += (slots.empty() ? "" : ", ") + item.Text();
  }
  std::string strays;
  for (const card::Stray& stray : view.strays) {
    strays += (strays.empty() ? "" : ", ") +
              Object().Add("name", Quoted(stray.name)).Add("why", Quoted(stray.why)).Text();
  }
  object.Add("ok", ok ? "true" : "false")
      .Add("slots", "[" + slots + "]")
      .Add("strays", "[" + strays + "]");
  if (!view.indexProblem.empty()) object.Add("indexProblem", Quoted(view.indexProblem));
  return object.Text();
}

}  // namespace

std::string DescribeJson(FileSystem& fs, const std::string& path, Direction direction,
                         const Options& options, bool& ok) {
  if (std::vector<FolderEntry> entries; fs.ListFolder(path, entries) == 0) {
    return Card(fs, path, ok);
  }
  if (direction == Direction::kLoopToWave) return Loop(fs, path, ok);
  if (direction == Direction::kWaveToLoop || options.adapt) return Wave(fs, path, options, ok);
  ok = false;
  Object object;
  object.Add("path", Quoted(path)).Add("kind", Quoted("other"));
  AddFailure(object, PlainFailure("not a .WAV or .T58 file"));
  return object.Text();
}

}  // namespace loopsmith::cli
