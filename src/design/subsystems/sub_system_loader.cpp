// Sub-system definition files, "Game Data/Sub Systems/*.txt".
//
// Key lines ("Key: Value") fill the current definition, which a "System" or
// "System-Override" line opens. Lines without a colon (or whose first colon
// begins a "::", as in "module::function") continue what an earlier key
// began, as the continuation mode says:
//
//   mode  set by                           a bare line
//   0     file start, most keys            warning S006
//   1     "Provides" <effect> with         values of the current provision
//   2     "Provides" <effector> with       values of the current effector
//   3     "Triggerable" ... with           values of the current effector
//   4     "Costs" ending in ","            costs
//   5     "Alters" ending in ","           alter hooks
//   6     (nothing)                        ignored
//   7     "Requires"                       requirements
//   8     "Consumes"                       consumption
//   9     "Hints" ending in ","            hints
//   10    "Emits", and refused lines       ignored
//
// A bare line of modes 1-5 and 7-9 keeps the mode when it ends with ",".
// Every problem is logged with the file and line as an S code, and the
// reading goes on with the next line. After the file, every definition not
// yet finalised is finalised.
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/data_file.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "design/base/numbers.h"
#include "design/base/text_markers.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/data_lists.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/research/research_registry.h"
#include "empire/research/web_item_desc.h"
#include "script/function_hook.h"
#include "script/script_engine.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

const wchar_t kTrimmed[] = L" \t\n\r";
const wchar_t kWith[] = L"with";
constexpr irr::u32 kWithLength = 4;
const wchar_t kStagePrefix[] = L"Stage ";
constexpr irr::u32 kStagePrefixLength = 6;
// Longest bare line that S006 shows whole, and how much of a longer one.
constexpr irr::u32 kShownLineLength = 25;
constexpr irr::u32 kShownLinePrefix = 22;

const char kModeParameters[] = "(subSystem@,SubSystemEvalMode";
const char kStringParameters[] = "(subSystem@,const string@";

enum ContinuationMode {
  kModeNone = 0,
  kModeEffectValues = 1,
  kModeEffectorValues = 2,
  kModeTriggerValues = 3,
  kModeCosts = 4,
  kModeAlters = 5,
  kModeUnused = 6,
  kModeRequirements = 7,
  kModeConsumption = 8,
  kModeHints = 9,
  kModeIgnore = 10,
};

struct TickRateName {
  const wchar_t* text;
  uint32_t rate;
};
const TickRateName kTickRates[] = {
    {L"Always", STR_Always}, {L"10", STR_10}, {L"4", STR_4}, {L"2", STR_2}, {L"1", STR_1},
};

// The state of one file's reading.
struct Reader {
  const char* file = "";
  int line = 0;
  SubSystemDef* def = nullptr;
  int mode = kModeNone;
  SubSystemDef::Provision* provision = nullptr;
  effector_forms* effector = nullptr;
  bool tickRateSeen = false;
};

stringw trimmed(stringw text) {
  text.trim(kTrimmed);
  return text;
}

bool endsWithComma(const stringw& text) { return text.size() > 0 && text[text.size() - 1] == L','; }

// The mode a list key or a list line leaves: `open` when the list goes on.
int listMode(const stringw& text, int open) { return endsWithComma(text) ? open : kModeNone; }

// Splits "<name> with <values>" at the first "with"; false when there is none
// (the whole text is then the name).
bool splitAtWith(const stringw& text, stringw& name, stringw& values, irr::s32& at) {
  at = text.find(kWith);
  if (at < 0) {
    name = trimmed(text);
    values = stringw();
    return false;
  }
  name = trimmed(text.subString(0, static_cast<irr::u32>(at)));
  const irr::u32 from = static_cast<irr::u32>(at) + kWithLength;
  values = trimmed(text.subString(from, text.size() - from));
  return true;
}

// A text without one pair of enclosing double or single quotes.
stringw withoutQuotes(const stringw& text) {
  const irr::u32 size = text.size();
  if (size >= 2 && (text[0] == L'"' || text[0] == L'\'') && text[size - 1] == text[0])
    return text.subString(1, size - 2);
  return text;
}

// --- Named formula lists ---

