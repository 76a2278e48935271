// The script string, driven from scripts: each case is the body of a script
// function returning string@, with the text it must give or the exception it
// must raise. The cases run on an engine with the native registration and,
// where the generic form has the operation, on one with the generic form.
#include <gtest/gtest.h>

#include <string>

#include "script_test_support.h"

namespace string_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::run;

namespace {

struct StringCase {
  const char* body;
  std::u16string expected;
  const char* exception = nullptr;  // expected exception text instead
  bool nativeOnly = false;          // uses an operation the generic form lacks
};

// n(x): the number as text, so number results compare as text too.
const char kHelpers[] = "string@ n(int v) { string r; r = v; return r; }\n";

const StringCase kCases[] = {
    // Numbers and text
    {R"(return "a" + 1.5;)", u"a1.5"},
    {R"(return 1.5 + "a";)", u"1.500000a"},
    {R"(return "a" + 0.1f;)", u"a0.1"},
    {R"(return 0.1f + "a";)", u"0.100000a"},
    {R"(return -5 + "a";)", u"-5a"},
    {R"(return uint(4294967295) + "a";)", u"4294967295a"},
    {R"(return "a" + -5;)", u"a-5"},
    {R"(string s; s = 1e20; return s;)", u"1e+20"},
    {R"(string s; s = 0.1f; return s;)", u"0.1"},
    {R"(string s; s = -5; return s;)", u"-5"},
    {R"(string s; s = uint(4294967295); return s;)", u"4294967295"},
    {R"(string s = "x"; s += 2.5; s += 3; s += uint(4); s += 0.5f; return s;)", u"x2.5340.5"},
    // Text operations
    {R"(return "ab" + "cd";)", u"abcd"},
    {R"(string s = "ab"; s += s; return s;)", u"abab"},
    {R"(string s = "ab"; s = s; return s;)", u"ab"},
    {R"(string s = "ab"; string t = s; t += "c"; return s + t;)", u"ababc"},
    {R"(return n(("ab" == "ab" ? 1 : 0) + ("ab" == "abc" ? 2 : 0));)", u"1"},
    {R"(return n("ab".opCmp("abc")) + n("abc".opCmp("abc")) + n("b".opCmp("abc"));)", u"-101"},
    {R"(string s = "a"; s[0] = 0xFF80; return n("a".opCmp(s));)", u"-1"},
    {R"(return n("abc".length());)", u"3"},
    // Indexes
    {R"(string s = "abc"; return n(s[2]);)", u"99"},
    {R"(string s = "abc"; s[0] = 'x'; return s;)", u"xbc"},
    {R"(string s = "abc"; return n(s[3]);)", u"", "Out of range"},
    {R"(const string s = "abc"; return n(s[4294967295]);)", u"", "Out of range"},
    {R"(string s; s[0] = 1; return s;)", u"", "Out of range"},
    // Constants: each byte a signed 8-bit unit
    {R"(string s = "\xe9"; return n(s[0]) + n(s.length());)", u"655131"},
    {R"(string s = "é"; return n(s[0]) + "," + n(s[1]);)", u"65475,65449"},
    // find
    {R"(return n("abc".find("", 2));)", u"2", nullptr, true},
    {R"(return n("abc".find("", 4));)", u"-1", nullptr, true},
    {R"(return n("abcabc".find("bc")) + n("abcabc".find("bc", 2)) + n("abc".find("abcd"));)", u"14-1", nullptr, true},
    {R"(return n("abc".find("c", 3));)", u"-1", nullptr, true},
    {R"(return n("abc".find('c')) + n("abc".find(0)) + n("abc".find('a', 1)) + n("abc".find('a', 4));)", u"23-1-1",
     nullptr, true},
    {R"(return n("abca".find_r('a')) + n("abc".find_r('z')) + n("abca".find_r('a', 2)) + n("abc".find_r(0, -1)) +
               n("abc".find_r(0, 100)) + n("abc".find_r('a', 0));)",
     u"3-1033"
     u"0",
     nullptr, true},
    // beginsWith
    {R"(return n(("abc".beginsWith("") ? 1 : 0) + ("abc".beginsWith("ab") ? 2 : 0) +
               ("abc".beginsWith("abcd") ? 4 : 0) + ("abc".beginsWith("b") ? 8 : 0) +
               ("abc".beginsWith("abc") ? 16 : 0));)",
     u"19", nullptr, true},
    // substr
    {R"(string s = "abc"; return s.substr(1, 100);)", u"bc", nullptr, true},
    {R"(string s = "abc"; return s.substr(3, 1);)", u"", nullptr, true},
    {R"(string s = "abc"; return s.substr(0, 0);)", u"", nullptr, true},
    {R"(string s = "abc"; return s.substr(65535, 65535);)", u"", nullptr, true},
    // erase
    {R"(string s = "abc"; s.erase(1, 5); return s;)", u"a", nullptr, true},
    {R"(string s = "abc"; s.erase(0, 5); return s;)", u"", nullptr, true},
    {R"(string s = "abc"; s.erase(1, 1); return s;)", u"ac", nullptr, true},
    {R"(string s = "abc"; s.erase(3, 1); return s;)", u"abc", nullptr, true},
    {R"(string s = "abc"; s.erase(1, 0); return s;)", u"abc", nullptr, true},
    {R"(string s = "abc"; s.erase(1, 4294967295); return s;)", u"a", nullptr, true},
    {R"(string s = "abc"; s.erase(4294967295, 2); return s;)", u"abc", nullptr, true},
    {R"(string s = "abc"; s.erase(1); return s;)", u"ac", nullptr, true},
    {R"(string s = "abc"; s.erase(3); return s;)", u"", "Out of range", true},
    {R"(string s; s.erase(0); return s;)", u"", "Out of range", true},
    // resize
    {R"(string s = "abc"; s.resize(5); return s;)", std::u16string(u"abc\0\0", 5)},
    {R"(string s = "abc"; s.resize(1); return s;)", u"a"},
    {R"(string s = "abc"; s.resize(0); return n(s.length());)", u"0"},
};

