// The page's view of the core: plain values in and out, bytes through views
// of memory the module keeps, so that nothing passes through a text string.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "app/loop_param_model.h"
#include "base/messages.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "core/loop_params.h"
#include "core/output_names.h"
#include "wave/wave_io.h"
#include "web/card_session.h"
#include "web/page_session.h"

namespace loopsmith::web {
namespace {

using emscripten::val;

// A copy in JavaScript's own memory: a view into the module's would go stale
// once the module's memory grows or the next call frees what it showed.
template <typename T>
val CopyOf(const std::vector<T>& values) {
  const char* type = sizeof(T) == 1 ? "Uint8Array" : sizeof(T) == 2 ? "Int16Array" : "Float32Array";
  return val::global(type).new_(emscripten::typed_memory_view(values.size(), values.data()));
}

val ResultOf(const PageSession::Result& result) {
  val out = val::object();
  out.set("ok", result.ok);
  out.set("message", result.message);
  out.set("detail", result.detail);
  out.set("name", result.name);
  out.set("bytes", CopyOf(result.bytes));
  out.set("needsMore", result.needsMore);
  out.set("otherFormat", result.otherFormat);
  out.set("wavOrAiff", result.wavOrAiff);
  return out;
}

// What the heap may hold of one dropped file: the module's memory ends at
// 2 GiB, and the file's loop, its waveform and its audition need room beside it.
constexpr double kMostInputBytes = 1024.0 * 1024 * 1024;

// Room for `bytes` more, asked of the heap before it is taken: the module is
// built without exceptions, so a failed allocation would end it outright.
val Room(double bytes) {
  val out = val::object();
  // A JavaScript number, so that a size past 4 GiB is seen as it is, not wrapped.
  const bool fits = bytes >= 0 && bytes <= kMostInputBytes;
  void* probe = fits ? std::malloc(static_cast<std::size_t>(bytes)) : nullptr;
  std::free(probe);
  out.set("ok", probe != nullptr || bytes == 0);
  if (probe == nullptr && bytes != 0) {
    char detail[160];
    std::snprintf(detail, sizeof detail, "%.0f MiB, more than the page can hold (%s)",
                  std::ceil(bytes / (1024 * 1024)),
                  fits ? "its memory is used up" : "at most 1,024 MiB");
    out.set("message", std::string(MessageText(MessageId::kMemoryError)));
    out.set("detail", std::string(detail));
  }
  return out;
}

// `count` values in `into`, once the heap has said it has room for them.
template <typename T>
val Reserve(std::vector<T>& into, double count) {
  into = {};
  val room = Room(count * sizeof(T));
  if (room["ok"].as<bool>()) into.assign(static_cast<std::size_t>(count), T{});
  return room;
}

// Slot numbers as a plain JavaScript array.
val ArrayOf(const std::vector<int>& numbers) {
  val out = val::array();
  for (const int number : numbers) out.call<void>("push", number);
  return out;
}

// A view of the module's own memory, for the page to fill; valid until the next call.
template <typename T>
val ViewOf(std::vector<T>& values) {
  return val(emscripten::typed_memory_view(values.size(), values.data()));
}

// The session with its input and output buffers.
class Session {
 public:
  // Room for a dropped file of `size` bytes, which inputView() then shows.
  val ReserveInput(double size) { return Reserve(m_input, size); }
  val InputView() { return ViewOf(m_input); }
  // `wholeSize`: the file's size, of which the input holds the start.
  val Open(const std::string& name, double wholeSize) {
    return ResultOf(m_session.Open(name, std::move(m_input), static_cast<std::int64_t>(wholeSize)));
  }
  // Room for `count` decoded samples, which floatView() then shows.
  val ReserveFloats(double count) {
    m_session.ReleaseOwn();  // the page has its copy to resample
    return Reserve(m_floats, count);
  }
  val FloatView() { return ViewOf(m_floats); }
  val UseDecoded(const std::string& name, int channels) {
    const auto result = m_session.UseDecoded(name, m_floats, channels);
    m_floats = {};
    return ResultOf(result);
  }
  val DecodeOwn() {
    const auto own = m_session.DecodeOwn();
    val out = ResultOf(own.result);
    out.set("rate", own.rate);
    out.set("channels", own.channels);
    return out;
  }
  val OwnSamples() const { return CopyOf(m_session.ownSamples()); }
  int Kind() const { return static_cast<int>(m_session.kind()); }
  int Channels() const { return m_session.channels(); }
  std::uint32_t Frames() const { return m_session.frames(); }
  std::uint32_t FileFrames() const { return m_session.fileFrames(); }
  val Samples() const { return CopyOf(m_session.samples()); }
  std::uint32_t HeldFrames() const { return m_session.heldFrames(); }
  val SetStart(double frame) {
    return ResultOf(m_session.SetStart(static_cast<std::uint32_t>(std::max(0.0, frame))));
  }
  std::uint32_t Start() const { return m_session.start(); }
  val Overview(double from, double to, int columns) const {
    return CopyOf(m_session.Overview(static_cast<std::uint32_t>(std::max(0.0, from)),
                                     static_cast<std::uint32_t>(std::max(0.0, to)), columns));
  }
  // {frames: the hits' starts, why: when there is none}
  val Hits() const {
    std::string why;
    const std::vector<std::uint32_t> hits = m_session.Hits(why);
    val out = val::object();
    out.set("frames", CopyOf(hits));
    out.set("why", why);
    return out;
  }
  std::uint32_t ZeroCrossingBefore(double frame) const {
    return m_session.ZeroCrossingBefore(static_cast<std::uint32_t>(std::max(0.0, frame)));
  }
  int LoopTempo() const { return m_session.loopParams().tempo; }
  int LoopMeasure() const { return m_session.loopParams().measureMode; }
  val BuildLoop(int tenths, int mode, int number, bool dither) {
    return ResultOf(m_session.BuildLoop(Params(tenths, mode, number), dither));
  }
  val Audition(int tenths, int mode, bool dither) {
    return CopyOf(m_session.Audition(Params(tenths, mode, 1), dither));
  }
  val SaveWave() { return ResultOf(m_session.SaveWave()); }
  val SuggestTempo() {
    const auto suggestion = m_session.SuggestTempo();
    val out = val::object();
    out.set("tenths", suggestion.tenths.value_or(0));
    out.set("measures", suggestion.measures);
    out.set("second", suggestion.second.value_or(0));
    out.set("secondMeasures", suggestion.secondMeasures);
    out.set("source", suggestion.source);
    out.set("adjusted", suggestion.adjusted);
    std::string notes;
    for (const auto& note : suggestion.notes) notes += (notes.empty() ? "" : "; ") + note;
    out.set("notes", notes);
    out.set("failure", suggestion.failure);
    out.set("needsMore", suggestion.needsMore);
    return out;
  }

