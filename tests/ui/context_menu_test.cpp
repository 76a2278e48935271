// The context action menu: separators, which rows a network client has and
// their command ids, a choice made with the mouse, the entries offered for
// pairs of objects and what they do, and the requests a network client
// sends in place of acting.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "context_menu_fixture.h"
#include "core/locale.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "empire/empire_commands.h"
#include "gui/base/gui_callbacks.h"
#include "net/empire_messages.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "universe/objects/object_states.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"

namespace contextmenutest {

namespace {

using Items = std::vector<std::wstring>;

// Adds the one item `text` (none for null) and counts its runs.
class StubPicker : public IGUIActionPicker {
 public:
  explicit StubPicker(const wchar_t* text) : text_(text) {}
  void addEntries(generic_object*, generic_object*, irr::gui::IGUIContextMenu*& menu) override {
    if (text_ != nullptr && ensureContextMenu(menu) != nullptr)
      menu->addItem(text_, commandId);
  }
  void run(generic_object*, generic_object*) override { ++runs; }
  int runs = 0;

 private:
  const wchar_t* text_;
};

// A list of stub pickers from a pattern: '-' a separator, '.' a picker that
// adds nothing, any other letter a picker adding that letter.
std::vector<StubPicker*> fill(CGUIActionList& list, const std::wstring& pattern, std::vector<std::wstring>& texts) {
  std::vector<StubPicker*> stubs;
  texts.reserve(pattern.size());
  for (wchar_t c : pattern) {
    if (c == L'-') {
      list.addPicker(new CGUISeparator);
      continue;
    }
    texts.emplace_back(1, c);
    auto* stub = new StubPicker(c == L'.' ? nullptr : texts.back().c_str());
    list.addPicker(stub);
    stubs.push_back(stub);
  }
  return stubs;
}

Items keys(std::initializer_list<const wchar_t*> list) {
  Items items;
  for (const wchar_t* key : list)
    items.emplace_back(key[0] == L'-' ? std::wstring(L"-") : std::wstring(getLocalizedText(key)));
  return items;
}

// A message's stream behind its id byte, as a server's handler reads it.
struct Behind {
  explicit Behind(const std::vector<uint8_t>& bytes) {
    for (size_t i = 1; i < bytes.size(); ++i)
      stream.Write(bytes[i]);
  }
  RakNet::BitStream stream;
};

void noAction(generic_object*, generic_object*) {}
void noSelfAction(generic_object*) {}

class ContextMenu : public ContextMenuTest {
 protected:
  void makeClient() {
    networkManager->isNetworked = true;
    networkManager->isConnected = true;
  }
  // The session's real list, as a game or a client builds it.
  CGUIActionList& realList(bool client = false) {
    if (client)
      makeClient();
    buildContextActionMenu();
    return *actionLists.front();
  }
};

TEST_F(ContextMenu, SeparatorsNeverLeadTrailOrDoubleAndNoItemMakesNoMenu) {
  const struct {
    const wchar_t* pattern;
    Items shown;  // empty: no menu at all
  } rows[] = {
      {L"-a-b--c-", {L"a", L"-", L"b", L"-", L"c"}},
      {L"--.-a", {L"a"}},
      {L"a..-..-b", {L"a", L"-", L"b"}},
      {L"a-.-.", {L"a"}},
      {L"ab-c", {L"a", L"b", L"-", L"c"}},
      {L"...---", {}},
      {L"-", {}},
  };
  TestObject* own = ship();
  const int before = own->refCount.load();
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.pattern, row.pattern + wcslen(row.pattern)));
    CGUIActionList list;
    std::vector<std::wstring> texts;
    fill(list, row.pattern, texts);
    list.show(own, own);
    EXPECT_EQ(itemsOf(list.menu()), row.shown);
    EXPECT_EQ(list.menu() != nullptr, !row.shown.empty());
    EXPECT_EQ(menuInGui(), !row.shown.empty());
    EXPECT_EQ(own->refCount.load(), before + (row.shown.empty() ? 0 : 2));
    list.close();
    EXPECT_FALSE(menuInGui());
    EXPECT_EQ(own->refCount.load(), before);
  }
}

