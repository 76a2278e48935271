#include "empire/empire.h"

#include <angelscript.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "design/build/build_rules.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/diplomacy/diplomacy_texts.h"
#include "empire/empire_names.h"
#include "empire/research/research_web.h"
#include "empire/research/web_item_desc.h"
#include "empire/traits.h"
#include "empire/treaty_clause.h"
#include "net/empire_messages.h"
#include "net/network_manager.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "universe/objects/game_object.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/fleet_ai.h"

EmpireID nextEmpireID = 1;
uint32_t nextVisibilityBit = 1;
std::vector<empire*> empireList;
std::atomic<empire*> activeEmpire{nullptr};
empire* pendingPlayerEmpire = nullptr;

std::map<int, irr::core::stringw> messageCategoryNames;
std::map<irr::core::stringw, int> messageCategoryIds;

namespace {

uint8_t empireID(const empire* emp) { return emp->ID; }

// The network encoders find empires through these from the start.
struct NetEmpireHookSetup {
  NetEmpireHookSetup() { setNetEmpireHooks({getEmpireByID, empireID}); }
} netEmpireHookSetup;

// "registerEmpireData" of the server module "empire_ai": not looked up yet.
constexpr int kRegisterDataNotLookedUp = -1000;
int registerEmpireDataFunction = kRegisterDataNotLookedUp;
const char* const kEmpireAIModule = "empire_ai";
const char* const kRegisterEmpireData = "void registerEmpireData(Empire@)";

// The thread that runs the empire steps: the process's main thread, which
// also makes the globals.
const std::thread::id empireStepThread = std::this_thread::get_id();

// A re-registration asked for by another thread, run by the empire's own
// step so that its AI fields change only where the AI is ticked.
class RegisterEmpireDataJob : public empJob {
 public:
  void run(empire* emp) override { runRegisterEmpireData(emp); }
};

// The rate record's starting values: "Food" at 3e-7.
constexpr float kFoodRate = 3e-7f;

// Message categories by id.
const wchar_t* const kMessageCategories[] = {
    L"subsys_new", L"res_new",       L"res_level",     L"res_link",       L"sys_attack", L"sys_regain",
    L"planet_new", L"planet_lost",   L"struct_new",    L"struct_rebuilt", L"ship_new",   L"ship_lost",
    L"treaty_new", L"treaty_reject", L"treaty_accept", L"peace",          L"war",        L"custom",
};

// Adds an object to, or takes it from, the empire's objects on the empire's
// own step. Holds a reference on the object until it has run.
class regObject : public empJob {
 public:
  regObject(generic_object* object, bool add) : object_(object), add_(add) { object_->grab(); }
  ~regObject() override { object_->drop(); }
  void run(empire* emp) override {
    ScopedWriteLock guard(emp->locks[EA_Objects]);
    if (add_)
      emp->objects.insert(object_);
    else
      emp->objects.erase(object_);
  }

 private:
  generic_object* object_;
  bool add_;
};

// Delivers a diplomatic message on the receiving empire's own step. Owns the
// message until it has run; a job deleted unrun deletes it.
class giveDiplomacyMessage : public empJob {
 public:
  explicit giveDiplomacyMessage(DiploMsg* message) : message_(message) {}
  ~giveDiplomacyMessage() override { delete message_; }
  void run(empire* emp) override {
    DiploMsg* message = message_;
    message_ = nullptr;  // the empire's now
    {
      ScopedWriteLock guard(emp->locks[EA_Treaties]);
      emp->diplomacyMessages.push_back(message);
    }
    applyWarDeclaration(emp, message);
  }

 private:
  DiploMsg* message_;
};

void changeObjects(empire* emp, generic_object* object, bool add) {
  if (object == nullptr)
    return;
  if (simulationRunning.load()) {
    emp->queueJob(new regObject(object, add));
    return;
  }
  ScopedWriteLock guard(emp->locks[EA_Objects]);
  if (add)
    emp->objects.insert(object);
  else
    emp->objects.erase(object);
}

}  // namespace

EmpireRates::EmpireRates() { PtrNamedVar<float>::getOrAdd(named, L"Food", internCommonString).value = kFoodRate; }

