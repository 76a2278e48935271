#include "empire/research/web_item_desc.h"

#include <stdexcept>

#include "core/common_strings.h"
#include "core/formula.h"
#include "core/names.h"

using irr::core::stringw;

namespace research {

SWebLinkDesc::~SWebLinkDesc() {
  for (SWebLinkEndDesc& end : ends_)
    delete end.cost;
}

void SWebLinkDesc::add(const stringw& techId, formula* cost, float weight) {
  ends_.push_back(SWebLinkEndDesc{techId, cost, weight});
  totalWeight_ += weight;
}

// The events change items of a web. Webs hold no items yet: these have
// nothing to act on until they do.
void UnlockTech::run(IWeb*, IWebItem*, double) {
  throw std::logic_error("research::UnlockTech::run needs the web's items");
}

void PayLink::run(IWeb*, IWebItem*, double) { throw std::logic_error("research::PayLink::run needs the web's items"); }

void PayRandLink::run(IWeb*, IWebItem*, double) {
  throw std::logic_error("research::PayRandLink::run needs the web's items");
}

bool PooledNameOrder::operator()(const stringw* a, const stringw* b) const { return compareNames(*a, *b) < 0; }
bool PooledNameOrder::operator()(const stringw* a, const stringw& b) const { return compareNames(*a, b) < 0; }
bool PooledNameOrder::operator()(const stringw& a, const stringw* b) const { return compareNames(a, *b) < 0; }

CWebItemDesc::CWebItemDesc(const stringw& techId) : id(techId), name(techId), icon(kNoIcon) {}

CWebItemDesc::~CWebItemDesc() {
  delete costFormula;
  delete maxLevelFormula;
  delete initialLevelFormula;
  for (irr::u32 i = 0; i < links.size(); ++i)
    delete links[i];
  for (irr::u32 i = 0; i < ties.size(); ++i)
    delete ties[i];
  for (auto& entry : levelEvents)
    delete entry.second;
}

SWebTieDesc* CWebItemDesc::addTie(SubSystemDef* def, irr::u32 level) {
  auto* tie = new SWebTieDesc{level, def, this};
  ties.push_back(tie);
  return tie;
}

void CWebItemDesc::getFormulas(const formula*& cost, const formula*& maxLevel, const formula*& initialLevel) const {
  cost = costFormula;
  maxLevel = maxLevelFormula;
  initialLevel = initialLevelFormula;
}

void CWebItemDesc::applyLocks(IWebItem*) const {
  throw std::logic_error("research::CWebItemDesc::applyLocks needs the web's items");
}

void CWebItemDesc::addLevelEvent(double level, ILevelEvent* event) {
  // A multimap inserts after the elements of an equal key.
  levelEvents.emplace(level, event);
}

void CWebItemDesc::runLevelEvents(IWeb* web, IWebItem* item, double level) const {
  const auto range = levelEvents.equal_range(level);
  for (auto at = range.first; at != range.second; ++at)
    at->second->run(web, item, level);
}

void CWebItemDesc::setFormulas(formula* cost, formula* maxLevel, formula* initialLevel) {
  if (cost != costFormula)
    delete costFormula;
  if (maxLevel != maxLevelFormula)
    delete maxLevelFormula;
  if (initialLevel != initialLevelFormula)
    delete initialLevelFormula;
  costFormula = cost;
  maxLevelFormula = maxLevel;
  initialLevelFormula = initialLevel;
}

void CWebItemDesc::addTag(const stringw& tag) { tags.insert(internCommonString(tag)); }

void CWebItemDesc::addLock(const stringw& lock) { locks.insert(internCommonString(lock)); }

SWebLinkDesc* CWebItemDesc::newLinkDesc() {
  auto* link = new SWebLinkDesc();
  links.push_back(link);
  return link;
}

}  // namespace research
