#include "universe/movement/intercept.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

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

// A quartic with leading coefficient `lead` in its depressed form
// y^4 + p y^2 + q y + r (x = y - b/4), and the resolvent cubic
// z^3 + A z^2 + B z + C that the closed form solves.
struct DepressedQuartic {
  double b, p, q, r;
  double A, B, C;
};

DepressedQuartic depress(const double (&coefficients)[5]) {
  const double lead = coefficients[4];
  DepressedQuartic f;
  f.b = coefficients[3] / lead;
  const double c = coefficients[2] / lead;
  const double d = coefficients[1] / lead;
  const double e = coefficients[0] / lead;
  const double b2 = f.b * f.b;
  f.p = c - 3.0 * b2 * 0.125;
  f.q = d - c * f.b * 0.5 + b2 * f.b * 0.125;
  f.r = e - d * f.b * 0.25 + b2 * c * 0.0625 - 3.0 * b2 * b2 * 0.00390625;
  f.A = f.p / 2.0;
  f.B = (f.p * f.p - 4.0 * f.r) / 16.0;
  f.C = -(f.q * f.q) / 64.0;
  return f;
}

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
  const DepressedQuartic f = depress(coefficients);
  const double b = f.b, p = f.p, q = f.q;
  const double A = f.A, B = f.B, C = f.C;
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

namespace {

// The coefficients interceptTime hands to solveQuartic (constant term first).
void interceptCoefficients(const irr::core::vector3df& P, const irr::core::vector3df& V,
                           const irr::core::vector3df& A, double a, double (&coefficients)[5]) {
  coefficients[0] = asFloat(0.25 * dot(A, A) - 0.0625 * a);
  coefficients[1] = asFloat(dot(A, V));
  coefficients[2] = asFloat(dot(A, P) + dot(V, V));
  coefficients[3] = asFloat(2.0 * dot(V, P));
  coefficients[4] = asFloat(dot(P, P));
}

// The smallest root the closed form reports that is not negative, or 0.
double closedFormRoot(const double (&coefficients)[5]) {
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
  return best;
}

// Newton steps allowed from a guess, and the relative size of the last step
// that counts as settled.
constexpr int kNewtonSteps = 8;
constexpr double kSettled = 1e-12;
// A root is taken from the guess only when the slope there is at least this
// share of the size of the terms (|f'(x)| x against the sum of |k_i| x^i),
// so that it is far from a double root the closed form might not report, and
// only when each coefficient of the test for roots below it stands out from
// its rounding by this share.
constexpr double kSimpleRoot = 1e-6;
constexpr double kSignMargin = 1e-9;

// True when `value` is clearly of sign `sign` (+1 or -1) against the
// magnitude `size` of the terms that formed it.
bool clearly(double value, double size, double sign) {
  return value * sign > kSignMargin * size;
}

}  // namespace

