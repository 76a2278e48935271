#include "universe/orders/unit_ai.h"

#include <string>
#include <vector>

#include "core/save_stream.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "universe/movement/mobile_mover.h"
#include "support/log_capture.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/repeat_orders.h"
#include "universe_fixture.h"

namespace unit_ai_test {

namespace {

// An order that records its runs and answers what the test says. Lower-case
// names are plain orders, upper-case names automation orders.
class TestOrder : public Order {
 public:
  explicit TestOrder(char name, OrderResult result = Running, bool background = false,
                     OrderType type = OrdT_Unspecified)
      : name(name), result(result), background(background), type(type) {
    ++alive;
  }
  ~TestOrder() override { --alive; }

  bool isAutomation() const override { return name >= 'A' && name <= 'Z'; }
  bool runsInBackground() const override { return background; }
  OrderType getType() const override { return type; }
  OrderResult execute(generic_object&) override {
    runs += name;
    return result;
  }
  void writeNetwork(RakNet::BitStream& stream) const override {
    stream.Write(static_cast<uint8_t>(type));
    stream.Write(static_cast<uint8_t>(name));
  }

  char name;
  OrderResult result;
  bool background;
  OrderType type;

  static int alive;
  static std::string runs;
};
int TestOrder::alive = 0;
std::string TestOrder::runs;

// The queue as its order names, front first.
std::string queueOf(const UnitAI& ai) {
  std::string names;
  for (const Order* order : ai.orders) {
    auto* test = dynamic_cast<const TestOrder*>(order);
    names += test != nullptr ? test->name : '?';
  }
  return names;
}

void fill(UnitAI& ai, const std::string& names) {
  for (char name : names)
    ai.appendOrder(new TestOrder(name));
}

class UnitAITest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    TestOrder::alive = 0;
    TestOrder::runs.clear();
    object = new TestObject(red, OT_Generic, L"Vessel");
  }
  void TearDown() override {
    object->destroyNow(false);  // lets go of its first reference
    EXPECT_EQ(TestOrder::alive, 0) << "an order was not deleted";
    UniverseTest::TearDown();
  }

  // A fresh AI set on the object (the object holds it).
  template <class AI>
  AI* giveAI() {
    auto* ai = new AI(object);
    object->setAI(ai);
    ai->drop();
    return ai;
  }

  TestObject* object = nullptr;
};

// --- Queue changes ----------------------------------------------------------

enum class Change { Add, AddClearing, Append, InsertBeforeAutomation, ClearPlain, ClearAll };

struct ChangeCase {
  const char* before;
  Change change;
  const char* after;
};

TEST_F(UnitAITest, UnitAIQueueChanges) {
  const ChangeCase cases[] = {
      {"bc", Change::Add, "abc"},
      {"bc", Change::Append, "bca"},
      {"bTc", Change::InsertBeforeAutomation, "baTc"},
      {"bc", Change::InsertBeforeAutomation, "bca"},
      {"bTc", Change::AddClearing, "aT"},
      {"TbW", Change::ClearPlain, "TW"},
      {"TbW", Change::ClearAll, ""},
  };
  for (const ChangeCase& c : cases) {
    UnitAI ai(object);
    fill(ai, c.before);
    switch (c.change) {
      case Change::Add: ai.addOrder(new TestOrder('a'), false); break;
      case Change::AddClearing: ai.addOrder(new TestOrder('a'), true); break;
      case Change::Append: ai.appendOrder(new TestOrder('a')); break;
      case Change::InsertBeforeAutomation: ai.insertBeforeAutomation(new TestOrder('a')); break;
      case Change::ClearPlain: ai.clearOrders(false); break;
      case Change::ClearAll: ai.clearOrders(true); break;
    }
    EXPECT_EQ(queueOf(ai), c.after) << c.before << " change " << static_cast<int>(c.change);
    EXPECT_EQ(ai.getOrderCount(), std::string(c.after).size());
    EXPECT_EQ(TestOrder::alive, static_cast<int>(std::string(c.after).size())) << "removed orders are deleted";
  }
}

