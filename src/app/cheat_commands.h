// The cheat and debugging console commands: see everything, make ships, add
// resources and empire stats, destroy objects, change owners and empire
// colours, list an object's stats and states, and send the camera to an
// object.
//
// All but set_owner are gated by `svCheats` (app/base/session_state.h): while
// it is off they print kCheatsGateMessage and do nothing else. A wrong
// argument count prints the command's help and, while cheats are off, the
// gate message too (create_ship prints only its help); the gate comes before
// every other check. The commands act on the selection (ui/selection.h) and
// on the local player's empire (`activeEmpire`); without either they say so
// and change nothing.
#pragma once

#include <vector3d.h>

#include "app/base/console.h"

class generic_object;

// "  sv_cheats must be enabled to use this command"
extern const wchar_t* const kCheatsGateMessage;

// sv_cheats [0/1]: alone prints "sv_cheats %i" and the help; a network
// client refuses ("sv_cheats is server-mandated"); otherwise 0 or 1.
void svCheatsCommand(const ConsoleArgs& args);
// emp_see_all [0/1]: the local player's empire sees every object.
void empSeeAllCommand(const ConsoleArgs& args);
// create_ship <layout>: a ship of the layout just beyond the selected
// object, on the line from the origin through it (at (100, 0, 0) when the
// object stands at the origin), owned by the object's owner, else by the
// local player's empire.
void createShipCommand(const ConsoleArgs& args);
// Where create_ship puts a ship whose layout has `layoutRadius`: p scaled by
// (object radius + |p| + layoutRadius + 5) / |p|, p being the object's
// position (the origin for a star system, whose ships go inside it), and
// (100, 0, 0) when p is the origin.
irr::core::vector3df createShipPlacement(const generic_object& object, float layoutRadius);
void addResourceCommand(const ConsoleArgs& args);
void addEmpStatCommand(const ConsoleArgs& args);
// destroy [UID]: the first selected object, or the object with that UID (0
// or an unknown UID does nothing).
void destroyCommand(const ConsoleArgs& args);
// set_owner <empire ID>: not gated.
void setOwnerCommand(const ConsoleArgs& args);
void setEmpColCommand(const ConsoleArgs& args);
void listStatsCommand(const ConsoleArgs& args);
void listStatesCommand(const ConsoleArgs& args);
// zoom_to <UID>: the game camera follows the object's graphics object;
// nothing for an object without one.
void zoomToCommand(const ConsoleArgs& args);
