#include "universe/planets/planet_types.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "core/common_strings.h"
#include "core/file_access.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "gfx/gfx_resources.h"
#include "script/script_engine.h"
#include "script/script_xml_io.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

using TypeEntry = PtrNamedVar<PlanetPhysicalType*>;
using ConditionEntry = PtrNamedVar<planetCondition*>;

// The two declarations of a condition hook: "void <function>" followed by
// one of these, ",float" per argument and ")".
constexpr char kHookReturnType[] = "void";
constexpr char kModeArguments[] = "(subSystem@,SubSystemEvalMode";
constexpr char kStringArguments[] = "(subSystem@,const string@";
constexpr char kFloatArgument[] = ",float";

// The part of the file being read.
enum class Section { None, Conditions, Physical, Atmosphere };

// What the text node right after an element is taken for.
enum class PendingText { None, ConditionTags, ConditionDesc, TypeTags };

// Interns each piece of the comma-separated `text` into `tags`.
void addTags(const stringw& text, InternedTagSet& tags) {
  irr::core::array<stringw> pieces;
  splitString(text, L',', pieces);
  for (irr::u32 i = 0; i < pieces.size(); ++i)
    tags.insert(internCommonString(pieces[i]));
}

class PlanetTypeLoader {
 public:
  explicit PlanetTypeLoader(ScriptXmlReader& reader) : reader_(reader) {}

  void run() {
    while (reader_.read()) {
      const PendingText pending = pending_;
      pending_ = PendingText::None;
      const irr::io::EXML_NODE node = reader_.getNodeType();
      const bool isText = node == irr::io::EXN_TEXT || node == irr::io::EXN_CDATA;
      if (pending != PendingText::None) {
        if (isText)
          takeText(pending, reader_.getNodeData());
        // The type's tags are complete (or there were none): match now.
        if (pending == PendingText::TypeTags)
          matchConditions();
        if (isText)
          continue;
      }
      if (node == irr::io::EXN_ELEMENT)
        element();
      else if (node == irr::io::EXN_ELEMENT_END)
        elementEnd();
    }
    // <condition_tags> as the very last node still applies its conditions.
    if (pending_ == PendingText::TypeTags)
      matchConditions();
  }

 private:
  void element() {
    if (section_ == Section::None) {
      // An empty section element holds nothing and has no end node.
      if (reader_.isEmptyElement())
        return;
      if (isXmlElement(reader_, L"conditions"))
        section_ = Section::Conditions;
      else if (isXmlElement(reader_, L"physical"))
        section_ = Section::Physical;
      else if (isXmlElement(reader_, L"atmosphere"))
        section_ = Section::Atmosphere;
      return;
    }
    switch (section_) {
      case Section::Conditions:
        conditionElement();
        break;
      case Section::Physical:
        typeElement();
        break;
      case Section::Atmosphere:
        if (isXmlElement(reader_, L"mat")) {
          const stringw material = reader_.getAttributeValueSafe(L"name");
          if (!material.empty())
            planetAtmospheres().push_back(material);
        }
        break;
      case Section::None:
        break;
    }
  }

  void elementEnd() {
    static const wchar_t* const kSectionNames[] = {L"", L"conditions", L"physical", L"atmosphere"};
    if (section_ != Section::None && isXmlElement(reader_, kSectionNames[static_cast<int>(section_)])) {
      section_ = Section::None;
      condition_ = nullptr;
      type_ = nullptr;
    }
  }

  void conditionElement() {
    if (isXmlElement(reader_, L"cond")) {
      condition_ = beginCondition();
      return;
    }
    if (condition_ == nullptr)
      return;
    if (isXmlElement(reader_, L"tags"))
      expectText(PendingText::ConditionTags);
    else if (isXmlElement(reader_, L"desc"))
      expectText(PendingText::ConditionDesc);
    else if (isXmlElement(reader_, L"hook"))
      addHook();
  }

  void typeElement() {
    if (isXmlElement(reader_, L"tag")) {
      type_ = beginType();
      return;
    }
    if (type_ == nullptr)
      return;
    if (isXmlElement(reader_, L"condition_tags")) {
      expectText(PendingText::TypeTags);
      if (reader_.isEmptyElement())
        matchConditions();
    } else if (isXmlElement(reader_, L"atmos")) {
      const wchar_t* visible = reader_.getAttributeValue(L"visible");
      type_->atmosphereVisible = visible == nullptr || std::wcscmp(visible, L"false") != 0;
    } else if (isXmlElement(reader_, L"model")) {
      // The graphics registry resolves the attribute "name".
      if (const wchar_t* model = reader_.getAttributeValue(L"name"))
        type_->model = getModelRef(model);
    } else if (isXmlElement(reader_, L"constructed")) {
      type_->constructed = true;
    }
    // <mat> and unknown elements: nothing to do.
  }

  // Text follows only a non-empty element; any other next node cancels it.
  void expectText(PendingText what) {
    if (!reader_.isEmptyElement())
      pending_ = what;
  }

  void takeText(PendingText what, const wchar_t* text) {
    switch (what) {
      case PendingText::ConditionTags:
        addTags(text, condition_->tags);
        break;
      case PendingText::ConditionDesc:
        condition_->desc = text;
        checkLocalize(condition_->desc);
        break;
      case PendingText::TypeTags:
        addTags(text, type_->conditionTags);
        break;
      case PendingText::None:
        break;
    }
  }