// The "Name[formula]" items of a list line, each handed to `use` with its
// name and formula text; malformed items are skipped.
template <class Use>
void forEachNamedItem(const stringw& text, Use&& use) {
  irr::core::array<stringw> items;
  splitOutsideBrackets(text, L'[', L']', items);
  for (irr::u32 i = 0; i < items.size(); ++i) {
    stringw name;
    stringw formulaText;
    if (splitNamedFormulaItem(items[i], name, formulaText))
      use(name, formulaText);
  }
}

// Adds the items of a list line to `list`; a name already there keeps its
// first formula and is reported with `code` and `what`.
void readNamedList(const stringw& text, PtrNamedVar<formula*>::Registry& list, const char* code, const char* what,
                   const Reader& r) {
  forEachNamedItem(text, [&](const stringw& name, const stringw& formulaText) {
    if (findPtrNamedVar<formula*>(list, name) >= 0) {
      logDataFileError(r.file, r.line, code, "Duplicate %s \"%ls\"\n", what, name.c_str());
      return;
    }
    findOrInsertPtrNamedVar<formula*>(list, name).value = new formula(formulaText);
  });
}

void readCosts(const stringw& text, Reader& r) { readNamedList(text, r.def->costs, "S008", "cost", r); }
void readConsumption(const stringw& text, Reader& r) {
  readNamedList(text, r.def->consumption, "S010", "consumption", r);
}
void readRequirements(const stringw& text, Reader& r) {
  readNamedList(text, r.def->requirements, "S013", "requirement", r);
}
void readHints(const stringw& text, Reader& r) { readNamedList(text, r.def->hints, "S030", "Hint", r); }

// Sets `slot` to a new formula, dropping the one given before.
void setFormula(formula*& slot, const stringw& text) {
  delete slot;
  slot = new formula(text);
}

void readEffectValues(const stringw& text, const Reader& r) {
  SubSystemDef::Provision& provision = *r.provision;
  forEachNamedItem(text, [&](const stringw& name, const stringw& formulaText) {
    const int index = findEffectValueIndex(*provision.effect, name);
    if (index < 0 || index >= 4) {
      logDataFileError(r.file, r.line, "S009", "Invalid effect value name \"%ls\"\n", name.c_str());
      return;
    }
    setFormula(provision.values[index], formulaText);
  });
}

void readEffectorValues(const stringw& text, const Reader& r) {
  effector_forms& forms = *r.effector;
  forEachNamedItem(text, [&](const stringw& name, const stringw& formulaText) {
    for (irr::u32 i = 0; i < forms.def->valueNames.size() && i < forms.values.size(); ++i) {
      if (*forms.def->valueNames[i] == name) {
        setFormula(forms.values[i], formulaText);
        return;
      }
    }
    logDataFileError(r.file, r.line, "S011", "Invalid effector value name \"%ls\"\n", name.c_str());
  });
}

// --- Alters ---

// One "Alters" item: "module::function" and one "[formula]" per argument.
void readAlterItem(const stringw& item, const Reader& r) {
  irr::core::array<stringw> pieces;
  splitString(item, L'[', pieces);
  if (pieces.size() == 0)
    return;
  const stringw& function = pieces[0];
  std::vector<stringw> arguments;
  std::string floats;
  for (irr::u32 i = 1; i < pieces.size(); ++i) {
    stringw argument = pieces[i];
    const irr::s32 close = argument.findLast(L']');
    if (close >= 0)
      argument = trimmed(argument.subString(0, static_cast<irr::u32>(close)));
    arguments.push_back(argument.size() > 0 ? argument : stringw(L"0"));
    floats += ",float";
  }
  const std::string modeList = kModeParameters + floats + ")";
  const std::string stringList = kStringParameters + floats + ")";

  FunctionHook hook;
  hook.set(wideToStdString(function.c_str()).c_str());
  const int modeId = hook.getFunctionId(serverScriptEngine, "void", modeList.c_str());
  const int stringId = hook.getFunctionId(serverScriptEngine, "void", stringList.c_str());
  if (modeId < 0 && stringId < 0) {
    logDataFileError(r.file, r.line, "S201", "Could not locate function 'void %ls%s'\n\t\tor 'void %ls%s'\n",
                     function.c_str(), modeList.c_str(), function.c_str(), stringList.c_str());
    return;
  }
  auto* alter = new SubSystemDef::AlterHook();
  alter->modeFunction = modeId < 0 ? -1 : modeId;
  alter->stringFunction = stringId < 0 ? -1 : stringId;
  for (const stringw& argument : arguments)
    alter->arguments.push_back(new formula(argument));
  r.def->alterHooks.push_back(alter);
}

