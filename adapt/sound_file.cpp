#include "adapt/sound_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "adapt/libraries.h"
#include "base/text.h"
#include "wave/wave_file.h"
#include "wave/wave_io.h"

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
                                           Failure& failure) {
  auto fail = [&failure](std::string detail) {
    failure = PlainFailure(std::move(detail));
    return nullptr;
  };
  std::unique_ptr<SoundFile> sound(new SoundFile);
  sound->m_io = std::make_unique<Io>();
  Io& io = *sound->m_io;
  io.fs = &fs;
  if (const int opened = fs.OpenRead(path, io.file); opened != 0) {
    io.file = FileHandle::kNone;
    failure = OpenFailure(MessageId::kNoCatalogueText, -opened);
    return nullptr;
  }
  io.size = fs.Seek(io.file, 0, SeekFrom::kEnd);
  if (io.size < 0) return fail("its size cannot be read");
  const ChunkWalk walk = WalkChunks(fs, io.file, io.size);
  if (walk.failure) {
    failure = *walk.failure;
    return nullptr;
  }
  const SndfileCalls* sf = SndfileCalls::Load();
  if (sf == nullptr) {
    return fail(std::string("other sound files need ") + kPackage + ", which cannot be loaded");
  }
  sound->m_sf = sf;
  SF_VIRTUAL_IO calls{Io::Length, Io::Seek, Io::Read, Io::Write, Io::Tell};
  SF_INFO info{};
  const QuietLibraries quiet;
  SNDFILE* file = sf->openVirtual(&calls, SFM_READ, &info, &io);
  if (file == nullptr) return fail(DecodeFailureText(sf->error(nullptr)));
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
  out.pcm16 = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
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
    return fail("its rate of " + std::to_string(out.rate) + " Hz is not one a sound file has");
  }
  if (out.channels > kMaxChannels) {
    return fail(std::to_string(out.channels) + " channels are more than " +
                std::to_string(kMaxChannels) + " can be mixed here");
  }
  return sound;
}

bool SoundFile::LibraryMissing() { return SndfileCalls::Load() == nullptr; }

std::optional<SoundInfo> PlainWaveInfo(FileSystem& fs, const std::string& path) {
  SilentReporter quiet;
  CWaveFile wave(fs, quiet);
  if (wave.OpenRead(path) != 0) return std::nullopt;
  const WAVEFORMATEX format = wave.m_format;
  const std::uint32_t bytes = wave.m_dataSize;
  wave.CloseRead();
  if (format.nSamplesPerSec != kSampleRate || format.wBitsPerSample != 16 || format.nChannels < 1 ||
      format.nChannels > 2) {
    return std::nullopt;
  }
  SoundInfo info;
  info.container = "WAV (Microsoft)";
  info.encoding = "Signed 16 bit PCM";
  info.pcm16 = true;
  info.rate = static_cast<int>(format.nSamplesPerSec);
  info.channels = format.nChannels;
  info.frames = bytes / (2u * format.nChannels);
  FileHandle file = FileHandle::kNone;
  if (fs.OpenRead(path, file) == 0) {
    const std::int64_t size = fs.Seek(file, 0, SeekFrom::kEnd);
    if (size > 0) info.loopChunkBpm = WalkChunks(fs, file, size).acidBpm;
    fs.Close(file);
  }
  return info;
}

SoundFile::~SoundFile() {
  if (m_sndfile != nullptr) {
    const QuietLibraries quiet;
    m_sf->close(static_cast<SNDFILE*>(m_sndfile));
  }
  if (m_io && m_io->file != FileHandle::kNone) m_io->fs->Close(m_io->file);
}

std::vector<float> SoundFile::ReadFrames(std::int64_t frames, std::optional<Failure>& failure) {
  std::vector<float> samples(static_cast<std::size_t>(frames) *
                             static_cast<std::size_t>(m_info.channels));
  auto* file = static_cast<SNDFILE*>(m_sndfile);
  const QuietLibraries quiet;
  const sf_count_t got = m_sf->readFloatFrames(file, samples.data(), frames);
  const int decodeError = m_sf->error(file);
  if (m_io->failed || decodeError != SF_ERR_NO_ERROR) {
    failure = PlainFailure(m_io->failed ? "it could not be read to the end"
                                        : DecodeFailureText(decodeError));
    return {};
  }
  // Samples from a file that changed while they were read may be half old, half new.
  if (const int changed = m_io->fs->CheckUnchanged(m_io->file); changed != 0) {
    failure = ChangedFailure(MessageId::kNoCatalogueText, -changed);
    return {};
  }
  if (m_info.lengthKnown && got < std::min<sf_count_t>(frames, m_info.frames)) {
    failure = PlainFailure(
        "it ends before its header says: " + WithCommas(static_cast<std::uint64_t>(got)) + " of " +
        WithCommas(static_cast<std::uint64_t>(m_info.frames)) + " frames");
    return {};
  }
  samples.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(m_info.channels));
  return samples;
}

}  // namespace loopsmith::adapt
