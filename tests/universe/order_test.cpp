#include "universe/orders/order.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "core/save_stream.h"
#include "platform/bit_stream.h"
#include "support/log_capture.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/networked_order.h"
#include "universe/orders/repeat_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe_fixture.h"

namespace order_test {

namespace {

using OrderTest = UniverseTest;

// An order that finishes on every `steps`-th execute and notes each run.
class StepOrder : public Order {
 public:
  StepOrder(OrderType type, int steps, std::string* trace) : type_(type), steps_(steps), trace_(trace) {}

  OrderType getType() const override { return type_; }
  OrderResult execute(generic_object&) override {
    *trace_ += type_ == OrdT_Move ? 'M' : 'G';
    return ++runs_ % steps_ == 0 ? Done : Running;
  }
  Order* clone() const override { return new StepOrder(type_, steps_, trace_); }
  irr::core::stringw describe() const override { return type_ == OrdT_Move ? L"Move" : L"Goto"; }

 private:
  OrderType type_;
  int steps_;
  std::string* trace_;
  int runs_ = 0;
};

// An order with a fixed answer and, optionally, no copy.
class FixedOrder : public Order {
 public:
  explicit FixedOrder(OrderResult result, bool copyable = true, bool automation = false)
      : result_(result), copyable_(copyable), automation_(automation) {}
  bool isAutomation() const override { return automation_; }
  bool isNotRepeatable() const override { return automation_; }
  OrderResult execute(generic_object&) override { return result_; }
  Order* clone() const override { return copyable_ ? new FixedOrder(result_, true, automation_) : nullptr; }

 private:
  OrderResult result_;
  bool copyable_;
  bool automation_;
};

// A base order of the given type, for the record framing.
class TypedOrder : public Order {
 public:
  explicit TypedOrder(OrderType type) : type_(type) {}
  OrderType getType() const override { return type_; }
  OrderResult execute(generic_object&) override { return Done; }

