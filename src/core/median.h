// Medians of samples, the order of the samples not kept.
#pragma once

#include <vector>

namespace caustica {

// The median: the middle sample, or the mean of the two middle ones.
// 0 for no samples.
double Median(std::vector<double> v);

// The sample at half the count (the upper of the two middle ones), found in
// place without a full sort. 0 for no samples.
double UpperMedian(std::vector<double>& v);

}  // namespace caustica
