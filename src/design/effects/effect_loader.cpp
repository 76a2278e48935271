// Effect definition files, "Game Data/Effects/*.txt": one "Key: Value" pair
// a line.
//
//   Name: <effect>           starts an effect (an existing name drops it and
//                            everything up to the next new Name)
//   Value: <name>            names the next of at most 4 values
//   <hook>: <function>       binds a hook, <hook> being one of OnActive,
//                            OnDeactive, OnConstruct, OnDestruct, Once, Tick,
//                            OnGlobalDamage, OnDamage
//
// A hook's function is a native effect function ("Name", "internal::Name")
// or a server-script function ("module::function"), optionally followed by
// a bracketed list of arguments: quoted resource names, numbers, and value
// names. A native with arguments comes from the template registry (its
// checker vets the list), one without from the plain registry. A script
// function is declared "void f(Event@" plus ",const TemplateArg &in" per
// argument, or ",float" per value declared above the hook when there is no
// list, then ")".
//
// A faulty line is logged with its file and line, as "E001" to "E013", and
// skipped; a hook that cannot bind stays disabled.
#include <angelscript.h>

#include <string>
#include <vector>

#include "core/data_file.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "design/effects/data_lists.h"
#include "design/effects/effects.h"
#include "script/function_hook.h"
#include "script/script_engine.h"
#include "script/script_string.h"

using irr::core::stringc;
using irr::core::stringw;
using namespace AngelScript;