// Refines `guess` to a root of sum k_i x^i by Newton steps and takes it
// only when it is the smallest root that is not negative and the closed form
// reports it: settled to full precision, positive, simple, and with no root
// of the quartic in [0, root). The last is decided on the quartic deflated
// by the root, g(x) = f(x) / (x - root), mapped by x = root / (1 + s) onto
// s > 0: (1 + s)^3 g(root / (1 + s)) has no positive root when its
// coefficients share one sign (Descartes' rule of signs). Complex roots
// near the interval may also break the sign pattern; the closed form then
// decides, which only costs time.
bool refineInterceptRoot(const double (&k)[5], double guess, double& root) {
  if (!(guess > 0.0) || !std::isfinite(guess))
    return false;
  double x = guess;
  bool settled = false;
  for (int i = 0; i < kNewtonSteps && !settled; ++i) {
    const double f = (((k[4] * x + k[3]) * x + k[2]) * x + k[1]) * x + k[0];
    const double slope = ((4.0 * k[4] * x + 3.0 * k[3]) * x + 2.0 * k[2]) * x + k[1];
    const double dx = f / slope;
    if (!std::isfinite(dx))
      return false;
    x -= dx;
    settled = std::fabs(dx) <= kSettled * std::fabs(x);
  }
  if (!settled || !(x > 0.0) || !std::isfinite(x))
    return false;

  const double x2 = x * x;
  const double size = (((std::fabs(k[4]) * x + std::fabs(k[3])) * x + std::fabs(k[2])) * x + std::fabs(k[1])) * x +
                      std::fabs(k[0]);
  // Deflation by (x - root): g3 x^3 + g2 x^2 + g1 x + g0.
  const double g3 = k[4];
  const double g2 = k[3] + x * g3;
  const double g1 = k[2] + x * g2;
  const double g0 = k[1] + x * g1;
  // g(root) is f'(root): the root is simple when it stands out.
  const double h0 = ((g3 * x + g2) * x + g1) * x + g0;
  if (!(std::fabs(h0) * x > kSimpleRoot * size))
    return false;
  const double sign = h0 > 0.0 ? 1.0 : -1.0;
  const double ag2 = std::fabs(g2), ag1 = std::fabs(g1), ag0 = std::fabs(g0);
  const double h1 = g2 * x2 + 2.0 * g1 * x + 3.0 * g0;
  const double h2 = g1 * x + 3.0 * g0;
  const double h3 = g0;
  if (!clearly(h1, ag2 * x2 + 2.0 * ag1 * x + 3.0 * ag0, sign) || !clearly(h2, ag1 * x + 3.0 * ag0, sign) ||
      !clearly(h3, std::fabs(k[1]) + ag1 * x, sign))
    return false;

  // The closed form reports the root only when its resolvent cubic has a
  // root above its tolerance (otherwise it finds no roots at all). The
  // cubic is not positive at 0; it has such a root when it is negative at
  // the tolerance, or when its local minimum lies above the tolerance and is
  // negative. Otherwise the closed form decides.
  const DepressedQuartic dq = depress(k);
  const double A = dq.A, B = dq.B, C = dq.C;
  double scale = std::max(std::fabs(A), std::sqrt(std::fabs(B)));
  if (!(std::fabs(C) <= scale * scale * scale))
    scale = std::cbrt(std::fabs(C));
  const double t = kResolventTolerance * scale * (1.0 + 1e-9);
  const double atT = ((t + A) * t + B) * t + C;
  const double atTSize = ((t + std::fabs(A)) * t + std::fabs(B)) * t + std::fabs(C);
  if (!clearly(atT, atTSize, -1.0)) {
    const double spread = A * A - 3.0 * B;
    if (!(spread > 0.0))
      return false;
    const double low = (std::sqrt(spread) - A) / 3.0;
    const double atLow = ((low + A) * low + B) * low + C;
    const double atLowSize = ((low + std::fabs(A)) * low + std::fabs(B)) * low + std::fabs(C);
    if (!(low > t) || !clearly(atLow, atLowSize, -1.0))
      return false;
  }
  root = x;
  return true;
}

