// The server with two more console commands, for the tests that run two
// processes and compare them:
//   list_galaxy    prints every object of the galaxy tree, one line each:
//                  "obj <uid> <kind> <owner ID> <container UID> <x> <y> <z> <name>"
//                  (the galaxy itself counts as container 1), then "end".
//   show_clock     prints "clock <game time> <game speed> <monotonic s>".
//   show_empire N  prints the empire of ID N: "empire <ID> <player-controlled>
//                  <has AI> <layouts> <build lists> <settings> <active ID>
//                  <name>"
//                  and its build lists' names, one line each.
#include <time.h>

#include <cstdio>
#include <string>

#include "app/app_main.h"
#include "app/base/console.h"
#include "app/base/session_state.h"
#include "core/locks.h"
#include "empire/empire.h"
#include "net/diplomacy_messages.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"

namespace {

void printLine(const std::string& text) {
  if (Console* out = console())
    out->print(irr::core::stringw(text.c_str()));
}

std::string ascii(const wchar_t* text) {
  std::string out;
  for (; *text != 0; ++text)
    out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

void listObject(generic_object* object, uint32_t containerUid) {
  const empire* owner = object->getOwner();
  const irr::core::vector3df& p = object->position;
  char line[256];
  std::snprintf(line, sizeof line, "obj %u %d %d %u %.3f %.3f %.3f ", object->uid, object->getType(),
                owner != nullptr ? static_cast<int>(owner->ID) : -1, containerUid, p.X, p.Y, p.Z);
  printLine(std::string(line) + ascii(object->name.c_str()));
  for (irr::u32 i = 0; i < object->children.size(); ++i)
    listObject(object->children[i].get(), object->uid);
}

void listGalaxy(const ConsoleArgs&) {
  pauseSystemThreads();
  if (galaxy != nullptr)
    for (irr::u32 i = 0; i < galaxy->children.size(); ++i)
      listObject(galaxy->children[i].get(), 1);
  resumeSystemThreads();
  printLine("end");
}

void showClock(const ConsoleArgs&) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[128];
  std::snprintf(line, sizeof line, "clock %.6f %.6f %.6f", gameTime.load(), gameSpeed,
                static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9);
  printLine(line);
}

void showEmpire(const ConsoleArgs& args) {
  if (args.size() != 2)
    return;
  empire* emp = getEmpireByID(static_cast<uint8_t>(std::wcstoul(args[1].c_str(), nullptr, 10)));
  if (emp == nullptr || emp == defaultEmpire()) {
    printLine("no empire");
    return;
  }
  unsigned layouts = 0;
  {
    ScopedReadLock guard(emp->locks[EA_HullLayouts]);
    layouts = emp->hulls.size();
  }
  unsigned settings = 0;
  {
    ScopedReadLock guard(emp->locks[EA_Settings]);
    settings = static_cast<unsigned>(emp->settings.size());
  }
  const unsigned lists = emp->getBuildListCount();
  const empire* active = activeEmpire.load();
  char line[160];
  std::snprintf(line, sizeof line, "empire %u %d %d %u %u %u %d", static_cast<unsigned>(emp->ID),
                emp->playerControlled ? 1 : 0, emp->aiObject != nullptr ? 1 : 0, layouts, lists, settings,
                active != nullptr ? static_cast<int>(active->ID) : -1);
  std::string text = line;
  text += ' ';
  text += ascii(emp->name.c_str());
  printLine(text);
  for (unsigned i = 0; i < lists; ++i) {
    printLine("list " + ascii(emp->getBuildListName(i).c_str()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  Console::registerCommand(L"list_galaxy", listGalaxy, L"list_galaxy - Lists the galaxy's objects");
  Console::registerCommand(L"show_clock", showClock, L"show_clock - Prints the game clock");
  Console::registerCommand(L"show_empire", showEmpire, L"show_empire ID - Prints an empire's state");
  return corvaneMain(argc, argv);
}
