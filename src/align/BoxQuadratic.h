#pragma once
// Minimises 1/2 d'Ad + b'd over lower <= d <= upper for a symmetric positive definite A: the
// step of each Gauss-Newton iteration of the fit, with the ranges of the unit's fields as
// the box. A primal active-set method: the free variables' system is solved by Eigen's
// Cholesky factorisation, a variable that would leave the box is held at its bound, and a
// held one whose gradient points inward is freed again. It ends in a finite number of steps
// on the exact minimiser for problems of this size (tens of variables).

#include <Eigen/Dense>

namespace mzr {

Eigen::VectorXd MinimiseBoxQuadratic(const Eigen::MatrixXd& a, const Eigen::VectorXd& b,
                                     const Eigen::VectorXd& lower, const Eigen::VectorXd& upper);

}  // namespace mzr
