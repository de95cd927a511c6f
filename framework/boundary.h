// The records and values that cross the boundary between a host and a plug-in: the
// entry point's signature, the function codes, and every record a host passes in or
// reads back. Hosts (qovhost, the tests) include this header too.
//
// On 32-bit platforms every record has its FreeFrame size and offsets (checked below).
// On 64-bit platforms pointer fields are pointer-sized, records keep their natural
// alignment, and values travel in a pointer-sized union; Linux and Windows builds have
// the same sizes and offsets (also checked below).
#pragma once

#include <cstddef>
#include <cstdint>

// The entry point's calling convention, and how the library marks it as its export.
#if defined(_WIN32)
#define QOV_PLUGMAIN_CALL __stdcall
#define QOV_EXPORT __declspec(dllexport)
#else
#define QOV_PLUGMAIN_CALL
#define QOV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// A value of the entry point: an integer, a float or an address, by function code.
// Integer results are written into a zeroed union, so a failure reads 0xFFFFFFFF in
// `uintValue` on every platform.
typedef union FFMixed {
  uint32_t uintValue;
  float floatValue;
  void* pointerValue;
} FFMixed;

typedef void* FFInstanceID;

typedef FFMixed(QOV_PLUGMAIN_CALL* PlugMainFunction)(uint32_t functionCode, FFMixed inputValue,
                                                      FFInstanceID instanceId);

}  // extern "C"