empire::empire() : ID(nextEmpireID++) {
  // A network client's web mirrors the server's.
  researchWeb = research::createResearchWeb(this);
  takeRandomName();
  takeRandomColor();
  spaces.setSpace(&techVars, L"Techs");
  spaces.setSpace(&traitVars, L"Traits");
}

empire::empire(DefaultTag) : ID(kInvalidEmpireID), emperor(Emperor::Unnamed{}) {
  name = L"INVALID";
  valid = false;
  spaces.setSpace(&techVars, L"Techs");
  spaces.setSpace(&traitVars, L"Traits");
}

empire::~empire() {
  for (auto& entry : relations)
    delete entry.second;
  releaseAI();
  delete researchWeb;
  for (irr::u32 i = 0; i < hulls.size(); ++i)
    if (hulls[i].value != nullptr)
      hulls[i].value->drop();
  for (empJob* job : jobs)
    delete job;
  for (empCommand* command : commands)
    delete command;
  for (DiploMsg* message : diplomacyMessages)
    delete message;
  for (irr::u32 i = 0; i < buildLists.size(); ++i)
    delete buildLists[i].value;
  for (build_priorities* list : retiredBuildLists)
    delete list;
  for (irr::u32 i = 0; i < constructionChecks.size(); ++i)
    delete constructionChecks[i];
  for (irr::u32 i = 0; i < fleets.size(); ++i)
    if (fleets[i].value != nullptr)
      fleets[i].value->release();
  // A treaty may outlive this empire (the other side, a script): it is no
  // longer in force.
  for (irr::u32 i = 0; i < treaties.size(); ++i) {
    treaties[i]->setEnded();
    treaties[i]->release();
  }
  for (auto& entry : proposedTreaties)
    if (entry.second != nullptr) {
      entry.second->setEnded();
      entry.second->release();
    }
}

empire* defaultEmpire() {
  static empire* instance = new empire(empire::DefaultTag{});  // for the whole process
  return instance;
}

void empire::AreaGuard::lock(ReadWriteLock& area, bool write) {
  release();
  area.lock(write);
  lock_ = &area;
  write_ = write;
}

void empire::AreaGuard::release() {
  if (lock_ != nullptr)
    lock_->unlock(write_);
  lock_ = nullptr;
}

void empire::releaseAI() {
  if (aiObject != nullptr)
    aiObject->Release();
  aiObject = nullptr;
  aiTickFunction = -1;
  aiMessageFunction = -1;
}

EmpireRelation* empire::getRelation(const empire* other) {
  ReadWriteLock& area = locks[EA_Relations];
  {
    ScopedReadLock guard(area);
    const auto found = relations.find(other);
    if (found != relations.end())
      return found->second;
  }
  // Another thread may have made it between the two looks: keep the first
  // record, so that a pointer handed out never dangles.
  ScopedWriteLock guard(area);
  EmpireRelation*& slot = relations[other];
  if (slot == nullptr)
    slot = new EmpireRelation();
  return slot;
}

EmpireRelation* empire::lockRelation(const empire* other) {
  EmpireRelation* relation = getRelation(other);
  locks[EA_Relations].lock(true);
  return relation;
}

void empire::unlockRelations() { locks[EA_Relations].unlock(true); }

void empire::addVisibility(const empire* other) {
  if (other != nullptr)
    visibility.fetch_or(other->ownBit);
}

void empire::removeVisibility(const empire* other) {
  if (other != nullptr)
    visibility.fetch_and(~other->ownBit);
}

bool empire::isAllied(const empire* other) { return other == this || getRelation(other)->allied; }

bool empire::isEnemy(const empire* other) { return other != this && getRelation(other)->enemy; }

float empire::getStat(const irr::core::stringw& statName) {
  ScopedReadLock guard(locks[EA_Stats]);
  // modStat inserts at the sorted place, so a reader never has to sort.
  const irr::s32 index = PtrNamedVar<float>::findNoSort(stats, statName);
  return index < 0 ? 0.0f : stats[index].value;
}

