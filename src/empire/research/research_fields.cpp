#include "empire/research/research_fields.h"

#include <cmath>
#include <memory>
#include <vector>

#include "core/data_file.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "design/base/numbers.h"
#include "empire/research/research_registry.h"
#include "empire/research/web_item_desc.h"

using irr::core::stringc;
using irr::core::stringw;

namespace research {

namespace {

const wchar_t kTrimmed[] = L" \t\n\r";
const wchar_t kDefaultCost[] = L"1";
const wchar_t kDefaultMaxLevel[] = L"999999999";
const wchar_t kDefaultInitialLevel[] = L"0";
// The lock of a technology that names none: it shows once a link reaches it.
const wchar_t kLinkLock[] = L"Link";
// How close to a whole number an OnLevel level is taken as that number.
constexpr double kLevelSnap = 0.000001;

// The text of a Name, Description or Icon value: a "#key" localised,
// anything else without one enclosing pair of quotes.
stringw textValue(stringw value) {
  if (checkLocalize(value))
    return value;
  if (value.size() == 0 || (value[0] != L'"' && value[0] != L'\''))
    return value;
  irr::u32 end = value.size();
  if (end >= 2 && value[end - 1] == value[0])
    --end;
  return value.subString(1, end - 1);
}

double snapLevel(double level) {
  const double whole = std::round(level);
  return std::fabs(level - whole) <= kLevelSnap ? whole : level;
}

// The levels of an OnLevel word: a number, or a range "a-b" (the "-" neither
// first nor last) giving a, a + 1, ... up to b. False for a range that is
// too long or does not end at a finite number.
bool readLevels(const stringw& word, std::vector<double>& levels) {
  const irr::s32 dash = word.size() > 2 ? word.findNext(L'-', 1) : -1;
  if (dash < 0 || static_cast<irr::u32>(dash) + 1 >= word.size()) {
    levels.push_back(snapLevel(stringToFloat(word)));
    return true;
  }
  const double first = stringToFloat(word.subString(0, static_cast<irr::u32>(dash)));
  const double last = stringToFloat(word.subString(static_cast<irr::u32>(dash) + 1, word.size()));
  if (!std::isfinite(first) || !std::isfinite(last) || last - first >= kMaxOnLevelRange)
    return false;
  for (double level = first; level <= last; level += 1.0)
    levels.push_back(snapLevel(level));
  return true;
}

// An amount: a number, or with "%" that share of the link's cost.
void readAmount(const stringw& word, float& amount, uint8_t& relative) {
  amount = stringToFloat(word);
  relative = 0;
  if (word.size() != 0 && word[word.size() - 1] == L'%') {
    amount /= 100.0f;
    relative = 1;
  }
}

// Reads one technology file, a technology at a time.
class TechnologyReader {
 public:
  explicit TechnologyReader(const stringc& path) : path_(path) {}

  void readLine(const stringw& key, const stringw& value) {
    if (key == L"Technology") {
      finish();
      begin(value);
      return;
    }
    if (desc_ == nullptr) {
      logError("Attempted to define a value without beginning a technology.\n");
      return;
    }
    if (key == L"Name")
      desc_->setName(textValue(value));
    else if (key == L"Description")
      desc_->setDescription(textValue(value));
    else if (key == L"Icon")
      desc_->setIcon(textValue(value));
    else if (key == L"MaxLevel")
      setFormula(maxLevel_, "MaxLevel", value);
    else if (key == L"StartLevel")
      setFormula(initialLevel_, "StartLevel", value);
    else if (key == L"Cost")
      setFormula(cost_, "Cost", value);
    else if (key == L"Link")
      addLink(value);
    else if (key == L"Locks")
      addNames(value, &CWebItemDesc::addLock);
    else if (key == L"Tags")
      addNames(value, &CWebItemDesc::addTag);
    else if (key == L"Position")
      setPosition(value);
    else if (key == L"OnLevel")
      addLevelEvents(value);
    else
      logWarning("Invalid value(%ls) in technology(%ls)\n", key.c_str(), desc_->getName().c_str());
  }

  // Completes the current technology: default formulas, and the lock "Link"
  // when it has no lock.
  void finish() {
    if (desc_ == nullptr)
      return;
    desc_->setFormulas(cost_ ? cost_.release() : new formula(kDefaultCost),
                       maxLevel_ ? maxLevel_.release() : new formula(kDefaultMaxLevel),
                       initialLevel_ ? initialLevel_.release() : new formula(kDefaultInitialLevel));
    if (!desc_->hasLocks())
      desc_->addLock(kLinkLock);
    desc_ = nullptr;
  }

