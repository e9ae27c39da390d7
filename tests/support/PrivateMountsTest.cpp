// A test's private tmpfs hides what lies below a path while it is mounted and
// leaves the directory as it was afterwards.
#include "PrivateMounts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "TempDir.h"

namespace {

TEST(PrivateMounts, TmpfsHidesTheDirectoryUntilUnmounted) {
    TempDir dir("private-mounts");
    const std::string marker = dir.File("marker");
    std::ofstream(marker) << "outside";
    {
        PrivateMounts mounts(dir.Path());
        if (!mounts.Ok())
            GTEST_SKIP() << mounts.Error();
        struct stat st;
        EXPECT_NE(::stat(marker.c_str(), &st), 0) << "the tmpfs hides the directory's contents";
        std::ofstream(dir.File("inside")) << "inside";
        EXPECT_EQ(::stat(dir.File("inside").c_str(), &st), 0);
    }
    // Unmounted: the original contents are back and the file written inside is gone.
    std::ifstream in(marker);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "outside");
    struct stat st;
    EXPECT_NE(::stat(dir.File("inside").c_str(), &st), 0);
}

}  // namespace