void readAlters(const stringw& text, const Reader& r) {
  irr::core::array<stringw> items;
  splitOutsideBrackets(text, L'[', L']', items);
  for (irr::u32 i = 0; i < items.size(); ++i)
    readAlterItem(items[i], r);
}

// --- Definitions ---

// Deletes a definition that another takes the place of, first taking its
// ties out of their technologies (which own them).
void deleteReplacedDef(SubSystemDef* old) {
  for (irr::u32 i = 0; i < old->ties.size(); ++i) {
    research::SWebTieDesc* tie = old->ties[i];
    if (tie == nullptr || tie->desc == nullptr)
      continue;
    research::IWebItemDesc* technology = tie->desc;
    // Every tie of `old` in that technology goes at once, this one too.
    for (irr::u32 j = i + 1; j < old->ties.size(); ++j)
      if (old->ties[j] != nullptr && old->ties[j]->desc == technology)
        old->ties[j] = nullptr;
    technology->removeTie(old);
  }
  old->ties.clear();
  delete old;
}

void startDefinition(const stringw& name, bool override, Reader& r) {
  r.def = nullptr;
  r.provision = nullptr;
  r.effector = nullptr;
  r.tickRateSeen = false;

  auto* def = new SubSystemDef();
  if (override) {
    // An override starts empty: only the old definition's name and ID stay.
    if (SubSystemDef* old = replaceSubSystemDef(def, name))
      deleteReplacedDef(old);
  } else if (!registerSubSystemDef(def, name)) {
    delete def;
    logDataFileWarning(r.file, r.line, "S001", "System \"%ls\" already exists\n", name.c_str());
    return;
  }
  r.def = def;
}

// --- Keys ---

void readProvides(const stringw& value, Reader& r) {
  stringw name;
  stringw values;
  irr::s32 at;
  const bool hasWith = splitAtWith(value, name, values, at) && at > 0;

  if (effect_handler* effect = findEffect(name)) {
    auto* provision = new SubSystemDef::Provision(effect);
    r.def->provisions.push_back(provision);
    r.provision = provision;
    r.mode = hasWith ? kModeEffectValues : kModeNone;
    if (values.size() > 0) {
      readEffectValues(values, r);
      r.mode = listMode(values, r.mode);
    }
    return;
  }
  if (const effector_def* definition = findEffector(name)) {
    if (!r.tickRateSeen)
      r.def->tickRate = STR_Always;
    if (definition->isWeapon)
      r.def->hasWeapon = true;
    auto* forms = new effector_forms(definition);
    r.def->effectors.push_back(forms);
    r.effector = forms;
    r.mode = hasWith ? kModeEffectorValues : kModeNone;
    if (values.size() > 0) {
      readEffectorValues(values, r);
      r.mode = listMode(values, r.mode);
    }
    return;
  }
  logDataFileError(r.file, r.line, "S002", "Invalid effect name \"%ls\"\n", name.c_str());
  r.mode = kModeIgnore;
}

void readTriggerable(const stringw& value, Reader& r) {
  const irr::s32 colon = value.findFirst(L':');
  if (colon < 0) {
    logDataFileError(r.file, r.line, "S145", "Invalid Triggerable, lacks name and effector\n");
    r.mode = kModeIgnore;
    return;
  }
  const stringw trigger = trimmed(value.subString(0, static_cast<irr::u32>(colon)));
  const irr::u32 from = static_cast<irr::u32>(colon) + 1;
  const stringw rest = trimmed(value.subString(from, value.size() - from));

  stringw name;
  stringw values;
  irr::s32 at;
  const bool hasWith = splitAtWith(rest, name, values, at);
  const effector_def* definition = findEffector(name);
  if (definition == nullptr) {
    logDataFileError(r.file, r.line, "S002", "Invalid effector name \"%ls\"\n", name.c_str());
    r.mode = kModeIgnore;
    return;
  }
  // A duplicate is refused before anything is made of it: no bare line can
  // reach it afterwards.
  if (findPtrNamedVar<effector_forms*>(r.def->triggerables, trigger) >= 0) {
    logDataFileError(r.file, r.line, "S146", "Duplicate Triggerable \"%ls\"\n", trigger.c_str());
    r.mode = kModeIgnore;
    return;
  }
  auto* forms = new effector_forms(definition);
  findOrInsertPtrNamedVar<effector_forms*>(r.def->triggerables, trigger).value = forms;
  r.effector = forms;
  r.mode = hasWith ? kModeTriggerValues : kModeNone;
  if (values.size() > 0) {
    readEffectorValues(values, r);
    r.mode = listMode(values, r.mode);
  }
}

