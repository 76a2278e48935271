// Model particle systems: the block reader with its messages, the
// streamer's emission, the system's pass length and camera distance, and
// the beams that static beams and engines make.
#include "gfx/model_particles.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <functional>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "gfx/game_camera.h"
#include "gfx/gfx_effects.h"
#include "gfx/gfx_resources.h"
#include "platform/engine/beam_scene_node.h"
#include "support/log_capture.h"
#include "support/null_device.h"

namespace model_particles_test {

namespace {

using irr::core::vector3df;
using irr::video::SColor;

constexpr char kFile[] = "ships.txt";

std::vector<NumberedLine> numbered(std::initializer_list<const wchar_t*> texts) {
  std::vector<NumberedLine> lines;
  int number = 10;
  for (const wchar_t* text : texts)
    lines.push_back({text, ++number});
  return lines;
}

template <class Source>
Source* sourceAt(model_particle_sys& system, irr::u32 index) {
  return index < system.sources.size() ? dynamic_cast<Source*>(system.sources[index]) : nullptr;
}

// Counts its updates and keeps the seconds of each.
class RecordingSource : public gfxSource {
 public:
  void update(irr::scene::ISceneNode*, float seconds, const irr::core::matrix4&) override {
    passes.push_back(seconds);
  }
  bool parseKey(const irr::core::stringw&, const irr::core::stringw&, const char*, int) override { return false; }
  std::vector<float> passes;
};

class ModelParticlesTest : public testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"glow").value = new irr::video::SMaterial;
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"halo").value = new irr::video::SMaterial;
    glow_ = getMaterial(L"glow");
    halo_ = getMaterial(L"halo");
    glow_->MaterialType = irr::video::EMT_TRANSPARENT_ADD_COLOR;
    halo_->MaterialType = irr::video::EMT_TRANSPARENT_ALPHA_CHANNEL;
    system_ = new model_particle_sys();
  }
  void TearDown() override {
    system_->drop();
    clearActiveGfxEffects();
    clearGfxResources(gfxResources);
    gameCamera.node = nullptr;
    bShipEngines = true;
    bHighQShipEngines = true;
    engine = EngineGlobals{};
    device_->drop();
  }

  // Reads `lines` and returns what was logged; `ended` is the returned
  // line's index (the line count for the file's end).
  std::string read(const std::vector<NumberedLine>& lines, std::size_t* ended = nullptr) {
    LogCapture log;
    const NumberedLine* at = readParticleSystem(*system_, lines.data(), lines.data() + lines.size(), kFile);
    if (ended != nullptr)
      *ended = static_cast<std::size_t>(at - lines.data());
    return log.take();
  }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::video::SMaterial* glow_ = nullptr;
  irr::video::SMaterial* halo_ = nullptr;
  model_particle_sys* system_ = nullptr;
};

