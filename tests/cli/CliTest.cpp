#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace cantorel::test;

namespace {
ProcessResult cli(const std::vector<std::string>& args)
{
    return runProcess(builtProgram("cantorel-cli"), args, {"LC_ALL=C"});
}
} // namespace

TEST(Cli, ConfigAsJson)
{
    TempDir dir;
    dir.makeDir("music");
    dir.write("c.ini", "WindowTitle = Tom \"Q\" Jones\nMP3RootDir = music\nAllowEdit = yes\nString3 = h\n"
                       "genre017 = Rock\ngenre-01 = None\nOEMCodePage = 866\n");
    const ProcessResult r = cli({"--config", dir / "c.ini", "--json", "config"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("\"WindowTitle\": \"Tom \\\"Q\\\" Jones\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"MP3RootDir\": \"" + dir.path() + "music/\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"AllowEdit\": true"), std::string::npos);
    EXPECT_NE(r.out.find("\"TXTCodePage\": \"oem\""), std::string::npos);
    EXPECT_NE(r.out.find("\"TAGCodePage\": \"ansi\""), std::string::npos);
    EXPECT_NE(r.out.find("\"OEMCodePage\": 866"), std::string::npos);
    EXPECT_NE(r.out.find("\"ANSICodePage\": 1252"), std::string::npos);
    EXPECT_NE(r.out.find("\"UIStrings\": [\n    \"String1\",\n    \"String2\",\n    \"h\","), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"String50\"\n  ]"), std::string::npos);
    EXPECT_NE(r.out.find("\"Number\": 17,\n      \"GenreName\": \"Rock\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Number\": 255,\n      \"GenreName\": \"None\""), std::string::npos);
}

TEST(Cli, StatusAndMessages)
{
    TempDir dir;
    dir.write("bad.ini", "\nAllowEdit = perhaps\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string outContains;
        std::string err;
    } cases[] = {
        {{"--config", dir / "bad.ini", "config"}, 2, "", "Invalid parameter value in line 2\n"},
        {{"--config", dir / "none.ini", "config"}, 2, "", "Unable to open file " + dir.path() + "none.ini\n"},
        {{"--help"}, 0, "Usage: cantorel-cli", ""},
        {{"version"}, 0, "cantorel-cli ", ""},
        {{"--json", "version"}, 0, "\"version\": ", ""},
        {{"--config", dir / "bad.ini", "version"}, 0, "cantorel-cli ", ""},
    };
    for (const auto& c : cases) {
        const ProcessResult r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_NE(r.out.find(c.outContains), std::string::npos) << r.out;
        EXPECT_EQ(r.err, c.err);
    }
    const ProcessResult unknown = cli({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(cli({}).status, 2);
}

TEST(Cli, WithoutConfigReadsTheIniBesideTheProgram)
{
    // The build tree holds no cantorel.ini beside cantorel-cli, so the message names it.
    const ProcessResult r = cli({"config"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Unable to open file " + std::string(CANTOREL_BIN_DIR) + "/cantorel.ini\n");
}