void empire::modStat(const irr::core::stringw& statName, EmpireStatOp op, float value) {
  ScopedWriteLock guard(locks[EA_Stats]);
  float& stored = PtrNamedVar<float>::getOrAdd(stats, statName, internCommonString).value;
  const double current = stored;
  switch (op) {
    case ESO_Set:
      stored = value;
      break;
    case ESO_Add:
      stored = static_cast<float>(current + value);
      break;
    case ESO_Subtract:
      stored = static_cast<float>(current - value);
      break;
    case ESO_Multiply:
      stored = static_cast<float>(current * value);
      break;
    case ESO_Divide:
      stored = static_cast<float>(current / value);
      break;
  }
}

float empire::getSetting(const irr::core::stringw& settingName) {
  ScopedReadLock guard(locks[EA_Settings]);
  const irr::s32 index = PtrNamedVar<float>::findNoSort(settings, settingName);
  return index < 0 ? 0.0f : settings[index].value;
}

void empire::setSetting(const irr::core::stringw& settingName, float value) {
  {
    ScopedWriteLock guard(locks[EA_Settings]);
    PtrNamedVar<float>::getOrAdd(settings, settingName, internCommonString).value = value;
  }
  // A network client also tells its server.
  sendEmpireSetting(settingName, value);
}

bool empire::hasTrait(const irr::core::stringw& id) {
  ScopedReadLock guard(locks[EA_Traits]);
  return traits.count(id) != 0;
}

bool empire::hasTraitTag(const irr::core::stringw& tag) {
  ScopedReadLock guard(locks[EA_Traits]);
  return traitTags.count(tag) != 0;
}

void empire::addTrait(const irr::core::stringw& id) {
  ITrait* trait = nullptr;
  {
    ScopedWriteLock guard(locks[EA_Traits]);
    if (traits.count(id) != 0)
      return;
    trait = findTrait(id);
    if (trait == nullptr)
      return;
    traits[id] = trait;
  }
  trait->apply(this);
  updateTraitVariables();
  updateSubSystems();
  sendTraitChange(this, kTraitAdded, id);
}

void empire::removeTrait(const irr::core::stringw& id) {
  ITrait* trait = nullptr;
  {
    ScopedWriteLock guard(locks[EA_Traits]);
    const auto found = traits.find(id);
    if (found == traits.end())
      return;
    trait = found->second;
  }
  trait->remove(this);
  {
    ScopedWriteLock guard(locks[EA_Traits]);
    traits.erase(id);
  }
  updateTraitVariables();
  sendTraitChange(this, kTraitRemoved, id);
}

void empire::updateTraitVariables() {
  ScopedWriteLock traitsGuard(locks[EA_Traits]);
  ScopedWriteLock variablesGuard(locks[EA_Variables]);
  for (const auto& entry : traitRegistry) {
    traitVars.set(entry.first, 0.0f);
    for (const irr::core::stringw& tag : entry.second->tags)
      traitVars.set(tag, 0.0f);
  }
  traitTags.clear();
  for (const auto& entry : traits) {
    traitVars.set(entry.first, 1.0f);
    for (const irr::core::stringw& tag : entry.second->tags) {
      traitTags[tag] = entry.second;
      traitVars.set(tag, 1.0f);
    }
  }
}

void empire::retireBuildList(build_priorities* list) {
  if (list == nullptr)
    return;
  if (buildListUsers > 0)
    retiredBuildLists.push_back(list);
  else
    delete list;
}

void empire::setBuildList(const irr::core::stringw& listName, build_priorities* list) {
  ScopedWriteLock guard(locks[EA_BuildLists]);
  const irr::s32 index = PtrNamedVar<build_priorities*>::find(buildLists, listName);
  if (list == nullptr) {
    if (index >= 0) {
      retireBuildList(buildLists[index].value);
      buildLists.erase(static_cast<irr::u32>(index));
    }
    return;
  }
  PtrNamedVar<build_priorities*>& entry =
      PtrNamedVar<build_priorities*>::getOrAdd(buildLists, listName, internCommonString);
  if (entry.value != list)
    retireBuildList(entry.value);
  entry.value = list;
}

build_priorities* empire::findBuildList(const irr::core::stringw& listName) {
  ScopedWriteLock guard(locks[EA_BuildLists]);  // a lookup may sort the table
  const irr::s32 index = PtrNamedVar<build_priorities*>::find(buildLists, listName);
  return index < 0 ? nullptr : buildLists[index].value;
}

