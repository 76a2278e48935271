// Server script modules: init, tick with its tolerated failures, save
// records and their delivery to "void onSaveFileLoad(XMLReader@)", and
// records that must not outlive their session.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "platform/thread.h"
#include "script/script_abort.h"
#include "script/script_xml.h"
#include "script/server_modules.h"
#include "script_test_support.h"

namespace server_modules_test {

using namespace AngelScript;
using scripttest::buildModule;

namespace {

// What scripts report through mark(text), in call order.
std::vector<std::string> marks;
// Marks made so far, readable from another thread while a script runs.
std::atomic<int> markCount{0};

void mark(const ScriptString& text) {
  marks.push_back(irr::core::stringc(text.toStringw()).c_str());
  markCount.fetch_add(1);
}

class ModuleTest : public scripttest::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    registerBindings();
    marks.clear();
  }
  void TearDown() override {
    freeThreadLocals();
    ScriptTest::TearDown();
  }

  // A new session: engines made again with the bindings the modules use.
  void newSession() {
    discardScriptModules();
    releaseScriptEngines();
    createEngines(false);
    registerBindings();
  }

  static void registerBindings() {
    LogCapture log;
    registerXmlBindings();
    serverScriptEngine->RegisterGlobalFunction("void mark(const string &in)", asFUNCTION(mark), asCALL_CDECL);
    EXPECT_EQ(log.take(), "");
  }

  // Builds `code` as server module `name` and appends its record.
  static void addModule(const char* name, const std::string& code) {
    LogCapture log;
    ASSERT_NE(buildModule(serverScriptEngine, name, code), nullptr) << log.take();
    scripted_manager::script_module::findHooks(name);
  }

  static std::vector<std::string> moduleNames() {
    std::vector<std::string> names;
    for (const auto& module : serverModules)
      names.push_back(module.name.c_str());
    return names;
  }

  static size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++found;
    return found;
  }
};

TEST_F(ModuleTest, FindHooksRecordsWhatTheModuleHas) {
  addModule("none", "int x;");
  addModule("all", "void init() {} void tick(float) {} void onSaveFileWrite(XMLWriter@) {}");
  addModule("wrong", "void init(int) {} int tick(float) { return 0; }");
  scripted_manager::script_module::findHooks("absent");
  ASSERT_EQ(serverModules.size(), 4u);
  EXPECT_EQ(serverModules[0].initFunc, asNO_FUNCTION);
  EXPECT_GE(serverModules[1].initFunc, 0);
  EXPECT_GE(serverModules[1].tickFunc, 0);
  EXPECT_GE(serverModules[1].saveFunc, 0);
  EXPECT_EQ(serverModules[2].initFunc, asNO_FUNCTION);
  EXPECT_EQ(serverModules[2].tickFunc, asNO_FUNCTION);
  EXPECT_EQ(serverModules[3].initFunc, asNO_MODULE);
  EXPECT_EQ(serverModules[3].tickFailuresLeft, 3);
}

