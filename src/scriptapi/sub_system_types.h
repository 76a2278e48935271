// The script types that sub-system hooks are declared with, on the server
// engine only (registerSubSystemTypes):
//   type "subSystem"            a sub-system instance: an uncounted
//                               reference type (its owner keeps it; empty
//                               add-ref and release)
//   enum "SubSystemEvalMode"    the step of an evaluation that an alter hook
//                               is called for: "SSVM_Costs" 0,
//                               "SSVM_Consumes" 1, "SSVM_Requires" 2,
//                               "SSVM_Hints" 3, "SSVM_Provisions" 4
// Together they let scripts declare hooks such as
// "void f(subSystem@,SubSystemEvalMode,float)", which planet conditions and
// sub-system definitions name.
#pragma once

void registerSubSystemTypes();
