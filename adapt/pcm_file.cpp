#include "adapt/pcm_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "adapt/chunk_walk.h"
#include "core/loop_params.h"
#include "wave/chunk_walker.h"
#include "wave/wave_io.h"

namespace loopsmith::adapt {
namespace {

enum class Encoding { kInteger, kFloat };

// How the sample bytes are laid out, from the format chunk or COMM.
struct Layout {
  int rate = 0;
  int channels = 0;
  int bytes = 0;  // per sample
  Encoding encoding = Encoding::kInteger;
  bool bigEndian = false;
  bool unsigned8 = false;  // WAV keeps 8-bit samples unsigned, AIFF signed
};

std::uint32_t Take(const std::uint8_t* p, int count, bool bigEndian) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) {
    const int at = bigEndian ? i : count - 1 - i;
    value = (value << 8) | p[at];
  }
  return value;
}

// AIFF's 80-bit extended rate: sign and 15-bit exponent, 64-bit mantissa.
double Extended(const std::uint8_t* p) {
  const int exponent = ((p[0] & 0x7F) << 8) | p[1];
  std::uint64_t mantissa = 0;
  for (int i = 2; i < 10; ++i) mantissa = (mantissa << 8) | p[i];
  if (exponent == 0 && mantissa == 0) return 0;
  const double value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  return (p[0] & 0x80) != 0 ? -value : value;
}

// One sample as libsndfile gives it with normalised floats: integers scaled
// by 1 / 2^(bits - 1) in float, floats as they are, doubles cast.
float Sample(const std::uint8_t* p, const Layout& layout) {
  if (layout.encoding == Encoding::kFloat) {
    if (layout.bytes == 4) {
      const std::uint32_t bits = Take(p, 4, layout.bigEndian);
      float value = 0;
      std::memcpy(&value, &bits, 4);
      return value;
    }
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | p[layout.bigEndian ? i : 7 - i];
    double value = 0;
    std::memcpy(&value, &bits, 8);
    return static_cast<float>(value);
  }
  if (layout.bytes == 1) {
    const int value =
        layout.unsigned8 ? static_cast<int>(p[0]) - 128 : static_cast<std::int8_t>(p[0]);
    return static_cast<float>(value) * (1.0F / 128);
  }
  // Shifted to the top of 32 bits, as libsndfile does, then scaled by 2^-31.
  const std::uint32_t raw = Take(p, layout.bytes, layout.bigEndian) << (8 * (4 - layout.bytes));
  const auto value = static_cast<std::int32_t>(raw);
  return static_cast<float>(value) * (1.0F / 2147483648.0F);
}

bool Plausible(const Layout& layout) {
  const bool integer =
      layout.encoding == Encoding::kInteger && layout.bytes >= 1 && layout.bytes <= 4;
  const bool real = layout.encoding == Encoding::kFloat && (layout.bytes == 4 || layout.bytes == 8);
  return (integer || real) && layout.channels >= 1 && layout.channels <= 8 && layout.rate >= 1000 &&
         layout.rate <= 384'000;
}

// The chunks of a RIFF or FORM file: for each, its id, where its body starts
// and its size clamped to the file (the walk before has refused a chunk past
// the end, but for sound data of unknown size, which runs to the end).
struct Chunk {
  char id[4];
  std::int64_t at;
  std::int64_t size;
};

std::vector<Chunk> Chunks(ChunkBytes& bytes, std::int64_t end, bool bigEndian) {
  std::vector<Chunk> chunks;
  ChunkWalker walker(bytes, bigEndian);
  while (walker.position() + 8 <= end && chunks.size() < 1000) {
    const std::optional<ChunkHeader> header = walker.Next();
    if (!header) break;
    Chunk chunk{};
    std::memcpy(chunk.id, header->id, 4);
    chunk.at = header->body();
    chunk.size = std::min<std::int64_t>(header->size, end - chunk.at);
    chunks.push_back(chunk);
    walker.MoveTo(chunk.at + PaddedSize(chunk.size));
  }
  return chunks;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const char* id) {
  const auto found = std::find_if(chunks.begin(), chunks.end(),
                                  [id](const Chunk& c) { return std::memcmp(c.id, id, 4) == 0; });
  return found == chunks.end() ? nullptr : &*found;
}

std::vector<std::uint8_t> Body(FileSystem& fs, FileHandle file, const Chunk& chunk,
                               std::int64_t most) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(chunk.size, most)));
  if (fs.Seek(file, chunk.at, SeekFrom::kStart) != chunk.at ||
      fs.Read(file, bytes.data(), bytes.size()) != static_cast<std::int64_t>(bytes.size())) {
    bytes.clear();
  }
  return bytes;
}

// The layout and where the samples are, or a reason.
struct Found {
  Layout layout;
  std::int64_t dataAt = 0;
  std::int64_t dataSize = 0;
  std::string problem;
};

Found ReadWave(FileSystem& fs, FileHandle file, const std::vector<Chunk>& chunks) {
  Found found;
  const Chunk* format = Find(chunks, "fmt ");
  const Chunk* data = Find(chunks, "data");
  if (format == nullptr || data == nullptr) return {{}, 0, 0, "it has no format or no data chunk"};
  const auto body = Body(fs, file, *format, 40);
  if (body.size() < 16) return {{}, 0, 0, "its format chunk is too short"};
  std::uint32_t tag = Take(body.data(), 2, false);
  // WAVE_FORMAT_EXTENSIBLE: the encoding is the subformat's first two bytes.
  if (tag == 0xFFFE && body.size() >= 26) tag = Take(body.data() + 24, 2, false);
  Layout& layout = found.layout;
  layout.channels = static_cast<int>(Take(body.data() + 2, 2, false));
  layout.rate = static_cast<int>(Take(body.data() + 4, 4, false));
  const auto blockAlign = static_cast<int>(Take(body.data() + 12, 2, false));
  const auto bits = static_cast<int>(Take(body.data() + 14, 2, false));
  layout.bytes = (bits + 7) / 8;
  layout.unsigned8 = true;
  if (tag == 1) {
    layout.encoding = Encoding::kInteger;
  } else if (tag == 3) {
    layout.encoding = Encoding::kFloat;
  } else {
    return {{}, 0, 0, "its samples are neither PCM nor float"};
  }
  if (!Plausible(layout) || blockAlign != layout.bytes * layout.channels) {
    return {{}, 0, 0, "its format is not one read here"};
  }
  found.dataAt = data->at;
  found.dataSize = data->size;
  return found;
}

