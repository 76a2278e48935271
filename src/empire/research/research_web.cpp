#include "empire/research/research_web.h"

#include <algorithm>
#include <unordered_map>

#include "core/common_strings.h"
#include "core/formula.h"
#include "core/named_values.h"
#include "core/random.h"
#include "empire/empire.h"
#include "empire/research/research_network.h"
#include "empire/research/research_registry.h"
#include "net/network_manager.h"

using irr::core::stringw;

namespace research {

namespace {

constexpr uint8_t kNoActiveTarget = 255;
constexpr uint8_t kHasActiveTarget = 1;
constexpr uint8_t kNoLinkEnd = 255;
constexpr uint8_t kHasLinkEnd = 1;

// The namespace name a technology's own values are bound under while its
// cost is evaluated: code 1 sorts before every other namespace name, so a
// bare "Level" in a cost formula finds this technology's level first.
const stringw kOwnSpace(L"\x01");

// Defaults of a descriptor made without formulas.
constexpr float kDefaultMaxLevel = 999999999.0f;

float evaluateOr(const formula* program, NamedList* variables, float fallback) {
  return program != nullptr ? evaluateFormula(program, variables) : fallback;
}

// The empire's "Techs" namespace set, or null when it has none.
NameSpaces* techSpaces(empire* emp) {
  NamedValues* techs = emp->spaces.findSpace(L"Techs");
  if (techs == nullptr || techs->getKind() != 2)
    return nullptr;
  return static_cast<NameSpaces*>(techs);
}

// The item of the technology `id`, or null.
IWebItem* findItemById(const CWeb& web, const stringw& id) {
  const IWebItemDesc* desc = getWebItemDesc(id);
  return desc != nullptr ? web.getItem(desc) : nullptr;
}

void writeEnd(SaveStream& stream, const IWebItem* end) {
  if (end == nullptr) {
    stream.writeU8(kNoLinkEnd);
  } else {
    stream.writeU8(kHasLinkEnd);
    stream.writeString(end->getDescriptor()->getId());
  }
}

}  // namespace

SLinkSettings SLinkSettings::fromGameSettings() {
  SLinkSettings settings;
  settings.randomize = getGameSetting(L"RES_RANDOMIZE_LINKS", 1.0f) != 0.0f ? 1 : 0;
  settings.noDeadEnds = getGameSetting(L"RES_NO_DEAD_ENDS", 0.0f) != 0.0f ? 1 : 0;
  settings.showAll = getGameSetting(L"RES_SHOW_ALL_TECHS", 0.0f) != 0.0f ? 1 : 0;
  return settings;
}

IWebItem* findWebItem::operator()(const IWebItemDesc* desc) const { return web_.getItem(desc); }

// ---------------------------------------------------------------------------
// Items

CWebItem::CWebItem(IWebItemDesc* desc, IWeb* web) : descriptor(desc), web_(web) {
  const irr::u32 count = desc->getLinkCount();
  links.reallocate(count);
  possibleEnds.reallocate(count);
  for (irr::u32 i = 0; i < count; ++i) {
    SWebLink link;
    link.desc = desc->getLinkDesc(i);
    links.push_back(link);
    possibleEnds.push_back(SWebLink());
  }
}

CWebItem::~CWebItem() { unbindValues(); }

NamedValues& CWebItem::ownValues() {
  if (!values_)
    values_.reset(new NamedValues());
  return *values_;
}

void CWebItem::unbindValues() {
  if (boundTo_ == nullptr)
    return;
  empire::AreaGuard guard;
  boundTo_->lockArea(guard, EA_Variables, true);
  NameSpaces* techs = techSpaces(boundTo_);
  // A web loaded in this one's place may have bound its own set already.
  if (techs != nullptr && techs->findSpace(boundName_) == values_.get())
    techs->setSpace(nullptr, boundName_);
  boundTo_ = nullptr;
}

void CWebItem::publishLevel(empire* emp) {
  empire::AreaGuard guard;
  emp->lockArea(guard, EA_Variables, true);
  NamedValues& values = ownValues();
  values.set(L"Level", level);
  values.set(L"NextLevel", level + 1.0f);
  NameSpaces* techs = techSpaces(emp);
  if (techs == nullptr)
    return;
  if (boundTo_ != nullptr && boundTo_ != emp) {
    guard.release();
    unbindValues();
    emp->lockArea(guard, EA_Variables, true);
  }
  if (techs->findSpace(descriptor->getId()) != &values)
    techs->setSpace(&values, descriptor->getId());
  boundTo_ = emp;
  boundName_ = descriptor->getId();
}

void CWebItem::computeCost(empire* emp) {
  const formula* costFormula = nullptr;
  const formula* maxFormula = nullptr;
  const formula* initialFormula = nullptr;
  descriptor->getFormulas(costFormula, maxFormula, initialFormula);

  empire::AreaGuard guard;
  emp->lockArea(guard, EA_Variables, true);
  emp->spaces.setSpace(&ownValues(), kOwnSpace);
  cost = evaluateOr(costFormula, &emp->spaces, 1.0f);
  emp->spaces.setSpace(nullptr, kOwnSpace);
}

void CWebItem::reset(empire* emp) {
  const formula* costFormula = nullptr;
  const formula* maxFormula = nullptr;
  const formula* initialFormula = nullptr;
  descriptor->getFormulas(costFormula, maxFormula, initialFormula);
  {
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_Variables, true);
    level = evaluateOr(initialFormula, &emp->spaces, 0.0f);
    maxLevel = evaluateOr(maxFormula, &emp->spaces, kDefaultMaxLevel);
  }
  publishLevel(emp);
  computeCost(emp);
  progress = 0.0f;
}

