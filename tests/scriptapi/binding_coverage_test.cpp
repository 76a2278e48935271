// Every declaration of the simulation's script interface, in both engines:
// the engines hold exactly the manifest (binding_manifest.h), and the case
// table (binding_cases.h) calls each declaration with valid arguments and
// each misuse with its exception text, over a small world: a system with a
// star, an oddity, a planet of empire A and a ship of A, the empires A and
// B (A active), two sub-system definitions and two treaty clauses.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/script_setup.h"
#include "binding_cases.h"
#include "binding_coverage.h"
#include "binding_manifest.h"
#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "empire/treaty_clause.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scripted_galaxy.h"
#include "scriptapi/script_bindings.h"
#include "scriptapi/system_lists.h"
#include "support/log_capture.h"
#include "support/sent_messages.h"
#include "support/space_empire.h"
#include "universe/objects/oddity.h"
#include "universe/objects/star.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "universe/ships/ship.h"

namespace binding_coverage_test {

using namespace AngelScript;
using bindingcoverage::Entry;
using bindingcoverage::On;

namespace {

const char kClauseFile[] = R"(<treaties>
<clause id="note" name="Note" desc="D">
  <tag>pact</tag>
</clause>
<clause id="counted" name="Counted" desc="D">
  <option name="amount" type="integer" def="4"/>
  <option name="text" type="string" def="Friendship"/>
</clause>
</treaties>)";

// The research cases' technologies: Optics, visible from the start, with
// one link to Lenses, hidden.
const char kTechnologyFile[] =
    "Technology: Optics\nName: Optics\nCost: 10\nStartLevel: 1\nLink: Lenses [5]\nTags: Light\n"
    "Position: 2.5, -1\n\nTechnology: Lenses\nName: Lenses\nCost: 10\n";

const char kSubSystemFile[] =
    "System: Frame\nTags: Hull\nSize: 100\n\n"
    "System: Plate\nSize: 10\nDurability: 15\nMass: 5\n\n"
    "System: Probe\nTags: Probe\nCosts: Metals[2]\nConsumes:\nTo Run: Power[0.5]\nRequires:\nTo Run: Crew[2]\n"
    "Hints: Heat[4]\n";

// The fixture that the cases reach through the test's own globals.
struct World {
  empire* a = nullptr;
  empire* b = nullptr;
  generic_object* ship = nullptr;
  generic_object* planet = nullptr;
  generic_object* star = nullptr;
  generic_object* oddity = nullptr;
  generic_object* system = nullptr;
  hull_list* layout = nullptr;
  effector effect;
  interactor_data effectState;
  EffectEvent* event = nullptr;
  DiploMsg* message = nullptr;
  subSystem instance;
  float instanceValues[4] = {4, 0, 0, 0};
  subSystem bareInstance;  // a Probe without its value block
  SysRef record;           // of `instance`
  std::string failed;  // the first failed expect() of a case
};
World* world = nullptr;

template <generic_object* World::*member>
generic_object* fixtureObject() {
  generic_object* object = world->*member;
  object->grab();
  return object;
}
empire* empireA() { return world->a; }
empire* empireB() { return world->b; }
int refsOf(const generic_object* object) { return object != nullptr ? object->refCount.load() : -1; }
const effector* fixtureEffector() { return &world->effect; }
interactor_data* fixtureEffectorState() { return &world->effectState; }
// Scripts do not count layouts: the handle brings no reference.
hull_list* fixtureLayout() { return world->layout; }
EffectEvent* fixtureEvent() { return world->event; }
DiploMsg* fixtureMessage() { return world->message; }
subSystem* fixtureSubSystem() { return &world->instance; }
subSystem* bareSubSystem() { return &world->bareInstance; }
SysRef* fixtureSysRef() { return &world->record; }

// A server SystemStats on `system` asked for a statistic without a name,
// as only C++ callers can.
void statOfNullName(solarSystem* system) {
  systemlists::SystemStats* stats = systemlists::newServerStats();
  system->grab();  // the reference prepare gives back
  systemlists::prepareStats(stats, system);
  systemlists::statsValue(stats, nullptr, nullptr);
  systemlists::releaseStats(stats);
}

void expect(bool value, const ScriptString& text) {
  if (!value)
    raiseScriptException((std::string("expect failed: ") + irr::core::stringc(text.toStringw()).c_str()).c_str());
}

struct TestGlobal {
  const char* declaration;
  asSFuncPtr function;
  bool serverOnly;
};

// Registered after the manifest is taken, so left out of it.
void registerTestGlobals() {
  const TestGlobal globals[] = {
      {"void expect(bool, const string &in)", asFUNCTION(expect), false},
      {"Empire@ empireA()", asFUNCTION(empireA), false},
      {"Empire@ empireB()", asFUNCTION(empireB), false},
      {"Object@ fixtureShip()", asFUNCTION(fixtureObject<&World::ship>), false},
      {"Object@ fixturePlanet()", asFUNCTION(fixtureObject<&World::planet>), false},
      {"Object@ fixtureStar()", asFUNCTION(fixtureObject<&World::star>), false},
      {"Object@ fixtureOddity()", asFUNCTION(fixtureObject<&World::oddity>), false},
      {"Object@ fixtureSystem()", asFUNCTION(fixtureObject<&World::system>), false},
      {"int refsOf(const Object@+)", asFUNCTION(refsOf), false},
      {"void statOfNullName(System@+)", asFUNCTION(statOfNullName), false},
      {"Event@ fixtureEvent()", asFUNCTION(fixtureEvent), false},
      {"DiploMsg@ fixtureMessage()", asFUNCTION(fixtureMessage), false},
      {"subSystem@ fixtureSubSystem()", asFUNCTION(fixtureSubSystem), false},
      {"subSystem@ bareSubSystem()", asFUNCTION(bareSubSystem), false},
      {"SysRef@ fixtureSysRef()", asFUNCTION(fixtureSysRef), false},
      {"HullLayout@ fixtureLayout()", asFUNCTION(fixtureLayout), false},
      {"const Effector@ fixtureEffector()", asFUNCTION(fixtureEffector), true},
      {"EffectorState@ fixtureEffectorState()", asFUNCTION(fixtureEffectorState), true},
  };
  for (const TestGlobal& global : globals)
    onBothEngines([&](asIScriptEngine* engine, bool server) {
      if (server || !global.serverOnly) {
        ASSERT_GE(engine->RegisterGlobalFunction(global.declaration, global.function, asCALL_CDECL), 0)
            << global.declaration;
      }
    });
}

// `code` built as the module `name` of `engine`; null when it does not build.
asIScriptModule* build(asIScriptEngine* engine, const char* name, const std::string& code) {
  asIScriptModule* module = engine->GetModule(name, asGM_ALWAYS_CREATE);
  module->AddScriptSection(name, code.c_str(), code.size());
  return module->Build() >= 0 ? module : nullptr;
}

std::string caseName(std::size_t index) { return "case" + std::to_string(index); }

bool runsOn(On on, bool server) { return on == On::Both || (on == On::Server) == server; }

// One module of `engine` with a function per case of that engine.
std::string generatedModule(bool server) {
  std::ostringstream code;
  const auto& cases = bindingcoverage::cases();
  for (std::size_t i = 0; i < cases.size(); ++i)
    if (runsOn(cases[i].on, server))
      code << "void " << caseName(i) << "() {\n" << cases[i].code << "\n}\n";
  return code.str();
}

// The declarations of the simulation's interface in `entries`: those that
// are not the script host's own.
std::vector<std::string> interfaceLines(const std::vector<Entry>& entries, const std::set<std::string>& host) {
  std::vector<std::string> lines;
  for (const Entry& entry : entries)
    if (host.count(entry.line) == 0)
      lines.push_back(entry.line);
  return lines;
}

std::string listed(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += "  " + line + "\n";
  return text;
}

class BindingCoverageTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    std::filesystem::create_directories(root_ / "Game Data/Sub Systems");
    std::ofstream(root_ / "Game Data/Sub Systems/plate.txt", std::ios::binary) << kSubSystemFile;
    std::ofstream(root_ / "Game Data/treaties.xml", std::ios::binary) << kClauseFile;
    std::filesystem::create_directories(root_ / "Game Data/Technologies");
    std::ofstream(root_ / "Game Data/Technologies/optics.txt", std::ios::binary) << kTechnologyFile;
    auto* rock = new PlanetPhysicalType;
    rock->name = internCommonString(L"Rock");
    PtrNamedVar<PlanetPhysicalType*>::getOrAdd(planetTypeRegistry(), L"Rock", internCommonString).value = rock;
    registerSpaceEmpire();
    // A planet condition for the planet cases.
    auto* dry = new planetCondition;
    dry->id = L"Dry";
    dry->desc = L"Parched";
    PtrNamedVar<planetCondition*>::getOrAdd(planetConditionRegistry(), L"Dry", internCommonString).value = dry;

