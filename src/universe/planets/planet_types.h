// Planet types and planet conditions: the data of "Game Data/PlanetTypes.xml",
// read once per game session into two registries and the atmosphere list.
//
// A physical type is the look and build rules of a world; a condition is a
// named trait (a description, tags, and script hooks that alter the
// structures built on a planet). Planets point into both registries, so the
// registries outlive every planet of the session.
//
// The file is a sequence of sections, in any order and any number of times:
//
//   <conditions>
//     <cond id="Hot">                 a new condition (a known id: logged as
//                                     "Duplicate planet condition Hot", and
//                                     what follows up to the next <cond> is
//                                     ignored)
//     <tags>hot, dry</tags>           tags, split at ',' and trimmed
//     <desc>#PC_Hot</desc>            description ("#..." is localised)
//     <hook func="module::f" arg0="1" arg1="2"/>
//                                     a hook: f(subSystem@,SubSystemEvalMode,
//                                     float...) or f(subSystem@,const string@,
//                                     float...), one float per argN read in
//                                     order until one is missing
//   </conditions>
//   <physical>
//     <tag name="Rock">               a new type (a known name: logged as
//                                     "Duplicate planet type 'Rock'")
//     <condition_tags>hot, dry</condition_tags>
//                                     the type's tags; the conditions loaded
//                                     so far whose tags all lie among them
//                                     (and the untagged ones) apply to it
//     <atmos visible="false"/>        only the exact text "false" hides it
//     <mat .../>                      accepted, not used
//     <model name="rock"/>            the type's model (graphics)
//     <constructed/>                  an artificial world
//   </physical>
//   <atmosphere>
//     <mat name="..."/>               one atmosphere material
//   </atmosphere>
//
// Conditions are matched to a type only when its <condition_tags> is read:
// the "conditions" section must come before "physical" in the file.
//
// Threads: loading and clearing run on the session's thread while no galaxy
// worker runs. The loader leaves both registries sorted, so lookups during
// play only read.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <set>
#include <vector>

#include "core/names.h"
#include "script/function_hook.h"

// Interned names (common strings): one pointer per distinct text.
using InternedTagSet = std::set<const irr::core::stringw*>;

// One hook of a condition: the script function and its float arguments.
// Either id may be negative; at least one is not.
struct ConditionHook {
  FunctionHook function;
  int modeFunctionId = -1;    // "void f(subSystem@,SubSystemEvalMode,float...)"
  int stringFunctionId = -1;  // "void f(subSystem@,const string@,float...)"
  std::vector<float> args;
};

struct planetCondition {
  InternedTagSet tags;
  std::vector<ConditionHook> hooks;
  irr::core::stringw id;    // the interned name of its registry entry
  irr::core::stringw desc;  // localised when the file's text began with "#"
};

struct ModelRef;

struct PlanetPhysicalType {
  InternedTagSet conditionTags;
  std::vector<planetCondition*> applicableConditions;
  // The type's model in the graphics registry (the error model for a name
  // it lacks); null without a <model>. The registry is filled before the
  // planet types are read.
  const ModelRef* model = nullptr;
  bool atmosphereVisible = true;
  bool constructed = false;
  const irr::core::stringw* name = nullptr;  // interned
};

// Sorted by name (compareNames); both own their records.
using PlanetTypeRegistry = PtrNamedVar<PlanetPhysicalType*>::Registry;
using PlanetConditionRegistry = PtrNamedVar<planetCondition*>::Registry;

PlanetTypeRegistry& planetTypeRegistry();
PlanetConditionRegistry& planetConditionRegistry();
// The atmosphere materials, in file order.
irr::core::array<irr::core::stringw>& planetAtmospheres();

// Reads the file at `path` (read whole, then parsed with ScriptXmlReader).
// A file that cannot be read is logged as an error naming the path, and
// loads nothing.
void loadPlanetTypes(const irr::core::stringc& path);
// Frees every type and condition and empties the registries and the
// atmosphere list.
void clearPlanetTypes();

// Index of the condition named `name` in the condition registry, or -1.
int findPlanetCondition(const irr::core::stringw& name);
// Index of the type named `name` in the type registry, or -1.
int findPlanetType(const irr::core::stringw& name);
// The type of that name, or null.
PlanetPhysicalType* getPlanetType(const irr::core::stringw& name);

// The natives behind "uint getPlanetConditionCount()" and "const
// PlanetCondition@ getPlanetCondition(uint)": the count, and the condition at
// an index of the sorted registry (null out of range).
unsigned getPlanetConditionCount();
const planetCondition* getPlanetCondition(unsigned index);
