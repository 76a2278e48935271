// Object icon descriptions ("Game Data/object_icons.xml"): which picture the
// strategic view draws for a far-away object, at which zoom range, with
// which small overlay (micro) picture. The session reads the file when it
// loads its graphics resources and frees the records when it ends; the
// records carry the rules a matcher needs (mobile or not, planet or not, a
// class, tags) and the two textured rectangles.
//
// File grammar (element and attribute names compare exactly):
//   Every `icon` element, anywhere under the root, starts a new record (also
//   one written as an empty element: the elements after it belong to it up
//   to the next `icon` end tag); elements outside an open record, and
//   unknown elements inside one, are ignored. Inside a record:
//     scale        low, hi: floats, the zoom range (each optional)
//     texture      mat: a registered material (else the error material);
//                  rect: "left,top,right,bottom" in pixels of the material's
//                  first texture, stored as texture coordinates; size: float
//     microtexture the same three attributes for the overlay picture
//     mobile, immobile, planet   flags
//     class        name: only "ColonyShip" is known (class code 4)
//     tag          has: a non-empty tag, appended
//   Nothing is reported: markup cut off ends the document with the records
//   read so far; a rect without exactly four numbers, or on a
//   material without a texture (or one of no size), leaves the rectangle as
//   it was.
#pragma once

#include <irrlicht.h>

#include <cstdint>

// What an icon's mobility rule asks of an object.
enum ObjectIconMobility : uint32_t {
  OIM_Any = 0,  // the file set no rule
  OIM_Mobile = 1,
  OIM_Immobile = 2,
};

// The one class the file may name.
constexpr uint32_t kObjectIconClassNone = 0;
constexpr uint32_t kObjectIconColonyShip = 4;

struct ObjectIconDesc {
  ObjectIconDesc();

  float low = 0.0f;
  float hi = 9e36f;
  uint32_t mobility = OIM_Any;
  bool hasClass = false;
  bool planet = false;
  uint32_t classCode = kObjectIconClassNone;
  irr::core::array<irr::core::stringw> tags;
  float iconSize = 1.0f;
  // Registered materials (the registry owns them); never null.
  irr::video::SMaterial* iconMaterial;
  irr::core::rectf iconRect{0.0f, 0.0f, 1.0f, 1.0f};
  float microSize = 1.0f;
  irr::video::SMaterial* microMaterial;
  irr::core::rectf microRect{0.0f, 0.0f, 1.0f, 1.0f};
};

// The session's records in file order (owned).
extern irr::core::array<ObjectIconDesc*> objectIconDescs;

// Appends the records of the whole document `reader` reads, then drops the
// reader. A null reader (a missing file) adds nothing.
void loadObjectIconDescs(irr::io::IXMLReader* reader);
// Reads the file at `path` (through the engine's file system) with
// loadObjectIconDescs; a missing file adds nothing.
void loadObjectIconFile(const irr::core::stringc& path);
// Deletes every record and frees the list.
void clearObjectIconDescs();
