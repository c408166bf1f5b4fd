// Path handling of the module load: the directory of the module file and PATH.
#include "host/module_load.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace drawlet {
namespace {

using platform::removeFileSpec;

TEST(RemoveFileSpec, DropsTheLastComponent) {
    EXPECT_EQ(removeFileSpec("/opt/tools/plugins/Drawlet.auf"), "/opt/tools/plugins");
    EXPECT_EQ(removeFileSpec("relative/dir/x.auf"), "relative/dir");
    EXPECT_EQ(removeFileSpec("/x.auf"), "/");  // the root keeps its separator
    EXPECT_EQ(removeFileSpec("x.auf"), "");
    EXPECT_EQ(removeFileSpec(""), "");
    EXPECT_EQ(removeFileSpec("/a//b.auf"), "/a");
    EXPECT_EQ(removeFileSpec("D:\\tools\\plugins\\Drawlet.auf"), "D:\\tools\\plugins");
}

TEST(PathValue, AppendsWithTheSystemSeparator) {
    EXPECT_EQ(platform::appendedPathValue("A:B", "/opt/plugins"), "A:B:/opt/plugins");
    EXPECT_EQ(platform::appendedPathValue("", "/opt/plugins"), ":/opt/plugins");
    // No PATH at all: the directory alone, not an empty first entry.
    EXPECT_EQ(platform::appendedPathValue(nullptr, "/opt/plugins"), "/opt/plugins");
    // Already an entry, wherever it stands: the value as it was.
    for (const char* present : {"/opt/plugins", "/opt/plugins:/bin", "/bin:/opt/plugins:/usr"})
        EXPECT_EQ(platform::appendedPathValue(present, "/opt/plugins"), present);
    EXPECT_EQ(platform::appendedPathValue("/opt/plugins/x:/opt", "/opt/plugins"),
              "/opt/plugins/x:/opt:/opt/plugins");
}

TEST(ModuleLoad, RecordsTheDirectoryAndExtendsPath) {
    const std::string directory = removeFileSpec(platform::moduleFilePath());
    ASSERT_FALSE(directory.empty());
    const char* saved = std::getenv("PATH");
    const std::string savedPath = saved ? saved : "";
    setenv("PATH", "/first:/second", 1);
    onProcessAttach();
    EXPECT_EQ(std::string(moduleDir), directory);
    EXPECT_EQ(std::string(std::getenv("PATH")), "/first:/second:" + directory);
    onProcessAttach();  // loaded again: the folder is found, not added twice
    EXPECT_EQ(std::string(std::getenv("PATH")), "/first:/second:" + directory);
    unsetenv("PATH");
    onProcessAttach();
    EXPECT_EQ(std::string(std::getenv("PATH")), directory);
    setenv("PATH", savedPath.c_str(), 1);
}

TEST(TickCount, Advances) {
    const std::uint32_t start = platform::tickCountMs();
    struct timespec pause {
        0, 20 * 1000 * 1000
    };
    nanosleep(&pause, nullptr);
    const std::uint32_t elapsed = platform::tickCountMs() - start;
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
}  // namespace drawlet
