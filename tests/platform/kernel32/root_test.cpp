#include <kplatform/root.h>

#include <filesystem>

#include "temp_root.h"

namespace fs = std::filesystem;

TEST(Root, SettingTheRootLaysOutTheWindowsFolders) {
  kestrel::test::TempRoot root;
  EXPECT_EQ(root.path(), KpGetRoot());
  for (const char* dir : {"c/Windows", "c/Windows/system32", "c/Windows/system32/spool/drivers/x64/3"})
    EXPECT_TRUE(fs::is_directory(root.host(dir))) << dir;
}

TEST(Root, RelativeOrMissingFolderIsRefused) {
  kestrel::test::TempRoot root;
  SetLastError(0);
  EXPECT_FALSE(KpSetRoot("relative/path"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(KpSetRoot(nullptr));
  EXPECT_EQ(root.path(), KpGetRoot());
}