 private:
  void begin(const stringw& id) {
    if (getWebItemDesc(id) != nullptr) {
      logError("Multiple instances of technology(%ls)\n", id.c_str());
      return;
    }
    desc_ = new CWebItemDesc(id);
    registerWebItemDesc(desc_);
    linksRefused_ = false;
  }

  void setFormula(std::unique_ptr<formula>& slot, const char* key, const stringw& value) {
    if (slot) {
      logError("%s error R009: Duplicate '%s' line in Technology '%ls'\n", path_.c_str(), key,
               desc_->getId().c_str());
      return;
    }
    slot.reset(new formula(value));
  }

  // "<id> [<cost>]": without the brackets the line means nothing.
  void addLink(const stringw& value) {
    const irr::s32 open = value.findFirst(L'[');
    if (open < 0)
      return;
    const irr::s32 close = value.findLast(L']');
    if (close < open)
      return;
    if (desc_->getLinkCount() >= kMaxTechnologyLinks) {
      if (!linksRefused_)
        logError("%s error: Technology '%ls' has more than %u links\n", path_.c_str(), desc_->getId().c_str(),
                 kMaxTechnologyLinks);
      linksRefused_ = true;
      return;
    }
    stringw target = value.subString(0, static_cast<irr::u32>(open));
    target.trim(kTrimmed);
    // Blanks inside the brackets are no part of the formula.
    stringw cost = value.subString(static_cast<irr::u32>(open) + 1, static_cast<irr::u32>(close - open - 1));
    cost.trim(kTrimmed);
    desc_->newLinkDesc()->add(target, new formula(cost), 1.0f);
  }

  void addNames(const stringw& value, void (CWebItemDesc::*add)(const stringw&)) {
    irr::core::array<stringw> names;
    splitString(value, L',', names);
    for (irr::u32 i = 0; i < names.size(); ++i)
      (desc_->*add)(names[i]);
  }

  void setPosition(const stringw& value) {
    irr::core::array<stringw> parts;
    if (splitString(value, L',', parts) != 2) {
      logError("%s error R051: Position requires 2 numbers (x,y)\n", path_.c_str());
      return;
    }
    desc_->setPosition(stringToFloat(parts[0]), stringToFloat(parts[1]));
  }

  void addLevelEvents(const stringw& value) {
    std::vector<stringw> words;
    splitWordsQuotedW(value, words);
    if (words.size() == 3 && words[1] == L"unlock") {
      addUnlock(stringToFloat(words[0]), words[2]);
      return;
    }
    std::vector<double> levels;
    const bool payRand = words.size() == 3 && words[1] == L"link_pay_rand";
    const bool pay = words.size() == 4 && words[1] == L"link_pay";
    if ((!payRand && !pay) || !readLevels(words[0], levels)) {
      logError("Unrecognized OnLevel line: '%ls'\n", value.c_str());
      return;
    }
    float amount = 0.0f;
    uint8_t relative = 0;
    readAmount(words.back(), amount, relative);
    const irr::u32 link = pay ? parseWideInteger(words[2]) : 0;
    for (double level : levels) {
      if (pay)
        desc_->addLevelEvent(level, new PayLink(link, amount, relative));
      else
        desc_->addLevelEvent(level, new PayRandLink(amount, relative));
    }
  }

  // "<id>" or "<id>:<lock>".
  void addUnlock(double level, const stringw& target) {
    stringw techId = target;
    stringw lock;
    const irr::s32 colon = target.findFirst(L':');
    if (colon >= 0) {
      techId = target.subString(0, static_cast<irr::u32>(colon));
      lock = target.subString(static_cast<irr::u32>(colon) + 1, target.size());
    }
    techId.trim(kTrimmed);
    lock.trim(kTrimmed);
    desc_->addLevelEvent(level, new UnlockTech(lock, techId));
  }

  const stringc& path_;
  CWebItemDesc* desc_ = nullptr;  // the technology being read, registered
  std::unique_ptr<formula> cost_;
  std::unique_ptr<formula> maxLevel_;
  std::unique_ptr<formula> initialLevel_;
  bool linksRefused_ = false;  // the link limit was logged for this technology
};

}  // namespace

void loadResearchFields(const stringc& path) {
  logInfo("Loading research fields: %s\n", path.c_str());
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    logError("Failed to load technology file: \"%s\"\n", path.c_str());
    return;
  }
  TechnologyReader reader(path);
  for (const NumberedLine& line : lines) {
    stringw key;
    stringw value;
    if (splitKeyValue(line.text, key, value))
      reader.readLine(key, value);
  }
  reader.finish();
}

}  // namespace research
