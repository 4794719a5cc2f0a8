#pragma once
// A general bounded minimiser for a smooth function of a few dozen variables: the spectral
// projected gradient method (Barzilai-Borwein steps, projection onto the box, non-monotone
// line search). It needs only the value and the gradient and knows nothing of equalizers:
// the tests and the benchmark use it as the independent reference the fit is measured
// against.

#include <functional>

#include <Eigen/Dense>

namespace mzr {

struct BoundedMinimiserOptions {
  int maxIterations = 3000;
  double tolerance = 1e-9;  // on the largest component of the projected gradient step
};

// value(x, gradient) returns f(x) and fills the gradient.
using ValueAndGradient = std::function<double(const Eigen::VectorXd&, Eigen::VectorXd&)>;

struct BoundedMinimum {
  Eigen::VectorXd x;
  double value = 0.0;
  int iterations = 0;
};

BoundedMinimum MinimiseBounded(const ValueAndGradient& f, const Eigen::VectorXd& start, const Eigen::VectorXd& lower,
                               const Eigen::VectorXd& upper, const BoundedMinimiserOptions& options = {});

}  // namespace mzr
