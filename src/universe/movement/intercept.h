// Interception: how soon a mover that accelerates with `a` can meet a target
// that moves on, and the polynomial solvers behind it (double precision, in
// closed form; a mover's repeated solve may start from its last root).
#pragma once

#include <vector3d.h>

#include <cmath>
#include <cstdint>
#include <cstring>

class generic_object;

// The time after which a mover accelerating with `a` meets a target at
// relative position P (target minus mover), relative velocity V (target
// minus mover) and target acceleration A. The quartic
//   c4 t^4 + c3 t^3 + c2 t^2 + c1 t + c0 = 0
// with c4 = 0.25 |A|^2 - 0.0625 a, c3 = A.V, c2 = A.P + |V|^2,
// c1 = 2 V.P and c0 = |P|^2 (each rounded to a float) is handed to
// solveQuartic as {c4, c3, c2, c1, c0}, so the equation solved has |P|^2 as
// its leading coefficient and c4 as its constant term. The result is the
// smallest root that is not negative, or 0 when there is none. It may be a
// value that is not a finite number (a target at the mover's own position
// has a leading coefficient of 0); callers then ignore it.
float interceptTime(const irr::core::vector3df& P, const irr::core::vector3df& V,
                    const irr::core::vector3df& A, double a);
// interceptTime with a guess at the root, for a mover that solves nearly
// the same equation tick after tick. The guess (the last result, or 0 for
// none) is refined by Newton steps; the refined root is taken only when it
// settles to full precision, is a simple root, and the quartic provably has
// no root between 0 and it (its value then is the closed form's choice);
// failing that, interceptHasNoRoot below may prove that there is no root
// (0); otherwise the closed form decides. `guess` receives the root taken, or 0.
float interceptTime(const irr::core::vector3df& P, const irr::core::vector3df& V,
                    const irr::core::vector3df& A, double a, double& guess);
// The same for two objects: P from their absolute positions, V from their
// velocities, A the target's acceleration.
float interceptTime(const generic_object& mover, const generic_object& target, double a);

// The warm start of interceptTime on its own: refines `guess` by Newton
// steps on coefficients[4] x^4 + ... + coefficients[0] and returns true with
// `root` set only when the result is certainly the smallest root that is not
// negative and a simple one (see interceptTime above); false otherwise.
bool refineInterceptRoot(const double (&coefficients)[5], double guess, double& root);

// True only when coefficients[4] x^4 + ... + coefficients[0] certainly has
// no root x >= 0, with a margin that no rounding of the closed form crosses
// (the closed form then reports none either); false when it cannot tell.
bool interceptHasNoRoot(const double (&coefficients)[5]);
// atan2(y, x) for the steering's headings, which are kept as floats: good
// to 1e-9 of the angle, far within a float's last place, and a quarter of
// the library's time; zeros, infinities and NaN give the library's.
// (Inline: the steering takes two independent angles, which then overlap.)
namespace heading_detail {

// Row k: atan(c) and the next four Taylor coefficients of atan about
// c = k / 64 (1 / (1 + c^2), -c / (1 + c^2)^2, (3c^2 - 1) / (3 (1 + c^2)^3),
// c (1 - c^2) / (1 + c^2)^4).
extern const double kAtanSixtyFourths[65][5];
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;  // exactly 2 kHalfPi
// Added to a value in [0, 64], leaves it rounded to a whole number in the
// low bits of the sum.
constexpr double kRoundingShift = 0x1.8p52;

inline uint64_t bitsOf(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}
inline double fromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace heading_detail

// The ratio a of the smaller to the larger of |x| and |y| goes to the
// nearest 64th c, and atan(a) is the row's polynomial in d = a - c
// (|d| <= 1/128: the first term left out is below 1e-9 of the angle). The
// headings point every way, so the octant is chosen by bit masks and
// arithmetic, not by branches the processor would mispredict half the time
// (for doubles of one sign the order of their bits is the order of values);
// the steps are arranged for a short chain of dependent operations, which
// is what the steering waits on.
inline double headingAtan2(double y, double x) {
  using namespace heading_detail;
  const double ay = std::fabs(y), ax = std::fabs(x);
  if (!(ay > 0.0 || ax > 0.0) || !(ay < HUGE_VAL) || !(ax < HUGE_VAL))
    return std::atan2(y, x);
  const uint64_t bitsY = bitsOf(ay), bitsX = bitsOf(ax);
  const uint64_t steepBit = (bitsX - bitsY) >> 63;  // 1 when ay > ax
  const uint64_t steepMask = 0 - steepBit;
  const double a = fromBits((bitsY & ~steepMask) | (bitsX & steepMask)) /
                   fromBits((bitsX & ~steepMask) | (bitsY & steepMask));
  // The angle is base + sign * atan(a): pi / 2 - atan(a) when steep, pi
  // less that when x is negative.
  const double steep = static_cast<double>(static_cast<int64_t>(steepBit));
  const double back = static_cast<double>(static_cast<int64_t>(bitsOf(x) >> 63));
  const double flipBack = 1.0 - 2.0 * back;
  const double base = back * kPi + flipBack * steep * kHalfPi;
  const double sign = flipBack * (1.0 - 2.0 * steep);
  const double shifted = a * 64.0 + kRoundingShift;
  const double* row = kAtanSixtyFourths[bitsOf(shifted) & 127];
  const double d = a - (shifted - kRoundingShift) * (1.0 / 64.0);
  const double d2 = d * d;
  const double r = (row[0] + d * row[1]) + d2 * ((row[2] + d * row[3]) + d2 * row[4]);
  return std::copysign(base + sign * r, y);
}

// Real roots of coefficients[4] x^4 + ... + coefficients[0] = 0 (constant
// term first), by Ferrari's method. Returns their number (0, 2 or 4) and
// fills `roots` in the method's order. A discriminant of exactly 0 gives no
// root, so double roots are not reported.
int solveQuartic(const double (&coefficients)[5], double (&roots)[4]);

// Real roots of coefficients[3] x^3 + ... + coefficients[0] = 0 (constant
// term first): 3 by the trigonometric form, or 1 by Cardano's.
int solveCubic(const double (&coefficients)[4], double (&roots)[3]);
