#include "ui/actionmenu/action_list.h"

#include <angelscript.h>
#include <irrlicht.h>

#include "app/base/engine.h"
#include "core/locale.h"
#include "empire/empire.h"
#include "gui/base/gui_callbacks.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "ui/actionmenu/context_entries.h"
#include "universe/objects/game_object.h"

using irr::gui::IGUIContextMenu;

std::vector<std::unique_ptr<CGUIActionList>> actionLists;
int32_t contextScriptFunctions[4] = {-50, -50, -50, -50};

namespace {

bool passesOwnerRule(const generic_object& object, int32_t rule) {
  empire* owner = object.getOwner();
  empire* player = activeEmpire.load();
  switch (rule) {
    case POR_Own:
      return player != nullptr && owner == player;
    case POR_Allied:
      return player != nullptr && owner != nullptr && player->getRelation(owner)->allied;
    case POR_Neutral: {
      if (player == nullptr || owner == nullptr)
        return false;
      const EmpireRelation* relation = player->getRelation(owner);
      return !relation->allied && !relation->enemy;
    }
    case POR_Enemy:
      return player != nullptr && owner != nullptr && player->getRelation(owner)->enemy;
    case POR_Unowned:
      return owner == nullptr || !owner->isValid();
    default:
      return true;
  }
}

// The last item is a separator (separators have no text).
bool endsWithSeparator(IGUIContextMenu* menu) {
  const irr::u32 count = menu->getItemCount();
  return count > 0 && menu->getItemText(count - 1)[0] == 0;
}

// Holds the container locks of one or two objects for a scope (re-entrant,
// so two objects of one system are fine).
class PairLock {
 public:
  PairLock(generic_object* a, generic_object* b) : a_(a), b_(b) {
    if (a_ != nullptr)
      a_->lockContainer();
    if (b_ != nullptr)
      b_->lockContainer();
  }
  ~PairLock() {
    if (b_ != nullptr)
      b_->unlockContainer();
    if (a_ != nullptr)
      a_->unlockContainer();
  }
  PairLock(const PairLock&) = delete;
  PairLock& operator=(const PairLock&) = delete;

 private:
  generic_object* a_;
  generic_object* b_;
};

}  // namespace

bool passesObjectTest(generic_object* object, int kind, int32_t ownerRule, uint32_t flags) {
  if (object == nullptr)
    return false;
  if (kind != 0 && object->getType() != kind)
    return false;
  if (!passesOwnerRule(*object, ownerRule))
    return false;
  if ((flags & PC_Movable) != 0 && object->mover != nullptr && object->mover->getKind() != 2)
    return false;
  if ((flags & PC_Commandable) != 0 && object->ai == nullptr)
    return false;
  return true;
}

IGUIContextMenu* ensureContextMenu(IGUIContextMenu*& menu) {
  if (menu == nullptr && engine.gui != nullptr) {
    irr::core::position2di at(0, 0);
    if (engine.cursor != nullptr)
      at = engine.cursor->getPosition();
    menu = engine.gui->addContextMenu(irr::core::recti(at.X, at.Y, at.X + 1, at.Y + 1), nullptr, kContextMenuId);
  }
  return menu;
}

void CGUISeparator::addEntries(generic_object*, generic_object*, IGUIContextMenu*& menu) {
  if (menu != nullptr && menu->getItemCount() > 0 && !endsWithSeparator(menu))
    menu->addSeparator();
}

CGUIObjTargAction::CGUIObjTargAction(const wchar_t* labelKey, FirstTest firstTest, ClickedTest clickedTest,
                                     Action action, Test available, Test checked)
    : label(getLocalizedText(labelKey)),
      first_(firstTest),
      clicked_(clickedTest),
      action_(action),
      available_(available),
      checked_(checked) {}

void CGUIObjTargAction::addEntries(generic_object* first, generic_object* clicked, IGUIContextMenu*& menu) {
  if (first == nullptr || clicked == nullptr || first == clicked)
    return;
  const PairLock lock(first, clicked);
  if (!passesObjectTest(first, first_.kind, first_.owner, first_.flags) ||
      !passesObjectTest(clicked, clicked_.kind, clicked_.owner, PC_None))
    return;
  if (available_ != nullptr && !available_(first, clicked))
    return;
  const bool check = checked_ != nullptr && checked_(first, clicked);
  if (ensureContextMenu(menu) != nullptr)
    menu->addItem(label.c_str(), commandId, true, false, check);
}

void CGUIObjTargAction::run(generic_object* first, generic_object* clicked) {
  if (first == nullptr || clicked == nullptr || action_ == nullptr)
    return;
  const PairLock lock(first, clicked);
  action_(first, clicked);
}

CGUIObjSelfAction::CGUIObjSelfAction(const wchar_t* labelKey, int kind, int32_t owner, uint32_t flags,
                                     Action action, Test available, bool lockForAction)
    : label(getLocalizedText(labelKey)),
      kind_(kind),
      owner_(owner),
      flags_(flags),
      action_(action),
      available_(available),
      lockForAction_(lockForAction) {}

