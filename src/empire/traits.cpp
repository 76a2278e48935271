#include "empire/traits.h"

#include <angelscript.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "core/file_access.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/names.h"
#include "core/text_conversions.h"
#include "script/function_hook.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_xml_io.h"

using irr::core::stringc;
using irr::core::stringw;

std::map<stringw, ITrait*> traitRegistry;

namespace {

std::list<TraitCategory*> categories;
// Traits a later one of the same id pushed out of the registry. They stay
// listed in their categories, so they live until clearTraits.
std::vector<ITrait*> replacedTraits;

bool listHolds(const std::list<stringw>& list, const stringw& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

// Calls hook `functionId` with the empire, then `seconds` when given, then
// `args`. The result and any script exception are not looked at.
void runHook(int32_t functionId, empire* emp, const float* seconds, const std::vector<float>& args) {
  if (functionId < 0)
    return;
  bool fromPool = false;
  AngelScript::asIScriptContext* context = getPreparedScriptContext(functionId, fromPool);
  if (context == nullptr)
    return;
  if (context->GetFunction() != nullptr) {
    context->SetArgObject(0, emp);
    AngelScript::asUINT argument = 1;
    if (seconds != nullptr)
      context->SetArgFloat(argument++, *seconds);
    for (float value : args)
      context->SetArgFloat(argument++, value);
    context->Execute();  // an exception is reported by the context's callback
    endScriptCall(context);
  }
  if (fromPool)
    releaseScriptContext(context);
}

bool isElement(const ScriptXmlReader& reader, const wchar_t* name) { return isXmlElement(reader, name); }

stringw attribute(const ScriptXmlReader& reader, const wchar_t* name) {
  return stringw(reader.getAttributeValueSafe(name));
}

stringw localized(const ScriptXmlReader& reader, const wchar_t* name) {
  return stringw(getLocalizedText(attribute(reader, name)));
}

// The attributes "arg0", "arg1" ... up to the first absent one, as floats.
std::vector<float> hookArguments(const ScriptXmlReader& reader) {
  std::vector<float> args;
  for (int index = 0;; ++index) {
    const std::wstring name = L"arg" + std::to_wstring(index);
    const wchar_t* value = reader.getAttributeValue(name.c_str());
    if (value == nullptr)
      break;
    args.push_back(narrowStringToFloat(stringc(value)));
  }
  return args;
}

// "<head>,float...)" with one ",float" per argument.
std::string argumentList(const char* head, size_t floats) {
  std::string list = head;
  for (size_t i = 0; i < floats; ++i)
    list += ",float";
  return list + ")";
}

void readHook(const ScriptXmlReader& reader, ScriptTrait& trait) {
  const stringw type = attribute(reader, L"type");
  const stringc functionText(attribute(reader, L"func"));
  FunctionHook hook;
  hook.set(functionText.c_str());
  std::vector<float> args = hookArguments(reader);

  if (type == L"apply" || type == L"remove" || type == L"tick") {
    const bool tick = type == L"tick";
    const std::string list = argumentList(tick ? "(Empire@,float" : "(Empire@", args.size());
    const int32_t id = hook.getFunctionId(serverScriptEngine, "void", list.c_str());
    if (type == L"apply") {
      trait.applyFunction = id;
      trait.applyArgs = std::move(args);
    } else if (tick) {
      trait.tickFunction = id;
      trait.tickArgs = std::move(args);
    } else {
      trait.removeFunction = id;
      trait.removeArgs = std::move(args);
    }
  } else if (type == L"alter") {
    const std::string modeList = argumentList("(subSystem@,SubSystemEvalMode", args.size());
    const std::string textList = argumentList("(subSystem@,const string@", args.size());
    TraitAlterHook alter;
    alter.evalModeFunction = hook.getFunctionId(serverScriptEngine, "void", modeList.c_str());
    alter.textFunction = hook.getFunctionId(serverScriptEngine, "void", textList.c_str());
    if (alter.evalModeFunction < 0 && alter.textFunction < 0) {
      logError("Error finding function 'void %s%s'\n", functionText.c_str(), modeList.c_str());
      return;
    }
    alter.args = std::move(args);
    trait.alterHooks.push_back(std::move(alter));
  }
}

ScriptTrait* beginTrait(const ScriptXmlReader& reader, TraitCategory* category) {
  auto* trait = new ScriptTrait;
  trait->id = attribute(reader, L"id");
  trait->name = localized(reader, L"name");
  trait->desc = localized(reader, L"desc");
  trait->flavor = localized(reader, L"flavor");
  trait->cost = wideStringToInt(attribute(reader, L"cost"));
  if (category != nullptr) {
    trait->tags.push_back(category->id);
    category->traits.push_back(trait);
  } else {
    trait->tags.push_back(L"non_player");
  }
  ITrait*& slot = traitRegistry[trait->id];
  if (slot != nullptr)
    replacedTraits.push_back(slot);
  slot = trait;
  return trait;
}

}  // namespace

bool ITrait::hasTag(const stringw& tag) const { return listHolds(tags, tag); }

bool ITrait::conflictsWith(const ITrait* other) const { return other != nullptr && conflictsWith(other->id); }

bool ITrait::conflictsWith(const stringw& otherId) const { return listHolds(conflicts, otherId); }

bool ITrait::requires(const ITrait* other) const { return other != nullptr && requires(other->id); }

bool ITrait::requires(const stringw& otherId) const { return listHolds(requirements, otherId); }

void ScriptTrait::apply(empire* emp) { runHook(applyFunction, emp, nullptr, applyArgs); }

void ScriptTrait::remove(empire* emp) { runHook(removeFunction, emp, nullptr, removeArgs); }

void ScriptTrait::tick(empire* emp, float seconds) { runHook(tickFunction, emp, &seconds, tickArgs); }

const std::list<TraitCategory*>& traitCategories() { return categories; }

void loadTraits(ScriptXmlReader& reader) {
  TraitCategory* category = nullptr;
  ScriptTrait* trait = nullptr;
  while (reader.read()) {
    const irr::io::EXML_NODE type = reader.getNodeType();
    if (type == irr::io::EXN_ELEMENT_END) {
      if (isElement(reader, L"category"))
        category = nullptr;
      continue;
    }
    if (type != irr::io::EXN_ELEMENT)
      continue;

    if (isElement(reader, L"category")) {
      category = new TraitCategory;
      category->id = attribute(reader, L"id");
      category->name = localized(reader, L"name");
      category->desc = localized(reader, L"desc");
      categories.push_back(category);
    } else if (isElement(reader, L"trait")) {
      trait = beginTrait(reader, category);
    } else if (isElement(reader, L"tag") || isElement(reader, L"conflict") || isElement(reader, L"require") ||
               isElement(reader, L"hook")) {
      if (trait == nullptr) {
        logWarning("Trait element '%ls' outside a trait ignored\n", reader.getNodeName());
      } else if (isElement(reader, L"tag")) {
        trait->tags.push_back(attribute(reader, L"id"));
      } else if (isElement(reader, L"conflict")) {
        trait->conflicts.push_back(attribute(reader, L"id"));
      } else if (isElement(reader, L"require")) {
        trait->requirements.push_back(attribute(reader, L"id"));
      } else if (serverScriptEngine != nullptr) {
        readHook(reader, *trait);
      }
    }
  }
}

void loadTraitFile(const stringc& path) {
  std::string bytes;
  if (!readWholeFile(path, bytes)) {
    logError("Could not open the trait file \"%s\"\n", path.c_str());
    return;
  }
  ScriptXmlReader reader(bytes);
  loadTraits(reader);
  if (reader.takeMalformed())
    logError("Damaged trait file \"%s\": markup is cut off, the rest was not loaded\n", path.c_str());
}

ITrait* findTrait(const stringw& id) {
  const auto found = traitRegistry.find(id);
  return found != traitRegistry.end() ? found->second : nullptr;
}

void clearTraits() {
  for (auto& entry : traitRegistry)
    delete entry.second;
  traitRegistry.clear();
  for (ITrait* trait : replacedTraits)
    delete trait;
  replacedTraits.clear();
  for (TraitCategory* category : categories)
    delete category;
  categories.clear();
}
