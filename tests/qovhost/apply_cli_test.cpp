// qovhost apply and info on small pictures: the frame layout, the three call paths, two
// inputs, parameters by name and index, and the descriptor tables.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>

#include "plugins/QovMISetMatte1/identity.h"
#include "plugins/QovMLAA1/identity.h"
#include "plugins/QovSetMatte1/identity.h"
#include "tests/qovhost/cli_test_support.h"
#include "tools/qovhost/png_io.h"

namespace qov::test {
namespace {

using qovhost::readPng;
using qovhost::RgbaImage;

constexpr uint32_t kWidth = 13;
constexpr uint32_t kHeight = 7;

class Apply : public ScratchDirectory, public ::testing::WithParamInterface<std::string> {};

TEST_P(Apply, EveryCallPathDeliversTheProbesBytesInTheFrameLayout) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  const CommandResult result =
      qovhost({"apply", kProbe, in, path("out.png"), "--set", "blue=0.5", "--call", GetParam()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const RgbaImage output = readPng(path("out.png"));
  EXPECT_EQ(output.pixels, probeResult(input, input, 0.5f).pixels);
}

INSTANTIATE_TEST_SUITE_P(CallPaths, Apply, ::testing::Values("frame", "copy", "multi"));

class ApplyTwoInputs : public ScratchDirectory {};

TEST_F(ApplyTwoInputs, SecondInputReachesThePlugInThroughTheFrameSet) {
  const RgbaImage first = patternPicture(kWidth, kHeight);
  const RgbaImage second = patternPicture(kWidth, kHeight, 77);
  const std::string a = writePicture("a.png", first);
  const std::string b = writePicture("b.png", second);
  // Parameters by index, and --second choosing processFrameMulti by itself.
  const CommandResult result = qovhost({"apply", kProbe, a, path("out.png"), "--second", b, "--set", "0=1"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readPng(path("out.png")).pixels, probeResult(first, second, 1.0f).pixels);
}

// Our own plug-ins at both depths and through every call: the result is a picture of
// the input's size, RGBA at 32 bits and opaque RGB at 24 bits.
TEST_F(ApplyTwoInputs, OurPlugInsTakeBothDepthsAndEveryCall) {
  const std::string in = writePicture("in.png", patternPicture(kWidth, kHeight));
  for (const std::string& plugin : {kMlaa1, kSetMatte1, kMISetMatte1})
    for (const std::string depth : {"24", "32"})
      for (const std::string call : {"frame", "copy", "multi"}) {
        SCOPED_TRACE(plugin + " --depth " + depth + " --call " + call);
        const CommandResult result =
            qovhost({"apply", plugin, in, path("out.png"), "--depth", depth, "--call", call});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const RgbaImage output = readPng(path("out.png"));
        EXPECT_EQ(output.width, kWidth);
        EXPECT_EQ(output.height, kHeight);
        if (depth == "24") {
          for (std::size_t i = 3; i < output.pixels.size(); i += 4) ASSERT_EQ(output.pixels[i], 255);
        }
      }
}

// Mattes do nothing to 24-bit frames, and qovhost says so, whichever call carries the
// frame; the antialiasing does change them, and gets no warning.
TEST_F(ApplyTwoInputs, EffectsThatDoNothingTo24BitFramesAreNamed) {
  const std::string in = writePicture("in.png", patternPicture(kWidth, kHeight));
  const std::string warning = " does nothing to 24-bit frames (it changes 32-bit frames only); use --depth 32\n";
  for (const auto& [plugin, name, warned] :
       {std::tuple{kMlaa1, "QovMLAA1", false}, {kSetMatte1, "QovSetMatte1", true}, {kMISetMatte1, "QovMISetMatte1", true}})
    for (const std::string call : {"frame", "copy", "multi"}) {
      SCOPED_TRACE(std::string(name) + " --call " + call);
      const CommandResult result = qovhost({"apply", plugin, in, path("out.png"), "--depth", "24", "--call", call});
      ASSERT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(result.err, warned ? "qovhost: warning: " + std::string(name) + warning : "");
    }
  const CommandResult twoInputs =
      qovhost({"apply", kMISetMatte1, in, path("out.png"), "--second", in, "--set", "red amount=0.0001"});
  EXPECT_EQ(twoInputs.exitCode, 0) << twoInputs.err;
  EXPECT_EQ(twoInputs.err, "");
}

// "Strength" 0 hands the input through unchanged, whichever call carries the frame: the
// conversion from PNG to frame and back loses nothing at 32 bits and only alpha at 24.
TEST_F(ApplyTwoInputs, AntialiasingAtStrengthZeroReturnsTheInput) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  RgbaImage opaque = input;
  for (std::size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  for (const std::string depth : {"24", "32"})
    for (const std::string call : {"frame", "copy", "multi"}) {
      SCOPED_TRACE("--depth " + depth + " --call " + call);
      const CommandResult result = qovhost(
          {"apply", kMlaa1, in, path("out.png"), "--set", "STRENGTH=0", "--depth", depth, "--call", call});
      ASSERT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(readPng(path("out.png")).pixels, depth == "32" ? input.pixels : opaque.pixels);
    }
}

TEST_F(ApplyTwoInputs, ValuesOutsideTheRangeAreWarnedAboutAndPassedOn) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  const CommandResult result = qovhost({"apply", kProbe, in, path("out.png"), "--set", " Blue = 1.5 "});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("warning: \"Blue\" = 1.5 is outside 0..1"), std::string::npos) << result.err;
  // The probe does not clamp: the low byte of 1.5 x 255 = 382.
  EXPECT_EQ(readPng(path("out.png")).at(0, 0)[2], 382 & 0xFF);
}

class OutputTargets : public ScratchDirectory {};

bool isFifo(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode);
}

// A symbolic link stays one, its target gets the picture; a pipe and devices are written
// into and stay what they were. The devices come last: only once the pipe has shown that
// non-files are not replaced, since as root a rename would replace the system's own.
TEST_F(OutputTargets, LinksPipesAndDevicesStayWhatTheyWere) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  const RgbaImage expected = probeResult(input, input, 1.0f);
  std::filesystem::create_directory(path("sub"));
  std::filesystem::create_symlink("sub/target.png", path("link.png"));
  for (int run = 0; run < 2; ++run) {  // first a link to nothing yet, then to the file just written
    SCOPED_TRACE(run);
    const CommandResult result = qovhost({"apply", kProbe, in, path("link.png"), "--set", "blue=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.png")));
    EXPECT_EQ(readPng(path("sub/target.png")).pixels, expected.pixels);
  }
  EXPECT_EQ(files(), (std::vector<std::string>{"in.png", "link.png", "sub"}));

  // The picture is far smaller than a pipe's buffer: it waits there until read.
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  const int reader = ::open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const CommandResult piped = qovhost({"apply", kProbe, in, path("pipe"), "--set", "blue=1"});
  std::string bytes(1 << 16, '\0');
  const ssize_t got = ::read(reader, bytes.data(), bytes.size());
  ::close(reader);
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  ASSERT_TRUE(isFifo(path("pipe")));
  ASSERT_GT(got, 8);
  EXPECT_EQ(bytes.substr(1, 3), "PNG");

  struct stat before;
  ASSERT_EQ(::stat("/dev/full", &before), 0);
  const CommandResult full = qovhost({"apply", kProbe, in, "/dev/full"});
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_EQ(full.err, "qovhost: error: cannot write /dev/full: No space left on device\n");
  const CommandResult null = qovhost({"apply", kProbe, in, "/dev/null"});
  EXPECT_EQ(null.exitCode, 0) << null.err;
  for (const char* device : {"/dev/full", "/dev/null"}) {
    struct stat after;
    ASSERT_EQ(::stat(device, &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode)) << device;
  }
  EXPECT_EQ(files(), (std::vector<std::string>{"in.png", "link.png", "pipe", "sub"}));
}

