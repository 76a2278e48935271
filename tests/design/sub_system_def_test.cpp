// Sub-system definitions: IDs made from names, the two registries,
// finalising and what a definition frees.
#include <gtest/gtest.h>

#include <string>

#include "core/common_strings.h"
#include "core/formula.h"
#include "core/named_values.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system_def.h"
#include "support/log_capture.h"

namespace sub_system_def_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

class SubSystemDefTest : public testing::Test {
 protected:
  void TearDown() override { clearSubSystemDefs(); }

  // A new definition entered under `name`.
  static SubSystemDef* add(const wchar_t* name) {
    SubSystemDef* def = new SubSystemDef;
    EXPECT_TRUE(registerSubSystemDef(def, name));
    return def;
  }

  // The variable found under `key`, null when absent.
  static const SubSystemDef::ValueInfo* variable(const SubSystemDef& def, const wchar_t* key) {
    const irr::s32 index = findPtrNamedVar(def.variableIndex, stringw(key));
    return index < 0 ? nullptr : def.variableIndex[index].value;
  }
};

// The formula's value with no variables but "Scale" = 2 and "Size" = 3.
float valueOf(const formula* program) {
  NamedValues values;
  values.set(L"Scale", 2.0f);
  values.set(L"Size", 3.0f);
  return evaluateFormula(program, &values);
}

TEST_F(SubSystemDefTest, IdsComeFromTheNameAndStepPastTakenOnes) {
  struct Case {
    const wchar_t* name;
    uint32_t id;
  };
  // Loaded in this order: "Lancer" shares "La", "r", "e" with "Laser".
  for (const Case& c : {Case{L"Ab", 0x00006241u}, Case{L"Laser", 0x6572614Cu}, Case{L"Lancer", 0x6572614Du},
                        Case{L"X", 0x00000058u}, Case{L"\x4E41\x0142", 0x00004241u}}) {
    SubSystemDef* def = add(c.name);
    EXPECT_EQ(def->id, c.id) << stringc(c.name).c_str();
    EXPECT_EQ(lookupSubSystemDefByID(c.id), def);
    EXPECT_EQ(findSubSystemDefEntry(c.id)->second, def);
    const irr::s32 index = findSubSystemDefByName(c.name);
    ASSERT_GE(index, 0);
    EXPECT_EQ(subSystemDefRegistry[index].value, def);
    EXPECT_EQ(def->name, stringw(c.name));
  }
  EXPECT_EQ(lookupSubSystemDefByID(0x6572614Eu), nullptr);
  EXPECT_EQ(findSubSystemDefEntry(0x6572614Eu), subSystemDefsByID.end());
  EXPECT_EQ(findSubSystemDefByName(L"Lance"), -1);
  EXPECT_EQ(subSystemDefRegistry.size(), 5u);
}

TEST_F(SubSystemDefTest, ATakenNameIsRefusedAndAnOverrideKeepsNameAndId) {
  SubSystemDef* laser = add(L"Laser");
  laser->available = new formula(L"0");

  SubSystemDef duplicate;
  EXPECT_FALSE(registerSubSystemDef(&duplicate, L"Laser"));
  EXPECT_EQ(duplicate.id, 0u);

  SubSystemDef* fresh = new SubSystemDef;
  SubSystemDef* old = replaceSubSystemDef(fresh, L"Laser");
  EXPECT_EQ(old, laser);
  delete old;
  EXPECT_EQ(fresh->id, 0x6572614Cu);
  EXPECT_EQ(fresh->name, L"Laser");
  EXPECT_EQ(fresh->available, nullptr);
  EXPECT_EQ(lookupSubSystemDefByID(0x6572614Cu), fresh);
  EXPECT_EQ(subSystemDefRegistry.size(), 1u);
  EXPECT_EQ(subSystemDefsByID.size(), 1u);

  // An override of an unknown name is an ordinary new definition.
  SubSystemDef* other = new SubSystemDef;
  EXPECT_EQ(replaceSubSystemDef(other, L"Ab"), nullptr);
  EXPECT_EQ(lookupSubSystemDefByID(0x6241u), other);
}

