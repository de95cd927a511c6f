// Fuzz target: sequences of plugMain calls. The fuzzer's bytes choose each call and its
// values: instances of any format created and released (up to three at a time),
// parameters set and read with any index and any float bits, descriptor calls, unknown
// function codes, and frames through codes 3, 14 and 16.
#include "fuzz/plugin_driver.h"

namespace {

using namespace qov;
using namespace qov::fuzz;

constexpr int kMaxInstances = 3;
constexpr int kMaxCalls = 48;

enum Call : uint8_t {
  kInstantiate,
  kDeInstantiate,
  kSetParameter,
  kReadParameter,
  kLibraryCall,
  kProcessFrame,
  kProcessFrameCopy,
  kProcessFrameMulti,
  kNumCalls,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static PluginDriver driver;
  ByteReader in(data, size);
  LiveInstance instances[kMaxInstances];

  for (int call = 0; call < kMaxCalls && !in.empty(); ++call) {
    const uint8_t choice = in.byte();
    LiveInstance& instance = instances[(choice / kNumCalls) % kMaxInstances];
    const bool live = instance.id != nullptr;
    switch (choice % kNumCalls) {
      case kInstantiate: {
        const VideoInfo info = pickVideoInfo(in);
        if (live) driver.deInstantiate(instance);
        driver.instantiate(info, instance);
        break;
      }
      case kDeInstantiate:
        if (live)
          driver.deInstantiate(instance);
        else
          QOV_FUZZ_CHECK(failed(plugMain(qov::FF_DEINSTANTIATE, mixedUInt(0), nullptr)));
        break;
      case kSetParameter:
        driver.setParameter(in, live ? &instance : nullptr);
        break;
      case kReadParameter:
        driver.readParameter(in, live ? &instance : nullptr);
        break;
      case kLibraryCall:
        driver.libraryCall(in);
        break;
      case kProcessFrame:
        if (live) driver.processFrame(in, instance);
        else QOV_FUZZ_CHECK(failed(plugMain(qov::FF_PROCESS_FRAME, mixedUInt(0), nullptr)));
        break;
      case kProcessFrameCopy:
        if (live) driver.processFrameCopy(in, instance);
        break;
      case kProcessFrameMulti:
        if (live) driver.processFrameMulti(in, instance);
        else QOV_FUZZ_CHECK(failed(plugMain(qov::FF_PROCESS_FRAME_MULTI, mixedUInt(0), nullptr)));
        break;
      default:
        break;
    }
  }
  // A well-behaved host releases what it created; anything left over is a leak.
  for (LiveInstance& instance : instances)
    if (instance.id != nullptr) driver.deInstantiate(instance);
  return 0;
}