    host_ = hostDeclarations();
    sessionLog_ = scriptapitest::setUpWorkingFolderSession();
    // A's web, made again now that the technologies are loaded.
    delete red->researchWeb;
    red->researchWeb = research::createResearchWeb(red);
    red->researchWeb->initialise(red);
  }
  void TearDown() override {
    delete world_.event;
    delete world_.message;
    world_.instance.values = nullptr;
    if (world_.layout != nullptr)
      world_.layout->drop();
    world = nullptr;
    // GUI-side script globals: the gas sprite of the server case.
    clearGalaxyGasSprites();
    clearActiveGfxEffects();
    ScriptedGalaxyTest::TearDown();
    clearSubSystemDefs();
    clearTreatyClauses();
    clearPlanetTypes();
    research::clearWebItemDescs();
  }

  // The script host's own declarations per engine: a set-up whose only
  // binding is the type "Empire" (which evaluateFormula names).
  static std::set<std::string> hostDeclarations() {
    const ScriptSetupSlots saved = scriptSetupSlots;
    ScriptSetupSlots bare;
    bare.empireType = [] { registerUncountedType("Empire"); };
    scriptSetupSlots = bare;
    scriptapitest::setUpWorkingFolderSession();
    scriptSetupSlots = saved;
    std::set<std::string> lines;
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
      for (const Entry& entry : bindingcoverage::declarationsOf(engine))
        if (entry.type != "Empire")
          lines.insert(entry.line);
    tearDownScriptEngines();
    return lines;
  }

  void makeWorld() {
    world_.a = red;
    world_.b = blue;
    activeEmpire = red;
    solarSystem* system = addSystems(1).front();
    world_.system = system;
    auto place = [system](generic_object* object) {
      object->setContainer(system);
      return object;
    };
    world_.star = place(new objStar(system, nullptr));
    world_.oddity = place(new objOddity(nullptr, ODT_Comet));
    auto* planet = new objHabitation(red, nullptr);
    planet->modPopulation(planet->ownerRates, 5.0f);
    world_.planet = place(planet);
    layout_desc desc;
    desc.systems.push_back({subSystemDefRegistry[0].value, 1.0f, 0.0f, 0.0f, -1});
    world_.layout = new hull_list(desc, red, true);
    world_.layout->name = L"Scout";
    world_.layout->grab();  // the table's reference
    NamedVar<hull_list*>::getOrAdd(red->hulls, world_.layout->name).value = world_.layout;
    world_.ship = place(new objHulled(red, world_.layout, nullptr));
    effector_def* gun = addEffectorDef(L"Gun");
    addEffectorValueName(*gun, L"Damage");
    world_.effect.def = gun;
    world_.effect.values.push_back(2.0f);
    world_.event = new EffectEvent(world_.ship, world_.planet, 2.0f);
    world_.message = new DiploMsg(DT_Peace, blue);
    world_.instance.def = subSystemDefRegistry[0].value;
    world_.instance.values = world_.instanceValues;
    world_.bareInstance.def = subSystemDefRegistry[2].value;
    world_.record.system = &world_.instance;
    world = &world_;
  }

  std::set<std::string> host_;
  std::string sessionLog_;
  World world_;
};

