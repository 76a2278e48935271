// Model descriptor files on the null driver: the message of each faulty
// line (with file and line, the reading going on), what a model without a
// mesh keeps, meshes of one file shared by two models, levels of detail, and
// the firing point and impact region shapes.
#include "gfx/model_desc.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "core/random.h"
#include "gfx/material_desc.h"
#include "gfx/model_particles.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"

namespace model_desc_test {

namespace {

using irr::core::stringw;
using irr::core::vector3df;

size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// One triangle in one buffer.
const char kTriangle[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
// Two triangles in two groups, so two buffers.
const char kTwoParts[] =
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
    "g first\nusemtl one\nf 1 2 3\n"
    "g second\nusemtl two\nf 1 2 4\n";

class ModelDescTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.fileSystem = device_->getFileSystem();
    engine.gui = device_->getGUIEnvironment();
    engine.timer = device_->getTimer();
    initGfxResources(GfxDescriptorLists{}, -1, nullptr);
    dir_ = scratchDir();
    write("meshes/tri.obj", kTriangle);
    write("meshes/two.obj", kTwoParts);
    const std::string materials = write("materials.txt",
                                        "Material: red\nDiffuse: f00\n"
                                        "Material: blue\nDiffuse: 00f\n");
    loadMaterialDescriptors(materials.c_str());
  }
  void TearDown() override {
    descriptorLoadingScreen = nullptr;
    clearGfxResources(gfxResources);
    engine = EngineGlobals{};
    device_->drop();
  }

