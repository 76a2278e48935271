#include "empire/empire.h"

#include <angelscript.h>

#include "core/net_encoders.h"

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

}  // namespace

empire::empire() : ID(nextEmpireID++) {}

empire::~empire() {
  if (aiObject != nullptr)
    aiObject->Release();
  for (empJob* job : jobs)
    delete job;
  for (empCommand* command : commands)
    delete command;
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