TEST_F(UnitAITest, UnitAIQueueQueries) {
  UnitAI ai(object);
  auto* b = new TestOrder('b', Running, false, OrdT_Attack);
  auto* c = new TestOrder('c');
  ai.appendOrder(b);
  ai.appendOrder(c);
  TestOrder stranger('x');

  EXPECT_TRUE(ai.hasOrder(b));
  EXPECT_FALSE(ai.hasOrder(&stranger));
  EXPECT_TRUE(ai.hasOrderOfType(OrdT_Attack));
  EXPECT_FALSE(ai.hasOrderOfType(OrdT_Move));
  EXPECT_EQ(ai.getOrder(0), b);
  EXPECT_EQ(ai.getOrder(1), c);
  EXPECT_EQ(ai.getOrder(2), nullptr);

  ai.removeOrder(&stranger);
  EXPECT_EQ(queueOf(ai), "bc");
  ai.removeOrder(b);
  EXPECT_EQ(queueOf(ai), "c");
  EXPECT_EQ(TestOrder::alive, 2) << "c and the stranger";
}

// --- Tick -------------------------------------------------------------------

struct TickCase {
  const char* what;
  OrderResult first;
  bool firstInBackground;
  OrderResult second;
  bool secondInBackground;
  const char* runs;   // over two ticks
  const char* after;  // the queue after them
};

TEST_F(UnitAITest, UnitAITick) {
  const TickCase cases[] = {
      {"running in front stops the walk", Running, false, Running, false, "aa", "ab"},
      {"done in front: the next runs next tick", Done, false, Running, false, "ab", "b"},
      {"background done ends the tick too", Done, true, Running, false, "ab", "b"},
      {"waiting stops even in the background", Waiting, true, Running, false, "aa", "ab"},
      {"yielded keeps its place", Yielded, false, Running, false, "aa", "ab"},
      {"docked keeps its place", Docked, false, Running, false, "aa", "ab"},
      {"background lets the next run", Running, true, Running, false, "abab", "ab"},
      {"two background orders run each tick", Running, true, Running, true, "abab", "ab"},
  };
  for (const TickCase& c : cases) {
    TestOrder::runs.clear();
    UnitAI ai(object);
    ai.appendOrder(new TestOrder('a', c.first, c.firstInBackground));
    ai.appendOrder(new TestOrder('b', c.second, c.secondInBackground));
    ai.tick();
    ai.tick();
    EXPECT_EQ(TestOrder::runs, c.runs) << c.what;
    EXPECT_EQ(queueOf(ai), c.after) << c.what;
    EXPECT_EQ(ai.nextIdleTime, 0u) << c.what << ": a member of no fleet does nothing when idle";
  }
}

TEST_F(UnitAITest, UnitAITickOfEmptyQueue) {
  setObjectTestClock(1000);
  UnitAI ai(object);
  ai.tick();
  EXPECT_EQ(ai.getOrderCount(), 0u);
  EXPECT_EQ(ai.nextIdleTime, 0u);
}

// --- Targets ----------------------------------------------------------------

TEST_F(UnitAITest, UnitAITargetWeight) {
  auto* planetObject = new TestObject(blue, OT_Planet);
  auto* shipObject = new TestObject(blue, OT_Hulled);
  TestObject& planet = *planetObject;
  TestObject& ship = *shipObject;
  ship.radius = 3.0f;  // scale 9
  State* damage = getOrAddObjectState(&ship, L"Damage");
  damage->value.max = 100.0f;
  damage->value.val = 50.0f;

  UnitAI ai(object);
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&planet), 1.0f) << "no hull";
  EXPECT_TRUE(ai.orbitTargets(&ship));

  auto* hull = new hull_list(L"Lancer", nullptr);
  ai.hull = hull;
  hull->targeting.allowPlanetTargets = false;
  hull->targeting.orbits = false;
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&planet), 0.0f) << "planets not allowed";
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&ship), 1.0f);
  EXPECT_FALSE(ai.orbitTargets(&ship));

  hull->targeting.targetScaleSet = true;
  hull->targeting.targetScaleMin = 5.0f;
  hull->targeting.targetScaleMax = 10.0f;
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&ship), 4.0f) << "scale in range";
  hull->targeting.targetDamageSet = true;
  hull->targeting.targetDamageMin = 0.25f;
  hull->targeting.targetDamageMax = 0.75f;
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&ship), 16.0f) << "both in range";
  hull->targeting.targetDamageMax = 0.4f;
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&ship), 4.0f) << "damage out of a loose range";
  hull->targeting.targetDamageExclusive = true;
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&ship), 0.0f) << "damage out of a strict range";
  hull->targeting.targetScaleMax = 8.0f;
  hull->targeting.targetScaleExclusive = true;
  EXPECT_FLOAT_EQ(ai.getTargetWeight(&ship), 0.0f) << "scale out of a strict range";

  ai.hull = nullptr;
  hull->drop();
  for (TestObject* target : {planetObject, shipObject}) {
    target->destroyNow(false);  // lets go of its first reference
  }
}

