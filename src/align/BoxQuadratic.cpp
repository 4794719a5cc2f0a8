#include "align/BoxQuadratic.h"

#include <algorithm>
#include <vector>

namespace mzr {

Eigen::VectorXd MinimiseBoxQuadratic(const Eigen::MatrixXd& a, const Eigen::VectorXd& b,
                                     const Eigen::VectorXd& lower, const Eigen::VectorXd& upper) {
  const Eigen::Index n = b.size();
  Eigen::VectorXd d = Eigen::VectorXd::Zero(n).cwiseMax(lower).cwiseMin(upper);
  // 0 free, -1 held at lower, +1 held at upper.
  std::vector<int> held(static_cast<std::size_t>(n), 0);
  for (Eigen::Index i = 0; i < n; ++i) {
    if (d[i] == lower[i] && lower[i] == upper[i]) held[static_cast<std::size_t>(i)] = -1;
  }
  const int maxIterations = static_cast<int>(4 * n + 20);
  for (int iteration = 0; iteration < maxIterations; ++iteration) {
    std::vector<Eigen::Index> free;
    for (Eigen::Index i = 0; i < n; ++i) {
      if (held[static_cast<std::size_t>(i)] == 0) free.push_back(i);
    }
    // The minimiser over the free variables with the held ones fixed.
    Eigen::VectorXd target = d;
    if (!free.empty()) {
      const auto m = static_cast<Eigen::Index>(free.size());
      Eigen::MatrixXd af(m, m);
      Eigen::VectorXd rhs(m);
      for (Eigen::Index r = 0; r < m; ++r) {
        double s = -b[free[static_cast<std::size_t>(r)]];
        for (Eigen::Index j = 0; j < n; ++j) {
          if (held[static_cast<std::size_t>(j)] != 0) s -= a(free[static_cast<std::size_t>(r)], j) * d[j];
        }
        rhs[r] = s;
        for (Eigen::Index c = 0; c < m; ++c) af(r, c) = a(free[static_cast<std::size_t>(r)], free[static_cast<std::size_t>(c)]);
      }
      const Eigen::VectorXd y = af.ldlt().solve(rhs);
      for (Eigen::Index r = 0; r < m; ++r) target[free[static_cast<std::size_t>(r)]] = y[r];
    }
    // Walk towards it as far as the box allows.
    double step = 1.0;
    Eigen::Index blocking = -1;
    for (Eigen::Index i : free) {
      const double delta = target[i] - d[i];
      if (delta > 0.0 && target[i] > upper[i]) {
        const double t = (upper[i] - d[i]) / delta;
        if (t < step) { step = t; blocking = i; }
      } else if (delta < 0.0 && target[i] < lower[i]) {
        const double t = (lower[i] - d[i]) / delta;
        if (t < step) { step = t; blocking = i; }
      }
    }
    d += step * (target - d);
    d = d.cwiseMax(lower).cwiseMin(upper);
    if (blocking >= 0) {
      held[static_cast<std::size_t>(blocking)] = target[blocking] > upper[blocking] ? 1 : -1;
      d[blocking] = held[static_cast<std::size_t>(blocking)] > 0 ? upper[blocking] : lower[blocking];
      continue;
    }
    // At the minimiser of this face: free the held variable whose gradient points most
    // strongly into the box, if any.
    const Eigen::VectorXd gradient = a * d + b;
    Eigen::Index release = -1;
    double strongest = 1e-12;
    for (Eigen::Index i = 0; i < n; ++i) {
      const int h = held[static_cast<std::size_t>(i)];
      if (h == 0 || lower[i] == upper[i]) continue;
      const double inward = h < 0 ? -gradient[i] : gradient[i];
      if (inward > strongest) { strongest = inward; release = i; }
    }
    if (release < 0) break;
    held[static_cast<std::size_t>(release)] = 0;
  }
  return d;
}

}  // namespace mzr
