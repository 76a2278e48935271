// Effector definition files, "Game Data/Effectors/*.txt": one "Key: Value"
// pair a line, blocks starting at "Effector".
//
//   Effector: <name>                 starts a definition (refused when an
//                                    effect or an effector has the name)
//   Causes: <effect> [lasting <formula>] [with <Value>[<formula>], ...]
//                                    a caused effect; a with-list that ends
//                                    with ',' goes on over the next lines
//                                    that have no ':'
//   Value: <name>                    names the next effector value
//   IsWeapon: true|false             (any letter case)
//   PhysicalType: Instant|Beam|Bullet|Missile|AreaOfEffect
//   Range: <formula>, ProjectileSpeed: <formula>     once each
//   CanAttack: <ref>, <ref> ...      target filters (replace the list)
//   AutoAttack: <ref>, <ref> ...     target weights (replace the list)
//   OnFire: <ref>, Tick: <ref>       activation and tick functions
//   HitGfx, FireGfx, GfxColor, GfxSize, Sound, Material   accepted, unused
//
// A reference is a native ("Name", "::Name", "internal::Name"), with
// template arguments for the natives that take them ("Timed(1.5, i0)"), or
// a server-script function "module::function".
//
// Each fault is logged with the file and line ("Er001" to "Er014", "Er207")
// and the line is skipped; the reading never stops early. A refused block
// ("Er001", or an unknown effect in "Causes") quietens the "ignoring" and
// unknown-key messages until the next "Value", "PhysicalType", "Range",
// "ProjectileSpeed", "Causes" or new definition.
#include <angelscript.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/data_file.h"
#include "core/formula.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "design/base/numbers.h"
#include "design/effectors/effector_def.h"
#include "design/effects/data_lists.h"
#include "design/effects/effects.h"
#include "script/script_engine.h"

using irr::core::stringc;
using irr::core::stringw;
using namespace AngelScript;

