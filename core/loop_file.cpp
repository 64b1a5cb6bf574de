#include "core/loop_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/text.h"
#include "core/loop_format.h"
#include "core/loop_length.h"

namespace loopsmith {
namespace {

// A read that failed, or one that came up short of `what` was needed.
Failure ReadFailure(std::int64_t got, const std::string& what) {
  if (got < 0) return {MessageId::kLoopReadError, static_cast<int>(-got), "it cannot be read"};
  return {MessageId::kLoopReadError, 0, what};
}

std::string HeaderProblem(const std::uint8_t* header) {
  if (std::memcmp(header, kLoopHeaderTemplate.data(), 12) != 0) {
    return "it does not start with the signature \"TQ-58   1.00\"";
  }
  char text[64];
  std::snprintf(text, sizeof text, "header bytes 12 and 13 are %02X %02X, need 00 20", header[12],
                header[13]);
  return text;
}

// A header of `got` bytes that is no loop file's, or nothing.
std::optional<Failure> HeaderFailure(std::int64_t got, const std::uint8_t* header) {
  if (got != static_cast<std::int64_t>(kLoopHeaderSize)) {
    return ReadFailure(got, "it holds " + WithCommas(static_cast<std::uint64_t>(got)) +
                                " bytes, less than the 56-byte header");
  }
  if (!IsLoopHeader(header)) return Failure{MessageId::kLoopReadError, 0, HeaderProblem(header)};
  return std::nullopt;
}

// `words` bytes after the header, of the `samples` the loop needs.
Failure ShortFailure(std::int64_t words, std::size_t samples) {
  return ReadFailure(words, "its loop of " + WithCommas(samples) + " samples needs " +
                                WithCommas(2 * samples) + " bytes after the header, file holds " +
                                WithCommas(static_cast<std::uint64_t>(words)));
}

}  // namespace

bool ReadLoopFile(FileSystem& fs, Reporter& reporter, const std::string& path, LoopFileBytes bytes,
                  LoopParams& params) {
  std::uint8_t* const image = bytes.data();
  FileHandle file = FileHandle::kNone;
  const int opened = fs.OpenRead(path, file);
  if (opened != 0) {
    reporter.Report(OpenFailure(MessageId::kLoopReadError, -opened));
    return false;
  }
  std::optional<Failure> failure = HeaderFailure(fs.Read(file, image, kLoopHeaderSize), image);
  if (!failure) {
    // Taken before the words are read, and kept even if that read fails.
    TakeHeaderParams(image, params);
    // At most 262,144 samples: the size fits any size_t.
    const std::size_t samples = std::size_t{SampleCount(params.measureMode, params.tempo)} + 1;
    const std::size_t wanted = 2 * samples;
    const std::int64_t words = fs.Read(file, image, wanted);
    const int changed = words == static_cast<std::int64_t>(wanted) ? fs.CheckUnchanged(file) : 0;
    if (changed != 0) {
      // Words from a file that changed while they were read may be half old, half new.
      failure = ChangedFailure(MessageId::kLoopReadError, -changed);
    } else if (words != static_cast<std::int64_t>(wanted)) {
      failure = ShortFailure(words, samples);
    }
  }
  // Closed before anything is shown. An error on close means the data may not
  // be what the disk holds; treat it as a failed read.
  const int closed = fs.Close(file);
  if (!failure && closed != 0) {
    failure = Failure{MessageId::kLoopReadError, -closed, "it could not be closed"};
  }
  if (failure) reporter.Report(*failure);
  return !failure;
}

std::optional<Failure> CheckLoopFile(FileSystem& fs, const std::string& path, LoopParams& params,
                                     std::int64_t& size) {
  FileHandle file = FileHandle::kNone;
  const int opened = fs.OpenRead(path, file);
  if (opened != 0) return OpenFailure(MessageId::kLoopReadError, -opened);
  std::uint8_t header[kLoopHeaderSize];
  std::optional<Failure> failure = HeaderFailure(fs.Read(file, header, kLoopHeaderSize), header);
  size = fs.Seek(file, 0, SeekFrom::kEnd);
  if (!failure) {
    TakeHeaderParams(header, params);
    const std::size_t samples = std::size_t{SampleCount(params.measureMode, params.tempo)} + 1;
    const std::size_t wanted = 2 * samples;
    const std::int64_t words = std::clamp<std::int64_t>(
        size - static_cast<std::int64_t>(kLoopHeaderSize), 0, static_cast<std::int64_t>(wanted));
    if (size < 0) {
      failure = ReadFailure(size, {});
    } else if (words != static_cast<std::int64_t>(wanted)) {
      failure = ShortFailure(words, samples);
    }
  }
  fs.Close(file);
  return failure;
}

bool WriteLoopFile(FileSystem& fs, Reporter& reporter, const std::string& path,
                   const std::uint8_t* image, const LoopParams& params) {
  OutputFile file(fs);
  const int created = file.Create(path);
  if (created != 0) {
    reporter.Report(Failure{MessageId::kLoopWriteError, -created, "it cannot be created"});
    return false;
  }
  const std::size_t size = LoopImageSize(params);
  const std::int64_t put = fs.Write(file.handle(), image, size);
  if (put != static_cast<std::int64_t>(size)) {
    file.Discard();
    reporter.Report(
        put < 0
            ? Failure{MessageId::kLoopWriteError, static_cast<int>(-put), "it could not be written"}
            : Failure{MessageId::kLoopWriteError, 0, "it could not be written: the disk is full"});
    return true;
  }
  const int committed = file.Commit();
  if (committed != 0) {
    reporter.Report(Failure{MessageId::kLoopWriteError, -committed, "it could not be written"});
  }
  return true;
}

}  // namespace loopsmith