TEST_F(BindingCoverageTest, EnginesHoldTheManifestAndEveryCaseReachesItsDeclarations) {
  EXPECT_EQ(sessionLog_.find("AS "), std::string::npos) << sessionLog_;
  EXPECT_EQ(sessionLog_.find("rejected"), std::string::npos) << sessionLog_;
  EXPECT_EQ(scriptRegistrationsRejected(), 0u);

  const std::set<std::string>& host = host_;
  asIScriptEngine* engines[2] = {serverScriptEngine, clientScriptEngine};
  std::vector<Entry> entries[2];
  std::vector<std::string> registered[2];
  for (int e = 0; e < 2; ++e) {
    entries[e] = bindingcoverage::declarationsOf(engines[e]);
    registered[e] = interfaceLines(entries[e], host);
    // CORVANE_PRINT_MANIFEST=1 prints the lines to review a new manifest.
    if (std::getenv("CORVANE_PRINT_MANIFEST") != nullptr)
      std::printf("%s manifest:\n%s", e == 0 ? "server" : "client", listed(registered[e]).c_str());
  }

  // The manifest, both ways, and every type once.
  const std::vector<std::string>* manifests[2] = {&bindingcoverage::serverManifest(),
                                                   &bindingcoverage::clientManifest()};
  const char* engineNames[2] = {"server", "client"};
  for (int e = 0; e < 2; ++e) {
    SCOPED_TRACE(engineNames[e]);
    const std::set<std::string> listedSet(manifests[e]->begin(), manifests[e]->end());
    const std::set<std::string> registeredSet(registered[e].begin(), registered[e].end());
    std::vector<std::string> unlisted;
    std::vector<std::string> missing;
    for (const std::string& line : registered[e])
      if (listedSet.count(line) == 0)
        unlisted.push_back(line);
    for (const std::string& line : *manifests[e])
      if (registeredSet.count(line) == 0)
        missing.push_back(line);
    EXPECT_TRUE(unlisted.empty()) << "registered but not listed:\n" << listed(unlisted);
    EXPECT_TRUE(missing.empty()) << "listed but not registered:\n" << listed(missing);
    std::map<std::string, int> types;
    for (const Entry& entry : entries[e])
      if (entry.line.rfind("type ", 0) == 0)
        ++types[entry.line];
    for (const auto& [line, count] : types) {
      EXPECT_EQ(count, 1) << line << " registered " << count << " times";
    }
  }

  // The cases, one module per engine.
  makeWorld();
  registerTestGlobals();
  const auto& cases = bindingcoverage::cases();
  asIScriptModule* modules[2] = {};
  for (int e = 0; e < 2; ++e) {
    LogCapture log;
    modules[e] = build(engines[e], "coverage", generatedModule(e == 0));
    ASSERT_NE(modules[e], nullptr) << engineNames[e] << " cases do not build:\n" << log.take();
  }

  std::set<std::string> reached[2];
  std::map<std::string, std::size_t> reachedBy[2];
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const bindingcoverage::Case& c = cases[i];
    for (int e = 0; e < 2; ++e) {
      if (!runsOn(c.on, e == 0))
        continue;
      SCOPED_TRACE(std::string(engineNames[e]) + " " + caseName(i) + ":\n" + c.code);
      asIScriptFunction* function = modules[e]->GetFunctionByName(caseName(i).c_str());
      ASSERT_NE(function, nullptr);
      asIScriptContext* context = createScriptContext(engines[e]);
      context->Prepare(function);
      const int result = context->Execute();
      const std::string exception = result == asEXECUTION_EXCEPTION && context->GetExceptionString() != nullptr
                                        ? context->GetExceptionString()
                                        : "";
      context->Release();
      if (c.exception == nullptr) {
        EXPECT_EQ(result, asEXECUTION_FINISHED) << exception;
      } else {
        EXPECT_EQ(result, asEXECUTION_EXCEPTION);
        EXPECT_EQ(exception, c.exception);
        continue;
      }
      // What the case reaches: the functions its byte code calls, the
      // properties and enum values it names, and the behaviours of the
      // types it names.
      std::set<int> called;
      std::set<int> visited;
      bindingcoverage::calledFunctions(function, called, visited);
      for (const Entry& entry : entries[e]) {
        bool hit = false;
        if (entry.functionId >= 0 && called.count(entry.functionId) > 0)
          hit = true;
        else if (!entry.name.empty())
          hit = bindingcoverage::mentions(c.code, entry.name) &&
                (entry.line.rfind("enum ", 0) == 0 || entry.type.empty() ||
                 bindingcoverage::mentions(c.code, entry.type));
        else if (entry.line.find(" behaviour ") != std::string::npos || entry.line.rfind("type ", 0) == 0)
          hit = bindingcoverage::mentions(c.code, entry.type);
        if (hit && reached[e].insert(entry.line).second)
          reachedBy[e][entry.line] = i;
      }
    }
  }

  for (int e = 0; e < 2; ++e) {
    std::vector<std::string> unreached;
    for (const std::string& line : registered[e])
      if (reached[e].count(line) == 0)
        unreached.push_back(line);
    EXPECT_TRUE(unreached.empty()) << engineNames[e] << " declarations no valid case reaches:\n" << listed(unreached);
  }

  // A declaration of one engine only does not exist in the other: the case
  // that reaches it does not build there.
  // (A function whose result alone differs between the engines is in both.)
  const auto signature = [](const std::string& line) {
    const std::size_t open = line.find('(');
    const std::size_t space = open == std::string::npos ? std::string::npos : line.rfind(' ', open);
    return space == std::string::npos ? line : line.substr(space + 1);
  };
  for (int e = 0; e < 2; ++e) {
    std::set<std::string> other;
    for (const std::string& line : registered[1 - e])
      other.insert(signature(line));
    for (const std::string& line : registered[e]) {
      if (other.count(signature(line)) > 0 || reachedBy[e].count(line) == 0 || line.rfind("type ", 0) == 0 ||
          line.find(" behaviour ") != std::string::npos)
        continue;
      const bindingcoverage::Case& c = cases[reachedBy[e][line]];
      LogCapture quiet;
      EXPECT_EQ(build(engines[1 - e], "other",
                                                        std::string("void f() {\n") + c.code + "\n}\n"),
                nullptr)
          << line << " (" << engineNames[e] << " only) builds in the " << engineNames[1 - e] << " engine";
    }
  }
}

