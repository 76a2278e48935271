#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/forked_call.h"

namespace process_test {

namespace {

// True when `fd` is open on /dev/null with the access mode `mode`.
bool onDevNull(int fd, int mode) {
  struct stat info, null;
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) == mode && ::fstat(fd, &info) == 0 && ::stat("/dev/null", &null) == 0 &&
         S_ISCHR(info.st_mode) && info.st_rdev == null.st_rdev;
}

TEST(ProcessTest, ClosedStandardDescriptorsAreOpenedOnDevNull) {
  // Each combination of closed descriptors, in a child so the test's own
  // descriptors stay as they are.
  for (int closed = 1; closed < 8; ++closed) {
    EXPECT_EQ(runInChild([closed] {
                for (int fd = 0; fd <= 2; ++fd)
                  if (closed & (1 << fd))
                    ::close(fd);
                if (!plat::ensureStandardDescriptors())
                  return 1;
                for (int fd = 0; fd <= 2; ++fd)
                  if ((closed & (1 << fd)) && !onDevNull(fd, fd == 0 ? O_RDONLY : O_WRONLY))
                    return 2;
                // A file opened afterwards no longer takes a standard number.
                const int next = ::open("/dev/null", O_RDONLY);
                return next > 2 ? 0 : 3;
              }),
              0)
        << "closed mask " << closed;
  }
  // Open descriptors are left alone.
  struct stat before, after;
  ASSERT_EQ(::fstat(1, &before), 0);
  EXPECT_TRUE(plat::ensureStandardDescriptors());
  ASSERT_EQ(::fstat(1, &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_dev, after.st_dev);
}

}  // namespace

}  // namespace process_test
