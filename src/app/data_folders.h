// The data a game session loads, collected from the data folders.
//
// mountDataFolders gives each data folder a handler that picks the files the
// session needs; applying the mod (applyCurrentMod, core/user_folders.h) then
// hands each handler the folder's files, a mod's file taking the place of the
// base file of the same name. Folders and what their handlers take:
//
//   "Game Data/"                "SpecialFX.txt" and "Settings.txt" (any case)
//                               into their single paths
//   "Game Data/scripts/server/" ".as" files (any case) into the server scripts
//   "Game Data/scripts/shared/" ".as" files into the server scripts, and again
//                               into the client scripts
//   "Game Data/Sub Systems/", "Game Data/Effects/", "Game Data/Effectors/",
//   "Game Data/Technologies/",
//   "Game Data/ShipSets/",
//   "Game Data/Particles/"      ".txt" files into their lists (only the files
//                               directly in the folder: a ship set's folder
//                               of descriptors beside its file is not listed)
//   "Game Data/Shaders/", "Game Data/Materials/", "Game Data/Models/",
//   "Game Data/Sounds/"         graphics and sound descriptors: ".txt" files
//                               into their lists, read by the graphics
//                               start-up (shaders, then materials, models
//                               and sounds); then, from "Game Data/ShipSets/",
//                               each set's "<set>/materials.txt" and
//                               "<set>/models.txt" beside its set file, when
//                               present, in set order after the folder's own
//                               files (a set's "<set>/shaders.txt" is read by
//                               loadShipSets, not listed here)
//   "Maps/"                     new games only: the file named by the map
//                               script name, into the map script path
//
// Within a list, files come in the order of their lower-cased names. The
// session empties each list and path once it has used it.
#pragma once

#include <irrString.h>

#include <vector>

struct SessionDataFiles {
  std::vector<irr::core::stringc> serverScripts;
  std::vector<irr::core::stringc> clientScripts;
  std::vector<irr::core::stringc> technologies;
  std::vector<irr::core::stringc> effects;
  std::vector<irr::core::stringc> effectors;
  std::vector<irr::core::stringc> subSystems;
  std::vector<irr::core::stringc> shipSets;  // the ship sets' rule files
  // The graphics start-up's descriptor files.
  std::vector<irr::core::stringc> shaderDescriptors;
  std::vector<irr::core::stringc> materialDescriptors;
  std::vector<irr::core::stringc> modelDescriptors;
  std::vector<irr::core::stringc> soundDescriptors;
  // The particle-system definition files.
  std::vector<irr::core::stringc> particleSystems;
  // Filled only by the GUI subsystem, when it has script modules to add.
  std::vector<irr::core::stringc> guiScripts;

  irr::core::stringc specialEffectsFile;
  irr::core::stringc formulaConstantsFile;
  // New games: the map script name, then the full path of that file when
  // "Maps/" holds it.
  irr::core::stringc mapScriptPath;
};
extern SessionDataFiles sessionDataFiles;

// Empties the lists and paths, and registers the handlers above (the "Maps/"
// one only with `newGame`, which also sets the map script path to
// mapScriptName(mapName)). Applying the current mod runs them.
void mountDataFolders(bool newGame, const irr::core::stringc& mapName);

// The map script file a map name names: ".as" appended unless it ends so in
// any case, then lower-cased ("Spiral.AS" and "spiral" give "spiral.as").
irr::core::stringc mapScriptName(const irr::core::stringc& mapName);

// A single data file's path ("Game Data/treaties.xml") as the active mod
// provides it: the mod's own file, else that of a mod it derives from, else
// the path itself. Without a mod, the path itself.
irr::core::stringc resolveDataPath(const irr::core::stringc& path);
