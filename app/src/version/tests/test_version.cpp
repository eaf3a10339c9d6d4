#include "version.h"
#include "vesk_version.h"

#include <gtest/gtest.h>

#include <errno.h>

#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace {

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Version, ProgramLineNamesTheExecutableAndFollowsTheFormat)
{
    char line[VESK_VERSION_LINE_MAX];
    vesk_version_program_line(line, sizeof line, "APP", vesk_version_basename("./x"));
    std::string expect = std::string("APP:\t <x>\t (") + vesk_build_date() + "," + vesk_build_time() + ") [" +
                         vesk_build_revision() + "] on {" + vesk_build_branch() + "}";
    EXPECT_EQ(line, expect);
    EXPECT_STREQ(vesk_version_basename("/usrdata/bin/sightd"), "sightd");
    EXPECT_STREQ(vesk_version_basename("sightd"), "sightd");
}

TEST(Version, AppendWritesOneLineAndCannotBeMadeToForgeAnother)
{
    char dir[] = "/tmp/vesk-version-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/apps.version";
    ASSERT_EQ(vesk_version_append(path.c_str(), "APP:\t <a>"), 0);
    ASSERT_EQ(vesk_version_append(path.c_str(), "UI:\t <b\nSN:\t <forged>`rm -rf /`"), 0);
    EXPECT_EQ(slurp(path), "APP:\t <a>\nUI:\t <b?SN:\t <forged>`rm -rf /`\n");
    unlink(path.c_str());
    rmdir(dir);
}

TEST(Version, ReplaceTakesTheLabelsLinesAndKeepsTheRest)
{
    char dir[] = "/tmp/vesk-version-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/apps.version";
    /* No file yet: the line is the file. */
    ASSERT_EQ(vesk_version_replace(path.c_str(), "SN", "SN:\t <sn>\t [A1]"), 0);
    EXPECT_EQ(slurp(path), "SN:\t <sn>\t [A1]\n");
    ASSERT_EQ(vesk_version_append(path.c_str(), "UI:\t <qel_menu>"), 0);
    ASSERT_EQ(vesk_version_append(path.c_str(), "SNX:\t <other>"), 0);
    ASSERT_EQ(vesk_version_replace(path.c_str(), "SN", "SN:\t <sn>\t [B2\nPN: forged]"), 0);
    EXPECT_EQ(slurp(path), "SN:\t <sn>\t [B2?PN: forged]\nUI:\t <qel_menu>\nSNX:\t <other>\n");
    ASSERT_EQ(vesk_version_replace(path.c_str(), "PN", "PN:\t <pn>\t [P]"), 0);
    EXPECT_EQ(slurp(path), "SN:\t <sn>\t [B2?PN: forged]\nUI:\t <qel_menu>\nSNX:\t <other>\nPN:\t <pn>\t [P]\n");
    EXPECT_EQ(vesk_version_replace(path.c_str(), "", "x"), -EINVAL);
    unlink(path.c_str());
    rmdir(dir);
}

TEST(Version, TrimTable)
{
    struct Row {
        const char *in;
        char ch;
        const char *out;
        int len;
    } rows[] = {
        {"  ab  ", ' ', "ab", 2}, {"xxx", 'x', "", 0}, {"abc", ' ', "abc", 3},
        {"--a-b", '-', "a-b", 3}, {"", '-', "", 0},
    };
    for (const Row &r : rows) {
        char buf[16];
        strcpy(buf, r.in);
        EXPECT_EQ(rm_start_end_ch(buf, (int)strlen(r.in), r.ch), r.len) << r.in;
        EXPECT_STREQ(buf, r.out) << r.in;
    }
    EXPECT_EQ(rm_start_end_ch(nullptr, 4, ' '), 0);
}

} // namespace