TEST_F(BindingCoverageTest, CastsAccessorsAndEngineOnlyDeclarationsBuildWhereTheyShould) {
  ASSERT_EQ(scriptRegistrationsRejected(), 0u);
  for (const bindingcoverage::BuildCase& c : bindingcoverage::buildCases()) {
    SCOPED_TRACE(c.code);
    for (bool server : {true, false}) {
      LogCapture log;
      asIScriptModule* module = build(server ? serverScriptEngine : clientScriptEngine, "built", c.code);
      const std::string messages = log.take();
      EXPECT_EQ(module != nullptr, server ? c.server : c.client) << (server ? "server" : "client") << messages;
    }
  }
  // No accessor needs the keyword: no declaration carries it.
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
    for (const Entry& entry : bindingcoverage::declarationsOf(engine)) {
      if (entry.functionId < 0)
        continue;
      const std::string keyword = " property";
      const bool marked = entry.line.size() >= keyword.size() &&
                          entry.line.compare(entry.line.size() - keyword.size(), keyword.size(), keyword) == 0;
      EXPECT_FALSE(marked) << entry.line;
    }
}

std::string hexText(const uint8_t* bytes, std::size_t size) {
  std::string text;
  char hex[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += hex;
  }
  return text;
}

// The bytes of the messages sent, as binding_cases.h writes them.
std::string requestText(const std::vector<SentMessage>& sent) {
  std::string text;
  for (const SentMessage& message : sent) {
    if (!text.empty())
      text += " | ";
    text += hexText(message.bytes.data(), message.bytes.size());
  }
  return text;
}

