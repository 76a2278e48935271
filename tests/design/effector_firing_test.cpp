// Firing effectors: who receives the caused effects, with which delay, and
// which graphics call is queued, for each physical type.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/named_values.h"
#include "core/net_encoders.h"
#include "core/threads.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace effector_firing_test {

namespace {

// Every activation of the probe effect: who received it, from whom.
struct Hit {
  generic_object* receiver;
  generic_object* source;
  float amount;
};
std::vector<Hit> hits;

void probeHit(EffectEvent* event, effect_data* values) {
  hits.push_back({event->target, event->obj, values->values[0]});
}
const PlainFuncEntry kProbeHit{probeHit};
const RegisterPlainFunction registerProbeHit(L"TestProbeHit", &kProbeHit);

// Ends an object's timed effects (each holds its holder).
void dropTimedEffects(generic_object* object) {
  for (irr::u32 i = 0; i < object->timedEffects.size(); ++i)
    delete object->timedEffects[i];
  object->timedEffects.clear();
}

// One queued graphics call as it goes out on the network.
struct Call {
  uint8_t kind;
  uint32_t source;
  uint32_t target;  // 0 for an area burst
  std::vector<float> floats;
};

std::vector<Call> queuedCalls() {
  RakNet::BitStream stream;
  const unsigned count = writeEffGfxQueue(stream);
  RakNet::BitStream in(stream.GetData(), stream.GetNumberOfBytesUsed(), false);
  uint8_t written = 0;
  EXPECT_TRUE(in.Read(written));
  EXPECT_EQ(written, count);
  std::vector<Call> calls;
  for (unsigned i = 0; i < count; ++i) {
    Call call{};
    uint32_t effectorId = 0;
    EXPECT_TRUE(in.Read(call.kind) && in.ReadCompressed(effectorId));
    call.source = readNetUInt(in);
    if (call.kind != EGK_AOE)
      call.target = readNetUInt(in);
    const int floats = call.kind == EGK_Bullet ? 2 : call.kind == EGK_Instant ? 0 : 1;
    for (int k = 0; k < floats; ++k) {
      float value = 0.0f;
      EXPECT_TRUE(in.Read(value));
      call.floats.push_back(value);
    }
    calls.push_back(call);
  }
  return calls;
}

class EffectorFiringTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    initThreadLocals();
    hits.clear();
    clearEffGfxQueue();
    const std::filesystem::path folder = scratchDir();
    const std::string effects = (folder / "effects.txt").string();
    const std::string effectors = (folder / "effectors.txt").string();
    std::ofstream(effects, std::ios::binary) << "Name: Probe\nValue: Amount\nOnActive: TestProbeHit\n";
    std::ofstream(effectors, std::ios::binary) << "Effector: Instant\nCauses: Probe with Amount[1]\n"
                                                  "Effector: Beam\nPhysicalType: Beam\n"
                                                  "Effector: Bullet\nPhysicalType: Bullet\n"
                                                  "Causes: Probe lasting 1 with Amount[2]\n"
                                                  "Effector: Missile\nPhysicalType: Missile\n"
                                                  "Causes: Probe with Amount[3]\n"
                                                  "Effector: Area\nPhysicalType: AreaOfEffect\nRange: 20\n"
                                                  "Causes: Probe with Amount[4]\n";
    LogCapture log;
    loadEffects(effects.c_str());
    loadEffectors(effectors.c_str());
    EXPECT_EQ(log.take().find("error"), std::string::npos);
    source = new TestObject(red, OT_Generic, L"Source");
    target = new TestObject(blue, OT_Generic, L"Target");
  }

  void TearDown() override {
    clearEffGfxQueue();
    for (TestObject* object : objects()) {
      dropTimedEffects(object);
      object->setContainer(nullptr);
      object->drop();
    }
    if (system != nullptr)
      system->drop();
    clearEffectors();
    clearEffects();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  std::vector<TestObject*> objects() const {
    std::vector<TestObject*> all = {source, target};
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
  }

  // An instance of the named effector, evaluated without variables.
  static effector instanceOf(const wchar_t* name) {
    effector_forms forms(findEffector(name));
    NameSpaces spaces;
    effector eff;
    eff.evaluate(forms, spaces);
    return eff;
  }

  // Fires the named effector from `from` at `at`.
  static void fire(const wchar_t* name, generic_object* from, generic_object* at) {
    const effector eff = instanceOf(name);
    EffectEvent event(from, at, 0.0f);
    fireEffector(&event, eff.def, &eff);
  }

  // A star system holding the source (radius 5 at the origin) and objects of
  // radius 3 at the given distances along x.
  void buildSystem(std::initializer_list<float> distances) {
    system = new solarSystem();
    source->setContainer(system);
    source->radius = 5.0f;
    for (float x : distances) {
      TestObject* object = new TestObject(blue);
      object->setContainer(system);
      object->position.set(x, 0, 0);
      object->radius = 3.0f;
      extra.push_back(object);
    }
  }

  TestObject* source = nullptr;
  TestObject* target = nullptr;
  std::vector<TestObject*> extra;
  solarSystem* system = nullptr;
};

