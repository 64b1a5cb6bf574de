#include "core/loop_file.h"

#include "core/loop_format.h"
#include "core/loop_length.h"

namespace loopsmith {

bool ReadLoopFile(FileSystem& fs, Reporter& reporter, const std::string& path, std::uint8_t* image,
                  LoopParams& params) {
  const int fd = fs.OpenRead(path);
  if (fd < 0) {
    reporter.Report(MessageId::kLoopReadError);
    return false;
  }
  bool ok = fs.Read(fd, image, kLoopHeaderSize) == static_cast<std::int64_t>(kLoopHeaderSize) &&
            IsLoopHeader(image);
  if (ok) {
    // Taken before the words are read, and kept even if that read fails.
    TakeHeaderParams(image, params);
    const std::size_t wanted = 2 * std::size_t{SampleCount(params.measureMode, params.tempo)} + 2;
    ok = fs.Read(fd, image, wanted) == static_cast<std::int64_t>(wanted);
  }
  // An error on close means the data may not be what the disk holds; treat it as a failed read.
  if (fs.Close(fd) != 0) ok = false;
  if (!ok) reporter.Report(MessageId::kLoopReadError);
  return ok;
}

bool WriteLoopFile(FileSystem& fs, Reporter& reporter, const std::string& path,
                   const std::uint8_t* image, const LoopParams& params) {
  ReplacingFile file(fs);
  if (file.Create(path) != 0) {
    reporter.Report(MessageId::kLoopWriteError);
    return false;
  }
  const std::size_t size = LoopImageSize(params);
  if (fs.Write(file.fd(), image, size) != static_cast<std::int64_t>(size)) {
    reporter.Report(MessageId::kLoopWriteError);
    file.Discard();
    return true;
  }
  if (file.Commit() != 0) reporter.Report(MessageId::kLoopWriteError);
  return true;
}

}  // namespace loopsmith
