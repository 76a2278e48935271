#include "empire/research/research_network.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/locks.h"
#include "core/net_encoders.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

using irr::core::stringw;

namespace research {

namespace {

// A full record's index for a link the item does not have: never below n.
constexpr uint8_t kMissingLinkIndex = 255;
constexpr irr::u32 kMaxSentLinks = 255;

// The link count both sides agree on: the technology's.
irr::u32 sentLinkCount(const IWebItemDesc* desc) { return std::min(desc->getLinkCount(), kMaxSentLinks); }

void writeId(RakNet::BitStream& stream, const IWebItem* item) {
  writeNetStringW(stream, item->getDescriptor()->getId(), kMaxNetStringLength);
}

// An id read from the stream; false when it was cut short.
bool readId(RakNet::BitStream& stream, stringw& id) {
  id = L"";
  return readNetStringW(stream, id);
}

// `web`'s item of the technology at by-id `position`, or, when the web was
// made before the technology was known, a blank stand-in kept in `blank`,
// so that every record holds one entry per technology.
const IWebItem* itemAt(const IWeb& web, irr::u32 position, std::unique_ptr<CWebItem>& blank) {
  IWebItemDesc* desc = getWebItemDescById(position);
  if (desc == nullptr)
    return nullptr;
  if (IWebItem* item = web.getItem(desc))
    return item;
  blank.reset(new CWebItem(desc, const_cast<IWeb*>(&web)));
  return blank.get();
}

irr::u32 technologyCount() { return getWebItemDescCount(); }

}  // namespace

// ---------------------------------------------------------------------------
// The item's records

void CWebItem::writeLevels(RakNet::BitStream& stream) const {
  stream.Write(level);
  stream.Write(progress);
  stream.Write(cost);
  const irr::u32 count = sentLinkCount(descriptor);
  for (irr::u32 i = 0; i < count; ++i) {
    const bool held = i < links.size();
    stream.Write(held ? links[i].cost : 0.0f);
    stream.Write(held ? links[i].paid : 0.0f);
  }
}

bool CWebItem::readLevels(RakNet::BitStream& stream) {
  float newLevel = 0.0f, newProgress = 0.0f, newCost = 0.0f;
  if (!stream.Read(newLevel) || !stream.Read(newProgress) || !stream.Read(newCost))
    return false;
  std::vector<std::pair<float, float>> linkLevels(links.size());
  for (auto& entry : linkLevels)
    if (!stream.Read(entry.first) || !stream.Read(entry.second))
      return false;
  level = newLevel;
  progress = newProgress;
  cost = newCost;
  for (irr::u32 i = 0; i < links.size(); ++i) {
    links[i].cost = linkLevels[i].first;
    links[i].paid = linkLevels[i].second;
  }
  return true;
}

void CWebItem::writeLinkEnds(RakNet::BitStream& stream) const {
  const irr::u32 count = sentLinkCount(descriptor);
  for (irr::u32 i = 0; i < count; ++i) {
    // Only a link that is paid for shows where it leads.
    const IWebItem* end = i < links.size() && links[i].paid >= links[i].cost ? links[i].end : nullptr;
    stream.Write(end != nullptr);
    if (end != nullptr)
      writeId(stream, end);
  }
}

void CWebItem::writeFull(RakNet::BitStream& stream) const {
  stream.Write(level);
  stream.Write(maxLevel);
  stream.Write(progress);
  stream.Write(cost);
  const irr::u32 count = sentLinkCount(descriptor);
  stream.Write(static_cast<uint8_t>(count));
  for (irr::u32 i = 0; i < count; ++i) {
    const bool held = i < links.size();
    stream.Write(held ? links[i].cost : 0.0f);
    stream.Write(held ? links[i].paid : 0.0f);
    stream.Write(held ? static_cast<uint8_t>(i) : kMissingLinkIndex);
  }
  stream.Write(static_cast<uint8_t>(count));
  for (irr::u32 i = 0; i < count; ++i) {
    const IWebItem* end = i < possibleEnds.size() ? possibleEnds[i].end : nullptr;
    stream.Write(end != nullptr);
    if (end != nullptr)
      writeId(stream, end);
  }
}

bool CWebItem::readFull(RakNet::BitStream& stream) {
  float newLevel = 0.0f, newMaxLevel = 0.0f, newProgress = 0.0f, newCost = 0.0f;
  uint8_t count = 0;
  if (!stream.Read(newLevel) || !stream.Read(newMaxLevel) || !stream.Read(newProgress) || !stream.Read(newCost) ||
      !stream.Read(count))
    return false;
  // Both sides hold one link per link of the technology; any other count
  // is not a record of this technology.
  if (count != sentLinkCount(descriptor))
    return false;

  // The links keep what they had unless an entry names them.
  irr::core::array<SWebLink> newLinks;
  newLinks.reallocate(count);
  for (irr::u32 i = 0; i < count; ++i) {
    SWebLink link;
    if (i < links.size())
      link = links[i];
    else
      link.desc = descriptor->getLinkDesc(i);
    newLinks.push_back(link);
  }
  for (uint8_t i = 0; i < count; ++i) {
    float linkCost = 0.0f, linkPaid = 0.0f;
    uint8_t index = 0;
    if (!stream.Read(linkCost) || !stream.Read(linkPaid) || !stream.Read(index))
      return false;
    if (index >= count)
      continue;
    SWebLink& link = newLinks[index];
    link.desc = descriptor->getLinkDesc(index);
    link.end = nullptr;
    link.paid = linkPaid;
    link.cost = linkCost;
  }

  uint8_t endCount = 0;
  if (!stream.Read(endCount) || endCount != count)
    return false;
  irr::core::array<SWebLink> newEnds;
  newEnds.reallocate(count);
  for (uint8_t i = 0; i < count; ++i) {
    SWebLink possible;
    bool known = false;
    if (!stream.Read(known))
      return false;
    if (known) {
      stringw id;
      if (!readId(stream, id))
        return false;
      const IWebItemDesc* endDesc = getWebItemDesc(id);
      possible.end = endDesc != nullptr ? web_->getItem(endDesc) : nullptr;
    }
    newEnds.push_back(possible);
  }

  level = newLevel;
  maxLevel = newMaxLevel;
  progress = newProgress;
  cost = newCost;
  links = newLinks;
  possibleEnds = newEnds;
  return true;
}

// ---------------------------------------------------------------------------
// The mirror

CNetworkedWeb::CNetworkedWeb(empire* webOwner) : owner(webOwner) {
  const irr::core::array<IWebItemDesc*>& descs = webItemDescs();
  for (irr::u32 i = 0; i < descs.size(); ++i)
    items.emplace(descs[i], new CWebItem(descs[i], this));
}

CNetworkedWeb::~CNetworkedWeb() {
  for (auto& entry : items)
    delete entry.second;
}

bool CNetworkedWeb::isTechVisible(const IWebItemDesc* desc) const {
  IWebItem* item = getItem(desc);
  return item != nullptr && visible.count(item) != 0;
}

void CNetworkedWeb::markAsVisible(IWebItem* item) {
  if (item != nullptr)
    visible.insert(item);
}

IWebItem* CNetworkedWeb::getItem(const IWebItemDesc* desc) const {
  const auto at = items.find(desc);
  return at != items.end() ? at->second : nullptr;
}

void CNetworkedWeb::setActiveTech(const IWebItemDesc* desc, uint16_t link) {
  IWebItem* item = getItem(desc);
  if (item == nullptr)
    return;
  sendActiveTechRequest(owner, desc, link);
  setMirroredActive(item, link);
}

void CNetworkedWeb::setActiveTech(const IWebItemDesc* desc) {
  IWebItem* item = getItem(desc);
  if (item == nullptr)
    return;
  sendActiveTechRequest(owner, desc, -1);
  setMirroredActive(item, -1);
}

IWebItem* CNetworkedWeb::getActiveTech(int& link) const {
  link = activeItem != nullptr ? activeLink : -1;
  return activeItem;
}

void CNetworkedWeb::setMirroredActive(IWebItem* item, int link) {
  activeItem = item;
  activeLink = link < 0 ? -1 : link;
}

// ---------------------------------------------------------------------------
// Web records

void writeResearchWebState(RakNet::BitStream& stream, const IWeb& web) {
  stream.Write(static_cast<uint8_t>(RMK_Web));
  stream.Write0();
  stream.Write(web.getResearchRate());
  int link = -1;
  const IWebItem* active = web.getActiveTech(link);
  stream.Write(active != nullptr);
  if (active == nullptr)
    return;
  writeId(stream, active);
  stream.Write(static_cast<int32_t>(link));
  active->writeLevels(stream);
}

void writeResearchWebItems(RakNet::BitStream& stream, const IWeb& web) {
  stream.Write(static_cast<uint8_t>(RMK_Web));
  stream.Write1();
  const irr::u32 count = technologyCount();
  for (irr::u32 i = 0; i < count; ++i) {
    std::unique_ptr<CWebItem> blank;
    const IWebItem* item = itemAt(web, i, blank);
    if (item == nullptr)
      continue;
    item->writeLevels(stream);
    item->writeLinkEnds(stream);
    stream.Write(web.isTechVisible(item->getDescriptor()));
  }
}

void writeResearchWebFlags(RakNet::BitStream& stream, const IWeb& web) {
  const irr::u32 count = technologyCount();
  for (irr::u32 i = 0; i < count; ++i) {
    std::unique_ptr<CWebItem> blank;
    const IWebItem* item = itemAt(web, i, blank);
    if (item == nullptr)
      continue;
    item->writeFull(stream);
    stream.Write(web.isTechVisible(item->getDescriptor()));
  }
}

bool readResearchWebMessage(RakNet::BitStream& stream, CNetworkedWeb& web, empire* emp) {
  const irr::u32 count = technologyCount();
  for (irr::u32 i = 0; i < count; ++i) {
    IWebItem* item = web.getItem(getWebItemDescById(i));
    bool visible = false;
    if (item == nullptr || !item->readFull(stream) || !stream.Read(visible))
      return false;
    if (visible)
      web.markAsVisible(item);
    if (emp != nullptr)
      item->publishLevel(emp);
  }
  return true;
}

void sendActiveTechRequest(const empire* emp, const IWebItemDesc* desc, int link) {
  if (desc == nullptr || networkManager == nullptr)
    return;
  RakNet::BitStream stream;
  stream.Write(kResearchMessageId);
  writeNetEmpire(stream, emp);
  stream.Write(static_cast<uint8_t>(RMK_SetActive));
  writeNetStringW(stream, desc->getId(), kMaxNetStringLength);
  stream.Write(static_cast<int16_t>(link < 0 ? -1 : link));
  networkManager->send(&stream, kResearchRequestChannel, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

// ---------------------------------------------------------------------------
// Message 134

namespace {

// The technology and link of a request (sub-kind 1, after the sub-kind),
// applied to `emp`'s web when the empire can see the technology: `mirror`
// takes it without asking the server again.
void applyActiveTechRequest(RakNet::BitStream& stream, empire* emp, bool mirror) {
  stringw id;
  if (!readId(stream, id))
    return;
  const IWebItemDesc* desc = getWebItemDesc(id);
  if (desc == nullptr)
    return;
  ScopedWriteLock guard(emp->locks[EA_ResearchWeb]);
  IWeb* web = emp->researchWeb;
  if (web == nullptr || !web->isTechVisible(desc))
    return;
  int16_t link = 0;
  if (!stream.Read(link))
    return;
  IWebItem* item = web->getItem(desc);
  // A link the item does not have would stall the research on it.
  if (item == nullptr || (link >= 0 && static_cast<irr::u32>(link) >= item->getLinkCount()))
    return;
  auto* networked = mirror ? dynamic_cast<CNetworkedWeb*>(web) : nullptr;
  if (networked != nullptr)
    networked->setMirroredActive(item, link);
  else if (link < 0)
    web->setActiveTech(desc);
  else
    web->setActiveTech(desc, static_cast<uint16_t>(link));
}

// The state form after its bit.
void readWebState(RakNet::BitStream& stream, empire* emp) {
  double rate = 0.0;
  bool hasActive = false;
  stringw id;
  int32_t link = -1;
  if (!stream.Read(rate) || !stream.Read(hasActive))
    return;
  if (hasActive && (!readId(stream, id) || !stream.Read(link)))
    return;

  ScopedWriteLock guard(emp->locks[EA_ResearchWeb]);
  auto* web = dynamic_cast<CNetworkedWeb*>(emp->researchWeb);
  if (web == nullptr)
    return;
  web->setResearchRate(rate);
  if (id.empty())
    return;
  IWebItem* item = web->getItem(getWebItemDesc(id));
  if (item == nullptr || !item->readLevels(stream))
    return;
  item->publishLevel(emp);
  float level = 0.0f, progress = 0.0f, cost = 0.0f, maxLevel = 0.0f;
  item->getLevels(level, progress, cost, maxLevel);
  if (level > 0.0f)
    web->markAsVisible(item);
  web->setMirroredActive(item, link);
}

// The all-items form after its bit.
void readWebItems(RakNet::BitStream& stream, empire* emp) {
  {
    ScopedWriteLock guard(emp->locks[EA_ResearchWeb]);
    auto* web = dynamic_cast<CNetworkedWeb*>(emp->researchWeb);
    if (web == nullptr)
      return;
    const irr::u32 count = technologyCount();
    for (irr::u32 i = 0; i < count; ++i) {
      IWebItem* item = web->getItem(getWebItemDescById(i));
      if (item == nullptr || !item->readLevels(stream))
        break;
      bool whole = true;
      for (irr::u32 k = 0; k < item->getLinkCount() && whole; ++k) {
        bool hasEnd = false;
        stringw endId;
        whole = stream.Read(hasEnd) && (!hasEnd || readId(stream, endId));
        if (whole) {
          const IWebItemDesc* endDesc = hasEnd ? getWebItemDesc(endId) : nullptr;
          item->getLink(k).end = endDesc != nullptr ? web->getItem(endDesc) : nullptr;
        }
      }
      bool visible = false;
      if (!whole || !stream.Read(visible)) {
        item->publishLevel(emp);
        break;
      }
      if (visible)
        web->markAsVisible(item);
      item->publishLevel(emp);
    }
  }
  emp->updateSubSystems();
}

}  // namespace

void ResearchMsg::handle(uint8_t, RakNet::BitStream& stream, NetPlayer* from) {
  if (networkManager == nullptr)
    return;
  if (networkManager->isServer) {
    empire* emp = readNetEmpire(stream);
    uint8_t kind = 0;
    if (emp == nullptr || from == nullptr || from->emp != emp || !stream.Read(kind) || kind != RMK_SetActive)
      return;
    applyActiveTechRequest(stream, emp, false);
    return;
  }
  if (!isNetworkClient())
    return;
  empire* own = activeEmpire;
  uint8_t kind = 0;
  if (own == nullptr || !stream.Read(kind))
    return;
  if (kind == RMK_SetActive) {
    applyActiveTechRequest(stream, own, true);
  } else if (kind == RMK_Web) {
    bool allItems = false;
    if (!stream.Read(allItems))
      return;
    if (allItems)
      readWebItems(stream, own);
    else
      readWebState(stream, own);
  }
}

void sendPlayerResearch(NetworkManager& manager, const NetPlayer& player) {
  empire* emp = player.emp;
  if (emp == nullptr)
    return;
  RakNet::BitStream stream;
  stream.Write(kResearchMessageId);
  bool allItems = false;
  {
    ScopedWriteLock guard(emp->locks[EA_ResearchWeb]);
    if (emp->researchWeb == nullptr)
      return;
    allItems = emp->researchChanged;
    emp->researchChanged = false;
    if (allItems)
      writeResearchWebItems(stream, *emp->researchWeb);
    else
      writeResearchWebState(stream, *emp->researchWeb);
  }
  manager.send(&stream, allItems ? kResearchItemsChannel : kResearchStateChannel, RakNet::RELIABLE_SEQUENCED,
               player.address);
}

}  // namespace research
