// PNG input of every colour type and bit depth arrives as 8-bit RGBA; output round-trips
// and replaces files whole.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/png_io.h"

namespace qov::test {
namespace {

using qovhost::RgbaImage;

// A PNG file written with libpng as it is, in any colour type and bit depth.
struct RawPng {
  uint32_t width, height;
  int bitDepth, colourType;
  std::vector<std::vector<uint8_t>> rows;  // packed as the file stores them
  std::vector<png_color> palette = {};
  std::vector<uint8_t> paletteAlpha = {};
  bool colourKey = false;  // RGB tRNS key: (1, 2, 3) is transparent
  bool interlaced = false;
};

// libpng's errors longjmp back here; the frames it skips hold nothing to destroy.
bool writeRaw(RawPng& raw, std::FILE* file, png_bytep* rows, png_color_16* key) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, raw.width, raw.height, raw.bitDepth, raw.colourType,
               raw.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!raw.palette.empty()) png_set_PLTE(png, info, raw.palette.data(), static_cast<int>(raw.palette.size()));
  if (!raw.paletteAlpha.empty())
    png_set_tRNS(png, info, raw.paletteAlpha.data(), static_cast<int>(raw.paletteAlpha.size()), nullptr);
  if (raw.colourKey) png_set_tRNS(png, info, nullptr, 0, key);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

void writeRawPng(const std::string& path, RawPng raw) {
  std::vector<png_bytep> rows;
  for (auto& row : raw.rows) rows.push_back(row.data());
  png_color_16 key = {0, 1, 2, 3, 0};
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const bool written = writeRaw(raw, file, rows.data(), &key);
  std::fclose(file);
  ASSERT_TRUE(written);
}

struct ColourTypeCase {
  const char* name;
  RawPng raw;
  std::vector<uint8_t> expected;  // RGBA, row by row
};

std::vector<ColourTypeCase> colourTypeCases() {
  return {
      {"grey 8", {2, 1, 8, PNG_COLOR_TYPE_GRAY, {{0, 200}}}, {0, 0, 0, 255, 200, 200, 200, 255}},
      {"grey 16 scaled", {2, 1, 16, PNG_COLOR_TYPE_GRAY, {{0xFF, 0xFF, 0x80, 0x80}}},
       {255, 255, 255, 255, 128, 128, 128, 255}},
      {"grey 1", {3, 1, 1, PNG_COLOR_TYPE_GRAY, {{0xA0}}}, {255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}},
      {"grey and alpha", {1, 2, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {{9, 10}, {11, 12}}}, {9, 9, 9, 10, 11, 11, 11, 12}},
      {"palette 4 with alpha",
       {3, 1, 4, PNG_COLOR_TYPE_PALETTE, {{0x01, 0x20}}, {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}}, {128}},
       {10, 20, 30, 128, 40, 50, 60, 255, 70, 80, 90, 255}},
      {"RGB 16", {1, 1, 16, PNG_COLOR_TYPE_RGB, {{0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80}}}, {255, 0, 128, 255}},
      {"RGB with colour key",
       {2, 1, 8, PNG_COLOR_TYPE_RGB, {{1, 2, 3, 4, 5, 6}}, {}, {}, true},
       {1, 2, 3, 0, 4, 5, 6, 255}},
      {"RGBA interlaced",
       {2, 2, 8, PNG_COLOR_TYPE_RGB_ALPHA, {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}}, {}, {}, false,
        true},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
  };
}

class PngFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() / ("qovhost-png-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  std::string path(const std::string& name) const { return (directory_ / name).string(); }
  std::size_t fileCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory_), {}));
  }

  std::filesystem::path directory_;
};

TEST_F(PngFiles, EveryColourTypeAndDepthReadsAsRgba8) {
  for (const ColourTypeCase& test : colourTypeCases()) {
    SCOPED_TRACE(test.name);
    writeRawPng(path("raw.png"), test.raw);
    const RgbaImage image = qovhost::readPng(path("raw.png"));
    EXPECT_EQ(image.width, test.raw.width);
    EXPECT_EQ(image.height, test.raw.height);
    EXPECT_EQ(image.pixels, test.expected);
  }
}

TEST_F(PngFiles, RgbaRoundTripsAndRgbDropsAlpha) {
  RgbaImage image(5, 3);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint8_t>(i * 7);
  qovhost::writePng(path("rgba.png"), image, qovhost::PngChannels::kRgba);
  EXPECT_EQ(qovhost::readPng(path("rgba.png")).pixels, image.pixels);

  qovhost::writePng(path("rgb.png"), image, qovhost::PngChannels::kRgb);
  RgbaImage opaque = image;
  for (std::size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  EXPECT_EQ(qovhost::readPng(path("rgb.png")).pixels, opaque.pixels);
  EXPECT_EQ(fileCount(), 2u);  // no temporary files left behind
}

TEST_F(PngFiles, WritingReplacesTheWholeFileOrNothing) {
  const RgbaImage first(4, 4, {1, 2, 3, 4});
  const RgbaImage second(2, 6, {9, 8, 7, 6});
  qovhost::writePng(path("out.png"), first, qovhost::PngChannels::kRgba);
  qovhost::writePng(path("out.png"), second, qovhost::PngChannels::kRgba);
  EXPECT_EQ(qovhost::readPng(path("out.png")).pixels, second.pixels);
  EXPECT_THROW(qovhost::writePng(path("no/such/dir.png"), first, qovhost::PngChannels::kRgba),
               qovhost::CommandError);
  // A picture libpng refuses (zero width) fails after the temporary file exists.
  EXPECT_THROW(qovhost::writePng(path("empty.png"), RgbaImage(0, 3), qovhost::PngChannels::kRgba),
               qovhost::CommandError);
  EXPECT_EQ(fileCount(), 1u);
}

}  // namespace
}  // namespace qov::test