const double heading_detail::kAtanSixtyFourths[65][5] = {
    {0.0, 1.0, -0.0, -0.3333333333333333, 0.0},
    {0.015623728620476831, 0.9997559189650964, -0.015617373398527257, -0.3328453499707926, 0.01560593954536976},
    {0.031239833430268277, 0.9990243902439024, -0.031189054134443783, -0.3313849680261942, 0.031097828470334186},
    {0.046840712915969654, 0.9978075517661389, -0.04666968329819699, -0.3289628433017531, 0.046363169370429315},
    {0.06241880999595735, 0.9961089494163424, -0.06201456494420809, -0.3255965744411859, 0.06129253735193423},
    {0.0779666338315423, 0.993933511283669, -0.07717998631661589, -0.32131046507584243, 0.07578103256802565},
    {0.09347678115858947, 0.9912875121006777, -0.09212352484188292, -0.31613519808061014, 0.08972963527846264},
    {0.10894195698986579, 0.9881785283474065, -0.1068043379251238, -0.3101074289142867, 0.10304643577830017},
    {0.12435499454676144, 0.9846153846153847, -0.12118343195266272, -0.30326930663025337, 0.11564771541612688},
    {0.13970887428916365, 0.9806080919320086, -0.13522390733848144, -0.2956679324910738, 0.127458859444936},
    {0.15499674192394097, 0.9761677788369876, -0.14889117694367782, -0.28735476717035957, 0.13841508743188688},
    {0.1702119252854744, 0.9713066160777805, -0.16215315573126807, -0.2783849982543149, 0.1484619921968683},
    {0.18534794999569476, 0.9660377358490566, -0.17498042007831968, -0.268816880153863, 0.1575558835513323},
    {0.2003985538258785, 0.9603751465416178, -0.18734633573801313, -0.2587110586087033, 0.16566393827318},
    {0.21535769969773805, 0.9543336439888164, -0.19922715401071284, -0.24812989172132627, 0.1727641626019111},
    {0.23021958727684372, 0.9479287202036566, -0.21060207623131458, -0.2371367789266319, 0.17884517791624213},
    {0.24497866312686414, 0.9411764705882353, -0.22145328719723184, -0.2257955085148246, 0.18390584403922366},
    {0.2596296294082575, 0.9340935005701254, -0.2317659586363276, -0.21416963332192596, 0.18795473771233343},
    {0.2741674511196588, 0.9266968325791856, -0.24152822423783296, -0.20232188302838686, 0.19100950613396706},
    {0.2885873618940774, 0.9190038142248149, -0.2507311281349282, -0.1903136202091505, 0.19309611704775037},
    {0.3028848683749714, 0.9110320284697508, -0.2593685490305341, -0.17820434590567655, 0.19424802770316565},
    {0.31705575320914703, 0.9027992065241349, -0.2674371023955119, -0.1660512590878396, 0.19450529513491138},
    {0.3310960767041321, 0.8943231441048035, -0.27493602334051603, -0.15390887298395117, 0.19391364968198288},
    {0.34500217720710513, 0.8856216216216216, -0.2818670328707085, -0.1418286899185175, 0.1925235525749833},
    {0.35877067027057225, 0.8767123287671232, -0.2882341902796022, -0.12985893504225607, 0.1903892568557327},
    {0.3723984466767542, 0.8676127938995976, -0.29404373442901, -0.11804434819367986, 0.18756788895900106},
    {0.38588266939807375, 0.8583403185247276, -0.2993039166020844, -0.10642603211608065, 0.1841185660860868},
    {0.39922076957525254, 0.8489119170984456, -0.304024827512148, -0.09504135438143463, 0.18010156213503786},
    {0.4124104415973873, 0.839344262295082, -0.308218220908358, -0.08392389965092525, 0.17557753251680414},
    {0.42544963737004227, 0.8296536358112214, -0.3118973360473216, -0.0731034683321482, 0.17060680576496157},
    {0.43833655985795783, 0.8198558847077662, -0.31507672110466595, -0.06260611727242966, 0.16524874751139979},
    {0.4510696559885235, 0.8099663832311648, -0.31777205938909053, -0.0524542378487264, 0.15956120021092884},
    {0.4636476090008061, 0.8, -0.32, -0.042666666666666665, 0.1536},
    {0.4760693303227612, 0.7899710703953713, -0.32177799434426696, -0.03325882405137085, 0.14741857030121533},
    {0.48833395105640554, 0.7798933739527799, -0.32312413970320814, -0.024242875586053755, 0.14106759025610238},
    {0.5004408131472942, 0.7697801165194512, -0.32405703082194526, -0.015627912115457162, 0.1345947347925728},
    {0.5123894603107377, 0.7596439169139466, -0.3245956202837042, -0.0074201438640521455, 0.12804448210964214},
    {0.5241796287829132, 0.7494967978042086, -0.32475908823428473, 0.0003768953918332656, 0.12145798358134004},
    {0.5358112379604637, 0.7393501805054151, -0.3245667218392003, 0.007762137828012036, 0.11487299052889789},
    {0.5472843809874369, 0.7292148833897099, -0.32403780468946336, 0.014736768123871034, 0.10832383196515005},
    {0.5585993153435624, 0.7191011235955056, -0.32319151622269915, 0.02130401005812549, 0.10184143725436903},
    {0.5697564534829784, 0.7090185217240782, -0.32204684109468257, 0.02746891576642802, 0.09545339762943557},
    {0.5807563535676704, 0.6989761092150171, -0.32062248832251977, 0.033238159903243615, 0.08918406064072393},
    {0.5915997103351114, 0.688982338099243, -0.3189368199241576, 0.03861984058708311, 0.08305465185217757},
    {0.6022873461349642, 0.6790450928381963, -0.3170077886989988, 0.04362328866270283, 0.07708341842577798},
    {0.6128202021652414, 0.6691717039699395, -0.31485288473017903, 0.04825888649081251, 0.07128578962377008},
    {0.6231993299340659, 0.6593689632968448, -0.3124890901393933, 0.05253789717845134, 0.06567454968857636},
    {0.6334258829691446, 0.6496431403647899, -0.30993284158878476, 0.056472304893580696, 0.06026001901570104},
    {0.6435011087932844, 0.64, -0.3072, 0.060074666666666665, 0.05505024},
    {0.6534263411807619, 0.6304448206864707, -0.30430582694670955, 0.06335797587028581, 0.05005116439788159},
    {0.6632029927060933, 0.6209824135839903, -0.3012649671723422, 0.06633553738457426, 0.045266839497119515},
    {0.6728325475937632, 0.6116171420038823, -0.2980914366881696, 0.0690208543005744, 0.04069959081405989},
    {0.6823165548747481, 0.6023529411764705, -0.294798615916955, 0.07142752588370989, 0.03635019943918296},
    {0.6916566218531999, 0.593193338160753, -0.2913992473629652, 0.07356915641391584, 0.03221807252213597},
    {0.7008544078844502, 0.5841414717626925, -0.28790543730916507, 0.0754592744353446, 0.028301405723950884},
    {0.7099116184635249, 0.575200112343772, -0.2843286610658724, 0.07711126188491285, 0.024597336765983257},
    {0.7188299996216245, 0.5663716814159292, -0.28067977132116845, 0.07853829252307452, 0.021102089472027703},
    {0.7276113326265107, 0.5576582709326072, -0.2769690091711574, 0.07975327905993054, 0.01781110793282374},
    {0.7362574289814281, 0.5490616621983915, -0.2732060174370548, 0.08076882835302854, 0.014719180622174982},
    {0.7447701257160751, 0.5405833443315297, -0.2693998559054845, 0.08159720404797378, 0.0118205544630736},
    {0.7531512809621944, 0.5322245322245323, -0.2655590181577708, 0.08225029603740795, 0.009109038982802065},
    {0.7614027698055784, 0.5239861839580402, -0.26169144968302277, 0.08273959612630381, 0.006578100810438207},
    {0.7695264804056583, 0.5158690176322418, -0.2578045669980775, 0.08307617931032006, 0.004220948861087876},
    {0.7775243103733478, 0.5078735275883447, -0.25390527752463804, 0.08327069009776823, 0.00203061062109813},
    {0.7853981633974483, 0.5, -0.25, 0.08333333333333333, 0.0},
};

