// Fuzz target: frame sets through code 16. One instance of a fuzzer-chosen format receives
// a series of host frame sets with any counts, channel counts, null and non-null slot
// pointers and pixel memory, one or more inputs and outputs sharing inputs' records or
// memory, with parameters changed and the framework's own frame calls (codes 3 and 14)
// in between, which take the instance back to its own frame set.
#include "fuzz/plugin_driver.h"

namespace {

using namespace qov;
using namespace qov::fuzz;

constexpr int kMaxCalls = 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static PluginDriver driver;
  ByteReader in(data, size);

  VideoInfo info{};
  info.frameWidth = in.below(kMaxSide + 1);
  info.frameHeight = in.below(kMaxSide + 1);
  info.bitDepth = in.flag() ? qov::FF_DEPTH_32 : qov::FF_DEPTH_24;
  LiveInstance instance;
  QOV_FUZZ_CHECK(driver.instantiate(info, instance));

  for (int call = 0; call < kMaxCalls && !in.empty(); ++call) {
    const uint8_t choice = in.byte() % 8;
    if (choice < 5) driver.processFrameMulti(in, instance);
    else if (choice == 5) driver.setParameter(in, &instance);
    else if (choice == 6) driver.processFrame(in, instance);
    else driver.processFrameCopy(in, instance);
  }
  driver.deInstantiate(instance);
  return 0;
}
