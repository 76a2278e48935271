#include "empire/empire.h"

#include <angelscript.h>

#include <utility>

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "universe/objects/game_object.h"

EmpireID nextEmpireID = 0;
std::vector<empire*> empireList;
// The first empire of the process: it takes ID 0 from the counter, and is
// then given the reserved ID at once (below), so that no lookup can mistake
// it for a real empire, whether or not a game has set up its empires yet.
empire defaultEmpire;
empire* activeEmpire = nullptr;

std::map<int, irr::core::stringw> messageCategoryNames;
std::map<irr::core::stringw, int> messageCategoryIds;

namespace {

uint8_t empireID(const empire* emp) { return emp->ID; }

struct DefaultEmpireSetup {
  DefaultEmpireSetup() {
    defaultEmpire.ID = kInvalidEmpireID;
    defaultEmpire.name = L"INVALID";
    defaultEmpire.valid = false;
    setNetEmpireHooks({getEmpireByID, empireID});
  }
} defaultEmpireSetup;

// Message categories by id.
const wchar_t* const kMessageCategories[] = {
    L"subsys_new",  L"res_new",    L"res_level",      L"res_link",     L"sys_attack",    L"sys_regain",
    L"planet_new",  L"planet_lost", L"struct_new",    L"struct_rebuilt", L"ship_new",    L"ship_lost",
    L"treaty_new",  L"treaty_reject", L"treaty_accept", L"peace",      L"war",           L"custom",
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

empire::empire() : ID(nextEmpireID++) {}

empire::~empire() {
  for (auto& entry : relations)
    delete entry.second;
  if (aiObject != nullptr)
    aiObject->Release();
  for (empJob* job : jobs)
    delete job;
  for (empCommand* command : commands)
    delete command;
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

void empire::registerObject(generic_object* object) { changeObjects(this, object, true); }

void empire::unregisterObject(generic_object* object) { changeObjects(this, object, false); }

void postEmpireMessage(empire* emp, const irr::core::stringw& text, const irr::core::stringw& category,
                       int32_t priority, int32_t time) {
  if (emp == nullptr)
    return;
  ScopedWriteLock guard(emp->locks[EA_Messages]);
  while (emp->messages.size() >= kMaxEmpireMessages)
    emp->messages.pop_front();
  const double now = gameTime.load();
  EmpireMessage message;
  message.text = text;
  message.category = internCommonString(category);
  message.priority = priority;
  message.time = time < 0 ? static_cast<int32_t>(now) : time;
  emp->messages.push_back(std::move(message));
  emp->lastMessage = now;
}

void empire::tick(float /*seconds*/) {
  activeEmpire = this;
  runEmpireJobs(this);

  ScopedWriteLock guard(locks[EA_Commands]);
  for (auto it = commands.begin(); it != commands.end();) {
    if ((*it)->execute(this)) {
      delete *it;
      it = commands.erase(it);
    } else {
      ++it;
    }
  }
}

void empire::queueJob(empJob* job) {
  if (job == nullptr)
    return;
  ScopedWriteLock guard(locks[EA_Jobs]);
  jobs.push_back(job);
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

empire* registerEmpire(empire* emp) {
  if (emp == nullptr)
    return nullptr;
  for (empire* listed : empireList)
    if (listed->ID == emp->ID)
      return listed;
  empireList.push_back(emp);
  return emp;
}

empire* getEmpireByID(EmpireID id) {
  for (empire* listed : empireList)
    if (listed->ID == id)
      return listed;
  return &defaultEmpire;
}

void deleteAllEmpires() {
  for (empire* listed : empireList) {
    if (activeEmpire == listed)
      activeEmpire = nullptr;
    delete listed;
  }
  empireList.clear();
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
