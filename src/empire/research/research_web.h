// The research web: an empire's own state of every technology of the game
// data. Each simulation step the web spends the empire's research rate on one
// active target (a technology's next level, or one of its links), raising
// levels and paying links.
//
// research::IWeb is the interface the empire holds (its `researchWeb`, owned
// and deleted with the empire; access goes through the empire's research-web
// lock area). research::CWeb is the authoritative web of a server or a local
// game.
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
// An item record starts with its technology's id (string): an id that names
// no technology of the game data (or no item of the web) fails the load with
// {5, "Missing Technology Descriptor"}, and so does an active target naming
// one. A short read throws {4, "Unexpected EOF"}.
#pragma once

#include <irrArray.h>

#include <cstdint>

#include "core/save_stream.h"

class empire;

namespace research {

constexpr SaveFileError kSaveErrorMissingTechnology{5, "Missing Technology Descriptor"};

class IWebItem;

class IWeb {
 public:
  IWeb() = default;
  IWeb(const IWeb&) = delete;
  IWeb& operator=(const IWeb&) = delete;

  // Builds the working state of a web that is not read from a save, once,
  // before its first research step.
  virtual void initialise(empire* emp) = 0;

  // Research points per second of game time.
  virtual double getResearchRate() const = 0;
  virtual void setResearchRate(double rate) = 0;
  virtual void modResearchRate(double amount) = 0;

  // The active item (null when none). `link` is set to the index of the link
  // being paid, or -1 when the target is the item's next level.
  virtual IWebItem* getActiveTech(int& link) const = 0;

  // Writes the web's save record.
  virtual void write(SaveStream& stream) const = 0;

  virtual ~IWeb() = default;
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
  // A web with no active target and a rate of 0. Its items, one per
  // technology of the registry (research_registry.h), come with the items'
  // own state; until then every web starts without items.
  CWeb();
  ~CWeb() override;

  // Sets up a web that is not read from a save, once, before its first
  // research step. Without items there is nothing to reset, publish or
  // resolve, and the web stays as it is.
  void initialise(empire* emp) override;

  double getResearchRate() const override { return researchRate; }
  void setResearchRate(double rate) override { researchRate = rate; }
  void modResearchRate(double amount) override { researchRate += amount; }

  IWebItem* getActiveTech(int& link) const override;

  void write(SaveStream& stream) const override;

  irr::core::array<IWebItem*> items;  // one per technology, owned
  SActiveTarget active;
  double researchRate = 0.0;
};

// The web a new empire holds: a new local web. (A network client will get a
// client-side mirror of the server's web here instead, once the research
// network sync exists.) The caller owns the result and deletes it.
IWeb* createResearchWeb(empire* emp);

// A new local web of `emp` read from its save record (the caller owns it).
// Throws SaveFileError and then leaves nothing behind.
IWeb* loadResearchWeb(empire* emp, SaveStream& stream);

}  // namespace research