TEST_F(ContextMenu, TheClickedObjectAloneShowsOnlySelfPickers) {
  CGUIActionList list;
  list.addPicker(new CGUIObjTargAction(L"#target", {0, POR_Any, PC_None}, {0, POR_Any}, noAction));
  list.addPicker(new CGUIObjSelfAction(L"#self", 0, POR_Any, PC_None, noSelfAction));
  TestObject* one = ship();
  TestObject* other = ship();
  list.show(one, one);
  EXPECT_EQ(itemsOf(list.menu()), (Items{L"#self"}));
  list.show(one, other);
  EXPECT_EQ(itemsOf(list.menu()), (Items{L"#target", L"#self"}));
  list.show(nullptr, nullptr);  // a null object passes no test
  EXPECT_EQ(list.menu(), nullptr);
}

TEST_F(ContextMenu, ANetworkClientLeavesTheFleetRowsOutAndLaterRowsTakeTheirIds) {
  const auto labelOf = [](IGUIActionPicker* picker) -> std::wstring {
    if (auto* self = dynamic_cast<CGUIObjSelfAction*>(picker))
      return self->label.c_str();
    if (auto* target = dynamic_cast<CGUIObjTargAction*>(picker))
      return target->label.c_str();
    return dynamic_cast<CGUISeparator*>(picker) != nullptr ? L"-" : L"?";
  };
  for (bool client : {false, true}) {
    SCOPED_TRACE(client ? "client" : "game");
    CGUIActionList& list = realList(client);
    ASSERT_EQ(list.pickers().size(), client ? 37u : 43u);
    for (size_t i = 0; i < list.pickers().size(); ++i)
      EXPECT_EQ(list.pickers()[i]->commandId, static_cast<int32_t>(i + 1));
    const struct {
      int id;
      const wchar_t* label;
    } game[] = {{1, L"-"}, {2, L"#RM_Attack"}, {7, L"#RM_Transfer"}, {17, L"#RM_auto_colony_sys"},
                {32, L"#RM_Dock"}, {33, L"-"}, {35, L"#RM_CreateFleet"}, {38, L"#RM_DisbandFleet"},
                {39, L"-"}, {40, L"#RM_ClearOrders"}, {43, L"#RM_Automation"}},
      asClient[] = {{32, L"#RM_Dock"}, {33, L"-"}, {34, L"#RM_ClearOrders"}, {37, L"#RM_Automation"}};
    for (const auto& row : client ? std::vector<std::decay_t<decltype(game[0])>>(std::begin(asClient), std::end(asClient))
                                  : std::vector<std::decay_t<decltype(game[0])>>(std::begin(game), std::end(game)))
      EXPECT_EQ(labelOf(list.pickerById(row.id)), std::wstring(getLocalizedText(row.label))) << "id " << row.id;
    clearActionLists();
    networkManager->isNetworked = networkManager->isConnected = false;
  }
}