// --- Save records -----------------------------------------------------------

std::vector<uint8_t> recordBytes(const SaveStream& out, size_t headerSize) {
  const std::vector<uint8_t>& all = out.memoryBytes();
  return std::vector<uint8_t>(all.begin() + static_cast<std::ptrdiff_t>(headerSize), all.end());
}

TEST_F(UnitAITest, UnitAISaveLoadRoundTrip) {
  UnitAI ai(object);
  ai.stance = AIS_HoldFire;
  ai.appendOrder(new move_order(vector3df(1, 2, 3), 5.0f));
  ai.appendOrder(new TestOrder('b'));  // its record is the type byte 0
  ai.appendOrder(new move_order(vector3df(4, 5, 6), 7.0f));

  auto out = SaveStream::createInMemory();
  const size_t header = out->memoryBytes().size();
  ai.save(*out);
  const std::vector<uint8_t> record = recordBytes(*out, header);
  ASSERT_GE(record.size(), 4u);
  EXPECT_EQ(record[0], 1) << "handler type";
  EXPECT_EQ(record[1], AIS_HoldFire);
  EXPECT_EQ(record[2], 3) << "order count";
  EXPECT_EQ(record[3], 0) << "no hull";

  const std::vector<uint8_t> bytes = out->memoryBytes();
  auto in = SaveStream::readFromMemory(bytes.data(), bytes.size());
  TestObject* loaded = new TestObject(red);
  loadObjectAI(*in, *loaded);
  EXPECT_EQ(in->remaining(), 0u);
  auto* loadedAI = dynamic_cast<UnitAI*>(loaded->ai);
  ASSERT_NE(loadedAI, nullptr);
  EXPECT_EQ(loadedAI->refCount.load(), 1u) << "held by the object alone";
  EXPECT_EQ(loadedAI->object, loaded);
  EXPECT_EQ(loadedAI->stance, AIS_HoldFire);
  ASSERT_EQ(loadedAI->getOrderCount(), 2u) << "the type 0 order adds nothing back";
  EXPECT_EQ(loadedAI->getOrder(0)->getDestination(), vector3df(1, 2, 3));
  EXPECT_EQ(loadedAI->getOrder(1)->getDestination(), vector3df(4, 5, 6));
  loaded->destroyNow(false);  // lets go of its first reference
}

TEST_F(UnitAITest, UnitAISaveKeepsAtMost255Orders) {
  UnitAI ai(object);
  fill(ai, std::string(256, 'b'));
  auto out = SaveStream::createInMemory();
  const size_t header = out->memoryBytes().size();
  ai.save(*out);
  const std::vector<uint8_t> record = recordBytes(*out, header);
  ASSERT_EQ(record.size(), 4u + 255u);
  EXPECT_EQ(record[2], 255);
}

// A repeat order keeps only its type byte: saving one says so, by name.
TEST_F(UnitAITest, UnitAISavingARepeatOrderWarns) {
  object->name = L"Courier";
  UnitAI ai(object);
  ai.appendOrder(new repeat_orders());
  auto out = SaveStream::createInMemory();
  LogCapture log;
  ai.save(*out);
  const std::string text = log.take();
  EXPECT_NE(text.find("Courier"), std::string::npos) << text;
  EXPECT_NE(text.find("repeat order"), std::string::npos) << text;
}

struct LoadCase {
  std::vector<uint8_t> record;
  int code;  // 0: loads
  const char* message;
  bool givesAI;
};