TEST_F(SubSystemDefTest, FinalisingAddsTheBuiltInsInOrder) {
  SubSystemDef* def = add(L"Plate");
  def->variables.push_back(new SubSystemDef::ValueInfo(L"Armour", new formula(L"Scale * 5"), 0, false));
  findOrInsertPtrNamedVar(def->variableIndex, stringw(L"Armour")).value = def->variables.back();
  finalizeSubSystemDef(def);

  struct Case {
    const wchar_t* name;
    const wchar_t* shortName;
    uint32_t index;
    float value;  // Scale 2, Size 3
  };
  for (const Case& c : {Case{L"Level", L"{L}", 1, 1.0f}, Case{L"Size", L"{S}", 2, 2.0f},
                        Case{L"Durability", L"{D}", 3, 3.0f}, Case{L"Mass", L"{M}", 4, 3.0f}}) {
    const SubSystemDef::ValueInfo* info = variable(*def, c.name);
    ASSERT_NE(info, nullptr) << stringc(c.name).c_str();
    EXPECT_EQ(variable(*def, c.shortName), info);
    EXPECT_EQ(info->name, stringw(c.name));
    EXPECT_EQ(info->index, c.index);
    EXPECT_TRUE(info->builtIn);
    EXPECT_EQ(valueOf(info->value), c.value);
  }
  ASSERT_EQ(def->variables.size(), 5u);
  EXPECT_FALSE(def->variables.front()->builtIn);
  ASSERT_NE(def->available, nullptr);
  EXPECT_EQ(valueOf(def->available), 1.0f);
  EXPECT_EQ(def->appearance, nullptr);
  EXPECT_TRUE(def->finalized);

  // A second finalising changes nothing.
  finalizeSubSystemDef(def);
  EXPECT_EQ(def->variables.size(), 5u);
  EXPECT_EQ(def->variableIndex.size(), 9u);
}

TEST_F(SubSystemDefTest, ADeclaredBuiltInKeepsItsFormulaAndAGivenAvailabilityStays) {
  SubSystemDef* def = add(L"Hull");
  SubSystemDef::ValueInfo* size = new SubSystemDef::ValueInfo(L"Size", new formula(L"Scale * 10"), 0, false);
  def->variables.push_back(size);
  findOrInsertPtrNamedVar(def->variableIndex, stringw(L"Size")).value = size;
  formula* available = new formula(L"0");
  def->available = available;
  finalizeSubSystemDef(def);

  EXPECT_EQ(variable(*def, L"{S}"), size);
  EXPECT_TRUE(size->builtIn);
  EXPECT_EQ(valueOf(size->value), 20.0f);
  EXPECT_EQ(def->available, available);
  ASSERT_EQ(def->variables.size(), 4u);  // Size, then Level, Durability, Mass
  std::wstring order;
  for (const SubSystemDef::ValueInfo* info : def->variables)
    order += std::wstring(info->name.c_str()) + L" ";
  EXPECT_EQ(order, L"Size Level Durability Mass ");
}

TEST_F(SubSystemDefTest, MissingValuesBecomeOneAndAreLoggedOnce) {
  effect_generic shield;
  shield.valueNames = {L"Amount", L"Rate"};
  shield.hookFlags = 1u << EH_OnActive | 1u << EH_OnGlobalDamage;
  effect_generic repair;
  repair.valueNames = {L"Amount"};
  repair.hookFlags = 1u << EH_Tick;
  effector_def gun(9);
  gun.valueNames.push_back(internCommonString(L"Damage"));
  gun.valueNames.push_back(internCommonString(L"Delay"));

  SubSystemDef* def = add(L"Shield");
  SubSystemDef::Provision* given = new SubSystemDef::Provision(&shield);
  given->values[0] = new formula(L"5");
  def->provisions.push_back(given);
  def->provisions.push_back(new SubSystemDef::Provision(&repair));
  effector_forms* fire = new effector_forms(&gun);
  fire->values[1] = new formula(L"2");
  def->effectors.push_back(fire);
  findOrInsertPtrNamedVar(def->triggerables, stringw(L"Burst")).value = new effector_forms(&gun);

  LogCapture log;
  finalizeSubSystemDef(def);
  EXPECT_EQ(log.take(),
            "Shield missing effector value entry: Damage\n"
            "Shield missing effector value entry: Damage\n"
            "Shield missing effector value entry: Delay\n"
            "Shield missing effect value entry: Rate\n"
            "Shield missing effect value entry: Amount\n");
  EXPECT_EQ(def->effectFlags, 1u << EH_OnActive | 1u << EH_OnGlobalDamage | 1u << EH_Tick);
  EXPECT_EQ(valueOf(given->values[0]), 5.0f);
  EXPECT_EQ(valueOf(given->values[1]), 1.0f);
  EXPECT_EQ(given->values[2], nullptr);  // the effect has two values
  EXPECT_EQ(valueOf(fire->values[0]), 1.0f);
  EXPECT_EQ(valueOf(fire->values[1]), 2.0f);

  finalizeSubSystemDef(def);
  EXPECT_EQ(log.take(), "");
}

