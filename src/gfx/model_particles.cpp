#include "gfx/model_particles.h"

#include <exception>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "gfx/base/color.h"
#include "gfx/game_camera.h"
#include "gfx/gfx_effects.h"
#include "gfx/gfx_resources.h"
#include "platform/engine/beam_scene_node.h"

using irr::core::stringw;

namespace {

// A system's pass is never longer than this, so a long pause cannot
// release a burst of particles.
constexpr float kLongestPassSeconds = 1.0f;
constexpr float kSecondsPerMs = 0.001f;
// Squared distance from the camera at and beyond which sources rest
// (1000 units).
constexpr float kUpdateDistanceSq = 1000000.0f;
// How far a node must move on some axis to count as moving.
constexpr float kStillTolerance = 0.000001f;

irr::video::SMaterial* errorMaterial() { return &gfxResources.errorMaterial; }

// Reads "x, y, z"; false (with `out` untouched) for any other piece count.
bool readVector(const stringw& value, irr::core::vector3df& out) {
  irr::core::array<stringw> pieces;
  if (splitString(value, L',', pieces) != 3)
    return false;
  out.set(stringToFloat(pieces[0]), stringToFloat(pieces[1]), stringToFloat(pieces[2]));
  return true;
}

// The registered material `name`, with `warning` (a format taking the
// name) logged when it is the error material.
irr::video::SMaterial* lookUpMaterial(const stringw& name, const char* fileName, int line, const char* code) {
  irr::video::SMaterial* material = getMaterial(name);
  if (material == errorMaterial())
    logDataFileWarning(fileName, line, code, "Material \"%ls\" not loaded\n", name.c_str());
  return material;
}

}  // namespace

// ---------------------------------------------------------------------------
// gfxSource

void gfxSource::update(irr::scene::ISceneNode*, float, const irr::core::matrix4&) {}

void gfxSource::attach(irr::scene::ISceneNode*) {}

// ---------------------------------------------------------------------------
// gfxStaticBeam and gfxEngine

gfxStaticBeam::gfxStaticBeam() : material(errorMaterial()) {}

bool gfxStaticBeam::parseKey(const stringw& key, const stringw& value, const char* fileName, int line) {
  if (key == L"Color") {
    try {
      color = parseHexColor(value);
    } catch (const std::exception& failure) {
      logDataFileError(fileName, line, "SB001", "Static Beam color %s\n", failure.what());
    }
  } else if (key == L"Start" || key == L"End") {
    if (!readVector(value, key == L"Start" ? start : end))
      logDataFileError(fileName, line, "SB002", "Vectors require X,Y,Z format (for key \"%ls\")\n", key.c_str());
  } else if (key == L"Width") {
    width = stringToFloat(value);
    if (width == 0.0f)
      logDataFileWarning(fileName, line, "SB004", "A width of 0 will not render\n");
  } else if (key == L"Material") {
    irr::core::array<stringw> names;
    const irr::u32 count = splitString(value, L',', names);
    if (count == 1) {
      material = lookUpMaterial(names[0], fileName, line, "SB003");
    } else if (count == 2) {
      secondMaterial = lookUpMaterial(names[1], fileName, line, "SB003");
      material = lookUpMaterial(names[0], fileName, line, "SB003");
    } else {
      logDataFileError(fileName, line, "SB005", "Material key requires 1 or 2 materials separated by a comma\n");
    }
  } else {
    return false;
  }
  return true;
}

irr::scene::CBeamSceneNode* gfxStaticBeam::makeBeam(irr::scene::ISceneNode* parent, bool useSecond) const {
  if (engine.scene == nullptr)
    return nullptr;
  irr::scene::CBeamSceneNode* beam = irr::scene::addBeamSceneNode(engine.scene, parent, start, end, -1, width);
  if (beam == nullptr)
    return nullptr;
  beam->setColor(color);
  beam->getMaterial(0) = *material;
  if (useSecond && secondMaterial != nullptr)
    beam->getMaterial(1) = *secondMaterial;
  else
    beam->setSecondMaterial(false);
  return beam;
}

void gfxStaticBeam::attach(irr::scene::ISceneNode* parent) { makeBeam(parent, true); }

void gfxEngine::attach(irr::scene::ISceneNode* parent) {
  if (!bShipEngines)
    return;
  irr::scene::CBeamSceneNode* beam = makeBeam(parent, bHighQShipEngines);
  if (beam == nullptr)
    return;
  beam->setVisible(false);
  EngineAnimator* animator = new EngineAnimator(beam);
  if (parent != nullptr)
    parent->addAnimator(animator);
  animator->drop();
}

// ---------------------------------------------------------------------------
// gfxParticleStreamer

gfxParticleStreamer::gfxParticleStreamer() : material(errorMaterial()) {}

void gfxParticleStreamer::update(irr::scene::ISceneNode* node, float seconds,
                                 const irr::core::matrix4& transformation) {
  irr::core::vector3df worldPosition = position;
  transformation.transformVect(worldPosition);
  irr::core::vector3df worldVelocity = velocity;
  transformation.rotateVect(worldVelocity);
  const float scale = node != nullptr ? node->getScale().X : 1.0f;

  auto emit = [&] {
    addActiveGfxEffect(new gfx_particle(startSize * scale, worldPosition, worldVelocity, startColor, endColor, life,
                                        endSize * scale, material));
  };
  if (interval > 0.0f) {
    accumulatedTime += seconds;
    while (accumulatedTime > interval) {
      accumulatedTime -= interval;
      emit();
    }
  } else {
    emit();
  }
}

