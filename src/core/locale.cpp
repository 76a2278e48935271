#include "core/locale.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "core/data_file.h"
#include "core/log.h"
#include "core/threads.h"
#include "design/base/text_markers.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

// A table is never changed once published; a load publishes a new one.
using LocaleMap = std::map<stringw, const wchar_t*>;

std::mutex tableLock;  // guards `table`
std::shared_ptr<const LocaleMap> table;

std::mutex loadLock;        // serialises loads; guards `texts`
std::set<stringw> texts;  // every text ever published, so none dangles

std::shared_ptr<const LocaleMap> currentTable() {
  std::lock_guard<std::mutex> guard(tableLock);
  return table;
}

bool endsWithBackslash(const stringw& text) { return !text.empty() && text.lastChar() == L'\\'; }

stringw withoutLast(const stringw& text) { return text.subString(0, text.size() - 1); }

stringw expanded(stringw text) {
  expandTabMarkers(text);
  return text;
}

}  // namespace

bool loadLocaleFile(const stringc& path, bool clearFirst) {
  std::vector<stringw> lines;
  if (!readTextDataFile(path, lines)) {
    logError("Unabled to load locale file %s\n", path.c_str());
    return false;
  }

  std::lock_guard<std::mutex> loading(loadLock);
  std::map<stringw, stringw> entries;
  if (!clearFirst)
    if (std::shared_ptr<const LocaleMap> previous = currentTable())
      for (const auto& entry : *previous)
        entries[entry.first] = entry.second;

  stringw key;
  bool continued = false;
  for (const stringw& line : lines) {
    if (continued) {
      stringw text = line;
      continued = endsWithBackslash(text);
      if (continued)
        text = withoutLast(text);
      entries[key] += expanded(text);
      continue;
    }
    stringw text;
    if (!splitKeyValue(line, key, text))
      continue;
    if (text.size() >= 2) {
      if (endsWithBackslash(text)) {
        text = withoutLast(text);
        continued = true;
      } else if (text[0] == L'"' && text.lastChar() == L'"') {
        text = text.subString(1, text.size() - 2);
      }
    }
    entries[key] = expanded(text);
  }

  auto published = std::make_shared<LocaleMap>();
  for (const auto& entry : entries)
    (*published)[entry.first] = texts.insert(entry.second).first->c_str();
  std::lock_guard<std::mutex> guard(tableLock);
  table = std::move(published);
  return true;
}

bool findLocaleEntry(const stringw& key, const wchar_t** text) {
  const std::shared_ptr<const LocaleMap> snapshot = currentTable();
  if (snapshot == nullptr)
    return false;
  const auto found = snapshot->find(key);
  if (found == snapshot->end())
    return false;
  if (text != nullptr)
    *text = found->second;
  return true;
}

const wchar_t* getLocalizedText(const stringw& key) {
  const wchar_t* text = nullptr;
  if (findLocaleEntry(key, &text))
    return text;
  stringw& miss = threadLocals().localeMiss;
  miss = key;
  return miss.c_str();
}

bool checkLocalize(stringw& text) {
  if (text.empty() || text[0] != L'#')
    return false;
  const wchar_t* localized = nullptr;
  if (findLocaleEntry(text, &localized))
    text = localized;
  return true;
}
