#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace loopsmith::bench {

// Seconds one call of `work` takes, the best of `rounds`: the yardstick each
// benchmark divides by, measured in the same run on the same bytes.
inline double BestSeconds(const std::function<void()>& work, int rounds = 200) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

}  // namespace loopsmith::bench
