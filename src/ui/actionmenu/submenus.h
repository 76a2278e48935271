// The entries of the context action menu that open a sub-menu of choices
// taken from game data: build one of the player's designs, build a
// structure on a planet, join or select one of the player's fleets, choose a
// planet's governor, use one of a ship's tools.
//
// Each picker gives its sub-menu a fixed element id and binds that id to
// itself in the GUI callback map, so that a choice in the sub-menu reaches
// its OnEvent; it erases the binding when destroyed. A picker holds one
// reference on the clicked object from the moment it offers its entry until
// the sub-menu reports a choice or its closing.
//
// A choice arrives after the world may have changed: it is checked again
// against the lists it came from (an index out of range, a design or fleet
// that is gone, a planet that changed owner do nothing).
//
// Shift builds five items instead of one; Ctrl hands the choice to the
// client script module "gui" ("multiBuild"), once. A network client asks
// its server to queue (request 117) instead of queueing itself.
#pragma once

#include <cstdint>

#include "gui/base/gui_callbacks.h"
#include "ui/actionmenu/action_list.h"

class hull_list;
class solarSystem;

// The sub-menus' element ids.
constexpr int32_t kBuildShipsMenuId = -69999;
constexpr int32_t kBuildStructuresMenuId = -69998;
constexpr int32_t kJoinFleetMenuId = -69997;
constexpr int32_t kSelectFleetMenuId = -69996;
constexpr int32_t kUseToolMenuId = -69995;
constexpr int32_t kGovernorMenuId = -69994;

// The governor sub-menu's first item: the governor on or off.
constexpr int32_t kGovernorToggleCommand = -2;

// Items a Shift choice builds.
constexpr uint32_t kShiftBuildCount = 5;

// The pickers, each new with no command id yet (CGUIActionList::addPicker
// gives it one).
IGUIActionPicker* newBuildShipsPicker();
IGUIActionPicker* newBuildStructuresPicker();
IGUIActionPicker* newJoinFleetPicker();
IGUIActionPicker* newSelectFleetPicker();
IGUIActionPicker* newGovernorPicker();
IGUIActionPicker* newUseToolPicker();

// Queues `count` ships of `layout` over the player's planets of `system`,
// best planet first: a planet's score is its structure count over its
// queued items plus one. Each round the highest score takes an item (a
// planet with score 0 never does), and keeps taking them until its score
// falls to that of the planet it displaced as best, which then takes the
// next and a new round begins. Nothing without a planet of the player
// there. Holds the system's lock throughout.
void distributeShipsToBestPlanets(solarSystem* system, uint32_t count, hull_list* layout);
