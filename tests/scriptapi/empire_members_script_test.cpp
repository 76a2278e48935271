// Empire's members driven from scripts over a session's set-up: stats,
// relations, lookups, layouts, research, system presence, the client guard,
// traits with their broadcast while hosting, messages and their lists, and
// diplomatic messages on a dedicated server.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "app/game_session.h"
#include "core/named_values.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "net/network_manager.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/space_empire.h"

namespace empire_members_script_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

// A hull and a part whose level follows the owner's "Test.Tech": a design's
// level gain is the rise of that value since it was made.
const char kSubSystems[] = "System: Frame\nTags: Hull\nSize: 100\n\n"
                           "System: Plate\nSize: 10\nLevel: Test.Tech\n";

std::string hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty())
      text += ' ';
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

class EmpireMembersScriptTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    setUpSubSystemsAndTraits(kSubSystems);
    space = registerSpaceEmpire();
    activeEmpire = red;
  }
  void TearDown() override {
    activeEmpire = nullptr;
    red->spaces.setSpace(nullptr, L"Test");
    blue->spaces.setSpace(nullptr, L"Test");
    clearSessionTraits();
    ScriptedGalaxyTest::TearDown();
    clearSubSystemDefs();
  }

  static asIScriptModule* build(asIScriptEngine* engine, const std::string& code) {
    asIScriptModule* module = engine->GetModule("test", asGM_ALWAYS_CREATE);
    module->AddScriptSection("test", code.c_str(), code.size());
    return module->Build() >= 0 ? module : nullptr;
  }

  // Runs `body` as the body of "string@ test()" on `engine`, after the
  // functions `helpers`.
  static std::string run(asIScriptEngine* engine, const std::string& body, const std::string& helpers = "") {
    LogCapture log;  // exception reports
    asIScriptModule* module = build(engine, helpers + "string@ test() {\n" + body + "\n}\n");
    return module != nullptr ? call(module, "string@ test()") : "build failed: " + log.take();
  }
  static std::string server(const std::string& body) { return run(serverScriptEngine, body); }

  // The messages sent since the last call whose first byte is `id`; each
  // goes on channel 0 (and, as `broadcast`, reliable and ordered to every
  // player).
  std::vector<std::string> sentWith(uint8_t id, bool broadcast = false) {
    std::vector<std::string> found;
    for (const SentMessage& message : sent)
      if (!message.bytes.empty() && message.bytes[0] == id) {
        found.push_back(hex(message.bytes));
        EXPECT_EQ(message.channel, 0);
        if (broadcast) {
          EXPECT_EQ(message.reliability, RakNet::RELIABLE_ORDERED);
          EXPECT_EQ(message.target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
        }
      }
    sent.clear();
    return found;
  }

  empire* space = nullptr;
};

TEST_F(EmpireMembersScriptTest, ConsumeStatTakesAtMostWhatIsThere) {
  const struct {
    bool present;
    float stock;
    const char* amount;
    const char* taken;
    float left;
  } cases[] = {
      {true, 4.0f, "10", "4", 0.0f},
      {true, -3.0f, "10", "0", -3.0f},
      {false, 0.0f, "10", "0", 0.0f},  // nothing to take: the stat is not made
      {true, 1.0f, "-2", "-2", 3.0f},  // a negative amount is taken in full
      {true, 6.0f, "2.5f", "2.5", 3.5f},
      {true, 6.0f, "sqrt(-1.0f)", "0", 6.0f},  // not a number: nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stock << " " << c.amount);
    red->stats.clear();
    if (c.present)
      red->modStat(L"X", ESO_Set, c.stock);
    EXPECT_EQ(server(std::string("return ftos_nice(getEmpire(0).consumeStat(\"X\", ") + c.amount + "));"), c.taken);
    EXPECT_EQ(PtrNamedVar<float>::findNoSort(red->stats, L"X") >= 0, c.present);
    EXPECT_EQ(red->getStat(L"X"), c.left);
  }
  EXPECT_EQ(server(R"(Empire@ e = getEmpire(0); e.addStat("Y", 1.5f); e.addStat("Y", 2); e.addStat("Y", sqrt(-1.0f));
                      return ftos_nice(e.getStat("Y"));)"),
            "3.5");
}

