// Graphics resources in game sessions: what the data registers reaches the
// planet types and the sub-system definitions that wait for it, and an
// unknown name gives the error resources.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/game_session.h"
#include "core/user_folders.h"
#include "design/subsystems/sub_system_def.h"
#include "gfx/gfx_resources.h"
#include "session_fixture.h"
#include "universe/planets/planet_types.h"

namespace gfx_session_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringc;
using irr::core::stringw;

// Test descriptor readers: every line of a file names one material or one
// model (on the error arrow's mesh).
template <class Register>
void eachLine(const stringc& path, Register&& registerName) {
  std::ifstream in(path.c_str());
  std::string line;
  while (std::getline(in, line))
    if (!line.empty())
      registerName(stringw(line.c_str()));
}

void readMaterials(const stringc& path) {
  eachLine(path, [](const stringw& name) {
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, name).value = new irr::video::SMaterial;
  });
}

void readModels(const stringc& path) {
  eachLine(path, [](const stringw& name) {
    NamedVar<ModelRef*>::getOrAdd(gfxResources.models, name).value = new ModelRef(gfxResources.errorModel.mesh);
  });
}

// What a running session's data gave.
struct Seen {
  std::atomic<bool> taken{false};
  bool terranHasTheRegisteredModel = false;
  bool barrenHasTheErrorModel = false;
  bool everySubSystemHasTheMaterial = false;
  bool everySubSystemHasTheErrorMaterial = false;
  std::size_t subSystems = 0;
};

void look(Seen& seen) {
  const PlanetPhysicalType* terran = getPlanetType(L"Terran");
  const PlanetPhysicalType* barren = getPlanetType(L"Barren");
  seen.terranHasTheRegisteredModel = terran != nullptr && terran->model != nullptr &&
                                     terran->model != &gfxResources.errorModel &&
                                     terran->model == getModelRef(L"rock_model");
  seen.barrenHasTheErrorModel = barren != nullptr && barren->model == &gfxResources.errorModel;
  const irr::video::SMaterial* generic = getMaterial(L"GenericSubSys");
  seen.everySubSystemHasTheMaterial = generic != &gfxResources.errorMaterial;
  seen.everySubSystemHasTheErrorMaterial = true;
  seen.subSystems = subSystemDefsByID.size();
  for (const auto& entry : subSystemDefsByID) {
    seen.everySubSystemHasTheMaterial &= entry.second->appearance == generic;
    seen.everySubSystemHasTheErrorMaterial &= entry.second->appearance == &gfxResources.errorMaterial;
  }
  seen.taken = true;
}

class GfxSession : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    gfxLoadHooks.loadMaterialDescriptors = readMaterials;
    gfxLoadHooks.loadModelDescriptors = readModels;
  }
  void TearDown() override {
    gfxLoadHooks = GfxLoadHooks();
    SessionTest::TearDown();
  }

  // A mod with its own planet types (Terran's model registered, Barren's
  // unknown) and, with `withMaterial`, a material file naming
  // "GenericSubSys".
  void installMod(bool withMaterial) {
    const fs::path mod = fs::path(userDataFolder.c_str()) / "Corvane/Mods/gfx";
    fs::remove_all(mod);
    fs::create_directories(mod / "Game Data/Materials");
    fs::create_directories(mod / "Game Data/Models");
    std::ofstream(mod / "modinfo.txt") << "Name: Gfx\n";
    std::ofstream(mod / "Game Data/Models/models.txt") << "rock_model\n";
    std::ofstream(mod / "Game Data/Materials/materials.txt") << (withMaterial ? "GenericSubSys\nother\n" : "other\n");

    std::ifstream base(CORVANE_SOURCE_DIR "/data/Game Data/PlanetTypes.xml");
    std::string types((std::istreambuf_iterator<char>(base)), std::istreambuf_iterator<char>());
    for (const auto& [tag, model] : {std::pair<std::string, std::string>{"<tag name=\"Terran\">", "rock_model"},
                                     {"<tag name=\"Barren\">", "nope"}}) {
      const std::size_t at = types.find(tag);
      ASSERT_NE(at, std::string::npos) << tag;
      types.insert(at + tag.size(), "<model name=\"" + model + "\"/>");
    }
    std::ofstream(mod / "Game Data/PlanetTypes.xml") << types;
  }
};

