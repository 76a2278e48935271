// Shader descriptor files: named shader materials, each a vertex and a pixel
// program on a fixed-function base material, with the constants set each
// time the material is drawn (fixed values, or live sources such as the
// time, the drawn object's radius or its owner's colour).
//
// Each declared shader registers its engine material type number under its
// name in the registry's material types. With shaders disabled, or when the
// programs do not compile, the shader stands for its base material.
#pragma once

#include <irrlicht.h>

#include "gfx/gfx_resources.h"

namespace irr {
namespace video {

// What our engine build adds to the renderer services: a constant is looked
// up once by name, then set by its location. Services that do not offer it
// (the stock renderers) are served through their named setters instead
// (see shaderConstantLookupOf).
class IShaderConstantLookup {
 public:
  virtual ~IShaderConstantLookup() = default;
  // The constant's location and type; false when the program has none of
  // that name.
  virtual bool findShaderConstant(const c8* name, s32& location, u32& type) = 0;
  virtual void setShaderConstant(s32 location, u32 type, const f32* floats, s32 count) = 0;
  virtual void setShaderConstant(s32 location, u32 type, const s32* ints, s32 count) = 0;
};

// The lookup of `services`: the services themselves when they offer one,
// else an adapter over their named setters (valid until the next call).
IShaderConstantLookup* shaderConstantLookupOf(IMaterialRendererServices* services);

}  // namespace video
}  // namespace irr

// The drawn object's state that some shader constants read, kept in the
// per-node settings of graphics objects. Until a node carries one, those
// constants are not set.
class IShaderObjectState {
 public:
  virtual ~IShaderObjectState() = default;
  // The named state vector; false when the object has none of that name.
  virtual bool stateVector(const irr::core::stringw& name, irr::f32 (&out)[4]) = 0;
  virtual irr::video::SColorf ownerColor() = 0;
  virtual irr::f32 radius() = 0;
  // Real time in ms of the last attack, or false when never attacked.
  virtual bool lastAttackedMs(irr::u32& when) = 0;
};
// The object state of a node (null for none): the render state that the
// graphics objects give their nodes (renderStateOfNode).
extern IShaderObjectState* (*shaderObjectStateOf)(irr::scene::ISceneNode* node);

class ShaderDesc : public irr::video::IShaderConstantSetCallBack {
 public:
  enum ValueKind : irr::s32 {
    kConstant = 0,
    kTextureIndices = 1,
    kTime = 2,
    kTimeSecond = 3,
    kTimeCycle = 4,
    kRealTimeCycle = 5,
    kCameraUp = 6,
    kObjectState = 7,
    kEmpireColor = 8,
    kObjectRandom = 9,
    kObjectRadius = 10,
    kObjectUnderAttack = 11,
  };

  struct ShaderVal {
    irr::s32 kind = kConstant;
    // Number of values; 0 for live sources.
    irr::s32 count = 0;
    irr::core::stringc name;
    // Floats of constants, integers of texture indices, the period in ms of
    // the cycle sources.
    union {
      irr::f32 floats[4];
      irr::s32 ints[4];
      irr::u32 periodMs;
    } values{};
    // The state source's name.
    irr::core::stringw sourceName;
    irr::s32 location = -1;
    irr::u32 constantType = 0;
    bool resolved = false;
  };

  ShaderDesc() = default;
  ~ShaderDesc() override;
  ShaderDesc(const ShaderDesc&) = delete;
  ShaderDesc& operator=(const ShaderDesc&) = delete;

  void OnSetConstants(irr::video::IMaterialRendererServices* services, irr::s32 userData) override;

  // Owned.
  irr::core::array<ShaderVal*> variables;
};

// Reads one shader descriptor file into `registry`. Errors are logged with
// file and line and the reading goes on; `quiet` leaves an unreadable file
// unmentioned.
void loadShaderDescriptors(GfxResourceRegistry& registry, const irr::core::stringc& path, bool quiet);

// Parses the value of a "Variable" line into `out`; throws the error text.
void parseShaderVariable(const irr::core::stringw& value, ShaderDesc::ShaderVal& out);

// The value of a condition word of the material descriptors' "#if" and
// "#elif" lines. Throws "Empty directive string" or "Unrecognized directive
// string" (as const char*).
bool evaluateShaderCondition(const irr::core::stringc& word);
