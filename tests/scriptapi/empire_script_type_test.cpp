// The script type Empire and the empire lookups, driven from scripts of both
// engines over a session's set-up: what each member reads and writes, the
// lookups' edge cases, and the handles the client engine hands out.
#include "scriptapi/empire_script_type.h"

#include <string>

#include "script_session.h"
#include "support/space_empire.h"

namespace empire_script_type_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

const char kHelpers[] = R"(
string@ flag(bool v) { return v ? "1" : "0"; }
string@ describe(const Empire@ e) {
  if (e is null)
    return "null";
  return e.getName() + " " + e.ID + " " + flag(e.isValid()) + flag(e.isAI()) + flag(e.isReserved()) + " " +
         e.color.format();
}
)";

class EmpireScriptTypeTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({});
    alpha = registerEmpire(new empire);
    beta = registerEmpire(new empire);
    space = registerSpaceEmpire();
    alpha->name = L"Alpha";
    alpha->color = 0xFF1020AB;
    beta->name = L"Beta";
    beta->color = 0x80FFFFFF;
    beta->playerControlled = true;
    space->name = L"Space";
    space->color = 0;
    activeEmpire = beta;
  }

  // Runs `body` as the body of "string@ test()" on `engine`.
  std::string run(asIScriptEngine* engine, const std::string& body) {
    asIScriptModule* module = build(engine, "test", kHelpers + ("string@ test() {\n" + body + "\n}\n"));
    return module != nullptr ? call(module, "string@ test()") : "build failed";
  }

  empire* alpha = nullptr;
  empire* beta = nullptr;
  empire* space = nullptr;
};

TEST_F(EmpireScriptTypeTest, MembersAndLookupsOnBothEngines) {
  const struct {
    const char* body;
    const char* expected;
  } cases[] = {
      {R"(return describe(getEmpire(0)) + "|" + describe(getEmpire(1)) + "|" + describe(getEmpire(2));)",
       "Alpha 1 110 FF1020AB|Beta 2 100 80FFFFFF|Space -1 011 00000000"},
      {R"(return "" + getEmpireCount();)", "3"},
      {R"(return describe(getEmpire(3));)", "exception: Out of bounds when getting empire by index"},
      {R"(return describe(getEmpire(uint(-1)));)", "exception: Out of bounds when getting empire by index"},
      // No empire of the ID: the default empire (ID 131), never null; so
      // also for -1, though the space empire's ID reads as -1.
      {R"(return describe(getEmpireByID(2)) + "|" + describe(getEmpireByID(255)) + "|" +
                 describe(getEmpireByID(7)) + "|" + describe(getEmpireByID(-1)) + "|" +
                 describe(getEmpireByID(256 + 2));)",
       "Beta 2 100 80FFFFFF|Space -1 011 00000000|INVALID -125 010 00000000|INVALID -125 010 00000000|"
       "INVALID -125 010 00000000"},
      {R"(return describe(getActiveEmpire());)", "Beta 2 100 80FFFFFF"},
      {R"(const Empire@ e = getEmpire(0);
          return ftos_nice(e.getSetting("Tax")) + " " + ftos_nice(e.getSetting("Unset"));)",
       "2.5 0"},
  };
  alpha->setSetting(L"Tax", 2.5f);
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    SCOPED_TRACE(engine == serverScriptEngine ? "server" : "client");
    LogCapture log;
    for (const auto& c : cases)
      EXPECT_EQ(run(engine, c.body), c.expected) << c.body;
    log.take();  // the exception reports
  }
  activeEmpire = nullptr;
  EXPECT_EQ(run(serverScriptEngine, "return describe(getActiveEmpire());"), "null");
}

TEST_F(EmpireScriptTypeTest, ScriptsWriteSettingsAndColour) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    SCOPED_TRACE(engine == serverScriptEngine ? "server" : "client");
    const bool server = engine == serverScriptEngine;
    EXPECT_EQ(run(engine, server ? R"(Empire@ e = getEmpire(1); e.setSetting("Tax", 4); e.color = Color(1, 2, 3, 4);
                                      return ftos_nice(e.getSetting("Tax"));)"
                                 : R"(Empire@ e = getActiveEmpire(); e.setSetting("Tax", 3);
                                      e.color = Color(5, 6, 7, 8); return ftos_nice(e.getSetting("Tax"));)"),
              server ? "4" : "3");
    EXPECT_EQ(beta->getSetting(L"Tax"), server ? 4.0f : 3.0f);
    EXPECT_EQ(beta->color, server ? 0x01020304u : 0x05060708u);
  }
}

// The client engine hands out const handles from its lookups: its scripts
// cannot change empires reached through them.
TEST_F(EmpireScriptTypeTest, ClientLookupsGiveConstHandles) {
  LogCapture log;
  for (const char* body : {"Empire@ e = getEmpire(0); return \"\";", "Empire@ e = getEmpireByID(1); return \"\";",
                           "getEmpire(0).setSetting(\"Tax\", 1); return \"\";"}) {
    EXPECT_EQ(run(serverScriptEngine, body), "") << body;
    EXPECT_EQ(run(clientScriptEngine, body), "build failed") << body;
  }
  EXPECT_NE(log.take().find("AS Client Error"), std::string::npos);
}

}  // namespace

}  // namespace empire_script_type_test
