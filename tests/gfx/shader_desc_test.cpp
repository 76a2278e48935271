// Shader descriptor files on the null driver: the messages of faulty lines
// (with file and line, the reading going on), both shader quality paths, the
// variables and condition words, and the constants set on each draw.
#include "gfx/shader_desc.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "design/shipsets/ship_set.h"
#include "platform/engine/node_settings.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"

namespace shader_desc_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

class ShaderDescTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.fileSystem = device_->getFileSystem();
    engine.timer = device_->getTimer();
    keptLevel_ = shaderLevel;
    keptEnabled_ = shadersEnabled;
    dir_ = scratchDir();
  }
  void TearDown() override {
    shaderLevel = keptLevel_;
    shadersEnabled = keptEnabled_;
    clearGfxResources(gfxResources);
    engine = EngineGlobals{};
    device_->drop();
  }

  static void setQuality(int level) {
    shaderLevel = level;
    shadersEnabled = level > 0;
  }

  std::string write(const std::string& name, const std::string& text) {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  static irr::s32 typeOf(const wchar_t* name) {
    const irr::s32* type = findNamedValue<irr::s32>(gfxResources.materialTypes, name);
    return type == nullptr ? -100 : *type;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  std::filesystem::path dir_;
  int32_t keptLevel_ = 0;
  bool keptEnabled_ = false;
};

TEST_F(ShaderDescTest, FaultyLinesGetTheirMessageWithFileAndLineAndReadingGoesOn) {
  setQuality(0);
  struct Case {
    const char* text;
    std::vector<std::string> messages;  // "%s" stands for the file
  };
  const Case cases[] = {
      {"Program: a.vert, a.frag\n", {"%s(1) Error Sd001: No shader successfully declared before this line\n"}},
      {"Shader: S\nProgram: a.vert, a.frag, Alpha, More\n",
       {"%s(2) error Sd006: Line should be- Program: VertexProgram, PixelProgram [,BaseMaterial]\n"}},
      {"Shader: S\nProgram: a.vert, a.frag, Glass\n", {"%s(2) error Sd003: Invalid material base 'Glass'\n"}},
      {"Shader: S\nColour: red\n", {"%s(2) Error Sd002: Unrecognized key \"Colour\"\n"}},
      {"Shader: S\n\nVariable: vec3 v = 1, 2\n",
       {"%s(3) error Sd007: vec[1-4] variables must have as many vaues defined as indicated (default 3)\n"}},
      {"Shader: S\nVariable: tex5 t = 0, 1, 2, 3, 4\n",
       {"%s(2) error Sd007: Only four texture indices in a single array supported\n"}},
      {"Shader: S\nVariable: float = 1\n",
       {"%s(2) error Sd007: Shader variables require a \"type name\" portion\n"}},
      {"Shader: S\nProgram: a.vert, a.frag\nShader: S\nProgram: b.vert, b.frag\nVariable: float f = 1\n",
       {"%s(4) Error Sd001: No shader successfully declared before this line\n",
        "%s(5) Error Sd001: No shader successfully declared before this line\n"}},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    clearGfxResources(gfxResources);
    const std::string path = write("case" + std::to_string(row++) + ".txt", std::string(c.text) + "Shader: After\n");
    LogCapture log;
    loadShaderDescriptors(gfxResources, path.c_str(), false);
    const std::string seen = log.take();
    std::size_t errors = 0;
    for (const std::string& message : c.messages) {
      std::string expected = message;
      expected.replace(expected.find("%s"), 2, path);
      EXPECT_NE(seen.find(expected), std::string::npos) << seen;
      ++errors;
    }
    EXPECT_EQ(countOccurrences(seen, " Sd00"), errors) << seen;
    // The line after the faulty ones is still read.
    EXPECT_EQ(typeOf(L"After"), 0);
  }
}

TEST_F(ShaderDescTest, QualityDecidesBetweenTheCompiledProgramAndTheBaseMaterial) {
  const std::string path = write("shaders.txt", "Shader: Glow\nProgram: glow.vert, glow.frag, Alpha\n"
                                                "Shader: Plain\nProgram: plain.vert, plain.frag\n");
  const std::string sd004 = path + "(2) error Sd004: Error loading shader \"Glow\", see previous lines for specifics\n";
  struct Case {
    int quality;
    bool failureLogged;
  };
  for (const Case c : {Case{0, false}, Case{2, true}}) {
    SCOPED_TRACE(c.quality);
    setQuality(c.quality);
    clearGfxResources(gfxResources);
    LogCapture log;
    loadShaderDescriptors(gfxResources, path.c_str(), false);
    const std::string seen = log.take();
    // Nothing compiles on the null driver: either way the base material
    // stands for the shader.
    EXPECT_EQ(typeOf(L"Glow"), 13);
    EXPECT_EQ(typeOf(L"Plain"), 0);
    EXPECT_EQ(seen.find(sd004) != std::string::npos, c.failureLogged) << seen;
    EXPECT_EQ(countOccurrences(seen, "Sd004"), c.failureLogged ? 2u : 0u) << seen;
  }
}

TEST_F(ShaderDescTest, MissingFilesAreReportedUnlessQuietAndShipSetsReadTheirsQuietly) {
  setQuality(0);
  const std::string missing = (dir_ / "nope.txt").string();
  {
    LogCapture log;
    loadShaderDescriptors(gfxResources, missing.c_str(), false);
    EXPECT_EQ(log.take(), "Failed to load shader descriptor file '" + missing + "'\n");
    loadShaderDescriptors(gfxResources, missing.c_str(), true);
    EXPECT_EQ(log.take(), "");
  }
  // A set without a shaders file says nothing of it; one with it registers
  // its shaders.
  const std::string bare = write("Bare.txt", "model = BareModel\n");
  const std::string styled = write("Styled.txt", "model = StyledModel\n");
  write("Styled/shaders.txt", "Shader: SetShader\nProgram: s.vert, s.frag, Add\n");
  LogCapture log;
  loadShipSets(bare.c_str());
  EXPECT_EQ(log.take().find("shader descriptor"), std::string::npos);
  loadShipSets(styled.c_str());
  EXPECT_EQ(typeOf(L"SetShader"), 12);
  clearShipSets();
}

TEST_F(ShaderDescTest, VariablesTakeTheirKindCountAndValues) {
  struct Case {
    const wchar_t* line;
    irr::s32 kind;
    irr::s32 count;
    std::vector<float> floats;
    std::vector<irr::s32> ints;
    irr::u32 periodMs;
  };
  const Case cases[] = {
      {L"float pulse = time_cycle, 2.5", 4, 0, {}, {}, 2500},
      {L"float pulse = time_cycle_ms, 250.7", 4, 0, {}, {}, 250},
      {L"float pulse = real_time_cycle, 1", 5, 0, {}, {}, 1000},
      {L"tex2 maps = 0, 1", 1, 2, {}, {0, 1}, 0},
      {L"tex maps = 3", 1, 1, {}, {3}, 0},
      {L"vec2 v = 1.5, -2", 0, 2, {1.5f, -2.0f}, {}, 0},
      {L"vec v = 1, 2, 3", 0, 3, {1.0f, 2.0f, 3.0f}, {}, 0},
      {L"float f = 0.25", 0, 1, {0.25f}, {}, 0},
      {L"float t = time", 2, 0, {}, {}, 0},
      {L"float t = time_second", 3, 0, {}, {}, 0},
      {L"vec3 u = up", 6, 0, {}, {}, 0},
      {L"vec4 s = state Shield", 7, 0, {}, {}, 0},
      {L"vec3 c = empire_color", 8, 0, {}, {}, 0},
      {L"float r = obj_rand", 9, 0, {}, {}, 0},
      {L"float r = obj_radius", 10, 0, {}, {}, 0},
      {L"float r = obj_under_attack", 11, 0, {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    ShaderDesc::ShaderVal value;
    ASSERT_NO_THROW(parseShaderVariable(c.line, value));
    EXPECT_EQ(value.kind, c.kind);
    EXPECT_EQ(value.count, c.count);
    for (std::size_t i = 0; i < c.floats.size(); ++i)
      EXPECT_EQ(value.values.floats[i], c.floats[i]);
    for (std::size_t i = 0; i < c.ints.size(); ++i)
      EXPECT_EQ(value.values.ints[i], c.ints[i]);
    if (c.kind == 4 || c.kind == 5) {
      EXPECT_EQ(value.values.periodMs, c.periodMs);
    }
  }
  ShaderDesc::ShaderVal state;
  parseShaderVariable(L"vec4 s = state Shield", state);
  EXPECT_EQ(state.sourceName, stringw(L"Shield"));
  EXPECT_EQ(state.name, stringc("s"));

  const std::pair<const wchar_t*, std::string> faults[] = {
      {L"vec4 u = up", "Up Vectors are vec3 types"},
      {L"vec4 c = empire_color", "empire_color must be a vec3"},
      {L"vec4 s = state a b", "State sources must be named, and must not contain spaces"},
      {L"vec3 s = state a", "State sources are vec4 types"},
      {L"vec3 v = glow", "Unrecognized vector value"},
      {L"vec5 v = 1, 2, 3, 4, 5", "Only up to four-dimensional vectors supported"},
      {L"tex2 t = 0", "tex[1-4] variables must have as many vaues defined as indicated"},
      {L"float f = 1, 2, 3", "Too many values for float data type"},
      {L"float f = spin", "Unrecognized floating point value"},
      {L"float f = spin, 2", "Unrecognized floating point value type"},
      {L"onlyaword", "Shader variables require a \"type name\" portion"},
  };
  for (const auto& [line, text] : faults) {
    SCOPED_TRACE(stringc(line).c_str());
    ShaderDesc::ShaderVal value;
    try {
      parseShaderVariable(line, value);
      ADD_FAILURE() << "accepted";
    } catch (const char* thrown) {
      EXPECT_EQ(std::string(thrown), text);
    }
  }
}

TEST_F(ShaderDescTest, ConditionWordsFollowTheShaderQuality) {
  struct Case {
    const char* word;
    bool atDisabled;
    bool atMedium;
    bool atVeryHigh;
  };
  const Case cases[] = {
      {"dx8", false, false, false},          {"dx9", false, false, false},         {"directx", false, false, false},
      {"ogl", true, true, true},             {"opengl", true, true, true},         {"shaders", false, true, true},
      {"low_shaders", false, true, true},    {"med_shaders", false, true, true},   {"hi_shaders", false, false, true},
      {"v_hi_shaders", false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    setQuality(0);
    EXPECT_EQ(evaluateShaderCondition(c.word), c.atDisabled);
    setQuality(2);
    EXPECT_EQ(evaluateShaderCondition(c.word), c.atMedium);
    setQuality(4);
    EXPECT_EQ(evaluateShaderCondition(c.word), c.atVeryHigh);
  }
  const std::pair<const char*, std::string> faults[] = {
      {"", "Empty directive string"}, {"OGL", "Unrecognized directive string"}, {"glsl", "Unrecognized directive string"}};
  for (const auto& [word, text] : faults) {
    try {
      evaluateShaderCondition(word);
      ADD_FAILURE() << word;
    } catch (const char* thrown) {
      EXPECT_EQ(std::string(thrown), text);
    }
  }
}

// Renderer services with a constant table of their own.
class FakeServices : public irr::video::IMaterialRendererServices, public irr::video::IShaderConstantLookup {
 public:
  std::map<std::string, irr::s32> known;
  std::map<std::string, int> lookups;
  // By location: each set's values.
  std::map<irr::s32, std::vector<std::vector<float>>> floatSets;
  std::map<irr::s32, std::vector<std::vector<irr::s32>>> intSets;

  bool findShaderConstant(const irr::c8* name, irr::s32& location, irr::u32& type) override {
    ++lookups[name];
    auto found = known.find(name);
    if (found == known.end())
      return false;
    location = found->second;
    type = 7;
    return true;
  }
  void setShaderConstant(irr::s32 location, irr::u32 type, const irr::f32* floats, irr::s32 count) override {
    EXPECT_EQ(type, 7u);
    floatSets[location].emplace_back(floats, floats + count);
  }
  void setShaderConstant(irr::s32 location, irr::u32 type, const irr::s32* ints, irr::s32 count) override {
    EXPECT_EQ(type, 7u);
    intSets[location].emplace_back(ints, ints + count);
  }

  void setBasicRenderStates(const irr::video::SMaterial&, const irr::video::SMaterial&, bool) override {}
  bool setVertexShaderConstant(const irr::c8*, const irr::f32*, int) override { return false; }
  bool setVertexShaderConstant(const irr::c8*, const bool*, int) override { return false; }
  bool setVertexShaderConstant(const irr::c8*, const irr::s32*, int) override { return false; }
  void setVertexShaderConstant(const irr::f32*, irr::s32, irr::s32) override {}
  bool setPixelShaderConstant(const irr::c8*, const irr::f32*, int) override { return false; }
  bool setPixelShaderConstant(const irr::c8*, const bool*, int) override { return false; }
  bool setPixelShaderConstant(const irr::c8*, const irr::s32*, int) override { return false; }
  void setPixelShaderConstant(const irr::f32*, irr::s32, irr::s32) override {}
  irr::video::IVideoDriver* getVideoDriver() override { return engine.driver; }
};

TEST_F(ShaderDescTest, ConstantsAreLookedUpOnceAndSourcesWithoutObjectStateAreDropped) {
  auto* shader = new ShaderDesc;
  for (const wchar_t* line : {L"float missing = 1", L"vec3 tint = 1, 0.5, 0.25", L"tex2 maps = 0, 1",
                              L"float radius = obj_radius", L"vec4 shell = state Shield", L"float seed = obj_rand"}) {
    auto* value = new ShaderDesc::ShaderVal;
    parseShaderVariable(line, *value);
    shader->variables.push_back(value);
  }
  FakeServices services;
  services.known = {{"tint", 3}, {"maps", 4}, {"radius", 5}, {"shell", 6}, {"seed", 8}};

  // A node is drawn, but it carries no object state.
  irr::scene::ISceneNode* node = engine.scene->addEmptySceneNode();
  LogCapture log;
  {
    irr::scene::NodeDrawingScope drawing(node);
    shader->OnSetConstants(&services, 0);
    shader->OnSetConstants(&services, 0);
  }
  shader->OnSetConstants(&services, 0);
  const std::string seen = log.take();
  EXPECT_EQ(countOccurrences(seen, "Unable to locate shader constant \"missing\"\n"), 1u) << seen;
  for (const char* name : {"missing", "tint", "maps", "radius", "shell", "seed"})
    EXPECT_EQ(services.lookups[name], 1) << name;
  EXPECT_EQ(services.floatSets[3], (std::vector<std::vector<float>>(3, {1.0f, 0.5f, 0.25f})));
  EXPECT_EQ(services.intSets[4], (std::vector<std::vector<irr::s32>>(3, {0, 1})));
  EXPECT_EQ(services.floatSets.count(5), 0u);
  EXPECT_EQ(services.floatSets.count(6), 0u);
  EXPECT_EQ(shader->variables[3]->location, -1);
  EXPECT_EQ(shader->variables[4]->location, -1);
  // A value of [0, 1) set on every draw.
  ASSERT_EQ(services.floatSets[8].size(), 3u);
  EXPECT_GE(services.floatSets[8][0][0], 0.0f);
  EXPECT_LT(services.floatSets[8][0][0], 1.0f);
  shader->drop();
}

}  // namespace

}  // namespace shader_desc_test
