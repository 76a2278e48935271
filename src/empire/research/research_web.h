// The research web: an empire's own state of every technology of the game
// data. Each simulation step the web spends the empire's research rate on one
// active target (a technology's next level, or one of its links), raising
// levels, paying links and running the technologies' level events.
//
// For callers:
//   bool spendResearch(double seconds, empire* emp)    the research phase
//   IWebItem* getActiveTech(int& link) const           link -1: level target
//   void setActiveTech(const IWebItemDesc* desc)       target its next level
//   void setActiveTech(const IWebItemDesc* desc, uint16_t link)
//   IWebItem* getItem(const IWebItemDesc* desc) const  null when none
//   bool isTechVisible(const IWebItemDesc* desc) const
//   get/set/modResearchRate(double)
//   item->getDescriptor()->getName()                   display name
//   item->getLevels(level, progress, cost, maxLevel)   floats
//   item->getLinkEnd(index)                            null: no end
// The web takes no lock of its own: callers hold the empire's research-web
// area (EA_ResearchWeb). Publishing levels and computing costs take the
// empire's variables area (EA_Variables) for writing.
//
// research::IWeb is the interface the empire holds (its `researchWeb`, owned
// and deleted with the empire). research::CWeb is the authoritative web of a
// server or a local game.
//
// Each item publishes its technology's level to formulas: a NamedValues named
// by the technology's id inside the empire's "Techs" namespace, holding
// "Level" and "NextLevel". The item owns that set and unbinds it when it goes.
//
// Save record of a web (inside its empire's record; little-endian, strings as
// the save stream writes them):
//
//   field            layout
//   research rate    f64
//   item count       u16, then each item's record and a u8 visible flag
//   active target    u8 255 for none; else u8 1, the technology's id
//                    (string), u8 hasLinkTarget, u16 targetLink
//
//   item record      technology id (string), f32 level, f32 cost,
//                    f32 progress, f32 maxLevel, u8 link count, then per
//                    link: f32 cost, f32 paid, end (u8 255 for none, else
//                    u8 1 and the end technology's id)
//
// An item record or active target naming no technology of the game data (or
// no item of the web) fails the load with {5, "Missing Technology
// Descriptor"}; a link end naming none is kept without an end. A short read
// throws {4, "Unexpected EOF"}. Items that the record does not name
// (technologies added to the data after the save) are set up as a new web
// sets them up.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "core/save_stream.h"
#include "empire/research/web_item_desc.h"

class empire;
class NamedValues;
namespace RakNet {
class BitStream;
}

namespace research {

constexpr SaveFileError kSaveErrorMissingTechnology{5, "Missing Technology Descriptor"};

// The lock every technology without locks of its own gets, removed when a
// link reaches the technology.
constexpr wchar_t kLinkLock[] = L"Link";

class IWebItem;
class CWeb;

// One link of an item: what it leads to, and what is paid towards it.
struct SWebLink {
  SWebLinkDesc* desc = nullptr;  // null for links read from a save
  IWebItem* end = nullptr;       // null: the link leads nowhere
  float paid = 0.0f;
  float cost = 1.0f;
};

// The link settings of a web, read from the game settings when it is set up.
struct SLinkSettings {
  uint8_t randomize = 1;   // "RES_RANDOMIZE_LINKS": shuffle each item's links
  uint8_t noDeadEnds = 0;  // "RES_NO_DEAD_ENDS": drop links to no technology
  uint8_t showAll = 0;     // "RES_SHOW_ALL_TECHS": every item starts visible

  // The three settings of the game settings table (true when not 0).
  static SLinkSettings fromGameSettings();
};

// Finds the item of a descriptor.
class SWebItemSearch {
 public:
  virtual IWebItem* operator()(const IWebItemDesc* desc) const = 0;
  virtual ~SWebItemSearch() = default;
};

// The items of one web, by descriptor (null when the web has none).
class findWebItem : public SWebItemSearch {
 public:
  explicit findWebItem(const CWeb& web) : web_(web) {}
  IWebItem* operator()(const IWebItemDesc* desc) const override;

 private:
  const CWeb& web_;
};

class IWebItem {
 public:
  IWebItem() = default;
  IWebItem(const IWebItem&) = delete;
  IWebItem& operator=(const IWebItem&) = delete;