  std::string write(const std::string& name, const std::string& text) {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  std::string mesh(const char* name) const { return (dir_ / "meshes" / name).string(); }

  static ModelRef* registered(const wchar_t* name) {
    ModelRef** found = findNamedValue<ModelRef*>(gfxResources.models, name);
    return found == nullptr ? nullptr : *found;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  std::filesystem::path dir_;
};

TEST_F(ModelDescTest, FaultyLinesGetTheirMessageWithFileAndLineAndReadingGoesOn) {
  const std::string tri = mesh("tri.obj");
  struct Case {
    std::string text;
    std::string message;  // "%s" stands for the file
  };
  const Case cases[] = {
      {"Model: A\n: x\n", "%s(2) error Md001: Empty Key\n"},
      {"Model: A\nModel: A\n", "%s(2) error Md003: Duplicate Model 'A'\n"},
      {"Model: A\nFile: nowhere.obj\n", "%s(2) error Md004: Model file doesn't exist\n"},
      {"File: " + tri + "\n", "%s(1) error Md005: No model prepared\n"},
      {"Model: A\nScale: 0\n", "%s(2) error Md006: Model scales must be non-zero\n"},
      {"Model: A\nScale: 0, 0, 0\n", "%s(2) error Md007: Model scales must be non-zero\n"},
      {"Model: A\nScale: 1, 2\n", "%s(2) warning Md008: Model scales must have 1 or 3 values\n"},
      {"Model: A\nRotate: 90\n", "%s(2) warning Md009: Model rotations must have 3 angles\n"},
      {"Model: A\nMaterial: green\n", "%s(2) warning Md010: Material 'green' not loaded\n"},
      {"Model: A\nFile: " + tri + "\nFile: " + tri + "\n", "%s(3) warning Md011: Only one file per model\n"},
      {"Model: A\njust words\n", "%s(2) error Md012: Invalid Line\n"},
      {"Model: A\nTranslate: 1, 2\n", "%s(2) warning Md012: Model translations must have 3 angles\n"},
      {"Model: A\nColour: red\n", "%s(2) error Md013: Invalid key \"Colour\"\n"},
      {"Model: L\nModel: A\nLOD: L, 0.5\nLOD: L, 0.25\n",
       "%s(4) warning Md014: Specify additional LODs within the LOD model's descriptor\n"},
      {"Model: A\nLOD: Later, 0.5\nModel: Later\n", "%s(2) error Md015: LOD Model doesn't have a descriptor loaded\n"},
      {"Model: L\nModel: A\nLOD: L, 1\n", "%s(3) error Md051: LOD Distance '1.000000' exceeds bounds (0,1)\n"},
      {"Model: L\nModel: A\nLOD: L, 0\n", "%s(3) error Md051: LOD Distance '0.000000' exceeds bounds (0,1)\n"},
      {"Model: A\nParticleSystem: x\nEndParticleSystem\nParticleSystem: y\nEndParticleSystem\n",
       "%s(4) warning Md016: Only one particle system supported for the moment\n"},
      {"Model: L\nModel: A\nLOD: L\n", "%s(3) error Md050: Model LODs must be specified as model reference, distance\n"},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    clearGfxResources(gfxResources);
    initGfxResources(GfxDescriptorLists{}, -1, nullptr);
    const std::string path =
        write("case" + std::to_string(row++) + ".txt", c.text + "Model: After\nFile: " + tri + "\n");
    LogCapture log;
    loadModelDescriptors(path.c_str());
    const std::string seen = log.take();
    std::string expected = c.message;
    expected.replace(expected.find("%s"), 2, path);
    EXPECT_NE(seen.find(expected), std::string::npos) << seen;
    EXPECT_EQ(occurrences(seen, " Md0"), 1u) << seen;
    EXPECT_NE(seen.find("Loading model descriptors: " + path + "\n"), std::string::npos);
    // The lines after the faulty one are still read.
    ASSERT_NE(registered(L"After"), nullptr);
    EXPECT_NE(registered(L"After")->mesh, gfxResources.errorModel.mesh);
  }
}

TEST_F(ModelDescTest, AModelWithoutAMeshKeepsTheArrowAndNothingElse) {
  const std::string path = write("missing.txt",
                                 "Model: Near\nFile: " + mesh("tri.obj") +
                                     "\n"
                                     "Model: Lost\n"
                                     "File: nowhere.obj\n"
                                     "LOD: Near, 0.5\n"
                                     "Material: red\n"
                                     "Scale: 2\n"
                                     "Firing Point: point, 0, 0, 0, 0, 0, 1, 90\n"
                                     "Impact Point: point, 0, 0, 0, 0, 0, 1, 90\n");
  loadModelDescriptors(path.c_str());
  ModelRef* lost = registered(L"Lost");
  ASSERT_NE(lost, nullptr);
  EXPECT_EQ(lost->mesh, gfxResources.errorModel.mesh);
  EXPECT_EQ(lost->nextLevel, nullptr);
  EXPECT_EQ(lost->firingPoints.size(), 0u);
  EXPECT_EQ(lost->impactRegions.size(), 0u);
  EXPECT_TRUE(modelMaterialMeshes().empty());
  // The arrow is not scaled.
  EXPECT_FLOAT_EQ(gfxResources.errorModel.mesh->getBoundingBox().MaxEdge.Y,
                  registered(L"Lost")->mesh->getBoundingBox().MaxEdge.Y);
  EXPECT_EQ(getModelRef(L"Lost"), lost);
}

TEST_F(ModelDescTest, ModelsOfOneMeshFileKeepTheirOwnVerticesAndMaterials) {
  const std::string tri = mesh("tri.obj");
  const std::string two = mesh("two.obj");
  const std::string path = write("shared.txt",
                                 "Model: Small\nFile: " + tri + "\nScale: 1\nMaterial: red\n"
                                 "Model: Big\nFile: " + tri + "\nScale: 2\nMaterial: blue\n"
                                 "Model: Second\nFile: " + tri + "\nMaterial: red\nMaterial2: blue\n"
                                 "Model: Pair\nFile: " + two + "\nMaterial: red\nMaterial2: blue\n");
  LogCapture log;
  loadModelDescriptors(path.c_str());
  const std::string seen = log.take();
  EXPECT_NE(seen.find("Attempted to apply a second material, with only one sub-mesh\n Mesh: \"Second\"\n"),
            std::string::npos)
      << seen;

  const irr::video::SMaterial* red = getMaterial(L"red");
  const irr::video::SMaterial* blue = getMaterial(L"blue");
  ModelRef* small = registered(L"Small");
  ModelRef* big = registered(L"Big");
  ModelRef* second = registered(L"Second");
  ModelRef* pair = registered(L"Pair");
  ASSERT_TRUE(small && big && second && pair);
  EXPECT_NE(small->mesh, big->mesh);
  // The engine's reader mirrors X: the triangle spans -1 to 0.
  EXPECT_FLOAT_EQ(small->mesh->getBoundingBox().MinEdge.X, -1.0f);
  EXPECT_FLOAT_EQ(big->mesh->getBoundingBox().MinEdge.X, -2.0f);
  const auto vertexX = [](ModelRef* model, irr::u32 index) {
    irr::scene::IMeshBuffer* buffer = model->mesh->getMeshBuffer(0);
    return buffer->getPosition(index).X;
  };
  float smallMin = 0.0f;
  float bigMin = 0.0f;
  for (irr::u32 i = 0; i < 3; ++i) {
    smallMin = std::min(smallMin, vertexX(small, i));
    bigMin = std::min(bigMin, vertexX(big, i));
  }
  EXPECT_FLOAT_EQ(smallMin, -1.0f);
  EXPECT_FLOAT_EQ(bigMin, -2.0f);
  EXPECT_EQ(small->mesh->getMeshBuffer(0)->getMaterial().DiffuseColor, red->DiffuseColor);
  EXPECT_EQ(big->mesh->getMeshBuffer(0)->getMaterial().DiffuseColor, blue->DiffuseColor);
  // The one-buffer mesh kept its materials: the file's own.
  EXPECT_NE(second->mesh->getMeshBuffer(0)->getMaterial().DiffuseColor, red->DiffuseColor);

  ASSERT_EQ(pair->mesh->getMeshBufferCount(), 2u);
  EXPECT_EQ(pair->mesh->getMeshBuffer(0)->getMaterial().DiffuseColor, red->DiffuseColor);
  EXPECT_EQ(pair->mesh->getMeshBuffer(1)->getMaterial().DiffuseColor, blue->DiffuseColor);
  // Every pair kept: Small, Big, Second and its second material, Pair and its.
  EXPECT_EQ(modelMaterialMeshes().size(), 6u);
  EXPECT_EQ(modelMaterialMeshes().count(const_cast<irr::video::SMaterial*>(red)), 3u);
}

TEST_F(ModelDescTest, LevelsOfDetailMayLeadBackAndFilesMayNotIncludeThemselves) {
  static std::vector<std::wstring> shown;
  shown.clear();
  static void (*screen)(const wchar_t*) = [](const wchar_t* text) { shown.emplace_back(text); };
  descriptorLoadingScreen = &screen;
  const std::string tri = mesh("tri.obj");
  const std::string self = (dir_ / "self.txt").string();
  write("self.txt", "Model: Inner\nFile: " + tri + "\nLoadModels: " + self + "\nModel: InnerAfter\n");
  const std::string path = write("lod.txt",
                                 "Model: Far\nFile: " + tri + "\n"
                                 "Model: Loop\nFile: " + tri + "\nLOD: \"Loop\", 0.5\n"
                                 "Model: Near\nFile: " + tri + "\nLOD: Far, 0.25\n"
                                 "LoadModels: " + self + "\n"
                                 "Firing Point: point, 0, 0, 0, 0, 0, 1, 90\n");
  LogCapture log;
  loadModelDescriptors(path.c_str());
  const std::string seen = log.take();
  EXPECT_EQ(occurrences(seen, " error "), 1u) << seen;
  EXPECT_NE(seen.find(self + "(3) error Md017: "), std::string::npos) << seen;
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], L"  ..." + std::wstring(self.begin(), self.end()));

