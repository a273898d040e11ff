// The p-th percentile of a benchmark's samples (p = 100: the largest), -1 when there are none.
#pragma once

#include <algorithm>
#include <vector>

inline double percentile(std::vector<double> v, int p) {
  if (v.empty()) return -1.0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, v.size() * static_cast<size_t>(p) / 100)];
}