TEST_F(SubSystemDefTest, NamedListsAreStoredSortedAndTagsFound) {
  SubSystemDef* def = add(L"Mine");
  findOrInsertPtrNamedVar(def->costs, stringw(L"Zinc")).value = new formula(L"2");
  findOrInsertPtrNamedVar(def->costs, stringw(L"Iron")).value = new formula(L"1");
  // A list filled by appending is put in order when finalising.
  def->hints.push_back(PtrNamedVar<formula*>(internCommonString(L"Work"), new formula(L"3")));
  def->hints.push_back(PtrNamedVar<formula*>(internCommonString(L"Alpha"), new formula(L"4")));
  for (const wchar_t* tag : {L"Structure", L"Port", L"Unique:Port"})
    findOrInsertPtrNamedVar(def->tags, stringw(tag));
  finalizeSubSystemDef(def);

  ASSERT_EQ(def->costs.size(), 2u);
  EXPECT_EQ(*def->costs[0].name, L"Iron");
  EXPECT_EQ(*def->costs[1].name, L"Zinc");
  EXPECT_EQ(findPtrNamedVar(def->costs, stringw(L"Zinc")), 1);
  EXPECT_EQ(findPtrNamedVar(def->hints, stringw(L"Alpha")), 0);
  EXPECT_EQ(findPtrNamedVar(def->hints, stringw(L"Work")), 1);
  EXPECT_EQ(findPtrNamedVar(def->costs, stringw(L"Gold")), -1);
  EXPECT_EQ(findPtrNamedVar(def->requirements, stringw(L"Gold")), -1);  // empty list

  // The same entry comes back for a name already held.
  PtrNamedVar<formula*>& iron = findOrInsertPtrNamedVar(def->costs, stringw(L"Iron"));
  EXPECT_EQ(valueOf(iron.value), 1.0f);
  EXPECT_EQ(def->costs.size(), 2u);

  struct Case {
    const wchar_t* tag;
    bool held;
  };
  for (const Case& c : {Case{L"Structure", true}, Case{L"Unique:Port", true}, Case{L"Port", true},
                        Case{L"Unique", false}, Case{L"structure", false}, Case{L"", false}})
    EXPECT_EQ(def->hasTag(c.tag), c.held) << stringc(c.tag).c_str();
}

TEST_F(SubSystemDefTest, ClearingFreesEverythingAndEmptiesBothRegistries) {
  // Everything a definition owns, so that the sanitizer sees it freed.
  effect_generic effect;
  effect.valueNames = {L"Amount"};
  effector_def gun(3);
  gun.valueNames.push_back(internCommonString(L"Damage"));
  SubSystemDef* def = add(L"Everything");
  def->provisions.push_back(new SubSystemDef::Provision(&effect));
  def->effectors.push_back(new effector_forms(&gun));
  findOrInsertPtrNamedVar(def->triggerables, stringw(L"Fire")).value = new effector_forms(&gun);
  SubSystemDef::AlterHook* hook = new SubSystemDef::AlterHook;
  hook->arguments = {new formula(L"1"), new formula(L"2")};
  def->alterHooks.push_back(hook);
  findOrInsertPtrNamedVar(def->consumption, stringw(L"Power")).value = new formula(L"1");
  findOrInsertPtrNamedVar(def->requirements, stringw(L"Crew")).value = new formula(L"1");
  {
    LogCapture quiet;
    finalizeSubSystemDef(def);
  }
  const uint32_t id = def->id;
  add(L"Second");

  clearSubSystemDefs();
  EXPECT_EQ(subSystemDefRegistry.size(), 0u);
  EXPECT_TRUE(subSystemDefsByID.empty());
  EXPECT_EQ(findSubSystemDefByName(L"Second"), -1);
  // IDs are made afresh: a new session gives the same name the same ID.
  EXPECT_EQ(add(L"Everything")->id, id);
}

}  // namespace

}  // namespace sub_system_def_test