TEST_F(EmpireMembersScriptTest, RelationsLookupsLayoutsAndResearch) {
  // A true flag clears the other one, on both records.
  const struct {
    const char* call;
    bool allied;
    bool enemy;
  } relations[] = {
      {"setAllied(b, true)", true, false},
      {"setEnemy(b, true)", false, true},
      {"setEnemy(b, false)", false, false},
      {"setAllied(b, true)", true, false},
      {"setAllied(b, false)", false, false},
  };
  for (const auto& r : relations) {
    SCOPED_TRACE(r.call);
    EXPECT_EQ(server(std::string("Empire@ a = getEmpire(0); Empire@ b = getEmpire(1); a.") + r.call +
                     "; return (a.isAllied(b) ? \"A\" : \"-\") + (b.isEnemy(a) ? \"E\" : \"-\");"),
              std::string(r.allied ? "A" : "-") + (r.enemy ? "E" : "-"));
    for (auto [from, to] : {std::pair{red, blue}, std::pair{blue, red}}) {
      EXPECT_EQ(from->getRelation(to)->allied, r.allied);
      EXPECT_EQ(from->getRelation(to)->enemy, r.enemy);
    }
  }

  const struct {
    const char* body;
    const char* expected;
  } cases[] = {
      {"getEmpire(getEmpireCount()); return \"\";", "exception: Out of bounds when getting empire by index"},
      {"return getEmpireByID(77).getName() + \" \" + getEmpireByID(77).ID;", "INVALID -125"},
      {"return \"\" + getEmpire(2).ID + (getEmpireByID(255) is getEmpire(2) ? \" same\" : \" other\");", "-1 same"},
      {"Empire@ a = getEmpire(0); a.getShipLayout(a.getShipLayoutCnt()); return \"\";",
       "exception: Accessed out-of-bounds ship layout"},
      {"return getEmpire(0).getShipLayout(\"no such\") is null ? \"null\" : \"found\";", "null"},
      {"return getEmpire(0).getRuler().getName() + \"|\" + getEmpire(2).getRuler().getName();", "Ruler|"},
      {"return getEmpire(0).getRaceName() + getEmpire(0).getPlayerName() + getEmpire(0).getShipSet();",
       "SaurianHostSet"},
      {"return getEmpire(0).getBuildList(3) + getEmpire(0).getBuildList(-1) + getEmpire(0).getBuildListCount();",
       "0"},
  };
  red->emperor.name = L"Ruler";
  space->emperor.name = L"";
  red->raceName = L"Saurian";
  red->setPlayerName(L"Host");
  red->shipSet = L"Set";
  for (const auto& c : cases)
    EXPECT_EQ(server(c.body), c.expected) << c.body;

  // Research points come from the research web: addResearch leaves the
  // rate and the stats alone.
  const double rate = red->getResearchRate();
  EXPECT_EQ(server("getEmpire(0).addResearch(50); return \"\";"), "");
  EXPECT_EQ(red->getResearchRate(), rate);
  EXPECT_EQ(red->stats.size(), 0u);
}

TEST_F(EmpireMembersScriptTest, UpdateHullOnlyForTheActiveEmpireAndAScaleOfAtLeastOne) {
  NamedValues tech;
  tech.set(L"Tech", 1.0f);
  red->spaces.setSpace(&tech, L"Test");
  blue->spaces.setSpace(&tech, L"Test");
  for (empire* owner : {red, blue}) {
    layout_desc desc;
    for (const wchar_t* part : {L"Frame", L"Plate"}) {
      const irr::s32 index = findSubSystemDefByName(part);
      ASSERT_GE(index, 0);
      desc.systems.push_back({subSystemDefRegistry[static_cast<irr::u32>(index)].value, 1.0f, 0.0f, 0.0f, -1});
    }
    auto* layout = new hull_list(desc, owner, false);
    layout->name = L"Scout";
    NamedVar<hull_list*>::getOrAdd(owner->hulls, layout->name).value = layout;  // the table's reference
  }
  tech.set(L"Tech", 13.0f);  // a level gain of 12

  const struct {
    int empireIndex;
    const char* scale;
    size_t redLayouts;
    size_t blueLayouts;
  } cases[] = {
      {0, "0.5", 1, 1},
      {1, "1.0", 1, 1},  // not the active empire
      {0, "1.0", 2, 1},  // "Scout" and "Scout r1"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.empireIndex << " " << c.scale);
    EXPECT_EQ(server("getEmpire(" + std::to_string(c.empireIndex) + ").updateHull(\"Scout\", " + c.scale +
                     "); return \"\";"),
              "");
    EXPECT_EQ(red->hulls.size(), c.redLayouts);
    EXPECT_EQ(blue->hulls.size(), c.blueLayouts);
  }
  for (empire* owner : {red, blue}) {
    for (irr::u32 i = 0; i < owner->hulls.size(); ++i)
      owner->hulls[i].value->drop();
    owner->hulls.clear();
  }
}

