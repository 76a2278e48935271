// Treaties: two empires bound by a list of clauses. The proposing empire is
// the treaty's "from" empire, the one it is offered to its "to" empire. A
// treaty is first a proposal held by both (empire::proposedTreaties), then,
// once accepted, a standing treaty in both empires' `treaties`, whose from
// empire's step runs the clauses' tick hooks until one ends or fails.
//
// Save record (little-endian), written into the from empire's record:
//
//   field          layout
//   ended          u8
//   state          u32 (TreatyState)
//   id             u32
//   clause count   u16
//   to empire      u8 (its ID)
//   each clause    wide string id, u8 option count, u8 reversed, then each
//                  option's text as a wide string
//
// Records of saves before version 12 hold the to empire as 4 bytes (the low
// byte is the ID) before the clause count, and the id after it.
#pragma once

#include <cstdint>

#include <irrArray.h>

#include "core/post_load.h"
#include "empire/empire.h"
#include "empire/treaty_clause.h"

class SaveStream;

enum TreatyState : uint32_t {
  TS_Proposed = 0,
  TS_Accepted = 1,
  TS_Rejected = 2,
};

// The treaty: its clauses (one reference held on each), the two empires (not
// owned), whether it has ended (never cleared), its state and its ID (0 until
// the server gives one). The fields carry no lock of their own: the empires'
// treaties areas guard the lists that hold treaties.
class CTreaty : public ITreaty {
 public:
  CTreaty(empire* from, empire* to);
  ~CTreaty() override;  // releases every clause

  uint32_t getClauseCount() const override;
  IClause* getClause(uint32_t index) const override;  // null at or past the count
  IClause* getClause(uint32_t index) override;
  // Searches from the last clause to the first; the found one is released
  // and the rest keep their order. An absent clause changes nothing.
  void removeClause(IClause* clause) override;
  void removeClause(uint32_t index) override;  // nothing out of range
  void addClause(IClause* clause) override;    // takes a reference
  // Each clause's hook in order, with (from, to), or (to, from) for a
  // reversed clause; stops at the first CS_ENDED or CS_FAILED and gives it.
  // CS_NOCHANGE after the last (and without clauses).
  int32_t begin() override;
  int32_t tick(double seconds) override;
  int32_t end() override;
  int32_t fail() override;
  bool hasTag(const irr::core::stringw& tag) const override;
  // True unless `other` is between the same two empires (either direction)
  // and a clause of this treaty does not allow it in.
  bool allows(ITreaty* other) override;
  empire* getToEmpire() const override { return toEmpire; }
  empire* getFromEmpire() const override { return fromEmpire; }
  void setEnded() override { ended = true; }
  bool isEnded() const override { return ended; }
  uint32_t getState() const override { return state; }
  // Stores the state; a network client also sends it to the server as its
  // player's answer (sendTreatyAnswer).
  void setState(uint32_t newState) override;
  uint32_t getID() const override { return id; }
  void setID(uint32_t newId) override { id = newId; }
  void save(SaveStream& stream) override;

  empire* fromEmpire;
  empire* toEmpire;
  irr::core::array<IClause*> clauses;
  bool ended = false;
  uint32_t state = TS_Proposed;
  uint32_t id = 0;
};

// A new treaty of `from` to `to` with one reference and no clauses.
ITreaty* createTreaty(empire* from, empire* to);

// Files a treaty on the empire that runs it: with `activate`,
// empire::activateTreaty, otherwise empire::restoreTreaty. A treaty without
// clauses is left alone. Holds its own reference.
class assignTreatyJob : public empJob {
 public:
  assignTreatyJob(ITreaty* treaty, bool activate);  // takes a reference
  ~assignTreatyJob() override;                       // releases it
  void run(empire* emp) override;

  ITreaty* treaty;
  bool activate;
};

// Queues an activating assignTreatyJob on the from empire, then on the to
// empire.
void queueTreatyActivation(ITreaty* treaty);

// Reads one save record (see the top of this file) into a new treaty of
// `owner` and queues its FinishTreatyLoad step; the caller gets no
// reference of its own (the step holds the treaty). A stored clause whose
// kind is gone, or whose option count differs from its kind's, is skipped
// with its option texts. A short record throws {4, "Unexpected EOF"} and
// leaves nothing behind.
ITreaty* loadTreaty(empire* owner, SaveStream& stream);

// After the object tree is loaded: finds the to empire by its stored ID and
// queues a restoring assignTreatyJob on the from empire, then on the to
// empire. Without that empire the treaty is filed nowhere. Releases the
// load's reference when it is deleted.
class FinishTreatyLoad : public PostObjectTreeStep {
 public:
  FinishTreatyLoad(ITreaty* treaty, EmpireID toEmpireID) : treaty(treaty), toEmpireID(toEmpireID) {}
  ~FinishTreatyLoad() override;
  void run() override;

  ITreaty* treaty;  // the load's reference
  EmpireID toEmpireID;
};