  ModelRef* loop = registered(L"Loop");
  ModelRef* near = registered(L"Near");
  ASSERT_TRUE(loop && near && registered(L"InnerAfter"));
  EXPECT_EQ(loop->nextLevel, loop);
  EXPECT_FLOAT_EQ(loop->lodDistance, 0.5f);
  EXPECT_EQ(near->nextLevel, registered(L"Far"));
  EXPECT_FLOAT_EQ(near->lodDistance, 0.25f);
  // "LoadModels" does not finish the model before it.
  EXPECT_EQ(near->firingPoints.size(), 1u);
  // Freed once each (the sanitizer's check).
  clearGfxResources(gfxResources);
  EXPECT_EQ(gfxResources.models.size(), 0u);
}

TEST_F(ModelDescTest, AParticleSystemBlockIsReadAndTheFileGoesOnAfterIt) {
  const std::string path = write("ps.txt",
                                 "Model: Ship\nFile: " + mesh("tri.obj") +
                                     "\nParticleSystem: engine\n"
                                     "EndParticleSystem\n"
                                     "Scale: 2\n");
  LogCapture log;
  loadModelDescriptors(path.c_str());
  EXPECT_EQ(occurrences(log.take(), " Md0"), 0u);
  ModelRef* ship = registered(L"Ship");
  ASSERT_NE(ship, nullptr);
  EXPECT_NE(ship->particleSystem, nullptr);
  EXPECT_FLOAT_EQ(ship->mesh->getBoundingBox().MinEdge.X, -2.0f);
}

TEST(FiringPoints, ShapesParseAndTestTheirCone) {
  ModelRef model;
  parseFiringPoint(model, L"bank, 1, 2, 3, 0, 0, 1, 45, 4, 5, 6, 7, 8");
  ASSERT_EQ(model.firingPoints.size(), 1u);
  auto* bank = dynamic_cast<CFiringBank*>(model.firingPoints[0]);
  ASSERT_NE(bank, nullptr);
  ASSERT_EQ(bank->positions.size(), 2u);
  EXPECT_EQ(bank->positions[1], vector3df(4, 5, 6));
  vector3df point;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(bank->getPoint(vector3df(1, 2, 10), point));
    EXPECT_TRUE(point == vector3df(1, 2, 3) || point == vector3df(4, 5, 6));
  }
  EXPECT_FALSE(bank->getPoint(vector3df(1, 2, -10), point));

