// The figure every benchmark here reports: the middle of its repeated runs,
// which one slow run on a shared machine does not move.
#pragma once

#include <algorithm>
#include <vector>

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}
