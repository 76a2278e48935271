// The particle-system layer: stages and their chains, definition files
// with their messages, and systems that hold their stage and node for
// their duration.
#include "platform/ps/particle_systems.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/null_device.h"
#include "support/scratch_dir.h"

namespace particle_layer_test {

namespace {

using irr::core::stringw;
using irr::core::vector3df;

std::string messages;
void collect(ps::MessageLevel level, const char* text) {
  messages += level == ps::MessageLevel::Error ? "E " : "W ";
  messages += text;
}

// Knows the materials "fire" and "smoke" (as material types 1 and 2); any
// other name is filled with type 3.
class TestMaterials : public ps::MaterialRequestCallback {
 public:
  bool requestMaterial(const stringw& name, irr::video::SMaterial& material) override {
    asked.push_back(name);
    const bool known = name == L"fire" || name == L"smoke";
    material.MaterialType = static_cast<irr::video::E_MATERIAL_TYPE>(name == L"fire" ? 1 : known ? 2 : 3);
    return known;
  }
  std::vector<stringw> asked;
};

// A stage with flags of its own.
class FlagStage : public ps::IParticleStage {
 public:
  FlagStage(bool first, bool second) : first_(first), second_(second) {}
  bool getFirstFlag() const override { return first_; }
  bool getSecondFlag() const override { return second_; }

 private:
  bool first_;
  bool second_;
};

class ParticleLayerTest : public testing::Test {
 protected:
  void SetUp() override {
    messages.clear();
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    generator_ = ps::createParticleSystemGenerator(collect);
    generator_->setMaterialRequestCallback(&materials_);
  }
  void TearDown() override {
    if (generator_ != nullptr)
      generator_->drop();
    device_->drop();
  }