// Failing inits remove their modules, two in a row included, and the module
// after them still initialises in the same pass; removed modules never tick.
TEST_F(ModuleTest, FailingInitRemovesItsModule) {
  const std::string failing =
      "void init() { mark(\"init %\"); int z = 0; z = 1 / z; }\n"
      "void tick(float) { mark(\"tick %\"); }\n";
  const std::string working = "void init() { mark(\"init %\"); }\nvoid tick(float) { mark(\"tick %\"); }\n";
  auto named = [](std::string code, const char* name) {
    for (size_t at = code.find('%'); at != std::string::npos; at = code.find('%'))
      code.replace(at, 1, name);
    return code;
  };
  addModule("first", named(working, "first"));
  addModule("bad", named(failing, "bad"));
  addModule("worse", named(failing, "worse"));
  addModule("after", named(working, "after"));
  addModule("quiet", "int nothing;");
  serverModules.push_back(serverModules[0]);  // a record whose function is gone
  serverModules.back().name = "stale";
  serverModules.back().initFunc = 99999;

  LogCapture log;
  initServerModules();
  const std::string logged = log.take();
  EXPECT_EQ(moduleNames(), (std::vector<std::string>{"first", "after", "quiet"}));
  EXPECT_EQ(marks, (std::vector<std::string>{"init first", "init bad", "init worse", "init after"}));
  EXPECT_NE(logged.find("Server Module 'bad' had a problem running void init()\n"), std::string::npos);
  EXPECT_NE(logged.find("Server Module 'worse' had a problem running void init()\n"), std::string::npos);
  EXPECT_NE(logged.find("Server Module 'stale' failed to prepare for the void init() call\n"), std::string::npos);
  // Each exception is reported once, by the context.
  EXPECT_EQ(count(logged, "Script Exception: "), 2u);
  EXPECT_EQ(count(logged, "Script Exception: Divide by zero"), 2u);

  marks.clear();
  tickServerModules(0.5f);
  EXPECT_EQ(marks, (std::vector<std::string>{"tick first", "tick after"}));
}

// A tick failing every frame is logged as removed once, at its fourth
// failure; one failing now and then goes at its fourth failure however many
// good frames lie between; modules next to a removed one keep ticking.
TEST_F(ModuleTest, TickFailuresAreToleratedThreeTimes) {
  addModule("always", "void tick(float) { mark(\"always\"); int z = 0; z = 1 / z; }");
  addModule("twin", "void tick(float) { int z = 0; z = 1 / z; }");
  addModule(
      "sometimes",
      "int frame = 0;\n"
      "void tick(float) { ++frame; int z = 0; if (frame == 2 || frame == 3 || frame == 9 || frame == 20) z = 1 / z; }");
  addModule("steady", "float total = 0; void tick(float seconds) { total += seconds; mark(\"steady \" + total); }");

  const std::string alwaysLine = "Server Module 'always' failed its void tick(float) call too many times\n";
  const std::string twinLine = "Server Module 'twin' failed its void tick(float) call too many times\n";
  const std::string sometimesLine = "Server Module 'sometimes' failed its void tick(float) call too many times\n";
  for (int frame = 1; frame <= 25; ++frame) {
    SCOPED_TRACE(frame);
    marks.clear();
    LogCapture log;
    tickServerModules(0.25f);
    const std::string logged = log.take();
    EXPECT_EQ(count(logged, alwaysLine), frame == 4 ? 1u : 0u);
    EXPECT_EQ(count(logged, twinLine), frame == 4 ? 1u : 0u);
    EXPECT_EQ(count(logged, sometimesLine), frame == 20 ? 1u : 0u);
    // One report per failed tick: "always" and "twin" until removed, and
    // "sometimes" on its failing frames.
    const bool sometimesFails = frame == 2 || frame == 3 || frame == 9 || frame == 20;
    const size_t failures = (frame <= 4 ? 2u : 0u) + (sometimesFails ? 1u : 0u);
    EXPECT_EQ(count(logged, "Script Exception: "), failures);
    EXPECT_EQ(count(logged, "Script Exception: Divide by zero"), failures);
    // The module after the removed ones ticked in the same pass.
    char total[32];
    std::snprintf(total, sizeof total, "steady %g", frame * 0.25);
    EXPECT_EQ(marks.back(), total);
  }
  EXPECT_EQ(moduleNames(), (std::vector<std::string>{"steady"}));
}