TEST_F(EmpireMembersScriptTest, SystemPresenceByStanding) {
  empire* enemy = registerEmpire(new empire);
  empire* neutral = registerEmpire(new empire);
  red->getRelation(blue)->allied = true;
  red->getRelation(enemy)->enemy = true;
  solarSystem* system = addSystems(1).front();
  const struct {
    empire* emp;
    float presence;
    float strength;
  } rows[] = {{red, 3.0f, 10.0f}, {blue, 2.0f, 4.0f}, {enemy, 1.0f, 0.0f}, {neutral, 0.5f, 0.0f}};
  for (const auto& row : rows) {
    Stats& entry = getEmpireStats(*system->systemStats, row.emp);
    statValue(entry, L"prs") = row.presence;
    statValue(entry, L"str") = row.strength;
  }
  const char kFields[] = R"(
string@ fields(const SysPresence &in p) {
  return ftos_nice(p.us) + " " + ftos_nice(p.usStr) + " " + ftos_nice(p.allies) + " " + ftos_nice(p.alliesStr) + " " +
         ftos_nice(p.enemies) + " " + ftos_nice(p.enemiesStr) + " " + ftos_nice(p.neutrals) + " " +
         ftos_nice(p.neutralsStr);
}
)";
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    SCOPED_TRACE(engine == serverScriptEngine ? "server" : "client");
    LogCapture log;
    asIScriptModule* module = build(engine, std::string(kFields) + R"(
string@ known() { SysPresence p; getEmpire(0).getSystemPresence(getSystem(0), p); return fields(p); }
void raises() { SysPresence p; getEmpire(0).getSystemPresence(null, p); }
)");
    ASSERT_NE(module, nullptr) << log.take();
    EXPECT_EQ(call(module, "string@ known()"), "3 10 2 4 1 0 0.5 0");
    EXPECT_EQ(call(module, "void raises()"), "exception: Null solarSystem@ when getting system presence");

    // The native writes the result before it raises: called with the
    // caller's own record as the out argument, that record reads all 0.
    asIScriptFunction* method = engine->GetTypeInfoByName("Empire")->GetMethodByName("getSystemPresence");
    ASSERT_NE(method, nullptr);
    SysPresence record;
    record.us = 5.0f;
    record.enemiesStr = 6.0f;
    asIScriptContext* context = createScriptContext(engine);
    ASSERT_GE(context->Prepare(method), 0);
    context->SetObject(red);
    context->SetArgObject(0, nullptr);
    context->SetArgAddress(1, &record);
    EXPECT_EQ(context->Execute(), asEXECUTION_EXCEPTION);
    EXPECT_STREQ(context->GetExceptionString(), "Null solarSystem@ when getting system presence");
    context->Release();
    for (float field : {record.us, record.allies, record.neutrals, record.enemies, record.usStr, record.alliesStr,
                        record.neutralsStr, record.enemiesStr})
      EXPECT_EQ(field, 0.0f);
  }
}

