#include "adapt/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "adapt/libraries.h"
#include "base/text.h"

namespace loopsmith::adapt {
namespace {

// libsndfile's own texts speak of its internals ("SF_INFO struct incomplete");
// the user reads what it means for the file.
std::string DecodeFailureText(int error) {
  switch (error) {
    case SF_ERR_UNRECOGNISED_FORMAT:
      return "it is not a sound file of a kind that can be read";
    case SF_ERR_SYSTEM:
      return "it cannot be read";
    case SF_ERR_UNSUPPORTED_ENCODING:
      return "its encoding is not one that can be decoded";
    default:
      return "it is damaged or cut short";
  }
}

// libsndfile's decoders (libmpg123 among them) print warnings of their own
// to standard error; the user gets one line of ours instead. Standard error
// goes to /dev/null while a library call runs (nothing else runs meanwhile).
class QuietLibraries {
 public:
  QuietLibraries() : m_saved(::dup(STDERR_FILENO)) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (m_saved >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
  }
  ~QuietLibraries() {
    if (m_saved < 0) return;
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
  }
  QuietLibraries(const QuietLibraries&) = delete;
  QuietLibraries& operator=(const QuietLibraries&) = delete;

 private:
  int m_saved;
};

}  // namespace

// libsndfile's virtual I/O calls, answered through the file seam.
struct SoundFile::Io {
  FileSystem* fs = nullptr;
  FileHandle file = FileHandle::kNone;
  sf_count_t size = 0;
  sf_count_t position = 0;
  bool failed = false;

  static Io& Of(void* data) { return *static_cast<Io*>(data); }
  static sf_count_t Length(void* data) { return Of(data).size; }
  static sf_count_t Seek(sf_count_t offset, int whence, void* data) {
    Io& io = Of(data);
    const sf_count_t base = whence == SEEK_CUR ? io.position : whence == SEEK_END ? io.size : 0;
    if (base + offset < 0) return -1;
    io.position = base + offset;
    return io.position;
  }
  static sf_count_t Read(void* buffer, sf_count_t count, void* data) {
    Io& io = Of(data);
    if (count <= 0 || io.position >= io.size) return 0;
    if (io.fs->Seek(io.file, io.position, SeekFrom::kStart) != io.position) {
      io.failed = true;
      return 0;
    }
    const std::int64_t got = io.fs->Read(io.file, buffer, static_cast<std::size_t>(count));
    if (got < 0) {
      io.failed = true;
      return 0;
    }
    io.position += got;
    return got;
  }
  static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t Tell(void* data) { return Of(data).position; }
};

std::unique_ptr<SoundFile> SoundFile::Open(FileSystem& fs, const std::string& path,
                                           std::string& error) {
  std::unique_ptr<SoundFile> sound(new SoundFile);
  sound->m_io = std::make_unique<Io>();
  Io& io = *sound->m_io;
  io.fs = &fs;
  if (const int opened = fs.OpenRead(path, io.file); opened != 0) {
    io.file = FileHandle::kNone;
    error = OpenFailureText(-opened);
    return nullptr;
  }
  io.size = fs.Seek(io.file, 0, SeekFrom::kEnd);
  if (io.size < 0) {
    error = "its size cannot be read";
    return nullptr;
  }
  const ChunkWalk walk = WalkChunks(fs, io.file, io.size);
  if (!walk.problem.empty()) {
    error = walk.problem;
    return nullptr;
  }
  const SndfileCalls* sf = SndfileCalls::Load();
  if (sf == nullptr) {
    error = std::string("other sound files need ") + SndfileCalls::kPackage +
            ", which cannot be loaded";
    return nullptr;
  }
  sound->m_sf = sf;
  SF_VIRTUAL_IO calls{Io::Length, Io::Seek, Io::Read, Io::Write, Io::Tell};
  SF_INFO info{};
  SNDFILE* file = nullptr;
  {
    const QuietLibraries quiet;
    file = sf->openVirtual(&calls, SFM_READ, &info, &io);
  }
  if (file == nullptr) {
    error = DecodeFailureText(sf->error(nullptr));
    return nullptr;
  }
  sound->m_sndfile = file;
  sf->command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  SoundInfo& out = sound->m_info;
  out.rate = info.samplerate;
  out.channels = info.channels;
  out.frames = info.frames;
  // A stream written through a pipe says nothing of its length.
  out.lengthKnown = info.frames > 0 && info.frames < SF_COUNT_MAX;
  SF_FORMAT_INFO format{};
  format.format = info.format & SF_FORMAT_TYPEMASK;
  if (sf->command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format) == 0 && format.name) {
    out.container = format.name;
  }
  format = SF_FORMAT_INFO{};
  format.format = info.format & SF_FORMAT_SUBMASK;
  if (sf->command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format) == 0 && format.name) {
    out.encoding = format.name;
  }
  if (walk.riff) {
    // libsndfile reads an "acid" chunk too short to hold a tempo past its end.
    out.loopChunkBpm = walk.acidBpm;
  } else {
    SF_LOOP_INFO loop{};
    if (sf->command(file, SFC_GET_LOOP_INFO, &loop, sizeof loop) == SF_TRUE &&
        std::isfinite(loop.bpm) && loop.bpm > 0) {
      out.loopChunkBpm = loop.bpm;
    }
  }
  // Beyond these no sound file a musician has goes, and a hostile header could
  // otherwise ask for gigabytes of samples.
  if (out.rate < 1000 || out.rate > kMaxRate) {
    error = "its rate of " + std::to_string(out.rate) + " Hz is not one a sound file has";
    return nullptr;
  }
  if (out.channels > kMaxChannels) {
    error = std::to_string(out.channels) + " channels are more than " +
            std::to_string(kMaxChannels) + " can be mixed here";
    return nullptr;
  }
  return sound;
}

