// The script dictionary, driven by scripts: conversions, handles, iteration,
// the generic calling form, and garbage collection (also on another thread).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "script/script_dictionary.h"
#include "script_test_support.h"

namespace dictionary_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::callWhileCollecting;
using scripttest::run;

namespace {

// Each case is the body of "bool check()"; `Probe` counts its destructions
// in `destroyed`. Cases that iterate need the native form.
struct Case {
  const char* name;
  const char* body;
  bool iterates;
};

const char kPrelude[] =
    "int destroyed = 0;\n"
    "class Probe { int value = 1; ~Probe() { ++destroyed; } }\n"
    "class Other { }\n";

const Case kCases[] = {
    {"Int64ReadAsDouble", "dictionary d; d.set(\"n\", int64(3)); double v = 0; return d.get(\"n\", v) && v == 3.0;",
     false},
    {"DoubleReadAsInt64TruncatesTowardZero",
     "dictionary d; d.set(\"p\", 2.9); d.set(\"m\", -2.9); int64 p = 0, m = 0;\n"
     "return d.get(\"p\", p) && p == 2 && d.get(\"m\", m) && m == -2;",
     false},
    {"DoubleBeyondInt64Saturates",
     "dictionary d; d.set(\"h\", 1e300); d.set(\"l\", -1e300); int64 h = 0, l = 0;\n"
     "return d.get(\"h\", h) && h == int64(0x7FFFFFFFFFFFFFFF) && d.get(\"l\", l) && l == -h - 1;",
     false},
    {"StringReadAsInt64FailsAndKeepsTheVariable",
     "dictionary d; string s = \"text\"; d.set(\"s\", s); int64 v = 7;\n"
     "return !d.get(\"s\", v) && v == 7;",
     false},
    {"MissingKeyFailsAndKeepsTheVariable",
     "dictionary d; double v = 4; string s;\n"
     "return !d.get(\"none\", v) && v == 4 && !d.get(\"none\", s) && !d.exists(\"none\");",
     false},
    {"StringRoundTripIsACopy",
     "dictionary d; string s = \"abc\"; d.set(\"s\", s); s = \"changed\"; string t;\n"
     "return d.get(\"s\", t) && t == \"abc\";",
     false},
    {"PrimitiveOfAnotherTypeIsReadOnlyAsThatType",
     "dictionary d; bool b = true; d.set(\"b\", b); bool c = false; double v = 5;\n"
     "return d.get(\"b\", c) && c && !d.get(\"b\", v) && v == 5;",
     false},
    {"HandleReadBackIsTheSameObject",
     "dictionary d; Probe p; d.set(\"p\", @p); Probe@ q; Other@ o;\n"
     "return d.get(\"p\", @q) && q is p && !d.get(\"p\", @o) && o is null;",
     false},
    {"NullHandleReadsBackAsNull",
     "dictionary d; Probe@ none; d.set(\"p\", @none); Probe@ q = Probe();\n"
     "return d.get(\"p\", @q) && q is null && destroyed == 1;",
     false},
    {"OverwritingAHandleReleasesIt",
     "dictionary d; d.set(\"p\", @Probe()); bool kept = destroyed == 0; d.set(\"p\", 1.0);\n"
     "return kept && destroyed == 1;",
     false},
    {"DeleteReleasesAndMissingDeleteDoesNothing",
     "dictionary d; d.set(\"p\", @Probe()); d.set(\"q\", @Probe()); d.delete(\"x\"); d.delete(\"p\");\n"
     "bool one = destroyed == 1 && !d.exists(\"p\") && d.exists(\"q\"); d.deleteAll();\n"
     "return one && destroyed == 2 && !d.exists(\"q\");",
     false},
    {"IterationVisitsKeysInOrder",
     "dictionary d; d.set(\"b\", 2.0); d.set(\"ab\", 1.0); d.set(\"a\", 0.0); string names;\n"
     "for (bool more = d.resetIter(); more; more = d.advance()) {\n"
     "  string name; double v; d.getCurrentName(name); d.getCurrent(v); names += name + v + \";\";\n"
     "}\n"
     "return names == \"a0;ab1;b2;\";",
     true},
    {"EmptyIterationStaysEnded",
     "dictionary d; string name; double v = 3;\n"
     "return !d.resetIter() && !d.advance() && !d.getCurrentName(name) && !d.getCurrent(v) && v == 3;",
     true},
    {"ChangingAValueKeepsTheIteration",
     "dictionary d; d.set(\"a\", 1.0); d.set(\"b\", 2.0); d.set(\"c\", 3.0); int steps = 1;\n"
     "for (bool more = d.resetIter(); more; more = d.advance()) { d.set(\"b\", 9.0); d.set(\"a\", @Probe()); ++steps; "
     "}\n"
     "double b = 0; return steps == 4 && d.get(\"b\", b) && b == 9;",
     true},
    {"AddingAKeyEndsTheIterationAtTheNextStep",
     "dictionary d; d.set(\"a\", 1.0); d.set(\"b\", 2.0); d.resetIter(); d.set(\"c\", 3.0);\n"
     "string name; return !d.getCurrentName(name) && !d.advance() && d.resetIter();",
     true},
    {"DeletingTheCurrentKeyEndsTheIteration",
     "dictionary d; d.set(\"a\", 1.0); d.set(\"b\", 2.0); d.resetIter(); d.delete(\"b\");\n"
     "string name; bool kept = d.getCurrentName(name) && name == \"a\"; d.delete(\"a\");\n"
     "return kept && !d.advance();",
     true},
    {"GetCurrentConvertsNumbers",
     "dictionary d; d.set(\"x\", 2.5); d.resetIter(); int64 i = 0; string s;\n"
     "return d.getCurrent(i) && i == 2 && !d.getCurrent(s);",
     true},
};

class DictionaryTest : public scripttest::ScriptTest {
 protected:
  // The server engine gets the native form, the client engine the generic
  // one (with the generic string).
  void SetUp() override {
    createEngines(true);
    registerScriptDictionaryNative(serverScriptEngine);
    registerScriptDictionaryGeneric(clientScriptEngine);
  }

