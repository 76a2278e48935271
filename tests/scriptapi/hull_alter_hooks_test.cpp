// Alter hooks while a hull layout is made: every placed sub-system gets the
// owner's hooks, then its traits' hooks, and a linked target also the hooks
// of the sub-system linked to it, which no other sub-system gets.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "scriptapi/script_session.h"

namespace hull_alter_hooks_test {

using namespace AngelScript;
using irr::core::stringc;

namespace {

// Records each call's argument and adds it to the "Seen" cost.
constexpr char kHooks[] = R"(
string order;
void tag(subSystem@ s, SubSystemEvalMode m, float v) {
  if (m != SSVM_Costs)
    return;
  order += int(v);
  order += ",";
  if (s.hasCost("Seen"))
    s.setCost("Seen", s.getCost("Seen") + v);
}
)";

const char* const kDefinitions =
    "System: Frame\nTags: Hull\nSize: 100\nCosts: Seen[0]\n\n"
    "System: Linker\nSize: 1\nCosts: Seen[0]\nAlters: hooks::tag[1000]\n\n"
    "System: Plain\nSize: 1\nCosts: Seen[0]\n";

class HullAlterHooksTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({});
    module_ = build(serverScriptEngine, "hooks", kHooks);
    ASSERT_NE(module_, nullptr);
    red_ = registerEmpire(new empire);
    ASSERT_NE(subsystemtest::loadDefinition(root_, kDefinitions, L"Frame"), nullptr);
  }
  void TearDown() override {
    red_->traits.clear();
    clearSubSystemDefs();
    ScriptSessionTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }
  static float seen(const subSystem* instance) {
    const irr::s32 index = findPtrNamedVar(instance->def->costs, L"Seen");
    return index < 0 ? -1.0f : instance->costs[index];
  }
  std::string order() const {
    auto* text = static_cast<ScriptString*>(module_->GetAddressOfGlobalVar(module_->GetGlobalVarIndexByName("order")));
    return stringc(text->toStringw()).c_str();
  }

  asIScriptModule* module_ = nullptr;
  empire* red_ = nullptr;
};

TEST_F(HullAlterHooksTest, ALinkedTargetAloneSeesItsLinkersHooksAfterTheOwnersAndTraits) {
  const int tag = module_->GetFunctionByDecl("void tag(subSystem@, SubSystemEvalMode, float)")->GetId();
  red_->alterHooks.push_back(SubSystemAlterHook{tag, -1, {1}});
  ITrait traitB, traitA;
  traitB.alterHooks.push_back(TraitAlterHook{tag, -1, {100}});
  traitA.alterHooks.push_back(TraitAlterHook{tag, -1, {10}});
  red_->traits[L"b"] = &traitB;
  red_->traits[L"a"] = &traitA;

  // Entries: the target, the frame, the linker (linked to entry 0), and one
  // more plain part after the target.
  layout_desc desc;
  const std::pair<const wchar_t*, int32_t> entries[] = {{L"Plain", -1}, {L"Frame", -1}, {L"Linker", 0}, {L"Plain", -1}};
  for (const auto& [name, link] : entries) {
    layout_desc::system entry;
    entry.def = def(name);
    entry.link = link;
    desc.systems.push_back(entry);
  }
  hull_list* layout = new hull_list(desc, red_, false);

  // The linker is made first; its own hook does not run on itself.
  EXPECT_EQ(order(), "1,10,100,1,10,100,1000,1,10,100,1,10,100,");
  const float expected[] = {1111, 111, 111, 111};
  for (uint32_t i = 0; i < 4; ++i)
    EXPECT_EQ(seen(layout->systems[i].system), expected[i]) << i;
  layout->drop();
}

}  // namespace

}  // namespace hull_alter_hooks_test