namespace {

constexpr irr::u32 kMaxEffectValues = 4;
const wchar_t kTrimmed[] = L" \t\n\r";
const wchar_t kNativePrefix[] = L"internal";
constexpr irr::u32 kNativePrefixLength = 8;

// Hook keys by hook kind.
const wchar_t* const kHookKeys[EH_COUNT] = {
    L"OnActive", L"OnDeactive", L"OnConstruct", L"OnDestruct", L"Once", L"Tick", L"OnGlobalDamage", L"OnDamage",
};

int hookKind(const stringw& key) {
  for (int kind = 0; kind < static_cast<int>(EH_COUNT); ++kind)
    if (key == kHookKeys[kind])
      return kind;
  return -1;
}

stringc narrowText(const stringw& text) { return stringc(wideToStdString(text.c_str()).c_str()); }

// Where a hook is being read.
struct HookSource {
  const char* file;
  int line;
};

// One piece of a bracketed list as an argument of `hook`.
void addArgument(const stringw& piece, const effect_handler& effect, effectHook& hook, const HookSource& at) {
  templateArg arg;
  arg.value.raw = 0;
  if (piece[0] == L'"') {
    stringw name = piece.subString(1, piece.size() - 1);
    if (name.size() > 0 && name[name.size() - 1] == L'"')
      name = name.subString(0, name.size() - 1);
    arg.kind = TAK_StateName;
    arg.value.string = new ScriptString(name);
  } else if (isNumberText(piece)) {
    arg.kind = TAK_Number;
    arg.value.number = stringToFloat(piece);
  } else {
    const int index = findEffectValueIndex(effect, piece);
    if (index < 0) {
      logDataFileWarning(at.file, at.line, "E003", "Passed invalid named index \"%ls\"\n", piece.c_str());
      return;
    }
    arg.kind = TAK_ValueName;
    arg.value.index = static_cast<uint32_t>(index);
  }
  hook.args.push_back(arg);
}

void bindNative(stringw text, effectHook& hook, const HookSource& at) {
  const irr::s32 pair = text.find(L"::");
  if (pair >= 0)
    text = text.subString(static_cast<irr::u32>(pair) + 2, text.size());
  text.trim(kTrimmed);
  if (text.size() == 0) {
    logDataFileError(at.file, at.line, "E006", "Invalid function specified\n Function: \"%ls\"\n", text.c_str());
    return;
  }
  if (hook.args.size() > 0) {
    const TemplateFuncEntry* entry = findNativeFunction<const TemplateFuncEntry*>(templateFunctionRegistry(), text);
    // A checker that refuses has said why; the hook is still reported.
    if (entry == nullptr || entry->apply == nullptr ||
        (entry->checker != nullptr && !entry->checker(hook.args, at.file, at.line))) {
      logDataFileError(at.file, at.line, "E004", "Unrecognized internal function specified\n Function: \"%ls\"\n",
                       text.c_str());
      return;
    }
    hook.function.templateApply = entry->apply;
    hook.hasTemplateArgs = true;
  } else {
    const PlainFuncEntry* entry = findNativeFunction<const PlainFuncEntry*>(plainFunctionRegistry(), text);
    if (entry == nullptr || entry->apply == nullptr) {
      logDataFileError(at.file, at.line, "E005",
                       "Unrecognized internal function specified\n Function: \"%ls\"\n  Missing Template?\n",
                       text.c_str());
      return;
    }
    hook.function.plainApply = entry->apply;
    hook.hasTemplateArgs = false;
  }
  hook.isInternal = true;
  hook.enabled = true;
}

// Whether the hook's module has a function of the hook's name, whatever its
// parameters (the library finds no function by a name that is overloaded).
bool moduleHasFunctionNamed(const FunctionHook& function) {
  if (serverScriptEngine == nullptr)
    return false;
  asIScriptModule* module = serverScriptEngine->GetModule(function.module.c_str(), asGM_ONLY_IF_EXISTS);
  if (module == nullptr)
    return false;
  for (asUINT i = 0; i < module->GetFunctionCount(); ++i) {
    const asIScriptFunction* candidate = module->GetFunctionByIndex(i);
    if (candidate != nullptr && candidate->GetName() != nullptr && function.function == candidate->GetName())
      return true;
  }
  return false;
}

void bindScriptFunction(const stringw& text, bool hasList, const effect_handler& effect, effectHook& hook,
                        const HookSource& at) {
  FunctionHook function;
  function.set(narrowText(text).c_str());
  if (!function.valid) {
    logError("%s(%i) E009: Unable to parse Function definition\n Function: \"%ls\"\n", at.file, at.line,
             text.c_str());
    return;
  }
  std::string parameters = "(Event@";
  const size_t count = hasList ? hook.args.size() : effect.valueNames.size();
  for (size_t i = 0; i < count; ++i)
    parameters += hasList ? ",const TemplateArg &in" : ",float";
  parameters += ")";

  const int id = function.getFunctionId(serverScriptEngine, "void", parameters.c_str());
  if (id >= 0) {
    hook.function.scriptFunction = id;
    hook.isInternal = false;
    hook.hasTemplateArgs = hasList;
    hook.enabled = true;
  } else if (moduleHasFunctionNamed(function)) {
    logDataFileError(at.file, at.line, "E007", "No function with matching parameter list %s\n Function: \"%ls\"\n",
                     parameters.c_str(), text.c_str());
  } else {
    logDataFileError(at.file, at.line, "E008", "Specified script function doesn't exist\n Function: \"void %s%s\"\n",
                     function.function.c_str(), parameters.c_str());
  }
}

// Reads a hook's text into `hook`. A hook given twice is read afresh: the
// later line replaces the earlier one whole, arguments included.
void parseHook(stringw text, const effect_handler& effect, effectHook& hook, const HookSource& at) {
  releaseTemplateArgs(hook.args);
  hook.function.templateApply = nullptr;
  hook.isInternal = false;
  hook.hasTemplateArgs = false;
  hook.enabled = false;

  const irr::s32 open = text.findFirst(L'(');
  const irr::s32 close = text.findLast(L')');
  bool hasList = false;
  if (open >= 0 && close > open) {
    hasList = true;
    irr::core::array<stringw> pieces;
    splitString(text.subString(static_cast<irr::u32>(open) + 1, static_cast<irr::u32>(close - open - 1)), L',',
                pieces);
    text = text.subString(0, static_cast<irr::u32>(open)) +
           text.subString(static_cast<irr::u32>(close) + 1, text.size());
    for (irr::u32 i = 0; i < pieces.size(); ++i)
      addArgument(pieces[i], effect, hook, at);
  } else if (close >= 0) {
    logDataFileError(at.file, at.line, "E013", "Function contains invalid parenthesis\n");
    text = L"";
  }
  text.trim(kTrimmed);

  const bool native = text.find(L"::") < 0 || text.equalsn(kNativePrefix, kNativePrefixLength);
  if (native)
    bindNative(text, hook, at);
  else
    bindScriptFunction(text, hasList, effect, hook, at);
}

void addValue(const stringw& name, effect_handler& effect, const HookSource& at) {
  if (effect.valueNames.size() >= kMaxEffectValues) {
    logDataFileError(at.file, at.line, "E002", "Effects may only have a max of %i values\n Value \"%ls\" ignored\n",
                     static_cast<int>(kMaxEffectValues), name.c_str());
  } else if (findEffectValueIndex(effect, name) >= 0) {
    logDataFileError(at.file, at.line, "E001",
                     "Value names must be unique within effects\n Duplicate Value \"%ls\" ignored\n", name.c_str());
  } else {
    effect.valueNames.push_back(name);
  }
}

// The effect that "Name: <name>" starts, or null when the name is taken.
effect_generic* startEffect(const stringw& name) {
  NamedVar<effect_handler*>::Registry& registry = effectRegistry();
  if (NamedVar<effect_handler*>::find(registry, name) >= 0)
    return nullptr;
  auto* effect = new effect_generic();
  NamedVar<effect_handler*>::getOrAdd(registry, name).value = effect;
  return effect;
}

}  // namespace

void loadEffects(const stringc& path) {
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    logError("Failed to load effect file: Bad File \"%s\"\n", path.c_str());
    return;
  }
  logInfo("Loading effects: %s\n", path.c_str());

  effect_generic* effect = nullptr;
  for (const NumberedLine& line : lines) {
    const HookSource at{path.c_str(), line.line};
    stringw key;
    stringw value;
    if (!splitKeyValue(line.text, key, value)) {
      logDataFileWarning(at.file, at.line, "E012", "Line wasn't a Key:Value pair\n");
      continue;
    }
    if (key == L"Name") {
      effect = startEffect(value);
      continue;
    }
    if (effect == nullptr) {
      logDataFileError(at.file, at.line, "E011", "No effect declared, Key \"%ls\" ignored\n", key.c_str());
      continue;
    }
    if (key == L"Value") {
      addValue(value, *effect, at);
      continue;
    }
    const int kind = hookKind(key);
    if (kind < 0) {
      logDataFileWarning(at.file, at.line, "E010", "Unrecognized Key \"%ls\"\n", key.c_str());
      continue;
    }
    // The hook counts as defined even when it fails to bind.
    effect->hookFlags = static_cast<uint16_t>(effect->hookFlags | (1u << kind));
    parseHook(value, *effect, effect->hooks[kind], at);
  }
}