  // Writes `text` as a definition file and loads it; the messages name the
  // file "<file>".
  irr::u32 load(const std::string& text) {
    std::ofstream(path_) << text;
    const irr::u32 added = generator_->loadDefinitions(path_);
    for (std::size_t at = messages.find(path_); at != std::string::npos; at = messages.find(path_))
      messages.replace(at, path_.size(), "<file>");
    return added;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  ps::IParticleSystemGenerator* generator_ = nullptr;
  TestMaterials materials_;
  const std::string path_ = (scratchDir() / "systems.txt").string();
};

TEST_F(ParticleLayerTest, StagesAnswerTheBaseResultsAndPassFlagsDownTheChain) {
  ps::IParticleStage* stage = new ps::IParticleStage();
  EXPECT_EQ(stage->getReferenceCount(), 1);
  vector3df v(9, 9, 9);
  EXPECT_TRUE(stage->getFirstFlag());
  EXPECT_FALSE(stage->getSecondFlag());
  stage->getPosition(v);
  EXPECT_EQ(v, vector3df(0, 0, 0));
  v.set(9, 9, 9);
  stage->getRotation(v);
  EXPECT_EQ(v, vector3df(0, 0, 0));
  v.set(9, 9, 9);
  stage->getVelocity(v);
  EXPECT_EQ(v, vector3df(0, 0, 0));
  stage->getScale(v);
  EXPECT_EQ(v, vector3df(1, 1, 1));

  // The flags come from the parent, which the child holds.
  FlagStage* parent = new FlagStage(false, true);
  stage->setParent(parent);
  EXPECT_EQ(parent->getReferenceCount(), 2);
  EXPECT_FALSE(stage->getFirstFlag());
  EXPECT_TRUE(stage->getSecondFlag());
  // Two levels up.
  ps::CCustomParticleStage* child = new ps::CCustomParticleStage();
  child->setParent(stage);
  EXPECT_FALSE(child->getFirstFlag());
  EXPECT_TRUE(child->getSecondFlag());
  child->getScale(v);
  EXPECT_EQ(v, vector3df(1, 1, 1));

  stage->drop();  // the child still holds it
  EXPECT_EQ(parent->getReferenceCount(), 2);
  EXPECT_TRUE(child->drop());  // and lets go of the chain
  EXPECT_EQ(parent->getReferenceCount(), 1);
  EXPECT_TRUE(parent->drop());
}

TEST_F(ParticleLayerTest, DefinitionFilesReportFaultsWithFileAndLineAndGoOn) {
  struct Case {
    const char* name;
    std::string text;
    irr::u32 added;
    std::string messages;
    std::vector<std::pair<const wchar_t*, float>> durations;  // created with no duration of their own
  } const cases[] = {
      {"two blocks, comments and blanks",
       "// explosions\n\nParticleSystem: boom\n\tDuration: 2.5 // seconds\nEndParticleSystem\n"
       "ParticleSystem: puff\r\nEndParticleSystem\r\n",
       2, "", {{L"boom", 2.5f}, {L"puff", 1.0f}}},
      {"a block runs to the next block or the file's end",
       "ParticleSystem: a\nDuration: 3\nParticleSystem: b\nDuration: 4", 2, "", {{L"a", 3.0f}, {L"b", 4.0f}}},
      {"faulty lines",
       "Duration: 2\nParticleSystem: a\nDuration: 0\nDuration: soon\nDuration: inf\nColour: red\nstray words\n"
       "EndParticleSystem\nParticleSystem:\nDuration: 5\nEndParticleSystem\n",
       1,
       "E <file>(1) error PD002: \"Duration\" outside a particle system\n"
       "E <file>(3) error PD003: Duration '0' must be greater than 0\n"
       "E <file>(4) error PD003: Duration 'soon' must be greater than 0\n"
       "E <file>(5) error PD003: Duration 'inf' must be greater than 0\n"
       "E <file>(6) error PD001: Unrecognized key \"Colour\"\n"
       "E <file>(7) error PD001: Unrecognized key \"stray words\"\n"
       "E <file>(9) error PD004: A particle system needs a name\n",
       {{L"a", 1.0f}}},
      {"a later definition replaces an earlier one",
       "ParticleSystem: a\nDuration: 3\nEndParticleSystem\nParticleSystem: a\nDuration: 6\nEndParticleSystem\n", 2,
       "", {{L"a", 6.0f}}},
      {"names are case-sensitive", "ParticleSystem: Big\nEndParticleSystem\n", 1, "", {{L"Big", 1.0f}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    generator_->drop();
    generator_ = ps::createParticleSystemGenerator(collect);
    messages.clear();
    EXPECT_EQ(load(c.text), c.added);
    EXPECT_EQ(messages, c.messages);
    for (const auto& [name, seconds] : c.durations) {
      ASSERT_TRUE(generator_->hasDefinition(name));
      ps::IParticleStage* stage = new ps::IParticleStage();
      ps::IParticleSystem* system = generator_->create(name, 0.0f, stage, nullptr, 0.0f);
      ASSERT_NE(system, nullptr);
      EXPECT_EQ(system->getDuration(), seconds);
      system->drop();
      stage->drop();
    }
  }
  EXPECT_FALSE(generator_->hasDefinition(L"big"));

  messages.clear();
  const std::string missing = (scratchDir() / "none.txt").string();
  EXPECT_EQ(generator_->loadDefinitions(missing), 0u);
  EXPECT_EQ(messages, "E Unable to open particle system file '" + missing + "'\n");
}

TEST_F(ParticleLayerTest, DefinitionsTakeTheirMaterialsFromTheCallback) {
  load("ParticleSystem: hot\nMaterial: fire\nEndParticleSystem\n"
       "ParticleSystem: odd\nMaterial: nothing\nEndParticleSystem\n"
       "ParticleSystem: plain\nEndParticleSystem\n");
  EXPECT_EQ(messages, "W <file>(5) warning PD005: Material \"nothing\" not loaded\n");
  EXPECT_EQ(materials_.asked, (std::vector<stringw>{L"fire", L"nothing"}));
  const struct {
    const wchar_t* name;
    irr::video::E_MATERIAL_TYPE type;
  } expected[] = {{L"hot", irr::video::EMT_SOLID_2_LAYER}, {L"odd", irr::video::EMT_LIGHTMAP_ADD},
                  {L"plain", irr::video::EMT_SOLID}};
  ps::IParticleStage* stage = new ps::IParticleStage();
  for (const auto& e : expected) {
    ps::IParticleSystem* system = generator_->create(e.name, 1.0f, stage, nullptr, 0.0f);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->getMaterial().MaterialType, e.type);
    system->drop();
  }
  generator_->clear();
  EXPECT_EQ(stage->getReferenceCount(), 1);
  stage->drop();
}

TEST_F(ParticleLayerTest, AnUnknownNameGivesNoSystemAndGrabsNothing) {
  load("ParticleSystem: boom\nEndParticleSystem\n");
  auto* stage = new ps::CCustomParticleStage();
  irr::scene::ISceneNode* node = device_->getSceneManager()->addEmptySceneNode();
  const irr::s32 nodeCount = node->getReferenceCount();
  EXPECT_EQ(generator_->create(L"bang", 2.0f, stage, node, 0.0f), nullptr);
  EXPECT_EQ(generator_->create(L"Boom", 2.0f, stage, node, 0.0f), nullptr);
  EXPECT_EQ(generator_->create(L"boom", 2.0f, nullptr, node, 0.0f), nullptr);
  EXPECT_EQ(stage->getReferenceCount(), 1);
  EXPECT_EQ(node->getReferenceCount(), nodeCount);
  EXPECT_EQ(generator_->getRunningCount(), 0u);
  stage->drop();
}

// A system holds its stage and node until its duration has passed in
// steps, reading the stage each step; then it lets both go and the
// generator drops it.
TEST_F(ParticleLayerTest, ASystemHoldsItsStageAndNodeForItsDuration) {
  load("ParticleSystem: boom\nDuration: 9\nEndParticleSystem\n");
  auto* stage = new ps::CCustomParticleStage();
  stage->position.set(1, 2, 3);
  stage->rotation.set(0, 90, 0);
  stage->scale.set(4, 4, 4);
  irr::scene::ISceneNode* node = device_->getSceneManager()->addEmptySceneNode();
  const irr::s32 nodeCount = node->getReferenceCount();

  ps::IParticleSystem* system = generator_->create(L"boom", 2.0f, stage, node, 0.0f);
  ASSERT_NE(system, nullptr);
  EXPECT_EQ(system->getDuration(), 2.0f);
  EXPECT_EQ(stage->getReferenceCount(), 2);
  EXPECT_EQ(node->getReferenceCount(), nodeCount + 1);
  EXPECT_EQ(node->getPosition(), vector3df(1, 2, 3));
  EXPECT_EQ(node->getRotation(), vector3df(0, 90, 0));
  EXPECT_EQ(node->getScale(), vector3df(4, 4, 4));
  system->drop();  // the caller's reference; the generator keeps its own

  for (int step = 1; step <= 3; ++step) {
    stage->position.set(static_cast<float>(step), 0, 0);
    generator_->update(0.5f);
    EXPECT_EQ(generator_->getRunningCount(), 1u) << step;
    EXPECT_EQ(stage->getReferenceCount(), 2) << step;
    EXPECT_EQ(node->getPosition(), vector3df(static_cast<float>(step), 0, 0)) << step;
  }
  generator_->update(0.5f);
  EXPECT_EQ(generator_->getRunningCount(), 0u);
  EXPECT_EQ(stage->getReferenceCount(), 1);
  EXPECT_EQ(node->getReferenceCount(), nodeCount);
  stage->drop();
}

TEST_F(ParticleLayerTest, AStartAgeShortensTheLifeAndTheGeneratorsEndReleasesEverything) {
  load("ParticleSystem: boom\nEndParticleSystem\n");
  auto* stage = new ps::IParticleStage();
  ps::IParticleSystem* late = generator_->create(L"boom", 3.0f, stage, nullptr, 2.5f);
  ps::IParticleSystem* kept = generator_->create(L"boom", 0.0f, stage, nullptr, 0.0f);
  ASSERT_NE(late, nullptr);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(stage->getReferenceCount(), 3);
  generator_->update(0.5f);
  EXPECT_TRUE(late->hasEnded());
  EXPECT_EQ(late->getStage(), nullptr);
  EXPECT_FALSE(kept->hasEnded());
  EXPECT_EQ(kept->getAge(), 0.5f);
  EXPECT_EQ(stage->getReferenceCount(), 2);
  late->drop();

  // The session's end: every running system ends; the caller's reference
  // still reads an ended system.
  generator_->drop();
  generator_ = nullptr;
  EXPECT_TRUE(kept->hasEnded());
  EXPECT_EQ(kept->getReferenceCount(), 1);
  EXPECT_EQ(stage->getReferenceCount(), 1);
  EXPECT_TRUE(kept->step(1.0f));
  kept->drop();
  stage->drop();
}

// The shipped definitions load without a message.
TEST_F(ParticleLayerTest, TheShippedExplosionsLoad) {
  EXPECT_EQ(generator_->loadDefinitions(CORVANE_SOURCE_DIR "/data/Game Data/Particles/explosions.txt"), 2u);
  EXPECT_EQ(messages, "");
  EXPECT_TRUE(generator_->hasDefinition(L"planet_explode"));
  EXPECT_TRUE(generator_->hasDefinition(L"star_explode"));
}

}  // namespace

}  // namespace particle_layer_test
