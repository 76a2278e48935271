#include "empire/treaty.h"

#include <algorithm>

#include "core/save_stream.h"
#include "empire/treaty_network.h"
#include "net/network_manager.h"
#include "script/script_string.h"

namespace {

// The widest counts the save record can hold; a treaty or clause never comes
// near them, but the record stays readable if one did.
constexpr uint32_t kMaxSavedClauses = 0xFFFF;
constexpr uint32_t kMaxSavedOptions = 0xFF;

// Runs `hook` on every clause in order with its two empires, swapped for a
// reversed clause, and stops at the first clause that ends or fails. Each
// clause is held while its hook runs, so that a script letting go of it
// meanwhile cannot free it under the call.
template <typename Hook>
int32_t runClauses(const irr::core::array<IClause*>& clauses, empire* from, empire* to, Hook hook) {
  for (irr::u32 i = 0; i < clauses.size(); ++i) {
    IClause* clause = clauses[i];
    clause->addRef();
    const int32_t result = clause->isReversed() ? hook(clause, to, from) : hook(clause, from, to);
    clause->release();
    if (result == CS_ENDED || result == CS_FAILED)
      return result;
  }
  return CS_NOCHANGE;
}

}  // namespace

CTreaty::CTreaty(empire* from, empire* to) : fromEmpire(from), toEmpire(to) {}

CTreaty::~CTreaty() {
  for (irr::u32 i = 0; i < clauses.size(); ++i)
    clauses[i]->release();
}

uint32_t CTreaty::getClauseCount() const { return clauses.size(); }

IClause* CTreaty::getClause(uint32_t index) const { return index < clauses.size() ? clauses[index] : nullptr; }

IClause* CTreaty::getClause(uint32_t index) { return index < clauses.size() ? clauses[index] : nullptr; }

void CTreaty::removeClause(IClause* clause) {
  for (irr::u32 i = clauses.size(); i-- > 0;) {
    if (clauses[i] == clause) {
      removeClause(i);
      return;
    }
  }
}

void CTreaty::removeClause(uint32_t index) {
  if (index >= clauses.size())
    return;
  IClause* removed = clauses[index];
  clauses.erase(index);
  removed->release();
}

void CTreaty::addClause(IClause* clause) {
  if (clause == nullptr)
    return;
  clause->addRef();
  clauses.push_back(clause);
}

int32_t CTreaty::begin() {
  return runClauses(clauses, fromEmpire, toEmpire, [](IClause* c, empire* a, empire* b) { return c->begin(a, b); });
}

int32_t CTreaty::tick(double seconds) {
  return runClauses(clauses, fromEmpire, toEmpire,
                    [seconds](IClause* c, empire* a, empire* b) { return c->tick(a, b, seconds); });
}

int32_t CTreaty::end() {
  return runClauses(clauses, fromEmpire, toEmpire, [](IClause* c, empire* a, empire* b) { return c->end(a, b); });
}

int32_t CTreaty::fail() {
  return runClauses(clauses, fromEmpire, toEmpire, [](IClause* c, empire* a, empire* b) { return c->fail(a, b); });
}

bool CTreaty::hasTag(const irr::core::stringw& tag) const {
  if (clauses.empty())
    return false;
  ScriptString* text = new ScriptString(tag);
  bool found = false;
  for (irr::u32 i = 0; i < clauses.size() && !found; ++i)
    found = clauses[i]->hasTag(text);
  text->release();
  return found;
}

bool CTreaty::allows(ITreaty* other) {
  if (other == nullptr)
    return true;
  const bool sameWay = fromEmpire == other->getFromEmpire() && toEmpire == other->getToEmpire();
  const bool otherWay = fromEmpire == other->getToEmpire() && toEmpire == other->getFromEmpire();
  if (!sameWay && !otherWay)
    return true;
  for (irr::u32 i = 0; i < clauses.size(); ++i)
    if (!clauses[i]->allowedIn(other))
      return false;
  return true;
}

void CTreaty::save(SaveStream& stream) {
  const uint32_t clauseCount = std::min<uint32_t>(clauses.size(), kMaxSavedClauses);
  stream.writeU8(ended ? 1 : 0);
  stream.writeU32(state);
  stream.writeU32(id);
  stream.writeU16(static_cast<uint16_t>(clauseCount));
  // Without a to empire the record names the default empire's ID, which a
  // load treats as absent.
  stream.writeEmpireId(toEmpire != nullptr ? toEmpire->ID : defaultEmpire()->ID);
  for (uint32_t i = 0; i < clauseCount; ++i) {
    const IClause* clause = clauses[i];
    const ScriptString* clauseId = clause->getId();
    stream.writeString(clauseId != nullptr ? clauseId->toStringw() : irr::core::stringw());
    const uint32_t optionCount = std::min(clause->getOptionCount(), kMaxSavedOptions);
    stream.writeU8(static_cast<uint8_t>(optionCount));
    stream.writeU8(clause->isReversed() ? 1 : 0);
    for (uint32_t k = 0; k < optionCount; ++k) {
      ScriptString* text = clause->getOption(k)->toString();
      stream.writeString(text->toStringw());
      text->release();
    }
  }
}

void CTreaty::setState(uint32_t newState) {
  state = newState;
  if (isNetworkClient())
    sendTreatyAnswer(this, newState);
}

ITreaty* createTreaty(empire* from, empire* to) { return new CTreaty(from, to); }

assignTreatyJob::assignTreatyJob(ITreaty* treaty, bool activate) : treaty(treaty), activate(activate) {
  treaty->addRef();
}

assignTreatyJob::~assignTreatyJob() { treaty->release(); }

void assignTreatyJob::run(empire* emp) {
  if (treaty->getClauseCount() == 0)
    return;
  if (activate)
    emp->activateTreaty(treaty);
  else
    emp->restoreTreaty(treaty);
}

void queueTreatyActivation(ITreaty* treaty) {
  if (treaty == nullptr)
    return;
  for (empire* emp : {treaty->getFromEmpire(), treaty->getToEmpire()})
    if (emp != nullptr)
      emp->queueJob(new assignTreatyJob(treaty, true));
}