empire::BuildListRun empire::applyBuildList(const irr::core::stringw& listName, objHabitation* planet) {
  build_priorities* list = nullptr;
  {
    ScopedWriteLock guard(locks[EA_BuildLists]);
    const irr::s32 index = PtrNamedVar<build_priorities*>::find(buildLists, listName);
    if (index < 0 || buildLists[index].value == nullptr)
      return BuildListRun::Missing;
    list = buildLists[index].value;
    ++buildListUsers;
  }
  // The last thread out frees what was replaced meanwhile, also when a rule
  // throws.
  struct Release {
    empire* self;
    ~Release() {
      std::vector<build_priorities*> freed;
      {
        ScopedWriteLock guard(self->locks[EA_BuildLists]);
        if (--self->buildListUsers == 0)
          freed.swap(self->retiredBuildLists);
      }
      for (build_priorities* old : freed)
        delete old;
    }
  } release{this};
  return list->apply(planet) ? BuildListRun::Acted : BuildListRun::NothingDone;
}

irr::core::stringw empire::getBuildListName(unsigned index) {
  ScopedReadLock guard(locks[EA_BuildLists]);
  return index < buildLists.size() ? buildLists[index].entryName() : irr::core::stringw();
}

unsigned empire::getBuildListCount() {
  ScopedReadLock guard(locks[EA_BuildLists]);
  return buildLists.size();
}

void empire::registerObject(generic_object* object) { changeObjects(this, object, true); }

void empire::unregisterObject(generic_object* object) { changeObjects(this, object, false); }

namespace {

// Holds a star system's lock until the scope ends.
class SystemLockHold {
 public:
  explicit SystemLockHold(solarSystem* system) : system_(system) { lockSolarSystem(system_); }
  ~SystemLockHold() { unlockSolarSystem(system_); }
  SystemLockHold(const SystemLockHold&) = delete;
  SystemLockHold& operator=(const SystemLockHold&) = delete;

 private:
  solarSystem* system_;
};

}  // namespace

void empire::getSystemPresence(solarSystem* system, SysPresence& out) {
  out = SysPresence();
  if (system == nullptr) {
    raiseScriptException("Null solarSystem@ when getting system presence");
    return;
  }
  static const irr::core::stringw kPresence(L"prs");
  static const irr::core::stringw kStrength(L"str");
  SystemLockHold systemHold(system);
  ScopedWriteLock guard(locks[EA_Relations]);
  if (system->systemStats == nullptr)
    return;
  const StatsList& list = *system->systemStats;
  for (irr::u32 i = 0; i < list.size(); ++i) {
    const Stats& entry = list[i];
    // Scripts can make an entry for the default empire, which is no empire.
    if (entry.emp == nullptr || !entry.emp->isValid())
      continue;
    const float presence = getStatValue(entry, kPresence);
    const float strength = getStatValue(entry, kStrength);
    if (entry.emp == this) {
      out.us = presence;
      out.usStr = strength;
      continue;
    }
    const EmpireRelation* relation = getRelation(entry.emp);
    float* presenceSum = &out.neutrals;
    float* strengthSum = &out.neutralsStr;
    if (relation->allied) {
      presenceSum = &out.allies;
      strengthSum = &out.alliesStr;
    } else if (relation->enemy) {
      presenceSum = &out.enemies;
      strengthSum = &out.enemiesStr;
    }
    if (presence > 0.0f)
      *presenceSum += presence;
    if (strength > 0.0f)
      *strengthSum += strength;
  }
}

void empire::addFleet(FleetAI* fleet) {
  if (fleet == nullptr)
    return;
  ScopedWriteLock guard(locks[EA_Fleets]);
  ++fleetCounter;
  fleet->name = irr::core::stringw(L"Fleet ") + irr::core::stringw(static_cast<unsigned int>(fleetCounter));
  // The reference is taken before the entry's former fleet goes, which may
  // be this very fleet.
  fleet->grab();
  NamedVar<FleetAI*>& entry = NamedVar<FleetAI*>::getOrAdd(fleets, fleet->name);
  FleetAI* former = entry.value;
  entry.value = fleet;
  if (former != nullptr)
    former->release();
}