void CWebItem::resolveLinks(empire* emp, const SWebItemSearch& finder, const SLinkSettings& settings) {
  constexpr double kTwoTo32 = 4294967296.0;
  irr::u32 i = 0;
  while (i < links.size()) {
    SWebLink& link = links[i];
    if (link.desc != nullptr && link.desc->size() != 0) {
      const SWebLinkDesc& alternatives = *link.desc;
      const double r = threadRandom().nextUInt32() / kTwoTo32 * alternatives.totalWeight();
      irr::u32 chosen = alternatives.size() - 1;
      double sum = 0.0;
      for (irr::u32 a = 0; a < alternatives.size(); ++a) {
        sum += alternatives[a].weight;
        if (sum >= r) {
          chosen = a;
          break;
        }
      }
      const SWebLinkEndDesc& alternative = alternatives[chosen];
      {
        empire::AreaGuard guard;
        emp->lockArea(guard, EA_Variables, true);
        link.cost = evaluateOr(alternative.cost, &emp->spaces, 1.0f);
      }
      const IWebItemDesc* endDesc = getWebItemDesc(alternative.techId);
      link.end = endDesc != nullptr ? finder(endDesc) : nullptr;
    }
    if (settings.noDeadEnds != 0 && link.end == nullptr) {
      links.erase(i);
      continue;
    }
    if (i < possibleEnds.size())
      possibleEnds[i].end = link.end;
    ++i;
  }

  if (settings.randomize != 0) {
    for (irr::u32 at = 0; at < links.size(); ++at) {
      const irr::u32 other = threadRandom().randUpTo(links.size() - 1);
      if (other != at)
        std::swap(links[at], links[other]);
    }
  }
}

void CWebItem::getLevels(float& outLevel, float& outProgress, float& outCost, float& outMaxLevel) const {
  outLevel = level;
  outProgress = progress;
  outCost = cost;
  outMaxLevel = maxLevel;
}

void CWebItem::getLinkLevels(irr::u32 index, float& paid, float& linkCost) const {
  if (index >= links.size())
    return;
  paid = links[index].paid;
  linkCost = links[index].cost;
}

