// Script AI of empires: an object of a script class of the server engine,
// made for one empire, whose "void tick(Empire@,float)" the empire's step
// calls and whose "void onDiplomaticMessage(Empire@,Empire@,DiploMsg@)"
// hears the empire's diplomatic messages.
#pragma once

#include <irrString.h>

class empire;
class SaveStream;
class ScriptXmlReader;
class ScriptXmlWriter;

// Makes the empire's AI object of class `className` of the server module
// `moduleName` (looked up in the server engine whichever engine the call
// comes from), through the class's factory "<class>@ <class>(Empire@,
// XMLReader@)" when a reader is given and the class has it, else
// "<class>@ <class>(Empire@)". The object is kept in `aiObject` with one
// reference, and its tick and diplomacy methods' ids in `aiTickFunction` and
// `aiMessageFunction` (-1 when the class lacks one).
//
// Each of these ends the call with an error logged and nothing attached:
//   "Empire already has an AI"        (also for a call from inside the
//                                      factory making the empire's AI)
//   "Module '<module>' doesn't exist when registering empire AI"
//   "Empire AI: Invalid object type '<class>'"   (no such script class)
//   "No matching factory function <class>(Empire@)"
//   "Empire AI: The default empire cannot have an AI"   (it outlives
//                                      every session and its engines)
// A missing reader factory logs "No matching factory function
// <class>(Empire@,XMLReader@)" and goes on without the reader. A class
// without tick or without onDiplomaticMessage logs the warning
// "Empire AI: No <class>::tick(Empire@,float)" or "Empire AI: No
// <class>::onDiplomaticMessage(Empire@,Empire@,DiploMsg@)" and is attached.
// A factory that fails or gives null attaches nothing (its exception is
// reported by the context). Runs on the calling thread, on a context of its
// own.
void registerEmpireAI(const irr::core::stringw& moduleName, empire* emp, const irr::core::stringw& className,
                      ScriptXmlReader* reader);

// Writes the names of the empire's AI class into its save record: the name
// of the module that declares the class (the module of its first factory)
// and the class name, each as a narrow string. Then, when `writer` is given
// and the class has "void save(XMLWriter@)", runs that method on the AI
// object with the writer, on the calling thread's server-engine context (a
// script exception is reported by the context). Nothing for an empire
// without an AI object.
void saveEmpireAI(SaveStream& stream, empire* emp, ScriptXmlWriter* writer);
