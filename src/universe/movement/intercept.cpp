#include "universe/movement/intercept.h"

#include <algorithm>
#include <cmath>

#include "universe/objects/game_object.h"

namespace {

// 2π and 4π as the trigonometric form of the cubic uses them.
constexpr double kTwoPi = 6.283185307;
constexpr double kFourPi = 12.56637061;

// A root of the resolvent cubic counts as positive only above this share of
// the size of its roots. Where the exact root is 0 (a depressed quartic
// without its linear term, q = 0) the closed forms give it as a small
// number of either sign: about ε times that size, and up to about √ε times
// it where two roots nearly coincide (acos near ±1). Taking such a root for
// z would divide q by the square root of rounding noise. A genuine root this
// small only arises when q is nearly 0 as well, and then any other positive
// root serves the method equally.
constexpr double kResolventTolerance = 1e-6;

double dot(const irr::core::vector3df& u, const irr::core::vector3df& v) {
  return double(u.X) * v.X + double(u.Y) * v.Y + double(u.Z) * v.Z;
}

// A value rounded to a float and widened again.
double asFloat(double value) { return static_cast<double>(static_cast<float>(value)); }

}  // namespace

int solveCubic(const double (&coefficients)[4], double (&roots)[3]) {
  const double lead = coefficients[3];
  const double a = coefficients[2] / lead;
  const double b = coefficients[1] / lead;
  const double c = coefficients[0] / lead;
  const double Q = (a * a - 3.0 * b) / 9.0;
  const double R = (2.0 * a * a * a - 9.0 * a * b + 27.0 * c) / 54.0;
  const double Q3 = Q * Q * Q;
  if (Q3 - R * R >= 0.0) {
    // Rounding may carry the ratio just past ±1 (acos would give no number);
    // with Q = 0 the three roots coincide and the angle does not matter.
    const double ratio = Q3 > 0.0 ? std::clamp(R / std::sqrt(Q3), -1.0, 1.0) : 0.0;
    const double theta = std::acos(ratio);
    const double scale = -2.0 * std::sqrt(Q);
    roots[0] = scale * std::cos(theta / 3.0) - a / 3.0;
    roots[1] = scale * std::cos((theta + kTwoPi) / 3.0) - a / 3.0;
    roots[2] = scale * std::cos((theta + kFourPi) / 3.0) - a / 3.0;
    return 3;
  }
  double S = std::cbrt(std::fabs(R) + std::sqrt(R * R - Q3));
  if (R > 0.0)
    S = -S;
  roots[0] = S + Q / S - a / 3.0;
  return 1;
}

namespace {

// The resolvent's root that solveQuartic takes for z: the first of
// solveCubic's roots of z^3 + A z^2 + B z + C, in its order, that lies above
// the tolerance; `fallback` when there is none. The value is the one the
// loop over all of solveCubic's roots would pick, to the bit: the same
// expressions in the same order (a division by the leading 1 changes
// nothing), but each root is formed only when the earlier ones have been
// ruled out, and the cube root of the tolerance only when a cheaper bound
// cannot decide. Rounding is monotonic, which the shortcuts below rely on.
double resolventRoot(double A, double B, double C, double fallback) {
  if (!(std::isfinite(A) && std::isfinite(B) && std::isfinite(C))) {
    // Not finite values take the general path, whose comparisons treat
    // them in their own way.
    const double cubic[4] = {C, B, A, 1.0};
    double cubicRoots[3];
    const int cubicCount = solveCubic(cubic, cubicRoots);
    const double size = std::max({std::fabs(A), std::sqrt(std::fabs(B)), std::cbrt(std::fabs(C))});
    const double tolerance = kResolventTolerance * size;
    for (int i = 0; i < cubicCount; ++i)
      if (cubicRoots[i] > tolerance)
        return cubicRoots[i];
    return fallback;
  }

  // tolerance = kResolventTolerance * max(|A|, sqrt|B|, cbrt|C|) is, after
  // rounding, the largest of the three terms each scaled alone, so a root
  // lies above it when it lies above each term.
  const double overA = kResolventTolerance * std::fabs(A);
  const double overB = kResolventTolerance * std::sqrt(std::fabs(B));
  const double absC = std::fabs(C);
  const auto aboveTolerance = [&](double root) {
    if (!(root > overA && root > overB))
      return false;
    // root > kResolventTolerance * cbrt|C|: comparing the cubes decides it
    // unless the two lie within far more than their rounding of each other
    // (k is root / kResolventTolerance to within a few units in the last
    // place).
    const double k = root * 1e6;
    if (absC > 1e-250 && absC < 1e250 && k > 1e-80 && k < 1e80) {
      const double cube = k * k * k;
      if (cube > absC * (1.0 + 1e-9))
        return true;
      if (cube < absC * (1.0 - 1e-9))
        return false;
    }
    return root > kResolventTolerance * std::cbrt(absC);
  };

  // solveCubic with coefficients {C, B, A, 1}.
  const double a = A;
  const double b = B;
  const double c = C;
  const double Q = (a * a - 3.0 * b) / 9.0;
  const double R = (2.0 * a * a * a - 9.0 * a * b + 27.0 * c) / 54.0;
  const double Q3 = Q * Q * Q;
  if (Q3 - R * R >= 0.0) {
    const double ratio = Q3 > 0.0 ? std::clamp(R / std::sqrt(Q3), -1.0, 1.0) : 0.0;
    const double theta = std::acos(ratio);
    const double scale = -2.0 * std::sqrt(Q);
    const double shift = a / 3.0;
    // The first root is scale * cos(theta / 3) - a / 3 with a cosine of at
    // least 0.5 (theta / 3 is at most π/3) and scale not above 0: it is at
    // most scale * 0.49 - a / 3, so when that is not above 0 it is not
    // above the tolerance either (which is at least 0).
    if (scale * 0.49 - shift > 0.0) {
      const double first = scale * std::cos(theta / 3.0) - shift;
      if (aboveTolerance(first))
        return first;
    }
    const double second = scale * std::cos((theta + kTwoPi) / 3.0) - shift;
    if (aboveTolerance(second))
      return second;
    const double third = scale * std::cos((theta + kFourPi) / 3.0) - shift;
    if (aboveTolerance(third))
      return third;
    return fallback;
  }
  double S = std::cbrt(std::fabs(R) + std::sqrt(R * R - Q3));
  if (R > 0.0)
    S = -S;
  const double only = S + Q / S - a / 3.0;
  return aboveTolerance(only) ? only : fallback;
}

}  // namespace