  void runCase(asIScriptEngine* engine, const Case& item) {
    SCOPED_TRACE(item.name);
    const std::string code = std::string(kPrelude) + "bool check() {\n" + item.body + "\n}\n";
    LogCapture log;
    asIScriptModule* module = buildModule(engine, "dict", code);
    ASSERT_NE(module, nullptr) << log.take();
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByDecl("bool check()"));
    EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED) << log.take();
    EXPECT_TRUE(context->GetReturnByte() != 0);
    context->Release();
    module->Discard();
    engine->GarbageCollect(asGC_FULL_CYCLE);
  }
};

TEST_F(DictionaryTest, NativeForm) {
  for (const Case& item : kCases)
    runCase(serverScriptEngine, item);
}

TEST_F(DictionaryTest, GenericFormWithoutIteration) {
  for (const Case& item : kCases) {
    if (!item.iterates)
      runCase(clientScriptEngine, item);
  }
  EXPECT_EQ(clientScriptEngine->GetTypeInfoByName("dictionary")->GetMethodByName("resetIter"), nullptr);
}

// Two dictionaries holding handles to each other outlive the script and are
// freed by one full collector cycle.
TEST_F(DictionaryTest, CollectorFreesACycle) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    asIScriptModule* module = buildModule(engine, "cycle",
                                          "void make() { dictionary a; dictionary b;\n"
                                          "  a.set(\"other\", @b); b.set(\"other\", @a); }");
    ASSERT_NE(module, nullptr);
    engine->GarbageCollect(asGC_FULL_CYCLE);
    asUINT before = 0, destroyedBefore = 0, detectedBefore = 0;
    engine->GetGCStatistics(&before, &destroyedBefore, &detectedBefore);
    ASSERT_EQ(run(module, "void make()").state, asEXECUTION_FINISHED);

    asUINT alive = 0, destroyed = 0, detected = 0;
    engine->GetGCStatistics(&alive, &destroyed, &detected);
    EXPECT_EQ(alive, before + 2);  // the cycle keeps both
    engine->GarbageCollect(asGC_FULL_CYCLE);
    engine->GetGCStatistics(&alive, &destroyed, &detected);
    EXPECT_EQ(alive, before);
    EXPECT_EQ(detected, detectedBefore + 2);
  }
}

// A new reference clears the collector's mark (the object is in use again),
// and so does a released one; the count is kept apart from the mark.
TEST(DictionaryReferences, CountChangesClearTheCollectorsMark) {
  CScriptDictionary* dictionary = CScriptDictionary::create(nullptr, nullptr);
  dictionary->setGCFlag();
  EXPECT_TRUE(dictionary->getGCFlag());
  EXPECT_EQ(dictionary->getRefCount(), 1);
  dictionary->addRef();
  EXPECT_FALSE(dictionary->getGCFlag());
  EXPECT_EQ(dictionary->getRefCount(), 2);
  dictionary->setGCFlag();
  dictionary->release();
  EXPECT_FALSE(dictionary->getGCFlag());
  EXPECT_EQ(dictionary->getRefCount(), 1);
  dictionary->release();
}

// Scripts on four threads keep changing two linked dictionaries while making
// short-lived ones, and another thread runs the collector step by step, so
// the collector reads dictionaries that are being changed (run this under
// ThreadSanitizer too).
TEST_F(DictionaryTest, ScriptsUseDictionariesWhileTheCollectorRuns) {
  asIScriptModule* module = buildModule(serverScriptEngine, "busy",
                                        "int work(int n) {\n"
                                        "  dictionary a; dictionary b;\n"
                                        "  a.set(\"b\", @b); b.set(\"a\", @a);\n"
                                        "  for (int i = 0; i < n; ++i) {\n"
                                        "    a.set(\"k\" + (i % 8), @b); a.delete(\"k\" + ((i + 3) % 8));\n"
                                        "    b.set(\"x\", double(i)); b.set(\"y\", @a);\n"
                                        "    dictionary c; c.set(\"a\", @a); c.set(\"c\", @c);\n"
                                        "  }\n"
                                        "  int total = 0;\n"
                                        "  for (bool more = a.resetIter(); more; more = a.advance()) ++total;\n"
                                        "  return total;\n"
                                        "}\n");
  ASSERT_NE(module, nullptr);
  const int id = module->GetFunctionByDecl("int work(int)")->GetId();

  // "a" ends with "b" and the five keys the last three steps left.
  EXPECT_EQ(callWhileCollecting(id, 500, 6, 4, 20), 0);
  asUINT alive = 0;
  serverScriptEngine->GetGCStatistics(&alive);
  EXPECT_EQ(alive, 0u);
}

}  // namespace

}  // namespace dictionary_test