TEST_F(ContextMenu, AChoiceByMouseRunsOnePickerClosesTheMenuAndGivesTheObjectsBack) {
  actionLists.push_back(std::make_unique<CGUIActionList>());
  bindGuiCallbackFunction(dispatchActionMenuEvent, kContextMenuId);
  std::vector<std::wstring> texts;
  std::vector<StubPicker*> stubs = fill(*actionLists.front(), L"-a-b-c", texts);
  TestObject* first = ship();
  TestObject* clicked = ship();
  const int firstBefore = first->refCount.load();
  const int clickedBefore = clicked->refCount.load();
  ui->moveMouse(200, 150);
  showContextActionMenu(first, clicked);
  irr::gui::IGUIContextMenu* menu = actionLists.front()->menu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->getAbsolutePosition().UpperLeftCorner, irr::core::position2di(200, 150));
  ASSERT_EQ(itemsOf(menu), (Items{L"a", L"-", L"b", L"-", L"c"}));
  ASSERT_TRUE(clickItem(menu, 2));
  EXPECT_EQ(stubs[0]->runs, 0);
  EXPECT_EQ(stubs[1]->runs, 1);
  EXPECT_EQ(stubs[2]->runs, 0);
  EXPECT_EQ(actionLists.front()->menu(), nullptr);
  EXPECT_FALSE(menuInGui());
  EXPECT_EQ(first->refCount.load(), firstBefore);
  EXPECT_EQ(clicked->refCount.load(), clickedBefore);

  // The same through the real menu: the player's ship, alone, defends.
  clearActionLists();
  CGUIActionList& list = realList();
  showContextActionMenu(first, first);
  menu = list.menu();
  ASSERT_NE(menu, nullptr);
  const Items items = itemsOf(menu);
  const auto at = std::find(items.begin(), items.end(), std::wstring(getLocalizedText(L"#RM_DefendSys")));
  ASSERT_NE(at, items.end());
  ASSERT_TRUE(clickItem(menu, static_cast<irr::u32>(at - items.begin())));
  ASSERT_EQ(first->ai->getOrderCount(), 1u);
  EXPECT_EQ(first->ai->getOrder(0)->getType(), OrdT_Defend);
  EXPECT_FALSE(menuInGui());
  EXPECT_EQ(first->refCount.load(), firstBefore);
}

TEST_F(ContextMenu, EntriesOfferedForPairsOfObjects) {
  solarSystem* home = system();
  solarSystem* far = system(5000.0f);
  TestObject* own = ship(red, home);
  TestObject* ownPlanet = planet(red, home);
  ownPlanet->dockSpace = 10.0f;
  TestObject* foreign = ship(blue, home);
  const struct {
    const char* label;
    generic_object* first;
    generic_object* clicked;
    Items shown;
  } rows[] = {
      {"own ship alone", own, own,
       keys({L"#RM_Park", L"-", L"#RM_Supply", L"-", L"#RM_select_sys", L"#RM_select_combat", L"#RM_select_civ",
             L"#RM_SelectType ", L"-",
             L"#RM_CreateFleet", L"-", L"#RM_DefendSys"})},
      {"own ship on own planet", own, ownPlanet,
       keys({L"#RM_Attack", L"#RM_MoveTo", L"#RM_MoveToSys", L"#RM_Guard", L"#RM_Transfer", L"#RM_Retrofit",
             L"#RM_Scuttle", L"#RM_Park", L"-", L"#RM_Supply", L"-", L"#RM_ManageQueue", L"-", L"#RM_select_sys",
             L"#RM_select_combat", L"#RM_select_civ", L"-", L"#RM_Dock"})},
      {"own ship on a foreign ship", own, foreign,
       keys({L"#RM_Attack", L"#RM_MoveTo", L"#RM_MoveToSys", L"#RM_Park", L"-", L"#RM_select_sys",
             L"#RM_select_combat", L"#RM_select_civ"})},
      {"a system on a system", home, far, keys({L"#RM_Assault", L"-", L"#RM_select_sys"})},
      {"nothing clicked", own, nullptr, keys({L"#RM_Park"})},
  };
  CGUIActionList& list = realList();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    list.show(row.first, row.clicked);
    EXPECT_EQ(itemsOf(list.menu()), row.shown);
    list.close();
  }
}