void readTickRate(const stringw& value, Reader& r) {
  if (r.tickRateSeen) {
    logDataFileWarning(r.file, r.line, "S402", "Multiple TickRate definitions (only first is used)\n");
    return;
  }
  r.tickRateSeen = true;
  for (const TickRateName& rate : kTickRates) {
    if (value == rate.text) {
      r.def->tickRate = rate.rate;
      return;
    }
  }
  logDataFileError(r.file, r.line, "S401", "Invalid tick rate (must be: Always, 10, 4, 2, or 1)\n");
}

void readTiedTo(const stringw& value, Reader& r) {
  irr::core::array<stringw> pieces;
  splitString(value, L',', pieces);
  for (irr::u32 i = 0; i < pieces.size(); ++i) {
    const irr::s32 blank = pieces[i].findFirst(L' ');
    if (blank < 0)
      continue;
    const stringw technology = pieces[i].subString(0, static_cast<irr::u32>(blank));
    const irr::u32 from = static_cast<irr::u32>(blank) + 1;
    const uint32_t level = parseWideInteger(trimmed(pieces[i].subString(from, pieces[i].size() - from)));
    research::IWebItemDesc* desc = research::getWebItemDesc(technology);
    if (desc != nullptr)
      r.def->ties.push_back(desc->addTie(r.def, level));
  }
}

void readTags(const stringw& value, Reader& r) {
  irr::core::array<stringw> tags;
  splitString(value, L',', tags);
  for (irr::u32 i = 0; i < tags.size(); ++i) {
    if (findPtrNamedVar<void*>(r.def->tags, tags[i]) >= 0)
      logDataFileWarning(r.file, r.line, "S014", "Duplicate Tag \"%ls\"\n", tags[i].c_str());
    else
      findOrInsertPtrNamedVar<void*>(r.def->tags, tags[i]);
  }
}

void readEquipsTo(const stringw& key, const stringw& value, Reader& r) {
  r.mode = kModeNone;
  if (value == L"Armor") {
    r.def->equipsTo = kEquipsToArmor;
  } else if (value == L"Hull") {
    r.def->equipsTo = kEquipsToHull;
  } else if (value.equalsn(kStagePrefix, kStagePrefixLength)) {
    r.def->equipsTo = readSignedWholeNumber(value.c_str() + kStagePrefixLength, value.size() - kStagePrefixLength);
  } else {
    logDataFileError(r.file, r.line, "S050", "Invalid destination (%ls) for '%ls'\n", value.c_str(), key.c_str());
    r.mode = kModeIgnore;
  }
}

void readToRun(const stringw& value, Reader& r) {
  if (r.mode == kModeRequirements || r.mode == kModeConsumption) {
    if (value.size() == 0)
      return;
    if (r.mode == kModeRequirements)
      readRequirements(value, r);
    else
      readConsumption(value, r);
    r.mode = listMode(value, r.mode);
    return;
  }
  r.mode = kModeIgnore;
}

void readVariable(const stringw& key, const stringw& value, Reader& r) {
  if (findPtrNamedVar<SubSystemDef::ValueInfo*>(r.def->variableIndex, key) >= 0) {
    logDataFileWarning(r.file, r.line, "S003", "Duplicate value '%ls' for system\n", key.c_str());
    r.mode = kModeIgnore;
    return;
  }
  auto* info = new SubSystemDef::ValueInfo(key, new formula(value), static_cast<uint32_t>(r.def->variables.size()),
                                           false);
  r.def->variables.push_back(info);
  findOrInsertPtrNamedVar<SubSystemDef::ValueInfo*>(r.def->variableIndex, key).value = info;
  r.mode = kModeNone;
}