  virtual IWebItemDesc* getDescriptor() const = 0;
  virtual irr::u32 getLinkCount() const = 0;
  // `index` must be below the link count.
  virtual const SWebLink& getLink(irr::u32 index) const = 0;
  virtual SWebLink& getLink(irr::u32 index) = 0;
  // Chooses each link's end and cost (see SLinkSettings).
  virtual void resolveLinks(empire* emp, const SWebItemSearch& finder, const SLinkSettings& settings) = 0;
  // Starts the item at its technology's initial level.
  virtual void reset(empire* emp) = 0;
  // The item's network records (research_network.h has their layouts).
  // The readers change nothing unless the whole record was read, and give
  // false then.
  virtual bool readFull(RakNet::BitStream& stream) = 0;
  virtual void writeFull(RakNet::BitStream& stream) const = 0;
  virtual bool readLevels(RakNet::BitStream& stream) = 0;
  virtual void writeLevels(RakNet::BitStream& stream) const = 0;
  virtual void writeLinkEnds(RakNet::BitStream& stream) const = 0;
  virtual void getLevels(float& level, float& progress, float& cost, float& maxLevel) const = 0;
  // Leaves both untouched when the index is not below the link count.
  virtual void getLinkLevels(irr::u32 index, float& paid, float& cost) const = 0;
  // The link's end, null when none or when the index is out of range.
  virtual const IWebItem* getLinkEnd(irr::u32 index) const = 0;
  virtual IWebItem* getLinkEnd(irr::u32 index) = 0;
  virtual IWebItem* getPossibleLinkEnd(irr::u32 index) const = 0;
  virtual void setPossibleLinkEnd(irr::u32 index, IWebItem* end) = 0;
  virtual irr::u32 getLockCount() const = 0;
  virtual void removeLock(const irr::core::stringw& name) = 0;
  virtual void addLock(const irr::core::stringw& name) = 0;
  // Pays into link `index`; true with `end` set once the link is complete
  // (a complete link stays complete). False for an index out of range.
  virtual bool payLink(float points, irr::u32 index, IWebItem*& end) = 0;
  // Pays towards the next levels; true when at least one level was gained.
  virtual bool addPoints(float points, empire* emp) = 0;
  // Writes "Level" and "NextLevel" of the technology for formulas.
  virtual void publishLevel(empire* emp) = 0;
  virtual void save(SaveStream& stream) const = 0;
  virtual void load(SaveStream& stream, const SWebItemSearch& finder) = 0;
  // The web that holds the item.
  virtual IWeb* getWeb() const = 0;
  virtual ~IWebItem() = default;
};

class CWebItem : public IWebItem {
 public:
  // An item of `desc` in `web`, at level 0 with cost 1 and maximum 1, each
  // link leading nowhere.
  CWebItem(IWebItemDesc* desc, IWeb* web);
  ~CWebItem() override;

  IWebItemDesc* getDescriptor() const override { return descriptor; }
  irr::u32 getLinkCount() const override { return links.size(); }
  const SWebLink& getLink(irr::u32 index) const override { return links[index]; }
  SWebLink& getLink(irr::u32 index) override { return links[index]; }
  void resolveLinks(empire* emp, const SWebItemSearch& finder, const SLinkSettings& settings) override;
  void reset(empire* emp) override;
  bool readFull(RakNet::BitStream& stream) override;
  void writeFull(RakNet::BitStream& stream) const override;
  bool readLevels(RakNet::BitStream& stream) override;
  void writeLevels(RakNet::BitStream& stream) const override;
  void writeLinkEnds(RakNet::BitStream& stream) const override;
  void getLevels(float& outLevel, float& outProgress, float& outCost, float& outMaxLevel) const override;
  void getLinkLevels(irr::u32 index, float& paid, float& linkCost) const override;
  const IWebItem* getLinkEnd(irr::u32 index) const override;
  IWebItem* getLinkEnd(irr::u32 index) override;
  IWebItem* getPossibleLinkEnd(irr::u32 index) const override;
  void setPossibleLinkEnd(irr::u32 index, IWebItem* end) override;
  irr::u32 getLockCount() const override { return static_cast<irr::u32>(lockNames.size()); }
  void removeLock(const irr::core::stringw& name) override;
  void addLock(const irr::core::stringw& name) override;
  bool payLink(float points, irr::u32 index, IWebItem*& end) override;
  bool addPoints(float points, empire* emp) override;
  void publishLevel(empire* emp) override;
  void save(SaveStream& stream) const override;
  void load(SaveStream& stream, const SWebItemSearch& finder) override;
  IWeb* getWeb() const override { return web_; }

  IWebItemDesc* descriptor;
  irr::core::array<SWebLink> links;
  irr::core::array<SWebLink> possibleEnds;  // only `end` is used
  float level = 0.0f;
  float progress = 0.0f;
  float cost = 1.0f;
  float maxLevel = 1.0f;
  PooledNameSet lockNames;

 private:
  // Evaluates the cost formula with this technology's values bound under
  // the reserved namespace, so a bare "Level" is its own level.
  void computeCost(empire* emp);
  // The technology's values, bound in `emp`'s "Techs" (made on first use).
  NamedValues& ownValues();
  void unbindValues();

