#include "gfx/graphics_object.h"

#include "app/base/startup.h"
#include "core/log.h"
#include "universe/objects/game_object.h"

graphicsObject::graphicsObject(generic_object* ownerObject) : owner(ownerObject) {
  if (owner != nullptr)
    owner->grab();
}

graphicsObject::~graphicsObject() {
  if (owner != nullptr)
    owner->drop();
}

bool graphicsObject::drop() {
  // Only the thread that takes the count from one to zero goes on.
  if (refCount.fetch_sub(1) != 1)
    return false;
  if (debugInfo)
    logInfo("Deleting graphics object for '%ls'\n", owner != nullptr ? owner->name.c_str() : L"");
  delete this;
  return true;
}