void empire::enterFleet(FleetAI* fleet) {
  if (fleet == nullptr)
    return;
  const irr::core::stringw fleetName = fleet->getName();  // before the fleets area: no lock inside another
  ScopedWriteLock guard(locks[EA_Fleets]);
  ++fleetCounter;
  fleet->grab();
  NamedVar<FleetAI*>& entry = NamedVar<FleetAI*>::getOrAdd(fleets, fleetName);
  FleetAI* former = entry.value;
  entry.value = fleet;
  if (former != nullptr)
    former->release();
}

void empire::removeFleet(FleetAI* fleet) {
  if (fleet == nullptr)
    return;
  ScopedWriteLock guard(locks[EA_Fleets]);
  for (irr::u32 i = 0; i < fleets.size(); ++i)
    if (fleets[i].value == fleet) {
      fleets.erase(i);
      fleet->release();
      return;
    }
}

FleetAI* empire::getFleet(unsigned index) {
  ScopedReadLock guard(locks[EA_Fleets]);
  return index < fleets.size() ? fleets[index].value : nullptr;
}

void empire::queueColonization(uint32_t uid) {
  ScopedWriteLock guard(locks[EA_ColonizationSets]);
  colonizeQueue.insert(uid);
}

void empire::startColonization(uint32_t uid) {
  ScopedWriteLock guard(locks[EA_ColonizationSets]);
  colonizeQueue.erase(uid);
  colonizing.insert(uid);
}

void empire::endColonization(uint32_t uid) {
  ScopedWriteLock guard(locks[EA_ColonizationSets]);
  colonizing.erase(uid);
}

bool isQueuedForColonization(uint32_t uid) {
  empire* emp = activeEmpire;
  if (emp == nullptr)
    return false;
  ScopedReadLock guard(emp->locks[EA_ColonizationSets]);
  return emp->colonizeQueue.count(uid) != 0;
}

void unqueueColonization(uint32_t uid) {
  empire* emp = activeEmpire;
  if (emp == nullptr)
    return;
  ScopedWriteLock guard(emp->locks[EA_ColonizationSets]);
  emp->colonizeQueue.erase(uid);
}

void empire::setPlayerName(const irr::core::stringw& newName) {
  ScopedWriteLock guard(locks[EA_PlayerName]);
  playerName = newName;
}

irr::core::stringw empire::getPlayerName() {
  ScopedReadLock guard(locks[EA_PlayerName]);
  return playerName;
}

void postEmpireMessage(empire* emp, const irr::core::stringw& text, const irr::core::stringw& category,
                       int32_t priority, int32_t time) {
  if (emp == nullptr)
    return;
  int32_t sentTime = 0;
  {
    ScopedWriteLock guard(emp->locks[EA_Messages]);
    while (emp->messages.size() >= kMaxEmpireMessages)
      emp->messages.pop_front();
    const double now = gameTime.load();
    EmpireMessage message;
    message.text = text;
    message.category = internCommonString(category);
    message.priority = priority;
    // Filed in whole seconds of 32 bits: a clock beyond them files its end.
    message.time = time >= 0 ? time : static_cast<int32_t>(std::clamp(now, -2147483648.0, 2147483647.0));
    sentTime = message.time;
    emp->messages.push_back(std::move(message));
    emp->lastMessage = now;
  }
  // A server tells the empire's player, with the time as filed.
  sendEmpireMessage(emp, text, category, priority, sentTime);
}

void postMiscMessage(empire* emp, const irr::core::stringw& text) { postEmpireMessage(emp, text, L"misc", 0, -1); }

void empire::modResearchRate(double amount) {
  if (researchWeb == nullptr)
    return;
  ScopedWriteLock guard(locks[EA_ResearchWeb]);
  researchWeb->modResearchRate(amount);
}

double empire::getResearchRate() {
  if (researchWeb == nullptr)
    return 0.0;
  ScopedReadLock guard(locks[EA_ResearchWeb]);
  return researchWeb->getResearchRate();
}