TEST_F(UnitAITest, UnitAILoadRecords) {
  const LoadCase cases[] = {
      {{0}, 0, "", false},
      {{1, 3, 0, 0}, 0, "", true},
      {{2}, 4, "Unexpected EOF", false},                    // a fleet record without its stance
      {{2, 0, 2}, 5, "Invalid prior AI for fleet", false},  // its commander's queue must be a UnitAI
      {{2, 0, 1, 0, 0, 0, 0, 0, 255, 0}, 0, "", true},       // a fleet without name or members
      {{9}, 5, "Invalid AI Handler Type", false},
      {{}, 4, "Unexpected EOF", false},
      {{1, 3, 2, 0, 0}, 4, "Unexpected EOF", false},  // one order record short
      {{1, 3}, 4, "Unexpected EOF", false},
  };
  for (const LoadCase& c : cases) {
    auto out = SaveStream::createInMemory();
    for (uint8_t byte : c.record)
      out->writeU8(byte);
    const std::vector<uint8_t> bytes = out->memoryBytes();
    auto in = SaveStream::readFromMemory(bytes.data(), bytes.size());
    TestObject* loaded = new TestObject(red);
    try {
      loadObjectAI(*in, *loaded);
      EXPECT_EQ(c.code, 0) << "record of " << c.record.size() << " bytes loaded";
    } catch (const SaveFileError& error) {
      EXPECT_EQ(error.code, c.code);
      EXPECT_STREQ(error.message, c.message);
    }
    EXPECT_EQ(loaded->ai != nullptr, c.givesAI) << "record of " << c.record.size() << " bytes";
    loaded->destroyNow(false);  // lets go of its first reference
  }
  clearPostObjectTreeSteps();
}

TEST_F(UnitAITest, UnitAILoadQueuesHullStep) {
  auto out = SaveStream::createInMemory();
  for (uint8_t byte : {1, 0, 0, 1})
    out->writeU8(byte);
  const std::vector<uint8_t> bytes = out->memoryBytes();
  auto in = SaveStream::readFromMemory(bytes.data(), bytes.size());
  clearPostObjectTreeSteps();
  loadObjectAI(*in, *object);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 1u);
  runPostObjectTreeSteps();
  EXPECT_EQ(static_cast<UnitAI*>(object->ai)->hull, nullptr) << "not a ship";
}

// --- Client forwarding ------------------------------------------------------

enum class Forward { Add, AddClearing, Append, InsertBeforeAutomation, Clear, ClearAll };

struct ForwardCase {
  Forward change;
  uint8_t flags;
  bool carriesOrder;
};

TEST_F(UnitAITest, UnitAIForwarderSendsOrderMessages) {
  const ForwardCase cases[] = {
      {Forward::Add, 0, true},          {Forward::AddClearing, 1, true}, {Forward::Append, 2, true},
      {Forward::InsertBeforeAutomation, 4, true}, {Forward::Clear, 8, false},    {Forward::ClearAll, 24, false},
  };
  auto* ai = giveAI<UnitAI_Forwarder>();
  ai->orders.push_back(new TestOrder('k'));  // the mirror's view of the queue
  for (const ForwardCase& c : cases) {
    sent.clear();
    auto* order = new TestOrder('a', Running, false, OrdT_Move);
    switch (c.change) {
      case Forward::Add: ai->addOrder(order, false); break;
      case Forward::AddClearing: ai->addOrder(order, true); break;
      case Forward::Append: ai->appendOrder(order); break;
      case Forward::InsertBeforeAutomation: ai->insertBeforeAutomation(order); break;
      case Forward::Clear: delete order; ai->clearOrders(false); break;
      case Forward::ClearAll: delete order; ai->clearOrders(true); break;
    }
    const uint32_t uid = object->uid;  // most significant byte first
    std::vector<uint8_t> expected = {116, static_cast<uint8_t>(uid >> 24), static_cast<uint8_t>(uid >> 16),
                                     static_cast<uint8_t>(uid >> 8), static_cast<uint8_t>(uid), c.flags};
    if (c.carriesOrder) {
      expected.push_back(OrdT_Move);
      expected.push_back('a');
    }
    ASSERT_EQ(sent.size(), 1u) << "flags " << int(c.flags);
    EXPECT_EQ(sent[0].bytes, expected) << "flags " << int(c.flags);
    EXPECT_EQ(sent[0].channel, 0);
    EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
    EXPECT_EQ(queueOf(*ai), "k") << "the local queue does not change";
    EXPECT_EQ(TestOrder::alive, 1) << "the sent order is deleted";
  }
}

TEST_F(UnitAITest, UnitAIForwarderKeepsDisplayEntries) {
  auto* ai = giveAI<UnitAI_Forwarder>();
  sent.clear();
  ai->addOrder(new TestOrder('a', Running, false, OrdT_Networked), true);
  ai->appendOrder(new TestOrder('b', Running, false, OrdT_Networked));
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(queueOf(*ai), "ab");

  auto out = SaveStream::createInMemory();
  const size_t header = out->memoryBytes().size();
  ai->save(*out);
  EXPECT_EQ(out->memoryBytes().size(), header) << "mirrors write no record";
}

