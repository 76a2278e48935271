// The script AI in the empire record: its names and XML as saved, and the AI
// made again at load, with its XML after the post-load steps or at once
// without it.
#include <memory>
#include <string>

#include "core/common_strings.h"
#include "core/post_load.h"
#include "empire/empire_record.h"
#include "scriptapi/empire_ai.h"
#include "script_session.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"

namespace empire_record_ai_test {

namespace {

const char kBrains[] = R"(
string pattern() {
  string text = "0123456789";
  while (text.length() < 150000)
    text += text;
  return text;
}
class Big {
  string text;
  Big(Empire@ emp) { text = pattern(); }
  Big(Empire@ emp, XMLReader@ xml) {
    while (xml.advance())
      if (xml.getNodeType() == XN_Text)
        text = xml.getNodeData();
    emp.setSetting("length", text.length());
    emp.setSetting("intact", text == pattern() ? 1 : 0);
  }
  void save(XMLWriter@ xml) { xml.addElement("big", false); xml.addText(text); xml.closeTag("big"); }
}
class One {
  One(Empire@ emp) { emp.setSetting("plain", emp.getSetting("plain") + 1); }
  One(Empire@ emp, XMLReader@ xml) { emp.setSetting("read", 1); }
  void save(XMLWriter@ xml) { xml.addText("a"); }
}
class Two {
  Two(Empire@ emp) { emp.setSetting("plain", emp.getSetting("plain") + 1); }
  Two(Empire@ emp, XMLReader@ xml) { emp.setSetting("read", 1); }
  void save(XMLWriter@ xml) { xml.addText("ab"); }
}
class Plain {
  Plain(Empire@ emp) { emp.setSetting("plain", emp.getSetting("plain") + 1); }
  void save(XMLWriter@ xml) { xml.addElement("plain", true); }
}
)";

class EmpireRecordAITest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"brains", kBrains}});
    clearPostObjectTreeSteps();
  }
  void TearDown() override {
    clearPostObjectTreeSteps();
    ScriptSessionTest::TearDown();
  }

  // The saved record of an empire with an AI of `className`, after the
  // common strings section.
  Bytes saveWithAI(const wchar_t* className) {
    empire* emp = registerEmpire(new empire, true);
    emp->name = L"Alpha";
    registerEmpireAI(L"brains", emp, className, nullptr);
    EXPECT_NE(emp->aiObject, nullptr);
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    sectionSize_ = stream->memoryBytes().size() - 8;
    saveEmpire(*stream, emp);
    deleteAllEmpires();
    return writtenBody(*stream);
  }
  Bytes recordOf(const Bytes& body) const { return Bytes(body.begin() + sectionSize_, body.end()); }

  // Reads the record back; the empire is registered, its steps not run.
  empire* load(const Bytes& body) {
    file_ = withHeader(body);
    auto stream = readerOver(file_);
    readCommonStringsSection(*stream);
    empire* emp = registerEmpire(loadEmpire(*stream), true);
    EXPECT_EQ(stream->remaining(), 0u);
    return emp;
  }

 private:
  size_t sectionSize_ = 0;
  Bytes file_;
};

uint32_t u32At(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// State beyond 256,000 bytes is saved whole and reaches the XML factory once
// the steps run.
TEST_F(EmpireRecordAITest, LargeStateComesBackWhole) {
  const Bytes body = saveWithAI(L"Big");
  const Bytes record = recordOf(body);
  // The record ends with the size N and the N bytes of XML.
  uint32_t size = 0;
  for (size_t n = 256001; n + 4 < record.size() && size == 0; ++n)
    if (u32At(record, record.size() - n - 4) == n)
      size = static_cast<uint32_t>(n);
  EXPECT_GT(size, 300000u);
  EXPECT_EQ(record[record.size() - size], 0xFF);  // the XML's byte-order mark

  empire* emp = load(body);
  EXPECT_EQ(emp->aiObject, nullptr);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 1u);
  runPostObjectTreeSteps();
  ASSERT_NE(emp->aiObject, nullptr);
  EXPECT_STREQ(emp->aiObject->GetObjectType()->GetName(), "Big");
  EXPECT_EQ(emp->getSetting(L"length"), 163840.0f);
  EXPECT_EQ(emp->getSetting(L"intact"), 1.0f);
}

// Fewer than 5 bytes of XML are not kept: the AI is made at load, at once
// and without a reader.
TEST_F(EmpireRecordAITest, TinyStateIsNotKept) {
  const struct {
    const wchar_t* className;
    const char* ending;  // the AI section
    size_t steps;
    float plain;  // made by the plain factory: once before saving, once at load
    float read;
  } cases[] = {
      {L"One", "01 06 00 62 72 61 69 6E 73 03 00 4F 6E 65 00 00 00 00", 0, 2.0f, 0.0f},
      {L"Two", "01 06 00 62 72 61 69 6E 73 03 00 54 77 6F 06 00 00 00 FF FE 61 00 62 00", 1, 1.0f, 1.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(irr::core::stringc(c.className).c_str());
    const Bytes body = saveWithAI(c.className);
    const std::string text = hexText(body);
    const std::string ending = hex(c.ending);
    ASSERT_GE(text.size(), ending.size());
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);

    empire* emp = load(body);
    EXPECT_EQ(queuedPostObjectTreeSteps(), c.steps);
    EXPECT_EQ(emp->aiObject != nullptr, c.steps == 0);
    runPostObjectTreeSteps();
    ASSERT_NE(emp->aiObject, nullptr);
    EXPECT_EQ(emp->getSetting(L"plain"), c.plain);
    EXPECT_EQ(emp->getSetting(L"read"), c.read);
    deleteAllEmpires();
  }
}

TEST_F(EmpireRecordAITest, AClassWithoutTheXMLFactoryIsMadePlain) {
  empire* emp = load(saveWithAI(L"Plain"));
  EXPECT_EQ(queuedPostObjectTreeSteps(), 1u);
  LogCapture log;
  runPostObjectTreeSteps();
  EXPECT_NE(log.take().find("No matching factory function Plain(Empire@,XMLReader@)\n"), std::string::npos);
  ASSERT_NE(emp->aiObject, nullptr);
  EXPECT_STREQ(emp->aiObject->GetObjectType()->GetName(), "Plain");
  EXPECT_EQ(emp->getSetting(L"plain"), 2.0f);
}

}  // namespace

}  // namespace empire_record_ai_test
