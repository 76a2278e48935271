#include "universe/movement/intercept.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace intercept_test {

namespace {

using irr::core::vector3df;

std::vector<double> sorted(const double* roots, int count) {
  std::vector<double> out(roots, roots + count);
  std::sort(out.begin(), out.end());
  return out;
}

// The trigonometric form takes 2π and 4π to ten digits, so its roots are
// good to about 1e-9 of their size.
void expectRoots(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_NEAR(actual[i], expected[i], 1e-8) << "root " << i;
}

struct QuarticCase {
  const char* name;
  double coefficients[5];  // constant term first
  std::vector<double> roots;
};

TEST(InterceptSolverTest, QuarticRoots) {
  const double r2 = std::sqrt(2.0);
  const QuarticCase cases[] = {
      {"(x-1)(x-2)(x-3)(x-4)", {24, -50, 35, -10, 1}, {1, 2, 3, 4}},
      {"the same times 2", {48, -100, 70, -20, 2}, {1, 2, 3, 4}},
      {"(x-1)(x-2)(x^2+1)", {2, -3, 3, -3, 1}, {1, 2}},
      {"x^4 - 3x^2 + 2", {2, 0, -3, 0, 1}, {-r2, -1, 1, r2}},
      {"x^4 + x^2 + 1", {1, 0, 1, 0, 1}, {}},
  };
  for (const QuarticCase& c : cases) {
    SCOPED_TRACE(c.name);
    double roots[4];
    const int count = solveQuartic(c.coefficients, roots);
    expectRoots(sorted(roots, count), c.roots);
  }
}

struct CubicCase {
  const char* name;
  double coefficients[4];  // constant term first
  std::vector<double> roots;
};

TEST(InterceptSolverTest, CubicRoots) {
  const CubicCase cases[] = {
      {"(x-1)(x-2)(x-3)", {-6, 11, -6, 1}, {1, 2, 3}},
      {"(x-2)(x^2+1)", {-2, 1, -2, 1}, {2}},
      {"2(x-2)(x^2+1)", {-4, 2, -4, 2}, {2}},
  };
  for (const CubicCase& c : cases) {
    SCOPED_TRACE(c.name);
    double roots[3];
    const int count = solveCubic(c.coefficients, roots);
    expectRoots(sorted(roots, count), c.roots);
  }
}

TEST(InterceptTimeTest, LeadsAMovingTarget) {
  // 400 t^4 + 40 t^3 + 2 t^2 - 0.0625 = 0.
  EXPECT_NEAR(interceptTime(vector3df(20, 0, 0), vector3df(1, 0, 1), vector3df(0, 0, 0), 1.0), 0.0862, 1e-4);
}

TEST(InterceptTimeTest, TargetAtRestGivesZero) {
  EXPECT_EQ(interceptTime(vector3df(100, 0, 0), vector3df(0, 0, 0), vector3df(0, 0, 0), 1.0), 0.0f);
  EXPECT_EQ(interceptTime(vector3df(0, -3, 40), vector3df(0, 0, 0), vector3df(0, 0, 0), 2.5), 0.0f);
}

TEST(InterceptTimeTest, TargetAtTheMoversPlaceGivesNoUsableTime) {
  const vector3df here(0, 0, 0);
  for (const vector3df& v : {vector3df(0, 0, 0), vector3df(1, 0, 0), vector3df(0, 2, -1)}) {
    const float t = interceptTime(here, v, vector3df(0, 0, 0), 1.0);
    EXPECT_FALSE(std::isfinite(t) && t > 0.0f) << t;
  }
}

}  // namespace

}  // namespace intercept_test