 private:
  static LoopParams Params(int tenths, int mode, int number) {
    return LoopParams{static_cast<std::int16_t>(tenths), static_cast<MeasureMode>(mode),
                      static_cast<std::uint8_t>(number)};
  }
  PageSession m_session;
  std::vector<std::uint8_t> m_input;
  std::vector<float> m_floats;
};

// A card's failure: the catalogue's text and the plain words, as --info gives them.
void SetFailure(val& out, const std::optional<Failure>& failure) {
  out.set("ok", !failure);
  out.set("message", failure ? std::string(MessageText(failure->id)) : std::string());
  out.set("detail", failure ? DetailOf(*failure) : std::string());
}

// The folder opened as a card, and the steps each change takes on it.
class Card {
 public:
  void Clear() { m_card.Clear(); }
  val ReserveFile(double size) { return Reserve(m_input, size); }
  val FileView() { return ViewOf(m_input); }
  // The file reserved and filled, or, with nothing reserved, a name and size alone.
  void Add(const std::string& name, double size, bool readOnly) {
    m_card.Add(name, std::move(m_input), static_cast<std::int64_t>(size), readOnly);
    m_input = {};
  }
  val Read() {
    const card::CardView& view = m_card.Read();
    val slots = val::array();
    for (const card::Slot& slot : view.slots) {
      val item = val::object();
      item.set("number", slot.number);
      item.set("free", !slot.file);
      if (slot.file) {
        const card::SlotFile& file = *slot.file;
        item.set("name", file.name);
        item.set("tempo", file.params.tempo);
        item.set("measure", static_cast<int>(file.params.measureMode));
        item.set("loopSamples", file.loopSamples);
        item.set("seconds", file.seconds);
        item.set("size", static_cast<double>(file.size));
        item.set("readOnly", file.readOnly);
        if (file.named) {
          item.set("source", file.named->source);
          item.set("made", file.named->made);
          item.set("label", file.named->label);
        }
        SetFailure(item, file.problem);
      }
      slots.call<void>("push", item);
    }
    val strays = val::array();
    for (const card::Stray& stray : view.strays) {
      val item = val::object();
      item.set("name", stray.name);
      item.set("why", stray.why);
      strays.call<void>("push", item);
    }
    val out = val::object();
    out.set("slots", slots);
    out.set("strays", strays);
    out.set("free", ArrayOf(view.FreeNumbers()));
    out.set("indexProblem", view.indexProblem);
    return out;
  }
  val PlanNumbers(int count, int first) const {
    const card::NumberPlan plan = m_card.PlanNumbers(count, first);
    val out = val::object();
    out.set("numbers", ArrayOf(plan.numbers));
    out.set("problem", plan.problem);
    return out;
  }
  // Of these numbers, the ones to ask about before they are written (the
  // page asks before it replaces any file), and whether the card is full.
  val PlanPlacement(const val& numbers) const {
    const card::Placement placement =
        m_card.PlanPlacement(emscripten::vecFromJSArray<int>(numbers));
    val out = val::object();
    out.set("ask", ArrayOf(placement.ask));
    out.set("full", placement.full);
    return out;
  }
  val Peaks(int number, int columns) { return CopyOf(m_card.Peaks(number, columns)); }
  val Bytes(const std::string& name) const {
    const auto* bytes = m_card.Bytes(name);
    return bytes ? CopyOf(*bytes) : val::null();
  }
  val Move(int from, int to) {
    return Steps([&](auto& steps) { return m_card.Move(from, to, steps); });
  }
  val Swap(int a, int b) {
    return Steps([&](auto& steps) { return m_card.Swap(a, b, steps); });
  }
  val Remove(int number, bool force) {
    return Steps([&](auto& steps) { return m_card.Remove(number, force, steps); });
  }
  val Finish() {
    return Steps([&](auto& steps) { return m_card.Finish(steps); });
  }
  // The loop file reserved and filled goes into slot N.
  val Place(int number, const std::string& source, const std::string& made) {
    return Steps([&](auto& steps) {
      auto failure = m_card.Place(number, std::move(m_input), source, made, steps);
      m_input = {};
      return failure;
    });
  }
  val Label(int number, const std::string& label) {
    return Steps([&](auto& steps) { return m_card.Label(number, label, steps); });
  }
  // The file reserved and filled is a backup's index: its names for loops without one.
  val AdoptNames() {
    return Steps([&](auto& steps) {
      auto failure = m_card.AdoptNames(m_input, steps);
      m_input = {};
      return failure;
    });
  }

