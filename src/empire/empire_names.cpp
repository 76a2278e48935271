#include "empire/empire_names.h"

#include <iterator>

#include "core/data_file.h"
#include "core/locale.h"
#include "core/random.h"
#include "core/user_folders.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/research/research_web.h"

std::vector<irr::core::stringw> empireNames;
std::set<uint32_t> empireColors;
std::vector<uint32_t> reservedColors;

namespace {

const char* const kNamesFile = "Game Data/EmpireNames.txt";
const char* const kColorsFile = "Game Data/EmpireColors.txt";
const wchar_t* const kNoName = L"---";
const wchar_t* const kUnknownHullLayout = L"Unknown Hull Layout";
// Lines of the colour file that hold the special empires' colours.
constexpr size_t kReservedColorLines = 3;
// Used when the colour file gives none: space, pirates, remnants.
constexpr uint32_t kDefaultReservedColors[] = {kWhite, 0xFF8C0000u, 0xFFCCC5ABu};

const wchar_t* const kTitles[] = {L"Emperor", L"Empress", L"Sir", L"High Priest"};
const wchar_t* const kGivenNames[] = {L"Amitor", L"Bailey", L"Cailan", L"Domanix", L"Elan'Dat", L"Fizkalo"};

// The ruler values of the special empires.
constexpr float kSpaceRuler[5] = {0.0f, 0.0f, 1e6f, 1.5e10f, 1.5e10f};
constexpr float kPirateRuler[5] = {0.95f, 0.2f, 0.95f, 2.9f, 45.0f};

// A draw of the process-wide generator, below `count`.
size_t drawBelow(size_t count) { return static_cast<size_t>(processRandom()) % count; }

template <class Line>
bool readModFile(const char* path, std::vector<Line>& lines) {
  const ModInfo* mod = getCurrentModInfo();
  if (mod != nullptr && readTextDataFile(mod->resolvePath(path), lines))
    return true;
  return readTextDataFile(path, lines);
}

// A word of two hexadecimal digits; any other length gives 0, any other
// character counts as 0.
uint32_t hexByte(const irr::core::stringc& word) {
  if (word.size() != 2)
    return 0;
  uint32_t value = 0;
  for (irr::u32 i = 0; i < 2; ++i) {
    const char c = word[i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<uint32_t>(c - 'A' + 10);
    value = value * 16 + digit;
  }
  return value;
}

// The k-th colour of the set in ascending order.
std::set<uint32_t>::iterator randomColor() {
  if (empireColors.empty())
    loadEmpireColors();
  auto it = empireColors.begin();
  std::advance(it, static_cast<long>(drawBelow(empireColors.size())));
  return it;
}

void setRuler(empire* emp, const wchar_t* nameKey, const float (&values)[5]) {
  emp->emperor.name = getLocalizedText(nameKey);
  for (int i = 0; i < 5; ++i)
    emp->emperor.values[i] = values[i];
}

// Steps shared by the pirates and the remnants.
void prepareSpecial(empire* emp) {
  emp->updateTraitVariables();
  if (emp->researchWeb != nullptr)
    emp->researchWeb->initialise(emp);
  emp->updateSubSystems();
}

// A special empire with its ID, name, colour and ruler.
empire* makeSpecial(EmpireID id, const wchar_t* nameKey, size_t colorIndex, const wchar_t* rulerKey,
                    const float (&ruler)[5]) {
  empire* emp = new empire();
  takeNextOwnBit(emp);
  emp->name = getLocalizedText(nameKey);
  emp->ID = id;
  emp->reserved = true;
  emp->color = reservedColors[colorIndex];
  setRuler(emp, rulerKey, ruler);
  return emp;
}

}  // namespace

Emperor::Emperor() { pickRandomName(); }

void Emperor::pickRandomName() {
  const wchar_t* title = kTitles[drawBelow(4)];
  const wchar_t* given = kGivenNames[drawBelow(6)];
  name = title;
  name += L" ";
  name += given;
}

void loadEmpireNames() {
  empireNames.clear();
  std::vector<irr::core::stringw> lines;
  if (!readModFile(kNamesFile, lines))
    return;
  for (irr::core::stringw& line : lines) {
    line.trim(L" \t\n\r");
    if (line.size() > 0)
      empireNames.push_back(line);
  }
}

void loadEmpireColors() {
  empireColors.clear();
  std::vector<irr::core::stringc> lines;
  if (readModFile(kColorsFile, lines)) {
    for (size_t i = 0; i < lines.size(); ++i) {
      std::vector<irr::core::stringc> words;
      if (splitWordsQuoted(lines[i], words) != 4)
        continue;
      const uint32_t color =
          hexByte(words[0]) << 24 | hexByte(words[1]) << 16 | hexByte(words[2]) << 8 | hexByte(words[3]);
      if (i < kReservedColorLines)
        reservedColors.push_back(color);
      else
        empireColors.insert(color);
    }
  }
  if (empireColors.empty())
    empireColors.insert(kWhite);
  if (reservedColors.empty())
    reservedColors.assign(std::begin(kDefaultReservedColors), std::end(kDefaultReservedColors));
  // A file with fewer than three reserved lines still leaves a colour for
  // each special empire.
  for (size_t i = reservedColors.size(); i < kReservedColorLines; ++i)
    reservedColors.push_back(kDefaultReservedColors[i]);
}

void clearEmpireNames() { empireNames.clear(); }

irr::core::stringw pickRandomEmpireName() {
  if (empireNames.empty())
    return kNoName;
  return empireNames[drawBelow(empireNames.size())];
}

uint32_t pickRandomEmpireColor() { return *randomColor(); }

void empire::takeRandomName() {
  if (empireNames.empty()) {
    name = kNoName;
    return;
  }
  const size_t index = drawBelow(empireNames.size());
  name = empireNames[index];
  empireNames.erase(empireNames.begin() + static_cast<long>(index));
}

void empire::takeRandomColor() {
  const auto chosen = randomColor();
  color = *chosen;
  empireColors.erase(chosen);
}

void createSpecialEmpires() {
  if (reservedColors.size() < kReservedColorLines)
    loadEmpireColors();

  empire* space = makeSpecial(kSpaceEmpireID, L"#NM_Space", 0, L"#NM_Nature", kSpaceRuler);
  space->valid = false;
  registerEmpire(space, true);
  getUnknownHullLayout();

  empire* pirates = makeSpecial(254, L"#NM_Pirates", 1, L"#NM_PirateLord", kPirateRuler);
  prepareSpecial(pirates);
  registerEmpire(pirates, true);

  empire* remnants = makeSpecial(253, L"#NM_Remnants", 2, L"#NM_Nature", kSpaceRuler);
  prepareSpecial(remnants);
  registerEmpire(remnants, true);

  nextEmpireID = 1;
  loadEmpireNames();
  loadEmpireColors();
}

hull_list* getUnknownHullLayout() {
  empire* space = getEmpireByID(kSpaceEmpireID);
  // An empty design passes with allowInvalid: no sub-systems, role 0, which
  // the placeholder then overrides.
  hull_list* layout = new hull_list(layout_desc(), space, true);
  layout->name = kUnknownHullLayout;
  layout->role = HullRole_Combat;
  ScopedWriteLock guard(space->locks[EA_HullLayouts]);
  NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(space->hulls, kUnknownHullLayout);
  if (entry.value != nullptr)
    entry.value->drop();
  entry.value = layout;  // the table holds the layout's first reference
  return layout;
}