const IWebItem* CWebItem::getLinkEnd(irr::u32 index) const {
  return index < links.size() ? links[index].end : nullptr;
}

IWebItem* CWebItem::getLinkEnd(irr::u32 index) { return index < links.size() ? links[index].end : nullptr; }

IWebItem* CWebItem::getPossibleLinkEnd(irr::u32 index) const {
  return index < possibleEnds.size() ? possibleEnds[index].end : nullptr;
}

void CWebItem::setPossibleLinkEnd(irr::u32 index, IWebItem* end) {
  if (index < possibleEnds.size())
    possibleEnds[index].end = end;
}

void CWebItem::removeLock(const stringw& name) {
  const auto at = lockNames.find(name);
  if (at != lockNames.end())
    lockNames.erase(at);
}

void CWebItem::addLock(const stringw& name) { lockNames.insert(internCommonString(name)); }

bool CWebItem::payLink(float points, irr::u32 index, IWebItem*& end) {
  if (index >= links.size())
    return false;
  SWebLink& link = links[index];
  link.paid += points;
  if (!(link.paid >= link.cost))
    return false;
  end = link.end;
  return true;
}

bool CWebItem::addPoints(float points, empire* emp) {
  progress += points;
  bool gained = false;
  while (level < maxLevel && progress >= cost) {
    const float paidCost = cost;
    progress -= paidCost;
    level += 1.0f;
    publishLevel(emp);
    computeCost(emp);
    descriptor->runLevelEvents(web_, this, level);
    gained = true;
    // A free level would loop for ever: one such level per call.
    if (!(paidCost > 0.0f))
      break;
  }
  return gained;
}

void CWebItem::save(SaveStream& stream) const {
  stream.writeString(descriptor->getId());
  stream.writeFloat(level);
  stream.writeFloat(cost);
  stream.writeFloat(progress);
  stream.writeFloat(maxLevel);
  const irr::u32 count = std::min<irr::u32>(links.size(), 255);
  stream.writeU8(static_cast<uint8_t>(count));
  for (irr::u32 i = 0; i < count; ++i) {
    stream.writeFloat(links[i].cost);
    stream.writeFloat(links[i].paid);
    writeEnd(stream, links[i].end);
  }
}

void CWebItem::load(SaveStream& stream, const SWebItemSearch& finder) {
  const float newLevel = stream.readFloat();
  const float newCost = stream.readFloat();
  const float newProgress = stream.readFloat();
  const float newMaxLevel = stream.readFloat();
  const uint8_t count = stream.readU8();
  irr::core::array<SWebLink> newLinks;
  newLinks.reallocate(count);
  for (uint8_t i = 0; i < count; ++i) {
    SWebLink link;
    link.cost = stream.readFloat();
    link.paid = stream.readFloat();
    if (stream.readU8() != kNoLinkEnd) {
      stringw id;
      stream.readString(id);
      const IWebItemDesc* endDesc = getWebItemDesc(id);
      link.end = endDesc != nullptr ? finder(endDesc) : nullptr;
    }
    newLinks.push_back(link);
  }

  level = newLevel;
  cost = newCost;
  progress = newProgress;
  maxLevel = newMaxLevel;
  links = newLinks;
  possibleEnds.clear();
  possibleEnds.reallocate(links.size());
  for (irr::u32 i = 0; i < links.size(); ++i) {
    SWebLink end;
    end.end = links[i].end;
    possibleEnds.push_back(end);
  }
}

// ---------------------------------------------------------------------------
// The web

void sortWebItems(irr::core::array<IWebItem*>& items) {
  std::unordered_map<const IWebItemDesc*, irr::u32> rank;
  const irr::core::array<IWebItemDesc*>& descs = webItemDescs();
  for (irr::u32 i = 0; i < descs.size(); ++i)
    rank.emplace(descs[i], i);
  // Descriptors no longer registered keep their relative order after the rest.
  const auto rankOf = [&rank](const IWebItem* item) {
    const auto at = rank.find(item->getDescriptor());
    return at != rank.end() ? at->second : ~0u;
  };
  IWebItem** first = items.pointer();
  std::stable_sort(first, first + items.size(),
                   [&rankOf](const IWebItem* a, const IWebItem* b) { return rankOf(a) < rankOf(b); });
}

