// Client-to-server script messages: sendServerMessage from a client script
// to "void onClientMessage(Empire@, uint, const string &)" of the server
// module "interactions", and the shipped interactions.as.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/threads.h"
#include "script/script_dictionary.h"
#include "script/script_messages.h"
#include "script_test_support.h"

namespace script_messages_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::run;

namespace {

// A stand-in for the empire type, reference counted so that a reference
// the call takes or drops wrongly shows.
struct StubEmpire {
  int refs = 1;
  bool valid = true;
  std::u16string name;
  void addRef() { ++refs; }
  void release() { --refs; }
  bool isValid() const { return valid; }
  ScriptString* getName() const { return new ScriptString(name); }
};

StubEmpire player;
StubEmpire* localEmpire = nullptr;
bool networkClient = false;

void* localPlayerEmpire() { return localEmpire; }
bool isNetworkClient() { return networkClient; }

const char kReceiver[] =
    "Empire@ sender; uint kind = 0; string text;\n"
    "void onClientMessage(Empire@ from, uint number, const string &payload) {\n"
    "  @sender = from; kind = number; text = payload;\n"
    "  if (payload == \"throw\") { int z = 0; z = 1 / z; }\n"
    "}\n";

class MessageTest : public scripttest::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    LogCapture log;
    serverScriptEngine->RegisterObjectType("Empire", 0, asOBJ_REF);
    serverScriptEngine->RegisterObjectBehaviour("Empire", asBEHAVE_ADDREF, "void f()", asMETHOD(StubEmpire, addRef),
                                                asCALL_THISCALL);
    serverScriptEngine->RegisterObjectBehaviour("Empire", asBEHAVE_RELEASE, "void f()",
                                                asMETHOD(StubEmpire, release), asCALL_THISCALL);
    serverScriptEngine->RegisterObjectMethod("Empire", "bool isValid() const", asMETHOD(StubEmpire, isValid),
                                             asCALL_THISCALL);
    serverScriptEngine->RegisterObjectMethod("Empire", "string@ getName() const", asMETHOD(StubEmpire, getName),
                                             asCALL_THISCALL);
    registerScriptDictionary(serverScriptEngine);
    registerSendServerMessage();
    ASSERT_EQ(log.take(), "");
    setServerMessageHooks({isNetworkClient, localPlayerEmpire});
    player = StubEmpire();
    player.name = u"Vell";
    localEmpire = &player;
    networkClient = false;
    client = buildModule(clientScriptEngine, "ui",
                         "bool send(uint kind, const string &in payload) {\n"
                         "  return sendServerMessage(\"ignored\", kind, payload);\n"
                         "}\n"
                         "bool sendSeven() { return send(7, \"payload\"); }\n"
                         "bool sendThrow() { return send(1, \"throw\"); }\n");
    ASSERT_NE(client, nullptr);
  }
  void TearDown() override {
    setServerMessageHooks({});
    freeThreadLocals();
    ScriptTest::TearDown();
  }

  bool call(const char* declaration) {
    asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(client->GetFunctionByDecl(declaration));
    EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
    const bool result = context->GetReturnByte() != 0;
    context->Release();
    return result;
  }

  template <typename T>
  static T& global(asIScriptModule* module, const char* declaration) {
    return *static_cast<T*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByDecl(declaration)));
  }

  asIScriptModule* client = nullptr;
};

TEST_F(MessageTest, NothingIsDeliveredWithoutTheReceiver) {
  EXPECT_FALSE(call("bool sendSeven()"));
  // A module of that name whose function takes other arguments.
  ASSERT_NE(buildModule(serverScriptEngine, "interactions", "void onClientMessage(Empire@, uint) {}"), nullptr);
  EXPECT_FALSE(call("bool sendSeven()"));
}

