// The particle-system layer: particle stages, the material request callback,
// particle systems and the generator that makes them by name.
//
// A particle system is an instance of a named definition. It is made by the
// generator for a stage (where the system sits, how it is turned, how fast
// it moves, how large it is) and a scene node, lives for a duration, and is
// advanced by the host once per simulation frame. Each step adds the step to
// its age, reads its stage and places its node there; once its age reaches
// its duration the system ends and lets go of its stage and node. Drawing
// the particles is not this layer's work.
//
// Reference counts. Stages, systems and the generator are counted with plain
// counters, not atomics: the host makes, steps and releases them under one
// lock (the scene lock). Each starts with one reference, its maker's; the
// last drop deletes it.
// - A system holds one reference to its stage and one to its node (the
//   engine's count) from its creation until it ends.
// - create() returns a system with one reference for the caller; the
//   generator holds one more while the system runs and drops it when the
//   system ends or the generator is cleared.
//
// Definition files (single-byte text). Lines end at "\n" or "\r";
// everything from "//" on is a comment; lines are trimmed of blanks and
// tabs, and empty lines are skipped. A definition is a block:
//
//   ParticleSystem: <name>      starts a definition (names are
//                               case-sensitive; a later definition of a
//                               name replaces the earlier one)
//   Duration: <seconds>         how long a system lives when create() is
//                               given no duration of its own (0 or less);
//                               greater than 0; default 1
//   Material: <material name>   asked of the material request callback when
//                               the block ends; default: the engine's
//                               default material
//   EndParticleSystem           ends the block (so does the next
//                               "ParticleSystem" line or the file's end)
//
// Faults are reported through the generator's message sink, one line each,
// as "<file>(<line>) error <code>: <message>\n", and reading goes on:
//   PD001  Unrecognized key "<key>"
//   PD002  "<key>" outside a particle system (before the first block)
//   PD003  Duration '<value>' must be greater than 0 (the value stays)
//   PD004  A particle system needs a name (the block is skipped)
//   PD005  Material "<name>" not loaded (a warning; the callback's material,
//          the host's error material, is kept)
// A file that cannot be read reports "Unable to open particle system file
// '<path>'\n".
#pragma once

#include <irrlicht.h>

#include <map>
#include <string>

namespace ps {

// Where a particle system sits. The host derives its own stages; the base
// answers with the values below. Stages chain: the two flags of a stage
// without its own answer come from its parent stage.
class IParticleStage {
 public:
  IParticleStage() = default;
  IParticleStage(const IParticleStage&) = delete;
  IParticleStage& operator=(const IParticleStage&) = delete;

  void grab() { ++references_; }
  // Releases one reference; true when that was the last (the stage is gone).
  bool drop();
  int getReferenceCount() const { return references_; }

  IParticleStage* getParent() const { return parent_; }
  // Grabs `parent` (null clears) and drops the one held before.
  void setParent(IParticleStage* parent);

  // Releases the parent stage.
  virtual ~IParticleStage();
  // The parent's first flag, true without a parent.
  virtual bool getFirstFlag() const;
  // The parent's second flag, false without a parent.
  virtual bool getSecondFlag() const;
  // Base: (0,0,0).
  virtual void getPosition(irr::core::vector3df& out) const;
  // In degrees. Base: (0,0,0).
  virtual void getRotation(irr::core::vector3df& out) const;
  // Base: (0,0,0).
  virtual void getVelocity(irr::core::vector3df& out) const;
  // Base: (1,1,1).
  virtual void getScale(irr::core::vector3df& out) const;

 private:
  int references_ = 1;
  IParticleStage* parent_ = nullptr;
};

// A stage that answers with the four vectors it stores.
class CCustomParticleStage : public IParticleStage {
 public:
  void getPosition(irr::core::vector3df& out) const override { out = position; }
  void getRotation(irr::core::vector3df& out) const override { out = rotation; }
  void getVelocity(irr::core::vector3df& out) const override { out = velocity; }
  void getScale(irr::core::vector3df& out) const override { out = scale; }

