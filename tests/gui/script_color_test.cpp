// The script type Color, driven from scripts on both engines: channels and
// their byte order, the constructor's argument order, format and
// interpolate; and the stage that registers it.
#include "gui/script_color.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>

#include "gui/gui_bindings.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "script/server_modules.h"
#include "support/log_capture.h"

namespace script_color_test {

using namespace AngelScript;

namespace {

class ScriptColorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    registerScriptString(clientScriptEngine);
    registerGuiBindings();
    EXPECT_EQ(log.take(), "");  // every registration accepted
  }
  void TearDown() override {
    discardScriptModules();
    releaseScriptEngines();
  }

  // Runs `body` as a function returning string@ on `engine`; the text, or
  // the exception or build failure.
  static std::u16string run(asIScriptEngine* engine, const std::string& body) {
    LogCapture log;
    asIScriptModule* module = engine->GetModule("color", asGM_ALWAYS_CREATE);
    const std::string code = "string@ test() {\n" + body + "\n}\n";
    module->AddScriptSection("color.as", code.c_str(), code.size());
    if (module->Build() < 0)
      return u"build failed: " + wideToUtf16(irr::core::stringw(log.take().c_str()));
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByDecl("string@ test()"));
    std::u16string text = u"no result";
    if (context->Execute() == asEXECUTION_FINISHED) {
      if (auto* returned = static_cast<ScriptString*>(context->GetReturnObject()))
        text = returned->text;
    } else {
      text = u"exception";
    }
    context->Release();
    return text;
  }
};

TEST_F(ScriptColorTest, ChannelsConstructorFormatAndInterpolateOnBothEngines) {
  const struct {
    const char* body;
    const char16_t* expected;
  } cases[] = {
      // The constructor takes alpha, red, green, blue; format gives A R G B.
      {"return Color(255, 16, 32, 171).format();", u"FF1020AB"},
      {"return Color(0, 0, 0, 0).format();", u"00000000"},
      {"return Color(1, 0xab, 0xcd, 0xef).format();", u"01ABCDEF"},
      // The channel properties are the bytes B, G, R, A.
      {"Color c(255, 16, 32, 171); return Color(c.B, c.G, c.R, c.A).format();", u"AB2010FF"},
      {"Color c(0, 0, 0, 0); c.B = 0x12; c.G = 0x34; c.R = 0x56; c.A = 0x78; return c.format();", u"78563412"},
      // Copies are independent values.
      {"Color c(1, 2, 3, 4); Color d = c; d.R = 0xFF; return c.format() + d.format();", u"01020304" u"01FF0304"},
      // this x t + other x (1 - t), t clamped to [0, 1], fractions cut off.
      {"Color a(255, 200, 100, 0); return a.interpolate(Color(0, 0, 50, 3), 1).format();", u"FFC86400"},
      {"Color a(255, 200, 100, 0); return a.interpolate(Color(0, 0, 50, 3), 0).format();", u"00003203"},
      {"Color a(255, 200, 100, 0); return a.interpolate(Color(0, 0, 50, 3), 2).format();", u"FFC86400"},
      {"Color a(255, 200, 100, 0); return a.interpolate(Color(0, 0, 50, 3), -1).format();", u"00003203"},
      {"Color a(255, 200, 100, 0); return a.interpolate(Color(0, 0, 50, 3), 0.5f).format();", u"7F644B01"},
      {"Color a(255, 200, 100, 0); Color b = a.interpolate(Color(0, 0, 0, 0), 0.5f); return a.format();",
       u"FFC86400"},
  };
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    SCOPED_TRACE(engine == serverScriptEngine ? "server" : "client");
    for (const auto& c : cases)
      EXPECT_EQ(run(engine, c.body), c.expected) << c.body;
  }
}

TEST_F(ScriptColorTest, HasNoComparison) {
  EXPECT_NE(run(serverScriptEngine, "return Color(0, 0, 0, 0) == Color(0, 0, 0, 0) ? \"y\" : \"n\";")
                .rfind(u"build failed", 0),
            std::u16string::npos);
}

// The value types go to the server engine first: without it, neither engine
// gets them.
TEST(ScriptValueTypes, NeedTheServerEngine) {
  LogCapture log;
  ASSERT_TRUE(createScriptEngines());
  registerScriptString(serverScriptEngine);
  registerScriptString(clientScriptEngine);
  asIScriptEngine* server = serverScriptEngine;
  serverScriptEngine = nullptr;
  registerValueTypes();
  serverScriptEngine = server;
  EXPECT_EQ(clientScriptEngine->GetTypeInfoByName("Color"), nullptr);
  registerValueTypes();
  EXPECT_NE(serverScriptEngine->GetTypeInfoByName("Color"), nullptr);
  EXPECT_NE(clientScriptEngine->GetTypeInfoByName("Color"), nullptr);
  releaseScriptEngines();
  EXPECT_EQ(log.take(), "");
}

}  // namespace

}  // namespace script_color_test
