// The script face of fleets: the counted type "Fleet" (a FleetAI), the
// enumeration "FleetFormation", the Empire fleet rows and HulledObj's
// getFleet (bindFleetScriptType, after the object bindings).
//
//   enum "FleetFormation"  "FF_Wall" 0, "FF_Box" 1, "FF_Escort" 2,
//                          "FF_Wedge" 3
//   type "Fleet"           counted on the fleet's own count: add-ref takes a
//                          reference, release gives one back (a script
//                          handle never hands the command on)
//     "string@ getName() const"
//     "void setName(const string &) const"   re-lists the fleet under the new
//                          name in its commander's owner's fleet table
//                          (replacing a fleet listed there); nothing for a
//                          fleet without a commander
//     "void addMember(Object@+) const", "void removeMember(Object@+) const"
//                          with the member's lock; addMember refuses the
//                          fleet's commander and other fleets' commanders
//                          (error log lines)
//     "uint getMemberCount() const", "Object@ getMember(uint) const" (null
//     past the end), "Object@ getCommander() const" (null without one)
//     "void giveUpCommand() const"  the commander gets its unit AI back;
//                          the first member that can takes command
//     "FleetFormation getFormation() const"
//     "void setFormation(FleetFormation) const"  client engine: only for a
//                          fleet whose commander the active empire owns
//   Empire "Fleet@+ getFleet(uint) const" (null past the end),
//          "Fleet@+ createFleet(Object@+) const", "uint getFleetCount() const"
//   HulledObj "Fleet@+ getFleet() const"  the fleet a ship commands or
//                          belongs to, or null
//
// createFleet makes a new fleet of one of the empire's own ships whose AI is
// a unit AI, outside a network client; it is listed as "Fleet <n>" and
// becomes the ship's AI. Anything else gives null and changes nothing.
//
// Locks. A ship's AI is replaced (createFleet, giveUpCommand) under the
// ship's lock, so the galaxy thread of its system never ticks an AI being
// swapped. The order is: a system lock, then a fleet's lock, then the
// empire's fleets area.
#pragma once

void bindFleetScriptType();
