#include "core/median.h"

#include <algorithm>
#include <cstddef>

namespace caustica {

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const std::size_t half = v.size() / 2;
  const double upper = UpperMedian(v);
  if (v.size() % 2 == 1) return upper;
  const double lower = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(half));
  return 0.5 * (lower + upper);
}

double UpperMedian(std::vector<double>& v) {
  if (v.empty()) return 0.0;
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

}  // namespace caustica