namespace {

// A technology's display name in the highlight colour of research texts.
irr::core::stringw researchName(const research::IWebItem* item, const wchar_t* colour) {
  irr::core::stringw text(colour);
  text += item->getDescriptor()->getName();
  text += L"#c#";
  return text;
}

// What the player is told of one research advance of `item`: the level it
// reached (`link` < 0), or the link it completed.
irr::core::stringw researchText(research::IWebItem* item, int link) {
  irr::core::stringw text;
  if (link < 0) {
    float level = 0.0f, progress = 0.0f, cost = 0.0f, maxLevel = 0.0f;
    item->getLevels(level, progress, cost, maxLevel);
    wchar_t number[64];
    swprintf(number, 64, L"%.0f", std::floor(static_cast<double>(level)));
    text = getLocalizedText(L"#EM_Researched");
    text += researchName(item, L"#c:9f9#");
    text += getLocalizedText(L"#EM_Res_to");
    text += L"#c:f99#";
    text += getLocalizedText(L"#EM_Res_level");
    text += number;
    text += L"#c#";
    return text;
  }
  research::IWebItem* end = item->getLinkEnd(static_cast<irr::u32>(link));
  if (end != nullptr) {
    text = getLocalizedText(L"#EM_ResLink");
    text += researchName(item, L"#c:9f9#");
    text += getLocalizedText(L"#EM_Res_and");
    text += researchName(end, L"#c:f99#");
  } else {
    text = getLocalizedText(L"#EM_ResLinkDead");
    text += researchName(item, L"#c:9f9#");
    text += getLocalizedText(L"#EM_Res_research");
  }
  return text;
}

// Runs the script AI's method `function` on `object` with the arguments
// `setArguments` gives the prepared context, on the calling thread's
// server-engine context. An exception is reported by the context's callback.
template <typename SetArguments>
void callAIMethod(AngelScript::asIScriptObject* object, int function, SetArguments setArguments) {
  bool fromPool = false;
  AngelScript::asIScriptContext* context = getPreparedScriptContext(function, fromPool);
  if (context != nullptr && context->GetFunction() != nullptr) {
    context->SetObject(object);
    setArguments(context);
    context->Execute();
    endScriptCall(context);
  }
  if (fromPool)
    releaseScriptContext(context);
}

}  // namespace

void empire::tick(float seconds) {
  activeEmpire = this;
  runEmpireJobs(this);

  // Trait ticks, in name order, with no area held while a hook runs: the
  // walk is over a snapshot, and a trait a hook removed (or added) meanwhile
  // is skipped (or waits for the next frame).
  // (Trait ticks and treaty logic are the server's on a network client.)
  if (!isNetworkClient()) {
    std::vector<std::pair<irr::core::stringw, ITrait*>> snapshot;
    {
      ScopedReadLock guard(locks[EA_Traits]);
      snapshot.assign(traits.begin(), traits.end());
    }
    for (const auto& entry : snapshot) {
      {
        ScopedReadLock guard(locks[EA_Traits]);
        const auto held = traits.find(entry.first);
        if (held == traits.end() || held->second != entry.second)
          continue;
      }
      entry.second->tick(this, seconds);
    }
  }

  // Research: the web spends the rate on its active target; an advance is
  // told to the player.
  if (researchWeb != nullptr) {
    ScopedWriteLock guard(locks[EA_ResearchWeb]);
    int link = -1;
    research::IWebItem* item = researchWeb->getActiveTech(link);
    if (researchWeb->spendResearch(static_cast<double>(seconds), this)) {
      if (item != nullptr)
        postEmpireMessage(this, researchText(item, link), L"research", 0, -1);
      updateSubSystems();
      researchChanged = true;
    }
  }

  // Diplomatic messages, oldest first: the AI hears each (with no area
  // held) until it finishes it; a finished one is applied and let go. Only
  // this step changes the list, so it is walked without the area and
  // locked to unlink.
  for (auto it = diplomacyMessages.begin(); it != diplomacyMessages.end();) {
    DiploMsg* message = *it;
    if (aiObject != nullptr && aiMessageFunction >= 0)
      callAIMethod(aiObject, aiMessageFunction, [&](AngelScript::asIScriptContext* context) {
        context->SetArgObject(0, this);
        context->SetArgObject(1, message->sender);
        context->SetArgObject(2, message);
      });
    if (!applyDiplomacyAnswer(this, message)) {
      ++it;
      continue;
    }
    {
      ScopedWriteLock guard(locks[EA_Treaties]);
      it = diplomacyMessages.erase(it);
    }
    delete message;
  }

  // Commands, in order, under the commands area. Only those queued when the
  // phase began run: the walk takes them out of the queue, so a command
  // queued meanwhile (by a running command on this thread through the
  // re-entrant area) joins the emptied queue and waits for the next frame,
  // as one from another thread does behind the area. The unfinished ones go
  // back in front of it, in their order.
  {
    ScopedWriteLock guard(locks[EA_Commands]);
    std::list<empCommand*> walking;
    walking.splice(walking.end(), commands);
    for (auto it = walking.begin(); it != walking.end();) {
      if ((*it)->execute(this)) {
        delete *it;
        it = walking.erase(it);
      } else {
        ++it;
      }
    }
    commands.splice(commands.begin(), walking);
  }

  // The script AI, with no area held.
  if (aiObject != nullptr && aiTickFunction >= 0)
    callAIMethod(aiObject, aiTickFunction, [&](AngelScript::asIScriptContext* context) {
      context->SetArgObject(0, this);
      context->SetArgFloat(1, seconds);
    });

  tickTreaties(seconds);
}