// The names of an open descriptor write into that descriptor, whatever it leads to: a pipe
// here, and a file the shell opened, where bytes written before qovhost's stay.
TEST_F(OutputTargets, DescriptorNamesWriteIntoTheOpenDescriptor) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  const RgbaImage expected = probeResult(input, input, 1.0f);
  for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    SCOPED_TRACE(name);
    const CommandResult result = qovhost({"apply", kProbe, in, name, "--set", "blue=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(result.out.substr(1, 3), "PNG");
    std::ofstream(path("piped.png"), std::ios::binary) << result.out;
    EXPECT_EQ(readPng(path("piped.png")).pixels, expected.pixels);
  }
  const std::string script = "{ printf HEAD; \"$0\" apply \"$1\" \"$2\" /dev/stdout --set blue=1; } > \"$3\"";
  const CommandResult redirected =
      runCommand("/bin/sh", {"-c", script, kQovhost, kProbe, in, path("redirected")});
  ASSERT_EQ(redirected.exitCode, 0) << redirected.err;
  std::ifstream file(path("redirected"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  ASSERT_EQ(bytes.substr(0, 5), "HEAD\x89");
  std::ofstream(path("from-file.png"), std::ios::binary) << bytes.substr(4);
  EXPECT_EQ(readPng(path("from-file.png")).pixels, expected.pixels);
}

// A run stopped by a signal while it writes leaves the folder as it was, and ends as that
// signal ends a program. The picture is noise, so that compressing it takes long enough
// to be caught in the act.
TEST_F(OutputTargets, StoppedRunLeavesNothingBehind) {
  constexpr uint32_t kSide = 1400;
  constexpr auto kPoll = std::chrono::milliseconds(1);
  constexpr auto kPatience = std::chrono::seconds(60);
  RgbaImage noise(kSide, kSide);
  uint32_t state = 1;
  for (uint8_t& byte : noise.pixels) byte = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  const std::string in = writePicture("in.png", noise);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(::strsignal(signal));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      ::execl(kQovhost.c_str(), kQovhost.c_str(), "apply", kProbe.c_str(), in.c_str(), path("out.png").c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Waits for the unfinished picture to appear.
    bool writing = false;
    for (const auto start = std::chrono::steady_clock::now();
         !writing && std::chrono::steady_clock::now() - start < kPatience;
         std::this_thread::sleep_for(kPoll))
      writing = files().size() > 1;
    ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(writing) << "qovhost wrote nothing";
    ASSERT_TRUE(WIFSIGNALED(status)) << "qovhost finished before the signal; make the picture larger";
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(files(), std::vector<std::string>{"in.png"});
  }
}

TEST(Info, TableShowsIdentityParametersAndCapabilities) {
  const CommandResult result = qovhost({"info", kProbe});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (const char* expected :
       {"QovTestProbe (", "unique ID        zqpr", "version          2.5", "Test probe: predictable bytes",
        "QovTestProbe\n                   for the qovhost tests", "0      Blue              type 10   0         0.00",
        "1      Fail", "names, defaults and type codes only", "  2     1       32-bit video",
        "  3     1       processFrameCopy", "  5-9, 12-14    unused: all 0"})
    EXPECT_NE(result.out.find(expected), std::string::npos) << "missing: " << expected << "\n" << result.out;
}

// Our plug-ins are recognised, so that each parameter shows its kind and the explanation
// of the list it was built from; the switches' defaults read as on or off.
TEST(Info, OurParametersShowKindDefaultAndExplanation) {
  const CommandResult mlaa = qovhost({"info", kMlaa1});
  ASSERT_EQ(mlaa.exitCode, 0) << mlaa.err;
  for (const char* expected : {"0      Strength          amount    1         1.000000\n         How much",
                               "1      Use Half          switch    off       0.000000\n         Take every end"})
    EXPECT_NE(mlaa.out.find(expected), std::string::npos) << "missing: " << expected << "\n" << mlaa.out;
  const CommandResult matte = qovhost({"info", kSetMatte1});
  EXPECT_NE(matte.out.find("4      Invert All        switch    on        0.900000"), std::string::npos) << matte.out;
}

TEST(Info, JsonDescribesEachOfOurPlugIns) {
  struct Expected {
    std::string path, name, id;
    const parameters::ParameterSpec* specs;
    std::size_t parameters;
  };
  for (const Expected& plugin :
       {Expected{kMlaa1, "QovMLAA1", "zq4q", mlaa1::kParameterSpecs.data(), mlaa1::kParameterSpecs.size()},
        Expected{kSetMatte1, "QovSetMatte1", "zq2b", setmatte1::kParameterSpecs.data(),
                 setmatte1::kParameterSpecs.size()},
        Expected{kMISetMatte1, "QovMISetMatte1", "zq17", misetmatte1::kParameterSpecs.data(),
                 misetmatte1::kParameterSpecs.size()}}) {
    SCOPED_TRACE(plugin.name);
    const CommandResult result = qovhost({"info", plugin.path, "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["name"], plugin.name);
    EXPECT_EQ(json["uniqueId"], plugin.id);
    EXPECT_EQ(json["apiVersion"]["major"], 1);
    ASSERT_EQ(json["parameters"].size(), plugin.parameters);
    EXPECT_EQ(json["parameters"][0]["default"], 1.0);
    EXPECT_EQ(json["parameters"][0]["display"], "1.000000");
    for (std::size_t i = 0; i < plugin.parameters; ++i) {
      const nlohmann::json& parameter = json["parameters"][i];
      EXPECT_EQ(parameter["name"], plugin.specs[i].name);
      EXPECT_EQ(parameter["kind"], plugin.specs[i].kind == parameters::Kind::kSwitch ? "switch" : "amount");
      EXPECT_EQ(parameter["explanation"], plugin.specs[i].explanation);
    }
    EXPECT_EQ(json["capabilities"].size(), 22u);
    EXPECT_EQ(json["capabilities"][2]["value"], 1);
    for (const nlohmann::json& capability : json["capabilities"])
      EXPECT_NE(capability["meaning"], "") << "code " << capability["code"] << " has no label";
  }
  const nlohmann::json probe = nlohmann::json::parse(qovhost({"info", kProbe, "--json"}).out);
  EXPECT_TRUE(probe["parameters"][0]["kind"].is_null());
  EXPECT_TRUE(probe["parameters"][0]["explanation"].is_null());
}

// Bare names in any letter case find the plug-ins beside qovhost, which list shows.
TEST(Finding, NamesInAnyCaseAndTheList) {
  const CommandResult info = qovhost({"info", "qovmlaa1"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.out.rfind("QovMLAA1 (" + kMlaa1 + ")\n", 0), 0u) << info.out;
  const CommandResult list = qovhost({"list"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  const std::string directory = kMlaa1.substr(0, kMlaa1.rfind('/'));
  EXPECT_EQ(list.out.rfind(directory + " (beside qovhost)\n", 0), 0u) << list.out;
  for (const char* line : {"  QovMISetMatte1    zq17  3.996     QovMISetMatte1.so\n",
                           "  QovMLAA1          zq4q  1.891     QovMLAA1.so\n",
                           "  QovSetMatte1      zq2b  3.861     QovSetMatte1.so\n"})
    EXPECT_NE(list.out.find(line), std::string::npos) << line << list.out;
}

TEST(Help, VersionNamesProgramAndPackage) {
  const CommandResult result = qovhost({"--version"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(std::regex_match(result.out, std::regex("qovhost \\(Qov\\) [0-9]+\\.[0-9]+(\\.[0-9]+)*\n"))) << result.out;
}

TEST(Help, EverySubcommandDescribesItsOptions) {
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"list", "List"},          {"info", "--json"},   {"apply", "--second"}, {"apply", "--preset"},
      {"stream", "--progress"},  {"bench", "--frames"}, {"demo", "OUTDIR"},
      // H.264 that browsers play: 4:2:0 chroma, which ffmpeg does not choose by itself for BGRA input.
      {"stream", "-pix_fmt yuv420p out.mp4"}};
  for (const auto& [command, option] : commands) {
    const CommandResult result = qovhost({command, "--help"});
    EXPECT_EQ(result.exitCode, 0) << command;
    EXPECT_NE(result.out.find(option), std::string::npos) << command << ":\n" << result.out;
  }
}

}  // namespace
}  // namespace qov::test
