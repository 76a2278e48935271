// Script files: the include preprocessor, module loading, import binding and
// discarding, on fixture files in a scratch folder read through the engine's
// file system.
#include <IFileArchive.h>
#include <IFileSystem.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "core/file_access.h"
#include "script_test_support.h"
#include "support/null_device.h"

namespace file_test {

using namespace AngelScript;
using scripttest::LogCapture;
using scripttest::writeFile;

namespace {

class ScriptFileTest : public scripttest::ScriptTest {
 protected:
  static void SetUpTestSuite() {
    device = createTestDevice();
  }
  static void TearDownTestSuite() {
    setFileSystem(nullptr);
    device->drop();
    device = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(device, nullptr);
    setFileSystem(device->getFileSystem());
    ScriptTest::SetUp();
  }

  // The preprocessed text of a file, without the zero byte after it.
  static std::string textOf(const ScriptFile* file) { return std::string(file->text.data(), file->size); }

  static irr::IrrlichtDevice* device;
};

irr::IrrlichtDevice* ScriptFileTest::device = nullptr;

TEST_F(ScriptFileTest, IncludeDirectivesByTable) {
  const std::string folder = scripttest::testFolder("directives");
  writeFile(folder, "x.as", "int x() { return 1; }\n");
  const std::string eleven(11, '\n');
  const struct {
    std::string source;
    std::string expected;  // the text after preprocessing
    std::vector<std::string> includes;
    std::string log;  // "@" stands for the folder
  } cases[] = {
      {"#include \"x.as\"\nint a;", "               \nint a;", {"x.as"}, ""},
      {"  #include \"x.as\" // note\n", "                  // note\n", {"x.as"}, ""},
      {"#include \"x.as\"/* a\nb */", "               /* a\nb */", {"x.as"}, ""},
      {"#include \"x.as\"\r\n#include \"x.as\"", "               \r\n               ", {"x.as", "x.as"}, ""},
      {"\t#include \"./x.as\"", "\t                 ", {"x.as"}, ""},
      {"int a; /* c\n c */ #include \"x.as\"", "int a; /* c\n c */                ", {"x.as"}, ""},
      {"// see /* here\n#include \"x.as\"", "// see /* here\n               ", {"x.as"}, ""},
      // Left for the compiler: a blank after "#", empty or open quotes, not
      // first on the line, inside a block comment.
      {"# include \"x.as\"\n", "# include \"x.as\"\n", {}, ""},
      {"#include \"\"\n", "#include \"\"\n", {}, ""},
      {"#include \"x.as\n\"", "#include \"x.as\n\"", {}, ""},
      {"int a; #include \"x.as\"", "int a; #include \"x.as\"", {}, ""},
      {"/*\n#include \"x.as\"\n*/", "/*\n#include \"x.as\"\n*/", {}, ""},
      {"#pragma once\n", "#pragma once\n", {}, ""},
      // A missing file is reported with its line (line feeds counted) and
      // blanked all the same.
      {eleven + "#include \"missing.as\"\n", eleven + "                     \n", {},
       "AS Error: #include \"@/missing.as\"\n File Does Not Exist\n Line: 12\n"},
      {"\r\r#include \"gone/../missing.as\"", "\r\r                             ", {},
       "AS Error: #include \"@/missing.as\"\n File Does Not Exist\n Line: 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    clearScriptFileCache();
    writeFile(folder, "case.as", c.source);
    LogCapture log;
    const ScriptFile* file = getScriptFile((folder + "/case.as").c_str());
    EXPECT_EQ(textOf(file), c.expected);
    EXPECT_EQ(file->text.back(), '\0');
    std::vector<std::string> includes;
    for (const ScriptFile* included : file->includes)
      includes.push_back(std::string(included->path.c_str()).substr(folder.size() + 1));
    EXPECT_EQ(includes, c.includes);
    std::string expectedLog = c.log;
    const size_t at = expectedLog.find('@');
    if (at != std::string::npos)
      expectedLog.replace(at, 1, folder);
    EXPECT_EQ(log.take(), expectedLog);
  }
}

TEST_F(ScriptFileTest, SelfAndMutualIncludesAreReadAndAddedOnce) {
  const std::string folder = scripttest::testFolder("cycles");
  writeFile(folder, "a.as",
            "#include \"a.as\"\n"
            "#include \"sub/b.as\"\n"
            "int fa() { return fb() + 1; }\n");
  writeFile(folder, "sub/b.as",
            "#include \"../a.as\"\n"
            "int fb() { return 1; }\n");
  const std::string path = folder + "/a.as";
  LogCapture log;
  loadScriptFile(serverScriptEngine, path.c_str(), "pair");
  EXPECT_EQ(log.take(), "Loading script file: " + path + "\n");
  asIScriptModule* module = serverScriptEngine->GetModule("pair");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(scripttest::run(module, "int fa()").state, asEXECUTION_FINISHED);

  ScriptFile* a = getScriptFile(path.c_str());
  ScriptFile* b = getScriptFile((folder + "/sub/b.as").c_str());
  EXPECT_EQ(a->includes, (std::vector<ScriptFile*>{a, b}));
  EXPECT_EQ(b->includes, (std::vector<ScriptFile*>{a}));
  EXPECT_EQ(std::string(b->path.c_str()), folder + "/sub/b.as");
}

TEST_F(ScriptFileTest, MissingIncludeIsReportedAndTheFileStillBuilds) {
  const std::string folder = scripttest::testFolder("missing");
  writeFile(folder, "main.as", std::string(11, '\n') + "#include \"helpers.as\"\nint main() { return 4; }\n");
  LogCapture log;
  loadScriptFile(serverScriptEngine, (folder + "/main.as").c_str());
  EXPECT_EQ(log.take(), "AS Error: #include \"" + folder +
                            "/helpers.as\"\n File Does Not Exist\n Line: 12\n"
                            "Loading script file: " +
                            folder + "/main.as\n");
  asIScriptModule* module = serverScriptEngine->GetModule("main");
  ASSERT_NE(module, nullptr);
  EXPECT_NE(module->GetFunctionByDecl("int main()"), nullptr);
}

TEST_F(ScriptFileTest, ModulesLoadBindAndDiscard) {
  const std::string folder = scripttest::testFolder("modules");
  writeFile(folder, "lib.as", "int libValue() { return 7; }\n");
  writeFile(folder, "user.script", "import int libValue() from \"lib\";\nint use() { return libValue(); }\n");
  writeFile(folder, "orphan.as", "import int nothing() from \"nowhere\";\nint o() { return 0; }\n");
  writeFile(folder, "broken.as", "int broken( {\n");
  writeFile(folder, "empty.as", "");
  const std::string f = folder + "/";

  LogCapture log;
  for (const char* name : {"lib.as", "user.script", "orphan.as", "empty.as", "absent.as"})
    loadScriptFile(serverScriptEngine, (f + name).c_str());
  loadScriptFile(clientScriptEngine, (f + "broken.as").c_str(), "ui");
  std::string logged = log.take();
  const std::string failed = "\"\n File does not exist or can't be accessed\n";
  EXPECT_EQ(logged.substr(0, logged.find("AS Client")),
            "Loading script file: " + f + "lib.as\nLoading script file: " + f + "user.script\nLoading script file: " + f +
                "orphan.as\nFailed to load script file \"" + f + "empty.as" + failed +
                "Failed to load script file \"" + f + "absent.as" + failed + "Loading script file: " + f + "broken.as\n");
  EXPECT_NE(logged.find("AS Client Error in " + f + "broken.as: "), std::string::npos);

  bindAllModuleImports();
  EXPECT_EQ(log.take(), "Unable to bind all functions for module \"orphan\"\n");
  asIScriptModule* user = serverScriptEngine->GetModule("user");
  ASSERT_NE(user, nullptr);
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(user->GetFunctionByDecl("int use()"));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_EQ(context->GetReturnDWord(), 7u);
  context->Release();

  // Only modules that built are discarded.
  discardScriptModules();
  for (const char* name : {"lib", "user", "orphan"})
    EXPECT_EQ(serverScriptEngine->GetModule(name), nullptr) << name;
  EXPECT_NE(clientScriptEngine->GetModule("ui"), nullptr);
}

TEST_F(ScriptFileTest, FilesFoundInAMountedFolderKeepTheirOwnPaths) {
  const std::string folder = scripttest::testFolder("mounted");
  writeFile(folder, "scripts/a.as", "#include \"b.as\"\nint fa() { return fb(); }\n");
  writeFile(folder, "scripts/b.as", "int fb() { return 2; }\n");
  irr::io::IFileSystem* files = device->getFileSystem();
  irr::io::IFileArchive* archive = nullptr;
  ASSERT_TRUE(files->addFileArchive(folder.c_str(), true, false, irr::io::EFAT_FOLDER, "", &archive));
  LogCapture log;
  loadScriptFile(serverScriptEngine, "scripts/a.as");
  files->removeFileArchive(archive);
  EXPECT_EQ(log.take(), "Loading script file: scripts/a.as\n");
  asIScriptModule* module = serverScriptEngine->GetModule("a");
  ASSERT_NE(module, nullptr);
  asIScriptFunction* fb = module->GetFunctionByDecl("int fb()");
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(std::string(fb->GetScriptSectionName()), folder + "/scripts/b.as");
}

}  // namespace

}  // namespace file_test
