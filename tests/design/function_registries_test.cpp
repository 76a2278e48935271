// The seven native function registries: their contents after start-up,
// the argument checkers reached through them, and lookups that leave the
// registries as they are.
#include "design/effects/function_registries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/log.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/registry_probe.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"

namespace function_registries_test {

namespace {

using Names = std::vector<std::wstring>;

// Each registry's table, in registration order.
const Names kExpected[NRK_COUNT] = {
    {L"AddAmount",       L"SubAmount",    L"AddRequire",  L"SubRequire",    L"AddMax",        L"SubMax",
     L"AddMaxPop",       L"SubMaxPop",    L"IncSpeed",    L"DecSpeed",      L"AddCargoSpace", L"SubCargoSpace",
     L"AddShipSpace",    L"SubShipSpace", L"IncResearch", L"DecResearch",   L"Repair",        L"Generate",
     L"GenerateNoCargo", L"Drain",        L"Produce",     L"ProduceNoCargo"},
    {L"Death", L"Skip"},
    {L"CanAttack", L"Enemy", L"Friendly", L"NotFriendly", L"Unowned", L"Any", L"isPlanet", L"isShip", L"EmptyPlanet",
     L"DisabledShip"},
    {L"CanStore", L"CanTransfer"},
    {L"Fire"},
    {L"Timed", L"TimedShot", L"Charged", L"MultiPulse", L"MultiPulseCost"},
    {L"Reload"},
};

TEST(FunctionRegistries, EachHoldsTheNamesOfItsTable) {
  registerNativeFunctions();
  registerNativeFunctions();  // a second call changes nothing
  size_t total = 0;
  for (uint32_t k = 0; k < NRK_COUNT; ++k) {
    const auto kind = static_cast<NativeRegistryKind>(k);
    SCOPED_TRACE(k);
    const Names builtin = builtinFunctionNames(kind);
    EXPECT_EQ(builtin, kExpected[kind]);
    total += builtin.size();

    // The registry: the table's names and those this test program added,
    // each once, in name order, each with a function.
    Names expected = builtin;
    for (const std::wstring& added : addedFunctionNames(kind)) {
      EXPECT_EQ(std::count(builtin.begin(), builtin.end(), added), 0) << "a test native hides a built-in one";
      expected.push_back(added);
    }
    std::sort(expected.begin(), expected.end(), [](const std::wstring& a, const std::wstring& b) {
      return compareNames(irr::core::stringw(a.c_str()), irr::core::stringw(b.c_str())) < 0;
    });
    const RegistryView view = registryView(kind);
    EXPECT_EQ(view.names, expected);
    EXPECT_TRUE(view.everyValueSet);
    EXPECT_TRUE(view.sortedFlag);
  }
  EXPECT_EQ(total, 43u);
}

// Every entry whose table gives it a checker has one.
TEST(FunctionRegistries, EntriesWithParametersHaveCheckers) {
  for (const std::wstring& name : builtinFunctionNames(NRK_EffectTemplate))
    EXPECT_NE(findNativeFunction<const TemplateFuncEntry*>(templateFunctionRegistry(), name.c_str())->checker, nullptr);
  for (const std::wstring& name : builtinFunctionNames(NRK_StorageFilter))
    EXPECT_NE(
        findNativeFunction<const TargetFunctionWithArgsEntry*>(targetFunctionWithArgsRegistry(), name.c_str())->checker,
        nullptr);
  for (const std::wstring& name : builtinFunctionNames(NRK_ActivationMode))
    EXPECT_NE(
        findNativeFunction<const FireFunctionWithArgsEntry*>(fireFunctionWithArgsRegistry(), name.c_str())->checker,
        nullptr);
}

TEST(FunctionRegistries, AbsentNamesFindNothing) {
  EXPECT_EQ(findNativeFunction<const TemplateFuncEntry*>(templateFunctionRegistry(), L"addAmount"), nullptr);
  EXPECT_EQ(findNativeFunction<const PlainFuncEntry*>(plainFunctionRegistry(), L""), nullptr);
  EXPECT_EQ(findNativeFunction<TargetFunction>(targetFunctionRegistry(), L"Anything"), nullptr);
  EXPECT_EQ(findNativeFunction<FireFunction>(tickFunctionRegistry(), L"Fire"), nullptr);
}

// --- Checkers, reached through the registries ---

// 'n' a number, 's' a resource name ("State Name" or "string").
struct CheckCase {
  bool effector;
  const wchar_t* function;
  const char* kinds;
  bool accepted;
  const char* log;
};

bool runChecker(const CheckCase& c) {
  if (!c.effector) {
    TemplateArgList args;
    for (const char* kind = c.kinds; *kind != '\0'; ++kind) {
      templateArg arg{};
      arg.kind = *kind == 's' ? TAK_StateName : TAK_Number;
      args.push_back(arg);
    }
    const TemplateFuncEntry* entry =
        findNativeFunction<const TemplateFuncEntry*>(templateFunctionRegistry(), c.function);
    EXPECT_NE(entry, nullptr);
    return entry != nullptr && entry->checker(args, "defs.txt", 7);
  }
  EffectorArgList args;
  for (const char* kind = c.kinds; *kind != '\0'; ++kind) {
    int_templateArg arg;
    arg.kind = *kind == 's' ? EAK_String : EAK_StaticValue;
    args.push_back(arg);
  }
  if (const auto* entry =
          findNativeFunction<const FireFunctionWithArgsEntry*>(fireFunctionWithArgsRegistry(), c.function))
    return entry->checker(args, "defs.txt", 7);
  const auto* entry =
      findNativeFunction<const TargetFunctionWithArgsEntry*>(targetFunctionWithArgsRegistry(), c.function);
  EXPECT_NE(entry, nullptr);
  return entry != nullptr && entry->checker(args, "defs.txt", 7);
}

// All at the error level: the effector checkers log their warning there
// too, the effect checkers theirs one level below (silent here).
TEST(FunctionRegistries, CheckersSayWhatTheyRefuse) {
  const CheckCase cases[] = {
      {false, L"AddMax", "n", false, "defs.txt(7) error: AddMax() requires 2 or 3 template parameters\n"},
      {false, L"AddMax", "nsnn", true, ""},
      {false, L"AddAmount", "nn", false, "defs.txt(7) error: AddAmount() requires parameter 2 be type 'State Name'\n"},
      {false, L"GenerateNoCargo", "s", false, "defs.txt(7) error: Generate() requires 2 template parameters\n"},
      {false, L"GenerateNoCargo", "ns", false,
       "defs.txt(7) error: Generate() requires parameter 1 be type 'State Name'\n"},
      {false, L"SubShipSpace", "", false, "defs.txt(7) error: SubShipSpace() requires 1 template parameters\n"},
      {false, L"IncResearch", "s", true, ""},
      {false, L"DecResearch", "n", true, ""},
      {true, L"Timed", "nnn", true, "defs.txt(7) warning: Timed() takes 1 template parameters, not 3\n"},
      {true, L"Timed", "nn", true, ""},
      {true, L"TimedShot", "nn", false, "defs.txt(7) error: TimedShot() requires 3 template parameters\n"},
      {true, L"TimedShot", "nnn", false, "defs.txt(7) error: TimedShot() requires parameter 2 be type 'string'\n"},
      {true, L"TimedShot", "nsnn", true, ""},
      {true, L"MultiPulse", "nnnn", true, "defs.txt(7) warning: MultiPulse() takes 3 template parameters, not 4\n"},
      {true, L"MultiPulseCost", "nnnnn", false,
       "defs.txt(7) error: MultiPulseCost() requires parameter 4 be type 'string'\n"},
      {true, L"MultiPulseCost", "nnnsn", true, ""},
      {true, L"CanStore", "n", false, "defs.txt(7) error: CanStore() requires parameter 1 be type 'string'\n"},
      {true, L"CanTransfer", "", false, "defs.txt(7) error: CanTransfer() requires 1 template parameters\n"},
  };
  FakeEngineLogger errorsOnly(irr::ELL_ERROR);
  setEngineLogger(&errorsOnly);
  LogCapture log;
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(wideToStdString(c.function) + "(" + c.kinds + ")");
    log.take();
    EXPECT_EQ(runChecker(c), c.accepted);
    EXPECT_EQ(log.take(), c.log);
  }
  setEngineLogger(nullptr);
}

// Lookups of every kind, present and absent, leave each registry marked
// sorted and unchanged.
TEST(FunctionRegistries, LookupsLeaveTheRegistriesAsTheyAre) {
  RegistryView before[NRK_COUNT];
  for (uint32_t k = 0; k < NRK_COUNT; ++k)
    before[k] = registryView(static_cast<NativeRegistryKind>(k));
  for (unsigned round = 0; round < 3; ++round)
    EXPECT_EQ(lookUpEveryName(round), 43u);
  for (uint32_t k = 0; k < NRK_COUNT; ++k) {
    const RegistryView after = registryView(static_cast<NativeRegistryKind>(k));
    EXPECT_TRUE(after.sortedFlag) << k;
    EXPECT_EQ(after.names, before[k].names) << k;
  }
  // The probe itself tells a cleared mark.
  NamedVar<FireFunction>::Registry unmarked(fireFunctionRegistry());
  EXPECT_TRUE(carriesSortedMark(unmarked));
  unmarked.push_back(NamedVar<FireFunction>(L"Zz", nullptr));
  EXPECT_FALSE(carriesSortedMark(unmarked));
}

}  // namespace

}  // namespace function_registries_test
