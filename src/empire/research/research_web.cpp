#include "empire/research/research_web.h"

#include <memory>
#include <stdexcept>

#include <irrString.h>

namespace research {

namespace {

constexpr uint8_t kNoActiveTarget = 255;

// The item of the technology named `id`. Webs hold no items yet, so no id
// names one.
IWebItem* findItemById(const CWeb& /*web*/, const irr::core::stringw& /*id*/) {
  throw kSaveErrorMissingTechnology;
}

}  // namespace

CWeb::CWeb() = default;

// The web owns its items; it has none yet.
CWeb::~CWeb() = default;

void CWeb::initialise(empire* /*emp*/) {}

IWebItem* CWeb::getActiveTech(int& link) const {
  link = active.hasLinkTarget != 0 ? static_cast<int>(active.targetLink) : -1;
  return active.item;
}

void CWeb::write(SaveStream& stream) const {
  // Items come with the technologies, and their records with them; a web
  // without technologies has no item to write and no active target.
  if (items.size() != 0 || active.item != nullptr)
    throw std::logic_error("research::CWeb::write: item records need the technologies");
  stream.writeDouble(researchRate);
  stream.writeU16(0);
  stream.writeU8(kNoActiveTarget);
}

IWeb* createResearchWeb(empire* /*emp*/) { return new CWeb(); }

IWeb* loadResearchWeb(empire* /*emp*/, SaveStream& stream) {
  std::unique_ptr<CWeb> web(new CWeb());
  web->researchRate = stream.readDouble();

  const uint16_t itemCount = stream.readU16();
  for (uint16_t i = 0; i < itemCount; ++i) {
    irr::core::stringw id;
    stream.readString(id);
    findItemById(*web, id);
  }

  if (stream.readU8() != kNoActiveTarget) {
    irr::core::stringw id;
    stream.readString(id);
    const uint8_t hasLinkTarget = stream.readU8();
    const uint16_t targetLink = stream.readU16();
    web->active.item = findItemById(*web, id);
    web->active.hasLinkTarget = hasLinkTarget;
    web->active.targetLink = targetLink;
  }
  return web.release();
}

}  // namespace research
