// Each failure a person can run into gives one readable line, a non-zero exit, and no
// output file, whole or partial.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "tests/qovhost/cli_test_support.h"

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 9;
constexpr uint32_t kHeight = 5;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct ErrorCase {
  const char* name;
  std::vector<std::string> arguments;  // "@name" stands for a file in the scratch directory
  std::string expected;                // part of the message
  int exitCode = kExitFailure;
};

class Errors : public ScratchDirectory {
 protected:
  void SetUp() override {
    ScratchDirectory::SetUp();
    writePicture("in.png", patternPicture(kWidth, kHeight));
    writePicture("small.png", patternPicture(kWidth - 1, kHeight));
    std::ofstream(path("garbage.png")) << "this is not a picture";
    std::ofstream(path("truncated.png"), std::ios::binary)
        << std::ifstream(path("in.png"), std::ios::binary).rdbuf();
    std::filesystem::resize_file(path("truncated.png"), 60);
    std::ofstream(path("fake.so")) << "not a library";
    std::ofstream(path("huge.png"), std::ios::binary) << pngClaimingSize(65535, 65535);
  }

  std::vector<std::string> resolve(const std::vector<std::string>& arguments) const {
    std::vector<std::string> resolved;
    for (const std::string& argument : arguments)
      resolved.push_back(argument.rfind('@', 0) == 0 ? path(argument.substr(1)) : argument);
    return resolved;
  }
};