TEST_F(UnitAITest, UnitAIForwarderUsesThreadScratchStream) {
  RakNet::BitStream scratch;
  scratch.Write(static_cast<uint32_t>(0xFFFFFFFF));  // left over from an earlier message
  RakNet::BitStream* previous = threadLocals().scratchStream;
  threadLocals().scratchStream = &scratch;
  auto* ai = giveAI<UnitAI_Forwarder>();
  sent.clear();
  ai->clearOrders(false);
  threadLocals().scratchStream = previous;
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes.size(), 6u);
  EXPECT_EQ(sent[0].bytes[0], 116);
  EXPECT_EQ(scratch.GetNumberOfBytesUsed(), 6u) << "built in the scratch stream";
}

// --- Server side of order requests ----------------------------------------------

struct RequestCase {
  uint8_t flags;
  bool withOrder;
  const char* after;  // from [b, T]
};

TEST_F(UnitAITest, UnitAIApplyOrderRequest) {
  const RequestCase cases[] = {
      {0, true, "abT"},  {1, true, "aT"},   {2, true, "bTa"},  {3, true, "bTa"}, {4, true, "baT"},
      {5, true, "baT"},  {6, true, "bTa"},  {8, false, "T"},   {24, false, ""},  {10, true, "T"},
      {0, false, "bT"},
  };
  object->mover = new MobileMover;
  object->position = {10, 0, -4};
  auto* ai = giveAI<UnitAI>();
  for (const RequestCase& c : cases) {
    ai->clearOrders(true);
    fill(*ai, "bT");
    MobileMover::of(object)->destination = {0, 0, 0};
    applyOrderRequest(*object, red, c.flags, c.withOrder ? new TestOrder('a') : nullptr);
    EXPECT_EQ(queueOf(*ai), c.after) << "flags " << int(c.flags);
    const bool stopped = (c.flags & 8) != 0;
    EXPECT_EQ(MobileMover::of(object)->destination, stopped ? object->position : vector3df(0, 0, 0))
        << "flags " << int(c.flags);
  }
}

TEST_F(UnitAITest, UnitAIApplyOrderRequestWithoutAI) {
  applyOrderRequest(*object, red, 0, new TestOrder('a'));
  EXPECT_EQ(TestOrder::alive, 0);
}

// A player may take resources only from objects of its own empire or of an
// empire it holds as allied; giving is never checked.
TEST_F(UnitAITest, UnitAIApplyOrderRequestChecksWhoATransferTakesFrom) {
  auto* rival = new TestObject(blue, OT_Hulled, L"Rival");
  auto* own = new TestObject(red, OT_Hulled, L"Own");
  auto* ownerless = new TestObject(nullptr, OT_Oddity, L"Rock");
  struct Case {
    const char* what;
    generic_object* other;
    uint8_t mode;
    bool local;         // no sender: a request made on the server itself
    bool redHoldsBlue;  // red's standing towards blue
    bool blueHoldsRed;
    bool queued;
  };
  const Case cases[] = {
      {"taking from a rival", rival, TM_From | TM_Amount, false, false, false, false},
      {"taking from a rival who holds the sender as allied", rival, TM_From | TM_Percent, false, false, true, false},
      {"taking from an ally", rival, TM_From | TM_Amount, false, true, false, true},
      {"taking from an own ship", own, TM_From | TM_All_Amount, false, false, false, true},
      {"taking from an object without an owner", ownerless, TM_From | TM_Amount, false, true, true, false},
      {"giving to a rival", rival, TM_Amount, false, false, false, true},
      {"a local request is not checked", rival, TM_From | TM_Amount, true, false, false, true},
  };
  auto* ai = giveAI<UnitAI>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    red->getRelation(blue)->allied = c.redHoldsBlue;
    blue->getRelation(red)->allied = c.blueHoldsRed;
    ai->clearOrders(true);
    fill(*ai, "bT");
    auto* transfer = new transfer_order(c.mode, 5.0f, 0.0f, c.other, L"Fuel", true);
    applyOrderRequest(*object, c.local ? nullptr : red, ORF_ClearFirst, transfer);
    EXPECT_EQ(queueOf(*ai), c.queued ? "?T" : "bT") << "a refused request changes nothing";
    if (c.queued) {
      EXPECT_EQ(ai->orders.front(), transfer);
    }
  }
  ai->clearOrders(true);
  for (TestObject* other : {rival, own, ownerless})
    other->destroyNow(false);
}

}  // namespace

}  // namespace unit_ai_test
