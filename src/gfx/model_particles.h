// Model particle systems: the effect sources fixed to a model (engine
// glows, static beams and particle streamers), the text block of a model
// descriptor file that lists them, and the scene animators that run them.
//
// Block grammar (the lines after a "ParticleSystem" line of a model
// descriptor, up to and including "EndParticleSystem", or to the file's
// end). Each line is split into key and value at its first ":", both
// trimmed. A line without ":" ends the block when it is exactly
// "EndParticleSystem" and is skipped otherwise. A line is offered first to
// the current (latest) source; a key that source does not know and that
// names a source kind ("ParticleStreamer", "StaticBeam", "Engine", value
// ignored) starts a new source with the defaults below; any other key is
// "MPS001: Unrecognized key" and the current source stays. Keys compare
// case-sensitively.
//
// StaticBeam and Engine keys            defaults: Start and End (0,0,0),
//   Color     hex colour                Width 1, Material the error
//   Start     x, y, z                   material, no second material,
//   End       x, y, z                   Color opaque white
//   Width     number (0 is stored, with warning SB004)
//   Material  one name, or two separated by a comma (the second is the
//             beam's second material)
//   errors: SB001 colour, SB002 vector, SB003 material not loaded
//   (warning; the error material is stored), SB005 material count
//
// ParticleStreamer keys                 defaults: Position and Velocity
//   Position  x, y, z (model space)     (0,0,0), Size 1, Life 1 s, Color
//   Velocity  x, y, z (per second)      opaque white, the error material,
//   Material  one name                  no Rate (one particle per pass)
//   Rate      particles per second (above 0)
//   Life      seconds
//   Size      one size, or start, end
//   Color     one hex colour, or start, end
//   errors: PS001 vector, PS002 size count, PS003 colour count, PS004
//   colour, PS005 material not loaded (warning), PS006 rate (warning)
//
// Every fault is logged with the file name and line number and leaves the
// value as it was (except the two noted); reading always goes on.
#pragma once

#include <irrlicht.h>

#include "core/data_file.h"

namespace irr {
namespace scene {
class CBeamSceneNode;
}
}  // namespace irr

// An effect source of a model.
class gfxSource {
 public:
  gfxSource() = default;
  gfxSource(const gfxSource&) = delete;
  gfxSource& operator=(const gfxSource&) = delete;
  // Sources are freed through this base by the system that owns them.
  virtual ~gfxSource() = default;

  // Per-pass work for the model `node` whose absolute transformation is
  // `transformation`; nothing by default.
  virtual void update(irr::scene::ISceneNode* node, float seconds, const irr::core::matrix4& transformation);
  // True when `key` belongs to this source (also when its value was wrong
  // and has been logged); false when the source does not know the key.
  virtual bool parseKey(const irr::core::stringw& key, const irr::core::stringw& value, const char* fileName,
                        int line) = 0;
  // Makes the source's permanent scene nodes under `parent`, the node that
  // shows the model; nothing by default.
  virtual void attach(irr::scene::ISceneNode* parent);
};

// A beam between two points of the model.
class gfxStaticBeam : public gfxSource {
 public:
  gfxStaticBeam();

  bool parseKey(const irr::core::stringw& key, const irr::core::stringw& value, const char* fileName,
                int line) override;
  void attach(irr::scene::ISceneNode* parent) override;

  irr::core::vector3df start;
  irr::core::vector3df end;
  irr::video::SColor color{0xFFFFFFFF};
  float width = 1.0f;
  // Registry materials (not owned).
  irr::video::SMaterial* material;
  irr::video::SMaterial* secondMaterial = nullptr;

 protected:
  // Adds the beam under `parent` with the source's points, width, colour
  // and materials, the second material only when `useSecond`. Null without
  // a scene.
  irr::scene::CBeamSceneNode* makeBeam(irr::scene::ISceneNode* parent, bool useSecond) const;
};

// An engine glow: a beam that shows only while the model moves, made only
// with "bShipEngines" (its second material only with "bHighQShipEngines").
class gfxEngine : public gfxStaticBeam {
 public:
  void attach(irr::scene::ISceneNode* parent) override;
};

// Throws particles (active graphics effects) off the moving model.
class gfxParticleStreamer : public gfxSource {
 public:
  gfxParticleStreamer();

  // Emits: with a rate, one particle for each whole interval of time
  // gathered (strictly more than an interval is needed); without one, one
  // particle every call. Particles start at the model's transformation of
  // the position, move with its rotation of the velocity, and are sized
  // by the node's X scale.
  void update(irr::scene::ISceneNode* node, float seconds, const irr::core::matrix4& transformation) override;
  bool parseKey(const irr::core::stringw& key, const irr::core::stringw& value, const char* fileName,
                int line) override;

  irr::core::vector3df position;
  irr::core::vector3df velocity;
  float startSize = 1.0f;
  float endSize = 1.0f;
  float life = 1.0f;
  irr::video::SColor startColor{0xFFFFFFFF};
  irr::video::SColor endColor{0xFFFFFFFF};
  irr::video::SMaterial* material;
  // Seconds between particles; 0 without a rate.
  float interval = 0.0f;
  float accumulatedTime = 0.0f;
};

// A model's particle system: its sources in block order, run as an
// animator of the node that shows the model. Passes are at most 1 s long,
// and while the model is 1000 units or more from the camera (or there is
// no camera) the sources are not updated, though the time moves on.
class model_particle_sys : public irr::scene::ISceneNodeAnimator {
 public:
  // The last time is the engine timer's, or 0 without one.
  model_particle_sys();
  ~model_particle_sys() override;

  void animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) override;
  irr::scene::ISceneNodeAnimator* createClone(irr::scene::ISceneNode* node,
                                              irr::scene::ISceneManager* newManager = nullptr) override;
  bool isEventReceiverEnabled() const override { return false; }
  bool OnEvent(const irr::SEvent&) override { return false; }
  irr::scene::ESCENE_NODE_ANIMATOR_TYPE getType() const override { return irr::scene::ESNAT_UNKNOWN; }

  // Owned.
  irr::core::array<gfxSource*> sources;
  irr::u32 lastTime;
};

// Shows an engine's beam in the passes in which the node it animates has
// moved since its last move, and hides it while the node stands still.
class EngineAnimator : public irr::scene::ISceneNodeAnimator {
 public:
  // The last position is the relative position of the beam's parent.
  explicit EngineAnimator(irr::scene::ISceneNode* beam);

  void animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) override;
  irr::scene::ISceneNodeAnimator* createClone(irr::scene::ISceneNode* node,
                                              irr::scene::ISceneManager* newManager = nullptr) override;
  bool isEventReceiverEnabled() const override { return false; }
  bool OnEvent(const irr::SEvent&) override { return false; }
  irr::scene::ESCENE_NODE_ANIMATOR_TYPE getType() const override { return irr::scene::ESNAT_UNKNOWN; }

  irr::core::vector3df lastPosition;
  // Not counted: the beam is a child of the animated node.
  irr::scene::ISceneNode* beam;
  irr::u32 lastTime = 0;
};

// Reads the block that starts at `first` (the line after "ParticleSystem")
// into `system`; returns the "EndParticleSystem" line, or `end` when the
// block runs to the file's end. The model reader goes on after the
// returned line.
const NumberedLine* readParticleSystem(model_particle_sys& system, const NumberedLine* first,
                                       const NumberedLine* end, const char* fileName);
