#include "empire/research/web_item_desc.h"

#include "core/common_strings.h"
#include "core/formula.h"
#include "core/names.h"
#include "core/random.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"

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

void UnlockTech::run(IWeb* web, IWebItem*, double) {
  IWebItemDesc* target = desc.load(std::memory_order_acquire);
  if (target == nullptr) {
    // Technologies may still be registered later: look again next time.
    target = getWebItemDesc(techId);
    if (target == nullptr)
      return;
    desc.store(target, std::memory_order_release);
  }
  IWebItem* other = web->getItem(target);
  if (other == nullptr)
    return;
  if (!lockName.empty()) {
    other->removeLock(lockName);
    if (other->getLockCount() != 0)
      return;
  }
  web->markAsVisible(other);
}

namespace {

// Pays `amount` (or, relative, that share of the link's cost) into link
// `index` of `item`; a completed link with an end shows the end.
void payIntoLink(IWeb* web, IWebItem* item, irr::u32 index, float amount, uint8_t relative) {
  if (index >= item->getLinkCount())
    return;
  const float points = relative == 1 ? amount * item->getLink(index).cost : amount;
  IWebItem* end = nullptr;
  if (item->payLink(points, index, end) && end != nullptr)
    web->markAsVisible(end);
}

}  // namespace

void PayLink::run(IWeb* web, IWebItem* item, double) { payIntoLink(web, item, linkIndex, amount, relative); }

void PayRandLink::run(IWeb* web, IWebItem* item, double) {
  const irr::u32 count = item->getLinkCount();
  if (count == 0)
    return;
  const irr::u32 index = static_cast<irr::u32>(processRandom() >> 2) % count;
  payIntoLink(web, item, index, amount, relative);
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

irr::u32 CWebItemDesc::removeTie(const SubSystemDef* def) {
  irr::u32 kept = 0;
  for (irr::u32 i = 0; i < ties.size(); ++i) {
    if (ties[i]->def == def)
      delete ties[i];
    else
      ties[kept++] = ties[i];
  }
  const irr::u32 removed = ties.size() - kept;
  if (removed != 0)
    ties.erase(kept, static_cast<irr::s32>(removed));
  return removed;
}

void CWebItemDesc::getFormulas(const formula*& cost, const formula*& maxLevel, const formula*& initialLevel) const {
  cost = costFormula;
  maxLevel = maxLevelFormula;
  initialLevel = initialLevelFormula;
}

void CWebItemDesc::applyLocks(IWebItem* item) const {
  for (const stringw* lock : locks)
    item->addLock(*lock);
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