CWeb::CWeb() {
  const irr::core::array<IWebItemDesc*>& descs = webItemDescs();
  items.reallocate(descs.size());
  for (irr::u32 i = 0; i < descs.size(); ++i) {
    auto* item = new CWebItem(descs[i], this);
    items.push_back(item);
    itemByDescriptor.emplace(descs[i], item);
  }
  sortWebItems(items);
}

CWeb::~CWeb() {
  for (irr::u32 i = 0; i < items.size(); ++i)
    delete items[i];
}

void CWeb::setUpItem(IWebItem* item, empire* emp, const SLinkSettings& settings) {
  item->reset(emp);
  item->publishLevel(emp);
  itemByDescriptor.emplace(item->getDescriptor(), item);
  float level = 0.0f, progress = 0.0f, cost = 0.0f, maxLevel = 0.0f;
  item->getLevels(level, progress, cost, maxLevel);
  if (level > 0.0f || settings.showAll != 0)
    markAsVisible(item);
}

void CWeb::initialise(empire* emp) {
  const SLinkSettings settings = SLinkSettings::fromGameSettings();
  for (irr::u32 i = 0; i < items.size(); ++i)
    setUpItem(items[i], emp, settings);
  const findWebItem finder(*this);
  for (irr::u32 i = 0; i < items.size(); ++i)
    items[i]->resolveLinks(emp, finder, settings);
}

bool CWeb::addPoints(const IWebItemDesc* desc, float points, empire* emp) {
  IWebItem* item = getItem(desc);
  if (item == nullptr || !item->addPoints(points, emp))
    return false;
  markAsVisible(item);
  return true;
}

bool CWeb::isTechVisible(const IWebItemDesc* desc) const {
  IWebItem* item = getItem(desc);
  return item != nullptr && visible.count(item) != 0;
}

void CWeb::markAsVisible(IWebItem* item) {
  if (item != nullptr)
    visible.insert(item);
}

IWebItem* CWeb::getItem(const IWebItemDesc* desc) const {
  const auto at = itemByDescriptor.find(desc);
  return at != itemByDescriptor.end() ? at->second : nullptr;
}

void CWeb::chooseNewActive() {
  // Only technologies with levels left to gain: a finished one would take
  // the points and give nothing, stalling research.
  irr::core::array<IWebItem*> candidates;
  for (irr::u32 i = 0; i < items.size(); ++i) {
    float level = 0.0f, progress = 0.0f, cost = 0.0f, maxLevel = 0.0f;
    items[i]->getLevels(level, progress, cost, maxLevel);
    if (level > 0.0f && level < maxLevel)
      candidates.push_back(items[i]);
  }
  if (candidates.empty())
    return;
  const irr::u32 index = static_cast<irr::u32>(processRandom() >> 1) % candidates.size();
  active.item = candidates[index];
  active.hasLinkTarget = 0;
  active.targetLink = 0;
}

bool CWeb::spendResearch(double seconds, empire* emp) {
  if (!(seconds > 0.0))
    return false;
  const float points = static_cast<float>(researchRate * seconds);
  IWebItem* item = active.item;
  if (item == nullptr)
    return false;

  if (active.hasLinkTarget != 0) {
    const irr::u32 index = active.targetLink;
    bool wasComplete = false;
    if (index < item->getLinkCount()) {
      const SWebLink& link = item->getLink(index);
      wasComplete = link.paid >= link.cost;
    }
    IWebItem* end = nullptr;
    if (!item->payLink(points, index, end))
      return false;
    if (end != nullptr) {
      end->removeLock(kLinkLock);
      if (end->getLockCount() == 0)
        markAsVisible(end);
      active.item = end;
      active.hasLinkTarget = 0;
      active.targetLink = 0;
      return true;
    }
    chooseNewActive();
    // A dead link is news once: on the payment that completes it.
    return !wasComplete;
  }

  if (!item->addPoints(points, emp))
    return false;
  markAsVisible(item);
  float level = 0.0f, progress = 0.0f, cost = 0.0f, maxLevel = 0.0f;
  item->getLevels(level, progress, cost, maxLevel);
  if (level >= maxLevel)
    chooseNewActive();
  return true;
}