 private:
  OrderType type_;
};

// A reading stream over `bytes` written after a fresh header, of `version`.
struct SaveBytes {
  explicit SaveBytes(const std::vector<uint8_t>& bytes, int32_t version = SaveStream::kVersion) {
    std::unique_ptr<SaveStream> out = SaveStream::createInMemory();
    out->writeBytes(bytes.data(), bytes.size());
    data = out->memoryBytes();
    data[4] = static_cast<uint8_t>(version);  // little-endian version after "$qvs"
    data[5] = data[6] = data[7] = 0;
    in = SaveStream::readFromMemory(data.data(), data.size());
  }
  std::vector<uint8_t> data;
  std::unique_ptr<SaveStream> in;
};

// The bytes of `order`'s save record.
std::vector<uint8_t> saveRecord(const Order& order) {
  std::unique_ptr<SaveStream> out = SaveStream::createInMemory();
  const size_t header = out->memoryBytes().size();
  order.save(*out);
  return std::vector<uint8_t>(out->memoryBytes().begin() + header, out->memoryBytes().end());
}

TEST(OrderBaseTest, RecordsAreTheTypeAlone) {
  for (OrderType type : {OrdT_Unspecified, OrdT_Repeat, OrdT_Networked}) {
    TypedOrder order(type);
    EXPECT_EQ(saveRecord(order), std::vector<uint8_t>{type});
    RakNet::BitStream stream;
    order.writeNetwork(stream);
    ASSERT_EQ(stream.GetNumberOfBitsUsed(), 8u);
    EXPECT_EQ(stream.GetData()[0], type);
  }
}

TEST(OrderBaseTest, BaseAnswers) {
  TypedOrder order(OrdT_Unspecified);
  EXPECT_FALSE(order.runsInBackground());
  EXPECT_FALSE(order.isAutomation());
  EXPECT_FALSE(order.isNotRepeatable());
  EXPECT_EQ(order.clone(), nullptr);
  EXPECT_EQ(order.describe(), irr::core::stringw(L"Unspecified Order"));
  EXPECT_EQ(order.getTarget(), nullptr);
  EXPECT_EQ(order.getDestination(), vector3df(0, 0, 0));
  EXPECT_STREQ(kOrderTypeScriptNames[0], "OrdT_Unspecified");
  EXPECT_STREQ(kOrderTypeScriptNames[9], "OrdT_Remove_Struct");
  EXPECT_STREQ(kOrderTypeScriptNames[18], "OrdT_Scuttle");
}

TEST_F(OrderTest, RepeatRunsItsOrdersInTurn) {
  TestObject* object = new TestObject(red);
  std::string trace;
  repeat_orders repeat;
  repeat.appendOrder(new StepOrder(OrdT_Move, 2, &trace));
  repeat.appendOrder(new StepOrder(OrdT_Goto, 2, &trace));

  struct Tick {
    const char* runs;  // orders executed in this tick
    OrderResult result;
    const wchar_t* description;  // afterwards
  };
  const Tick ticks[] = {
      {"M", Running, L"Move"},
      {"MG", Running, L"Goto"},  // the move is done: the goto begins at once
      {"G", Running, L"Nothing"},  // the goto is done: the cycle ends
      {"M", Running, L"Move"},  // and begins again
  };
  for (const Tick& tick : ticks) {
    trace.clear();
    EXPECT_EQ(repeat.execute(*object), tick.result) << tick.runs;
    EXPECT_EQ(trace, tick.runs);
    EXPECT_EQ(repeat.describe(), irr::core::stringw(tick.description)) << tick.runs;
  }
  object->drop();
}

TEST_F(OrderTest, RepeatAnswers) {
  TestObject* object = new TestObject(red);
  struct Case {
    const char* name;
    std::vector<OrderResult> held;  // empty: no orders
    OrderResult expected;
  };
  const Case cases[] = {
      {"empty", {}, Done},
      {"yielded", {Yielded}, Yielded},
      {"waiting", {Waiting}, Running},
      {"docked: the queue was cleared, the repeat order with it", {Docked}, Docked},
  };
  for (const Case& c : cases) {
    repeat_orders repeat;
    for (OrderResult result : c.held)
      repeat.appendOrder(new FixedOrder(result));
    EXPECT_EQ(repeat.execute(*object), c.expected) << c.name;
  }
  repeat_orders repeat;
  EXPECT_TRUE(repeat.isNotRepeatable());
  EXPECT_FALSE(repeat.isAutomation());
  EXPECT_FALSE(repeat.runsInBackground());
  EXPECT_EQ(repeat.getType(), OrdT_Repeat);
  EXPECT_EQ(saveRecord(repeat), std::vector<uint8_t>{OrdT_Repeat});
  object->drop();
}

TEST(OrderBaseTest, RepeatCopyLeavesOutWhatCannotBeRepeated) {
  std::string trace;
  repeat_orders repeat;
  repeat.appendOrder(new FixedOrder(Running, true, true));  // automation
  repeat_orders* nested = new repeat_orders;
  nested->appendOrder(new StepOrder(OrdT_Move, 1, &trace));
  repeat.appendOrder(nested);
  repeat.appendOrder(new FixedOrder(Running, false));  // no copy
  repeat.appendOrder(new StepOrder(OrdT_Goto, 1, &trace));
  repeat.current = 3;

  std::unique_ptr<Order> copy(repeat.clone());
  repeat_orders* copied = dynamic_cast<repeat_orders*>(copy.get());
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->current, 0u);
  ASSERT_EQ(copied->orders.size(), 1u);
  EXPECT_EQ(copied->orders[0]->getType(), OrdT_Goto);
}

TEST_F(OrderTest, RepeatNotSavedWarningNamesTheObject) {
  TestObject* object = new TestObject(red, OT_Generic, L"Scout");
  LogCapture log;
  warnRepeatOrderNotSaved(*object);
  const std::string text = log.take();
  EXPECT_NE(text.find("'Scout'"), std::string::npos) << text;
  EXPECT_NE(text.find("UID " + std::to_string(object->uid)), std::string::npos) << text;
  object->drop();
}

TEST(OrderBaseTest, NetworkedOrderShowsItsText) {
  networked_order order(L"Attacking");
  EXPECT_EQ(order.getType(), OrdT_Networked);
  EXPECT_EQ(order.describe(), irr::core::stringw(L"Attacking"));
  EXPECT_EQ(order.clone(), nullptr);
  EXPECT_EQ(saveRecord(order), std::vector<uint8_t>{OrdT_Networked});
}

TEST_F(OrderTest, NetworkRecordsWithoutAnOrder) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"type 0", {0}},
      {"type 19", {19}},
      {"deposit", {5}},
      {"type 9", {9}},
      {"repeat", {14}},
      {"collect", {15}},
      {"type 255", {255}},
      {"empty stream", {}},
      {"short move", {OrdT_Move, 0x40}},
      {"goto of no object", {OrdT_Goto, 0x7F, 0xFF, 0, 0, 0, 0}},  // UID 32767
  };
  for (const Case& c : cases) {
    RakNet::BitStream stream(c.bytes.data(), c.bytes.size(), false);
    std::unique_ptr<Order> order(readOrderFromNetwork(stream, nullptr));
    EXPECT_EQ(order, nullptr) << c.name;
  }
}

TEST_F(OrderTest, NetworkMoveNeedsNoObject) {
  move_order sent(vector3df(100, -50, 25), 2.0f);
  RakNet::BitStream stream;
  sent.writeNetwork(stream);
  std::unique_ptr<Order> order(readOrderFromNetwork(stream, nullptr));
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->getType(), OrdT_Move);
  EXPECT_TRUE(order->getDestination().equals(vector3df(100, -50, 25), 0.1f));
}

