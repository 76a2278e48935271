// The script types of game objects (registerObjectBindings), on the server
// engine and then the client engine:
//   type "Object"   a counted reference type: a script handle holds a
//                   reference on the game object (add-ref generic_object::
//                   grab, release generic_object::drop), so the object's
//                   memory outlives its destruction while a script holds it
//   type "SysRef"   a sub-system of an object: an uncounted reference type
//                   (the object keeps its sub-systems; empty add-ref and
//                   release)
//   type "Planet"   a planet (objHabitation), counted like "Object"
// It also lets the script value printer name the objects that "Object@"
// handles point at.
#pragma once

void registerObjectBindings();