TEST_F(Errors, EachCaseGivesOneClearLineAndNoOutput) {
  const std::vector<ErrorCase> cases = {
      {"missing plug-in", {"apply", "@nothing.so", "@in.png", "@out.png"}, "plug-in not found: "},
      {"unknown plug-in name", {"apply", "NoSuchPlugin", "@in.png", "@out.png"}, "plug-in not found: NoSuchPlugin"},
      {"not a library", {"apply", "@fake.so", "@in.png", "@out.png"}, "fake.so: not a loadable plug-in library"},
      {"no entry point", {"apply", kNoEntryPoint, "@in.png", "@out.png"}, "not a FreeFrame plug-in"},
      {"refused depth",
       {"apply", kProbe, "@in.png", "@out.png", "--depth", "24"},
       "QovTestProbe refuses 24-bit frames (instantiate failed); try --depth 32"},
      {"unknown parameter",
       {"apply", kProbe, "@in.png", "@out.png", "--set", "Red=1"},
       "unknown parameter \"Red\" for QovTestProbe; valid names: \"Blue\", \"Fail\" (or an index 0..1)"},
      {"index out of range", {"apply", kProbe, "@in.png", "@out.png", "--set", "2=0"}, "parameter index 2 is out"},
      {"not a number",
       {"apply", kProbe, "@in.png", "@out.png", "--set", "blue=lots"},
       "the value of \"Blue\" must be a number, or for a switch yes/no, y/n, on/off or true/false, not \"lots\""},
      {"not a switch word",
       {"apply", kSetMatte1, "@in.png", "@out.png", "--set", "invert all=maybe"},
       "the value of \"Invert All\" must be a switch word (yes/no, y/n, on/off, true/false) or a number (on above "
       "0.5), not \"maybe\""},
      {"misspelt parameter",
       {"apply", kSetMatte1, "@in.png", "@out.png", "--set", "invert alpa=yes"},
       "unknown parameter \"invert alpa\" for QovSetMatte1; did you mean \"Invert Alpha\"? (valid names: "},
      {"misspelt preset",
       {"apply", kSetMatte1, "@in.png", "@out.png", "--preset", "luma-kee"},
       "unknown preset \"luma-kee\" for QovSetMatte1; did you mean luma-key? (presets: defaults, luma-key, "},
      {"unknown preset",
       {"apply", kSetMatte1, "@in.png", "@out.png", "--preset", "sepia"},
       "unknown preset \"sepia\" for QovSetMatte1; presets: defaults, luma-key, "},
      {"preset of a plug-in without",
       {"apply", kMlaa1, "@in.png", "@out.png", "--preset", "luma-key"},
       "QovMLAA1 has no presets; QovSetMatte1 and QovMISetMatte1 have"},
      {"not finite", {"apply", kProbe, "@in.png", "@out.png", "--set", "blue=nan"}, "must be a number"},
      {"no equals sign", {"apply", kProbe, "@in.png", "@out.png", "--set", "blue"}, "--set takes NAME=VALUE"},
      {"missing picture", {"apply", kProbe, "@none.png", "@out.png"}, "cannot read " + path("none.png") + ": No such"},
      {"not a PNG", {"apply", kProbe, "@garbage.png", "@out.png"}, "garbage.png: not a PNG file"},
      {"truncated PNG", {"apply", kProbe, "@truncated.png", "@out.png"}, "truncated.png: damaged PNG file"},
      {"second of another size",
       {"apply", kProbe, "@in.png", "@out.png", "--second", "@small.png"},
       "both inputs must have the same size"},
      {"second without multi",
       {"apply", kProbe, "@in.png", "@out.png", "--second", "@in.png", "--call", "copy"},
       "--second needs --call multi"},
      {"plug-in fails", {"apply", kProbe, "@in.png", "@out.png", "--set", "Fail=1"}, "could not process the frame"},
      {"unwritable output", {"apply", kProbe, "@in.png", "@missing/out.png"}, "cannot write "},
      {"bad depth", {"apply", kProbe, "@in.png", "@out.png", "--depth", "16"}, "--depth", kExitUsage},
      {"bad call", {"apply", kProbe, "@in.png", "@out.png", "--call", "twice"}, "--call", kExitUsage},
      {"bad size", {"stream", kProbe, "--size", "12by4"}, "expected WIDTHxHEIGHT", kExitUsage},
      {"huge picture",
       {"apply", kProbe, "@huge.png", "@out.png"},
       "huge.png: the picture is 65535x65535 pixels; qovhost takes at most 16384 pixels a side"},
      {"not a PNG name", {"apply", kProbe, "@in.png", "@out.jpg"}, "the output file name must end in .png, not \""},
      {"second for one input",
       {"apply", kMlaa1, "@in.png", "@out.png", "--second", "@in.png"},
       "QovMLAA1 takes one input (it declares at most 1 and a second one does not change its output)"},
      {"no subcommand", {}, "a subcommand is required (list, info, apply, stream, bench or demo); run 'qovhost --help'",
       kExitUsage},
      {"unknown subcommand", {"frobnicate"}, "unknown subcommand \"frobnicate\" (list, info, apply", kExitUsage},
      {"misspelt plug-in name",
       {"info", "qovmla1"},
       "plug-in not found: qovmla1; did you mean QovMLAA1? (qovhost list shows the plug-ins found)"},
      {"frei0r name", {"info", "qov_mlaa"}, "the name of a frei0r plug-in; qovhost runs its FreeFrame edition, QovMLAA1"},
#ifdef QOV_FREI0R_MLAA_PATH
      {"frei0r edition",
       {"info", QOV_FREI0R_MLAA_PATH},
       "qov_mlaa.so is a frei0r plug-in, for ffmpeg, melt and GStreamer, not a FreeFrame plug-in; qovhost runs its "
       "FreeFrame edition, QovMLAA1"},
#endif
      {"missing option",
       {"stream", kProbe},
       "--size is required; run 'qovhost stream --help' for more information",
       kExitUsage},
      {"unexpected argument", {"info", kProbe, "extra"}, "extra; run 'qovhost info --help'", kExitUsage},
      {"size with a picture", {"bench", kProbe, "@in.png", "--size", "4x4"}, "--size does not go with an input"},
  };
  const std::vector<std::string> before = files();
  for (const ErrorCase& error : cases) {
    SCOPED_TRACE(error.name);
    const CommandResult result = qovhost(resolve(error.arguments));
    EXPECT_EQ(result.exitCode, error.exitCode);
    EXPECT_NE(result.err.find(error.expected), std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("qovhost: error: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(files(), before);
  }
}

TEST_F(Errors, FailedRunLeavesAnEarlierOutputAsItWas) {
  std::ofstream(path("out.png")) << "earlier result";
  const CommandResult result = qovhost({"apply", kProbe, path("in.png"), path("out.png"), "--set", "Fail=1"});
  EXPECT_EQ(result.exitCode, kExitFailure);
  std::ifstream kept(path("out.png"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "earlier result");
  const std::vector<std::string> expected = {"fake.so",   "garbage.png", "huge.png",
                                             "in.png",    "out.png",     "small.png",
                                             "truncated.png"};
  EXPECT_EQ(files(), expected);
}

// A file of a few bytes that claims a huge picture is refused from its header: under an
// address-space limit far below the picture's size the refusal is the same, and a
// picture within the size limit that does not fit into memory is reported in words.
TEST_F(Errors, HugeClaimsAreRefusedBeforeAnyPixelMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start under an address-space limit (ulimit -v)";
#endif
  constexpr const char* kLimitedRun = "ulimit -v 393216 && exec \"$0\" \"$@\"";  // 384 MiB
  std::ofstream(path("largest.png"), std::ios::binary) << pngClaimingSize(16384, 16384);
  const struct {
    const char* file;
    std::string expected;
  } cases[] = {{"huge.png", "the picture is 65535x65535 pixels; qovhost takes at most 16384 pixels a side"},
               {"largest.png", "not enough memory for a 16384x16384 picture (1024 MiB)"}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.file);
    const CommandResult result =
        runCommand("/bin/sh", {"-c", kLimitedRun, kQovhost, "apply", kMlaa1, path(test.file), path("out.png")});
    EXPECT_EQ(result.exitCode, kExitFailure);
    EXPECT_EQ(result.err, "qovhost: error: cannot read " + path(test.file) + ": " + test.expected + "\n");
  }
}

// A plug-in that cannot get the memory for its working images at this size is not said to
// refuse the depth (which would send the user from one depth to the other): the message
// names the memory and its amount. The frame size comes from stream's --size, so that
// qovhost holds no picture of its own; one thread, so that worker threads' stacks do not
// count against the limit.
TEST(OutOfMemory, InstantiateFailingForMemoryIsNamedAsSuch) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start under an address-space limit (ulimit -v)";
#endif
  constexpr const char* kLimitedRun = "ulimit -v 204800 && QOV_THREADS=1 exec \"$0\" \"$@\"";  // 200 MiB
  for (const char* depth : {"32", "24"}) {
    SCOPED_TRACE(depth);
    const CommandResult result = runCommand(
        "/bin/sh", {"-c", kLimitedRun, kQovhost, "stream", kMlaa1, "--size", "8000x4500", "--depth", depth}, "");
    EXPECT_EQ(result.exitCode, kExitFailure);
    EXPECT_TRUE(std::regex_match(result.err, std::regex("qovhost: error: QovMLAA1 could not get the memory it needs "
                                                        "for " + std::string(depth) + "-bit frames of 8000x4500 "
                                                        "\\(about [0-9]+ MiB; it takes smaller frames\\)\n")))
        << result.err;
  }
}

}  // namespace
}  // namespace qov::test