TEST_F(EffectorFiringTest, BulletDelaysItsEffectsByTheFlightTime) {
  target->position.set(300, 0, 0);
  fire(L"Bullet", source, target);
  ASSERT_EQ(target->timedEffects.size(), 1u);
  EXPECT_EQ(target->timedEffects[0]->delay, 2.0f);
  EXPECT_EQ(target->timedEffects[0]->duration, 1.0f);
  EXPECT_TRUE(hits.empty());  // not arrived yet
  const std::vector<Call> calls = queuedCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, EGK_Bullet);
  EXPECT_EQ(calls[0].source, source->uid);
  EXPECT_EQ(calls[0].target, target->uid);
  EXPECT_EQ(calls[0].floats, (std::vector<float>{2.0f, 150.0f}));  // delay, speed
  EXPECT_EQ(source->refCount.load(), 3);  // ours, the timed effect's and the call's
}

TEST_F(EffectorFiringTest, TargetedKindsApplyAtOnceAndQueueTheirCall) {
  struct Case {
    const wchar_t* effector;
    bool atItself;
    float amount;              // of the probe hit; 0: no hit
    std::vector<Call> calls;  // source and target filled below
  };
  const Case cases[] = {
      {L"Instant", false, 1.0f, {{EGK_Instant, 0, 0, {}}}},
      {L"Instant", true, 1.0f, {}},
      {L"Beam", false, 0.0f, {{EGK_Beam, 0, 0, {1.0f}}}},
      {L"Missile", false, 3.0f, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << irr::core::stringc(c.effector).c_str() << (c.atItself ? " at itself" : ""));
    hits.clear();
    clearEffGfxQueue();
    generic_object* at = c.atItself ? static_cast<generic_object*>(source) : target;
    fire(c.effector, source, at);
    if (c.amount == 0.0f) {
      EXPECT_TRUE(hits.empty());
    } else {
      ASSERT_EQ(hits.size(), 1u);
      EXPECT_EQ(hits[0].receiver, at);
      EXPECT_EQ(hits[0].source, source);
      EXPECT_EQ(hits[0].amount, c.amount);
    }
    const std::vector<Call> calls = queuedCalls();
    ASSERT_EQ(calls.size(), c.calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].kind, c.calls[i].kind);
      EXPECT_EQ(calls[i].source, source->uid);
      EXPECT_EQ(calls[i].target, target->uid);
      EXPECT_EQ(calls[i].floats, c.calls[i].floats);
    }
    dropTimedEffects(source);
    dropTimedEffects(target);
  }
}

TEST_F(EffectorFiringTest, AreaHitsObjectsWithinReachOfTheBurst) {
  // Reach: source radius 5 + range 20 + the object's radius 3.
  buildSystem({28.0f, 28.01f, -10.0f});
  fire(L"Area", source, nullptr);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].receiver, extra[0]);
  EXPECT_EQ(hits[1].receiver, extra[2]);
  EXPECT_EQ(hits[0].amount, 4.0f);
  EXPECT_TRUE(extra[1]->timedEffects.empty());
  EXPECT_TRUE(source->timedEffects.empty());
  const std::vector<Call> calls = queuedCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, EGK_AOE);
  EXPECT_EQ(calls[0].source, source->uid);
  EXPECT_EQ(calls[0].floats, std::vector<float>{20.0f});

  // Nothing in reach: the burst is still shown.
  hits.clear();
  clearEffGfxQueue();
  extra[0]->position.set(100, 0, 0);
  extra[2]->clearFlag(FLAG_VALID);
  fire(L"Area", source, target);
  EXPECT_TRUE(hits.empty());
  EXPECT_EQ(effGfxQueueSize(), 1u);
  extra[2]->setFlag(FLAG_VALID);
}

TEST_F(EffectorFiringTest, FiringsThatDoNothing) {
  enum Target { kValid, kInvalid, kMissing };
  const struct {
    const char* label;
    const wchar_t* effector;
    Target target;
    bool invalidSource;
    uint32_t physicalType;  // kept when above 99
  } cases[] = {
      {"invalid target", L"Instant", kInvalid, false, 100},
      {"invalid source", L"Beam", kValid, true, 100},
      {"missing target (Instant)", L"Instant", kMissing, false, 100},
      {"missing target (Beam)", L"Beam", kMissing, false, 100},
      {"missing target (Bullet)", L"Bullet", kMissing, false, 100},
      {"missing target (Missile)", L"Missile", kMissing, false, 100},
      {"physical type 7", L"Instant", kValid, false, 7},
      {"area outside a star system", L"Area", kMissing, false, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    effector_def* def = findEffector(c.effector);
    const uint32_t physicalType = def->physicalType;
    if (c.physicalType <= 99)
      def->physicalType = c.physicalType;
    if (c.invalidSource)
      source->clearFlag(FLAG_VALID);
    if (c.target == kInvalid)
      target->clearFlag(FLAG_VALID);
    fire(c.effector, source, c.target == kMissing ? nullptr : target);
    EXPECT_TRUE(hits.empty());
    EXPECT_TRUE(target->timedEffects.empty());
    EXPECT_EQ(effGfxQueueSize(), 0u);
    EXPECT_EQ(source->refCount.load(), 1);
    EXPECT_EQ(target->refCount.load(), 1);
    def->physicalType = physicalType;
    source->setFlag(FLAG_VALID);
    target->setFlag(FLAG_VALID);
  }
}

}  // namespace

}  // namespace effector_firing_test