// A key line of the current definition.
void readKey(const stringw& key, const stringw& value, Reader& r) {
  SubSystemDef& def = *r.def;
  if (key == L"Alters") {
    readAlters(value, r);
    r.mode = listMode(value, kModeAlters);
  } else if (key == L"Available") {
    setFormula(def.available, value);
    r.mode = kModeNone;
  } else if (key == L"Appearance" || key == L"Explosion") {
    // Accepted; the material is chosen when the definition is finalised.
  } else if (key == L"Consumes") {
    r.mode = kModeConsumption;
  } else if (key == L"Costs") {
    readCosts(value, r);
    r.mode = listMode(value, kModeCosts);
  } else if (key == L"Description") {
    stringw text = withoutQuotes(value);
    if (!checkLocalize(text))
      expandTabMarkers(text);
    def.description = text;
    r.mode = kModeNone;
  } else if (key == L"Emits") {
    r.mode = kModeIgnore;
  } else if (key == L"Equips To") {
    readEquipsTo(key, value, r);
  } else if (key == L"Hints") {
    readHints(value, r);
    r.mode = listMode(value, kModeHints);
  } else if (key == L"Name") {
    stringw text = withoutQuotes(value);
    checkLocalize(text);
    def.name = text;
    r.mode = kModeNone;
  } else if (key == L"Provides") {
    readProvides(value, r);
  } else if (key == L"PreDamageOrder") {
    def.preDamageOrder = readSignedWholeNumber(value.c_str(), value.size());
    r.mode = kModeNone;
  } else if (key == L"Requires") {
    r.mode = kModeRequirements;
  } else if (key == L"Tags") {
    readTags(value, r);
  } else if (key == L"To Run") {
    readToRun(value, r);
  } else if (key == L"Triggerable") {
    readTriggerable(value, r);
  } else if (key == L"Tick Rate") {
    readTickRate(value, r);
  } else if (key == L"Tied To") {
    readTiedTo(value, r);
  } else {
    readVariable(key, value, r);
  }
}

// Whether a line is "Key: Value". A line whose first colon begins "::" is a
// continuation that names a script function ("module::function"), as an
// "Alters" list does over several lines: no key holds "::".
bool isKeyLine(const stringw& text) {
  const irr::s32 colon = text.findFirst(L':');
  if (colon < 0)
    return false;
  const irr::u32 next = static_cast<irr::u32>(colon) + 1;
  return next >= text.size() || text[next] != L':';
}

// A line without a key.
void readBareLine(const stringw& text, Reader& r) {
  if (r.def == nullptr) {
    logDataFileWarning(r.file, r.line, "S007", "No new Sub System was properly initialized\n");
    r.mode = kModeIgnore;
    return;
  }
  switch (r.mode) {
    case kModeNone:
      if (text.size() <= kShownLineLength)
        logDataFileWarning(r.file, r.line, "S006", "Invalid line \"%ls\"\n", text.c_str());
      else
        logDataFileWarning(r.file, r.line, "S006", "Invalid line \"%ls...\"\n",
                           text.subString(0, kShownLinePrefix).c_str());
      return;
    case kModeEffectValues:
      if (r.provision == nullptr) {
        logDataFileError(r.file, r.line, "S005", "No active effect\n");
        r.mode = kModeIgnore;
        return;
      }
      readEffectValues(text, r);
      break;
    case kModeEffectorValues:
    case kModeTriggerValues:
      if (r.effector == nullptr) {
        logDataFileError(r.file, r.line, "S012", "No active effector\n");
        r.mode = kModeIgnore;
        return;
      }
      readEffectorValues(text, r);
      break;
    case kModeCosts:
      readCosts(text, r);
      break;
    case kModeAlters:
      readAlters(text, r);
      break;
    case kModeRequirements:
      readRequirements(text, r);
      break;
    case kModeConsumption:
      readConsumption(text, r);
      break;
    case kModeHints:
      readHints(text, r);
      break;
    default:  // kModeUnused, kModeIgnore
      return;
  }
  r.mode = listMode(text, r.mode);
}

}  // namespace

void loadSubSystemDefs(const stringc& path) {
  std::vector<NumberedLine> lines;
  if (!readDefinitionFile(path, lines, "Loading Sub Systems: %s\n"))
    return;

  Reader r;
  r.file = path.c_str();
  for (const NumberedLine& line : lines) {
    r.line = line.line;
    stringw key;
    stringw value;
    if (!isKeyLine(line.text) || !splitKeyValue(line.text, key, value)) {
      readBareLine(line.text, r);
    } else if (key == L"System" || key == L"System-Override") {
      startDefinition(value, key == L"System-Override", r);
    } else if (r.def == nullptr) {
      logDataFileWarning(r.file, r.line, "S004", "No new Sub System was properly initialized\n");
      r.mode = kModeIgnore;
    } else {
      readKey(key, value, r);
    }
  }

  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i)
    finalizeSubSystemDef(subSystemDefRegistry[i].value);
}
