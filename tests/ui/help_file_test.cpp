// SPDX-License-Identifier: Apache-2.0
// Where the program finds its help file: beside itself in a build tree, under
// its install prefix's share/ostrel/ once installed.
#include "support/test_files.h"
#include "ui/help/help_file.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {
const std::string kFromBin = OSTREL_HELP_DIR_FROM_BIN;

void Touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFileBytes(path, Bytes{'<', 'p', '>'});
}
} // namespace

TEST(Help, InstalledFileIsNamedAfterTheProgramInTheShareFolderBesideBin) {
    EXPECT_EQ(kFromBin, "../share/ostrel"); // the GNU layout: bin/ and share/ under the prefix
    const struct {
        const char* pszProgram;
        std::string strExpected;
    } cases[] = {
        {"/usr/bin/ostrel", "/usr/bin/" + kFromBin + "/ostrel.HLP"},
        {"/usr/local/bin/ostrel", "/usr/local/bin/" + kFromBin + "/ostrel.HLP"},
        {"/opt/x.d/bin/ostrel.bin", "/opt/x.d/bin/" + kFromBin + "/ostrel.HLP"},
        {"/ostrel", "/" + kFromBin + "/ostrel.HLP"},
        {"ostrel", "./" + kFromBin + "/ostrel.HLP"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InstalledHelpFilePath(c.pszProgram), c.strExpected) << c.pszProgram;
}

TEST(Help, LookupPrefersTheFileBesideTheProgramThenTheInstalledOne) {
    CTempDir root;
    const std::string strProgram = root / "usr/bin/ostrel";
    const std::string strBeside = root / "usr/bin/ostrel.HLP";
    const std::string strInstalled = root / "usr/share/ostrel/ostrel.HLP";
    std::filesystem::create_directories(root / "usr/bin");

    // Neither there: the file beside, so that opening it fails as before.
    EXPECT_EQ(LocateHelpFile(strProgram), strBeside);
    Touch(strInstalled);
    EXPECT_EQ(std::filesystem::canonical(LocateHelpFile(strProgram)),
              std::filesystem::canonical(strInstalled));
    // Reached through a linked folder (/bin -> usr/bin), "bin/.." is the
    // link's target's parent: the same installed file.
    std::filesystem::create_directory_symlink("usr/bin", root / "bin");
    EXPECT_EQ(std::filesystem::canonical(LocateHelpFile(root / "bin/ostrel")),
              std::filesystem::canonical(strInstalled));
    Touch(strBeside);
    EXPECT_EQ(LocateHelpFile(strProgram), strBeside);
}