bool curSysLevel::operator<(const curSysLevel& other) const { return type->id < other.type->id; }

namespace {

// The player's note of a newly unlocked definition: a green link to it.
irr::core::stringw unlockText(const SubSystemDef& def) {
  irr::core::stringw text(L"#c:green##link:s");
  text += std::to_wstring(def.id).c_str();
  text += L"#";
  text += getLocalizedText(def.hasTag(L"Structure") ? L"#EM_StructUnlocked" : L"#EM_SubSysUnlocked");
  text += def.name;
  text += L"#link##c#";
  return text;
}

}  // namespace

void empire::updateSubSystems() {
  std::vector<irr::core::stringw> unlocked;
  {
    AreaGuard variablesGuard;
    AreaGuard levelsGuard;
    lockArea(variablesGuard, EA_Variables, false);
    lockArea(levelsGuard, EA_SubSystemLevels, true);
    const bool firstFill = subSysLevels.size() == 0;
    const irr::core::stringw levelKey(kSubSysLevelKey);
    for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i) {
      SubSystemDef* def = subSystemDefRegistry[i].value;
      if (def == nullptr || !(evaluateFormula(def->available, &spaces) > 0.0f))
        continue;
      const irr::s32 levelIndex = findPtrNamedVar(def->variableIndex, levelKey);
      const float level =
          levelIndex >= 0 ? evaluateFormula(def->variableIndex[levelIndex].value->value, &spaces) : 0.0f;

      curSysLevel* const first = subSysLevels.pointer();
      curSysLevel* const last = first + subSysLevels.size();
      curSysLevel* const at = std::lower_bound(
          first, last, def->id, [](const curSysLevel& entry, uint32_t id) { return entry.type->id < id; });
      if (at != last && at->type == def) {
        at->level = level;
        continue;
      }
      curSysLevel entry;
      entry.type = def;
      entry.level = level;
      subSysLevels.insert(entry, static_cast<irr::u32>(at - first));
      subSysLevels.set_sorted(true);
      def->unlockedBy.fetch_or(ownBit);
      if (!firstFill && !isNetworkClient())
        unlocked.push_back(unlockText(*def));
    }
  }
  // Posted with no area held: posting takes the messages area.
  for (const irr::core::stringw& text : unlocked)
    postEmpireMessage(this, text, L"research", 0, -1);
}

bool empire::findSubSysLevel(const SubSystemDef* def, float* level) {
  if (def == nullptr)
    return false;
  ScopedReadLock guard(locks[EA_SubSystemLevels]);
  // updateSubSystems keeps the list in ID order, so a search never sorts.
  const curSysLevel* const first = subSysLevels.const_pointer();
  const curSysLevel* const last = first + subSysLevels.size();
  const curSysLevel* const at =
      std::lower_bound(first, last, def->id, [](const curSysLevel& entry, uint32_t id) { return entry.type->id < id; });
  if (at == last || at->type != def)
    return false;
  if (level != nullptr)
    *level = at->level;
  return true;
}