Found ReadAiff(FileSystem& fs, FileHandle file, const std::vector<Chunk>& chunks, bool aifc) {
  Found found;
  const Chunk* common = Find(chunks, "COMM");
  const Chunk* sound = Find(chunks, "SSND");
  if (common == nullptr || sound == nullptr) return {{}, 0, 0, "it has no COMM or no SSND chunk"};
  const auto body = Body(fs, file, *common, 22);
  if (body.size() < (aifc ? 22u : 18u)) return {{}, 0, 0, "its COMM chunk is too short"};
  Layout& layout = found.layout;
  layout.channels = static_cast<int>(Take(body.data(), 2, true));
  const int bits = static_cast<int>(Take(body.data() + 6, 2, true));
  layout.rate = static_cast<int>(std::lround(Extended(body.data() + 8)));
  layout.bytes = (bits + 7) / 8;
  layout.bigEndian = true;
  if (aifc) {
    const std::string kind(reinterpret_cast<const char*>(body.data()) + 18, 4);
    if (kind == "sowt") {
      layout.bigEndian = false;
    } else if (kind == "fl32" || kind == "FL32") {
      layout.encoding = Encoding::kFloat;
      layout.bytes = 4;
    } else if (kind == "fl64" || kind == "FL64") {
      layout.encoding = Encoding::kFloat;
      layout.bytes = 8;
    } else if (kind != "NONE" && kind != "twos") {
      return {{}, 0, 0, "its compression is not one read here"};
    }
  }
  if (!Plausible(layout)) return {{}, 0, 0, "its format is not one read here"};
  const auto head = Body(fs, file, *sound, 8);
  if (head.size() < 8) return {{}, 0, 0, "its SSND chunk is too short"};
  const std::int64_t offset = 8 + std::int64_t{Take(head.data(), 4, true)};
  found.dataAt = sound->at + std::min(offset, sound->size);
  found.dataSize = std::max<std::int64_t>(0, sound->size - offset);
  return found;
}

}  // namespace

std::int64_t FramesForLongestLoop(int rate) {
  const double ratio = kSampleRate / static_cast<double>(rate);
  return static_cast<std::int64_t>(std::ceil(kLongestLoop / ratio)) + rate / 10;
}

std::optional<PcmSound> DecodePcmFile(FileSystem& fs, const std::string& path,
                                      const std::function<std::int64_t(int rate)>& wantedFrames,
                                      Failure& failure, std::int64_t heldBytes) {
  FileHandle file = FileHandle::kNone;
  if (const int opened = fs.OpenRead(path, file); opened != 0) {
    failure = OpenFailure(MessageId::kNoCatalogueText, -opened);
    return std::nullopt;
  }
  const std::int64_t end = fs.Seek(file, 0, SeekFrom::kEnd);
  FileChunkBytes headers(fs, file);
  const ContainerHead head = end >= 12 ? ReadContainerHead(headers) : ContainerHead{};
  Found found{{}, 0, 0, kNotWavOrAiff};
  // A chunk reaching past the end is refused in --adapt's words: the same walk.
  const ChunkWalk walk = WalkChunks(fs, file, end);
  if (walk.failure) {
    found.problem = DetailOf(*walk.failure);
  } else if (head.kind == Container::kRiff && head.FormIs("WAVE")) {
    found = ReadWave(fs, file, Chunks(headers, end, false));
  } else if (head.kind == Container::kForm && (head.FormIs("AIFF") || head.FormIs("AIFC"))) {
    found = ReadAiff(fs, file, Chunks(headers, end, true), head.FormIs("AIFC"));
  }
  std::optional<PcmSound> sound;
  const std::int64_t block = std::int64_t{found.layout.bytes} * found.layout.channels;
  if (found.problem.empty() && block > 0) {
    const Layout& layout = found.layout;
    PcmSound decoded{layout.rate, layout.channels, found.dataSize / block, {}};
    std::int64_t frames = std::clamp<std::int64_t>(wantedFrames(layout.rate), 0, decoded.frames);
    if (heldBytes >= 0)
      frames = std::min(frames, std::max<std::int64_t>(0, heldBytes - found.dataAt) / block);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames * block));
    if (fs.Seek(file, found.dataAt, SeekFrom::kStart) == found.dataAt &&
        fs.Read(file, bytes.data(), bytes.size()) == static_cast<std::int64_t>(bytes.size())) {
      decoded.samples.resize(static_cast<std::size_t>(frames * layout.channels));
      for (std::size_t i = 0; i < decoded.samples.size(); ++i) {
        decoded.samples[i] =
            Sample(bytes.data() + i * static_cast<std::size_t>(layout.bytes), layout);
      }
      sound = std::move(decoded);
    } else {
      found.problem = "it could not be read to the end";
    }
  }
  fs.Close(file);
  if (!sound) failure = PlainFailure(found.problem);
  return sound;
}

}  // namespace loopsmith::adapt
