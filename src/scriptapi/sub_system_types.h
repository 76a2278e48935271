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
//  server engine and then the client engine unless marked "server":
//   subSystemDef              "string@ getName() const" (display name)
//                             "uint ID" (property)
//   globals                   "uint getSubSystemCount()"
//                             "const subSystemDef@ getSubSystemDef(uint)"
//                               past the end: "Accessed invalid Sub System
//                               Definition index", null
//                             "const subSystemDef@ getSubSystemDefByName(
//                               const string &)": null when unknown; a null
//                               string raises "Null string@ accessing sub
//                               system definition list"
//                             "const subSystemDef@ getSubSystemDefByID(uint)"
//                               unknown: "Invalid subSystemDef ID", null
//   subSystem                 "bool hasVariable(const string &) const"
//                             "float getVariable(const string &) const"
//                             "void setVariable(const string &, float)"  server
//                             "bool hasCost(const string &) const"
//                             "float getCost(const string &) const"
//                             "void setCost(const string &, float)"      server
//   enum "SubSystemEvalMode"  server: "SSVM_Costs" 0, "SSVM_Consumes" 1,
//                             "SSVM_Requires" 2, "SSVM_Hints" 3,
//                             "SSVM_Provisions" 4 (the step of an
//                             evaluation that an alter hook is called for)
//
// The members by name: "has" answers from the definition alone; an absent
// name reads 0.0 and writes nothing, with no exception. An instance without
// its value block raises "SubSystem Variable list not yet initialized" (or
// "SubSystem Cost ...") from get and set, and they read 0.0 or write nothing.
#pragma once

void registerSubSystemBindings(bool typesOnly);
