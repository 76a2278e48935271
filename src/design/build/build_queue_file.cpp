#include "design/build/build_queue_file.h"

#include <memory>
#include <string>

#include "core/common_strings.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "design/build/build_rules.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "script/script_xml_io.h"

namespace {

using irr::core::stringc;
using irr::core::stringw;
using irr::io::IXMLReader;

// The element names, in the order a name is tried against them.
enum Keyword {
  KW_Queue,
  KW_WaitEmpty,
  KW_BuildN,
  KW_BuildWhenLow,
  KW_BuildPerN,
  KW_BuildSpecial,
  KW_BuildRand,
  KW_Obsolete,
  KW_RebuildRand,
  KW_RemoveRand,
  KW_Script,
  KW_None,
};

constexpr const wchar_t* kKeywords[] = {L"queue",       L"waitEmpty",    L"buildN",    L"buildWhenLow",
                                        L"buildPerN",   L"buildSpecial", L"buildRand", L"obsolete",
                                        L"rebuildRand", L"removeRand",   L"script"};
static_assert(sizeof(kKeywords) / sizeof(kKeywords[0]) == KW_None, "a name for every keyword");

// Names and values in this file match when, compared character by
// character, one is a prefix of the other ("build" matches "buildN", and an
// empty name matches anything).
bool prefixMatch(const wchar_t* text, const wchar_t* keyword) {
  if (text == nullptr)
    text = L"";
  for (; *text != L'\0' && *keyword != L'\0'; ++text, ++keyword) {
    if (*text != *keyword)
      return false;
  }
  return true;
}

Keyword classify(const wchar_t* name) {
  for (int i = 0; i < KW_None; ++i) {
    if (prefixMatch(name, kKeywords[i]))
      return static_cast<Keyword>(i);
  }
  return KW_None;
}

const SubSystemDef* definitionNamed(const wchar_t* name) {
  if (name == nullptr)
    return nullptr;
  const irr::s32 index = findSubSystemDefByName(stringw(name));
  return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

const SubSystemDef* definitionAttribute(IXMLReader* reader, const wchar_t* attribute) {
  return definitionNamed(reader->getAttributeValue(attribute));
}

// "isLowLevel" and "isPercent": false only for a value matching "false"; an
// absent flag is set.
bool flagAttribute(IXMLReader* reader, const wchar_t* attribute) {
  const wchar_t* value = reader->getAttributeValue(attribute);
  return value == nullptr || !prefixMatch(value, L"false");
}

// A count: absent, 0 or negative gives 0 (no rule is made of it).
uint32_t countAttribute(IXMLReader* reader, const wchar_t* attribute) {
  const int value = reader->getAttributeValueAsInt(attribute);
  return value > 0 ? static_cast<uint32_t>(value) : 0u;
}

const stringw* pooledAttribute(IXMLReader* reader, const wchar_t* attribute) {
  return internCommonString(stringw(reader->getAttributeValueSafe(attribute)));
}

// The text of an item: the sub-system name without surrounding blanks.
stringw itemName(const wchar_t* text) {
  stringw name(text);
  name.trim(L" \t\r\n");
  return name;
}

// Reads the items of a `buildRand` whose start element was just read, up
// to its end element. Null when the document ends first.
build_priorities* readBuildRand(IXMLReader* reader) {
  std::unique_ptr<bp_build_rand> rule(new bp_build_rand());
  if (reader->isEmptyElement())
    return rule.release();
  // After an item's start, the next node names its definition when it is
  // text; any other node is handled as usual.
  bool itemOpen = false;
  uint32_t itemWeight = 1;
  while (reader->read()) {
    const bool textNamesItem = itemOpen;
    itemOpen = false;
    switch (reader->getNodeType()) {
      case irr::io::EXN_TEXT:
        if (textNamesItem) {
          if (const SubSystemDef* def = definitionNamed(itemName(reader->getNodeData()).c_str()))
            rule->addItem(def, itemWeight);
        }
        break;
      case irr::io::EXN_ELEMENT:
        if (prefixMatch(reader->getNodeName(), L"item") && !reader->isEmptyElement()) {
          itemOpen = true;
          itemWeight = reader->getAttributeValue(L"weight") != nullptr ? countAttribute(reader, L"weight") : 1u;
        }
        break;
      case irr::io::EXN_ELEMENT_END:
        if (classify(reader->getNodeName()) == KW_BuildRand)
          return rule.release();
        break;
      default:
        break;
    }
  }
  return nullptr;
}

// The rule of a rule element (not `queue`), or null when it makes none.
build_priorities* readRule(IXMLReader* reader, Keyword keyword) {
  switch (keyword) {
    case KW_WaitEmpty:
      return new bp_wait_for_empty_queue();
    case KW_BuildN: {
      const uint32_t count = countAttribute(reader, L"count");
      const SubSystemDef* def = definitionAttribute(reader, L"type");
      return count != 0 && def != nullptr ? new bp_build_n(def, count) : nullptr;
    }
    case KW_BuildWhenLow: {
      const wchar_t* by = reader->getAttributeValue(L"by");
      const wchar_t* res = reader->getAttributeValue(L"res");
      const SubSystemDef* def = definitionAttribute(reader, L"type");
      if (by == nullptr || res == nullptr || def == nullptr)
        return nullptr;
      return new bp_build_when_needed(prefixMatch(by, L"low_pct"), reader->getAttributeValueAsFloat(L"threshold"), def,
                                      internCommonString(stringw(res)));
    }
    case KW_BuildPerN: {
      const uint32_t per = countAttribute(reader, L"per");
      const SubSystemDef* def = definitionAttribute(reader, L"type");
      return per != 0 && def != nullptr ? new bp_build_per_n(def, per) : nullptr;
    }
    case KW_BuildSpecial: {
      const SubSystemDef* def = definitionAttribute(reader, L"type");
      if (def == nullptr || reader->getAttributeValueSafe(L"tag")[0] == L'\0')
        return nullptr;
      return new bp_build_special(def, pooledAttribute(reader, L"tag"));
    }
    case KW_BuildRand:
      return readBuildRand(reader);
    case KW_Obsolete: {
      const SubSystemDef* oldDef = definitionAttribute(reader, L"replace");
      const SubSystemDef* newDef = definitionAttribute(reader, L"with");
      if (oldDef == nullptr || newDef == nullptr || reader->getAttributeValue(L"res") == nullptr)
        return nullptr;
      return new bp_replace_when_useless(newDef, oldDef, pooledAttribute(reader, L"res"),
                                         reader->getAttributeValueAsFloat(L"level"),
                                         flagAttribute(reader, L"isLowLevel"), flagAttribute(reader, L"isPercent"));
    }
    case KW_RebuildRand: {
      const float threshold = reader->getAttributeValueAsFloat(L"levelThreshold");
      return threshold > 0.0f ? new bp_rebuild_rand(threshold) : nullptr;
    }
    case KW_RemoveRand: {
      irr::core::array<stringw> names;
      if (splitString(stringw(reader->getAttributeValueSafe(L"remove")), L',', names) == 0)
        return nullptr;
      auto* rule = new bp_remove_rand();
      for (irr::u32 i = 0; i < names.size(); ++i)
        rule->addDef(definitionNamed(names[i].c_str()));
      return rule;
    }
    case KW_Script: {
      std::unique_ptr<bp_scripted> rule(new bp_scripted(stringc(reader->getAttributeValueSafe(L"call"))));
      return rule->functionId < 0 ? nullptr : rule.release();
    }
    case KW_Queue:
    case KW_None:
      break;
  }
  return nullptr;
}

}  // namespace

void loadBuildQueues(IXMLReader* reader, empire* emp) {
  if (reader == nullptr || emp == nullptr)
    return;
  std::unique_ptr<build_list> open;  // the list being read
  stringw openName;
  while (reader->read()) {
    const irr::io::EXML_NODE type = reader->getNodeType();
    if (type != irr::io::EXN_ELEMENT && type != irr::io::EXN_ELEMENT_END)
      continue;
    const Keyword keyword = classify(reader->getNodeName());
    if (keyword == KW_Queue) {
      // A list begun and not closed is dropped. `<queue id="x"/>` has no
      // end node: it is an empty list, stored at once.
      if (type == irr::io::EXN_ELEMENT) {
        open.reset(new build_list());
        openName = reader->getAttributeValueSafe(L"id");
        if (!reader->isEmptyElement())
          continue;
      }
      if (open)
        emp->setBuildList(openName, open.release());
      continue;
    }
    if (type != irr::io::EXN_ELEMENT || !open || keyword == KW_None)
      continue;
    if (build_priorities* rule = readRule(reader, keyword))
      open->rules.push_back(rule);
  }
}

bool loadBuildQueuesForEmpires(const stringc& path) {
  std::string bytes;
  if (!readWholeFile(path, bytes)) {
    logError("Could not open the build queue file \"%s\": planets get no build lists\n", path.c_str());
    return false;
  }
  bool checked = false;
  for (empire* emp : empireList) {
    if (emp == nullptr || !emp->isValid())
      continue;
    ScriptXmlReader reader(bytes);
    loadBuildQueues(&reader, emp);
    if (!checked && reader.takeMalformed())
      logError("Damaged build queue file \"%s\": markup is cut off, the rest was not loaded\n", path.c_str());
    checked = true;
  }
  return true;
}