  // 90 degrees: the limit is cos in single precision, -4.37e-8, so a
  // target in the plane (dot 0) is inside.
  parseImpactRegion(model, L"point, 0, 0, 0, 0, 0, 5, 90");
  IImpactRegion* plane = model.impactRegions[0];
  EXPECT_LT(coneLimitOfDegrees(90.0f), 0.0f);
  const struct {
    vector3df target;
    bool inside;
  } targets[] = {{{1, 0, 0}, true}, {{0, 0, 1}, true}, {{1, 0, -0.001f}, false}, {{0, 0, -1}, false}};
  for (const auto& t : targets) {
    vector3df out(9, 9, 9);
    EXPECT_EQ(plane->getPoint(t.target, out), t.inside) << t.target.X << " " << t.target.Z;
    EXPECT_EQ(out, t.inside ? vector3df(0, 0, 0) : vector3df(9, 9, 9));
  }

  // A target at the midpoint gives a zero direction: dot 0.
  parseFiringPoint(model, L"line, -1, 0, 0, 1, 0, 0, 0, 0, 1, 90");
  parseFiringPoint(model, L"line, -1, 0, 0, 1, 0, 0, 0, 0, 1, 89");
  parseFiringPoint(model, L"line, -1, 0, 0, 1, 0, 0, 0, 0, 1, 120");
  EXPECT_TRUE(model.firingPoints[1]->getPoint(vector3df(0, 0, 0), point));
  EXPECT_GE(point.X, -1.0f);
  EXPECT_LE(point.X, 1.0f);
  EXPECT_FALSE(model.firingPoints[2]->getPoint(vector3df(0, 0, 0), point));
  EXPECT_TRUE(model.firingPoints[3]->getPoint(vector3df(0, 0, 0), point));
}

TEST(FiringPoints, BadLinesThrowTheirTextAndAddNothing) {
  const struct {
    bool firing;
    const wchar_t* line;
    const char* text;
  } cases[] = {
      {true, L" , ,", "Empty line"},
      {true, L"point, 0, 0, 0, 0, 0, 1", "Firing points need a source vector, direction vector, and max-degrees-from angle"},
      {false, L"point, 0, 0, 0, 0, 0, 1, 2, 3",
       "Impact points need a source vector, direction vector, and max-degrees-from angle"},
      {true, L"bank, 0, 0, 0, 0, 0, 1",
       "Firing banks need at least a source vector, direction vector, and max-degrees-from angle"},
      {false, L"bank, 0", "Impact banks need at least a source vector, direction vector, and max-degrees-from angle"},
      {true, L"line, 0, 0, 0, 1, 1, 1, 0, 0, 1",
       "Firing lines need a start vector, end vector, direction vector, and max-degrees-from angle"},
      {false, L"line, 0, 0, 0, 1, 1, 1, 0, 0, 1, 5, 6",
       "Impact lines need a start vector, end vector, direction vector, and max-degrees-from angle"},
      {true, L"Point, 0, 0, 0, 0, 0, 1, 90", "Unrecognized firing point type"},
      {false, L"cone, 0, 0, 0, 0, 0, 1, 90", "Unrecognized impact region type"},
  };
  for (const auto& c : cases) {
    ModelRef model;
    std::string thrown;
    try {
      if (c.firing)
        parseFiringPoint(model, c.line);
      else
        parseImpactRegion(model, c.line);
    } catch (const char* text) {
      thrown = text;
    }
    EXPECT_EQ(thrown, c.text);
    EXPECT_EQ(model.firingPoints.size() + model.impactRegions.size(), 0u);
  }
}

}  // namespace

}  // namespace model_desc_test
