#include "seeds.h"

#include <cstdio>

#include "base/content_check.h"
#include "base/memory_file_system.h"
#include "core/loop_format.h"
#include "journal_bytes.h"
#include "wav_builder.h"

namespace loopsmith::fuzz {
namespace {

using testing::FormatBody;
using testing::Pcm16;
using testing::Riff;

std::vector<Seed> WaveSeeds() {
  const auto fmt1 = FormatBody(1, 44100, 16);
  const auto fmt2 = FormatBody(2, 44100, 16, 18);
  const auto data = Pcm16({0, 1000, -1000, 32767, -32768, 5, -5, 77});
  std::vector<Seed> seeds = {
      {"mono", Riff({{"fmt ", fmt1}, {"data", data}})},
      {"stereo-18", Riff({{"fmt ", fmt2}, {"data", data}})},
      {"extensible", Riff({{"fmt ", FormatBody(2, 44100, 16, 40, 0xFFFE)},
                           {"fact", {4, 0, 0, 0}},
                           {"data", data}})},
      {"list-between",
       Riff({{"LIST", {'I', 'N', 'F', 'O'}}, {"fmt ", fmt1}, {"odd ", {1, 2, 3}}, {"data", data}})},
      {"data-first", Riff({{"data", data}, {"fmt ", fmt1}})},
      {"48k", Riff({{"fmt ", FormatBody(1, 48000, 16)}, {"data", data}})},
      {"claims-more", Riff({{"fmt ", fmt1}, {"data", data, 0xFFFFFFF8u}})},
      {"riff-size-ffffffff", Riff({{"fmt ", fmt1}, {"data", data}}, "WAVE", 0xFFFFFFFFu)},
      {"odd-unpadded", Riff({{"fmt ", fmt1}, {"pad ", {9}, std::nullopt, false}, {"data", data}})},
      {"rf64", {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E'}},
      {"empty", {}},
  };
  auto cut = Riff({{"fmt ", fmt1}, {"data", data}});
  cut.resize(30);
  seeds.push_back({"cut-in-fmt", cut});
  return seeds;
}

std::vector<std::uint8_t> LoopFile(LoopParams params, std::size_t words) {
  std::vector<std::uint8_t> bytes(kLoopHeaderSize + 2 * words);
  MakeLoopHeader(params, bytes.data());
  for (std::size_t i = kLoopHeaderSize; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 37);
  }
  return bytes;
}

std::vector<Seed> LoopSeeds() {
  auto badSignature = LoopFile({0, 1, 1}, 1);
  badSignature[0] = 't';
  return {
      {"tempo-0", LoopFile({0, 1, 1}, 1)},
      {"tempo-negative", LoopFile({-1, 2, 1}, 2)},
      {"tempo-max", LoopFile({32767, 1, 1}, 3232)},
      {"one-measure-240", LoopFile({2400, 1, 1}, 65'536)},
      {"short", LoopFile({2400, 1, 1}, 100)},
      {"header-only", LoopFile({1200, 0, 1}, 0)},
      {"bad-signature", badSignature},
  };
}

std::vector<Seed> JobSeeds() {
  std::vector<Seed> seeds;
  // Prefix: direction, tempo (2 bytes, offset from 400), measure, file number.
  for (auto& seed : WaveSeeds()) {
    seed.bytes.insert(seed.bytes.begin(), {1, 0x20, 0x03, 1, 7});
    seeds.push_back(std::move(seed));
  }
  for (auto& seed : LoopSeeds()) {
    seed.bytes.insert(seed.bytes.begin(), {0, 0, 0, 0, 0});
    seeds.push_back(std::move(seed));
  }
  return seeds;
}

}  // namespace

// Sound files the strict reader refuses but --adapt takes.
std::vector<Seed> AdaptSeeds() {
  std::vector<Seed> seeds;
  std::vector<std::uint8_t> samples(6 * 4800);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 37);
  seeds.push_back(
      {"48k-24bit-stereo.wav",
       testing::Riff({{"fmt ", testing::FormatBody(2, 48000, 24)}, {"data", samples}})});
  seeds.push_back({"22k-mono.wav", testing::Riff({{"fmt ", testing::FormatBody(1, 22050, 16)},
                                                  {"data", samples}})});
  seeds.push_back({"6-channels.wav", testing::Riff({{"fmt ", testing::FormatBody(6, 44100, 16)},
                                                    {"data", samples}})});
  for (auto& seed : WaveSeeds()) seeds.push_back(std::move(seed));
  return seeds;
}

// A command byte, then the journal, the swap journal, the loop in between
// and a name, as recovery_fuzzer.cpp reads them; true to the card it lays out.
std::vector<Seed> RecoverySeeds() {
  const std::vector<std::uint8_t> loop(600, 'a');
  const std::vector<std::uint8_t> old(500, 'z');
  MemoryFileSystem fs;
  fs.files["card/L01.T58"] = loop;
  const FileIdentity identity = testing::IdentityIn(fs, "card", "L01.T58");
  Checksum sum;
  sum.Add(loop.data(), loop.size());
  char swapped[48];
  std::snprintf(swapped, sizeof swapped, "%zu %016llx", loop.size(),
                static_cast<unsigned long long>(sum.value()));

  const auto input = [](std::uint8_t command, const std::vector<std::vector<std::uint8_t>>& parts) {
    std::vector<std::uint8_t> bytes{command};
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (i > 0) bytes.insert(bytes.end(), {'|', '~', '|'});
      bytes.insert(bytes.end(), parts[i].begin(), parts[i].end());
    }
    return bytes;
  };
  const auto text = [](const std::string& t) {
    return std::vector<std::uint8_t>(t.begin(), t.end());
  };
  std::vector<Seed> seeds;
  // A journal that checks out, for each command.
  for (std::uint8_t command = 0; command < 8; ++command) {
    seeds.push_back({"journal-" + std::to_string(command),
                     input(command, {testing::Journal("L01.T58", old, identity, loop)})});
  }
  // One naming a file outside the card, under the name derived from it.
  seeds.push_back(
      {"journal-outside", input(2 << 3, {testing::Journal("../victim.txt", old, identity, loop),
                                         {},
                                         {},
                                         text("../victim.txt")})});
  // A swap cut off after its first step, and one naming a file outside.
  seeds.push_back({"swap-cut-off",
                   input(2, {{}, text("L01.T58\nL03.T58\n" + std::string(swapped) + "\n"), loop})});
  seeds.push_back(
      {"swap-outside",
       input(2, {{}, text("L01.T58\n../planted.sh\n" + std::string(swapped) + "\n"), loop})});
  return seeds;
}

std::vector<Seed> Seeds(const std::string& target) {
  if (target == "recovery") return RecoverySeeds();
  if (target == "adapt") return AdaptSeeds();
  if (target == "wave_load") return WaveSeeds();
  if (target == "loop_read") return LoopSeeds();
  if (target == "job") return JobSeeds();
  return {};
}

}  // namespace loopsmith::fuzz