TEST_F(ContextMenu, AttackMovesToASystemAndAttacksAnythingElse) {
  solarSystem* home = system();
  solarSystem* target = system(8000.0f);
  target->radius = 100.0f;
  TestObject* a = ship(red, home);
  TestObject* b = ship(red, home);
  TestObject* ownPlanet = planet(red, home);
  select(a);
  select(b);
  CGUIActionList& list = realList();
  IGUIActionPicker* attack = list.pickerById(2);

  attack->run(a, target);
  for (TestObject* object : {a, b}) {
    ASSERT_EQ(object->ai->getOrderCount(), 1u);
    auto* order = dynamic_cast<goto_order*>(object->ai->getOrder(0));
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->target, target);
    EXPECT_FLOAT_EQ(order->distance, 90.0f);
  }
  // Anything else is attacked, even the player's own planet; with Shift the
  // order goes behind the goto.
  shiftKeyDown = true;
  controlKeyDown = true;
  attack->run(a, ownPlanet);
  for (TestObject* object : {a, b}) {
    ASSERT_EQ(object->ai->getOrderCount(), 2u);
    auto* order = dynamic_cast<attack_order*>(object->ai->getOrder(1));
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->target, ownPlanet);
    EXPECT_TRUE(order->force);
  }
  // Move-to another object stops at its radius; it replaces the orders.
  shiftKeyDown = controlKeyDown = false;
  list.pickerById(3)->run(a, ownPlanet);
  auto* order = dynamic_cast<goto_order*>(a->ai->getOrder(0));
  ASSERT_EQ(a->ai->getOrderCount(), 1u);
  ASSERT_NE(order, nullptr);
  EXPECT_FLOAT_EQ(order->distance, ownPlanet->radius);
}

TEST_F(ContextMenu, MoveToSendsAFleetCommanderAloneAndClearOrdersStopsTheSelection) {
  solarSystem* home = system();
  TestObject* commander = ship(red, home);
  TestObject* member = ship(red, home);
  TestObject* lone = ship(red, home);
  TestObject* foreign = ship(blue, home);
  auto* fleet = new FleetAI(static_cast<UnitAI*>(commander->ai));
  commander->setAI(fleet);
  fleet->release();
  fleet->addMember(member);
  for (TestObject* object : {commander, member, lone, foreign})
    select(object);
  CGUIActionList& list = realList();
  list.pickerById(3)->run(commander, home);
  EXPECT_EQ(commander->ai->getOrderCount(), 1u);
  EXPECT_EQ(static_cast<UnitAI*>(member->ai)->orders.size(), 0u) << "the member follows its commander";
  EXPECT_EQ(lone->ai->getOrderCount(), 1u);
  EXPECT_EQ(foreign->ai->getOrderCount(), 0u) << "another empire's ship";

  lone->ai->appendOrder(new defend_order());
  list.pickerById(40)->run(lone, lone);
  EXPECT_EQ(lone->ai->getOrderCount(), 1u) << "the standing order stays without Ctrl";
  controlKeyDown = true;
  list.pickerById(40)->run(lone, lone);
  EXPECT_EQ(lone->ai->getOrderCount(), 0u);
  EXPECT_EQ(commander->ai->getOrderCount(), 0u);
}

TEST_F(ContextMenu, DisbandingAFleetLetsEveryShipGoWithoutTouchingAFreedFleet) {
  solarSystem* home = system();
  TestObject* commander = ship(red, home);
  std::vector<TestObject*> members = {ship(red, home), ship(red, home), ship(red, home)};
  auto* fleet = new FleetAI(static_cast<UnitAI*>(commander->ai));
  commander->setAI(fleet);
  fleet->release();  // the commander holds it
  for (TestObject* member : members)
    fleet->addMember(member);
  red->addFleet(fleet);
  CGUIActionList& list = realList();
  list.show(members[1], members[1]);
  const Items items = itemsOf(list.menu());
  EXPECT_NE(std::find(items.begin(), items.end(), getLocalizedText(L"#RM_DisbandFleet")), items.end());
  EXPECT_NE(std::find(items.begin(), items.end(), getLocalizedText(L"#RM_LeaveFleet")), items.end());
  list.close();
  list.pickerById(38)->run(members[1], members[1]);
  for (TestObject* object : {commander, members[0], members[1], members[2]}) {
    auto* unit = dynamic_cast<UnitAI*>(object->ai);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->fleet, nullptr);
    EXPECT_FALSE(object->hasFlag(FLAG_IN_FLEET));
  }
  EXPECT_EQ(red->fleets.size(), 0u);
}