 private:
  template <typename Operation>
  val Steps(Operation operation) {
    std::vector<CardSession::Step> steps;
    const auto failure = operation(steps);
    val out = val::object();
    SetFailure(out, failure);
    val list = val::array();
    for (const auto& step : steps) {
      val item = val::object();
      item.set("kind", step.kind == CardSession::Step::Kind::kWrite  ? "write"
                       : step.kind == CardSession::Step::Kind::kMove ? "move"
                                                                     : "remove");
      item.set("name", step.name);
      item.set("to", step.to);
      item.set("bytes", CopyOf(step.bytes));
      list.call<void>("push", item);
    }
    out.set("steps", list);
    return out;
  }
  CardSession m_card;
  std::vector<std::uint8_t> m_input;
};

std::string MessageOf(int id) { return std::string(MessageText(static_cast<MessageId>(id))); }

std::string TakeMessageText(LoopParamModel& model) {
  const auto message = model.TakeMessage();
  return message ? std::string(MessageText(*message)) : std::string();
}
int EndingOf(const LoopParamModel& model) { return static_cast<int>(model.ending()); }
int MeasureOf(const LoopParamModel& model) { return model.GetMeasureMode(); }
void OnMeasure(LoopParamModel& model, int mode) { model.OnMeasure(static_cast<MeasureMode>(mode)); }
val HandedBack(const LoopParamModel& model) {
  val out = val::object();
  out.set("tempo", model.handedBack().tempo);
  out.set("measureMode", model.handedBack().measureMode);
  out.set("fileNumber", model.handedBack().fileNumber);
  return out;
}
std::uint32_t LastSample(int mode, int tenths) {
  return SampleCount(static_cast<MeasureMode>(mode), static_cast<std::int16_t>(tenths));
}

bool IsLoopName(const std::string& name) { return DirectionOf(name) == Direction::kLoopToWave; }

}  // namespace

EMSCRIPTEN_BINDINGS(loopsmith) {
  emscripten::function("messageText", &MessageOf);
  emscripten::function("lastSample", &LastSample);
  emscripten::function("storageWords", &StorageWords);
  emscripten::function("isLoopName", &IsLoopName);
  emscripten::function("batchNumberProblem", &BatchNumberProblem);
  emscripten::function("slotName", &card::SlotName);
  // The ranges, from the one place the desktop programs take them.
  emscripten::constant("minBpm", kMinBpm);
  emscripten::constant("maxBpm", kMaxBpm);
  emscripten::constant("minFileNumber", kMinFileNumber);
  emscripten::constant("maxFileNumber", kMaxFileNumber);
  emscripten::constant("largestLoopFile", kLargestLoopFile);
  emscripten::constant("sampleRate", static_cast<int>(kSampleRate));
  // A loop file is stored in whole blocks: the words of the smallest.
  emscripten::constant("blockWords", static_cast<int>(StorageWords(0) + 1));
  emscripten::constant("kindWave", static_cast<int>(PageSession::Kind::kWave));
  emscripten::constant("kindLoop", static_cast<int>(PageSession::Kind::kLoop));
  emscripten::constant("fileNumberErrorId", static_cast<int>(MessageId::kFileNumberError));
  emscripten::constant("memoryErrorId", static_cast<int>(MessageId::kMemoryError));
  emscripten::class_<Session>("Session")
      .constructor<>()
      .function("reserveInput", &Session::ReserveInput)
      .function("inputView", &Session::InputView)
      .function("open", &Session::Open)
      .function("reserveFloats", &Session::ReserveFloats)
      .function("floatView", &Session::FloatView)
      .function("useDecoded", &Session::UseDecoded)
      .function("decodeOwn", &Session::DecodeOwn)
      .function("ownSamples", &Session::OwnSamples)
      .function("kind", &Session::Kind)
      .function("channels", &Session::Channels)
      .function("frames", &Session::Frames)
      .function("fileFrames", &Session::FileFrames)
      .function("samples", &Session::Samples)
      .function("heldFrames", &Session::HeldFrames)
      .function("setStart", &Session::SetStart)
      .function("start", &Session::Start)
      .function("overview", &Session::Overview)
      .function("hits", &Session::Hits)
      .function("zeroCrossingBefore", &Session::ZeroCrossingBefore)
      .function("loopTempo", &Session::LoopTempo)
      .function("loopMeasure", &Session::LoopMeasure)
      .function("buildLoop", &Session::BuildLoop)
      .function("audition", &Session::Audition)
      .function("saveWave", &Session::SaveWave)
      .function("suggestTempo", &Session::SuggestTempo);
  emscripten::class_<Card>("Card")
      .constructor<>()
      .function("clear", &Card::Clear)
      .function("reserveFile", &Card::ReserveFile)
      .function("fileView", &Card::FileView)
      .function("add", &Card::Add)
      .function("read", &Card::Read)
      .function("planNumbers", &Card::PlanNumbers)
      .function("planPlacement", &Card::PlanPlacement)
      .function("peaks", &Card::Peaks)
      .function("bytes", &Card::Bytes)
      .function("move", &Card::Move)
      .function("swap", &Card::Swap)
      .function("remove", &Card::Remove)
      .function("finish", &Card::Finish)
      .function("place", &Card::Place)
      .function("label", &Card::Label)
      .function("adoptNames", &Card::AdoptNames);
  emscripten::class_<LoopParamModel>("LoopParamModel")
      .constructor<>()
      .function("onTempoScroll", &LoopParamModel::OnTempoScroll)
      .function("onMeasure", &OnMeasure)
      .function("onFileNumberEdited", &LoopParamModel::OnFileNumberEdited)
      .function("onFileNumberStep", &LoopParamModel::OnFileNumberStep)
      .function("onOK", &LoopParamModel::OnOK)
      .function("onCancel", &LoopParamModel::OnCancel)
      .function("sliderPosition", &LoopParamModel::sliderPosition)
      .function("measureMode", &MeasureOf)
      .function("tempoText", &LoopParamModel::tempoText)
      .function("timeText", &LoopParamModel::timeText)
      .function("fileNumberText", &LoopParamModel::fileNumberText)
      .function("takeMessage", &TakeMessageText)
      .function("ending", &EndingOf)
      .function("handedBack", &HandedBack);
}

}  // namespace loopsmith::web
