#include "design/effects/resources.h"

#include <irrArray.h>

#include <cwchar>
#include <set>
#include <string>

#include "core/common_strings.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/names.h"
#include "core/text_conversions.h"
#include "script/script_xml_io.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

using ResourceRegistry = PtrNamedVar<const cargoData*>::Registry;

// Filled only through getOrAdd, so it is always sorted and lookups never
// change it.
ResourceRegistry& registry() {
  static ResourceRegistry names;
  return names;
}

// The record begun by <resource name="...">, or null when the name is
// empty or already known (both reported).
cargoData* beginResource(const ScriptXmlReader& reader) {
  const stringw name = reader.getAttributeValueSafe(L"name");
  if (name.empty()) {
    logError("Non-empty name is required to setup a resource\n");
    return nullptr;
  }
  ResourceRegistry& names = registry();
  if (PtrNamedVar<const cargoData*>::findNoSort(names, name) >= 0) {
    logError("Duplicate resource name: '%ls'\n", name.c_str());
    return nullptr;
  }
  cargoData* record = new cargoData;
  PtrNamedVar<const cargoData*>::getOrAdd(names, name, internCommonString).value = record;
  return record;
}

// Enters each name of a <duplicate> text that is not known yet.
void addAliases(const stringw& text, const cargoData* record) {
  irr::core::array<stringw> aliases;
  splitString(text, L',', aliases);
  for (irr::u32 i = 0; i < aliases.size(); ++i) {
    PtrNamedVar<const cargoData*>& entry =
        PtrNamedVar<const cargoData*>::getOrAdd(registry(), aliases[i], internCommonString);
    if (entry.value == nullptr)
      entry.value = record;
  }
}

// A property element of the current resource.
void applyProperty(const ScriptXmlReader& reader, cargoData& resource) {
  if (isXmlElement(reader, L"canBeCargo"))
    resource.canBeCargo = true;
  else if (isXmlElement(reader, L"canTransfer"))
    resource.canTransfer = true;
  else if (isXmlElement(reader, L"planetsRequire"))
    resource.planetsRequire = true;
  else if (isXmlElement(reader, L"alwaysVisible"))
    resource.alwaysVisible = true;
  else if (isXmlElement(reader, L"recycle"))
    resource.recycle = reader.getAttributeValueAsFloat(L"pct");
}

}  // namespace

const cargoData* findResource(const stringw& name) {
  const ResourceRegistry& names = registry();
  const irr::s32 index = PtrNamedVar<const cargoData*>::findNoSort(names, name);
  return index < 0 ? nullptr : names[index].value;
}

const cargoData* defaultResource() {
  static const cargoData plain;
  return &plain;
}

void loadResources(const stringc& path) {
  std::string bytes;
  if (!readWholeFile(path, bytes)) {
    logError("Could not open the resource file \"%s\"\n", path.c_str());
    return;
  }

  ScriptXmlReader reader(bytes);
  cargoData* current = nullptr;
  // Set by a <duplicate> start: the node right after it holds the names
  // when it is text. Any other node is handled as usual.
  bool namesMayFollow = false;
  while (reader.read()) {
    const bool namesHere = namesMayFollow;
    namesMayFollow = false;
    switch (reader.getNodeType()) {
      case irr::io::EXN_TEXT:
        if (namesHere && current != nullptr)
          addAliases(reader.getNodeData(), current);
        break;
      case irr::io::EXN_ELEMENT_END:
        if (isXmlElement(reader, L"resource"))
          current = nullptr;
        break;
      case irr::io::EXN_ELEMENT:
        if (isXmlElement(reader, L"resource")) {
          if (cargoData* begun = beginResource(reader))
            current = begun;
        } else if (current != nullptr) {
          if (isXmlElement(reader, L"duplicate"))
            namesMayFollow = !reader.isEmptyElement();
          else
            applyProperty(reader, *current);
        }
        break;
      default:
        break;
    }
  }
  if (reader.takeMalformed())
    logError("Damaged resource file \"%s\": markup is cut off, the rest was not loaded\n", path.c_str());
}

void clearResources() {
  ResourceRegistry& names = registry();
  std::set<const cargoData*> records;
  for (irr::u32 i = 0; i < names.size(); ++i)
    records.insert(names[i].value);
  for (const cargoData* record : records)
    delete record;
  names.clear();
}