SoundFile::~SoundFile() {
  if (m_sndfile != nullptr) m_sf->close(static_cast<SNDFILE*>(m_sndfile));
  if (m_io && m_io->file != FileHandle::kNone) m_io->fs->Close(m_io->file);
}

std::vector<float> SoundFile::ReadFrames(std::int64_t frames, std::string& error) {
  std::vector<float> samples(static_cast<std::size_t>(frames) *
                             static_cast<std::size_t>(m_info.channels));
  auto* file = static_cast<SNDFILE*>(m_sndfile);
  sf_count_t got = 0;
  {
    const QuietLibraries quiet;
    got = m_sf->readFloatFrames(file, samples.data(), frames);
  }
  const int failure = m_sf->error(file);
  if (m_io->failed || failure != SF_ERR_NO_ERROR) {
    error = m_io->failed ? "it could not be read to the end" : DecodeFailureText(failure);
    return {};
  }
  // Samples from a file that changed while they were read may be half old, half new.
  if (const int changed = m_io->fs->CheckUnchanged(m_io->file); changed != 0) {
    error = ChangedText(-changed);
    return {};
  }
  if (m_info.lengthKnown && got < std::min<sf_count_t>(frames, m_info.frames)) {
    error = "it ends before its header says: " + WithCommas(static_cast<std::uint64_t>(got)) +
            " of " + WithCommas(static_cast<std::uint64_t>(m_info.frames)) + " frames";
    return {};
  }
  samples.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(m_info.channels));
  return samples;
}

namespace {

// Four printable characters, as every chunk id is.
bool IsChunkId(const std::uint8_t* id) {
  return std::all_of(id, id + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

std::uint32_t Load32(const std::uint8_t* p, bool bigEndian) {
  return bigEndian ? std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                         std::uint32_t{p[2]} << 8 | p[3]
                   : std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 |
                         std::uint32_t{p[1]} << 8 | p[0];
}

}  // namespace

ChunkWalk WalkChunks(FileSystem& fs, FileHandle file, std::int64_t size) {
  ChunkWalk walk;
  std::uint8_t head[12];
  if (size < 12 || fs.Seek(file, 0, SeekFrom::kStart) != 0 || fs.Read(file, head, 12) != 12) {
    return walk;
  }
  walk.riff = std::memcmp(head, "RIFF", 4) == 0;
  const bool form = std::memcmp(head, "FORM", 4) == 0;
  if (!walk.riff && !form) return walk;
  // Every chunk must fit in the file: some of libsndfile's parsers walk a
  // chunk's claimed size byte by byte, which for a hostile 4 GiB claim takes
  // minutes, and a recording cut short would be padded with silence. Sound
  // data of size 0 or 0xFFFFFFFF was written by a program that did not know
  // its length, and is read to the end.
  auto readHeader = [&](std::int64_t from, std::uint8_t* header) {
    return fs.Seek(file, from, SeekFrom::kStart) == from && fs.Read(file, header, 8) == 8;
  };
  // A header that names a chunk which fits in the file.
  auto fits = [&](std::int64_t from, const std::uint8_t* header) {
    return IsChunkId(header) && from + 8 + std::int64_t{Load32(header + 4, form)} <= size;
  };
  std::int64_t at = 12;
  bool afterOdd = false;
  for (int chunks = 0; chunks < 10'000 && at + 8 <= size; ++chunks) {
    std::uint8_t header[8];
    if (!readHeader(at, header)) break;
    if (afterOdd && !fits(at, header)) {
      // Some writers leave out the pad byte after an odd chunk: the next one
      // then starts a byte early.
      std::uint8_t earlier[8];
      if (readHeader(at - 1, earlier) && fits(at - 1, earlier)) {
        --at;
        std::memcpy(header, earlier, 8);
      }
    }
    const std::uint32_t length = Load32(header + 4, form);
    const bool sound = std::memcmp(header, "data", 4) == 0 || std::memcmp(header, "SSND", 4) == 0;
    const bool unknown = sound && (length == 0 || length == 0xFFFFFFFF);
    if (!unknown && at + 8 + length > size) {
      walk.problem = (sound ? "it ends before its header says: its chunk \"" : "its chunk \"") +
                     std::string(reinterpret_cast<const char*>(header), 4) + "\" claims " +
                     WithCommas(length) + " bytes, the file holds " +
                     WithCommas(static_cast<std::uint64_t>(size - at - 8));
      return walk;
    }
    if (walk.riff && std::memcmp(header, "acid", 4) == 0 && length >= 24) {
      // flags, root note, two unknown fields, beats, meter: the tempo is a float at 20.
      std::uint8_t tempo[4];
      if (fs.Seek(file, at + 8 + 20, SeekFrom::kStart) == at + 28 && fs.Read(file, tempo, 4) == 4) {
        const std::uint32_t bits = Load32(tempo, false);
        float bpm = 0;
        std::memcpy(&bpm, &bits, sizeof bpm);
        if (std::isfinite(bpm) && bpm > 0) walk.acidBpm = bpm;
      }
    }
    if (unknown) break;
    afterOdd = (length & 1) != 0;
    at += 8 + std::int64_t{length} + (length & 1);
  }
  return walk;
}

}  // namespace loopsmith::adapt