TEST_F(MessageTest, TheReceiverGetsTheEmpireNumberAndText) {
  asIScriptModule* server = buildModule(serverScriptEngine, "interactions", kReceiver);
  ASSERT_NE(server, nullptr);
  EXPECT_TRUE(call("bool sendSeven()"));
  EXPECT_EQ(global<StubEmpire*>(server, "Empire@ sender"), &player);
  EXPECT_EQ(global<uint32_t>(server, "uint kind"), 7u);
  EXPECT_EQ(global<ScriptString>(server, "string text").text, u"payload");
  EXPECT_EQ(player.refs, 2);  // the module's handle

  // Without a local player the receiver gets a null empire.
  localEmpire = nullptr;
  EXPECT_TRUE(call("bool sendSeven()"));
  EXPECT_EQ(global<StubEmpire*>(server, "Empire@ sender"), nullptr);
  EXPECT_EQ(player.refs, 1);

  // A network client of a remote server delivers nothing.
  networkClient = true;
  localEmpire = &player;
  EXPECT_FALSE(call("bool sendSeven()"));
  EXPECT_EQ(global<StubEmpire*>(server, "Empire@ sender"), nullptr);
}

TEST_F(MessageTest, AnExceptionInTheReceiverReturnsFalse) {
  ASSERT_NE(buildModule(serverScriptEngine, "interactions", kReceiver), nullptr);
  LogCapture log;
  EXPECT_FALSE(call("bool sendThrow()"));
  EXPECT_NE(log.take().find("Script Exception: Divide by zero"), std::string::npos);
  // The thread's context serves the next message.
  EXPECT_TRUE(call("bool sendSeven()"));
}

// The shipped module keeps each sender's latest request of each kind until
// a server module takes it.
TEST_F(MessageTest, ShippedInteractionsKeepRequests) {
  std::ifstream in(CORVANE_SOURCE_DIR "/data/Game Data/scripts/server/interactions.as", std::ios::binary);
  const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(source.empty());
  LogCapture log;
  asIScriptModule* interactions = buildModule(serverScriptEngine, "interactions", source);
  ASSERT_NE(interactions, nullptr) << log.take();
  asIScriptModule* taker = buildModule(serverScriptEngine, "taker",
                                       "import bool takeRequest(Empire@, uint, string &out) from \"interactions\";\n"
                                       "string take(Empire@ from, uint kind) {\n"
                                       "  string text;\n"
                                       "  return takeRequest(from, kind, text) ? text : \"none\";\n"
                                       "}\n");
  ASSERT_NE(taker, nullptr) << log.take();
  ASSERT_GE(taker->BindAllImportedFunctions(), 0);

  EXPECT_TRUE(call("bool sendSeven()"));
  ASSERT_NE(buildModule(clientScriptEngine, "ui2",
                        "bool again() { return sendServerMessage(\"\", 7, \"newer\") && "
                        "sendServerMessage(\"\", 2, \"other\"); }"),
            nullptr);
  asIScriptContext* context = createScriptContext(clientScriptEngine);
  context->Prepare(clientScriptEngine->GetModule("ui2")->GetFunctionByDecl("bool again()"));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_TRUE(context->GetReturnByte() != 0);
  context->Release();

  auto take = [&](uint32_t kind) {
    asIScriptContext* c = createScriptContext(serverScriptEngine);
    c->Prepare(taker->GetFunctionByDecl("string take(Empire@, uint)"));
    c->SetArgObject(0, &player);
    c->SetArgDWord(1, kind);
    EXPECT_EQ(c->Execute(), asEXECUTION_FINISHED);
    const std::u16string text = static_cast<ScriptString*>(c->GetReturnObject())->text;
    c->Release();
    return text;
  };
  EXPECT_EQ(take(7), u"newer");
  EXPECT_EQ(take(7), u"none");
  EXPECT_EQ(take(2), u"other");
  EXPECT_EQ(log.take(), "");

  // Without a sender nothing is kept.
  localEmpire = nullptr;
  EXPECT_TRUE(call("bool sendSeven()"));
  EXPECT_EQ(take(7), u"none");
}

}  // namespace

}  // namespace script_messages_test
