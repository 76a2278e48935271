// What the script host asks of empires through the session's hooks:
// evaluateFormula's empire values under the empire's variables lock, and
// the local player's empire and the network client test of the
// client-to-server script messages.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/named_values.h"
#include "net/network_manager.h"
#include "script_session.h"

namespace script_hooks_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

class ScriptHooksTest : public scriptapitest::ScriptSessionTest {};

float evaluate(empire* emp) {
  asIScriptModule* module = serverScriptEngine->GetModule("formulas");
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(module->GetFunctionByDecl("float value(Empire@)"));
  context->SetArgObject(0, emp);
  const float value = context->Execute() == asEXECUTION_FINISHED ? context->GetReturnFloat() : -1.0f;
  context->Release();
  return value;
}

// The formula reads the empire's own values, and only while it holds the
// empire's variables for writing: a reader holding them makes it wait.
TEST_F(ScriptHooksTest, EvaluateFormulaReadsTheEmpiresValuesUnderItsVariablesLock) {
  startSession({{"formulas", R"(float value(Empire@ emp) { return evaluateFormula("Ships * 2 + 1", emp); })"}});
  empire* emp = registerEmpire(new empire);
  emp->traitVars.set(L"Ships", 4.0f);  // found through the "Traits" namespace
  EXPECT_EQ(evaluate(emp), 9.0f);
  ReadWriteLock& variables = emp->locks[EA_Variables];
  EXPECT_EQ(variables.writers.load(), 0);  // given back
  EXPECT_EQ(variables.writeOwned.load(), 0);

  std::atomic<bool> held{false};
  std::atomic<bool> letGo{false};
  std::thread reader([&] {
    initThreadLocals();
    variables.lock(false);
    held = true;
    while (!letGo)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    variables.unlock(false);
    freeThreadLocals();
  });
  while (!held)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::atomic<bool> evaluated{false};
  float value = 0.0f;
  std::thread evaluator([&] {
    initThreadLocals();
    value = evaluate(emp);
    evaluated = true;
    freeThreadLocals();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(evaluated);
  letGo = true;
  reader.join();
  evaluator.join();
  EXPECT_EQ(value, 9.0f);
}

const char kInteractions[] = R"(
Empire@ sender;
uint received = 0;
void onClientMessage(Empire@ from, uint number, const string &text) {
  @sender = from;
  ++received;
}
string@ report() { return (sender is null ? "null" : sender.getName()) + " " + received; }
)";

// Messages come from the local player's empire (the active one) and are
// not delivered by a client connected to a remote server.
TEST_F(ScriptHooksTest, ClientMessagesComeFromTheActiveEmpireUnlessThisIsANetworkClient) {
  startSession({{"interactions", kInteractions}});
  empire* player = registerEmpire(new empire);
  player->name = L"Player";
  asIScriptModule* client = build(clientScriptEngine, "sender",
                                  R"(string@ send() { return sendServerMessage("", 7, "hi") ? "sent" : "not sent"; })");
  asIScriptModule* server = serverScriptEngine->GetModule("interactions");
  const bool wasNetworked = networkManager->isNetworked;
  const bool wasConnected = networkManager->isConnected;
  const struct {
    empire* active;
    bool networked;
    bool connected;
    const char* sent;
    const char* report;
  } cases[] = {
      {player, false, false, "sent", "Player 1"},
      {nullptr, false, false, "sent", "null 2"},
      {player, true, true, "not sent", "null 2"},
      {player, true, false, "sent", "Player 3"},
      {player, false, true, "sent", "Player 4"},
  };
  for (const auto& c : cases) {
    activeEmpire = c.active;
    networkManager->isNetworked = c.networked;
    networkManager->isConnected = c.connected;
    EXPECT_EQ(call(client, "string@ send()"), c.sent) << c.report;
    EXPECT_EQ(call(server, "string@ report()"), c.report);
  }
  networkManager->isNetworked = wasNetworked;
  networkManager->isConnected = wasConnected;
}

}  // namespace

}  // namespace script_hooks_test
