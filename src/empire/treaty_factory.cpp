#include "empire/treaty_factory.h"

#include <angelscript.h>

#include "empire/empire.h"
#include "empire/treaty.h"
#include "empire/treaty_network.h"
#include "net/network_manager.h"
#include "script/script_engine.h"

namespace {

const char kNoTreaty[] = "No active treaty to propose";
const char kNotOurEmpire[] = "Not allowed to propose treaties as another empire";
const char kNoClauses[] = "No clauses in treaty";

// Whether the script calling in runs on the client engine: an interface
// script, which may only speak for the local player's empire. Any context of
// that engine counts: the thread's own one, and a pooled one a nested call
// runs on.
bool calledFromClientScript() {
  AngelScript::asIScriptContext* running = AngelScript::asGetActiveContext();
  return running != nullptr && clientScriptEngine != nullptr && running->GetEngine() == clientScriptEngine;
}

bool allClausesOffensive(const ITreaty* treaty) {
  for (uint32_t i = 0; i < treaty->getClauseCount(); ++i)
    if (!treaty->getClause(i)->isOffensive())
      return false;
  return true;
}

// A treaty that can be put between its empires: two distinct valid empires,
// and not ended (an ended treaty would stay stuck in the proposer's record,
// or run its hooks although the other side never files it).
bool canStand(const ITreaty* treaty) {
  const empire* from = treaty->getFromEmpire();
  const empire* to = treaty->getToEmpire();
  return from != nullptr && to != nullptr && from != to && from->valid && to->valid && !treaty->isEnded();
}

}  // namespace

TreatyFactory::TreatyFactory(empire* from, const empire* to) { prepare(from, to); }

TreatyFactory::~TreatyFactory() { clear(); }

void TreatyFactory::release() {
  if (--refCount == 0)
    delete this;
}

void TreatyFactory::prepare(empire* from, const empire* to) {
  clear();
  treaty = createTreaty(from, const_cast<empire*>(to));
}

void TreatyFactory::clear() {
  if (treaty != nullptr)
    treaty->release();
  treaty = nullptr;
}

bool TreatyFactory::propose() {
  if (treaty == nullptr) {
    raiseScriptException(kNoTreaty);
    return false;
  }
  empire* from = treaty->getFromEmpire();
  empire* to = treaty->getToEmpire();
  if (from != activeEmpire && calledFromClientScript()) {
    raiseScriptException(kNotOurEmpire);
    return false;
  }
  if (treaty->getClauseCount() == 0) {
    raiseScriptException(kNoClauses);
    return false;
  }
  // Refused like a recording would be: no exception, the treaty stays here.
  if (!canStand(treaty))
    return false;

  const bool client = isNetworkClient();
  if (allClausesOffensive(treaty)) {
    // In force without an answer. A client tells the server first; the
    // server's copy is made active when it reads it. Setting the state here
    // on a client would send an answer for a treaty the server has no ID for.
    if (client)
      sendTreatyProposal(treaty);
    else
      treaty->setState(TS_Accepted);
    queueTreatyActivation(treaty);
    clear();
    return true;
  }

  if (!from->setProposedTreaty(to, treaty))
    return false;
  if (!to->setProposedTreaty(from, treaty)) {
    // Withdraws the first record; as the proposer's, that ends the treaty.
    from->setProposedTreaty(to, nullptr);
    return false;
  }
  // Only a proposal both sides hold goes to the server, and only once.
  if (client)
    sendTreatyProposal(treaty);
  clear();
  return true;
}