namespace {

const wchar_t kTrimmed[] = L" \t\n\r";
const wchar_t kNativePrefix[] = L"internal::";
constexpr irr::u32 kNativePrefixLength = 10;
const wchar_t kLasting[] = L"lasting";
constexpr irr::u32 kLastingLength = 7;
const wchar_t kWith[] = L"with";
constexpr irr::u32 kWithLength = 4;
// The highest index a "value index" argument may name (val1, val2).
constexpr uint32_t kMaxStateValueIndex = 1;

const char kTargetParameters[] = "(const Object@, const Object@, const Effector@)";
const char kFireParameters[] = "(Event@, const Effector@, EffectorState@)";

// The list state of the reader.
enum ListState {
  kListNone = 0,       // normal
  kListOpen = 1,       // the last "Causes" with-list goes on on the next line
  kBlockRejected = 2,  // the current block was refused: fewer messages
};

// What a function reference is for: its registries, its script declaration
// and its error.
enum ReferenceKind {
  kTargetReference,  // a "CanAttack" or "AutoAttack" element
  kFireReference,    // "OnFire"
  kTickReference,    // "Tick"
};

struct PhysicalTypeName {
  const wchar_t* name;
  uint32_t type;
};
const PhysicalTypeName kPhysicalTypes[] = {
    {L"Instant", EPT_Instant}, {L"Beam", EPT_Beam},   {L"Bullet", EPT_Bullet},
    {L"Missile", EPT_Missile}, {L"AreaOfEffect", EPT_AreaOfEffect},
};

const wchar_t* const kGraphicsKeys[] = {L"HitGfx", L"FireGfx", L"GfxColor", L"GfxSize", L"Sound", L"Material"};

// The state of one file's reading.
struct Reader {
  const char* file = "";
  int line = 0;
  effector_def* def = nullptr;
  effector_def::effector_effect* caused = nullptr;
  int state = kListNone;
};

stringw trimmed(stringw text) {
  text.trim(kTrimmed);
  return text;
}

stringw textBefore(const stringw& text, irr::s32 at) { return trimmed(text.subString(0, static_cast<irr::u32>(at))); }

stringw textAfter(const stringw& text, irr::s32 at, irr::u32 skip) {
  const irr::u32 from = static_cast<irr::u32>(at) + skip;
  return trimmed(text.subString(from, text.size() - from));
}

bool endsWithComma(const stringw& text) { return text.size() > 0 && text[text.size() - 1] == L','; }

std::string narrowText(const stringw& text) { return wideToStdString(text.c_str()); }

// The index notes below go to standard output only, at the warning level,
// which is how they have always been seen by those who write the files.
void printIndexNote(const char* note) {
  if (engineLogger() == nullptr || currentLogLevel() <= kLogLevelWarnings)
    std::fputs(note, stdout);
}

// Position of `name` among the definition's values, or -1.
int effectorValueIndex(const effector_def& def, const stringw& name) {
  for (irr::u32 i = 0; i < def.valueNames.size(); ++i)
    if (*def.valueNames[i] == name)
      return static_cast<int>(i);
  return -1;
}

// --- Caused effects ---

// Compiles the elements of a with-list into the value slots of the current
// caused effect.
void readWithList(const stringw& text, const Reader& r) {
  irr::core::array<stringw> elements;
  splitOutsideBrackets(text, L'[', L']', elements);
  for (irr::u32 i = 0; i < elements.size(); ++i) {
    stringw name;
    stringw formulaText;
    if (!splitNamedFormulaItem(elements[i], name, formulaText))
      continue;
    const int slot = findEffectValueIndex(*r.caused->effect, name);
    if (slot < 0) {
      logDataFileError(r.file, r.line, "Er007", "Invalid value name \"%ls\"\n", name.c_str());
      continue;
    }
    // A value given twice keeps the later formula.
    delete r.caused->values[slot];
    r.caused->values[slot] = new formula(formulaText);
  }
}

void readCauses(const stringw& value, Reader& r) {
  stringw name;
  stringw rest = value;
  stringw withList;
  const irr::s32 lasting = rest.find(kLasting);
  if (lasting >= 0) {
    name = textBefore(rest, lasting);
    rest = textAfter(rest, lasting, kLastingLength);
  }
  const irr::s32 with = rest.find(kWith);
  if (with >= 0) {
    withList = textAfter(rest, with, kWithLength);
    if (name.size() == 0)
      name = textBefore(rest, with);
    rest = textBefore(rest, with);
  }
  // Neither word: the whole value names the effect, which lasts "0".
  if (lasting < 0 && with < 0)
    name = trimmed(value);

  effect_handler* effect = findEffect(name);
  if (effect == nullptr) {
    logDataFileError(r.file, r.line, "Er006", "Effect \"%ls\" does not exist\n", name.c_str());
    r.state = kBlockRejected;
    return;
  }
  auto* caused = new effector_def::effector_effect();
  caused->effect = effect;
  caused->duration = new formula(lasting >= 0 && rest.size() > 0 ? rest : stringw(L"0"));
  r.def->effects.push_back(caused);
  r.caused = caused;
  r.state = with > 0 ? kListOpen : kListNone;
  if (withList.size() > 0) {
    readWithList(withList, r);
    if (!endsWithComma(withList))
      r.state = kListNone;
  }
}

// A line without ':'.
void readPlainLine(const stringw& text, Reader& r) {
  if (r.def == nullptr) {
    logDataFileError(r.file, r.line, "Er002", "No Effector Prepared. Ignoring line \"%ls\"\n", text.c_str());
    return;
  }
  if (r.state != kListOpen)
    return;
  if (r.caused == nullptr) {
    logDataFileError(r.file, r.line, "Er008", "No effect to add formulas to\n");
    r.state = kBlockRejected;
    return;
  }
  readWithList(text, r);
  if (!endsWithComma(text))
    r.state = kListNone;
}

// --- Function references ---

// One template argument; a bad index adds none.
void addArgument(const stringw& piece, const effector_def& def, EffectorArgList& args) {
  int_templateArg arg;
  if (piece[0] == L'"') {
    stringw text = piece.subString(1, piece.size() - 1);
    if (text.size() > 0 && text[text.size() - 1] == L'"')
      text = text.subString(0, text.size() - 1);
    arg.kind = EAK_String;
    arg.value.string = internCommonString(text);
  } else if (!piece.empty() && piece[0] == L'i' && findNonNumberFrom1(piece) < 0) {
    const uint32_t index = parseWideInteger(piece.subString(1, piece.size() - 1));
    if (index > kMaxStateValueIndex) {
      printIndexNote("bad index\n");
      return;
    }
    arg.kind = EAK_ValueIndex;
    arg.value.index = index;
  } else if (isNumberText(piece)) {
    arg.kind = EAK_StaticValue;
    arg.value.number = stringToFloat(piece);
  } else {
    // Names beginning with 'i' ("interval") come here too.
    const int index = effectorValueIndex(def, piece);
    if (index < 0) {
      printIndexNote("Bad Index\n");
      return;
    }
    arg.kind = EAK_StateIndex;
    arg.value.index = static_cast<uint32_t>(index);
  }
  args.push_back(arg);
}

// Binds a server-script function; false (logged) when the module or the
// function with the declaration of `kind` is missing.
bool bindScriptFunction(const stringw& text, irr::s32 separator, ReferenceKind kind, TargetWeigher& out,
                        const Reader& r) {
  const std::string module = narrowText(textBefore(text, separator));
  const std::string function = narrowText(textAfter(text, separator, 2));
  const std::string declaration = kind == kTargetReference ? "float " + function + kTargetParameters
                                                           : "void " + function + kFireParameters;
  asIScriptFunction* found = nullptr;
  if (serverScriptEngine != nullptr) {
    asIScriptModule* scripts = serverScriptEngine->GetModule(module.c_str(), asGM_ONLY_IF_EXISTS);
    if (scripts != nullptr)
      found = scripts->GetFunctionByDecl(declaration.c_str());
  }
  if (found == nullptr) {
    logError("Effect Definition Error:\n No Function \"%s::%s\" found\n", module.c_str(), function.c_str());
    if (kind == kTargetReference)
      logError("  In '%ls': %s(%i)\n", text.c_str(), r.file, r.line);
    else
      logError("  In: %s(%i)\n", r.file, r.line);
    return false;
  }
  out = TargetWeigher();
  out.function.script = found;
  out.kind = EFK_Script;
  return true;
}

// Resolves a native of `kind` by `name` with `args` into `out`; false when
// it is unknown or its checker refuses the arguments.
bool bindNative(const stringw& name, EffectorArgList& args, ReferenceKind kind, TargetWeigher& out,
                const Reader& r) {
  TargetWeigher bound;
  if (kind == kTickReference) {
    bound.function.fire = findNativeFunction<FireFunction>(tickFunctionRegistry(), name);
    bound.kind = bound.function.fire != nullptr ? EFK_Native : EFK_None;
  } else if (args.size() == 0) {
    bool found;
    if (kind == kTargetReference) {
      bound.function.target = findNativeFunction<TargetFunction>(targetFunctionRegistry(), name);
      found = bound.function.target != nullptr;
    } else {
      bound.function.fire = findNativeFunction<FireFunction>(fireFunctionRegistry(), name);
      found = bound.function.fire != nullptr;
    }
    bound.kind = found ? EFK_Native : EFK_None;
  } else if (kind == kTargetReference) {
    const TargetFunctionWithArgsEntry* entry =
        findNativeFunction<const TargetFunctionWithArgsEntry*>(targetFunctionWithArgsRegistry(), name);
    if (entry != nullptr && entry->function != nullptr &&
        (entry->checker == nullptr || entry->checker(args, r.file, r.line))) {
      bound.function.targetWithArgs = entry->function;
      bound.kind = EFK_NativeWithArgs;
    }
  } else {
    const FireFunctionWithArgsEntry* entry =
        findNativeFunction<const FireFunctionWithArgsEntry*>(fireFunctionWithArgsRegistry(), name);
    if (entry != nullptr && entry->function != nullptr &&
        (entry->checker == nullptr || entry->checker(args, r.file, r.line))) {
      bound.function.fireWithArgs = entry->function;
      bound.kind = EFK_NativeWithArgs;
    }
  }
  if (bound.kind == EFK_None) {
    if (kind == kTargetReference)
      logDataFileError(r.file, r.line, "Er004", "Unrecognized internal Target Weight function \"%ls\"\n",
                       name.c_str());
    else if (kind == kFireReference)
      logDataFileError(r.file, r.line, "Er005", "Unrecognized internal OnFire function \"%ls\"\n", name.c_str());
    else
      logDataFileError(r.file, r.line, "Er012", "Unrecognized internal Tick function \"%ls\"\n", name.c_str());
    return false;
  }
  if (bound.kind == EFK_NativeWithArgs)
    bound.args = args;
  out = bound;
  return true;
}

// Reads one function reference into `out`, which stays as it was when the
// reference cannot be bound.
bool readReference(const stringw& reference, ReferenceKind kind, const effector_def& def, TargetWeigher& out,
                   const Reader& r) {
  stringw text = trimmed(reference);
  const irr::s32 separator = text.find(L"::");
  if (separator > 0 && !text.equalsn(kNativePrefix, kNativePrefixLength))
    return bindScriptFunction(text, separator, kind, out, r);
  if (separator == 0)
    text = textAfter(text, 0, 2);
  else if (separator > 0)
    text = textAfter(text, 0, kNativePrefixLength);

  EffectorArgList args;
  if (kind != kTickReference) {
    const irr::s32 open = text.findFirst(L'(');
    const irr::s32 close = text.findLast(L')');
    if (open >= 0 && close > open) {
      irr::core::array<stringw> pieces;
      splitString(text.subString(static_cast<irr::u32>(open) + 1, static_cast<irr::u32>(close - open - 1)), L',',
                  pieces);
      text = trimmed(text.subString(0, static_cast<irr::u32>(open)) +
                     text.subString(static_cast<irr::u32>(close) + 1, text.size()));
      args.reallocate(pieces.size());
      for (irr::u32 i = 0; i < pieces.size(); ++i)
        addArgument(pieces[i], def, args);
    }
  }
  return bindNative(text, args, kind, out, r);
}

// A "CanAttack" or "AutoAttack" list: one entry per element, unbound where
// the element could not be bound.
void readFunctionList(const stringw& value, irr::core::array<TargetWeigher>& list, const Reader& r) {
  irr::core::array<stringw> elements;
  splitOutsideBrackets(value, L'(', L')', elements);
  list.clear();
  list.reallocate(elements.size());
  for (irr::u32 i = 0; i < elements.size(); ++i) {
    TargetWeigher entry;
    readReference(elements[i], kTargetReference, *r.def, entry, r);
    list.push_back(entry);
  }
}

// --- Keys ---

void startEffector(const stringw& name, Reader& r) {
  if (findEffectIndex(name) >= 0) {
    logDataFileError(r.file, r.line, "Er010", "Effectors may not share names with effects. (%ls)\n", name.c_str());
    return;
  }
  if (findEffector(name) != nullptr) {
    logDataFileError(r.file, r.line, "Er001", "Duplicate Effector \"%ls\"\n", name.c_str());
    r.state = kBlockRejected;
    return;
  }
  r.def = addEffectorDef(name);
  r.caused = nullptr;
  r.state = kListNone;
}

// A formula key that may be given once.
void readOnceFormula(const char* key, const stringw& value, formula*& slot, const Reader& r) {
  if (slot != nullptr) {
    logDataFileError(r.file, r.line, "Er013", "%s specified more than once\n", key);
    return;
  }
  slot = new formula(value);
}

bool isGraphicsKey(const stringw& key) {
  for (const wchar_t* graphics : kGraphicsKeys)
    if (key == graphics)
      return true;
  return false;
}

// A keyed line of the current definition.
void readKey(const stringw& key, const stringw& value, const stringw& line, Reader& r) {
  effector_def& def = *r.def;
  if (key == L"Causes") {
    readCauses(value, r);
  } else if (key == L"Value") {
    if (!addEffectorValueName(def, value))
      logDataFileError(r.file, r.line, "Er008", "Duplicate value name \"%ls\"\n", value.c_str());
    r.state = kListNone;
  } else if (isGraphicsKey(key)) {
    // The clients draw with their own settings for now.
  } else if (key == L"IsWeapon") {
    if (value.equals_ignore_case(L"true"))
      def.isWeapon = true;
    else if (value.equals_ignore_case(L"false"))
      def.isWeapon = false;
    else
      logDataFileError(r.file, r.line, "Er207", "IsWeapon must be 'true' or 'false'\n");
  } else if (key == L"PhysicalType") {
    bool known = false;
    for (const PhysicalTypeName& type : kPhysicalTypes) {
      if (value == type.name) {
        def.physicalType = type.type;
        known = true;
      }
    }
    if (!known)
      logDataFileError(r.file, r.line, "Er014", "Invalid physical type \"%ls\"\n", value.c_str());
    r.state = kListNone;
  } else if (key == L"Range") {
    readOnceFormula("Range", value, def.range, r);
    r.state = kListNone;
  } else if (key == L"ProjectileSpeed") {
    readOnceFormula("ProjectileSpeed", value, def.projectileSpeed, r);
    r.state = kListNone;
  } else if (key == L"CanAttack") {
    readFunctionList(value, def.canAttack, r);
  } else if (key == L"AutoAttack") {
    readFunctionList(value, def.autoAttack, r);
  } else if (key == L"OnFire") {
    readReference(value, kFireReference, def, def.onFire, r);
  } else if (key == L"Tick") {
    readReference(value, kTickReference, def, def.tick, r);
  } else if (r.state != kBlockRejected) {
    logDataFileError(r.file, r.line, "Er003", "Unrecognized key on line \"%ls\"\n", line.c_str());
  }
}

}  // namespace

bool addEffectorValueName(effector_def& def, const stringw& name) {
  if (effectorValueIndex(def, name) >= 0)
    return false;
  def.valueNames.push_back(internCommonString(name));
  return true;
}

void loadEffectors(const stringc& path) {
  std::vector<NumberedLine> lines;
  if (!readDefinitionFile(path, lines, "Loading Effectors: %s\n"))
    return;

  Reader r;
  r.file = path.c_str();
  for (const NumberedLine& line : lines) {
    r.line = line.line;
    stringw key;
    stringw value;
    if (!splitKeyValue(line.text, key, value)) {
      readPlainLine(line.text, r);
      continue;
    }
    if (r.state == kListOpen)
      logDataFileWarning(r.file, r.line, "Er009", "An effect value list was not ended (likely a trailing ',')\n");
    if (key == L"Effector") {
      startEffector(value, r);
    } else if (r.def == nullptr) {
      if (r.state != kBlockRejected)
        logDataFileError(r.file, r.line, "Er002", "No Effector Prepared. Ignoring key \"%ls\"\n", key.c_str());
    } else {
      readKey(key, value, line.text, r);
    }
  }
}
