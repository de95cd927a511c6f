// What the command-line tests share: the programs and libraries under test, a scratch
// directory per test, and test pictures whose every pixel is known.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/qovhost/command_runner.h"
#include "tools/qovhost/rgba_image.h"

namespace qov::test {

inline const std::string kQovhost = QOVHOST_PATH;
inline const std::string kProbe = QOV_PROBE_PATH;  // 32-bit only; see probe_plugin.cpp
inline const std::string kNoEntryPoint = QOV_NO_ENTRY_PATH;
inline const std::string kMlaa1 = QOV_MLAA1_PATH;
inline const std::string kSetMatte1 = QOV_SETMATTE1_PATH;
inline const std::string kMISetMatte1 = QOV_MISETMATTE1_PATH;

inline CommandResult qovhost(const std::vector<std::string>& arguments, const std::string& input = std::string()) {
  return runCommand(kQovhost, arguments, input);
}

// A picture in which neighbouring pixels and the four channels all differ; `seed` makes
// another one of the same size.
qovhost::RgbaImage patternPicture(uint32_t width, uint32_t height, uint32_t seed = 0);

// What the probe plug-in makes of the first input (and of `last` for the green channel).
qovhost::RgbaImage probeResult(const qovhost::RgbaImage& first, const qovhost::RgbaImage& last, float blue);

// The bytes of a PNG file whose header claims `width` x `height` pixels of 8-bit RGBA,
// followed by a few bytes of image data and the end chunk: what a hostile file looks like.
std::string pngClaimingSize(uint32_t width, uint32_t height);

// The picture as a 32-bit frame (bytes B, G, R, A).
std::string frameBytes(const qovhost::RgbaImage& picture);

class ScratchDirectory : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& name) const { return directory_ + "/" + name; }
  // Writes a pattern picture as PNG and returns its path.
  std::string writePicture(const std::string& name, const qovhost::RgbaImage& picture) const;
  // Names of the files now in the directory.
  std::vector<std::string> files() const;

 private:
  std::string directory_;
};

}  // namespace qov::test
