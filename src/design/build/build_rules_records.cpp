// The build-list record: each rule's writer, the reader of a whole list, and
// the scripted rule (made from a function name, asked through the server
// engine, and saved by that name).
#include <angelscript.h>

#include <limits>
#include <memory>

#include "core/common_strings.h"
#include "core/log.h"
#include "design/build/build_rules.h"
#include "design/subsystems/sub_system_def.h"
#include "script/function_hook.h"
#include "script/script_engine.h"
#include "universe/objects/object_hook_call.h"
#include "universe/planets/planet.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

// Bytes an item of a random-build rule takes: definition ID and weight.
constexpr uint64_t kBuildRandItemBytes = 8;

void writeDef(SaveStream& stream, const SubSystemDef* def) { stream.writeU32(def != nullptr ? def->id : 0u); }

// A pooled name; a rule without one refers to the empty name.
void writeName(SaveStream& stream, const stringw* name) {
  saveCommonString(stream, name != nullptr ? *name : stringw());
}

// The definition of the ID read next, or null when there is none.
const SubSystemDef* readOptionalDef(SaveStream& stream) { return lookupSubSystemDefByID(stream.readU32()); }

// The definition of the ID read next; none throws {5, "Invalid Sub System id"}.
const SubSystemDef* readRequiredDef(SaveStream& stream) {
  const SubSystemDef* def = readOptionalDef(stream);
  if (def == nullptr)
    throw kSaveErrorInvalidSubSystemId;
  return def;
}

bool readFlag(SaveStream& stream) { return stream.readU8() != 0; }

build_priorities* readBuildRand(SaveStream& stream) {
  const uint32_t count = stream.readU32();
  // The items and the total weight after them must all be there before any
  // room is made for them.
  stream.expectBytes(static_cast<uint64_t>(count) * kBuildRandItemBytes + 4);
  std::unique_ptr<bp_build_rand> rule(new bp_build_rand());
  rule->items.reallocate(count);
  for (uint32_t i = 0; i < count; ++i) {
    const SubSystemDef* def = readOptionalDef(stream);
    rule->addItem(def, stream.readU32());
  }
  // The stored total stands, whatever the items add up to.
  rule->totalWeight = stream.readU32();
  return rule.release();
}

build_priorities* readRemoveRand(SaveStream& stream) {
  const uint16_t count = stream.readU16();
  stream.expectBytes(static_cast<uint64_t>(count) * 4);
  std::unique_ptr<bp_remove_rand> rule(new bp_remove_rand());
  rule->defs.reserve(count);
  for (uint16_t i = 0; i < count; ++i)
    rule->addDef(readOptionalDef(stream));  // an unknown ID is skipped
  return rule.release();
}

build_priorities* readScripted(SaveStream& stream) {
  stringc name;
  stream.readNarrowString(name);
  return new bp_scripted(name);
}

// The rule of `tag`, its fields read from the stream after the tag.
build_priorities* readRule(SaveStream& stream, uint32_t tag) {
  switch (tag) {
    case BRT_WaitForEmptyQueue:
      return new bp_wait_for_empty_queue();
    case BRT_BuildN: {
      const SubSystemDef* def = readRequiredDef(stream);
      return new bp_build_n(def, stream.readU32());
    }
    case BRT_BuildPerN: {
      const SubSystemDef* def = readRequiredDef(stream);
      return new bp_build_per_n(def, stream.readU32());
    }
    case BRT_BuildWhenNeeded: {
      const SubSystemDef* def = readRequiredDef(stream);
      const stringw* resource = readCommonString(stream);
      const float threshold = stream.readFloat();
      const bool ratioMode = readFlag(stream);
      return new bp_build_when_needed(ratioMode, threshold, def, resource);
    }
    case BRT_ReplaceWhenUseless: {
      const SubSystemDef* newDef = readOptionalDef(stream);
      const SubSystemDef* oldDef = readOptionalDef(stream);
      const stringw* resource = readCommonString(stream);
      const float threshold = stream.readFloat();
      const bool whenBelow = readFlag(stream);
      const bool ratioMode = readFlag(stream);
      return new bp_replace_when_useless(newDef, oldDef, resource, threshold, whenBelow, ratioMode);
    }
    case BRT_BuildRand:
      return readBuildRand(stream);
    case BRT_RebuildRand:
      return new bp_rebuild_rand(stream.readFloat());
    case BRT_BuildSpecial: {
      const stringw* tagName = readCommonString(stream);
      const SubSystemDef* def = readRequiredDef(stream);
      return new bp_build_special(def, tagName);
    }
    case BRT_RemoveRand:
      return readRemoveRand(stream);
    case BRT_Scripted:
      return readScripted(stream);
    default:
      throw kSaveErrorInvalidBuildRuleTag;
  }
}

}  // namespace

