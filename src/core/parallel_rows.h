// Splitting the rows of a large array between the cores. Each part is a
// fixed range of rows, so a computation that keeps per-row results gives
// the same numbers whatever the number of cores.
#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace caustica {

// Runs body(first, last) over row ranges [first, last) that cover
// 0..rows. Arrays under about half a million elements stay on the calling
// thread, where starting threads would cost more than it saves.
template <typename F>
void ParallelRows(std::size_t rows, std::size_t rowLength, const F& body) {
  constexpr std::size_t kMinimumPerThread = std::size_t{1} << 19;
  const unsigned cores = std::thread::hardware_concurrency();
  const std::size_t parts =
      std::min<std::size_t>({cores > 0 ? cores : 1, rows, rows * rowLength / kMinimumPerThread + 1});
  if (parts <= 1) {
    body(std::size_t{0}, rows);
    return;
  }
  std::vector<std::thread> workers;
  workers.reserve(parts - 1);
  for (std::size_t k = 1; k < parts; ++k)
    workers.emplace_back([&body, k, parts, rows] { body(rows * k / parts, rows * (k + 1) / parts); });
  body(std::size_t{0}, rows / parts);
  for (auto& t : workers) t.join();
}

}  // namespace caustica
