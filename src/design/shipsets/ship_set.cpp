#include "design/shipsets/ship_set.h"

#include <vector>

#include "core/data_file.h"
#include "design/hull_list.h"
#include "gfx/shader_desc.h"
#include "universe/objects/game_object.h"
#include "universe/ships/ship.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

// The role names formulas of every set read as "PC.<name>".
struct RoleName {
  const wchar_t* name;
  HullRole role;
};
constexpr RoleName kRoleNames[] = {
    {L"Civilian", HullRole_Civilian},     {L"Cargo", HullRole_Cargo},           {L"Transport", HullRole_Transport},
    {L"CivStation", HullRole_CivStation}, {L"ColonyShip", HullRole_ColonyShip}, {L"Combat", HullRole_Combat},
    {L"Carrier", HullRole_Carrier},       {L"Station", HullRole_Station},
};

// The role an object without a hull layout counts as.
constexpr float kNoLayoutClass = static_cast<float>(HullRole_Combat);

const stringw kNoModel(L"ERROR");

// Adds the role names missing from the table (an entry already there keeps
// its value). Only the first successful load does it.
void fillHullRoleTable() {
  static bool filled = false;
  if (filled)
    return;
  filled = true;
  NamedValues& table = hullRoleTable();
  for (const RoleName& entry : kRoleNames)
    table.addDefault(entry.name, static_cast<float>(entry.role));
}

// The hull layout of `object` when it is a ship, else null.
hull_list* layoutOf(generic_object* object) {
  if (object == nullptr || object->getType() != OT_Hulled)
    return nullptr;
  auto* ship = dynamic_cast<objHulled*>(object);
  return ship != nullptr ? ship->getHull() : nullptr;
}

bool startsWith(const stringw& line, const wchar_t* word) {
  for (irr::u32 i = 0; word[i] != 0; ++i)
    if (i >= line.size() || line[i] != word[i])
      return false;
  return true;
}

// The text of an "if" or "tag" line after its keyword (`skip` characters):
// up to the first "{" when there is one (then `braced`), trimmed.
stringw blockText(const stringw& line, irr::u32 skip, bool& braced) {
  const irr::s32 brace = line.findNext(L'{', skip);
  braced = brace >= 0;
  const irr::u32 end = braced ? static_cast<irr::u32>(brace) : line.size();
  stringw text = line.subString(skip, end - skip);
  text.trim();
  return text;
}

// The part of a path after its last folder separator.
irr::s32 lastSeparator(const stringc& path) {
  const irr::s32 slash = path.findLast('/');
  const irr::s32 backslash = path.findLast('\\');
  return slash > backslash ? slash : backslash;
}

// Builds a set's items from its rule lines.
class RuleParser {
 public:
  RuleParser(CShipSet& set, const char* file) : set_(set), file_(file) {}

  void parse(const std::vector<NumberedLine>& lines) {
    for (const NumberedLine& line : lines)
      parseLine(line);
  }

 private:
  struct OpenBlock {
    ShipSetConditional* block;
    bool braced;
  };

  void parseLine(const NumberedLine& numbered) {
    const stringw& line = numbered.text;
    if (startsWith(line, L"}")) {
      if (!open_.empty())
        open_.pop_back();
      return;
    }
    if (startsWith(line, L"if")) {
      bool braced = false;
      auto* conditional = new ShipSetConditional();
      compileFormula(conditional->condition, blockText(line, 2, braced));
      openBlock(conditional, braced);
      return;
    }
    if (startsWith(line, L"tag")) {
      bool braced = false;
      openBlock(new ShipSetTag(blockText(line, 3, braced)), braced);
      return;
    }
    const irr::s32 equals = line.findFirst(L'=');
    if (equals < 0)
      return;
    const irr::u32 start = static_cast<irr::u32>(equals) + 1;
    stringw model = line.subString(start, line.size() - start);
    model.trim();
    if (model.size() == 0) {
      // A set never gives an empty model name: the line is left out.
      logDataFileWarning(file_, numbered.line, nullptr, "Ship set model line without a model name\n");
      return;
    }
    add(new ShipSetModel(model));
    // Blocks without braces cover up to (and including) this model line.
    while (!open_.empty() && !open_.back().braced)
      open_.pop_back();
  }

  void add(ShipSetItem* item) {
    if (open_.empty())
      set_.items.push_back(item);
    else
      open_.back().block->addItem(item);
  }