// An init that never returns is stopped from another thread (as a quit
// request does): the module is removed with the usual message and the next
// module still initialises.
TEST_F(ModuleTest, AbortedInitRemovesItsModule) {
  addModule("stuck",
            "void init() { mark(\"init stuck\"); while (true) {} }\nvoid tick(float) { mark(\"tick stuck\"); }");
  addModule("after", "void init() { mark(\"init after\"); }\nvoid tick(float) { mark(\"tick after\"); }");

  LogCapture log;
  std::atomic<bool> done{false};
  const int marksBefore = markCount.load();
  std::thread runner([&done] {
    initServerModules();
    freeThreadLocals();
    done = true;
  });
  // Bounded: an abort that does not stop the script fails the test. The
  // abort waits for the stuck init's mark: asked earlier, it could stop the
  // init before its first statement.
  for (int round = 0; round < 5000 && !done; ++round) {
    if (markCount.load() > marksBefore)
      abortRunningScripts();
    plat::sleepMs(1);
  }
  if (!done) {
    runner.detach();
    FAIL() << "the endless init was not stopped";
  }
  runner.join();
  EXPECT_NE(log.take().find("Server Module 'stuck' had a problem running void init()\n"), std::string::npos);
  EXPECT_EQ(moduleNames(), (std::vector<std::string>{"after"}));
  EXPECT_EQ(marks, (std::vector<std::string>{"init stuck", "init after"}));

  marks.clear();
  tickServerModules(0.5f);
  EXPECT_EQ(marks, (std::vector<std::string>{"tick after"}));
}

// Saved module data as it lands in the stream, and the same data handed
// back to each module in a later session.
const char kKeeper[] =
    "string loaded;\n"
    "void onSaveFileWrite(XMLWriter@ xml) {\n"
    "  string wide = \"x\"; wide[0] = 0x4E2D;\n"
    "  xml.createHeader(); xml.addElement(\"state\", false, \"turn\", \"7\");\n"
    "  xml.addText(\"caf\" + wide); xml.closeTag(\"state\");\n"
    "}\n"
    "void onSaveFileLoad(XMLReader@ xml) {\n"
    "  while (xml.advance()) {\n"
    "    if (xml.getNodeType() == XN_Element) loaded += xml.getNodeName() + \" turn=\" + "
    "xml.getAttributeValue(\"turn\");\n"
    "    if (xml.getNodeType() == XN_Text) loaded += \" \" + xml.getNodeData();\n"
    "  }\n"
    "  mark(\"loaded\");\n"
    "}\n";