namespace qov {

// Function codes of plugMain.
enum FunctionCode : uint32_t {
  FF_GET_INFO = 0,
  FF_INITIALISE = 1,
  FF_DEINITIALISE = 2,
  FF_PROCESS_FRAME = 3,
  FF_GET_NUM_PARAMETERS = 4,
  FF_GET_PARAMETER_NAME = 5,
  FF_GET_PARAMETER_DEFAULT = 6,
  FF_GET_PARAMETER_DISPLAY = 7,
  FF_SET_PARAMETER = 8,
  FF_GET_PARAMETER = 9,
  FF_GET_PLUGIN_CAPS = 10,
  FF_INSTANTIATE = 11,
  FF_DEINSTANTIATE = 12,
  FF_GET_EXTENDED_INFO = 13,
  FF_PROCESS_FRAME_COPY = 14,
  FF_GET_PARAMETER_TYPE = 15,
  FF_PROCESS_FRAME_MULTI = 16,
};

inline constexpr uint32_t FF_SUCCESS = 0;
inline constexpr uint32_t FF_FAIL = 0xFFFFFFFFu;

// Pixel depth codes of VideoInfo::bitDepth.
inline constexpr uint32_t FF_DEPTH_16 = 0;
inline constexpr uint32_t FF_DEPTH_24 = 1;
inline constexpr uint32_t FF_DEPTH_32 = 2;

// The FreeFrame type code of a standard continuous parameter; every parameter has it.
inline constexpr uint32_t FF_TYPE_STANDARD = 10;
inline constexpr uint32_t FF_EFFECT = 0;

inline constexpr std::size_t kUniqueIdSize = 4;
inline constexpr std::size_t kNameSize = 16;

struct PlugInfo {
  uint32_t apiMajorVersion;
  uint32_t apiMinorVersion;
  char uniqueId[kUniqueIdSize];  // not NUL-terminated
  char pluginName[kNameSize];    // NUL-padded
  uint32_t pluginType;
};

struct ExtendedInfo {
  uint32_t pluginMajorVersion;
  uint32_t pluginMinorVersion;
  const char* description;
  const char* about;
  uint32_t extendedDataSize;
  void* extendedData;
};

struct VideoInfo {
  uint32_t frameWidth;
  uint32_t frameHeight;
  uint32_t bitDepth;
  uint32_t orientation;
};

struct SetParameterRecord {
  uint32_t index;
  FFMixed value;  // the float in `floatValue`
};

struct ProcessFrameCopyRecord {
  uint32_t numInputFrames;
  void** inputFrames;
  void* outputFrame;
};

// One image of a frame set.
struct ImageSlot {
  uint32_t format;
  uint32_t channels;
  uint8_t* data;
  uint32_t width;
  uint32_t height;
  void* data2;
  uint32_t reserved1;
  uint32_t reserved2;
};

inline constexpr uint32_t kMaxSlots = 16;
inline constexpr uint32_t kFormatInterleaved8 = 1001;  // 8-bit channels, interleaved
inline constexpr uint32_t kFormatEmpty = 1;

// A frame set: up to 16 input and 16 output images. Function code 16 passes one.
struct Qov_Multi {
  uint32_t numInputs;
  ImageSlot* inputs[kMaxSlots];
  uint32_t numOutputs;
  ImageSlot* outputs[kMaxSlots];
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(PlugInfo) == 32 && offsetof(PlugInfo, uniqueId) == 8 &&
                  offsetof(PlugInfo, pluginName) == 12 && offsetof(PlugInfo, pluginType) == 28,
              "PlugInfo layout");
static_assert(sizeof(ExtendedInfo) == 24 && offsetof(ExtendedInfo, description) == 8 &&
                  offsetof(ExtendedInfo, about) == 12 && offsetof(ExtendedInfo, extendedDataSize) == 16 &&
                  offsetof(ExtendedInfo, extendedData) == 20,
              "ExtendedInfo layout");
static_assert(sizeof(VideoInfo) == 16 && offsetof(VideoInfo, bitDepth) == 8 &&
                  offsetof(VideoInfo, orientation) == 12,
              "VideoInfo layout");
static_assert(sizeof(SetParameterRecord) == 8 && offsetof(SetParameterRecord, value) == 4,
              "SetParameter layout");
static_assert(sizeof(ProcessFrameCopyRecord) == 12 && offsetof(ProcessFrameCopyRecord, inputFrames) == 4 &&
                  offsetof(ProcessFrameCopyRecord, outputFrame) == 8,
              "ProcessFrameCopy layout");
static_assert(sizeof(ImageSlot) == 32 && offsetof(ImageSlot, data) == 8 && offsetof(ImageSlot, width) == 12 &&
                  offsetof(ImageSlot, height) == 16 && offsetof(ImageSlot, data2) == 20 &&
                  offsetof(ImageSlot, reserved1) == 24 && offsetof(ImageSlot, reserved2) == 28,
              "ImageSlot layout");
static_assert(sizeof(Qov_Multi) == 136 && offsetof(Qov_Multi, inputs) == 4 &&
                  offsetof(Qov_Multi, numOutputs) == 68 && offsetof(Qov_Multi, outputs) == 72,
              "Qov_Multi layout");
static_assert(sizeof(FFMixed) == 4, "FFMixed is one 32-bit word");
#elif defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__) || defined(_M_ARM64)
// The same layout for every 64-bit build: LP64 (Linux) and LLP64 (Windows) differ only in
// `long`, which no record uses, so a host of either model reads the other's records.
static_assert(sizeof(void*) == 8, "64-bit pointers");
static_assert(sizeof(PlugInfo) == 32 && offsetof(PlugInfo, uniqueId) == 8 &&
                  offsetof(PlugInfo, pluginName) == 12 && offsetof(PlugInfo, pluginType) == 28,
              "PlugInfo layout");
static_assert(sizeof(ExtendedInfo) == 40 && offsetof(ExtendedInfo, description) == 8 &&
                  offsetof(ExtendedInfo, about) == 16 && offsetof(ExtendedInfo, extendedDataSize) == 24 &&
                  offsetof(ExtendedInfo, extendedData) == 32,
              "ExtendedInfo layout");
static_assert(sizeof(VideoInfo) == 16 && offsetof(VideoInfo, bitDepth) == 8 &&
                  offsetof(VideoInfo, orientation) == 12,
              "VideoInfo layout");
static_assert(sizeof(SetParameterRecord) == 16 && offsetof(SetParameterRecord, value) == 8,
              "SetParameter layout");
static_assert(sizeof(ProcessFrameCopyRecord) == 24 && offsetof(ProcessFrameCopyRecord, inputFrames) == 8 &&
                  offsetof(ProcessFrameCopyRecord, outputFrame) == 16,
              "ProcessFrameCopy layout");
static_assert(sizeof(ImageSlot) == 40 && offsetof(ImageSlot, data) == 8 && offsetof(ImageSlot, width) == 16 &&
                  offsetof(ImageSlot, height) == 20 && offsetof(ImageSlot, data2) == 24 &&
                  offsetof(ImageSlot, reserved1) == 32 && offsetof(ImageSlot, reserved2) == 36,
              "ImageSlot layout");
static_assert(sizeof(Qov_Multi) == 272 && offsetof(Qov_Multi, inputs) == 8 &&
                  offsetof(Qov_Multi, numOutputs) == 136 && offsetof(Qov_Multi, outputs) == 144,
              "Qov_Multi layout");
static_assert(sizeof(FFMixed) == 8 && offsetof(FFMixed, uintValue) == 0 && offsetof(FFMixed, floatValue) == 0,
              "FFMixed is one pointer-sized word whose low bytes hold the 32-bit values");
#endif

}  // namespace qov

extern "C" {
// The plug-in's only export.
FFMixed QOV_PLUGMAIN_CALL plugMain(uint32_t functionCode, FFMixed inputValue, FFInstanceID instanceId);
}
