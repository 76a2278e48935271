// Treaty benchmarks' shared set-up: a scratch working folder whose server
// scripts both engines are set up from, as a session does, and standing
// treaties of "countdown" clauses, whose tick hook counts an option down and
// never ends its treaty.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/data_folders.h"
#include "app/script_setup.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "empire/treaty.h"
#include "script_build.h"

namespace benchtreaties {

// The hook's script; a module holding it names itself in countdownClauses.
constexpr const char kCountdownHook[] = R"(
ClauseState tickCountdown(Clause@ clause, Empire@ a, Empire@ b, double seconds) {
  ClauseOption@ duration = clause.getOption(0);
  duration = duration.toFloat() - float(seconds);
  return CS_NOCHANGE;
}
)";

// "treaties.xml" with the clause kind whose hook lies in server module `module`.
inline std::string countdownClauses(const char* module) {
  return std::string(R"(<treaties>
<clause id="countdown" name="Countdown" desc="Counts its duration down.">
  <option name="duration" type="float" def="1000000000.0"/>
  <hook type="tick" func=")") +
         module + R"(::tickCountdown"/>
</clause>
</treaties>)";
}

// Ends the program with `what` on standard error.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::exit(1);
}

// Writes `module`'s script and the clause kind into `root`, makes it the
// working folder and sets the session's data and both engines up from it.
inline void setUpScripts(const std::filesystem::path& root, const char* module, const std::string& script) {
  std::filesystem::create_directories(root / "Game Data/scripts/server");
  std::ofstream(root / "Game Data/treaties.xml", std::ios::binary) << countdownClauses(module);
  std::ofstream(root / "Game Data/scripts/server" / (std::string(module) + ".as"), std::ios::binary) << script;
  std::filesystem::current_path(root);
  currentModName = "";
  scanMods();
  mountDataFolders(false, "");
  applyCurrentMod();
  benchscript::setUpSessionScripts();
  initThreadLocals();
}

// Queues `treaties` accepted treaties from `from` to `to`, each of `clauses`
// countdown clauses; they are filed by the two empires' next jobs.
inline void addCountdownTreaties(empire* from, empire* to, int treaties, int clauses) {
  for (int t = 0; t < treaties; ++t) {
    ITreaty* treaty = createTreaty(from, to);
    for (int c = 0; c < clauses; ++c) {
      IClause* clause = createClause(L"countdown", false);
      if (clause == nullptr)
        fail("the clause kind did not load");
      treaty->addClause(clause);
      clause->release();
    }
    treaty->setState(TS_Accepted);
    queueTreatyActivation(treaty);
    treaty->release();
  }
}

}  // namespace benchtreaties
