#include "gfx/object_icons.h"

#include <string>

#include "core/file_access.h"
#include "core/names.h"
#include "core/text_conversions.h"
#include "gfx/gfx_resources.h"
#include "platform/engine/engine_textures.h"
#include "script/script_xml_io.h"

irr::core::array<ObjectIconDesc*> objectIconDescs;

ObjectIconDesc::ObjectIconDesc()
    : iconMaterial(&gfxResources.errorMaterial), microMaterial(&gfxResources.errorMaterial) {}

namespace {

using irr::core::stringw;
using irr::io::IXMLReader;

bool named(const IXMLReader& reader, const wchar_t* name) { return stringw(reader.getNodeName()) == name; }

// Sets `value` from the float attribute `name` when it is given.
void readFloat(const IXMLReader& reader, const wchar_t* name, float& value) {
  if (const wchar_t* text = reader.getAttributeValue(name))
    value = stringToFloat(text);
}

// "left,top,right,bottom" in pixels of `material`'s first texture, as
// texture coordinates. Anything else leaves `rect` as it was.
void readRect(const wchar_t* text, const irr::video::SMaterial& material, irr::core::rectf& rect) {
  const irr::video::ITexture* texture = material.getTexture(0);
  if (texture == nullptr)
    return;
  const irr::core::dimension2du size = plat::textureSize(texture);
  if (size.Width == 0 || size.Height == 0)
    return;  // no picture to measure against
  irr::core::array<stringw> pieces;
  if (splitString(text, L',', pieces) != 4)
    return;
  const float width = static_cast<float>(size.Width);
  const float height = static_cast<float>(size.Height);
  rect = irr::core::rectf(static_cast<float>(wideStringToInt(pieces[0])) / width,
                          static_cast<float>(wideStringToInt(pieces[1])) / height,
                          static_cast<float>(wideStringToInt(pieces[2])) / width,
                          static_cast<float>(wideStringToInt(pieces[3])) / height);
}

// A `texture` or `microtexture` element: the material first, so that the
// rectangle measures against it.
void readPicture(const IXMLReader& reader, irr::video::SMaterial*& material, irr::core::rectf& rect,
                 float& size) {
  if (const wchar_t* name = reader.getAttributeValue(L"mat"))
    material = getMaterial(name);
  if (const wchar_t* text = reader.getAttributeValue(L"rect"))
    readRect(text, *material, rect);
  readFloat(reader, L"size", size);
}

void readElement(const IXMLReader& reader, ObjectIconDesc& icon) {
  if (named(reader, L"scale")) {
    readFloat(reader, L"low", icon.low);
    readFloat(reader, L"hi", icon.hi);
  } else if (named(reader, L"texture")) {
    readPicture(reader, icon.iconMaterial, icon.iconRect, icon.iconSize);
  } else if (named(reader, L"microtexture")) {
    readPicture(reader, icon.microMaterial, icon.microRect, icon.microSize);
  } else if (named(reader, L"mobile")) {
    icon.mobility = OIM_Mobile;
  } else if (named(reader, L"immobile")) {
    icon.mobility = OIM_Immobile;
  } else if (named(reader, L"planet")) {
    icon.planet = true;
  } else if (named(reader, L"class")) {
    if (stringw(reader.getAttributeValueSafe(L"name")) == L"ColonyShip") {
      icon.hasClass = true;
      icon.classCode = kObjectIconColonyShip;
    }
  } else if (named(reader, L"tag")) {
    const stringw tag = reader.getAttributeValueSafe(L"has");
    if (!tag.empty())
      icon.tags.push_back(tag);
  }
}

}  // namespace

void loadObjectIconDescs(IXMLReader* reader) {
  if (reader == nullptr)
    return;
  ObjectIconDesc* open = nullptr;
  while (reader->read()) {
    const irr::io::EXML_NODE type = reader->getNodeType();
    if (type == irr::io::EXN_ELEMENT) {
      if (named(*reader, L"icon")) {
        open = new ObjectIconDesc();
        objectIconDescs.push_back(open);
      } else if (open != nullptr) {
        readElement(*reader, *open);
      }
    } else if (type == irr::io::EXN_ELEMENT_END && named(*reader, L"icon")) {
      open = nullptr;
    }
  }
  reader->drop();
}

void loadObjectIconFile(const irr::core::stringc& path) {
  std::string bytes;
  if (readWholeFile(path, bytes))
    loadObjectIconDescs(new ScriptXmlReader(bytes));
}

void clearObjectIconDescs() {
  for (irr::u32 i = 0; i < objectIconDescs.size(); ++i)
    delete objectIconDescs[i];
  objectIconDescs.clear();
}
