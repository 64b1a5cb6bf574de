// The part of PageSession that places the loop in the held sound: where it
// starts, the sound drawn around it, its hits and zero crossings.
#include <algorithm>
#include <cmath>

#include "adapt/first_hit.h"
#include "adapt/mixdown.h"
#include "base/bytes.h"
#include "base/work_buffers.h"
#include "core/loop_format.h"
#include "core/loop_params.h"
#include "wave/wave_io.h"
#include "web/page_session.h"

namespace loopsmith::web {

std::uint32_t PageSession::heldFrames() const {
  return m_channels > 0
             ? static_cast<std::uint32_t>(m_sound.size() / static_cast<std::size_t>(m_channels))
             : 0;
}

void PageSession::HoldWave(const std::string& path) {
  // The first loop's length is loaded already; the rest with the WAV
  // reader's own loads, one loop's length at a time, so that every frame
  // held is one it reads. Where the bytes held end, the last whole step is
  // the end: the rest comes when more of the file is read.
  m_sound = m_samples;
  const std::uint32_t step = 2u * kLongestLoop * static_cast<std::uint32_t>(m_channels);
  if (m_loadedBytes < step) return;
  const bool wanted = m_fs.wantedMore;
  std::vector<std::uint8_t> part(kPcmElements * 2);
  SilentReporter quiet;
  CWaveFile wave(m_fs, quiet);
  std::uint32_t loaded = 0;
  for (std::uint32_t start = kLongestLoop;
       LoadWave(wave, quiet, path, FixedSpan<kStereoLoadCap>(part), loaded, start) && loaded > 0;
       start += kLongestLoop) {
    const std::size_t before = m_sound.size();
    m_sound.resize(before + loaded / 2);
    LoadLE16(part.data(), loaded / 2, m_sound.data() + before);
    if (loaded < step) break;
  }
  m_fs.wantedMore = wanted;
}

void PageSession::TakeFromStart() {
  const auto channels = static_cast<std::size_t>(m_channels);
  const std::size_t frames =
      std::min<std::size_t>(heldFrames() - std::min(heldFrames(), m_start), kLongestLoop);
  m_pcm.assign(kPcmElements * 2, 0);
  const std::int16_t* from = m_sound.data() + std::size_t{m_start} * channels;
  StoreLE16(from, frames * channels, m_pcm.data());
  m_loadedBytes = static_cast<std::uint32_t>(2 * frames * channels);
  m_samples.assign(from, from + frames * channels);
}

PageSession::Result PageSession::SetStart(std::uint32_t frame) {
  if (m_kind != Kind::kWave) return {};
  if (frame >= heldFrames()) return Fail(StartPastEnd(frame, heldFrames()));
  m_start = frame;
  TakeFromStart();
  return {true, {}, {}, {}, {}};
}

std::vector<float> PageSession::MonoOf(std::uint32_t from, std::uint32_t frames) const {
  const auto channels = static_cast<std::size_t>(std::max(m_channels, 1));
  from = std::min(from, heldFrames());
  frames = std::min(frames, heldFrames() - from);
  const auto begin = m_sound.begin() + static_cast<std::ptrdiff_t>(from * channels);
  return adapt::MixToMono(
      std::vector<std::int16_t>(begin, begin + static_cast<std::ptrdiff_t>(frames * channels)),
      m_channels, 1.0F / 32768);
}

int PageSession::MonoAt(std::size_t frame) const {
  const auto channels = static_cast<std::size_t>(std::max(m_channels, 1));
  int sum = 0;
  for (std::size_t c = 0; c < channels; ++c) sum += m_sound[frame * channels + c];
  return sum / static_cast<int>(channels);
}

std::vector<std::int16_t> PageSession::Overview(std::uint32_t from, std::uint32_t to,
                                                int columns) const {
  to = std::min(to, heldFrames());
  if (columns <= 0 || from >= to) return {};
  std::vector<std::int16_t> pairs(2 * static_cast<std::size_t>(columns), 0);
  const double perColumn = static_cast<double>(to - from) / columns;
  for (int x = 0; x < columns; ++x) {
    const auto begin = from + static_cast<std::size_t>(x * perColumn);
    const auto end = std::max(begin + 1, from + static_cast<std::size_t>((x + 1) * perColumn));
    int low = 0;
    int high = 0;
    for (std::size_t f = begin; f < std::min<std::size_t>(end, to); ++f) {
      const int value = MonoAt(f);
      low = std::min(low, value);
      high = std::max(high, value);
    }
    pairs[2 * static_cast<std::size_t>(x)] = static_cast<std::int16_t>(low);
    pairs[2 * static_cast<std::size_t>(x) + 1] = static_cast<std::int16_t>(high);
  }
  return pairs;
}

std::vector<std::uint32_t> PageSession::Hits(std::string& why) const {
  if (m_kind != Kind::kWave) return {};
  const auto rate = static_cast<int>(kSampleRate);
  // The first hit is sought where the command line seeks it, the rest in all that is held.
  const adapt::FirstHit first = adapt::FindFirstHit(
      MonoOf(0, static_cast<std::uint32_t>(adapt::kFirstHitSeconds * rate)), rate);
  if (!first.frame) {
    why = first.why;
    return {};
  }
  std::vector<std::uint32_t> hits = {static_cast<std::uint32_t>(*first.frame)};
  for (const std::int64_t at : adapt::HitStarts(MonoOf(0, heldFrames()), rate)) {
    if (at > *first.frame) hits.push_back(static_cast<std::uint32_t>(at));
  }
  return hits;
}

std::uint32_t PageSession::ZeroCrossingBefore(std::uint32_t frame) const {
  const std::uint32_t reach = kSampleRate / 100;
  if (frame >= heldFrames()) return frame;
  for (std::uint32_t f = frame; f > 0 && frame - f <= reach; --f) {
    const int here = MonoAt(f);
    const int before = MonoAt(f - 1);
    if (here == 0 || (here > 0) != (before > 0)) return f;
  }
  return frame;
}

}  // namespace loopsmith::web