// Interface scripts read the sub-system levels and layouts of the local
// player's empire only.
TEST_F(EmpireMembersScriptTest, TheClientGuardKeepsInterfaceScriptsToTheActiveEmpire) {
  layout_desc desc;
  desc.systems.push_back({subSystemDefRegistry[0].value, 1.0f, 0.0f, 0.0f, -1});
  for (const wchar_t* name : {L"A", L"B"}) {
    auto* layout = new hull_list(desc, blue, false);
    layout->name = name;
    NamedVar<hull_list*>::getOrAdd(blue->hulls, layout->name).value = layout;
  }
  const struct {
    const char* call;
    const char* ofBlue;  // the server engine's result
  } cases[] = {
      {"return \"\" + getEmpire(1).getShipLayoutCnt();", "2"},
      {"return getEmpire(1).getShipLayout(1) is null ? \"null\" : \"found\";", "found"},
      {"return getEmpire(1).getShipLayout(\"A\") is null ? \"null\" : \"found\";", "found"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(server(c.call), c.ofBlue) << c.call;
    EXPECT_EQ(run(clientScriptEngine, c.call), "exception: Attempted to access a non-client empire in client code.")
        << c.call;
  }
  for (const char* call : {"return \"\" + getEmpire(1).getSubSysDataCnt();",
                           "return getEmpire(1).getSubSysData(0) is null ? \"null\" : \"found\";"})
    EXPECT_EQ(run(clientScriptEngine, call), "exception: Attempted to access a non-client empire in client code.");
  activeEmpire = blue;
  EXPECT_EQ(run(clientScriptEngine, cases[0].call), "2");
  EXPECT_EQ(run(clientScriptEngine, "return \"\" + getEmpire(1).getSubSysDataCnt();"), "0");
  for (irr::u32 i = 0; i < blue->hulls.size(); ++i)
    blue->hulls[i].value->drop();
  blue->hulls.clear();
}

TEST_F(EmpireMembersScriptTest, TraitsAreBroadcastOnceWhileHosting) {
  networkManager->isServer = true;
  sent.clear();
  // 136, 1 (added), empire 2, "industrious" with an 8-bit length, UTF-16LE.
  const std::string kIndustrious = "0b 69 00 6e 00 64 00 75 00 73 00 74 00 72 00 69 00 6f 00 75 00 73 00";
  const struct {
    const char* call;
    std::vector<std::string> broadcasts;
  } cases[] = {
      {"addTrait(\"industrious\")", {"88 01 02 " + kIndustrious}},
      {"addTrait(\"industrious\")", {}},  // held already
      {"addTrait(\"nonsense\")", {}},     // not registered
      {"removeTrait(\"nonsense\")", {}},
      {"removeTrait(\"industrious\")", {"88 02 02 " + kIndustrious}},
      {"removeTrait(\"industrious\")", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(server(std::string("getEmpireByID(2).") + c.call + "; return \"\";"), "");
    EXPECT_EQ(sentWith(0x88, true), c.broadcasts);
  }
}

TEST_F(EmpireMembersScriptTest, EmpireTraitsWalksTheTraitsInIdOrder) {
  blue->addTrait(L"scholarly");
  blue->addTrait(L"industrious");
  const char kWalk[] = R"(
string@ walk(const Empire@ e) {
  EmpireTraits list;
  list.prepare(e);
  string@ text = "" + list.getCount() + ":";
  if (list.getCount() > 0) {
    do {
      Trait@ t = list.getTrait();
      text += " " + t.id + (t.getName().length() > 0 ? "+" : "-");
    } while (list.next());
  }
  return text + (list.next() ? " more" : " end");
}
)";
  const struct {
    const char* body;
    const char* expected;
  } cases[] = {
      {"return walk(getEmpire(1));", "2: industrious+ scholarly+ end"},
      {"return walk(getEmpire(0));", "0: end"},
      {"EmpireTraits list; list.prepare(getEmpire(0)); list.getTrait(); return \"\";",
       "exception: Attempted to access invalid trait in trait list"},
      {"EmpireTraits list; list.getTrait(); return \"\";", "exception: Attempted to access invalid trait list"},
      {"EmpireTraits list; list.prepare(getEmpire(1)); list.prepare(null); list.getTrait(); return \"\";",
       "exception: Attempted to access invalid trait list"},
      {"EmpireTraits list; return \"\" + list.getCount() + (list.next() ? \" more\" : \" end\");", "0 end"},
      {"return (getEmpire(1).hasTrait(\"scholarly\") ? \"1\" : \"0\") + (getEmpire(0).hasTrait(\"scholarly\") ? "
       "\"1\" : \"0\") + (getEmpire(1).hasTraitTag(\"research\") ? \"1\" : \"0\");",
       "101"},
  };
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
    for (const auto& c : cases)
      EXPECT_EQ(run(engine, c.body, kWalk), c.expected) << c.body;
}

TEST_F(EmpireMembersScriptTest, MessagesAndTheirLists) {
  gameTime = 40.0;
  EXPECT_EQ(server("return getEmpire(1).getLastMessage() is null ? \"null\" : \"text\";"), "null");
  EXPECT_EQ(server(R"(Empire@ e = getEmpire(0);
                      for (int i = 1; i <= 300; ++i)
                        e.postMessage("m" + i);
                      e.postMessage("last", "custom", 3);
                      return e.getLastMessage() + " " + ftos_nice(e.getMsgDelay());)"),
            "last 0");
  EXPECT_EQ(red->messages.size(), 251u);
  gameTime = 42.5;
  EXPECT_EQ(server("return ftos_nice(getEmpire(0).getMsgDelay()) + \" \" + ftos_nice(float(getEmpire(0).lastMessage));"),
            "2.5 40");

  const char kList[] = R"(
string@ describe(EmpireMessages &list) {
  return list.getMsg() + "," + list.getCategory() + "," + list.getPriority() + "," + list.getTime();
}
)";
  // The client engine's lookups give const handles, which it cannot
  // prepare a message list on: only the active empire there.
  const struct {
    const char* body;
    const char* expected;
    bool clientToo;
  } cases[] = {
      // Newest first; the list holds the 251 newest.
      {"EmpireMessages l; l.prepare(getActiveEmpire()); string@ first = describe(l); l.nextMsg(); "
       "return \"\" + l.getCount() + \" \" + first + \" \" + describe(l);",
       "251 last,custom,3,40 m300,misc,0,40", true},
      {"EmpireMessages l; l.prepare(getActiveEmpire()); int n = 1; while (l.nextMsg()) ++n; "
       "return \"\" + n + (l.nextMsg() ? \" more\" : \" end\");",
       "251 end", true},
      {"EmpireMessages l; l.prepare(getActiveEmpire()); while (l.nextMsg()) {} l.getMsg(); return \"\";",
       "exception: Attempted to access invalid message in message list", true},
      {"EmpireMessages l; l.prepare(getEmpire(1)); l.getTime(); return \"\";",
       "exception: Attempted to access invalid message in message list", false},
      {"EmpireMessages l; l.getPriority(); return \"\";", "exception: Attempted to access invalid message list", true},
      {"EmpireMessages l; l.prepare(getActiveEmpire()); l.prepare(null); "
       "return \"\" + l.getCount() + (l.nextMsg() ? \" more\" : \" end\");",
       "0 end", true},
      {"EmpireTreaties t; t.prepare(getActiveEmpire()); t.getTreaty(t.getCount()); return \"\";",
       "exception: Attempted to access out-of-bounds treaty in treaty list", true},
      {"EmpireTreaties t; t.getTreaty(0); return \"\";", "exception: Attempted to access invalid treaty list", true},
      {"EmpireTreaties t; t.prepare(getActiveEmpire()); return \"\" + t.getCount();", "0", true},
  };
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
    for (const auto& c : cases)
      if (c.clientToo || engine == serverScriptEngine)
        EXPECT_EQ(run(engine, c.body, kList), c.expected) << c.body;
}

