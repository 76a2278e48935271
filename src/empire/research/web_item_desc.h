// Technology descriptors: the shared, read-only definition of one technology,
// read from the technology files (research_fields.h) and kept in the
// technology registry (research_registry.h) for the whole game. Every
// empire's research web holds one item per descriptor; items, ties and level
// events refer to descriptors without owning them.
//
// A descriptor holds:
//   id, name, description, icon   wide texts; a new descriptor is named after
//                                 its id and shows the icon "res_no_icon"
//   cost, maximum, initial level  owned formulas (a level's cost, the level
//                                 cap, the level an empire starts at)
//   links                         the technologies research leads to, each a
//                                 weighted list of alternative ends
//   ties                          the sub-system definitions a level unlocks
//   locks, tags                   sets of pooled names (common_strings.h); an
//                                 item with a lock is hidden from its empire
//   level events                  what happens when an item reaches a level,
//                                 in insertion order within one level
//   position                      where the research screen draws it
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

class formula;
class SubSystemDef;

namespace research {

class IWeb;
class IWebItem;
class IWebItemDesc;

// The icon of a technology whose file names none.
constexpr wchar_t kNoIcon[] = L"res_no_icon";

// One possible end of a link: the technology it leads to, what the link
// costs and the weight of this alternative among the link's ends.
struct SWebLinkEndDesc {
  irr::core::stringw techId;
  formula* cost = nullptr;  // owned
  float weight = 1.0f;
};

// A link: the weighted alternatives it can lead to. The technology files
// always give one alternative of weight 1.
class SWebLinkDesc {
 public:
  SWebLinkDesc() = default;
  SWebLinkDesc(const SWebLinkDesc&) = delete;
  SWebLinkDesc& operator=(const SWebLinkDesc&) = delete;
  ~SWebLinkDesc();

  // Appends an alternative; the list takes ownership of `cost`.
  void add(const irr::core::stringw& techId, formula* cost, float weight);

  irr::u32 size() const { return static_cast<irr::u32>(ends_.size()); }
  const SWebLinkEndDesc& operator[](irr::u32 index) const { return ends_[index]; }
  // The sum of the alternatives' weights.
  float totalWeight() const { return totalWeight_; }

 private:
  std::vector<SWebLinkEndDesc> ends_;
  float totalWeight_ = 0.0f;
};

// A sub-system definition that a technology's level unlocks.
struct SWebTieDesc {
  irr::u32 level = 0;
  SubSystemDef* def = nullptr;
  IWebItemDesc* desc = nullptr;  // the technology the tie belongs to
};

// Something that happens when an empire's item of a technology reaches a
// level.
class ILevelEvent {
 public:
  ILevelEvent() = default;
  ILevelEvent(const ILevelEvent&) = delete;
  ILevelEvent& operator=(const ILevelEvent&) = delete;

  virtual void run(IWeb* web, IWebItem* item, double level) = 0;
  virtual ~ILevelEvent() = default;
};

// Reveals another technology: removes the lock `lockName` from its item
// (when the name is not empty) and marks the item visible once no lock is
// left.
class UnlockTech : public ILevelEvent {
 public:
  UnlockTech(const irr::core::stringw& lock, const irr::core::stringw& tech) : lockName(lock), techId(tech) {}
  void run(IWeb* web, IWebItem* item, double level) override;

  irr::core::stringw lockName;  // may be empty
  irr::core::stringw techId;
  // Resolved from techId on first use. Descriptors are shared by every
  // empire, and events run on any thread: the cache is atomic.
  std::atomic<IWebItemDesc*> desc{nullptr};
};

// Pays into one link of the item: `amount`, or with `relative` 1 that
// fraction of the link's cost.
class PayLink : public ILevelEvent {
 public:
  PayLink(irr::u32 link, float payAmount, uint8_t isRelative)
      : linkIndex(link), amount(payAmount), relative(isRelative) {}
  void run(IWeb* web, IWebItem* item, double level) override;

  irr::u32 linkIndex;
  float amount;
  uint8_t relative;
};

// As PayLink, into a link drawn at random.
class PayRandLink : public ILevelEvent {
 public:
  PayRandLink(float payAmount, uint8_t isRelative) : amount(payAmount), relative(isRelative) {}
  void run(IWeb* web, IWebItem* item, double level) override;

  float amount;
  uint8_t relative;
};

// Orders pooled names by their text.
struct PooledNameOrder {
  using is_transparent = void;
  bool operator()(const irr::core::stringw* a, const irr::core::stringw* b) const;
  bool operator()(const irr::core::stringw* a, const irr::core::stringw& b) const;
  bool operator()(const irr::core::stringw& a, const irr::core::stringw* b) const;
};
using PooledNameSet = std::set<const irr::core::stringw*, PooledNameOrder>;

class IWebItemDesc {
 public:
  IWebItemDesc() = default;
  IWebItemDesc(const IWebItemDesc&) = delete;
  IWebItemDesc& operator=(const IWebItemDesc&) = delete;

