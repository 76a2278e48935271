// Checked registration: a declaration an engine refuses is logged after the
// engine's own line, with the engine's name, the code and the declaration,
// and counted; the engine then refuses every build.
#include <gtest/gtest.h>

#include <string>

#include "script/script_registration.h"
#include "script_test_support.h"

namespace registration_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::LogCapture;

namespace {

class RegistrationTest : public scripttest::ScriptTest {};

struct Counted {
  int value = 0;
};
void nothing() {}
int valueOf(const Counted* counted) { return counted->value; }

TEST_F(RegistrationTest, ARejectedDeclarationIsLoggedCountedAndPoisonsTheEngine) {
  const struct {
    const char* side;
  } engines[] = {{"server"}, {"client"}};
  for (const auto& e : engines) {
    SCOPED_TRACE(e.side);
    ASSERT_EQ(createScriptEngines(), true);
    asIScriptEngine* engine = std::string(e.side) == "server" ? serverScriptEngine : clientScriptEngine;
    LogCapture log;
    EXPECT_EQ(scriptRegistrationsRejected(), 0u);

    // Accepted registrations say nothing.
    EXPECT_GE(checked(engine).RegisterObjectType("Counted", 0, asOBJ_REF | asOBJ_NOCOUNT), 0);
    EXPECT_GE(checked(engine).RegisterObjectMethod("Counted", "int get() const", asFUNCTION(valueOf),
                                                   asCALL_CDECL_OBJFIRST),
              0);
    EXPECT_EQ(log.take(), "");
    ASSERT_NE(buildModule(engine, "fine", "int f(Counted@ c) { return c.get(); }"), nullptr);

    const struct {
      const char* declaration;
      int code;
      bool method;
    } rejected[] = {
        {"void f(Nonexistent@)", asINVALID_DECLARATION, false},
        {"int get() const", asALREADY_REGISTERED, true},
    };
    unsigned count = 0;
    for (const auto& r : rejected) {
      SCOPED_TRACE(r.declaration);
      const int result = r.method ? checked(engine).RegisterObjectMethod("Counted", r.declaration,
                                                                         asFUNCTION(valueOf), asCALL_CDECL_OBJFIRST)
                                  : checked(engine).RegisterGlobalFunction(r.declaration, asFUNCTION(nothing),
                                                                           asCALL_CDECL);
      EXPECT_EQ(result, r.code);
      EXPECT_EQ(scriptRegistrationsRejected(), ++count);
      const std::string text = log.take();
      const std::string line = std::string("Script binding rejected by the ") + e.side + " engine (" +
                               std::to_string(r.code) + "): " + r.declaration + "\n";
      // The engine's own line comes first.
      ASSERT_GT(text.size(), line.size()) << text;
      EXPECT_EQ(text.substr(text.size() - line.size()), line) << text;
      EXPECT_NE(text.find(" General Error: Failed in call to function"), std::string::npos) << text;
    }
    // After one refused registration the engine builds nothing more.
    EXPECT_EQ(buildModule(engine, "after", "int g() { return 1; }"), nullptr);
    log.take();
  }
  // New engines start the count again.
  ASSERT_EQ(createScriptEngines(), true);
  EXPECT_EQ(scriptRegistrationsRejected(), 0u);
}

}  // namespace
}  // namespace registration_test