  // The condition begun by <cond id="...">, or null when the id is empty or
  // already known (both reported).
  planetCondition* beginCondition() {
    const stringw id = reader_.getAttributeValueSafe(L"id");
    if (id.empty()) {
      logError("Planet condition without an id\n");
      return nullptr;
    }
    PlanetConditionRegistry& conditions = planetConditionRegistry();
    if (ConditionEntry::findNoSort(conditions, id) >= 0) {
      logError("Duplicate planet condition %ls\n", id.c_str());
      return nullptr;
    }
    auto* condition = new planetCondition;
    condition->id = id;
    ConditionEntry::getOrAdd(conditions, id, internCommonString).value = condition;
    return condition;
  }

  // The type begun by <tag name="...">, or null when the name is empty or
  // already known (both reported).
  PlanetPhysicalType* beginType() {
    const stringw name = reader_.getAttributeValueSafe(L"name");
    if (name.empty()) {
      logError("Planet type without a name\n");
      return nullptr;
    }
    PlanetTypeRegistry& types = planetTypeRegistry();
    if (TypeEntry::findNoSort(types, name) >= 0) {
      logError("Duplicate planet type '%ls'\n", name.c_str());
      return nullptr;
    }
    auto* type = new PlanetPhysicalType;
    TypeEntry& entry = TypeEntry::getOrAdd(types, name, internCommonString);
    entry.value = type;
    type->name = entry.name;
    return type;
  }

  // Gives the current type every loaded condition whose tags it all has
  // (untagged conditions included), each once.
  void matchConditions() {
    if (type_ == nullptr)
      return;
    std::vector<planetCondition*>& applicable = type_->applicableConditions;
    const PlanetConditionRegistry& conditions = planetConditionRegistry();
    for (irr::u32 i = 0; i < conditions.size(); ++i) {
      planetCondition* condition = conditions[i].value;
      const InternedTagSet& tags = type_->conditionTags;
      if (!std::includes(tags.begin(), tags.end(), condition->tags.begin(), condition->tags.end(), tags.key_comp()))
        continue;
      if (std::find(applicable.begin(), applicable.end(), condition) == applicable.end())
        applicable.push_back(condition);
    }
  }

  // <hook func="module::function" arg0=".." arg1=".."/>: kept when the
  // server scripts define either declaration of it.
  void addHook() {
    const stringc text = reader_.getAttributeValueSafe(L"func");
    ConditionHook hook;
    hook.function.set(text.c_str());

    std::string floats;
    for (int index = 0;; ++index) {
      const stringw name = stringw(L"arg") + stringw(index);
      const wchar_t* value = reader_.getAttributeValue(name.c_str());
      if (value == nullptr)
        break;
      hook.args.push_back(narrowStringToFloat(stringc(value)));
      floats += kFloatArgument;
    }
    const std::string modeArguments = kModeArguments + floats + ")";
    const std::string stringArguments = kStringArguments + floats + ")";

    hook.modeFunctionId =
        std::max(-1, hook.function.getFunctionId(serverScriptEngine, kHookReturnType, modeArguments.c_str()));
    hook.stringFunctionId =
        std::max(-1, hook.function.getFunctionId(serverScriptEngine, kHookReturnType, stringArguments.c_str()));
    if (hook.modeFunctionId < 0 && hook.stringFunctionId < 0) {
      // A text without "::" names no function: report it as written.
      const char* shown = hook.function.valid ? hook.function.function.c_str() : text.c_str();
      logError("Error finding function 'void %s%s'\n", shown, modeArguments.c_str());
      return;
    }
    condition_->hooks.push_back(std::move(hook));
  }

  ScriptXmlReader& reader_;
  Section section_ = Section::None;
  PendingText pending_ = PendingText::None;
  planetCondition* condition_ = nullptr;
  PlanetPhysicalType* type_ = nullptr;
};

}  // namespace

PlanetTypeRegistry& planetTypeRegistry() {
  static PlanetTypeRegistry types;
  return types;
}

PlanetConditionRegistry& planetConditionRegistry() {
  static PlanetConditionRegistry conditions;
  return conditions;
}

irr::core::array<stringw>& planetAtmospheres() {
  static irr::core::array<stringw> materials;
  return materials;
}

void loadPlanetTypes(const stringc& path) {
  std::string bytes;
  if (!readWholeFile(path, bytes)) {
    logError("Could not open the planet type file \"%s\"\n", path.c_str());
    return;
  }
  ScriptXmlReader reader(bytes);
  PlanetTypeLoader(reader).run();
  if (reader.takeMalformed())
    logError("Damaged planet type file \"%s\": markup is cut off, the rest was not loaded\n", path.c_str());
}

void clearPlanetTypes() {
  PlanetTypeRegistry& types = planetTypeRegistry();
  for (irr::u32 i = 0; i < types.size(); ++i)
    delete types[i].value;
  types.clear();
  planetAtmospheres().clear();

  PlanetConditionRegistry& conditions = planetConditionRegistry();
  for (irr::u32 i = 0; i < conditions.size(); ++i)
    delete conditions[i].value;
  conditions.clear();
}

// The loader keeps both registries sorted, so lookups never sort (and so
// only read, whichever thread calls them).
int findPlanetCondition(const stringw& name) { return ConditionEntry::findNoSort(planetConditionRegistry(), name); }

int findPlanetType(const stringw& name) { return TypeEntry::findNoSort(planetTypeRegistry(), name); }

PlanetPhysicalType* getPlanetType(const stringw& name) {
  const int index = findPlanetType(name);
  return index < 0 ? nullptr : planetTypeRegistry()[index].value;
}

unsigned getPlanetConditionCount() { return planetConditionRegistry().size(); }

const planetCondition* getPlanetCondition(unsigned index) {
  const PlanetConditionRegistry& conditions = planetConditionRegistry();
  return index < conditions.size() ? conditions[index].value : nullptr;
}
