// Script XML files: the script types `XMLReader` (a forward-only node
// reader), `XMLWriter` (a streaming writer), `XMLList` (the XML files of one
// folder) and the enum `XML_Node` (see script_xml_io.h for the file format).
//
// Scripts name a file by its bare name, optionally under sub-folders
// ("units", "saves/alpha"); the folder of the calling script's engine and the
// extension ".xml" are added here: "Game Data/Script Data/" on the server
// engine, "Script Data/" on the client engine, both relative to the working
// directory (files are read through the engine's file system). A name
// holding any of ".:%{}?" (or a NUL) is refused; "\" is taken as a folder
// separator. Names reach the disk as UTF-8.
//
// The script library raises "Null pointer access" in the calling script when
// a factory that takes arguments (as all three do) returns a null handle:
// even `XMLReader@ r = XMLReader("x"); if (r is null) ...` stops at the
// construction, before its test. (Only a factory without arguments may give
// null.) So the factories never give one: a file that cannot be read gives
// a reader without nodes, and one that cannot be made a writer that writes
// nothing (logged).
#pragma once

#include <angelscript.h>

// "Game Data/Script Data/" for the server engine, else "Script Data/".
const char* scriptDataFolder(AngelScript::asIScriptEngine* engine);

// Registers XML_Node, XMLReader, XMLWriter and XMLList on the client engine
// and then on the server engine. The string type must be registered first.
void registerXmlBindings();
