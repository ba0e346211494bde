#include "purge/purge_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PurgeFilePath, NamesTheServiceFilesInDeletionOrder) {
    std::vector<std::u16string> paths;
    for (size_t index = 0; index < PURGE_FILE_COUNT; ++index) {
        char16_t path[PURGE_PATH_UNITS];
        ASSERT_TRUE(PurgeFilePath(u"C:\\Windows", index, path));
        paths.push_back(path);
    }
    EXPECT_EQ(paths, (std::vector<std::u16string>{u"C:\\Windows\\ZELKSrv.exe", u"C:\\Windows\\ZELKSrv.evt",
                                                  u"C:\\Windows\\ZELKSrv.log"}));
    char16_t path[PURGE_PATH_UNITS];
    EXPECT_FALSE(PurgeFilePath(u"C:\\Windows", PURGE_FILE_COUNT, path));
}

TEST(PurgeFilePath, RefusesAPathThatWouldBeCutOff) {
    // A directory, a backslash, "ZELKSrv.exe" (11 units) and the terminator fill the buffer exactly.
    const std::u16string fits(PURGE_PATH_UNITS - 1 - 11 - 1, u'd');
    const std::u16string tooLong = fits + u"d";
    char16_t path[PURGE_PATH_UNITS];
    EXPECT_TRUE(PurgeFilePath(fits.c_str(), 0, path));
    EXPECT_EQ(std::u16string(path), fits + u"\\ZELKSrv.exe");
    EXPECT_FALSE(PurgeFilePath(tooLong.c_str(), 0, path));
}

} // namespace