void bp_wait_for_empty_queue::write(SaveStream& stream) const { stream.writeU32(BRT_WaitForEmptyQueue); }

void bp_build_n::write(SaveStream& stream) const {
  stream.writeU32(BRT_BuildN);
  writeDef(stream, def);
  stream.writeU32(count);
}

void bp_build_per_n::write(SaveStream& stream) const {
  stream.writeU32(BRT_BuildPerN);
  writeDef(stream, def);
  stream.writeU32(per);
}

void bp_build_when_needed::write(SaveStream& stream) const {
  stream.writeU32(BRT_BuildWhenNeeded);
  writeDef(stream, def);
  writeName(stream, resource);
  stream.writeFloat(threshold);
  stream.writeU8(ratioMode ? 1 : 0);
}

void bp_replace_when_useless::write(SaveStream& stream) const {
  stream.writeU32(BRT_ReplaceWhenUseless);
  writeDef(stream, newDef);
  writeDef(stream, oldDef);
  writeName(stream, resource);
  stream.writeFloat(threshold);
  stream.writeU8(whenBelow ? 1 : 0);
  stream.writeU8(ratioMode ? 1 : 0);
}

void bp_build_rand::write(SaveStream& stream) const {
  stream.writeU32(BRT_BuildRand);
  stream.writeU32(items.size());
  for (irr::u32 i = 0; i < items.size(); ++i) {
    writeDef(stream, items[i].def);
    stream.writeU32(items[i].weight);
  }
  stream.writeU32(totalWeight);
}

void bp_rebuild_rand::write(SaveStream& stream) const {
  stream.writeU32(BRT_RebuildRand);
  stream.writeFloat(levelThreshold);
}

void bp_build_special::write(SaveStream& stream) const {
  stream.writeU32(BRT_BuildSpecial);
  writeName(stream, tag);
  writeDef(stream, def);
}

void bp_remove_rand::write(SaveStream& stream) const {
  if (defs.size() > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU32(BRT_RemoveRand);
  stream.writeU16(static_cast<uint16_t>(defs.size()));
  for (const SubSystemDef* def : defs)
    writeDef(stream, def);
}

bp_scripted::bp_scripted(const stringc& name) {
  if (name.size() == 0)
    return;
  FunctionHook hook;
  hook.set(name.c_str());
  const int id = hook.getFunctionId(serverScriptEngine, "bool", "(Planet@)");
  if (id < 0) {
    logError("Unable to find 'bool %s(Planet@)'\n", name.c_str());
    return;
  }
  functionId = id;
}

bool bp_scripted::apply(objHabitation* planet) {
  if (functionId < 0 || planet == nullptr || planet->getOwner() == nullptr)
    return false;
  // The planet goes in as a handle: SetArgObject adds the reference that the
  // script releases when the call returns.
  return runObjectScriptHook(functionId, true, [&](AngelScript::asIScriptContext* context) {
    context->SetArgObject(0, static_cast<generic_object*>(planet));
  });
}

void bp_scripted::write(SaveStream& stream) const {
  stream.writeU32(BRT_Scripted);
  // Saved by name: function ids do not outlive the engine.
  const AngelScript::asIScriptFunction* function = nullptr;
  if (functionId >= 0 && serverScriptEngine != nullptr)
    function = serverScriptEngine->GetFunctionById(functionId);
  stringc name;
  if (function != nullptr && function->GetModuleName() != nullptr && function->GetName() != nullptr) {
    name = function->GetModuleName();
    name += "::";
    // A function in a namespace is looked up again by its qualified name.
    const char* space = function->GetNamespace();
    if (space != nullptr && space[0] != '\0') {
      name += space;
      name += "::";
    }
    name += function->GetName();
  }
  stream.writeNarrowString(name);
}

void build_list::write(SaveStream& stream) const {
  if (rules.size() > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU16(static_cast<uint16_t>(rules.size()));
  for (irr::u32 i = 0; i < rules.size(); ++i)
    rules[i]->write(stream);
}

build_list* build_list::load(SaveStream& stream) { return readBuildList(stream); }

build_list* readBuildList(SaveStream& stream) {
  std::unique_ptr<build_list> list(new build_list());
  const uint16_t count = stream.readU16();
  // Every rule takes at least its tag.
  stream.expectBytes(static_cast<uint64_t>(count) * 4);
  list->rules.reallocate(count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t tag = stream.readU32();
    std::unique_ptr<build_priorities> rule(readRule(stream, tag));
    list->rules.push_back(rule.get());
    rule.release();
  }
  return list.release();
}
