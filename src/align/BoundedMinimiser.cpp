#include "align/BoundedMinimiser.h"

#include <algorithm>
#include <deque>

namespace mzr {

BoundedMinimum MinimiseBounded(const ValueAndGradient& f, const Eigen::VectorXd& start, const Eigen::VectorXd& lower,
                               const Eigen::VectorXd& upper, const BoundedMinimiserOptions& options) {
  constexpr double kMinStep = 1e-10;
  constexpr double kMaxStep = 1e10;
  constexpr double kSufficient = 1e-4;
  constexpr std::size_t kMemory = 10;
  const auto project = [&](const Eigen::VectorXd& v) { return v.cwiseMax(lower).cwiseMin(upper).eval(); };

  Eigen::VectorXd x = project(start);
  Eigen::VectorXd g(x.size());
  double fx = f(x, g);
  std::deque<double> recent{fx};
  double alpha = 1.0 / std::max(1e-12, (project(x - g) - x).cwiseAbs().maxCoeff());
  BoundedMinimum result{x, fx, 0};
  for (int k = 0; k < options.maxIterations; ++k) {
    result.iterations = k + 1;
    if ((project(x - g) - x).cwiseAbs().maxCoeff() < options.tolerance) break;
    const Eigen::VectorXd d = project(x - alpha * g) - x;
    const double slope = g.dot(d);
    const double reference = *std::max_element(recent.begin(), recent.end());
    double lambda = 1.0;
    Eigen::VectorXd xn;
    Eigen::VectorXd gn(x.size());
    double fn = 0.0;
    for (int tries = 0; tries < 40; ++tries) {
      xn = x + lambda * d;
      fn = f(xn, gn);
      if (fn <= reference + kSufficient * lambda * slope) break;
      // Safeguarded quadratic interpolation of the step.
      const double t = -0.5 * lambda * lambda * slope / (fn - fx - lambda * slope);
      lambda = (t >= 0.1 * lambda && t <= 0.9 * lambda) ? t : lambda / 2.0;
    }
    const Eigen::VectorXd s = xn - x;
    const Eigen::VectorXd y = gn - g;
    x = xn;
    g = gn;
    fx = fn;
    recent.push_back(fx);
    if (recent.size() > kMemory) recent.pop_front();
    const double sy = s.dot(y);
    alpha = sy <= 0.0 ? kMaxStep : std::clamp(s.dot(s) / sy, kMinStep, kMaxStep);
    if (fx < result.value) result = {x, fx, result.iterations};
  }
  if (fx < result.value) {
    result.x = x;
    result.value = fx;
  }
  return result;
}

}  // namespace mzr