void CGUIObjSelfAction::addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) {
  if (clicked == nullptr)
    return;
  const PairLock lock(clicked, nullptr);
  if (!passesObjectTest(clicked, kind_, owner_, flags_))
    return;
  if (available_ != nullptr && !available_(clicked))
    return;
  if (ensureContextMenu(menu) != nullptr)
    menu->addItem(label.c_str(), commandId, true, false, false);
}

void CGUIObjSelfAction::run(generic_object*, generic_object* clicked) {
  if (clicked == nullptr || action_ == nullptr)
    return;
  if (!lockForAction_) {
    action_(clicked);
    return;
  }
  const PairLock lock(clicked, nullptr);
  action_(clicked);
}

CGUIActionList::~CGUIActionList() { close(); }

void CGUIActionList::addPicker(IGUIActionPicker* picker) {
  picker->commandId = nextId_++;
  byId_[picker->commandId] = picker;
  pickers_.emplace_back(picker);
}

IGUIActionPicker* CGUIActionList::pickerById(int32_t id) const {
  const auto found = byId_.find(id);
  return found != byId_.end() ? found->second : nullptr;
}

void CGUIActionList::releaseObjects() {
  generic_object* first = first_;
  generic_object* clicked = clicked_;
  first_ = clicked_ = nullptr;
  if (first != nullptr)
    first->drop();
  if (clicked != nullptr)
    clicked->drop();
}

void CGUIActionList::close() {
  if (menu_ != nullptr) {
    IGUIContextMenu* menu = menu_;
    menu_ = nullptr;
    menu->remove();
    menu->drop();
  }
  releaseObjects();
}

void CGUIActionList::show(generic_object* first, generic_object* clicked) {
  close();
  if (first != nullptr)
    first->grab();
  if (clicked != nullptr)
    clicked->grab();
  first_ = first;
  clicked_ = clicked;

  IGUIContextMenu* menu = nullptr;
  for (const std::unique_ptr<IGUIActionPicker>& picker : pickers_)
    picker->addEntries(first, clicked, menu);
  if (menu == nullptr) {
    releaseObjects();
    return;
  }
  if (menu->getItemCount() == 0) {
    menu->remove();  // the environment held the only reference
    releaseObjects();
    return;
  }
  menu->grab();
  menu_ = menu;
  if (endsWithSeparator(menu))
    menu->removeItem(menu->getItemCount() - 1);
}

bool CGUIActionList::OnEvent(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || menu_ == nullptr || event.GUIEvent.Caller != menu_)
    return false;
  switch (event.GUIEvent.EventType) {
    case irr::gui::EGET_ELEMENT_CLOSED:
      close();
      return true;
    case irr::gui::EGET_MENU_ITEM_SELECTED: {
      IGUIContextMenu* chosen = menu_;
      const irr::s32 item = chosen->getSelectedItem();
      IGUIActionPicker* picker =
          item >= 0 ? pickerById(chosen->getItemCommandId(static_cast<irr::u32>(item))) : nullptr;
      if (picker != nullptr) {
        // The objects stay alive while the picker runs, even when what it
        // calls opens the menu again (which lets go of this pair).
        generic_object* first = first_;
        generic_object* clicked = clicked_;
        if (first != nullptr)
          first->grab();
        if (clicked != nullptr)
          clicked->grab();
        picker->run(first, clicked);
        if (first != nullptr)
          first->drop();
        if (clicked != nullptr)
          clicked->drop();
      }
      // A menu opened by the picker stays open.
      if (menu_ == chosen)
        close();
      return true;
    }
    default:
      return true;
  }
}

void buildContextActionMenu() {
  auto list = std::make_unique<CGUIActionList>();
  CGUIActionList& made = *list;
  actionLists.push_back(std::move(list));
  bindGuiCallbackFunction(dispatchActionMenuEvent, kContextMenuId);
  addContextPickers(made, isNetworkClient());
}

void clearActionLists() {
  // Closed first, while every list still exists: a menu event raised by a
  // removal finds its list.
  for (const std::unique_ptr<CGUIActionList>& list : actionLists)
    list->close();
  actionLists.clear();
  removeGuiCallback(kContextMenuId);
}

void showContextActionMenu(generic_object* first, generic_object* clicked) {
  if (!actionLists.empty())
    actionLists.front()->show(first, clicked);
  for (int32_t& id : contextScriptFunctions)
    id = -50;
}

bool dispatchActionMenuEvent(const irr::SEvent& event) {
  for (size_t i = 0; i < actionLists.size(); ++i)
    if (actionLists[i]->OnEvent(event))
      break;
  return false;
}

namespace {

// Script natives taking Object@ give back the handles' references.
void rightClickMenuNative(generic_object* first, generic_object* clicked) {
  showContextActionMenu(first, clicked);
  if (first != nullptr)
    first->drop();
  if (clicked != nullptr)
    clicked->drop();
}

}  // namespace

void registerRightClickMenu() {
  using namespace AngelScript;
  if (clientScriptEngine == nullptr)
    return;
  checked(clientScriptEngine)
      .RegisterGlobalFunction("void rightClickMenu(Object@,Object@)", asFUNCTION(rightClickMenuNative),
                              asCALL_CDECL);
}
