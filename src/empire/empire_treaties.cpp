// An empire's proposals and standing treaties: filing them, and the treaty
// phase of the empire step.
//
// Both lists are guarded by the treaties area. A treaty is held by both of
// its empires, but only its from empire runs its clause hooks: when a treaty
// is activated and, every step, while it stands. The other side only files it
// and lets it go once it has ended.
#include <irrString.h>

#include "core/locale.h"
#include "core/locks.h"
#include "empire/empire.h"
#include "empire/treaty.h"
#include "net/network_manager.h"

namespace {

const wchar_t kDiplomacyCategory[] = L"diplomacy";
const wchar_t kAcceptedColour[] = L" #c:9f9#";
const wchar_t kRejectedColour[] = L" #c:f99#";

// What the proposer is told when `to` answered its proposal: "The <to>
// accepted our proposal." with the verb coloured.
irr::core::stringw answerText(const empire* to, bool accepted) {
  irr::core::stringw text(getLocalizedText(L"#EM_The"));
  if (to != nullptr)
    text += to->name;
  text += accepted ? kAcceptedColour : kRejectedColour;
  text += getLocalizedText(accepted ? L"#EM_Trty_accepted" : L"#EM_Trty_rejected");
  text += L"#c#";
  text += getLocalizedText(L"#EM_Trty_proposal");
  return text;
}

bool isParty(const empire* emp, const ITreaty* treaty) {
  return treaty->getFromEmpire() == emp || treaty->getToEmpire() == emp;
}

}  // namespace

ITreaty* empire::getProposedTreaty(const empire* other) {
  ScopedReadLock guard(locks[EA_Treaties]);
  const auto found = proposedTreaties.find(other);
  return found != proposedTreaties.end() ? found->second : nullptr;
}

bool empire::setProposedTreaty(const empire* other, ITreaty* treaty) {
  if (other == this || other == nullptr)
    return false;
  ScopedWriteLock guard(locks[EA_Treaties]);
  const auto found = proposedTreaties.find(other);
  if (treaty != nullptr) {
    // One proposal per pair of empires: a second one is refused, so that the
    // proposer learns it was not recorded.
    if (found != proposedTreaties.end() && found->second != nullptr)
      return false;
    treaty->addRef();
    proposedTreaties[other] = treaty;
  } else if (found != proposedTreaties.end()) {
    ITreaty* held = found->second;
    proposedTreaties.erase(found);
    if (held != nullptr) {
      // The proposer withdrawing its proposal ends it for the other side too.
      if (held->getFromEmpire() == this)
        held->setEnded();
      held->release();
    }
  }
  if (!isNetworkClient())
    treatiesChanged = true;
  return true;
}

void empire::restoreTreaty(ITreaty* treaty) {
  ScopedWriteLock guard(locks[EA_Treaties]);
  if (treaty->isEnded() || !isParty(this, treaty))
    return;
  switch (treaty->getState()) {
    case TS_Proposed: {
      empire* other = treaty->getFromEmpire() == this ? treaty->getToEmpire() : treaty->getFromEmpire();
      setProposedTreaty(other, treaty);
      break;
    }
    case TS_Accepted:
      treaty->addRef();
      treaties.push_back(treaty);
      break;
    default:  // a rejected treaty is not kept
      break;
  }
}

void empire::activateTreaty(ITreaty* treaty) {
  ScopedWriteLock guard(locks[EA_Treaties]);
  if (treaty->getFromEmpire() != this) {
    // The other side only files it; the proposer's job may have ended it
    // already (or may yet, in which case this empire's step lets it go).
    if (treaty->getToEmpire() == this && !treaty->isEnded()) {
      treaty->addRef();
      treaties.push_back(treaty);
    }
    return;
  }
  for (irr::u32 i = 0; i < treaties.size(); ++i) {
    // A treaty that has ended (and waits for this step to let it go) no
    // longer stands in the way of a new one.
    if (treaties[i]->isEnded())
      continue;
    if (!treaty->allows(treaties[i])) {
      treaty->setEnded();
      return;
    }
  }
  switch (treaty->begin()) {
    case CS_ENDED:
      treaty->end();
      treaty->setEnded();
      break;
    case CS_FAILED:
      treaty->fail();
      treaty->setEnded();
      break;
    default:
      treaty->addRef();
      treaties.push_back(treaty);
      break;
  }
}

void empire::tickTreaties(double seconds) {
  ScopedWriteLock guard(locks[EA_Treaties]);

  // The server decides what becomes of treaties; a client only lets go of
  // those that ended.
  if (isNetworkClient()) {
    for (irr::u32 i = 0; i < treaties.size();) {
      ITreaty* treaty = treaties[i];
      if (!treaty->isEnded()) {
        ++i;
        continue;
      }
      treaties.erase(i);
      treaty->release();
    }
    for (auto it = proposedTreaties.begin(); it != proposedTreaties.end();) {
      ITreaty* treaty = it->second;
      if (treaty != nullptr && !treaty->isEnded()) {
        ++it;
        continue;
      }
      it = proposedTreaties.erase(it);
      if (treaty != nullptr)
        treaty->release();
    }
    return;
  }

  // Standing treaties: the proposer runs the clauses, the other side drops
  // what the proposer ended. Removal leaves the index on the next treaty.
  for (irr::u32 i = 0; i < treaties.size();) {
    ITreaty* treaty = treaties[i];
    if (treaty->getFromEmpire() == this) {
      const int32_t result = treaty->tick(seconds);
      if (result == CS_ENDED)
        treaty->end();
      else if (result == CS_FAILED)
        treaty->fail();
      else {
        ++i;
        continue;
      }
      treaty->setEnded();
    } else if (!treaty->isEnded()) {
      ++i;
      continue;
    }
    treaties.erase(i);
    treaty->release();
    treatiesChanged = true;
  }

  // Proposals: the proposer acts on the answer and tells its player; the
  // other side drops what has been answered or withdrawn.
  for (auto it = proposedTreaties.begin(); it != proposedTreaties.end();) {
    ITreaty* treaty = it->second;
    if (treaty == nullptr) {
      it = proposedTreaties.erase(it);
      continue;
    }
    const uint32_t state = treaty->getState();
    if (treaty->getFromEmpire() == this) {
      if (state == TS_Accepted) {
        queueTreatyActivation(treaty);
        it = proposedTreaties.erase(it);
        postEmpireMessage(this, answerText(treaty->getToEmpire(), true), kDiplomacyCategory, 0, -1);
      } else if (state == TS_Rejected) {
        treaty->setEnded();
        postEmpireMessage(this, answerText(treaty->getToEmpire(), false), kDiplomacyCategory, 0, -1);
        it = proposedTreaties.erase(it);
      } else {
        ++it;
        continue;
      }
    } else if (treaty->isEnded() || state == TS_Accepted || state == TS_Rejected) {
      it = proposedTreaties.erase(it);
    } else {
      ++it;
      continue;
    }
    treaty->release();
    treatiesChanged = true;
  }
}
