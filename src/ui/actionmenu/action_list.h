// The context action menu: a right click on a game object opens a menu of
// the actions that make sense for the pair (first selected object, clicked
// object).
//
// An action list owns its entry providers (pickers), each with a command id
// given in the order they are added, from 1. show asks every picker in turn
// to add its items; the first item creates the engine's context menu (id
// -70000) at the cursor. Separators are added only behind an item that is
// not a separator, and a trailing one is taken away, so they never lead,
// trail or stand twice in a row. A menu with no item is never left open.
//
// While a menu is open the list holds one reference on each of the two
// objects and one engine reference on the menu. The engine removes a context
// menu by itself once an item is chosen; the list's reference keeps it alive
// until close() lets go of it. Choosing an item runs the one picker with that
// command id under the objects' container locks, then closes the menu.
//
// Main thread only: the lists and the menu have no lock. Object tests and
// actions hold the objects' container locks, since galaxy threads tick them.
#pragma once

#include <IEventReceiver.h>
#include <irrString.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace irr::gui {
class IGUIContextMenu;
}
class generic_object;

// The menu's element id.
constexpr int32_t kContextMenuId = -70000;

// Capability flags of the object tests.
enum PickerCapability : uint32_t {
  PC_None = 0,
  PC_Movable = 1,      // no mover, or a mobile one
  PC_Commandable = 2,  // has an order queue
};

// Owner rules of the object tests, against the local player's empire.
enum PickerOwnerRule : int32_t {
  POR_Any = 0,
  POR_Own = 1,
  POR_Allied = 2,
  POR_Neutral = 3,
  POR_Enemy = 4,
  POR_Unowned = 5,
};

// The object test of every generic picker: not null, of `kind` (0: any),
// passing the owner rule and having every capability of `flags`.
bool passesObjectTest(generic_object* object, int kind, int32_t ownerRule, uint32_t flags);

// Creates the menu in `menu` at the cursor when it is still null.
irr::gui::IGUIContextMenu* ensureContextMenu(irr::gui::IGUIContextMenu*& menu);

// An entry provider.
class IGUIActionPicker {
 public:
  virtual ~IGUIActionPicker() = default;
  // Adds this picker's items to the menu when it applies, creating the menu
  // through `menu` (ensureContextMenu) before its first item.
  virtual void addEntries(generic_object* first, generic_object* clicked, irr::gui::IGUIContextMenu*& menu) = 0;
  // Runs the action after the player chose this picker's item.
  virtual void run(generic_object* /*first*/, generic_object* /*clicked*/) {}

  int32_t commandId = 0;
};

// A separator, added only behind an item that is not one.
class CGUISeparator : public IGUIActionPicker {
 public:
  void addEntries(generic_object* first, generic_object* clicked, irr::gui::IGUIContextMenu*& menu) override;
};

// What the first object does to the clicked one. Never offered for a
// single object (first == clicked).
class CGUIObjTargAction : public IGUIActionPicker {
 public:
  using Action = void (*)(generic_object* first, generic_object* clicked);
  using Test = bool (*)(generic_object* first, generic_object* clicked);
  struct FirstTest {
    int kind;
    int32_t owner;
    uint32_t flags;
  };
  struct ClickedTest {
    int kind;
    int32_t owner;
  };
  // `labelKey` is a "#RM_" key, turned into text now.
  CGUIObjTargAction(const wchar_t* labelKey, FirstTest firstTest, ClickedTest clickedTest, Action action,
                    Test available = nullptr, Test checked = nullptr);

  void addEntries(generic_object* first, generic_object* clicked, irr::gui::IGUIContextMenu*& menu) override;
  void run(generic_object* first, generic_object* clicked) override;

  irr::core::stringw label;

 private:
  FirstTest first_;
  ClickedTest clicked_;
  Action action_;
  Test available_;
  Test checked_;
};

// An action on the clicked object alone.
class CGUIObjSelfAction : public IGUIActionPicker {
 public:
  using Action = void (*)(generic_object* clicked);
  using Test = bool (*)(generic_object* clicked);
  // Without `lockForAction` the action runs without the clicked object's
  // lock: it takes the locks it needs itself, one at a time.
  CGUIObjSelfAction(const wchar_t* labelKey, int kind, int32_t owner, uint32_t flags, Action action,
                    Test available = nullptr, bool lockForAction = true);

  void addEntries(generic_object* first, generic_object* clicked, irr::gui::IGUIContextMenu*& menu) override;
  void run(generic_object* first, generic_object* clicked) override;

  irr::core::stringw label;

 private:
  int kind_;
  int32_t owner_;
  uint32_t flags_;
  Action action_;
  Test available_;
  bool lockForAction_;
};

class IGUIActionList {
 public:
  virtual ~IGUIActionList() = default;
  virtual bool OnEvent(const irr::SEvent& event) = 0;
  virtual void show(generic_object* first, generic_object* clicked) = 0;
};

class CGUIActionList : public IGUIActionList {
 public:
  CGUIActionList() = default;
  ~CGUIActionList() override;
  CGUIActionList(const CGUIActionList&) = delete;
  CGUIActionList& operator=(const CGUIActionList&) = delete;

  // Takes the picker, gives it the next command id.
  void addPicker(IGUIActionPicker* picker);
  bool OnEvent(const irr::SEvent& event) override;
  void show(generic_object* first, generic_object* clicked) override;
  // Takes the menu away and lets go of the objects.
  void close();

  irr::gui::IGUIContextMenu* menu() const { return menu_; }
  generic_object* firstObject() const { return first_; }
  generic_object* clickedObject() const { return clicked_; }
  const std::vector<std::unique_ptr<IGUIActionPicker>>& pickers() const { return pickers_; }
  IGUIActionPicker* pickerById(int32_t id) const;

 private:
  void releaseObjects();

  std::vector<std::unique_ptr<IGUIActionPicker>> pickers_;
  int32_t nextId_ = 1;
  std::map<int32_t, IGUIActionPicker*> byId_;
  irr::gui::IGUIContextMenu* menu_ = nullptr;
  generic_object* first_ = nullptr;
  generic_object* clicked_ = nullptr;
};

// The session's lists (in practice one).
extern std::vector<std::unique_ptr<CGUIActionList>> actionLists;

// The cached client-script function ids of the menu (-50: not looked up
// yet, -15: the module is missing), reset at every showContextActionMenu.
enum ContextScriptFunction { CSF_MultiBuildObject, CSF_MultiBuildSystem, CSF_MultiBuildStructure, CSF_ManageQueue };
extern int32_t contextScriptFunctions[4];

// Makes the session's list, binds the menu's id in the GUI callback map and
// adds the pickers (addContextPickers). Rows that a network client leaves
// out are left out when the process is a client now.
void buildContextActionMenu();
// Destroys every list (closing an open menu) and unbinds the menu's id.
void clearActionLists();
// Opens the menu of the first list for the pair; nothing without a list.
void showContextActionMenu(generic_object* first, generic_object* clicked);
// The GUI callback of the menu's id: each list's OnEvent until one takes
// the event. Always false.
bool dispatchActionMenuEvent(const irr::SEvent& event);
// "void rightClickMenu(Object@,Object@)" on the client engine.
void registerRightClickMenu();
