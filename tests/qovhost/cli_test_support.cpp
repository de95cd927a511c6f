// Shared helpers of the command-line tests.
#include "tests/qovhost/cli_test_support.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>

#include <filesystem>

#include "tools/qovhost/png_io.h"

namespace qov::test {

qovhost::RgbaImage patternPicture(uint32_t width, uint32_t height, uint32_t seed) {
  qovhost::RgbaImage picture(width, height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      picture.set(x, y,
                  {static_cast<uint8_t>(10 * x + y + seed), static_cast<uint8_t>(3 * x + 7 * y + 2 * seed),
                   static_cast<uint8_t>(x * y + 5 * seed), static_cast<uint8_t>(100 + x + 3 * y + seed)});
  return picture;
}

qovhost::RgbaImage probeResult(const qovhost::RgbaImage& first, const qovhost::RgbaImage& last, float blue) {
  qovhost::RgbaImage result(first.width, first.height);
  for (uint32_t y = 0; y < first.height; ++y)
    for (uint32_t x = 0; x < first.width; ++x)
      result.set(x, y,
                 {first.at(x, y)[0], last.at(x, y)[1], static_cast<uint8_t>(blue * 255.0f),
                  static_cast<uint8_t>(255 - first.at(x, y)[3])});
  return result;
}

namespace {

void appendWord(std::string& bytes, uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((word >> shift) & 0xFF));
}

void appendChunk(std::string& bytes, const std::string& type, const std::string& data) {
  appendWord(bytes, static_cast<uint32_t>(data.size()));
  const std::string typed = type + data;
  bytes += typed;
  appendWord(bytes, static_cast<uint32_t>(
                        ::crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

}  // namespace

std::string pngClaimingSize(uint32_t width, uint32_t height) {
  constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
  constexpr char kRgba8[] = {8, 6, 0, 0, 0};  // bit depth, colour type, compression, filter, interlace
  std::string header;
  appendWord(header, width);
  appendWord(header, height);
  header.append(kRgba8, sizeof kRgba8);
  std::string bytes(kSignature, sizeof kSignature - 1);
  appendChunk(bytes, "IHDR", header);
  appendChunk(bytes, "IDAT", std::string("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9));
  appendChunk(bytes, "IEND", "");
  return bytes;
}

std::string frameBytes(const qovhost::RgbaImage& picture) {
  std::string bytes;
  for (std::size_t i = 0; i < picture.pixels.size(); i += 4)
    bytes += {static_cast<char>(picture.pixels[i + 2]), static_cast<char>(picture.pixels[i + 1]),
              static_cast<char>(picture.pixels[i]), static_cast<char>(picture.pixels[i + 3])};
  return bytes;
}

void ScratchDirectory::SetUp() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::replace(name.begin(), name.end(), '/', '_');
  directory_ = (std::filesystem::temp_directory_path() / ("qovhost-test-" + std::to_string(::getpid()) + "-" + name)).string();
  std::filesystem::remove_all(directory_);
  std::filesystem::create_directories(directory_);
}

void ScratchDirectory::TearDown() { std::filesystem::remove_all(directory_); }

std::string ScratchDirectory::writePicture(const std::string& name, const qovhost::RgbaImage& picture) const {
  qovhost::writePng(path(name), picture, qovhost::PngChannels::kRgba);
  return path(name);
}

std::vector<std::string> ScratchDirectory::files() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace qov::test
