// Descriptor calls of every plug-in: records, parameter tables, capabilities, the codes
// that need no instance, and the library's exported symbols.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/platform.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

class Descriptors : public ::testing::TestWithParam<std::string> {
 protected:
  const ExpectedPlugin& expected() const { return expectedPlugin(GetParam()); }
  const host::PluginLibrary& lib() const { return library(GetParam()); }
};

TEST_P(Descriptors, PlugInfoRecordIsStableAndExact) {
  const PlugInfo* first = lib().info();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, lib().info()) << "one static record, same address on every call";

  unsigned char expectedBytes[32] = {1, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(expectedBytes + 8, expected().uniqueId, 4);
  std::memcpy(expectedBytes + 12, expected().name, std::strlen(expected().name));  // rest stays NUL
  EXPECT_EQ(std::memcmp(first, expectedBytes, sizeof expectedBytes), 0);
  EXPECT_EQ(first->pluginType, FF_EFFECT);
}

TEST_P(Descriptors, ExtendedInfoRecord) {
  const ExtendedInfo* info = lib().extendedInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info, lib().extendedInfo());
  EXPECT_EQ(info->pluginMajorVersion, expected().majorVersion);
  EXPECT_EQ(info->pluginMinorVersion, expected().minorVersion);
  ASSERT_NE(info->description, nullptr);
  ASSERT_NE(info->about, nullptr);
  EXPECT_EQ(std::string(info->description).rfind(expected().descriptionStart, 0), 0u) << info->description;
  EXPECT_EQ(std::string(info->about).rfind(expected().aboutStart, 0), 0u) << info->about;
  EXPECT_EQ(info->extendedDataSize, 0u);
  EXPECT_EQ(info->extendedData, nullptr);
}

TEST_P(Descriptors, HostThreadsAskingAtOnceReadTheSameRecords) {
  // The records are never written, so threads reading them while others ask again see
  // complete records (ThreadSanitizer, which runs this suite, reports any write).
  const PlugInfo info = *lib().info();
  const ExtendedInfo extended = *lib().extendedInfo();
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        if (std::memcmp(lib().info(), &info, sizeof info) != 0) ++mismatches;
        const ExtendedInfo* now = lib().extendedInfo();
        if (now->pluginMajorVersion != extended.pluginMajorVersion ||
            now->pluginMinorVersion != extended.pluginMinorVersion || now->description != extended.description ||
            now->about != extended.about || now->extendedDataSize != 0 || now->extendedData != nullptr)
          ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST_P(Descriptors, ParameterTable) {
  const auto& parameters = expected().parameters;
  ASSERT_EQ(lib().numParameters(), parameters.size());
  for (uint32_t i = 0; i < parameters.size(); ++i) {
    SCOPED_TRACE(parameters[i].name);
    FFMixed name = lib().call(FF_GET_PARAMETER_NAME, i);
    ASSERT_FALSE(host::failed(name));
    char expectedName[16] = {};
    std::memcpy(expectedName, parameters[i].name, std::strlen(parameters[i].name));
    EXPECT_EQ(std::memcmp(name.pointerValue, expectedName, 16), 0) << "16 bytes, NUL-padded";
    EXPECT_EQ(lib().call(FF_GET_PARAMETER_DEFAULT, i).uintValue, parameters[i].defaultBits);
    EXPECT_EQ(lib().parameterType(i), FF_TYPE_STANDARD);
  }
}

TEST_P(Descriptors, ParameterIndexBeyondTheTableFails) {
  const uint32_t count = lib().numParameters();
  for (uint32_t index : {count, count + 1, 0xFFFFFFFFu}) {
    EXPECT_TRUE(host::failed(lib().call(FF_GET_PARAMETER_NAME, index)));
    EXPECT_TRUE(host::failed(lib().call(FF_GET_PARAMETER_DEFAULT, index)));
  }
  // The type is answered for any index.
  EXPECT_EQ(lib().parameterType(count), FF_TYPE_STANDARD);
  EXPECT_EQ(lib().parameterType(0xFFFFFFFFu), FF_TYPE_STANDARD);
}

TEST_P(Descriptors, Capabilities) {
  const uint32_t table[22] = {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 3, 1, 2, 65535, 65535, 65535, 65535};
  for (uint32_t code = 0; code < 22; ++code) EXPECT_EQ(lib().capability(code), table[code]) << code;
  EXPECT_EQ(lib().capability(22), 0u);
  EXPECT_EQ(lib().capability(0xFFFFFFFFu), 0u);
}

TEST_P(Descriptors, LibraryCallsAndUnknownCodes) {
  EXPECT_EQ(lib().call(FF_INITIALISE, 0u).uintValue, 0u);
  EXPECT_EQ(lib().call(FF_DEINITIALISE, 0u).uintValue, 0u);
  EXPECT_EQ(lib().info(), lib().info()) << "initialise/deInitialise change nothing";
  for (uint32_t code : {17u, 18u, 100u, 0xFFFFFFFFu}) EXPECT_TRUE(host::failed(lib().call(code, 0u)));
  // Also with a (bogus) instance: the code is refused before the instance is looked at.
  EXPECT_TRUE(host::failed(lib().call(17u, 0u, reinterpret_cast<FFInstanceID>(0x10))));
}

TEST_P(Descriptors, InstanceCodesWithoutInstanceFail) {
  unsigned char frame[64] = {};
  for (uint32_t code : {FF_PROCESS_FRAME, FF_GET_PARAMETER_DISPLAY, FF_SET_PARAMETER, FF_GET_PARAMETER,
                        FF_DEINSTANTIATE, FF_PROCESS_FRAME_COPY, FF_PROCESS_FRAME_MULTI}) {
    EXPECT_TRUE(host::failed(lib().callPointer(code, frame, nullptr))) << code;
  }
  EXPECT_EQ(frame[0], 0) << "nothing written";
}

TEST_P(Descriptors, OnlyPlugMainIsExported) {
  EXPECT_EQ(exportedNames(lib()), std::vector<std::string>{"plugMain"});
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Descriptors,
                         ::testing::Values("QovMLAA1", "QovMISetMatte1", "QovSetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
