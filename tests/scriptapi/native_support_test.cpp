// The guards natives share: an object's lock, a system's own lock and a held
// handle argument are given back on every path, an exception passing
// through included; a client request leaves through the network manager
// with its channel and reliability, and a request with nothing to say does
// not leave.
#include "scriptapi/native_support.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "support/sent_messages.h"
#include "universe/galaxy_fixture.h"

namespace native_support_test {

namespace {

class NativeSupportTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    system_ = addSystems(1).front();
    object_ = new TestObject(red);
    object_->setContainer(system_);
  }
  void TearDown() override {
    stopCapturingSends();
    GalaxyTest::TearDown();
  }
  unsigned depth() const { return system_->lock->depth(); }

  solarSystem* system_ = nullptr;
  generic_object* object_ = nullptr;
};

TEST_F(NativeSupportTest, GuardsAreReleasedOnEveryPath) {
  enum class Leave { Normally, ByException };
  for (Leave leave : {Leave::Normally, Leave::ByException}) {
    SCOPED_TRACE(leave == Leave::Normally ? "normally" : "by an exception");
    const int references = object_->refCount.load();
    object_->grab();  // the reference a plain handle argument brings
    try {
      const HeldHandle<generic_object> held(object_);
      const ObjectLock objectLock(object_);
      EXPECT_EQ(depth(), 1u);
      {
        const SystemLock systemLock(system_);  // re-entrant
        EXPECT_EQ(depth(), 2u);
      }
      if (leave == Leave::ByException)
        throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(depth(), 0u);
    EXPECT_EQ(object_->refCount.load(), references);
  }
  // Null holds nothing and a null system locks nothing.
  const HeldHandle<generic_object> none(nullptr);
  const SystemLock noSystem(nullptr);
  EXPECT_FALSE(none);
}

TEST_F(NativeSupportTest, ClientRequestsLeaveWithTheirChannelAndReliability) {
  std::vector<SentMessage> sent;
  captureSends(sent);
  sendClientRequest(8, RakNet::RELIABLE_ORDERED, [](RakNet::BitStream& stream) {
    stream.Write(uint8_t{133});
    stream.Write(uint32_t{0x01020304});
    return true;
  });
  sendClientRequest(0, RakNet::RELIABLE, [](RakNet::BitStream& stream) {
    stream.Write(uint8_t{1});
    return false;
  });
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{133, 1, 2, 3, 4}));
  EXPECT_EQ(sent[0].channel, 8);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(sent[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

}  // namespace
}  // namespace native_support_test