TEST_F(ContextMenu, AutomaticColonisationQueuesOneCommandPerFreePlanet) {
  solarSystem* home = system();
  TestObject* free = planet(nullptr, home);
  CGUIActionList& list = realList();
  IGUIActionPicker* colonise = list.pickerById(17);
  const auto commands = [this]() -> std::vector<ColonizePlanetCommand*> {
    std::vector<ColonizePlanetCommand*> found;
    for (empCommand* command : red->commands)
      if (auto* colonize = dynamic_cast<ColonizePlanetCommand*>(command))
        found.push_back(colonize);
    return found;
  };
  shiftKeyDown = true;
  colonise->run(home, home);
  ASSERT_EQ(commands().size(), 1u);
  EXPECT_EQ(commands()[0]->planet, free);
  EXPECT_TRUE(commands()[0]->toFront);
  EXPECT_EQ(blue->commands.size(), 0u);
  red->clearCommands();

  // Taken before the choice: nothing queued, nothing raised.
  free->setOwner(blue);
  shiftKeyDown = false;
  EXPECT_NO_THROW(colonise->run(home, free));
  EXPECT_EQ(red->commands.size(), 0u);
}

TEST_F(ContextMenu, SupplyAsksForWhatIsShortAndParkTogglesTheSelection) {
  TestObject* own = ship();
  for (const wchar_t* name : {L"Fuel", L"Ammo"}) {
    State* state = addObjectState(own->states, name);
    state->value.val = state->value.max = 10.0f;
  }
  CGUIActionList& list = realList();
  list.pickerById(15)->run(own, own);
  EXPECT_EQ(red->commands.size(), 0u) << "nothing is short";
  own->states[findStateIndex(own->states, L"Ammo")]->value.val = 4.0f;
  controlKeyDown = true;
  list.pickerById(15)->run(own, own);
  ASSERT_EQ(red->commands.size(), 1u);
  auto* supply = dynamic_cast<GiveSuppliesCommand*>(red->commands.front());
  ASSERT_NE(supply, nullptr);
  EXPECT_EQ(supply->target, own);
  EXPECT_EQ(std::wstring(supply->resource->c_str()), L"Ammo");
  EXPECT_FALSE(supply->goFirst) << "Ctrl was held";
  red->clearCommands();

  // Park is checked for a parked ship; choosing it unparks the clicked ship
  // and every selected one.
  TestObject* other = ship();
  select(other);
  for (TestObject* object : {own, other})
    MobileMover::of(object)->setParked(true);
  list.show(own, own);
  const Items items = itemsOf(list.menu());
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items[0], getLocalizedText(L"#RM_Park"));
  EXPECT_TRUE(list.menu()->isItemChecked(0));
  list.pickerById(13)->run(own, own);
  list.close();
  EXPECT_FALSE(MobileMover::of(own)->parked);
  EXPECT_FALSE(MobileMover::of(other)->parked);
}