// An AI empire's diplomatic message to an empire that a connected player
// controls goes to that player as 132, in the AI empire's name; to an
// empire without a player it is kept here.
TEST_F(EmpireMembersScriptTest, ADedicatedServerSendsScriptDiplomacyToThePlayer) {
  networkManager->isServer = true;
  blue->playerControlled = true;
  RakNet::SystemAddress address;
  address.binaryAddress = 0x0100007F;
  address.port = 4000;
  const auto setPlayer = [&](bool present) {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    networkManager->players.clear();
    if (!present)
      return;
    NetPlayer& player = networkManager->players[5];
    player.address = address;
    player.emp = blue;
    player.hasGalaxy = 1;
  };
  const char kWar[] = "getEmpire(0).sendMessage(getEmpire(1), DT_War, DM_Angry, DA_Aggressive); return \"\";";

  setPlayer(true);
  sent.clear();
  EXPECT_EQ(server(kWar), "");
  ASSERT_EQ(sentWith(132), std::vector<std::string>{"84 01 00 00 00 06"});
  EXPECT_TRUE(blue->messages.empty());
  EXPECT_TRUE(blue->jobs.empty());

  setPlayer(false);
  EXPECT_EQ(server(kWar), "");
  EXPECT_TRUE(sentWith(132).empty());
  ASSERT_EQ(blue->messages.size(), 1u);
  EXPECT_EQ(*blue->messages.back().category, L"misc");
  EXPECT_EQ(blue->jobs.size(), 1u);  // the queued DiploMsg
  setPlayer(false);
}

}  // namespace

}  // namespace empire_members_script_test