  void openBlock(ShipSetConditional* block, bool braced) {
    add(block);
    open_.push_back({block, braced});
  }

  CShipSet& set_;
  const char* file_;
  std::vector<OpenBlock> open_;  // innermost last
};

}  // namespace

NamedValues& hullRoleTable() {
  static NamedValues table;
  return table;
}

// --- Items ---------------------------------------------------------------

const stringw* ShipSetModel::getModel(NamedList*, generic_object*) { return &model; }

ShipSetConditional::~ShipSetConditional() {
  for (irr::u32 i = 0; i < items.size(); ++i)
    delete items[i];
}

void ShipSetConditional::addItem(ShipSetItem* item) {
  if (item != nullptr)
    items.push_back(item);
}

const stringw* ShipSetConditional::askChildren(NamedList* variables, generic_object* object) {
  for (irr::u32 i = 0; i < items.size(); ++i)
    if (const stringw* model = items[i]->getModel(variables, object))
      return model;
  return nullptr;
}

const stringw* ShipSetConditional::getModel(NamedList* variables, generic_object* object) {
  if (evaluateFormula(&condition, variables) <= 0.0f)
    return nullptr;
  return askChildren(variables, object);
}

const stringw* ShipSetTag::getModel(NamedList* variables, generic_object* object) {
  const hull_list* layout = layoutOf(object);
  if (layout == nullptr || !layout->hasSystemWithTag(tagName))
    return nullptr;
  return askChildren(variables, object);
}

// --- Sets ----------------------------------------------------------------

CShipSet::~CShipSet() {
  for (irr::u32 i = 0; i < items.size(); ++i)
    delete items[i];
}

stringw CShipSet::getModel(generic_object* object) {
  // The variables live on this call's stack, so any number of threads may
  // ask at once; the role table is only read.
  const hull_list* layout = layoutOf(object);
  const float radius = object != nullptr ? object->radius : 0.0f;
  NamedValues local;
  local.set(L"scale", radius * radius);
  local.set(L"class", layout != nullptr ? static_cast<float>(layout->role) : kNoLayoutClass);
  NameSpaces variables;  // declared after `local`, so it goes first
  variables.setSpace(&hullRoleTable(), L"PC");
  variables.setSpace(&local, L"LV");

  for (irr::u32 i = 0; i < items.size(); ++i)
    if (const stringw* model = items[i]->getModel(&variables, object))
      return *model;
  return kNoModel;
}

NamedVar<IShipSet*>::Registry& shipSetRegistry() {
  static NamedVar<IShipSet*>::Registry registry;
  return registry;
}

IShipSet* findShipSet(const stringw& name) {
  // Filled through getOrAdd only, so always in name order.
  const NamedVar<IShipSet*>::Registry& registry = shipSetRegistry();
  const irr::s32 index = NamedVar<IShipSet*>::findNoSort(registry, name);
  return index < 0 ? nullptr : registry[static_cast<irr::u32>(index)].value;
}

void loadShipSets(const stringc& path) {
  // The set's name is the file's base name without its extension; its
  // graphics descriptors are in the folder of that name beside the file.
  const irr::s32 separator = lastSeparator(path);
  const irr::u32 baseStart = static_cast<irr::u32>(separator + 1);
  stringc baseName = path.subString(baseStart, path.size() - baseStart);
  const irr::s32 dot = baseName.findLast('.');
  if (dot >= 0)
    baseName = baseName.subString(0, static_cast<irr::u32>(dot));
  const stringc folder = path.subString(0, baseStart) + baseName;

  // The set's own shaders; a set may have none. (folder + "/materials.txt"
  // and folder + "/models.txt", in that order, go to the graphics resource
  // loaders here.)
  loadShaderDescriptors(gfxResources, folder + "/shaders.txt", true);

  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments))
    return;
  fillHullRoleTable();

  auto* set = new CShipSet();
  NamedVar<IShipSet*>& entry = NamedVar<IShipSet*>::getOrAdd(shipSetRegistry(), widenText(baseName));
  if (entry.value != nullptr) {
    // The first set of a name stays.
    delete set;
    return;
  }
  entry.value = set;
  RuleParser(*set, path.c_str()).parse(lines);
}

void clearShipSets() {
  NamedVar<IShipSet*>::Registry& registry = shipSetRegistry();
  for (irr::u32 i = 0; i < registry.size(); ++i)
    delete registry[i].value;
  registry.clear();
}