// A case's expected requests with the fixture ship's words filled in: "SHIPREF"
// is its object reference, "SHIPUID" its UID as a raw u32; "PLANETREF" and
// "PLANETUID" the same for the fixture planet, "PLATEID" the ID of the
// definition "Plate".
std::string expectedRequests(const char* requests, const generic_object* ship, const generic_object* planet) {
  std::string text = requests != nullptr ? requests : "";
  RakNet::BitStream ref;
  writeNetObjectRef(ref, ship);
  RakNet::BitStream uid;
  uid.Write(ship->uid);
  // The planet's words, and the ID of the definition "Plate" as a raw u32.
  RakNet::BitStream planetRef;
  writeNetObjectRef(planetRef, planet);
  RakNet::BitStream planetUid;
  planetUid.Write(planet->uid);
  RakNet::BitStream plateId;
  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i)
    if (subSystemDefRegistry[i].entryName() == L"Plate")
      plateId.Write(subSystemDefRegistry[i].value->id);
  const std::pair<std::string, std::string> words[] = {
      {"SHIPREF", hexText(ref.GetData(), ref.GetNumberOfBytesUsed())},
      {"SHIPUID", hexText(uid.GetData(), uid.GetNumberOfBytesUsed())},
      {"PLANETREF", hexText(planetRef.GetData(), planetRef.GetNumberOfBytesUsed())},
      {"PLANETUID", hexText(planetUid.GetData(), planetUid.GetNumberOfBytesUsed())},
      {"PLATEID", hexText(plateId.GetData(), plateId.GetNumberOfBytesUsed())},
  };
  for (const auto& [word, bytes] : words)
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + bytes.size()))
      text.replace(at, word.size(), bytes);
  return text;
}