TEST_F(ModuleTest, SaveThenLoadDeliversTheXml) {
  addModule("ai",
            "void onSaveFileWrite(XMLWriter@ xml) { xml.addElement(\"a\", true); }\n"
            "void onSaveFileLoad(XMLReader@ xml) { xml.advance(); mark(\"ai \" + xml.getNodeName()); }");
  addModule("silent",
            "void onSaveFileWrite(XMLWriter@ xml) { xml.addText(\"\"); }\n"
            "void onSaveFileLoad(XMLReader@) { mark(\"silent\"); }");
  addModule("keeper", kKeeper);
  addModule("thrower",
            "void onSaveFileWrite(XMLWriter@ xml) { xml.addElement(\"b\", true); int z = 0; z = 1 / z;\n"
            "  xml.addElement(\"c\", true); }\n"
            "void onSaveFileLoad(XMLReader@ xml) { while (xml.advance()) mark(\"thrower \" + xml.getNodeName()); }");
  addModule("gone", "void onSaveFileWrite(XMLWriter@ xml) { xml.addElement(\"g\", true); }");
  // Keeps the writer past the save and writes to it later.
  addModule("hoarder",
            "XMLWriter@ kept;\n"
            "void onSaveFileWrite(XMLWriter@ xml) { @kept = xml; }\n"
            "void tick(float) { kept.addText(\"late\"); }");
  std::unique_ptr<SaveStream> saved = SaveStream::createInMemory();
  const size_t header = saved->memoryBytes().size();
  {
    LogCapture log;
    saveServerModules(*saved);
  }
  EXPECT_EQ(serverModules.size(), 6u);
  tickServerModules(0.1f);  // writes nothing: the save's memory is gone
  EXPECT_EQ(serverModules.size(), 6u);

  // The first record: marker, XML length, "ai" as 2 and its bytes, the XML.
  const std::vector<uint8_t>& bytes = saved->memoryBytes();
  const std::string xml = std::string("\xFF\xFE", 2) + std::string("<\0a\0 \0/\0>\0", 10);
  std::string first(1, '\x01');
  first += std::string("\x0C\0\0\0", 4) + std::string("\x02\0", 2) + "ai" + xml;
  ASSERT_GE(bytes.size(), header + first.size());
  EXPECT_EQ(
      std::string(bytes.begin() + static_cast<long>(header), bytes.begin() + static_cast<long>(header + first.size())),
      first);

  // A later session with the same modules, except "gone".
  newSession();
  addModule("ai", "void onSaveFileLoad(XMLReader@ xml) { xml.advance(); mark(\"ai \" + xml.getNodeName()); }");
  addModule("silent", "void onSaveFileLoad(XMLReader@) { mark(\"silent\"); }");
  addModule("keeper", kKeeper);
  addModule("thrower",
            "void onSaveFileLoad(XMLReader@ xml) { while (xml.advance()) mark(\"thrower \" + xml.getNodeName()); }");
  std::unique_ptr<SaveStream> loading = SaveStream::readFromMemory(bytes.data(), bytes.size());
  loadScriptModuleRecords(*loading);
  EXPECT_EQ(loading->remaining(), 0u);
  // "silent" wrote nothing and has no record; the thrower's data up to its
  // exception was kept; "gone" was skipped by its length.
  EXPECT_EQ(marks, (std::vector<std::string>{"ai a", "loaded", "thrower b"}));
  asIScriptModule* keeper = serverScriptEngine->GetModule("keeper");
  const auto* loaded = static_cast<const ScriptString*>(keeper->GetAddressOfGlobalVar(0));
  EXPECT_EQ(loaded->text, u"state turn=7 caf\u4E2D");
}

// Writes `bytes` of module data for each case (a header of version 35), so
// that the loader's limits can be checked against the saver's.
TEST_F(ModuleTest, RecordsOfAMillionBytesAreNeverWrittenNorRead) {
  // "<t>", n units of text and "</t>" make 2 + 2 (n + 7) bytes with the
  // byte-order mark.
  const std::string sizer =
      "void onSaveFileWrite(XMLWriter@ xml) { string s = \"a\";\n"
      "  while (s.length() < UNITS) s += s; s.resize(UNITS);\n"
      "  xml.addElement(\"t\", false); xml.addText(s); xml.closeTag(\"t\"); }\n"
      "void onSaveFileLoad(XMLReader@ xml) { xml.advance(); xml.advance(); mark(\"\" + xml.getNodeData().length()); "
      "}\n";
  struct SizeCase {
    int units;
    bool saved;
  };
  for (const SizeCase item : {SizeCase{499991, true}, SizeCase{499992, false}, SizeCase{700000, false}}) {
    SCOPED_TRACE(item.units);
    newSession();
    marks.clear();
    std::string code = sizer;
    for (size_t at = code.find("UNITS"); at != std::string::npos; at = code.find("UNITS"))
      code.replace(at, 5, std::to_string(item.units));
    addModule("big", code);
    std::unique_ptr<SaveStream> saved = SaveStream::createInMemory();
    const size_t header = saved->memoryBytes().size();
    LogCapture log;
    saveServerModules(*saved);
    const std::string logged = log.take();
    if (item.saved) {
      EXPECT_EQ(logged, "");
      EXPECT_EQ(saved->memoryBytes().size(), header + 1 + 4 + 2 + 3 + 999998);
      std::unique_ptr<SaveStream> loading =
          SaveStream::readFromMemory(saved->memoryBytes().data(), saved->memoryBytes().size());
      loadScriptModuleRecords(*loading);
      EXPECT_EQ(marks, (std::vector<std::string>{"499991"}));
    } else {
      EXPECT_EQ(logged,
                "Server Module 'big' wrote 1,000,000 bytes or more in void onSaveFileWrite(XMLWriter@); "
                "none of it is saved\n");
      EXPECT_EQ(saved->memoryBytes().size(), header);
    }
  }
}