  virtual const irr::core::stringw& getId() const = 0;
  virtual const irr::core::stringw& getName() const = 0;
  virtual const irr::core::stringw& getDescription() const = 0;
  virtual const irr::core::stringw& getIcon() const = 0;
  virtual void getPosition(float& x, float& y) const = 0;
  // Ties `def` to this technology's `level`; the descriptor owns the tie.
  virtual SWebTieDesc* addTie(SubSystemDef* def, irr::u32 level) = 0;
  // The tie at `index`, or null when the index is not below the tie count.
  virtual SWebTieDesc* getTie(irr::u32 index) const = 0;
  virtual irr::u32 getTieCount() const = 0;
  virtual void getFormulas(const formula*& cost, const formula*& maxLevel, const formula*& initialLevel) const = 0;
  virtual irr::u32 getLinkCount() const = 0;
  // The link at `index`, which must be below the link count.
  virtual SWebLinkDesc* getLinkDesc(irr::u32 index) = 0;
  virtual const SWebLinkDesc* getLinkDesc(irr::u32 index) const = 0;
  virtual bool hasTag(const irr::core::stringw& name) const = 0;
  // Adds every lock of the technology to `item`.
  virtual void applyLocks(IWebItem* item) const = 0;
  // Adds an event at `level`, after the events already there; the
  // descriptor owns it.
  virtual void addLevelEvent(double level, ILevelEvent* event) = 0;
  // Runs the events of `level`, in the order they were added.
  virtual void runLevelEvents(IWeb* web, IWebItem* item, double level) const = 0;
  virtual ~IWebItemDesc() = default;
  // Deletes every tie of `def` (a definition about to be deleted), keeping
  // the order of the others; returns how many were removed.
  virtual irr::u32 removeTie(const SubSystemDef* def) = 0;
};

class CWebItemDesc : public IWebItemDesc {
 public:
  explicit CWebItemDesc(const irr::core::stringw& techId);
  ~CWebItemDesc() override;

  const irr::core::stringw& getId() const override { return id; }
  const irr::core::stringw& getName() const override { return name; }
  const irr::core::stringw& getDescription() const override { return description; }
  const irr::core::stringw& getIcon() const override { return icon; }
  void getPosition(float& x, float& y) const override {
    x = positionX;
    y = positionY;
  }
  SWebTieDesc* addTie(SubSystemDef* def, irr::u32 level) override;
  irr::u32 removeTie(const SubSystemDef* def) override;
  SWebTieDesc* getTie(irr::u32 index) const override { return index < ties.size() ? ties[index] : nullptr; }
  irr::u32 getTieCount() const override { return ties.size(); }
  void getFormulas(const formula*& cost, const formula*& maxLevel, const formula*& initialLevel) const override;
  irr::u32 getLinkCount() const override { return links.size(); }
  SWebLinkDesc* getLinkDesc(irr::u32 index) override { return links[index]; }
  const SWebLinkDesc* getLinkDesc(irr::u32 index) const override { return links[index]; }
  bool hasTag(const irr::core::stringw& tag) const override { return tags.count(tag) != 0; }
  void applyLocks(IWebItem* item) const override;
  void addLevelEvent(double level, ILevelEvent* event) override;
  void runLevelEvents(IWeb* web, IWebItem* item, double level) const override;

  virtual void setId(const irr::core::stringw& text) { id = text; }
  virtual void setName(const irr::core::stringw& text) { name = text; }
  virtual void setDescription(const irr::core::stringw& text) { description = text; }
  virtual void setIcon(const irr::core::stringw& text) { icon = text; }
  virtual void setPosition(float x, float y) {
    positionX = x;
    positionY = y;
  }
  // Takes ownership of the three formulas, deleting those they replace.
  virtual void setFormulas(formula* cost, formula* maxLevel, formula* initialLevel);
  // Tags and locks are pooled in the common string list.
  virtual void addTag(const irr::core::stringw& tag);
  virtual void addLock(const irr::core::stringw& lock);
  virtual bool hasLocks() const { return !locks.empty(); }
  // Appends an empty link and returns it.
  virtual SWebLinkDesc* newLinkDesc();

  irr::core::stringw id;
  irr::core::stringw name;
  irr::core::stringw description;
  irr::core::stringw icon;
  formula* costFormula = nullptr;
  formula* maxLevelFormula = nullptr;
  formula* initialLevelFormula = nullptr;
  irr::core::array<SWebLinkDesc*> links;
  irr::core::array<SWebTieDesc*> ties;
  PooledNameSet locks;
  PooledNameSet tags;
  std::multimap<double, ILevelEvent*> levelEvents;
  float positionX = 0.0f;
  float positionY = 0.0f;
};

}  // namespace research