namespace {

// Subdivisions of [0, 1] the proof below may look at.
constexpr int kNoRootPieces = 8;
// The closed form works on the quartic shifted by b/4 (b = k3 / k4), and
// its rounding grows with the size of the shifted terms, k4 (x + |b|/4)^4,
// not only with the sum of the terms at x. The proof takes away both
// shares before it looks for a sign: what is left must be positive.
constexpr double kNoRootTermShare = 1e-3;
constexpr double kNoRootShiftShare = 1e-10;
// Rounding of the proof's own few operations, against the largest term.
constexpr double kNoRootRounding = 1e-12;

}  // namespace

// True when k4 x^4 + ... + k0 minus the margins above is positive for all
// x >= 0, shown by one of three certificates, cheapest first (with m_i the
// coefficients less their margins, m4 and m0 positive):
// - no m_i of negative sign;
// - a sum of squares: x^2 (m4 x^2 + m3 x + s) + (t x^2 + m1 x + m0) +
//   rest x^2 with s + t + rest = m2, each quadratic not negative for x >= 0
//   when s >= m3^2 / (4 m4) (s >= 0 where m3 >= 0), likewise t;
// - positive Bernstein coefficients: with x = scale u / (1 - u),
//   m(x) (1 - u)^4 = sum c_i C(4, i) u^i (1 - u)^(4 - i), c_i =
//   m_i scale^i / C(4, i), a weighted mean of the c_i for each u in [0, 1];
//   the scale (m0 / m4)^(1/4) centres the roots' sizes on u = 1/2. Where
//   some c_i is not positive, the halves of the interval of u are tried
//   (de Casteljau's subdivision: means of neighbours), and the proof gives
//   up at a value that is not positive or after about kNoRootPieces
//   intervals.
bool interceptHasNoRoot(const double (&k)[5]) {
  const double lead = k[4];
  if (!(lead > 0.0 && k[0] > 0.0))
    return false;
  // Magnitudes the closed form handles without overflow or underflow.
  const double limit = 1e40 * lead;
  if (!(k[0] <= limit && std::fabs(k[1]) <= limit && std::fabs(k[2]) <= limit && std::fabs(k[3]) <= limit &&
        k[0] >= 1e-40 * lead && lead < 1e100 && lead > 1e-100))
    return false;
  // The coefficients less the margins: kNoRootTermShare of |k_i| and
  // kNoRootShiftShare of k4 C(4, i) shift^(4 - i).
  const double shift = std::fabs(k[3]) / (4.0 * lead);
  const double shift2 = shift * shift;
  const double cut = kNoRootShiftShare * lead;
  const double keep = 1.0 - kNoRootTermShare;
  const double m[5] = {keep * k[0] - cut * shift2 * shift2, k[1] - kNoRootTermShare * std::fabs(k[1]) - cut * 4.0 * shift2 * shift,
                       k[2] - kNoRootTermShare * std::fabs(k[2]) - cut * 6.0 * shift2,
                       k[3] - kNoRootTermShare * std::fabs(k[3]) - cut * 4.0 * shift, keep * lead - cut};
  if (!(m[0] > 0.0 && m[4] > 0.0))
    return false;
  if (m[1] >= 0.0 && m[2] >= 0.0 && m[3] >= 0.0)
    return true;
  const double need3 = m[3] < 0.0 ? m[3] * m[3] / (4.0 * m[4]) : 0.0;
  const double need1 = m[1] < 0.0 ? m[1] * m[1] / (4.0 * m[0]) : 0.0;
  if (m[2] * (1.0 - kNoRootRounding) > (need3 + need1) * (1.0 + kNoRootRounding))
    return true;

  // A power of two near (m0 / m4)^(1/4), from the exponents' bits (both are
  // positive and normal here): scaling by it is exact and costs no root.
  uint64_t bits0, bits4;
  std::memcpy(&bits0, &m[0], sizeof bits0);
  std::memcpy(&bits4, &m[4], sizeof bits4);
  const int64_t exponent = (static_cast<int64_t>(bits0 >> 52) - static_cast<int64_t>(bits4 >> 52)) / 4;
  const uint64_t scaleBits = static_cast<uint64_t>(exponent + 1023) << 52;
  double scale;
  std::memcpy(&scale, &scaleBits, sizeof scale);
  const double scale2 = scale * scale;
  double b[5] = {m[0], m[1] * scale * 0.25, m[2] * scale2 * (1.0 / 6.0), m[3] * scale2 * scale * 0.25,
                 m[4] * scale2 * scale2};
  const double largest = std::max({b[0], std::fabs(b[1]), std::fabs(b[2]), std::fabs(b[3]), b[4]});
  const double margin = kNoRootRounding * largest;
  // Intervals still to prove, as their Bernstein coefficients.
  double pending[kNoRootPieces][5];
  int count = 0;
  for (int step = 0; step < 2 * kNoRootPieces; ++step) {
    if (b[0] > margin && b[1] > margin && b[2] > margin && b[3] > margin && b[4] > margin) {
      if (count == 0)
        return true;
      --count;
      std::copy(pending[count], pending[count] + 5, b);
      continue;
    }
    // Split at the middle; the ends' coefficients are values of the quartic.
    const double l1 = 0.5 * (b[0] + b[1]), m1 = 0.5 * (b[1] + b[2]), n1 = 0.5 * (b[2] + b[3]),
                 r1 = 0.5 * (b[3] + b[4]);
    const double l2 = 0.5 * (l1 + m1), m2 = 0.5 * (m1 + n1), r2 = 0.5 * (n1 + r1);
    const double l3 = 0.5 * (l2 + m2), r3 = 0.5 * (m2 + r2);
    const double mid = 0.5 * (l3 + r3);
    if (!(mid > margin) || count == kNoRootPieces)
      return false;
    double* right = pending[count++];
    right[0] = mid, right[1] = r3, right[2] = r2, right[3] = r1, right[4] = b[4];
    b[1] = l1, b[2] = l2, b[3] = l3, b[4] = mid;
  }
  return false;
}

