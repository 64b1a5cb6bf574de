#include "adapt/sound_file.h"

#include <sndfile.h>

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
  if (std::string implausible = ImplausibleChunk(fs, io.file, io.size); !implausible.empty()) {
    error = std::move(implausible);
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
  SNDFILE* file = sf->openVirtual(&calls, SFM_READ, &info, &io);
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
  SF_LOOP_INFO loop{};
  if (sf->command(file, SFC_GET_LOOP_INFO, &loop, sizeof loop) == SF_TRUE && loop.bpm > 0) {
    out.acidBpm = loop.bpm;
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
  const sf_count_t got = m_sf->readFloatFrames(file, samples.data(), frames);
  const int failure = m_sf->error(file);
  if (m_io->failed || failure != SF_ERR_NO_ERROR) {
    error = m_io->failed ? "it could not be read to the end" : DecodeFailureText(failure);
    return {};
  }
  samples.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(m_info.channels));
  return samples;
}

namespace {

std::uint32_t Load32(const std::uint8_t* p, bool bigEndian) {
  return bigEndian ? std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                         std::uint32_t{p[2]} << 8 | p[3]
                   : std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 |
                         std::uint32_t{p[1]} << 8 | p[0];
}

}  // namespace

std::string ImplausibleChunk(FileSystem& fs, FileHandle file, std::int64_t size) {
  std::uint8_t head[12];
  if (size < 12 || fs.Seek(file, 0, SeekFrom::kStart) != 0 || fs.Read(file, head, 12) != 12) {
    return {};
  }
  const bool riff = std::memcmp(head, "RIFF", 4) == 0;
  const bool form = std::memcmp(head, "FORM", 4) == 0;
  if (!riff && !form) return {};
  // Every chunk but the sound data must fit in the file: some of libsndfile's
  // parsers walk a chunk's claimed size byte by byte, which for a hostile
  // 4 GiB claim takes minutes. A recording cut short keeps its data chunk.
  std::int64_t at = 12;
  for (int chunks = 0; chunks < 10'000 && at + 8 <= size; ++chunks) {
    std::uint8_t header[8];
    if (fs.Seek(file, at, SeekFrom::kStart) != at || fs.Read(file, header, 8) != 8) break;
    const std::uint32_t length = Load32(header + 4, form);
    const bool sound = std::memcmp(header, "data", 4) == 0 || std::memcmp(header, "SSND", 4) == 0;
    if (!sound && at + 8 + length > size) {
      return "its chunk \"" + std::string(reinterpret_cast<const char*>(header), 4) + "\" claims " +
             std::to_string(length) + " bytes, the file holds " + std::to_string(size - at - 8);
    }
    at += 8 + std::int64_t{length} + (length & 1);
  }
  return {};
}

}  // namespace loopsmith::adapt
