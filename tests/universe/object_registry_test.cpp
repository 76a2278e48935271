#include "universe/objects/object_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "app/base/startup.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "support/log_capture.h"
#include "universe_fixture.h"

namespace object_registry_test {

namespace {

using RegistryTest = UniverseTest;

// True when `line` is `prefix`, one or more hex digits and a line end.
bool isDeletionLine(const std::string& line, const std::string& prefix) {
  if (line.size() < prefix.size() + 2 || line.compare(0, prefix.size(), prefix) != 0 || line.back() != '\n')
    return false;
  const std::string digits = line.substr(prefix.size(), line.size() - prefix.size() - 1);
  return digits.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST_F(RegistryTest, ObjectsTakeConsecutiveUidsAndReleasedOnesAreGone) {
  TestObject* first = new TestObject(red);
  TestObject* second = new TestObject(red);
  EXPECT_EQ(second->uid, first->uid + 1);
  EXPECT_EQ(getObjectByUID(first->uid), first);

  const uint32_t uid = first->uid;
  EXPECT_TRUE(first->drop());
  EXPECT_EQ(getObjectByUID(uid), nullptr);
  EXPECT_EQ(getObjectByUIDRef(uid), nullptr);

  generic_object* found = getObjectByUIDRef(second->uid);
  ASSERT_EQ(found, second);
  EXPECT_EQ(second->refCount.load(), 2);
  EXPECT_FALSE(found->drop());
  EXPECT_TRUE(second->drop());
}

TEST_F(RegistryTest, LoadedUidsMoveTheCounterAndTheHighWaterMark) {
  uidHighWater = 1;
  // The base record reader registers UID 500 and notes 501; the loader
  // then continues above the high-water mark.
  noteLoadedUid(501);
  noteLoadedUid(40);
  EXPECT_EQ(nextUid.load(), 40u);
  EXPECT_EQ(uidHighWater.load(), 501u);
  nextUid = uidHighWater + 1;
  TestObject* object = new TestObject(red);
  EXPECT_EQ(object->uid, 502u);
  object->drop();
}

TEST_F(RegistryTest, ReportsUndeletedObjectsInUidOrder) {
  LogCapture log;
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");

  TestObject* alpha = new TestObject(red, OT_Generic, L"Alpha");
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "1 objects have not been deleted\n Alpha (1 refs)\n");

  // A second object taking over the UID is an error, and the first object's
  // release leaves the second one's entry alone.
  TestObject* beta = new TestObject(red, OT_Generic, L"Beta");
  registerUid(alpha->uid, beta);
  EXPECT_NE(log.take().find("already taken"), std::string::npos);
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "2 objects have not been deleted\n Beta (1 refs) (mismatched UID!)\n Beta (1 refs)\n");
  const uint32_t alphaUid = alpha->uid;
  alpha->drop();
  EXPECT_EQ(getObjectByUID(alphaUid), beta);
  unregisterUid(alphaUid, beta);
  beta->drop();
}

TEST_F(RegistryTest, DebugInfoLogsEachDeletion) {
  struct Case {
    int type;
    const char* line;
  };
  const Case cases[] = {
      {OT_Planet, "Deleting Planet 'Alpha' located at 0x"},
      {OT_Star, "Deleting Star   'Alpha' located at 0x"},
      {OT_Galaxy, "Deleting Galaxy located at 0x"},
      {OT_Generic, "Deleting Object 'Alpha' located at 0x"},
  };
  const bool debugBefore = debugInfo;
  const int levelBefore = logLevel;
  debugInfo = true;
  logLevel = 0;
  LogCapture log;
  for (const Case& c : cases) {
    (new TestObject(red, c.type, L"Alpha"))->drop();
    const std::string line = log.take();
    EXPECT_TRUE(isDeletionLine(line, c.line)) << line;
  }
  solarSystem* system = new solarSystem();
  system->name = L"Alpha";
  system->drop();
  const std::string systemLine = log.take();
  EXPECT_TRUE(isDeletionLine(systemLine, "Deleting System 'Alpha' located at 0x")) << systemLine;

  // Without "-debuginfo", or above the information level, nothing.
  logLevel = 1;
  (new TestObject(red, OT_Generic, L"Alpha"))->drop();
  debugInfo = false;
  logLevel = 0;
  (new TestObject(red, OT_Generic, L"Alpha"))->drop();
  EXPECT_EQ(log.take(), "");
  debugInfo = debugBefore;
  logLevel = levelBefore;
}

TEST_F(RegistryTest, NetworkReferencesCarryTheUid) {
  LogCapture log;
  TestObject* object = new TestObject(red);
  RakNet::BitStream stream;
  writeNetObjectRef(stream, object);
  writeNetObjectRef(stream, nullptr);
  EXPECT_EQ(readNetUInt(stream), object->uid);
  EXPECT_EQ(readNetUInt(stream), 0u);
  EXPECT_EQ(log.take(), "");
  object->drop();
}

TEST_F(RegistryTest, DestroyByUidDeletesAnObjectNobodyElseHolds) {
  singleThreaded = false;
  solarSystem* system = new solarSystem();
  TestObject* object = new TestObject(red);
  object->setContainer(system);
  const uint32_t uid = object->uid;
  // The object's own reference and the system's: both go.
  EXPECT_TRUE(destroyObjectByUID(uid));
  EXPECT_EQ(getObjectByUID(uid), nullptr);
  EXPECT_EQ(system->children.size(), 0u);
  EXPECT_FALSE(destroyObjectByUID(uid));
  system->drop();
}

TEST_F(RegistryTest, ManyThreadsMakeAndDropObjects) {
  constexpr int kThreads = 8;
  constexpr int kObjectsPerThread = 100000 / kThreads;
  std::vector<std::vector<uint32_t>> uids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &uids] {
      for (int i = 0; i < kObjectsPerThread; ++i) {
        TestObject* object = new TestObject(red);
        uids[t].push_back(object->uid);
        if (getObjectByUID(object->uid) != object)
          ADD_FAILURE() << "object not found by its UID";
        object->drop();
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  std::set<uint32_t> all;
  for (const auto& list : uids)
    all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kObjectsPerThread)) << "a UID was handed out twice";
  EXPECT_EQ(registeredObjectCount(), 0u);
}

}  // namespace

}  // namespace object_registry_test
