// Script XML files: writing and reading back through scripts on both
// engines, the name check, folder listing, and malformed files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "script/script_xml.h"
#include "script_test_support.h"
#include "support/working_folder.h"

namespace xml_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::run;
namespace fs = std::filesystem;

namespace {

// Reads every node of file `name` into one line per node: the kind, the name
// (or text) and the attributes.
const char kReadAll[] =
    "string readAll(const string &in name) {\n"
    "  XMLReader@ r = XMLReader(name);\n"
    "  string text;\n"
    "  while (r.advance()) {\n"
    "    text += int(r.getNodeType());\n"
    "    text += \":\" + r.getNodeName();\n"
    "    for (uint i = 0; i < r.getAttributeCount(); ++i)\n"
    "      text += \" \" + r.getAttributeName(i) + \"=\" + r.getAttributeValue(int(i));\n"
    "    text += \"\\n\";\n"
    "  }\n"
    "  return text;\n"
    "}\n";

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

class XmlTest : public scripttest::ScriptTest {
 protected:
  void SetUp() override {
    // Script data is written below the working directory.
    folder_ = std::make_unique<WorkingFolder>(scripttest::testFolder("xml"));
    ScriptTest::SetUp();
    LogCapture log;
    registerXmlBindings();
    ASSERT_EQ(log.take(), "");
  }

  void TearDown() override {
    ScriptTest::TearDown();
    folder_.reset();
  }

  std::unique_ptr<WorkingFolder> folder_;

