#include "app/resource_fetcher.h"

#include "gfx/gfx_resources.h"

ResourceFetcher resourceFetcher;

bool ResourceFetcher::requestMaterial(const irr::core::stringw& name, irr::video::SMaterial& material) {
  irr::video::SMaterial* const* found = findNamedValue<irr::video::SMaterial*>(gfxResources.materials, name);
  const bool known = found != nullptr && *found != nullptr;
  const irr::video::SMaterial& source = known ? **found : gfxResources.errorMaterial;
  if (&source != &material)
    material = source;
  return known;
}