  IWeb* web_;
  std::unique_ptr<NamedValues> values_;
  empire* boundTo_ = nullptr;  // the empire whose "Techs" holds values_
  // The name values_ is bound under, kept so that unbinding never needs the
  // descriptor (the game data may be cleared before the empires go).
  irr::core::stringw boundName_;
};

class IWeb {
 public:
  IWeb() = default;
  IWeb(const IWeb&) = delete;
  IWeb& operator=(const IWeb&) = delete;

  // Builds the working state of a web that is not read from a save, once,
  // before its first research step.
  virtual void initialise(empire* emp) = 0;
  // Pays `points` into the descriptor's item; true when it gained a level
  // (the item is then visible). False when the web has no such item.
  virtual bool addPoints(const IWebItemDesc* desc, float points, empire* emp) = 0;
  virtual irr::u32 getVisibleCount() const = 0;
  virtual bool isTechVisible(const IWebItemDesc* desc) const = 0;
  virtual void markAsVisible(IWebItem* item) = 0;
  virtual IWebItem* getItem(const IWebItemDesc* desc) const = 0;

  // Research points per second of game time.
  virtual double getResearchRate() const = 0;
  virtual void setResearchRate(double rate) = 0;
  virtual void modResearchRate(double amount) = 0;

  // Spends rate x seconds on the active target. True when something was
  // found: a level gained or a link completed (the new target is then
  // already chosen).
  virtual bool spendResearch(double seconds, empire* emp) = 0;
  // Targets link `link` of the descriptor's item; nothing without an item.
  virtual void setActiveTech(const IWebItemDesc* desc, uint16_t link) = 0;
  // Targets the next level of the descriptor's item; nothing without one.
  virtual void setActiveTech(const IWebItemDesc* desc) = 0;
  // The active item (null when none). `link` is set to the index of the link
  // being paid, or -1 when the target is the item's next level.
  virtual IWebItem* getActiveTech(int& link) const = 0;

  // Writes the web's save record.
  virtual void write(SaveStream& stream) const = 0;

  virtual ~IWeb() = default;

  // The empire whose web this is, whose research-web area guards it; null
  // for a web not given to an empire (createResearchWeb and loadResearchWeb
  // set it).
  empire* holder = nullptr;
};

// The research target: an item, and either its next level or one of its
// links.
struct SActiveTarget {
  IWebItem* item = nullptr;
  uint8_t hasLinkTarget = 0;  // 1: the target is link `targetLink`, else the level
  uint16_t targetLink = 0;
};

class CWeb : public IWeb {
 public:
  // One item per technology of the registry (research_registry.h), sorted
  // by sortWebItems; no active target and a rate of 0.
  CWeb();
  ~CWeb() override;

  void initialise(empire* emp) override;
  bool addPoints(const IWebItemDesc* desc, float points, empire* emp) override;
  irr::u32 getVisibleCount() const override { return static_cast<irr::u32>(visible.size()); }
  bool isTechVisible(const IWebItemDesc* desc) const override;
  void markAsVisible(IWebItem* item) override;
  IWebItem* getItem(const IWebItemDesc* desc) const override;

  double getResearchRate() const override { return researchRate; }
  void setResearchRate(double rate) override { researchRate = rate; }
  void modResearchRate(double amount) override { researchRate += amount; }

  bool spendResearch(double seconds, empire* emp) override;
  void setActiveTech(const IWebItemDesc* desc, uint16_t link) override;
  void setActiveTech(const IWebItemDesc* desc) override;
  IWebItem* getActiveTech(int& link) const override;

  void write(SaveStream& stream) const override;

  // Sets up `item` as initialise does (level, published values, visibility);
  // its links are resolved separately, once every item is set up.
  void setUpItem(IWebItem* item, empire* emp, const SLinkSettings& settings);
  // A new level target among the items above level 0 and below their
  // maximum; the target stays when there is none.
  void chooseNewActive();

  irr::core::array<IWebItem*> items;  // one per technology, owned
  std::map<const IWebItemDesc*, IWebItem*> itemByDescriptor;
  std::set<IWebItem*> visible;
  SActiveTarget active;
  double researchRate = 0.0;
};

// Orders items by their descriptors' registration order.
void sortWebItems(irr::core::array<IWebItem*>& items);

// The web a new empire holds: on a network client the mirror of the
// server's web (research::CNetworkedWeb, research_network.h), elsewhere a
// new local web. The caller owns the result and deletes it.
IWeb* createResearchWeb(empire* emp);

// A new local web of `emp` read from its save record (the caller owns it).
// Throws SaveFileError and then leaves nothing behind.
IWeb* loadResearchWeb(empire* emp, SaveStream& stream);

}  // namespace research
