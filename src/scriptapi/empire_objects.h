// Two scoped walkers over an empire's business, on both engines:
//
//   type "TreatyList"     the empire's pending diplomatic messages, oldest
//       first, with its treaties and proposals. prepare takes the empire's
//       treaties area for writing and keeps it until the next prepare or the
//       release: no thread takes that area while it holds a system lock.
//       retract withdraws this empire's own proposal to the other empire;
//       setAcceptance answers the other empire's proposal to this one (1
//       accepted, 2 rejected; a network client sends the answer on). Both do
//       nothing for this empire itself or a proposal of the wrong side.
//       getTreaty past the count gives null.
//   type "EmpireObjects"  the empire's objects. prepare copies the object
//       set, one reference per object, under a short read hold of the
//       objects area, and holds no lock after it: a script may prepare it on
//       a galaxy thread that holds its system's lock, while empire commands
//       take the objects area before system locks. The references go at the
//       next prepare or the release; an object destroyed meanwhile is still
//       handed out (its isValid() false). getObject without an empire raises
//       "Attempted to access invalid object list"; at the end it is null.
//
// bindEmpireObjectsScriptType also adds to Empire "Object@
// getFleetCommander(const string &)", "Object@ getFleetCommander(uint)"
// (the commander of the fleet of that name or index, null when none) and
// "uint getFleetsCount()".
#pragma once

// After the treaty members (names DiploMsg, Treaty and Empire).
void bindTreatyListScriptType();
// After the object bindings (names Object).
void bindEmpireObjectsScriptType();
