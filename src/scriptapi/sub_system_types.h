// The script face of sub-systems, registered in two calls by the script
// set-up (registerSubSystemBindings):
//
//  typesOnly = true, before any other binding that names the types:
//   type "subSystemDef"         a sub-system definition (session-long data)
//   type "subSystem"            a sub-system instance (its owner keeps it)
//   both reference types that scripts never count (add-ref and release do
//   nothing), declared on the server engine and then the client engine.
//
//  typesOnly = false, after the other bindings, each declaration on the
//  server engine and then the client engine unless marked "server" or
//  "client":
//   subSystemDef   getName, getDescription (new strings); hasTag (an empty
//                  text raises "subSystemDef tags can never be empty
//                  strings", false); canBuildOn(Object@) (false for null,
//                  else the build test under the object's lock);
//                  getHintCount, getHintName (client; null past the end);
//                  "uint ID"; getTieCount, getTieLevel, getTie (0 or null
//                  past the end)
//   globals        getSubSystemCount, getSubSystemDef (past the end:
//                  "Accessed invalid Sub System Definition index", null),
//                  getSubSystemDefByName (null when unknown; a null string
//                  raises "Null string@ accessing sub system definition
//                  list"), getSubSystemDefByID (unknown: "Invalid
//                  subSystemDef ID", null), getSubSystemReferenceName (the
//                  registry name of the ID; null when unknown)
//   subSystem      get_type; get_ and set_ maxHP, size, level and mass (the
//                  built-in variables "{D}", "{S}", "{L}", "{M}");
//                  "float scale"; trigger (server); then the families
//                  Variable, Cost, Consume, Require and Hint, each: has,
//                  get by name, get by index, count, set by index (server),
//                  set by name (server)
//   enum "SubSystemEvalMode"  server: "SSVM_Costs" 0, "SSVM_Consumes" 1,
//                  "SSVM_Requires" 2, "SSVM_Hints" 3, "SSVM_Provisions" 4
//                  (the step of an evaluation that an alter hook is called
//                  for)
//   SubSystemFactory (script_sub_system_factory.h)
//
// The families: "has" answers from the definition alone. An instance
// without its value block raises "SubSystem <F> list not yet initialized"
// from every other member, which reads 0 or writes nothing; an index past
// the list raises "SubSystem <F> out of range" likewise. An absent name
// reads 0.0 and writes nothing, with no exception. Variables by index
// follow the definition's declaration order. The built-in accessors raise
// the variable family's message when the value block or the variable is
// missing.
//
// registerSubSysRefType adds the members of "SysRef" (a placed
// sub-system's record, used in place): "float HP", "float val1",
// "float val2", "SysState getState() const" and
// "subSystem@ get_system() const", on both engines.
#pragma once

void registerSubSystemBindings(bool typesOnly);
void registerSubSysRefType();
