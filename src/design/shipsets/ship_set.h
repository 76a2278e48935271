// Ship sets: named visual styles for ships. A set is a rule file that picks
// a model name for a ship from its hull's role, size and tags, beside a
// folder of graphics descriptors of the same name:
//
//   Game Data/ShipSets/standard.txt        the rules
//   Game Data/ShipSets/standard/           "shaders.txt", "materials.txt",
//                                          "models.txt"
//
// Rule lines (read as data-file lines: comments and blank lines go):
//   if <formula> {      a block asked when the formula is above 0, up to "}"
//   if <formula>        the same, covering what follows up to the next model
//   tag <name> {        a block asked when the hull carries the tag
//   tag <name>          the same, braceless
//   }                   closes the innermost block (a stray one is ignored)
//   <anything> = <model>   a model name
// Formulas see "PC.<role>" (the hull role table: "Civilian" 0 ... "Station"
// 7), "LV.class" (the role of the object's hull layout, 5 without one) and
// "LV.scale" (the object's radius squared). The first model a set's rules
// give, top to bottom, is the object's; none gives "ERROR".
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include "core/formula.h"
#include "core/named_values.h"
#include "core/names.h"

class generic_object;

// Role name -> role number, as hull layouts carry them. Filled on the first
// set load; an existing entry keeps its value.
NamedValues& hullRoleTable();

class IShipSet {
 public:
  virtual ~IShipSet() = default;
  // The model name for `object` (never empty: "ERROR" when no rule gives one).
  virtual irr::core::stringw getModel(generic_object* object) = 0;
};

// One rule of a set.
class ShipSetItem {
 public:
  virtual ~ShipSetItem() = default;
  // The model this item gives for `object`, or null. `variables` holds the
  // "PC" and "LV" namespaces.
  virtual const irr::core::stringw* getModel(NamedList* variables, generic_object* object) = 0;
};

// A model line: always gives its model.
class ShipSetModel : public ShipSetItem {
 public:
  explicit ShipSetModel(const irr::core::stringw& model) : model(model) {}
  const irr::core::stringw* getModel(NamedList* variables, generic_object* object) override;

  irr::core::stringw model;
};

// An "if" block: its children are asked in order when the condition is
// above 0.
class ShipSetConditional : public ShipSetItem {
 public:
  ShipSetConditional() = default;
  ~ShipSetConditional() override;  // deletes the children
  const irr::core::stringw* getModel(NamedList* variables, generic_object* object) override;
  // Appends a child (owned); null is ignored.
  virtual void addItem(ShipSetItem* item);

  formula condition;
  irr::core::array<ShipSetItem*> items;  // owned

 protected:
  // The first answer of the children, or null.
  const irr::core::stringw* askChildren(NamedList* variables, generic_object* object);
};

// A "tag" block: its children are asked when the object's hull layout
// carries `tagName` (never for an object without one).
class ShipSetTag : public ShipSetConditional {
 public:
  explicit ShipSetTag(const irr::core::stringw& tagName) : tagName(tagName) {}
  const irr::core::stringw* getModel(NamedList* variables, generic_object* object) override;

  irr::core::stringw tagName;
};

class CShipSet : public IShipSet {
 public:
  CShipSet() = default;
  ~CShipSet() override;  // deletes the items
  CShipSet(const CShipSet&) = delete;
  CShipSet& operator=(const CShipSet&) = delete;

  irr::core::stringw getModel(generic_object* object) override;

  irr::core::array<ShipSetItem*> items;  // top level, owned
};

// The registered sets, by name.
NamedVar<IShipSet*>::Registry& shipSetRegistry();
// The set registered under `name`, or null.
IShipSet* findShipSet(const irr::core::stringw& name);

// Loads the set whose rule file is `path`: its name is the file's base name
// without extension, its descriptors are in the folder of that name beside
// the file. A file that cannot be read registers nothing; a set of a name
// already registered stays (the new file's rules are not read).
void loadShipSets(const irr::core::stringc& path);
// Deletes every registered set and empties the registry (session end).
void clearShipSets();