// Hand-made record streams: the loader's length limits, data cut short, the
// engine marker and saves from before it.
TEST_F(ModuleTest, LoaderChecksEachRecord) {
  addModule("m", "void onSaveFileLoad(XMLReader@ xml) { xml.advance(); mark(\"server \" + xml.getNodeName()); }");
  ASSERT_NE(buildModule(clientScriptEngine, "m", "void onSaveFileLoad(XMLReader@ xml) { xml.advance(); }"), nullptr);

  auto record = [](int marker, uint32_t length, const std::string& data) {
    std::string bytes;
    if (marker >= 0)
      bytes += static_cast<char>(marker);
    for (int i = 0; i < 4; ++i)
      bytes += static_cast<char>((length >> (8 * i)) & 0xFF);
    return bytes + std::string("\x01\0m", 3) + data;
  };
  auto stream = [](int version, const std::string& records) {
    std::string bytes = "$qvs";
    for (int i = 0; i < 4; ++i)
      bytes += static_cast<char>((version >> (8 * i)) & 0xFF);
    return bytes + records;
  };
  struct LoadCase {
    const char* name;
    std::string bytes;
    int errorCode;  // 0: loads
    std::vector<std::string> marks;
  };
  const LoadCase cases[] = {
      {"server marker", stream(35, record(1, 4, "<a/>")), 0, {"server a"}},
      {"client marker", stream(35, record(0, 4, "<a/>")), 0, {}},
      {"version 33 has no marker", stream(33, record(-1, 4, "<b/>") + record(-1, 4, "<c/>")), 0, {}},
      {"empty", stream(35, record(1, 0, "")), 5, {}},
      {"a million", stream(35, record(1, 1000000, "")), 5, {}},
      {"cut short", stream(35, record(1, 10, "<a/>")), 4, {}},
      {"missing module skipped",
       stream(35, std::string("\x01\x04\0\0\0\x01\0z<z/>", 12) + record(1, 4, "<d/>")),
       0,
       {"server d"}},
  };
  for (const LoadCase& item : cases) {
    SCOPED_TRACE(item.name);
    marks.clear();
    std::unique_ptr<SaveStream> loading = SaveStream::readFromMemory(item.bytes.data(), item.bytes.size());
    LogCapture log;
    int code = 0;
    try {
      loadScriptModuleRecords(*loading);
    } catch (const SaveFileError& error) {
      code = error.code;
      EXPECT_STREQ(error.message, code == 5 ? kSaveErrorModuleDataSize.message : kSaveErrorModuleDataEOF.message);
    }
    EXPECT_EQ(code, item.errorCode);
    EXPECT_EQ(marks, item.marks);
  }
}

// A second session in the same process runs none of the first session's
// records, whether or not the first one cleared them.
TEST_F(ModuleTest, LaterSessionsRunOnlyTheirOwnModules) {
  addModule("first", "void init() { mark(\"first\"); } void tick(float) { mark(\"tick first\"); }");
  initServerModules();
  newSession();
  addModule("second", "void init() { mark(\"second\"); } void tick(float) { mark(\"tick second\"); }");
  initServerModules();
  tickServerModules(0.1f);
  EXPECT_EQ(marks, (std::vector<std::string>{"first", "second", "tick second"}));
  EXPECT_EQ(moduleNames(), (std::vector<std::string>{"second"}));

  // The end of a session empties the records.
  discardScriptModules();
  EXPECT_TRUE(serverModules.empty());
}

}  // namespace

}  // namespace server_modules_test
