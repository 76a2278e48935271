#include "empire/research/research_web.h"

namespace research {

CWeb::CWeb() = default;

// The web owns its items; there are none while the technology registry is
// empty, and the item type that the registry brings deletes them here.
CWeb::~CWeb() = default;

void CWeb::initialise(empire* /*emp*/) {}

IWebItem* CWeb::getActiveTech(int& link) const {
  link = active.hasLinkTarget != 0 ? static_cast<int>(active.targetLink) : -1;
  return active.item;
}

IWeb* createResearchWeb(empire* /*emp*/) { return new CWeb(); }

}  // namespace research