  // Runs "string readAll(name)" of a module built with kReadAll on `engine`.
  std::u16string readAll(asIScriptEngine* engine, const std::string& name) {
    asIScriptModule* module = buildModule(engine, "reader", std::string(kReadAll) +
                                                                "string read() { return readAll(\"" + name + "\"); }");
    EXPECT_NE(module, nullptr);
    if (module == nullptr)
      return u"";
    const scripttest::RunResult result = run(module, "string read()");
    EXPECT_EQ(result.state, asEXECUTION_FINISHED) << result.exception;
    return result.text;
  }
};

struct EngineCase {
  const char* name;
  bool server;
  const char* folder;
};

// Text in script: non-ASCII units set one by one (string constants are
// single bytes), among them a pair for U+1F600.
const char kWriteUnits[] =
    "void write() {\n"
    "  string wide = \"abcd\";\n"
    "  wide[0] = 0xE9; wide[1] = 0x4E2D; wide[2] = 0xD83D; wide[3] = 0xDE00;\n"
    "  XMLWriter@ w = XMLWriter(\"units\");\n"
    "  w.addElement(\"units\", false, \"count\", \"2\");\n"
    "  w.addLineBreak();\n"
    "  w.addElement(\"unit\", true, \"name\", wide, \"kind\", \"a<b&\\\"c'\", \"x\", \"1\", \"y\", \"2\", \"z\", \"3\");\n"
    "  w.addText(\"say \" + wide + \" & <more>\");\n"
    "  w.addComment(\"note\");\n"
    "  w.closeTag(\"units\");\n"
    "  XMLWriter@ empty = XMLWriter(\"empty\");\n"
    "}\n";

// Writes "units" from a script on each engine, finds the file in that
// engine's folder (in UTF-16LE with its mark though no header was asked
// for), and reads elements, attributes and text back, non-ASCII included.
TEST_F(XmlTest, WrittenFileReadsBackOnEachEngine) {
  const EngineCase cases[] = {{"server", true, "Game Data/Script Data/"}, {"client", false, "Script Data/"}};
  for (const EngineCase& item : cases) {
    SCOPED_TRACE(item.name);
    asIScriptEngine* engine = item.server ? serverScriptEngine : clientScriptEngine;
    for (const char* file : {"units.xml", "empty.xml"})
      fs::remove(fs::path(item.folder) / file);
    asIScriptModule* module = buildModule(engine, "writer", kWriteUnits);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(run(module, "void write()").state, asEXECUTION_FINISHED);

    const std::string bytes = fileBytes(fs::path(item.folder) / "units.xml");
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE<\0", 4));
    EXPECT_TRUE(fs::exists(fs::path(item.folder) / "empty.xml"));
    EXPECT_EQ(fs::file_size(fs::path(item.folder) / "empty.xml"), 0u);

    const std::u16string wide = u"\u00E9\u4E2D\U0001F600";
    EXPECT_EQ(readAll(engine, "units"), u"1:units count=2\n"
                                        u"1:unit name=" + wide + u" kind=a<b&\"c' x=1 y=2 z=3\n"
                                        u"3:say " + wide + u" & <more>\n"
                                        u"4:note\n"
                                        u"2:units\n");
    // A missing file reads as an empty one.
    LogCapture log;
    EXPECT_EQ(readAll(engine, "missing"), u"");
    EXPECT_EQ(log.take(), "");
  }
}

// Comments read back as written: markup characters as they are, and only
// what a comment cannot hold ("--", a last '-') made safe with a blank.
TEST_F(XmlTest, CommentsReadBackAsWritten) {
  const std::pair<const char*, const char16_t*> comments[] = {
      {"a<b & c \\\"d\\\" 'e' >", u"a<b & c \"d\" 'e' >"},
      {"x--y", u"x- -y"},
      {"a-->b", u"a- ->b"},
      {"ends-", u"ends- "},
      {"---", u"- - - "},
      {"-lead", u"-lead"},
  };
  for (const auto& [written, read] : comments) {
    SCOPED_TRACE(written);
    asIScriptModule* module = buildModule(serverScriptEngine, "comments",
                                          std::string("void write() { XMLWriter@ w = XMLWriter(\"comments\");\n"
                                                      "  w.addComment(\"") + written + "\"); w.addElement(\"a\", true); }\n");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(run(module, "void write()").state, asEXECUTION_FINISHED);
    EXPECT_EQ(readAll(serverScriptEngine, "comments"), u"4:" + std::u16string(read) + u"\n1:a\n");
  }
}

TEST_F(XmlTest, AttributesByNameAndOutOfRange) {
  writeBytes("Game Data/Script Data/attributes.xml", "<?xml version=\"1.0\"?>\n<a one=\"1\" two='2'/>");
  asIScriptModule* module = buildModule(serverScriptEngine, "attributes",
                                        "string check() {\n"
                                        "  XMLReader@ r = XMLReader(\"attributes\");\n"
                                        "  string text;\n"
                                        "  r.advance(); text += int(r.getNodeType());\n"
                                        "  r.advance(); text += int(r.getNodeType()) + r.getNodeName();\n"
                                        "  text += \"|\" + r.getAttributeValue(\"two\") + r.getAttributeValue(\"three\");\n"
                                        "  text += \"|\" + r.getAttributeName(5) + r.getAttributeValue(-1) + r.getAttributeValue(2);\n"
                                        "  if (r.hasAttribute(\"one\")) text += \"|one\";\n"
                                        "  if (r.hasAttribute(\"three\")) text += \"|three\";\n"
                                        "  if (r.advance()) text += \"|more\";\n"
                                        "  return text;\n"
                                        "}\n");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(run(module, "string check()").text, u"61a|2||one");
}

// The reader and writer factories refuse names with a folder trick or an
// extension; a list refuses them silently. Sub-folders are made on writing.
TEST_F(XmlTest, NamesAreCheckedAndSubFoldersMade) {
  fs::remove_all("Game Data/Script Data/sub");
  const char kRefused[] =
      "Cannot create XML file in a custom directory, specify only the name without an extension.";
  struct NameCase {
    const char* name;
    bool accepted;
    const char* created;  // the file a writer makes, below the folder
  };
  const NameCase names[] = {
      {"units.xml", false, nullptr}, {"a:b", false, nullptr},       {"x%y", false, nullptr},
      {"{a}", false, nullptr},       {"what?", false, nullptr},     {"sub/units", true, "sub/units.xml"},
      {"sub\\\\deep", true, "sub/deep.xml"},
  };
  for (const NameCase& item : names) {
    SCOPED_TRACE(item.name);
    const std::string name = item.name;
    for (const char* type : {"XMLWriter", "XMLReader"}) {
      asIScriptModule* module =
          buildModule(serverScriptEngine, "names",
                      std::string("bool open() { ") + type + "@ x = " + type + "(\"" + name + "\"); return x !is null; }\n"
                      "uint list() { return XMLList(\"" + name + "\").getFileCount(); }\n");
      ASSERT_NE(module, nullptr);
      const scripttest::RunResult opened = run(module, "bool open()");
      if (item.accepted) {
        EXPECT_EQ(opened.state, asEXECUTION_FINISHED) << type;
      } else {
        EXPECT_EQ(opened.state, asEXECUTION_EXCEPTION) << type;
        EXPECT_EQ(opened.exception, kRefused) << type;
      }
      EXPECT_EQ(run(module, "uint list()").state, asEXECUTION_FINISHED);
    }
    if (item.created != nullptr) {
      EXPECT_TRUE(fs::is_regular_file(fs::path("Game Data/Script Data") / item.created));
    }
  }
  asIScriptModule* list = buildModule(serverScriptEngine, "list",
                                      "string names() { XMLList@ list = XMLList(\"sub\");\n"
                                      "  return list.getFileName(0) + \";\" + list.getFileName(1); }\n");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(run(list, "string names()").text, u"sub/deep.xml;sub/units.xml");
  EXPECT_FALSE(fs::exists("Game Data/Script Data/units.xml.xml"));
  EXPECT_FALSE(fs::exists("Game Data/Script Data/sub\\deep.xml"));
}

// A file in the way of the folder: the writer still comes (scripts cannot
// be given a null from a factory), writes nothing and the log says why.
TEST_F(XmlTest, WriterThatCannotMakeItsFileWritesNothing) {
  writeBytes("Game Data/Script Data/blocker", "");
  asIScriptModule* module = buildModule(serverScriptEngine, "blocked",
                                        "void write() { XMLWriter@ w = XMLWriter(\"blocker/x\");\n"
                                        "  w.createHeader(); w.addElement(\"a\", true); }\n");
  ASSERT_NE(module, nullptr);
  LogCapture log;
  EXPECT_EQ(run(module, "void write()").state, asEXECUTION_FINISHED);
  EXPECT_EQ(log.take(), "Could not create the XML file \"Game Data/Script Data/blocker/x.xml\"\n");
}

// A script that tests the handle for null, as careful scripts do, runs on
// when its file cannot be opened: the library would stop it at the
// construction had the factory given null.
TEST_F(XmlTest, NullTestingScriptsRunOnWhenFilesCannotBeOpened) {
  writeBytes("Game Data/Script Data/blocker", "");
  asIScriptModule* module = buildModule(serverScriptEngine, "careful",
                                        "string read() { XMLReader@ r = XMLReader(\"missing\");\n"
                                        "  if (r is null) return \"null\";\n"
                                        "  return r.advance() ? \"nodes\" : \"empty\"; }\n"
                                        "string write() { XMLWriter@ w = XMLWriter(\"blocker/x\");\n"
                                        "  if (w is null) return \"null\";\n"
                                        "  w.addElement(\"a\", true); return \"written\"; }\n");
  ASSERT_NE(module, nullptr);
  LogCapture log;
  EXPECT_EQ(run(module, "string read()").text, u"empty");
  EXPECT_EQ(run(module, "string write()").text, u"written");
  EXPECT_EQ(log.take(), "Could not create the XML file \"Game Data/Script Data/blocker/x.xml\"\n");
}

TEST_F(XmlTest, ListsTheXmlFilesOfAFolder) {
  fs::remove_all("Game Data/Script Data/listed");
  for (const char* file : {"b.xml", "a.XML", "notes.txt", "folder.xml/inner.xml", "c.xmlx"})
    writeBytes(fs::path("Game Data/Script Data/listed") / file, "<a/>");
  asIScriptModule* module = buildModule(serverScriptEngine, "list",
                                        "string names(const string &in folder) {\n"
                                        "  XMLList@ list = XMLList(folder);\n"
                                        "  string text;\n"
                                        "  for (uint i = 0; i < list.getFileCount(); ++i) text += list.getFileName(i) + \";\";\n"
                                        "  return text;\n"
                                        "}\n"
                                        "string listed() { return names(\"listed\"); }\n"
                                        "string missing() { return names(\"nothing here\"); }\n"
                                        "void pastTheEnd() { XMLList(\"listed\").getFileName(2); }\n");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(run(module, "string listed()").text, u"listed/a.XML;listed/b.xml;");
  EXPECT_EQ(run(module, "string missing()").text, u"");
  const scripttest::RunResult past = run(module, "void pastTheEnd()");
  EXPECT_EQ(past.state, asEXECUTION_EXCEPTION);
  EXPECT_EQ(past.exception, "Out of bounds index when getting file name from xml file list");
}

// Markup cut off by the end of the file ends reading with one logged line;
// the nodes before it are still read.
TEST_F(XmlTest, MalformedFilesEndReadingWithAnError) {
  const std::pair<const char*, const char16_t*> files[] = {
      {"<a>x</a><?xml", u"1:a\n3:x\n2:a\n"},
      {"<a><!-- <", u"1:a\n"},
      {"<a b=\"1", u""},
      {"<a><![CDATA[abc", u"1:a\n"},
      {"<a b", u""},
      {"</", u""},
      {"<", u""},
  };
  for (const auto& [bytes, nodes] : files) {
    SCOPED_TRACE(bytes);
    writeBytes("Game Data/Script Data/broken.xml", bytes);
    LogCapture log;
    EXPECT_EQ(readAll(serverScriptEngine, "broken"), nodes);
    EXPECT_EQ(log.take(), "Error reading XML file. Cannot continue loading file.\n");
  }
}

}  // namespace

}  // namespace xml_test