TEST_F(ContextMenu, ANetworkClientSendsItsRequestsAndActsOnNothingItself) {
  solarSystem* home = system();
  TestObject* own = ship(red, home);
  TestObject* docked = ship(red, home);
  TestObject* ownPlanet = planet(red, home);
  planet(nullptr, home);
  own->dockSpace = 100.0f;
  ASSERT_TRUE(own->dockObject(docked));
  // UIDs below 32768 go in the compact form: a clear bit, then 15 bits.
  ASSERT_LT(own->uid, 32768u);
  ASSERT_LT(ownPlanet->uid, 32768u);
  const auto high = [](uint32_t uid) { return static_cast<uint8_t>(uid >> 8); };
  const auto low = [](uint32_t uid) { return static_cast<uint8_t>(uid & 0xFF); };
  const uint32_t ship = own->uid;
  const uint32_t place = ownPlanet->uid;
  const uint32_t sys = home->uid;

  CGUIActionList& list = realList(true);
  sent.clear();
  // Park: the ship is not parked, so the choice parks it (the flag bit 1).
  list.show(own, own);
  list.pickerById(13)->run(own, own);
  list.close();
  // Undock all (now id 31), the rally point of a planet, the colonisation of
  // the system with Shift.
  list.pickerById(31)->run(own, own);
  list.pickerById(11)->run(ownPlanet, own);
  shiftKeyDown = true;
  list.pickerById(17)->run(home, home);
  shiftKeyDown = false;

  const std::vector<std::vector<uint8_t>> expected = {
      {139, 3, high(ship), low(ship), 0x80},  // 139, park, UID (compact 16 bits), bit 1
      {139, 1, high(ship), low(ship)},        // 139, undock all, UID
      {118, high(place), low(place), 6, high(ship), low(ship)},  // 118, planet, rally point, object
      {136, 1, static_cast<uint8_t>(sys >> 24), static_cast<uint8_t>(sys >> 16), high(sys), low(sys),
       0x80},  // 136, colonise, UID (32 bits), bit: Shift
  };
  ASSERT_EQ(sent.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sent[i].bytes, expected[i]);
    EXPECT_EQ(sent[i].channel, 0);
    EXPECT_EQ(sent[i].reliability, RakNet::RELIABLE_ORDERED);
  }
  // Nothing changed here but the planet's own rally point.
  EXPECT_FALSE(MobileMover::of(own)->parked);
  EXPECT_EQ(own->docked.size(), 1u);
  EXPECT_EQ(red->commands.size(), 0u);
  EXPECT_EQ(ownPlanet->linkedObject, own);

  // The server reads each one and does what was asked.
  networkManager->isConnected = false;
  networkManager->isNetworked = true;
  networkManager->isServer = true;
  NetPlayer player;
  player.emp = red;
  Behind park(sent[0].bytes);
  handleObjectCommand(park.stream, &player);
  EXPECT_TRUE(MobileMover::of(own)->parked);
  Behind undock(sent[1].bytes);
  handleObjectCommand(undock.stream, &player);
  EXPECT_EQ(own->docked.size(), 0u);
  ownPlanet->setLinkedObject(nullptr);
  Behind rally(sent[2].bytes);
  uint32_t planetUid = readNetUInt(rally.stream);
  uint8_t setting = 0;
  ASSERT_TRUE(rally.stream.Read(setting));
  EXPECT_EQ(planetUid, ownPlanet->uid);
  EXPECT_EQ(setting, PSK_RallyPoint);
  EXPECT_EQ(readNetUInt(rally.stream), own->uid);
  Behind colonise(sent[3].bytes);
  handleEmpireCommand(colonise.stream, &player);
  ASSERT_EQ(red->commands.size(), 1u);
  EXPECT_TRUE(dynamic_cast<ColonizePlanetCommand*>(red->commands.front())->toFront);
  red->clearCommands();
}

TEST_F(ContextMenu, RightClickMenuFromAScriptOpensTheMenuForAnyPair) {
  CGUIActionList& list = realList();
  TestObject* own = ship();
  TestObject* foreign = ship(blue);
  const int before = foreign->refCount.load();
  showContextActionMenu(own, foreign);
  EXPECT_NE(list.menu(), nullptr);
  EXPECT_EQ(foreign->refCount.load(), before + 1);
  showContextActionMenu(nullptr, nullptr);
  EXPECT_EQ(list.menu(), nullptr);
  EXPECT_EQ(foreign->refCount.load(), before);
}

}  // namespace

}  // namespace contextmenutest