TEST_F(ModelParticlesTest, BlockLinesGiveTheirValuesAndExactMessages) {
  irr::video::SMaterial* const error = &gfxResources.errorMaterial;
  struct Case {
    const char* name;
    std::vector<NumberedLine> lines;
    std::string log;
    std::function<void(model_particle_sys&)> check;
  };
  const Case cases[] = {
      {"a key the engine does not know is no new source, and the engine stays current",
       numbered({L"Engine:", L"Start: 1, 2, 3", L"Rate: 10", L"End: 4,5,6"}),
       "ships.txt(13) error MPS001: Unrecognized key \"Rate\"\n",
       [](model_particle_sys& s) {
         ASSERT_EQ(s.sources.size(), 1u);
         auto* engineSource = sourceAt<gfxEngine>(s, 0);
         ASSERT_NE(engineSource, nullptr);
         EXPECT_EQ(engineSource->start, vector3df(1, 2, 3));
         EXPECT_EQ(engineSource->end, vector3df(4, 5, 6));
       }},
      {"keys before the first source", numbered({L"Width: 2", L"StaticBeam: ignored"}),
       "ships.txt(11) error MPS001: Unrecognized key \"Width\"\n",
       [](model_particle_sys& s) { EXPECT_EQ(s.sources.size(), 1u); }},
      {"source kinds start sources in order; defaults",
       numbered({L"ParticleStreamer:", L"Position: 1,1,1", L"StaticBeam: x", L"Engine: y", L"ParticleStreamer: z"}),
       "",
       [error](model_particle_sys& s) {
         ASSERT_EQ(s.sources.size(), 4u);
         auto* streamer = sourceAt<gfxParticleStreamer>(s, 0);
         ASSERT_NE(streamer, nullptr);
         EXPECT_EQ(streamer->position, vector3df(1, 1, 1));
         auto* beam = sourceAt<gfxStaticBeam>(s, 1);
         ASSERT_NE(beam, nullptr);
         EXPECT_EQ(dynamic_cast<gfxEngine*>(beam), nullptr);
         EXPECT_EQ(beam->color.color, 0xFFFFFFFFu);
         EXPECT_EQ(beam->width, 1.0f);
         EXPECT_EQ(beam->material, error);
         EXPECT_EQ(beam->secondMaterial, nullptr);
         EXPECT_NE(sourceAt<gfxEngine>(s, 2), nullptr);
         auto* fresh = sourceAt<gfxParticleStreamer>(s, 3);
         ASSERT_NE(fresh, nullptr);
         EXPECT_EQ(fresh->position, vector3df(0, 0, 0));
         EXPECT_EQ(fresh->startColor.color, 0xFFFFFFFFu);
         EXPECT_EQ(fresh->endColor.color, 0xFFFFFFFFu);
         EXPECT_EQ(fresh->material, error);
         EXPECT_EQ(fresh->interval, 0.0f);
         EXPECT_EQ(fresh->life, 1.0f);
         EXPECT_EQ(fresh->startSize, 1.0f);
         EXPECT_EQ(fresh->endSize, 1.0f);
       }},
      {"static beam colours", numbered({L"StaticBeam:", L"Color: #F00"}), "",
       [](model_particle_sys& s) { EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 0)->color.color, 0xFFF00000u); }},
      {"an ARGB beam colour", numbered({L"StaticBeam:", L"Color: 80FF0000"}), "",
       [](model_particle_sys& s) { EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 0)->color.color, 0x80FF0000u); }},
      {"bad beam colours keep the colour",
       numbered({L"StaticBeam:", L"Color: #123", L"Color: 12345", L"Color: 12G"}),
       "ships.txt(13) error SB001: Static Beam color was not 3, 4, 6 or 8 characters long\n"
       "ships.txt(14) error SB001: Static Beam color contained non-hex characters\n",
       [](model_particle_sys& s) { EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 0)->color.color, 0xFF102030u); }},
      {"beam vectors and width", numbered({L"StaticBeam:", L"Start: 1,2", L"End: 1,2,3,4", L"Width: 0"}),
       "ships.txt(12) error SB002: Vectors require X,Y,Z format (for key \"Start\")\n"
       "ships.txt(13) error SB002: Vectors require X,Y,Z format (for key \"End\")\n"
       "ships.txt(14) warning SB004: A width of 0 will not render\n",
       [](model_particle_sys& s) {
         auto* beam = sourceAt<gfxStaticBeam>(s, 0);
         EXPECT_EQ(beam->start, vector3df(0, 0, 0));
         EXPECT_EQ(beam->end, vector3df(0, 0, 0));
         EXPECT_EQ(beam->width, 0.0f);
       }},
      {"two beam materials, the second looked up first",
       numbered({L"StaticBeam:", L"Material: glow, halo", L"StaticBeam:", L"Material: gone, lost"}),
       "ships.txt(14) warning SB003: Material \"lost\" not loaded\n"
       "ships.txt(14) warning SB003: Material \"gone\" not loaded\n",
       [this, error](model_particle_sys& s) {
         EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 0)->material, glow_);
         EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 0)->secondMaterial, halo_);
         EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 1)->material, error);
         EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 1)->secondMaterial, error);
       }},
      {"three beam materials store nothing",
       numbered({L"StaticBeam:", L"Material: glow, halo", L"Material: a, b, c"}),
       "ships.txt(13) error SB005: Material key requires 1 or 2 materials separated by a comma\n",
       [this](model_particle_sys& s) {
         EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 0)->material, glow_);
         EXPECT_EQ(sourceAt<gfxStaticBeam>(s, 0)->secondMaterial, halo_);
       }},
      {"streamer vectors", numbered({L"ParticleStreamer:", L"Position: 1, 2", L"Velocity: 0, 0, 5"}),
       "ships.txt(12) error PS001: Vectors require X,Y,Z format (for key \"Position\")\n",
       [](model_particle_sys& s) {
         EXPECT_EQ(sourceAt<gfxParticleStreamer>(s, 0)->position, vector3df(0, 0, 0));
         EXPECT_EQ(sourceAt<gfxParticleStreamer>(s, 0)->velocity, vector3df(0, 0, 5));
       }},
      {"streamer sizes", numbered({L"ParticleStreamer:", L"Size: 2", L"Size: 1, 2, 3"}),
       "ships.txt(13) error PS002: Particle Streamer size requires Size or Start,End\n",
       [](model_particle_sys& s) {
         EXPECT_EQ(sourceAt<gfxParticleStreamer>(s, 0)->startSize, 2.0f);
         EXPECT_EQ(sourceAt<gfxParticleStreamer>(s, 0)->endSize, 2.0f);
       }},
      {"streamer start and end", numbered({L"ParticleStreamer:", L"Size: 1, 4", L"Color: #F00, 00ff0000"}), "",
       [](model_particle_sys& s) {
         auto* streamer = sourceAt<gfxParticleStreamer>(s, 0);
         EXPECT_EQ(streamer->startSize, 1.0f);
         EXPECT_EQ(streamer->endSize, 4.0f);
         EXPECT_EQ(streamer->startColor.color, 0xFFF00000u);
         EXPECT_EQ(streamer->endColor.color, 0x00FF0000u);
       }},
      {"bad streamer colours",
       numbered({L"ParticleStreamer:", L"Color: 123, 456, 789", L"Color: 123, 4567G", L"Color: 12"}),
       "ships.txt(12) error PS003: Particle Streamer color requires Color or Start,End\n"
       "ships.txt(13) error PS004: Particle Streamer color contained non-hex characters\n"
       "ships.txt(14) error PS004: Particle Streamer color was not 3, 4, 6 or 8 characters long\n",
       [](model_particle_sys& s) {
         EXPECT_EQ(sourceAt<gfxParticleStreamer>(s, 0)->startColor.color, 0xFFFFFFFFu);
         EXPECT_EQ(sourceAt<gfxParticleStreamer>(s, 0)->endColor.color, 0xFFFFFFFFu);
       }},
      {"streamer rate, life and material",
       numbered({L"ParticleStreamer:", L"Rate: 4", L"Rate: 0", L"Life: 2.5", L"Material: glow", L"Material: gone"}),
       "ships.txt(13) warning PS006: Rate must be greater than 0\n"
       "ships.txt(16) warning PS005: Material \"gone\" not loaded\n",
       [error](model_particle_sys& s) {
         auto* streamer = sourceAt<gfxParticleStreamer>(s, 0);
         EXPECT_EQ(streamer->interval, 0.25f);
         EXPECT_EQ(streamer->life, 2.5f);
         EXPECT_EQ(streamer->material, error);
       }},
      {"a rate of 0 alone leaves no interval", numbered({L"ParticleStreamer:", L"Rate: 0"}),
       "ships.txt(12) warning PS006: Rate must be greater than 0\n",
       [](model_particle_sys& s) { EXPECT_EQ(sourceAt<gfxParticleStreamer>(s, 0)->interval, 0.0f); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    system_->drop();
    system_ = new model_particle_sys();
    EXPECT_EQ(read(c.lines), c.log);
    c.check(*system_);
  }
}

