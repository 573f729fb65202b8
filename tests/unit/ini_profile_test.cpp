#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/ini_profile.h"
#include "test_support.h"

TEST(IniProfile, ReadsWritesAndKeepsOtherContent)
{
    TempDir dir;
    const std::string path = dir.File("vokta4.ini");
    EXPECT_EQ(ReadIniString(path, "VOKTA4", "PORT", "0"), "0");
    dir.Write("vokta4.ini", "; comment\n[Other]\nPORT=elsewhere\n[VOKTA4]\nKEEP=1\n");
    EXPECT_EQ(ReadIniString(path, "VOKTA4", "PORT", "0"), "0");
    ASSERT_TRUE(WriteIniString(path, "VOKTA4", "PORT", "/dev/ttyUSB0"));
    EXPECT_EQ(ReadIniString(path, "VOKTA4", "PORT", "0"), "/dev/ttyUSB0");
    ASSERT_TRUE(WriteIniString(path, "VOKTA4", "PORT", "/dev/ttyUSB1"));
    EXPECT_EQ(ReadIniString(path, "VOKTA4", "PORT", "0"), "/dev/ttyUSB1");
    EXPECT_EQ(ReadIniString(path, "Other", "PORT", "0"), "elsewhere");
    EXPECT_EQ(ReadIniString(path, "VOKTA4", "KEEP", "0"), "1");
    std::stringstream all;
    all << std::ifstream(path).rdbuf();
    EXPECT_NE(all.str().find("; comment"), std::string::npos);
}

TEST(IniProfile, AnEmptyPortIsStoredAsEmpty)
{
    TempDir dir;
    const std::string path = dir.File("p.ini");
    ASSERT_TRUE(WriteIniString(path, "VOKTA4", "PORT", ""));
    EXPECT_EQ(ReadIniString(path, "VOKTA4", "PORT", "0"), "");
}
