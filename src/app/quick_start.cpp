#include "app/quick_start.h"

#include <cmath>
#include <cwchar>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "app/base/startup.h"
#include "app/data_folders.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/user_folders.h"
#include "core/utf8.h"
#include "script/script_xml_io.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

constexpr char kQuickStartFile[] = "Game Data/quickstart.xml";

bool named(const ScriptXmlReader& reader, const wchar_t* name) { return std::wcscmp(reader.getNodeName(), name) == 0; }

wchar_t foldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::string narrow(const wchar_t* text) { return wideToUtf8(text != nullptr ? std::wstring(text) : std::wstring()); }

// A setting's value: a finite number that a float holds, blanks around it
// allowed; false for anything else ("", "abc", "nan", "1e40", "3 ships").
bool readSettingValue(const wchar_t* text, float& value) {
  const std::wstring blanks = L" \t\r\n";
  const std::wstring whole(text);
  const std::size_t begin = whole.find_first_not_of(blanks);
  if (begin == std::wstring::npos)
    return false;
  const std::wstring number = whole.substr(begin, whole.find_last_not_of(blanks) + 1 - begin);
  wchar_t* end = nullptr;
  const double read = std::wcstod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || !std::isfinite(read) ||
      std::fabs(read) > static_cast<double>(std::numeric_limits<float>::max()))
    return false;
  value = static_cast<float>(read);
  return true;
}

// What a profile changes, kept until the profile has been read whole.
struct ProfileChanges {
  bool hasMap = false;
  stringc map;
  std::vector<std::pair<stringw, float>> settings;
};

}  // namespace

bool quickStartIdMatches(const wchar_t* id, const stringw& wanted) {
  if (id == nullptr)
    id = L"";
  irr::u32 i = 0;
  for (; id[i] != L'\0'; ++i) {
    if (i >= wanted.size() || foldAscii(id[i]) != foldAscii(wanted[i]))
      return false;
  }
  return i == wanted.size();
}

bool applyQuickStartProfile(ScriptXmlReader& reader, const stringc& path) {
  const std::string id = narrow(reader.getAttributeValueSafe(L"id"));
  if (reader.isEmptyElement())
    return true;  // "<profile id=.../>": nothing in it
  ProfileChanges changes;
  bool inSettings = false;
  while (reader.read()) {
    const irr::io::EXML_NODE type = reader.getNodeType();
    if (type == irr::io::EXN_ELEMENT_END) {
      if (named(reader, L"profile"))
        break;
      if (named(reader, L"settings"))
        inSettings = false;
    } else if (type == irr::io::EXN_ELEMENT && inSettings) {
      const wchar_t* text = reader.getAttributeValue(L"val");
      float value = 0.0f;
      if (text == nullptr || readSettingValue(text, value))
        changes.settings.emplace_back(stringw(reader.getNodeName()), value);
      else
        logError("Quick start \"%s\", profile '%s': the setting %s has no number value: \"%s\"\n", path.c_str(),
                 id.c_str(), narrow(reader.getNodeName()).c_str(), narrow(text).c_str());
    } else if (type == irr::io::EXN_ELEMENT) {
      if (named(reader, L"settings")) {
        inSettings = !reader.isEmptyElement();
      } else if (named(reader, L"map")) {
        const std::string file = narrow(reader.getAttributeValueSafe(L"file"));
        if (file.empty()) {
          logError("Quick start \"%s\", profile '%s': the map names no file\n", path.c_str(), id.c_str());
        } else {
          changes.hasMap = true;
          changes.map = file.c_str();
        }
      }
    }
  }
  if (reader.takeMalformed()) {
    logError("Quick start \"%s\", profile '%s': the file is not well-formed XML; the profile is not applied\n",
             path.c_str(), id.c_str());
    return false;
  }
  if (changes.hasMap)
    mapName = changes.map;
  for (const auto& setting : changes.settings)
    setGameSetting(setting.first, setting.second);
  return true;
}

bool applyQuickStartFile(const stringc& path, const stringw& id) {
  std::string bytes;
  if (!readWholeFile(path, bytes))
    return false;
  ScriptXmlReader reader(bytes);
  while (reader.read()) {
    if (reader.getNodeType() == irr::io::EXN_ELEMENT && named(reader, L"profile") &&
        quickStartIdMatches(reader.getAttributeValue(L"id"), id))
      return applyQuickStartProfile(reader, path);
  }
  if (reader.takeMalformed())
    logError("Quick start \"%s\": the file is not well-formed XML\n", path.c_str());
  return false;
}

void applyQuickStart(unsigned nowMs) {
  setGameSetting(L"SEED", static_cast<float>(nowMs));
  // The mods as they are now: one may have been added since the last pass.
  scanMods();
  applyQuickStartFile(resolveDataPath(kQuickStartFile), quickStartName);
}
