#include <gtest/gtest.h>

#include <thread>

#include "core/threads.h"
#include "platform/bit_stream.h"

namespace scratch_stream_test {

namespace {

TEST(ScratchStreamTest, EachSetUpGivesAFreshEmptyStream) {
  std::thread([] {
    ThreadLocals& record = threadLocals();
    EXPECT_EQ(record.scratchStream, nullptr);
    initThreadLocals();
    ASSERT_NE(record.scratchStream, nullptr);
    EXPECT_EQ(record.scratchStream->GetNumberOfBitsUsed(), 0u);
    record.scratchStream->Write(uint32_t{7});

    initThreadLocals();
    ASSERT_NE(record.scratchStream, nullptr);
    EXPECT_EQ(record.scratchStream->GetNumberOfBitsUsed(), 0u);

    freeThreadLocals();
    EXPECT_EQ(record.scratchStream, nullptr);
  }).join();
}

}  // namespace

}  // namespace scratch_stream_test