bool gfxParticleStreamer::parseKey(const stringw& key, const stringw& value, const char* fileName, int line) {
  if (key == L"Position" || key == L"Velocity") {
    if (!readVector(value, key == L"Position" ? position : velocity))
      logDataFileError(fileName, line, "PS001", "Vectors require X,Y,Z format (for key \"%ls\")\n", key.c_str());
  } else if (key == L"Material") {
    material = lookUpMaterial(value, fileName, line, "PS005");
  } else if (key == L"Rate") {
    const float rate = stringToFloat(value);
    if (rate > 0.0f)
      interval = 1.0f / rate;
    else
      logDataFileWarning(fileName, line, "PS006", "Rate must be greater than 0\n");
  } else if (key == L"Life") {
    life = stringToFloat(value);
  } else if (key == L"Size") {
    irr::core::array<stringw> sizes;
    const irr::u32 count = splitString(value, L',', sizes);
    if (count == 1 || count == 2) {
      startSize = stringToFloat(sizes[0]);
      endSize = stringToFloat(sizes[count - 1]);
    } else {
      logDataFileError(fileName, line, "PS002", "Particle Streamer size requires Size or Start,End\n");
    }
  } else if (key == L"Color") {
    irr::core::array<stringw> colors;
    const irr::u32 count = splitString(value, L',', colors);
    if (count == 1 || count == 2) {
      try {
        const irr::video::SColor first = parseHexColor(colors[0]);
        const irr::video::SColor last = parseHexColor(colors[count - 1]);
        startColor = first;
        endColor = last;
      } catch (const std::exception& failure) {
        logDataFileError(fileName, line, "PS004", "Particle Streamer color %s\n", failure.what());
      }
    } else {
      logDataFileError(fileName, line, "PS003", "Particle Streamer color requires Color or Start,End\n");
    }
  } else {
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// model_particle_sys

model_particle_sys::model_particle_sys() : lastTime(engine.timer != nullptr ? engine.timer->getTime() : 0) {}

model_particle_sys::~model_particle_sys() {
  for (irr::u32 i = 0; i < sources.size(); ++i)
    delete sources[i];
}

void model_particle_sys::animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) {
  float seconds = static_cast<float>(timeMs - lastTime) * kSecondsPerMs;
  if (seconds > kLongestPassSeconds)
    seconds = kLongestPassSeconds;
  lastTime = timeMs;
  if (sources.empty() || node == nullptr || gameCamera.node == nullptr)
    return;
  const irr::core::matrix4& transformation = node->getAbsoluteTransformation();
  const irr::core::vector3df camera = gameCamera.node->getAbsolutePosition();
  if (transformation.getTranslation().getDistanceFromSQ(camera) >= kUpdateDistanceSq)
    return;
  for (irr::u32 i = 0; i < sources.size(); ++i)
    sources[i]->update(node, seconds, transformation);
}

irr::scene::ISceneNodeAnimator* model_particle_sys::createClone(irr::scene::ISceneNode*,
                                                               irr::scene::ISceneManager*) {
  return nullptr;
}

// ---------------------------------------------------------------------------
// EngineAnimator

EngineAnimator::EngineAnimator(irr::scene::ISceneNode* beamNode) : beam(beamNode) {
  if (beam != nullptr && beam->getParent() != nullptr)
    lastPosition = beam->getParent()->getPosition();
}

void EngineAnimator::animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) {
  if (timeMs == lastTime || node == nullptr || beam == nullptr)
    return;
  lastTime = timeMs;
  const irr::core::vector3df position = node->getPosition();
  if (position.equals(lastPosition, kStillTolerance)) {
    beam->setVisible(false);
  } else {
    beam->setVisible(true);
    lastPosition = position;
  }
}

irr::scene::ISceneNodeAnimator* EngineAnimator::createClone(irr::scene::ISceneNode*, irr::scene::ISceneManager*) {
  return nullptr;
}

// ---------------------------------------------------------------------------
// Block reader

const NumberedLine* readParticleSystem(model_particle_sys& system, const NumberedLine* first,
                                       const NumberedLine* end, const char* fileName) {
  gfxSource* current = nullptr;
  for (const NumberedLine* at = first; at != end; ++at) {
    stringw key;
    stringw value;
    if (!splitKeyValue(at->text, key, value)) {
      stringw whole = at->text;
      whole.trim(L" \t\n\r");
      if (whole == L"EndParticleSystem")
        return at;
      continue;
    }
    if (current != nullptr && current->parseKey(key, value, fileName, at->line))
      continue;

    gfxSource* made = nullptr;
    if (key == L"ParticleStreamer")
      made = new gfxParticleStreamer();
    else if (key == L"StaticBeam")
      made = new gfxStaticBeam();
    else if (key == L"Engine")
      made = new gfxEngine();
    if (made == nullptr) {
      logDataFileError(fileName, at->line, "MPS001", "Unrecognized key \"%ls\"\n", key.c_str());
      continue;
    }
    system.sources.push_back(made);
    current = made;
  }
  return end;
}
