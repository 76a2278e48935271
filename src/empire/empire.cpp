#include "empire/empire.h"

#include "core/net_encoders.h"

EmpireID nextEmpireID = 0;
std::vector<empire*> empireList;
// The first empire of the process: it takes ID 0 from the counter, and is
// then given the reserved ID at once (below), so that no lookup can mistake
// it for a real empire, whether or not a game has set up its empires yet.
empire defaultEmpire;

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

}  // namespace

empire::empire() : ID(nextEmpireID++) {}

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
  for (empire* listed : empireList)
    delete listed;
  empireList.clear();
}