  irr::core::vector3df position;
  irr::core::vector3df rotation;
  irr::core::vector3df velocity;
  irr::core::vector3df scale{1.0f, 1.0f, 1.0f};
};

// The host's answer to a material name.
class MaterialRequestCallback {
 public:
  MaterialRequestCallback() = default;
  MaterialRequestCallback(const MaterialRequestCallback&) = delete;
  MaterialRequestCallback& operator=(const MaterialRequestCallback&) = delete;

  // Fills `material` with the host's material called `name`; false when
  // there is none (the host then fills in a stand-in of its choice).
  virtual bool requestMaterial(const irr::core::stringw& name, irr::video::SMaterial& material) = 0;
  virtual ~MaterialRequestCallback() = default;
};

// What a stage said at a system's latest step.
struct StagePlacement {
  irr::core::vector3df position;
  irr::core::vector3df rotation;
  irr::core::vector3df velocity;
  irr::core::vector3df scale{1.0f, 1.0f, 1.0f};
  bool firstFlag = true;
  bool secondFlag = false;
};

class IParticleSystem {
 public:
  IParticleSystem(const IParticleSystem&) = delete;
  IParticleSystem& operator=(const IParticleSystem&) = delete;

  void grab() { ++references_; }
  bool drop();
  int getReferenceCount() const { return references_; }

  const irr::core::stringw& getName() const { return name_; }
  float getDuration() const { return duration_; }
  float getAge() const { return age_; }
  bool hasEnded() const { return stage_ == nullptr; }
  // Null once the system has ended.
  IParticleStage* getStage() const { return stage_; }
  irr::scene::ISceneNode* getNode() const { return node_; }
  const irr::video::SMaterial& getMaterial() const { return material_; }
  const StagePlacement& getPlacement() const { return placement_; }

  // Adds `seconds` to the age. Before the duration is reached it reads the
  // stage and places the node there (position, rotation, scale); once it
  // is reached the system ends. True when the system has ended (also when
  // it had already).
  bool step(float seconds);
  // Lets go of the stage and the node; the system is over.
  void end();

 private:
  friend class CParticleSystemGenerator;
  IParticleSystem(const irr::core::stringw& name, float duration, float age, const irr::video::SMaterial& material,
                  IParticleStage* stage, irr::scene::ISceneNode* node);
  ~IParticleSystem();
  void readStage();

  int references_ = 1;
  irr::core::stringw name_;
  float duration_;
  float age_;
  irr::video::SMaterial material_;
  IParticleStage* stage_;
  irr::scene::ISceneNode* node_;
  StagePlacement placement_;
};

enum class MessageLevel { Warning, Error };
// Receives one finished message line.
using MessageSink = void (*)(MessageLevel level, const char* text);

class IParticleSystemGenerator {
 public:
  IParticleSystemGenerator() = default;
  IParticleSystemGenerator(const IParticleSystemGenerator&) = delete;
  IParticleSystemGenerator& operator=(const IParticleSystemGenerator&) = delete;

  void grab() { ++references_; }
  // The last drop clears the generator (see clear) and deletes it.
  bool drop();

  // The callback that gives definitions their materials (not owned; null:
  // the engine's default material).
  virtual void setMaterialRequestCallback(MaterialRequestCallback* callback) = 0;
  // Reads a definition file; returns the number of definitions it added or
  // replaced.
  virtual irr::u32 loadDefinitions(const std::string& path) = 0;
  virtual bool hasDefinition(const irr::core::stringw& name) const = 0;

  // A system of the definition `name` on `stage` and `node`, living
  // `duration` seconds (the definition's duration when 0 or less) and
  // starting `startAge` seconds into that life. Null, with nothing grabbed,
  // for an unknown name or a null stage. The caller gets one reference.
  virtual IParticleSystem* create(const irr::core::stringw& name, float duration, IParticleStage* stage,
                                  irr::scene::ISceneNode* node, float startAge) = 0;
  // Steps every running system; the generator lets go of those that ended.
  virtual void update(float seconds) = 0;
  virtual irr::u32 getRunningCount() const = 0;
  // Ends every running system and lets go of it.
  virtual void clear() = 0;

 protected:
  virtual ~IParticleSystemGenerator() = default;

 private:
  int references_ = 1;
};

// A generator without definitions; messages go to `sink` (may be null).
IParticleSystemGenerator* createParticleSystemGenerator(MessageSink sink);

}  // namespace ps
