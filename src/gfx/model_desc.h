// Model descriptor files: for each named model the mesh file, its
// materials, a transformation baked into the mesh, a lower level of detail,
// a particle system, and the points from which weapons fire and where hits
// land. The result is one ModelRef per model name in the models registry.
//
// Faulty lines are logged as "<file>(<line>) error Md<code>: ..." (or
// "warning") and skipped; a model without a loadable mesh shows the error
// arrow. Reading runs on the session's loading thread (the main thread).
#pragma once

#include <irrlicht.h>

#include <map>

#include "gfx/gfx_resources.h"

// A point from which a weapon fires. getPoint writes the point facing
// `target` and returns true, or returns false (writing nothing) when the
// target lies outside the point's cone.
class IFiringPoint {
 public:
  virtual ~IFiringPoint() = default;
  virtual bool getPoint(const irr::core::vector3df& target, irr::core::vector3df& point) const = 0;
};

// Where a hit from `target`'s side lands; as IFiringPoint.
class IImpactRegion {
 public:
  virtual ~IImpactRegion() = default;
  virtual bool getPoint(const irr::core::vector3df& target, irr::core::vector3df& point) const = 0;
};

// The cone every shape tests: the direction from `origin` to the target
// (normalised unless it is all but zero) must make a dot product of at least
// `coneLimit` with `axis`.
bool insideCone(const irr::core::vector3df& origin, const irr::core::vector3df& axis, float coneLimit,
                const irr::core::vector3df& target);

// One position.
template <class Interface>
class ConePoint : public Interface {
 public:
  ConePoint(const irr::core::vector3df& position, const irr::core::vector3df& axis, float coneLimit)
      : position(position), axis(axis), coneLimit(coneLimit) {}
  bool getPoint(const irr::core::vector3df& target, irr::core::vector3df& point) const override;

  irr::core::vector3df position;
  irr::core::vector3df axis;
  float coneLimit;
};

// Several positions, the cone tested from the first; the point is one of
// them drawn from the process-wide random sequence.
template <class Interface>
class ConeBank : public Interface {
 public:
  ConeBank(const irr::core::array<irr::core::vector3df>& positions, const irr::core::vector3df& axis,
           float coneLimit)
      : positions(positions), axis(axis), coneLimit(coneLimit) {}
  bool getPoint(const irr::core::vector3df& target, irr::core::vector3df& point) const override;

  // At least one.
  irr::core::array<irr::core::vector3df> positions;
  irr::core::vector3df axis;
  float coneLimit;
};

// A segment, the cone tested from its midpoint; the point is a random one
// on the segment (the calling thread's own generator).
template <class Interface>
class ConeLine : public Interface {
 public:
  ConeLine(const irr::core::vector3df& start, const irr::core::vector3df& end, const irr::core::vector3df& axis,
           float coneLimit)
      : start(start), end(end), midpoint((start + end) * 0.5f), axis(axis), coneLimit(coneLimit) {}
  bool getPoint(const irr::core::vector3df& target, irr::core::vector3df& point) const override;

  irr::core::vector3df start;
  irr::core::vector3df end;
  irr::core::vector3df midpoint;
  irr::core::vector3df axis;
  float coneLimit;
};

using CFiringPoint = ConePoint<IFiringPoint>;
using CFiringBank = ConeBank<IFiringPoint>;
using CFiringLine = ConeLine<IFiringPoint>;
using CImpactPoint = ConePoint<IImpactRegion>;
using CImpactBank = ConeBank<IImpactRegion>;
using CImpactLine = ConeLine<IImpactRegion>;

// The cone limit of an angle in degrees: its cosine, in single precision.
float coneLimitOfDegrees(float degrees);

// Parse one "Firing Point" / "Impact Point" line and append the new object
// to the model's firing points / impact regions. A bad line throws its text
// (const char*) and appends nothing.
void parseFiringPoint(ModelRef& model, const irr::core::stringw& line);
void parseImpactRegion(ModelRef& model, const irr::core::stringw& line);

// One "Model" block while its file is read.
struct PendingModel {
  ModelRef* model = nullptr;
  ModelRef* nextLevel = nullptr;
  float lodDistance = 1.0f;
  irr::core::stringw name;
  irr::scene::IAnimatedMesh* mesh = nullptr;
  irr::video::SMaterial* material = nullptr;
  irr::video::SMaterial* secondMaterial = nullptr;
  irr::core::vector3df scale{1.0f, 1.0f, 1.0f};
  // Degrees.
  irr::core::vector3df rotation{0.0f, 0.0f, 0.0f};
  irr::core::vector3df translation{0.0f, 0.0f, 0.0f};
  // Set once any of scale, rotation or translation was given.
  bool transform = false;
  irr::core::array<irr::core::stringw> firingPointLines;
  irr::core::array<irr::core::stringw> impactPointLines;
};

// Applies a pending model to its ModelRef (when it has both a model and a
// mesh; otherwise the model keeps the error mesh).
void finishPendingModel(PendingModel& pending);

// Reads one model descriptor file into the models registry.
void loadModelDescriptors(const irr::core::stringc& path);

// Every (material, mesh) pair that a finished model recorded, "Material2"
// pairs included, repeated pairs kept. Emptied with the session's models.
std::multimap<irr::video::SMaterial*, irr::scene::IMesh*>& modelMaterialMeshes();