void empire::queueJob(empJob* job) {
  if (job == nullptr)
    return;
  ScopedWriteLock guard(locks[EA_Jobs]);
  jobs.push_back(job);
}

void empire::queueDiplomacyMessage(DiploMsg* message) {
  if (message != nullptr)
    queueJob(new giveDiplomacyMessage(message));
}

void empire::queueCommand(empCommand* command) {
  if (command == nullptr)
    return;
  ScopedWriteLock guard(locks[EA_Commands]);
  commands.push_back(command);
}

void empire::clearCommands() {
  ScopedWriteLock guard(locks[EA_Commands]);
  for (empCommand* command : commands)
    delete command;
  commands.clear();
}

void runEmpireJobs(empire* emp) {
  ReadWriteLock& area = emp->locks[EA_Jobs];
  area.lock(true);
  while (!emp->jobs.empty()) {
    empJob* job = emp->jobs.front();
    emp->jobs.pop_front();
    area.unlock(true);
    job->run(emp);
    delete job;
    area.lock(true);
  }
  area.unlock(true);
}

bool takeNextOwnBit(empire* emp) {
  if (nextVisibilityBit == 0) {
    logError("Too many empires: all 32 visibility bits are given out\n");
    return false;
  }
  emp->ownBit = nextVisibilityBit;
  emp->visibility = nextVisibilityBit;
  // Past bit 31 the counter stays 0: no empire ever gets a zero bit.
  nextVisibilityBit <<= 1;
  return true;
}

empire* registerEmpire(empire* emp, bool special) {
  if (emp == nullptr)
    return nullptr;
  for (empire* listed : empireList)
    if (listed->ID == emp->ID)
      return listed;
  for (empire* listed : empireList)
    emp->getRelation(listed);
  empireList.push_back(emp);
  if (!special) {
    empire* previous = activeEmpire;
    activeEmpire = emp;
    runRegisterEmpireData(emp);
    activeEmpire = previous;
  }
  return emp;
}

bool onEmpireStepThread() { return std::this_thread::get_id() == empireStepThread; }

void runRegisterEmpireData(empire* emp) {
  if (emp != nullptr && !onEmpireStepThread()) {
    emp->queueJob(new RegisterEmpireDataJob);
    return;
  }
  if (registerEmpireDataFunction == kRegisterDataNotLookedUp)
    registerEmpireDataFunction = getScriptFunctionId(serverScriptEngine, kEmpireAIModule, kRegisterEmpireData);
  if (registerEmpireDataFunction < 0 || emp == nullptr)
    return;
  emp->releaseAI();
  bool fromPool = false;
  AngelScript::asIScriptContext* context = getPreparedScriptContext(registerEmpireDataFunction, fromPool);
  if (context == nullptr)
    return;
  if (context->GetFunction() != nullptr) {
    context->SetArgObject(0, emp);
    context->Execute();  // an exception is reported by the context's callback
    endScriptCall(context);
  }
  if (fromPool)
    releaseScriptContext(context);
}

empire* getEmpireByID(EmpireID id) {
  for (empire* listed : empireList)
    if (listed->ID == id)
      return listed;
  return defaultEmpire();
}

empire* findEmpireByName(const irr::core::stringw& name) {
  for (empire* listed : empireList)
    if (listed->name == name)
      return listed;
  return defaultEmpire();
}

void deleteAllEmpires() {
  for (empire* listed : empireList) {
    if (activeEmpire == listed)
      activeEmpire = nullptr;
    if (pendingPlayerEmpire == listed)
      pendingPlayerEmpire = nullptr;
    delete listed;
  }
  empireList.clear();
  clearEmpireNames();
  nextVisibilityBit = 1;
  registerEmpireDataFunction = kRegisterDataNotLookedUp;
}

void registerMessageCategories() {
  clearMessageCategories();
  int id = 0;
  for (const wchar_t* name : kMessageCategories) {
    messageCategoryNames[id] = name;
    messageCategoryIds[name] = id;
    ++id;
  }
}

void clearMessageCategories() {
  messageCategoryNames.clear();
  messageCategoryIds.clear();
}