class BindingRequestsTest : public BindingCoverageTest, public ::testing::WithParamInterface<uint32_t> {
 protected:
  void TearDown() override {
    stopCapturingSends();
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    networkManager->peerVersion = savedVersion_;
    playingEmpire = nullptr;
    BindingCoverageTest::TearDown();
  }
  uint32_t savedVersion_ = networkManager->peerVersion;
};

// The client cases in a network client send their requests, and misuse
// sends nothing.
TEST_P(BindingRequestsTest, ClientCasesSendTheirRequests) {
  ASSERT_EQ(scriptRegistrationsRejected(), 0u);
  makeWorld();
  registerTestGlobals();
  asIScriptModule* module = nullptr;
  {
    LogCapture log;
    module = build(clientScriptEngine, "coverage", generatedModule(false));
    ASSERT_NE(module, nullptr) << log.take();
  }
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  networkManager->peerVersion = GetParam();
  playingEmpire = red;
  std::vector<SentMessage> sent;
  captureSends(sent);
  const auto& cases = bindingcoverage::cases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const bindingcoverage::Case& c = cases[i];
    if (!runsOn(c.on, false))
      continue;
    SCOPED_TRACE(caseName(i) + ":\n" + c.code);
    sent.clear();
    asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(module->GetFunctionByName(caseName(i).c_str()));
    const int result = context->Execute();
    context->Release();
    EXPECT_EQ(result, c.exception == nullptr ? asEXECUTION_FINISHED : asEXECUTION_EXCEPTION);
    const char* requests =
        GetParam() == 6 && c.requestsTowardsVersion6 != nullptr ? c.requestsTowardsVersion6 : c.requests;
    EXPECT_EQ(requestText(sent), expectedRequests(requests, world_.ship, world_.planet));
  }
}

INSTANTIATE_TEST_SUITE_P(PeerVersions, BindingRequestsTest, ::testing::Values(6u, 7u));

}  // namespace
}  // namespace binding_coverage_test
