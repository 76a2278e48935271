#include "empire/research/research_web.h"

namespace research {

CWeb::CWeb() = default;

// The web owns its items. It has none while the technology registry is
// empty; when technologies are registered, their items are deleted here.
CWeb::~CWeb() = default;

void CWeb::initialise(empire* /*emp*/) {}

IWebItem* CWeb::getActiveTech(int& link) const {
  link = active.hasLinkTarget != 0 ? static_cast<int>(active.targetLink) : -1;
  return active.item;
}

IWeb* createResearchWeb(empire* /*emp*/) { return new CWeb(); }

}  // namespace research