class StringTest : public scripttest::ScriptTest {
 protected:
  void SetUp() override { createEngines(true); }

  void runCases(asIScriptEngine* engine, bool generic) {
    int index = 0;
    for (const StringCase& c : kCases) {
      ++index;
      if (generic && c.nativeOnly)
        continue;
      SCOPED_TRACE(std::string(generic ? "generic: " : "native: ") + c.body);
      const std::string code = std::string(kHelpers) + "string@ test() {\n" + c.body + "\n}\n";
      const std::string name = "case" + std::to_string(index);
      asIScriptModule* module = buildModule(engine, name.c_str(), code);
      ASSERT_NE(module, nullptr);
      const scripttest::RunResult result = run(module, "string@ test()");
      if (c.exception != nullptr) {
        EXPECT_EQ(result.state, asEXECUTION_EXCEPTION);
        EXPECT_EQ(result.exception, c.exception);
      } else {
        ASSERT_EQ(result.state, asEXECUTION_FINISHED) << result.exception;
        EXPECT_TRUE(result.hasText);
        EXPECT_EQ(result.text, c.expected);
      }
      module->Discard();
    }
  }
};

TEST_F(StringTest, NativeRegistrationByTable) { runCases(serverScriptEngine, false); }

TEST_F(StringTest, GenericRegistrationByTable) { runCases(clientScriptEngine, true); }

// Text handed through a native as the engine's wide string and back.
ScriptString* throughWide(const ScriptString& text) { return new ScriptString(text.toStringw()); }

TEST_F(StringTest, WideStringsRoundTrip) {
  // 32-bit characters above U+FFFF become surrogate pairs and back.
  const struct {
    const wchar_t* wide;
    std::u16string units;
  } cases[] = {
      {L"abc", u"abc"},
      {L"\u00e9t\u00e9", u"\u00e9t\u00e9"},
      {L"x\U0001F600y", u"x\U0001F600y"},
      {L"", u""},
  };
  for (const auto& c : cases) {
    const irr::core::stringw wide(c.wide);
    EXPECT_EQ(wideToUtf16(wide), c.units);
    EXPECT_TRUE(utf16ToWide(c.units) == wide);
  }
  // A lone surrogate unit passes through unchanged both ways.
  EXPECT_EQ(wideToUtf16(utf16ToWide(std::u16string(1, char16_t(0xD800)))), std::u16string(1, char16_t(0xD800)));

  ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("string@ throughWide(const string &in)", asFUNCTION(throughWide),
                                                       asCALL_CDECL),
            0);
  asIScriptModule* module = buildModule(serverScriptEngine, "wide", R"(
    string@ test() {
      string s = "a-bc";
      s[1] = 0xE9;
      s[2] = 0xD83D;
      s[3] = 0xDE00;
      return throughWide(s);
    })");
  ASSERT_NE(module, nullptr);
  const scripttest::RunResult result = run(module, "string@ test()");
  EXPECT_EQ(result.text, u"a\u00e9\U0001F600");
}

}  // namespace

}  // namespace string_test