TEST_F(OrderTest, SavedRecordsWithoutAnOrder) {
  TestObject* object = new TestObject(red);
  UnitAI* ai = new UnitAI(object, false);
  for (uint8_t type : {0, 9, 14, 19, 200}) {
    SaveBytes save({type, 0xAB});
    readOrderFromSave(*save.in, *ai);
    EXPECT_EQ(ai->getOrderCount(), 0u) << int(type);
    EXPECT_EQ(save.in->remaining(), 1u) << int(type);  // the type byte alone
  }
  ai->drop();
  object->drop();
}

TEST_F(OrderTest, SavedRecordsThatCannotBeRead) {
  TestObject* object = new TestObject(red);
  UnitAI* ai = new UnitAI(object, false);
  struct Case {
    std::vector<uint8_t> bytes;
    SaveFileError error;
  };
  const Case cases[] = {
      {{}, {4, "Unexpected EOF"}},
      {{OrdT_Deposit, 0, 0, 0}, {4, "Unexpected EOF"}},
      {{OrdT_Fetch}, {4, "Unexpected EOF"}},
      {{OrdT_Work, 0x01}, {4, "Unexpected EOF"}},
      {{OrdT_Attack, 0x01}, {4, "Unexpected EOF"}},
      {{OrdT_Guard, 0x01, 0x05}, {4, "Unexpected EOF"}},
      {{OrdT_Scuttle}, {4, "Unexpected EOF"}},
      {{OrdT_Transfer, 0x01}, {4, "Unexpected EOF"}},
      {{OrdT_Move, 0, 0}, {4, "Unexpected EOF"}},
  };
  for (const Case& c : cases) {
    SaveBytes save(c.bytes);
    try {
      readOrderFromSave(*save.in, *ai);
      ADD_FAILURE() << "no error for " << c.error.message;
    } catch (const SaveFileError& error) {
      EXPECT_EQ(error, c.error) << error.message;
    }
    EXPECT_EQ(ai->getOrderCount(), 0u);
  }
  ai->drop();
  object->drop();
}

TEST_F(OrderTest, SavedQueueKeepsMoveAndGotoButNotRepeat) {
  TestObject* object = new TestObject(red);
  TestObject* target = new TestObject(blue);
  move_order move(vector3df(10, 20, 30), 1.0f);
  goto_order* go = new goto_order(target, true, 5.0f);
  repeat_orders repeat;

  std::vector<uint8_t> current = saveRecord(move);
  const std::vector<uint8_t> gotoRecord = saveRecord(*go);
  current.insert(current.end(), gotoRecord.begin(), gotoRecord.end());
  current.push_back(OrdT_Repeat);
  std::vector<uint8_t> old = saveRecord(move);
  old.push_back(OrdT_Goto);  // before version 22 a goto is its type byte
  old.push_back(OrdT_Repeat);
  delete go;

  struct Case {
    int32_t version;
    std::vector<uint8_t> bytes;
    std::vector<OrderType> loaded;
  };
  const Case cases[] = {
      {SaveStream::kVersion, current, {OrdT_Move, OrdT_Goto}},
      {22, current, {OrdT_Move, OrdT_Goto}},
      {21, old, {OrdT_Move}},
  };
  for (const Case& c : cases) {
    UnitAI* ai = new UnitAI(object, false);
    SaveBytes save(c.bytes, c.version);
    clearPostObjectTreeSteps();
    for (int i = 0; i < 3; ++i)
      readOrderFromSave(*save.in, *ai);
    runPostObjectTreeSteps();
    EXPECT_EQ(save.in->remaining(), 0u) << c.version;
    ASSERT_EQ(ai->getOrderCount(), c.loaded.size()) << c.version;
    for (uint32_t i = 0; i < c.loaded.size(); ++i)
      EXPECT_EQ(ai->getOrder(i)->getType(), c.loaded[i]) << c.version;
    if (c.loaded.size() > 1) {
      EXPECT_EQ(ai->getOrder(1)->getTarget(), target);
    }
    ai->drop();
  }
  target->drop();
  object->drop();
}

TEST_F(OrderTest, SetTargetHoldsTheObjectFound) {
  TestObject* old = new TestObject(red);
  TestObject* found = new TestObject(red);
  struct Case {
    const char* name;
    uint32_t uid;
    generic_object* expected;
  };
  const Case cases[] = {
      {"present", found->uid, found},
      {"absent", found->uid + 100, nullptr},
      {"no UID", 0, nullptr},
  };
  for (const Case& c : cases) {
    generic_object* slot = old;
    old->grab();
    PostObjectTreeSetTarget step(c.uid, &slot);
    step.run();
    EXPECT_EQ(slot, c.expected) << c.name;
    EXPECT_EQ(old->refCount.load(), 1u) << c.name;  // the slot's reference went
    if (c.expected != nullptr) {
      EXPECT_EQ(found->refCount.load(), 2u) << c.name;
      slot->drop();
    }
  }
  old->drop();
  found->drop();
}

}  // namespace

}  // namespace order_test
