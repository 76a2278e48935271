// The temporary hull: interface scripts try a design out (is it valid, why
// not, how much space does it use, what are its figures) without filing it
// as one of the empire's layouts. Registered as global functions of the
// client engine only (registerTempHullFunctions):
//
//   "void addSubSysToTempHull(const subSystemDef@,float,const pos2df &in)"
//   "void addSubSysToTempHull(const subSystemDef@,float,const pos2df &in, int)"
//                            appends {definition, scale, position, link};
//                            the link stays only for a definition with
//                            alter hooks (else -1). A null definition:
//                            exception "Null subSystemDef@ when adding
//                            system to temp HullLayout", nothing appended
//   "const HullLayout@ finalizeTempHull(float)"
//                            makes the layout of the pending entries at
//                            design scale s for the active empire (none:
//                            the empire with ID 255), every rule checked.
//                            Success: the new temporary layout, no error
//                            text, the space pair untouched. A space fault:
//                            null, its text, the pair (used / s, hull / s).
//                            Any other fault: null, its text, (0, 0). The
//                            pending design is reset in every case
//   "void freeTempHull()"    no temporary layout (the space pair becomes
//                            (0, 0) when there was one); the pending design
//                            is reset; the error text stays
//   "string@ getTempHullError()"            the last error text, or null
//   "void getTempHullSpace(float&, float&)" the last space pair: used, total
//   "void setTempHullTargetScale(float,float[,bool])"
//   "void setTempHullTargetDamage(float,float[,bool])"
//   "void setTempHullOrbitTargets(bool)"
//   "void setTempHullAllowTargets(bool, bool)"
//   "void setTempHullDepositTargets(bool, bool)"
//   "void setTempHullAllowFetch(bool)"
//                            change the current temporary layout; nothing
//                            without one
//
// Scripts may keep a temporary layout's handle (handles of layouts are not
// counted) after a later finalize or free has replaced it, so a replaced
// layout is kept until the game session ends: freeTempHulls, in the
// session's tear-down before the empires go, frees every one of them with
// the current one and starts the builder afresh for the next session.
#pragma once

void registerTempHullFunctions();

// Frees every temporary layout of the session and resets the builder.
void freeTempHulls();
