#include "app/data_folders.h"

#include "core/save_stream.h"
#include "core/user_folders.h"
#include "platform/directory.h"

using irr::core::stringc;

SessionDataFiles sessionDataFiles;

namespace {

constexpr char kScriptExtension[] = ".as";
constexpr char kDataExtension[] = ".txt";

// Appends, in name order, the files of the folder whose names end with
// `extension` in any case.
DataFolderHandler collectInto(std::vector<stringc>& list, const char* extension) {
  return [&list, extension](const DataFolderFiles& files) {
    for (const auto& [name, path] : files)
      if (narrowEndsWithNoCase(name, extension))
        list.push_back(path);
  };
}

// Sets `path` to the folder's file called `name` (any case), when present.
void takeFile(const DataFolderFiles& files, stringc name, stringc& path) {
  name.make_lower();
  const auto found = files.find(name);
  if (found != files.end())
    path = found->second;
}

// A ship set's material and model descriptors: "materials.txt" and
// "models.txt" in the folder named after its set file, beside that file,
// when present. The set's "shaders.txt" is not listed: the set loader
// (loadShipSets) reads it itself, quietly, so that it is read once.
DataFolderHandler collectShipSetDescriptors(SessionDataFiles& data) {
  return [&data](const DataFolderFiles& files) {
    const struct {
      const char* name;
      std::vector<stringc>& list;
    } kinds[] = {{"materials.txt", data.materialDescriptors}, {"models.txt", data.modelDescriptors}};
    for (const auto& [name, path] : files) {
      if (!narrowEndsWithNoCase(name, kDataExtension))
        continue;
      const stringc folder = path.subString(0, path.size() - (sizeof(kDataExtension) - 1)) + "/";
      for (const auto& kind : kinds)
        if (plat::isRegularFile((folder + kind.name).c_str()))
          kind.list.push_back(folder + kind.name);
    }
  };
}

}  // namespace

stringc mapScriptName(const stringc& mapName) {
  stringc name = mapName;
  if (!narrowEndsWithNoCase(name, kScriptExtension))
    name += kScriptExtension;
  name.make_lower();
  return name;
}

void mountDataFolders(bool newGame, const stringc& mapName) {
  SessionDataFiles& data = sessionDataFiles;
  data = SessionDataFiles();

  registerDataFolderHandler("Game Data/", [&data](const DataFolderFiles& files) {
    takeFile(files, "SpecialFX.txt", data.specialEffectsFile);
    takeFile(files, "Settings.txt", data.formulaConstantsFile);
  });
  registerDataFolderHandler("Game Data/scripts/server/", collectInto(data.serverScripts, kScriptExtension));
  registerDataFolderHandler("Game Data/scripts/shared/", collectInto(data.serverScripts, kScriptExtension));
  registerDataFolderHandler("Game Data/scripts/shared/", collectInto(data.clientScripts, kScriptExtension));
  registerDataFolderHandler("Game Data/Sub Systems/", collectInto(data.subSystems, kDataExtension));
  registerDataFolderHandler("Game Data/Effects/", collectInto(data.effects, kDataExtension));
  registerDataFolderHandler("Game Data/Effectors/", collectInto(data.effectors, kDataExtension));
  registerDataFolderHandler("Game Data/Technologies/", collectInto(data.technologies, kDataExtension));
  registerDataFolderHandler("Game Data/ShipSets/", collectInto(data.shipSets, kDataExtension));
  // Graphics and sound descriptors.
  registerDataFolderHandler("Game Data/Shaders/", collectInto(data.shaderDescriptors, kDataExtension));
  registerDataFolderHandler("Game Data/Materials/", collectInto(data.materialDescriptors, kDataExtension));
  registerDataFolderHandler("Game Data/Models/", collectInto(data.modelDescriptors, kDataExtension));
  registerDataFolderHandler("Game Data/Sounds/", collectInto(data.soundDescriptors, kDataExtension));
  registerDataFolderHandler("Game Data/ShipSets/", collectShipSetDescriptors(data));
  // Particle-system definitions.
  registerDataFolderHandler("Game Data/Particles/", collectInto(data.particleSystems, kDataExtension));

  if (newGame) {
    data.mapScriptPath = mapScriptName(mapName);
    registerDataFolderHandler("Maps/", [&data, name = data.mapScriptPath](const DataFolderFiles& files) {
      takeFile(files, name, data.mapScriptPath);
    });
  }
}

stringc resolveDataPath(const stringc& path) {
  const ModInfo* mod = getCurrentModInfo();
  return mod != nullptr ? mod->resolvePath(path) : path;
}
