#include "gui/script_texture.h"

#include <ITexture.h>
#include <SMaterial.h>
#include <dimension2d.h>
#include <rect.h>

#include "gfx/gfx_resources.h"
#include "platform/engine/engine_textures.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;
using irr::video::ITexture;

Mutex guiHandleLock;

void textureHandleAddRef(const ITexture* texture) {
  if (texture == nullptr)
    return;
  MutexGuard guard(guiHandleLock);
  texture->grab();
}

void textureHandleRelease(const ITexture* texture) {
  if (texture == nullptr)
    return;
  MutexGuard guard(guiHandleLock);
  texture->drop();
}

namespace {

irr::core::dimension2di textureScriptSize(const ITexture* texture) {
  const irr::core::dimension2du size = plat::textureSize(texture);
  return irr::core::dimension2di(static_cast<irr::s32>(size.Width), static_cast<irr::s32>(size.Height));
}

irr::core::recti textureScriptRect(const ITexture* texture) {
  const irr::core::dimension2di size = textureScriptSize(texture);
  return irr::core::recti(0, 0, size.Width, size.Height);
}

// The automatic handle takes its own reference: none is added here.
ITexture* materialTexture(const ScriptString* name) {
  if (name == nullptr) {
    raiseScriptException("Null string@ naming a material");
    return nullptr;
  }
  return getMaterial(name->toStringw())->getTexture(0);
}

}  // namespace

void registerScriptTexture(asIScriptEngine* engine) {
  checked(engine).RegisterObjectType("Texture", 0, asOBJ_REF);
  checked(engine).RegisterObjectBehaviour("Texture", asBEHAVE_ADDREF, "void f()", asFUNCTION(textureHandleAddRef),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour("Texture", asBEHAVE_RELEASE, "void f()", asFUNCTION(textureHandleRelease),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod("Texture", "dim2di get_size() const", asFUNCTION(textureScriptSize),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod("Texture", "recti get_rect() const", asFUNCTION(textureScriptRect),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterGlobalFunction("const Texture@+ getMaterialTexture(const string &)",
                                         asFUNCTION(materialTexture), asCALL_CDECL);
}
