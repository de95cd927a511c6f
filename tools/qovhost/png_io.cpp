// libpng behind two functions. libpng reports errors by longjmp: every libpng call that
// may fail runs inside decode() or encode(), whose frames hold no object with a
// destructor, and the C++ objects that own the libpng state live in their callers.
#include "tools/qovhost/png_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/output_file.h"

namespace qov::qovhost {
namespace {

constexpr std::size_t kSignatureBytes = 8;
constexpr std::size_t kMessageSize = 256;
constexpr png_uint_32 kMaxSide = 1u << 16;  // larger than any frame a host would ask for
constexpr png_uint_16 kOpaqueFiller = 0xFF;

struct ErrorText {
  char text[kMessageSize] = "unknown libpng error";
};

[[noreturn]] void onError(png_structp png, png_const_charp message) {
  auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message);
  png_longjmp(png, 1);
}

// Warnings (an odd colour profile, say) do not stop the picture from being read.
void onWarning(png_structp, png_const_charp) {}

struct FileCloser {
  std::FILE* file;
  ~FileCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

struct ReadState {
  ErrorText error;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, onError, onWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  ~ReadState() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct WriteState {
  ErrorText error;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onError, onWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  ~WriteState() { png_destroy_write_struct(&png, &info); }
};

// Reads the picture behind an already checked signature into `image`. Returns false
// after a libpng error (its text is in the error record).
bool decode(ReadState& state, std::FILE* file, RgbaImage& image, std::vector<png_bytep>& rows) {
  png_structp png = state.png;
  png_infop info = state.info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, static_cast<int>(kSignatureBytes));
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, kOpaqueFiller, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{png_get_image_width(png, info)} * kRgbaChannels)
    png_error(png, "unexpected row layout after conversion to RGBA");
  image = RgbaImage(png_get_image_width(png, info), png_get_image_height(png, info));
  rows.resize(image.height);
  for (uint32_t y = 0; y < image.height; ++y) rows[y] = image.at(0, y);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

bool encode(WriteState& state, std::FILE* file, const RgbaImage& image, PngChannels channels,
            std::vector<png_bytep>& rows) {
  png_structp png = state.png;
  png_infop info = state.info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  const int colourType = channels == PngChannels::kRgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  png_set_IHDR(png, info, image.width, image.height, 8, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // For an RGB file the fourth byte of every pixel is dropped on the way out.
  if (channels == PngChannels::kRgb) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

RgbaImage readPng(const std::string& path) {
  FileCloser input{std::fopen(path.c_str(), "rb")};
  if (input.file == nullptr) throw CommandError("cannot read " + path + ": " + std::strerror(errno));
  png_byte signature[kSignatureBytes];
  if (std::fread(signature, 1, kSignatureBytes, input.file) != kSignatureBytes ||
      png_sig_cmp(signature, 0, kSignatureBytes) != 0)
    throw CommandError("cannot read " + path + ": not a PNG file");
  ReadState state;
  if (state.info == nullptr) throw CommandError("cannot read " + path + ": out of memory");
  RgbaImage image;
  std::vector<png_bytep> rows;
  if (!decode(state, input.file, image, rows))
    throw CommandError("cannot read " + path + ": damaged PNG file (" + state.error.text + ")");
  if (image.width == 0 || image.height == 0) throw CommandError("cannot read " + path + ": empty picture");
  return image;
}

void writePng(const std::string& path, const RgbaImage& image, PngChannels channels) {
  OutputFile output(path);
  WriteState state;
  if (state.info == nullptr) throw CommandError("cannot write " + path + ": out of memory");
  std::vector<png_bytep> rows(image.height);
  for (uint32_t y = 0; y < image.height; ++y) rows[y] = const_cast<png_bytep>(image.at(0, y));
  if (!encode(state, output.stream(), image, channels, rows))
    throw CommandError("cannot write " + path + ": " + state.error.text);
  output.commit();
}

}  // namespace qov::qovhost
