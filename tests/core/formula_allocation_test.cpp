// Evaluation allocates nothing once a program has run against its sets: the
// core_tests program counts every allocation made through operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "core/formula.h"
#include "core/named_values.h"

// The replacements of operator new and delete stay global.
namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size ? size : 1))
    return block;
  throw std::bad_alloc();
}
// The blocks come from malloc above, whatever the compiler assumes of them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace formula_allocation_test {

namespace {

TEST(FormulaAllocationTest, SteadyStateEvaluationAllocatesNothing) {
  registerFormulaFunctions();
  NamedValues techs, first, second;
  techs.set(L"Hull", 2.0f);
  first.set(L"x", 1.0f);
  second.set(L"x", 5.0f);
  NameSpaces spaces;
  spaces.setSpace(&techs, L"Techs");
  spaces.setSpace(&first, L"Object");
  const formula programs[] = {
      formula(L"progress(10, 5, Techs.Hull) * Object.x ^ 2 - max(Object.x, 3, missing)"),
      formula(L"x * 2 + weight(x, 1, 2, 3) / 4 < 9 && not(x)"),
  };
  for (int warm = 0; warm < 2; ++warm) {
    evaluateFormula(&programs[0], &spaces);
    evaluateFormula(&programs[1], &first);
    evaluateFormula(&programs[1], &second);
  }
  const irr::core::stringw x(L"x");
  const long before = allocations.load();
  float sum = 0.0f;
  for (int i = 0; i < 1000; ++i) {
    first.set(x, static_cast<float>(i));  // values change in place
    sum += evaluateFormula(&programs[0], &spaces);
    sum += evaluateFormula(&programs[1], &first);
    sum += evaluateFormula(&programs[1], &second);
  }
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_NE(sum, 0.0f);
}

}  // namespace

}  // namespace formula_allocation_test