TEST_F(ModelParticlesTest, TheBlockEndsAtEndParticleSystemOrTheFilesEnd) {
  std::size_t ended = 0;
  const std::vector<NumberedLine> lines =
      numbered({L"StaticBeam:", L"no colon here", L"EndParticleSystem", L"Engine:", L"EndParticleSystem"});
  EXPECT_EQ(read(lines, &ended), "");
  EXPECT_EQ(ended, 2u);
  EXPECT_EQ(system_->sources.size(), 1u);

  // Case matters, and a line with a colon never ends the block.
  const std::vector<NumberedLine> open =
      numbered({L"Engine:", L"endparticlesystem", L"EndParticleSystem: now", L"StaticBeam:"});
  system_->drop();
  system_ = new model_particle_sys();
  EXPECT_EQ(read(open, &ended), "ships.txt(13) error MPS001: Unrecognized key \"EndParticleSystem\"\n");
  EXPECT_EQ(ended, open.size());
  EXPECT_EQ(system_->sources.size(), 2u);
}

// Rate 10 (an interval of 0.1 s): a pass must bring strictly more than an
// interval; what is left carries to the next pass. Without a rate, one
// particle a pass.
TEST_F(ModelParticlesTest, AStreamerEmitsOneParticleForEachWholeInterval) {
  struct Case {
    const char* name;
    float rate;  // 0: none
    std::vector<float> passes;
    irr::u32 emitted;
    float carried;
  } const cases[] = {
      {"two of 0.25 s", 10.0f, {0.25f}, 2, 0.25f - 0.1f - 0.1f},
      {"exactly one interval", 10.0f, {0.1f}, 0, 0.1f},
      {"then a little more", 10.0f, {0.1f, 0.01f}, 1, 0.1f + 0.01f - 0.1f},
      {"no rate", 0.0f, {0.001f, 5.0f, 0.0f}, 3, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gfxParticleStreamer streamer;
    if (c.rate > 0.0f)
      streamer.interval = 1.0f / c.rate;
    irr::core::matrix4 identity;
    for (float pass : c.passes)
      streamer.update(nullptr, pass, identity);
    EXPECT_EQ(activeGfxEffectCount(), c.emitted);
    EXPECT_EQ(streamer.accumulatedTime, c.carried);
    clearActiveGfxEffects();
  }
  EXPECT_EQ(0.25f - 0.1f - 0.1f, 0.050000004f);
}

// A particle starts at the model's transformation of the streamer's
// position, moves with its rotation of the velocity (no translation) and
// is sized by the node's X scale.
TEST_F(ModelParticlesTest, ParticlesStartInTheModelsSpace) {
  irr::scene::ISceneNode* model = engine.scene->addEmptySceneNode();
  model->setScale(vector3df(2, 3, 4));
  gfxParticleStreamer streamer;
  streamer.position = vector3df(1, 0, 0);
  streamer.velocity = vector3df(0, 0, 10);
  streamer.startSize = 1.5f;
  streamer.endSize = 0.5f;
  streamer.life = 4.0f;
  streamer.material = glow_;
  irr::core::matrix4 transformation;
  transformation.setRotationDegrees(vector3df(0, 90, 0));
  transformation.setTranslation(vector3df(100, 0, 0));
  streamer.update(model, 0.5f, transformation);
  ASSERT_EQ(activeGfxEffectCount(), 1u);

  // The one billboard at the root besides the model node.
  irr::scene::IBillboardSceneNode* billboard = nullptr;
  for (irr::scene::ISceneNode* child : engine.scene->getRootSceneNode()->getChildren())
    if (child->getType() == irr::scene::ESNT_BILLBOARD)
      billboard = static_cast<irr::scene::IBillboardSceneNode*>(child);
  ASSERT_NE(billboard, nullptr);
  EXPECT_TRUE(billboard->getPosition().equals(vector3df(100, 0, -1), 1e-5f)) << billboard->getPosition().Z;
  EXPECT_EQ(billboard->getSize(), irr::core::dimension2df(3.0f, 3.0f));
  EXPECT_EQ(billboard->getMaterial(0).MaterialType, irr::video::EMT_TRANSPARENT_ADD_COLOR);
  // 1 s later (of 4) it has moved by the rotated velocity and shrunk a
  // quarter of the way to 1.
  updateActiveGfxEffects(1.0f);
  EXPECT_TRUE(billboard->getPosition().equals(vector3df(110, 0, -1), 1e-4f)) << billboard->getPosition().X;
  EXPECT_FLOAT_EQ(billboard->getSize().Width, 2.5f);
}

// Passes are at most 1 s; the sources rest while the model is 1000 units or
// more from the camera (or there is no camera), though the time moves on.
TEST_F(ModelParticlesTest, TheSystemUpdatesNearModelsWithPassesOfAtMostOneSecond) {
  irr::scene::ISceneNode* model = engine.scene->addEmptySceneNode();
  irr::scene::ICameraSceneNode* camera = engine.scene->addCameraSceneNode();
  auto* recorder = new RecordingSource();
  system_->sources.push_back(recorder);
  system_->lastTime = 1000;

  struct Pass {
    float cameraX;  // the model stays at the origin
    bool camera;
    irr::u32 time;
    std::vector<float> passes;  // the recorder's passes after it
  } const passes[] = {
      {999.0f, true, 1250, {0.25f}},
      {1000.0f, true, 1500, {0.25f}},       // too far: nothing
      {0.0f, false, 1600, {0.25f}},         // no camera: nothing
      {-999.0f, true, 6600, {0.25f, 1.0f}},  // a 5 s pause counts as 1 s
      {0.0f, true, 6700, {0.25f, 1.0f, 0.1f}},
  };
  for (const Pass& p : passes) {
    SCOPED_TRACE(p.time);
    camera->setPosition(vector3df(p.cameraX, 0, 0));
    camera->updateAbsolutePosition();
    gameCamera.node = p.camera ? camera : nullptr;
    system_->animateNode(model, p.time);
    EXPECT_EQ(system_->lastTime, p.time);
    ASSERT_EQ(recorder->passes.size(), p.passes.size());
    for (std::size_t i = 0; i < p.passes.size(); ++i)
      EXPECT_FLOAT_EQ(recorder->passes[i], p.passes[i]);
  }
}

// A streamer on a model near the camera emits on each animation pass;
// the same streamer 1000 units away emits nothing.
TEST_F(ModelParticlesTest, AStreamer999UnitsFromTheCameraEmitsAndAt1000DoesNot) {
  irr::scene::ISceneNode* model = engine.scene->addEmptySceneNode();
  gameCamera.node = engine.scene->addCameraSceneNode();
  system_->sources.push_back(new gfxParticleStreamer());
  for (float distance : {999.0f, 1000.0f}) {
    SCOPED_TRACE(distance);
    model->setPosition(vector3df(0, distance, 0));
    model->updateAbsolutePosition();
    system_->animateNode(model, system_->lastTime + 20);
    EXPECT_EQ(activeGfxEffectCount(), distance < 1000.0f ? 1u : 0u);
    clearActiveGfxEffects();
  }
}

TEST_F(ModelParticlesTest, AStaticBeamAttachesABeamWithItsColourAndMaterials) {
  irr::scene::ISceneNode* model = engine.scene->addEmptySceneNode();
  for (bool second : {true, false}) {
    SCOPED_TRACE(second);
    gfxStaticBeam source;
    source.start = vector3df(0, 0, 1);
    source.end = vector3df(0, 0, 9);
    source.width = 2.0f;
    source.color = SColor(0x80FF8000);
    source.material = glow_;
    source.secondMaterial = second ? halo_ : nullptr;
    source.attach(model);
    ASSERT_EQ(model->getChildren().size(), 1u);
    auto* beam = static_cast<irr::scene::CBeamSceneNode*>(*model->getChildren().begin());
    EXPECT_EQ(beam->getStart(), source.start);
    EXPECT_EQ(beam->getEnd(), source.end);
    EXPECT_EQ(beam->getWidth(), 2.0f);
    EXPECT_EQ(beam->getColor().color, 0x80FF8000u);
    EXPECT_TRUE(beam->isVisible());
    EXPECT_EQ(beam->getMaterial(0).MaterialType, irr::video::EMT_TRANSPARENT_ADD_COLOR);
    EXPECT_EQ(beam->hasSecondMaterial(), second);
    if (second) {
      EXPECT_EQ(beam->getMaterial(1).MaterialType, irr::video::EMT_TRANSPARENT_ALPHA_CHANNEL);
    }
    EXPECT_TRUE(model->getAnimators().empty());
    model->removeAll();
  }
}

// An engine's beam is made hidden, with an animator on the model; it shows
// in the passes in which the model moved since its last move. Without
// "bShipEngines" nothing is made; without "bHighQShipEngines" the beam has
// one material.
TEST_F(ModelParticlesTest, AnEngineShowsItsBeamOnlyWhileTheModelMoves) {
  irr::scene::ISceneNode* model = engine.scene->addEmptySceneNode();
  gfxEngine source;
  source.material = glow_;
  source.secondMaterial = halo_;

  bShipEngines = false;
  source.attach(model);
  EXPECT_TRUE(model->getChildren().empty());
  EXPECT_TRUE(model->getAnimators().empty());

  bShipEngines = true;
  bHighQShipEngines = false;
  source.attach(model);
  ASSERT_EQ(model->getChildren().size(), 1u);
  ASSERT_EQ(model->getAnimators().size(), 1u);
  auto* beam = static_cast<irr::scene::CBeamSceneNode*>(*model->getChildren().begin());
  EXPECT_FALSE(beam->isVisible());
  EXPECT_FALSE(beam->hasSecondMaterial());
  EXPECT_EQ(beam->getColor().color, 0xFFFFFFFFu);

  struct Pass {
    irr::u32 time;
    float x;  // the model's position before the pass
    bool shown;
  } const passes[] = {
      {10, 0.0f, false},     // has not moved since the beam was made
      {20, 1.0f, true},
      {20, 2.0f, true},      // the same time again: nothing changes
      {30, 2.0f, true},      // moved since its last move (at 1)
      {40, 2.0f, false},     // stood still
      {50, 2.0000005f, false},  // within the tolerance
      {60, 3.0f, true},
  };
  irr::scene::ISceneNodeAnimator* animator = *model->getAnimators().begin();
  for (const Pass& p : passes) {
    SCOPED_TRACE(p.time);
    model->setPosition(vector3df(p.x, 0, 0));
    animator->animateNode(model, p.time);
    EXPECT_EQ(beam->isVisible(), p.shown);
  }

  // With both switches, the second material.
  model->removeAll();
  model->removeAnimators();
  bHighQShipEngines = true;
  source.attach(model);
  ASSERT_EQ(model->getChildren().size(), 1u);
  EXPECT_TRUE(static_cast<irr::scene::CBeamSceneNode*>(*model->getChildren().begin())->hasSecondMaterial());
}

// Sources are freed through their base: a system of every kind goes
// cleanly (the sanitizer build checks the sizes deleted).
TEST_F(ModelParticlesTest, ASystemFreesSourcesOfEveryKind) {
  read(numbered({L"ParticleStreamer:", L"StaticBeam:", L"Engine:"}));
  EXPECT_EQ(system_->sources.size(), 3u);
  EXPECT_EQ(system_->createClone(nullptr), nullptr);
  EXPECT_EQ(system_->getType(), irr::scene::ESNAT_UNKNOWN);
  EXPECT_FALSE(system_->isEventReceiverEnabled());
}

}  // namespace

}  // namespace model_particles_test