std::vector<std::string> strings(const std::vector<stringc>& list) {
  std::vector<std::string> out;
  for (const stringc& path : list)
    out.emplace_back(path.c_str());
  return out;
}

TEST_F(GfxSession, DescriptorListsComeFromTheirFoldersThenFromEveryShipSetsFolder) {
  // A mod with descriptor folders of its own and a second ship set whose
  // folder has a models file only.
  installMod(true);
  const fs::path mod = fs::path(userDataFolder.c_str()) / "Corvane/Mods/gfx";
  fs::create_directories(mod / "Game Data/Shaders");
  fs::create_directories(mod / "Game Data/Sounds");
  fs::create_directories(mod / "Game Data/ShipSets/alpha");
  std::ofstream(mod / "Game Data/Shaders/b.TXT") << "\n";
  std::ofstream(mod / "Game Data/Shaders/a.txt") << "\n";
  std::ofstream(mod / "Game Data/Shaders/notes.md") << "\n";
  std::ofstream(mod / "Game Data/Sounds/sounds.txt") << "\n";
  std::ofstream(mod / "Game Data/ShipSets/alpha.txt") << "all = hull\n";
  std::ofstream(mod / "Game Data/ShipSets/alpha/models.txt") << "\n";
  scanMods();
  currentModName = "Gfx";
  mountDataFolders(false, "");
  applyCurrentMod();

  const std::string ours = stringc(userDataFolder + "/Corvane/Mods/gfx/Game Data/").c_str();
  const std::string standard = "Game Data/ShipSets/standard/";
  // A set's own shaders are read by the set's loader, not listed here.
  EXPECT_EQ(strings(sessionDataFiles.shaderDescriptors),
            (std::vector<std::string>{ours + "Shaders/a.txt", ours + "Shaders/b.TXT", "Game Data/Shaders/shaders.txt"}));
  EXPECT_EQ(strings(sessionDataFiles.materialDescriptors),
            (std::vector<std::string>{ours + "Materials/materials.txt", standard + "materials.txt"}));
  EXPECT_EQ(strings(sessionDataFiles.modelDescriptors),
            (std::vector<std::string>{ours + "Models/models.txt", ours + "ShipSets/alpha/models.txt",
                                      standard + "models.txt"}));
  EXPECT_EQ(strings(sessionDataFiles.soundDescriptors), std::vector<std::string>{ours + "Sounds/sounds.txt"});
  clearModTables();
}

TEST_F(GfxSession, PlanetTypesAndSubSystemsTakeWhatTheDataRegisters) {
  for (const bool withMaterial : {true, false}) {
    SCOPED_TRACE(withMaterial);
    installMod(withMaterial);
    scanMods();
    currentModName = "Gfx";
    Seen seen;
    SessionEnder ender([&seen] {
      if (!seen.taken)
        look(seen);
      return true;
    });
    EXPECT_EQ(runGameSession("spiral.as"), 0);
    ASSERT_TRUE(seen.taken);
    EXPECT_TRUE(seen.terranHasTheRegisteredModel);
    EXPECT_TRUE(seen.barrenHasTheErrorModel);
    EXPECT_GT(seen.subSystems, 0u);
    EXPECT_EQ(seen.everySubSystemHasTheMaterial, withMaterial);
    EXPECT_EQ(seen.everySubSystemHasTheErrorMaterial, !withMaterial);
    // The session's end emptied the registry.
    EXPECT_EQ(gfxResources.materials.size(), 0u);
    EXPECT_EQ(gfxResources.models.size(), 0u);
  }
}

}  // namespace

}  // namespace gfx_session_test
