// libpng behind two functions. libpng reports errors by longjmp: every libpng call that
// may fail runs inside decode() or encode(), whose frames hold no object with a
// destructor, and the C++ objects that own the libpng state live in their callers.
#include "tools/qovhost/png_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "tools/qovhost/cli_options.h"
#include "tools/qovhost/command_error.h"
#include "tools/qovhost/output_file.h"

namespace qov::qovhost {
namespace {

constexpr std::size_t kSignatureBytes = 8;
constexpr int kBitsPerChannel = 8;
constexpr std::size_t kMessageSize = 256;
constexpr png_uint_16 kOpaqueFiller = 0xFF;
constexpr std::size_t kMebibyte = std::size_t{1} << 20;

struct ErrorText {
  char text[kMessageSize] = "unknown libpng error";
  // Set when the bytes could not be written: the system's reason (ENOSPC, EIO, ...).
  int writeErrno = 0;
  // Set when the header claims more pixels than qovhost takes; nothing was allocated.
  bool tooLarge = false;
  // The size the header claims, once it has been read.
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  // Bits per channel in the file, once the header has been read.
  int bitDepth = 0;
};

[[noreturn]] void onError(png_structp png, png_const_charp message) {
  auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message);
  png_longjmp(png, 1);
}

// Warnings (an odd colour profile, say) do not stop the picture from being read.
void onWarning(png_structp, png_const_charp) {}

// libpng's own writer reports every failure as "Write Error"; this one keeps errno, so
// that a full disk says so.
void writeBytes(png_structp png, png_bytep data, std::size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fwrite(data, 1, length, file) != length) {
    static_cast<ErrorText*>(png_get_error_ptr(png))->writeErrno = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

void flushBytes(png_structp png) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fflush(file) != 0) {
    static_cast<ErrorText*>(png_get_error_ptr(png))->writeErrno = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

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
// after a libpng error (its text is in the error record). The size is checked as soon as
// the header is read, before anything of the picture's size is allocated: a file of a
// few bytes may claim billions of pixels. (libpng's own user limits would refuse it too,
// but their message does not say what size the file claims.)
bool decode(ReadState& state, std::FILE* file, RgbaImage& image, std::vector<png_bytep>& rows) {
  png_structp png = state.png;
  png_infop info = state.info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, static_cast<int>(kSignatureBytes));
  png_read_info(png, info);
  state.error.width = png_get_image_width(png, info);
  state.error.height = png_get_image_height(png, info);
  state.error.bitDepth = png_get_bit_depth(png, info);
  if (state.error.width > kMaxFrameSide || state.error.height > kMaxFrameSide) {
    state.error.tooLarge = true;
    png_error(png, "picture too large");
  }
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
  png_set_write_fn(png, file, writeBytes, flushBytes);
  const int colourType = channels == PngChannels::kRgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  png_set_IHDR(png, info, image.width, image.height, kBitsPerChannel, colourType, PNG_INTERLACE_NONE,
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
  bool decoded = false;
  try {
    decoded = decode(state, input.file, image, rows);
  } catch (const std::bad_alloc&) {
    const std::size_t mebibytes =
        (std::size_t{state.error.width} * state.error.height * kRgbaChannels + kMebibyte - 1) / kMebibyte;
    throw CommandError("cannot read " + path + ": not enough memory for a " + std::to_string(state.error.width) +
                       "x" + std::to_string(state.error.height) + " picture (" + std::to_string(mebibytes) +
                       " MiB)");
  }
  if (!decoded && state.error.tooLarge)
    throw CommandError("cannot read " + path + ": the picture is " + std::to_string(state.error.width) + "x" +
                       std::to_string(state.error.height) + " pixels; qovhost takes at most " +
                       std::to_string(kMaxFrameSide) + " pixels a side");
  // libpng's own allocations fail with this text rather than an exception.
  if (!decoded && std::strcmp(state.error.text, "Out of memory") == 0)
    throw CommandError("cannot read " + path + ": not enough memory");
  if (!decoded) throw CommandError("cannot read " + path + ": damaged PNG file (" + state.error.text + ")");
  if (image.width == 0 || image.height == 0) throw CommandError("cannot read " + path + ": empty picture");
  // The plug-ins take 8 bits a channel: say so rather than write a 16-bit picture back
  // coarser without a word.
  if (state.error.bitDepth > kBitsPerChannel)
    warn(path + " has " + std::to_string(state.error.bitDepth) +
         " bits per channel; the plug-ins work on 8, so it is read, and the output written, at 8 bits per channel");
  return image;
}

void writePng(const std::string& path, const RgbaImage& image, PngChannels channels) {
  OutputFile output(path);
  WriteState state;
  if (state.info == nullptr) throw CommandError("cannot write " + path + ": out of memory");
  std::vector<png_bytep> rows(image.height);
  // A picture without pixels has no rows to point at; libpng refuses its size anyway.
  if (!image.pixels.empty())
    for (uint32_t y = 0; y < image.height; ++y) rows[y] = const_cast<png_bytep>(image.at(0, y));
  if (!encode(state, output.stream(), image, channels, rows))
    throw CommandError("cannot write " + path + ": " +
                       (state.error.writeErrno != 0 ? std::strerror(state.error.writeErrno) : state.error.text));
  output.commit();
}

}  // namespace qov::qovhost