int solveQuartic(const double (&coefficients)[5], double (&roots)[4]) {
  const double lead = coefficients[4];
  const double b = coefficients[3] / lead;
  const double c = coefficients[2] / lead;
  const double d = coefficients[1] / lead;
  const double e = coefficients[0] / lead;

  // Depressed form, x = y - b/4: y^4 + p y^2 + q y + r.
  const double b2 = b * b;
  const double p = c - 3.0 * b2 * 0.125;
  const double q = d - c * b * 0.5 + b2 * b * 0.125;
  const double r = e - d * b * 0.25 + b2 * c * 0.0625 - 3.0 * b2 * b2 * 0.00390625;

  // Resolvent cubic z^3 + A z^2 + B z + C.
  const double A = p / 2.0;
  const double B = (p * p - 4.0 * r) / 16.0;
  const double C = -(q * q) / 64.0;
  const double z = resolventRoot(A, B, C, lead);  // no positive root: the method has no sound z

  const double u = std::sqrt(z);
  const double u2 = u * u;
  const double m = 2.0 * u2 + p / 2.0;
  const double n = q / (4.0 * u);
  const double shift = b / 4.0;
  int count = 0;
  const double first = u2 - (m - n);
  if (first > 0.0) {
    const double w = std::sqrt(first);
    roots[count++] = -u - w - shift;
    roots[count++] = w - u - shift;
  }
  const double second = u2 - (n + m);
  if (second > 0.0) {
    const double w = std::sqrt(second);
    roots[count++] = u - w - shift;
    roots[count++] = w + u - shift;
  }
  return count;
}

float interceptTime(const irr::core::vector3df& P, const irr::core::vector3df& V, const irr::core::vector3df& A,
                    double a) {
  const double c4 = asFloat(0.25 * dot(A, A) - 0.0625 * a);
  const double c3 = asFloat(dot(A, V));
  const double c2 = asFloat(dot(A, P) + dot(V, V));
  const double c1 = asFloat(2.0 * dot(V, P));
  const double c0 = asFloat(dot(P, P));
  const double coefficients[5] = {c4, c3, c2, c1, c0};
  double roots[4];
  const int count = solveQuartic(coefficients, roots);
  double best = 0.0;
  bool found = false;
  for (int i = 0; i < count; ++i) {
    if (roots[i] >= 0.0 && (!found || roots[i] < best)) {
      best = roots[i];
      found = true;
    }
  }
  return static_cast<float>(best);
}

float interceptTime(const generic_object& mover, const generic_object& target, double a) {
  const irr::core::vector3df P = target.getPosition() - mover.getPosition();
  const irr::core::vector3df V = target.velocity - mover.velocity;
  return interceptTime(P, V, target.acceleration, a);
}