void CWeb::setActiveTech(const IWebItemDesc* desc, uint16_t link) {
  IWebItem* item = getItem(desc);
  if (item == nullptr)
    return;
  active.item = item;
  active.hasLinkTarget = 1;
  active.targetLink = link;
}

void CWeb::setActiveTech(const IWebItemDesc* desc) {
  IWebItem* item = getItem(desc);
  if (item == nullptr)
    return;
  active.item = item;
  active.hasLinkTarget = 0;
  active.targetLink = 0;
}

IWebItem* CWeb::getActiveTech(int& link) const {
  link = active.hasLinkTarget != 0 ? static_cast<int>(active.targetLink) : -1;
  return active.item;
}

void CWeb::write(SaveStream& stream) const {
  stream.writeDouble(researchRate);
  stream.writeU16(static_cast<uint16_t>(items.size()));
  for (irr::u32 i = 0; i < items.size(); ++i) {
    items[i]->save(stream);
    stream.writeU8(visible.count(items[i]) != 0 ? 1 : 0);
  }
  if (active.item == nullptr) {
    stream.writeU8(kNoActiveTarget);
  } else {
    stream.writeU8(kHasActiveTarget);
    stream.writeString(active.item->getDescriptor()->getId());
    stream.writeU8(active.hasLinkTarget);
    stream.writeU16(active.targetLink);
  }
}

IWeb* createResearchWeb(empire* emp) {
  IWeb* web = nullptr;
  if (isNetworkClient())
    web = new CNetworkedWeb(emp);
  else
    web = new CWeb();
  web->holder = emp;
  return web;
}

IWeb* loadResearchWeb(empire* emp, SaveStream& stream) {
  std::unique_ptr<CWeb> web(new CWeb());
  web->researchRate = stream.readDouble();
  const findWebItem finder(*web);

  std::set<IWebItem*> named;
  const uint16_t itemCount = stream.readU16();
  for (uint16_t i = 0; i < itemCount; ++i) {
    stringw id;
    stream.readString(id);
    IWebItem* item = findItemById(*web, id);
    if (item == nullptr)
      throw kSaveErrorMissingTechnology;
    item->load(stream, finder);
    item->publishLevel(emp);
    if (stream.readU8() == 1)
      web->markAsVisible(item);
    named.insert(item);
  }

  if (stream.readU8() != kNoActiveTarget) {
    stringw id;
    stream.readString(id);
    const uint8_t hasLinkTarget = stream.readU8();
    const uint16_t targetLink = stream.readU16();
    IWebItem* item = findItemById(*web, id);
    if (item == nullptr)
      throw kSaveErrorMissingTechnology;
    web->active.item = item;
    web->active.hasLinkTarget = hasLinkTarget;
    web->active.targetLink = targetLink;
  }

  // Technologies added to the data after the save start as in a new game.
  if (named.size() != web->items.size()) {
    const SLinkSettings settings = SLinkSettings::fromGameSettings();
    irr::core::array<IWebItem*> added;
    for (irr::u32 i = 0; i < web->items.size(); ++i)
      if (named.count(web->items[i]) == 0)
        added.push_back(web->items[i]);
    for (irr::u32 i = 0; i < added.size(); ++i)
      web->setUpItem(added[i], emp, settings);
    for (irr::u32 i = 0; i < added.size(); ++i)
      added[i]->resolveLinks(emp, finder, settings);
  }
  web->holder = emp;
  return web.release();
}

}  // namespace research
