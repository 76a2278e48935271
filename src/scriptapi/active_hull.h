// The active hull: the design that scripts build up call by call and then
// finalise under a name into a hull layout of the active empire.
//
// Registered as global functions on the server engine and then the client
// engine, each declaration in turn (registerActiveHullFunctions):
//
//   "void clearActiveHull()"                       scale 1.0, no sub-systems,
//                                                  targeting defaults; the
//                                                  metadata stays
//   "void addSysToActiveHull(const subSystemDef@, float, const pos2df &in)"
//   "void addSysToActiveHull(const subSystemDef@, float, const pos2df &in, int)"
//                                                  appends {definition, scale,
//                                                  position, link}; the link
//                                                  stays only for a definition
//                                                  with an "Alters" entry
//   "void setActiveHullScale(float)"               the design scale (above 0)
//   "void setActiveHullMetaData(int)"
//   "void setActiveHullTargetScale(float,float)"   range set, not exclusive
//   "void setActiveHullTargetDamage(float,float)"  range set, not exclusive
//   "void setActiveHullTargetScale(float,float,bool)"
//   "void setActiveHullTargetDamage(float,float,bool)"
//   "void setActiveHullOrbitTargets(bool)"
//   "void setActiveHullAllowTargets(bool, bool)"   ships, planets
//   "void setActiveHullDepositTargets(bool, bool)"
//   "void setActiveHullAllowFetch(bool)"
//   "bool finalizeActiveHull(const string &)"      makes and files the layout
//
// Each thread has an active hull of its own, so that the empire AI on the
// frame loop and the server modules on their worker can design at the same
// moment without mixing their designs. Finalising does not reset it: a
// script may finalise variants by changing it between calls.
//
// Finalising cleans the name up as "hullEscape" does, makes the layout for
// the active empire with every design rule checked, and files it in the
// empire's layout table under the hull layouts area (taken for writing
// before the layout is made, so the table never changes under another
// lock). A name already in the table gives the next revision, which
// replaces the old layout (empire::replaceHull). Misuse raises a script
// exception on the calling context:
//   "Added null subSystemDef@ to layout", "Attempted to set a hull scale
//   <= 0" (the scale is kept), "Null string@ finalizing hull" (false).
// A rejected design logs "Attempted to create invalid hull '<name>'\n
// Error: <text>\n" at the error level and gives false.
#pragma once

void registerActiveHullFunctions();
