#include "cli/diagnosis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "core/loop_format.h"
#include "core/loop_length.h"
#include "wave/wave_io.h"

namespace loopsmith::cli {
namespace {

class RecordingReporter final : public Reporter {
 public:
  void Report(MessageId id) override {
    if (!first) first = id;
  }
  std::optional<MessageId> first;
};

std::string OpenFailure(int error) {
  if (error == EISDIR) return "it is a folder, not a file";
  if (error == EINVAL) return "it is not a regular file";
  return std::string("it cannot be opened: ") + std::strerror(error);
}

std::string Quoted(const std::uint8_t* fourcc) {
  std::string text = "\"";
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<char>(fourcc[i]);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text + "\"";
}

std::string RiffProblem(FileSystem& fs, const std::string& path) {
  const int fd = fs.OpenRead(path);
  if (fd < 0) return OpenFailure(-fd);
  std::uint8_t head[12] = {};
  const std::int64_t got = fs.Read(fd, head, sizeof head);
  fs.Close(fd);
  if (got >= 4 && std::memcmp(head, "RF64", 4) == 0) {
    return "it is an RF64 file; only RIFF files are read";
  }
  if (got < 12) return "it is too short for a RIFF header";
  if (std::memcmp(head, "RIFF", 4) != 0) return "it is not a RIFF file";
  return "its RIFF form is " + Quoted(head + 8) + ", needs \"WAVE\"";
}

std::string FormatProblems(const WAVEFORMATEX& format) {
  std::string text;
  auto add = [&](const std::string& problem) { text += (text.empty() ? "" : "; ") + problem; };
  if (format.nChannels != 1 && format.nChannels != 2) {
    add(std::to_string(format.nChannels) + " channels, needs 1 or 2");
  }
  if (format.nSamplesPerSec != kSampleRate) {
    add(WithCommas(format.nSamplesPerSec) + " Hz, needs 44,100");
  }
  if (format.wBitsPerSample != 16) add(std::to_string(format.wBitsPerSample) + " bits, needs 16");
  return text;
}

}  // namespace

std::string WithCommas(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string ExplainLoopFailure(FileSystem& fs, const std::string& path) {
  const int fd = fs.OpenRead(path);
  if (fd < 0) return OpenFailure(-fd);
  std::uint8_t header[kLoopHeaderSize] = {};
  const std::int64_t got = fs.Read(fd, header, kLoopHeaderSize);
  const std::int64_t size = fs.Seek(fd, 0, SEEK_END);
  fs.Close(fd);
  if (got < 0 || size < 0)
    return "it cannot be read: " +
           std::string(std::strerror(static_cast<int>(-(got < 0 ? got : size))));
  if (got < static_cast<std::int64_t>(kLoopHeaderSize)) {
    return "it holds " + WithCommas(static_cast<std::uint64_t>(got)) +
           " bytes, less than the 56-byte header";
  }
  if (std::memcmp(header, kLoopHeaderTemplate.data(), 12) != 0) {
    return "it does not start with the signature \"TQ-58   1.00\"";
  }
  if (header[12] != 0x00 || header[13] != 0x20) {
    char text[64];
    std::snprintf(text, sizeof text, "header bytes 12 and 13 are %02X %02X, need 00 20", header[12],
                  header[13]);
    return text;
  }
  LoopParams params;
  TakeHeaderParams(header, params);
  const std::uint64_t samples = std::uint64_t{SampleCount(params.measureMode, params.tempo)} + 1;
  const auto held = static_cast<std::uint64_t>(size) - kLoopHeaderSize;
  if (held < 2 * samples) {
    return "its loop of " + WithCommas(samples) + " samples needs " + WithCommas(2 * samples) +
           " bytes after the header, file holds " + WithCommas(held);
  }
  return "it could not be read to the end or closed";
}

std::string ExplainWaveFailure(FileSystem& fs, const std::string& path) {
  RecordingReporter silent;
  CWaveFile wave(fs, silent);
  wave.ResetForRead();
  wave.OpenRead(path);
  switch (silent.first.value_or(MessageId{})) {
    case MessageId::kWaveOpenError1:
      return "the path is empty";
    case MessageId::kWaveOpenError2: {
      const int fd = fs.OpenRead(path);
      if (fd >= 0) fs.Close(fd);
      return fd < 0 ? OpenFailure(-fd) : "it cannot be opened";
    }
    case MessageId::kWaveReadError2:
      return RiffProblem(fs, path);
    case MessageId::kWaveReadError3:
      return "there is no \"fmt \" chunk in its RIFF chunk";
    case MessageId::kWaveReadError1:
      return "its \"fmt \" chunk is cut short by the end of the file";
    case MessageId::kWaveReadError4:
      return "there is no \"data\" chunk after \"fmt \"";
    default:
      break;
  }
  std::string text = FormatProblems(wave.m_format);
  if (text.empty()) {
    const std::uint32_t cap = wave.m_format.nChannels == 1 ? kMonoLoadCap : kStereoLoadCap;
    const std::uint32_t wanted = wave.m_dataSize < cap ? wave.m_dataSize : cap;
    const std::int64_t start = wave.m_hmmio->Seek(0, SEEK_CUR);
    const std::int64_t held = wave.m_hmmio->Size() - start;
    if (held < wanted) {
      text = "its data chunk claims " + WithCommas(wave.m_dataSize) + " bytes, file holds " +
             WithCommas(static_cast<std::uint64_t>(held < 0 ? 0 : held));
    } else {
      text = "it could not be read to the end or closed";
    }
  }
  wave.CloseRead();
  return text;
}

}  // namespace loopsmith::cli