namespace {

// The closed form's root, settled by Newton steps as the warm start
// settles its own, so that a mover's course does not depend on which of
// the two found it (a loaded game starts cold). A root the steps would
// move by more than its rounding is left as it is.
double polishedRoot(const double (&k)[5], double x) {
  if (!(x > 0.0))
    return x;
  for (int i = 0; i < 2; ++i) {
    const double f = (((k[4] * x + k[3]) * x + k[2]) * x + k[1]) * x + k[0];
    const double slope = ((4.0 * k[4] * x + 3.0 * k[3]) * x + 2.0 * k[2]) * x + k[1];
    const double dx = f / slope;
    if (!(std::fabs(dx) <= 1e-7 * x))
      return x;
    x -= dx;
  }
  return x;
}

}  // namespace

float interceptTime(const irr::core::vector3df& P, const irr::core::vector3df& V, const irr::core::vector3df& A,
                    double a) {
  double coefficients[5];
  interceptCoefficients(P, V, A, a, coefficients);
  return static_cast<float>(closedFormRoot(coefficients));
}

float interceptTime(const irr::core::vector3df& P, const irr::core::vector3df& V, const irr::core::vector3df& A,
                    double a, double& guess) {
  double coefficients[5];
  interceptCoefficients(P, V, A, a, coefficients);
  double root = 0.0;
  if (!refineInterceptRoot(coefficients, guess, root) && !interceptHasNoRoot(coefficients))
    root = polishedRoot(coefficients, closedFormRoot(coefficients));
  guess = std::isfinite(root) ? root : 0.0;
  return static_cast<float>(root);
}

float interceptTime(const generic_object& mover, const generic_object& target, double a) {
  const irr::core::vector3df P = target.getPosition() - mover.getPosition();
  const irr::core::vector3df V = target.velocity - mover.velocity;
  return interceptTime(P, V, target.acceleration, a);
}
