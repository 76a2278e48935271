// The script type `Empire`: an empire of the session (the global empire
// list owns it; scripts hold it without counting), with the lookups that
// hand empires out and the type name `HullLayout` (its members come with the
// object bindings).
//
// Registered on the server engine and then the client engine, declaration
// by declaration, in this order:
//   type "Empire" (reference type, empty add-ref and release)
//   "string@ getName() const"          the empire's name
//   "bool isValid() const"             the valid flag
//   "bool isAI() const"                no player controls it
//   "bool isReserved() const"          a special empire
//   "const int8 ID"                    the 8-bit ID (255, 254, 253 read as
//                                      -1, -2, -3)
//   "Color color"                      the colour (only where the type
//                                      `Color` exists)
//   "void regScriptData(const string &, const string &)"
//                                      attaches a script AI: module name,
//                                      class name (registerEmpireAI)
//   the diplomacy enumerations, "DiploMsg" and sendMessage
//                                      (diplomacy_script_types.h)
//   "Empire@ getEmpire(uint)"          the empire at that index of the
//                                      global list; past the end the script
//                                      exception "Out of bounds when getting
//                                      empire by index" and null. The client
//                                      engine's returns a const handle.
//   "uint getEmpireCount()"            empires listed, special ones included
//   type "HullLayout" (reference type, empty add-ref and release)
//   "float getSetting(const string &) const"   0 when never set
//   "void setSetting(const string &, float)"
//   "Empire@ getActiveEmpire()"        the local player's empire, or null
//   "Empire@ getEmpireByID(int)"       the listed empire of that ID, else the
//                                      default empire (never null; also for
//                                      an ID outside 0-255, as -1). The
//                                      client engine's returns a const
//                                      handle.
#pragma once

void bindEmpireScriptType();
