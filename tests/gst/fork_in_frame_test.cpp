// Applications that fork while one of their threads is inside an element's frame: each child
// runs frames on the element it inherited and on a new one, with the parent's bytes, and the
// parent's frames keep their bytes throughout.
//
// A streaming thread holds GStreamer's own lock of the element's sink pad for as long as a
// buffer is inside the element, so no buffer can enter the inherited element through its pads
// in a child forked at such a moment: the lock belongs to a thread the child does not have.
// So here the parent's thread, and the child after it, run the filters' frame function
// itself, as the streaming thread runs it (the base transform's transform, with buffers made
// beforehand), and the child's new elements go through their pads in a harness. The mixer's
// frames run on its own source pad's thread, which a child does not inherit either: the
// parent runs it through its pads, and the child a new one.
#include <gst/check/gstharness.h>
#include <gst/base/gstbasetransform.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/gst/gst_test_support.h"
#include "tests/support/fork_during_frames.h"

namespace qov::test {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// The antialiasing keeps working memory that a frame holds in parts (the band copies), so a
// child may find it in any state: it forks most. The mattes' frames hold nothing of the
// element's.
int childrenFor(const std::string& element) { return forkCount(element == "qovmlaa" ? 16 : 8); }
constexpr unsigned kChildSeconds = 30;
constexpr GstClockTime kFrameDuration = GST_SECOND / 30;
constexpr GstVideoFormat kFormat = GST_VIDEO_FORMAT_BGRA;
constexpr std::size_t kStride = std::size_t{kWidth} * 4;

// Exit codes of a child: what went wrong first.
enum ChildFailure { kInheritedFrame = 1, kNewFrame };

NativeFrame jaggedFrame(uint32_t seed) {
  return NativeFrame{kWidth, kHeight, 4, jaggedAreasFrame(kWidth, kHeight, 4, seed)};
}

// Whether `buffer` holds `expected`, rows packed in the native order (which BGRA is).
bool holds(GstBuffer* buffer, const std::vector<uint8_t>& expected) {
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
  const bool same = map.size >= expected.size() && std::memcmp(map.data, expected.data(), expected.size()) == 0;
  gst_buffer_unmap(buffer, &map);
  return same;
}

void expectAllWell(const ForkDuringFramesResult& result, int children) {
  EXPECT_EQ(result.children, std::vector<std::string>(children, "exit 0")) << result.summary();
  EXPECT_GT(result.parentFrames, 2);
  EXPECT_EQ(result.parentWrongFrames, 0);
}

// One frame through a new filter element's pads: its output, or an empty frame.
NativeFrame throughNewFilter(const char* element, const NativeFrame& frame) {
  GstHarness* h = gst_harness_new(element);
  gst_harness_set_src_caps_str(h, capsString(kFormat, kWidth, kHeight).c_str());
  NativeFrame output;
  if (gst_harness_push(h, makeBuffer(frame, kFormat, kStride, 0, 0, kFrameDuration)) == GST_FLOW_OK) {
    GstBuffer* out = gst_harness_pull(h);
    GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
    if (out != nullptr && caps != nullptr) output = readBuffer(out, caps);
    if (caps != nullptr) gst_caps_unref(caps);
    if (out != nullptr) gst_buffer_unref(out);
  }
  gst_harness_teardown(h);
  return output;
}

class FilterForkInMidFrame : public ::testing::TestWithParam<const char*> {};

TEST_P(FilterForkInMidFrame, ChildFinishesFramesOnTheInheritedElementAndTheParentKeepsItsBytes) {
  if (forkTestsSkipped()) GTEST_SKIP() << "the user-mode emulator cannot start threads in the child of a multithreaded fork";
  const char* element = GetParam();
  const NativeFrame frame = jaggedFrame(40);
  const NativeFrame expected = throughNewFilter(element, frame);
  ASSERT_EQ(expected.bytes.size(), frame.bytes.size());
  ASSERT_NE(expected.bytes, frame.bytes);

  // The element the frames run on, its format negotiated by a first buffer.
  GstHarness* h = gst_harness_new(element);
  gst_harness_set_src_caps_str(h, capsString(kFormat, kWidth, kHeight).c_str());
  ASSERT_EQ(gst_harness_push(h, makeBuffer(frame, kFormat, kStride, 0, 0, kFrameDuration)), GST_FLOW_OK);
  gst_buffer_unref(gst_harness_pull(h));
  auto* trans = GST_BASE_TRANSFORM(h->element);
  const auto transform = GST_BASE_TRANSFORM_GET_CLASS(trans)->transform;
  GstBuffer* input = makeBuffer(frame, kFormat, kStride);
  GstBuffer* parentOutput = gst_buffer_new_allocate(nullptr, frame.bytes.size(), nullptr);
  GstBuffer* childOutput = gst_buffer_new_allocate(nullptr, frame.bytes.size(), nullptr);

  const ForkDuringFramesResult result = forkDuringFrames(
      childrenFor(element), kChildSeconds,
      [&] { return transform(trans, input, parentOutput) == GST_FLOW_OK && holds(parentOutput, expected.bytes); },
      [&]() -> int {
        keepChildOnItsOwnThread();
        for (int i = 0; i < 2; ++i) {
          gst_buffer_memset(childOutput, 0, 0, frame.bytes.size());
          if (transform(trans, input, childOutput) != GST_FLOW_OK || !holds(childOutput, expected.bytes))
            return kInheritedFrame;
        }
        if (throughNewFilter(element, frame).bytes != expected.bytes) return kNewFrame;
        return 0;
      });
  gst_buffer_unref(childOutput);
  gst_buffer_unref(parentOutput);
  gst_buffer_unref(input);
  gst_harness_teardown(h);
  expectAllWell(result, childrenFor(element));
  expectNoGlibWarnings();
}

INSTANTIATE_TEST_SUITE_P(Filters, FilterForkInMidFrame, ::testing::Values("qovmlaa", "qovsetmatte"),
                         [](const auto& info) { return std::string(info.param); });

// The two-input matte on both of its pads (a harness on each, as two_input_matte_test.cpp).
struct Mixer {
  Mixer()
      : colour(gst_harness_new_with_padnames("qovmisetmatte", "colour", "src")),
        mask(gst_harness_new_with_element(colour->element, "mask", nullptr)) {
    gst_harness_set_live(colour, FALSE);
    gst_harness_set_live(mask, FALSE);
    gst_harness_set_src_caps_str(colour, capsString(kFormat, kWidth, kHeight).c_str());
    gst_harness_set_src_caps_str(mask, capsString(kFormat, kWidth, kHeight).c_str());
  }
  ~Mixer() {
    gst_harness_teardown(mask);
    gst_harness_teardown(colour);
  }
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  bool push(const NativeFrame& colourFrame, const NativeFrame& maskFrame, int index) {
    const GstClockTime pts = kFrameDuration * static_cast<GstClockTime>(index);
    return gst_harness_push(colour, makeBuffer(colourFrame, kFormat, kStride, 0, pts, kFrameDuration)) == GST_FLOW_OK &&
           gst_harness_push(mask, makeBuffer(maskFrame, kFormat, kStride, 0, pts, kFrameDuration)) == GST_FLOW_OK;
  }
  // The next output frame's bytes (rows packed), or nothing.
  std::vector<uint8_t> pull() {
    std::vector<uint8_t> bytes;
    if (GstBuffer* out = gst_harness_pull(colour)) {
      GstMapInfo map;
      if (gst_buffer_map(out, &map, GST_MAP_READ)) {
        bytes.assign(map.data, map.data + map.size);
        gst_buffer_unmap(out, &map);
      }
      gst_buffer_unref(out);
    }
    return bytes;
  }

  GstHarness* colour;
  GstHarness* mask;
};

TEST(MixerForkInMidFrame, ChildRunsFramesOnANewMixerAndTheParentKeepsItsBytes) {
  if (forkTestsSkipped()) GTEST_SKIP() << "the user-mode emulator cannot start threads in the child of a multithreaded fork";
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a new mixer runs on a thread of its own, which ThreadSanitizer does not start in the child of a "
                  "multithreaded fork";
#endif
  const NativeFrame colourFrame = jaggedFrame(41), maskFrame = jaggedFrame(42);
  std::vector<uint8_t> expected;
  {
    Mixer mixer;
    ASSERT_TRUE(mixer.push(colourFrame, maskFrame, 0));
    EXPECT_TRUE(gst_harness_push_event(mixer.colour, gst_event_new_eos()));
    EXPECT_TRUE(gst_harness_push_event(mixer.mask, gst_event_new_eos()));
    expected = mixer.pull();
  }
  ASSERT_EQ(expected.size(), colourFrame.bytes.size());
  ASSERT_NE(expected, colourFrame.bytes);

  // The mixer gives out a frame once the next has come on both pads: the parent's frames run
  // one behind its pushes.
  Mixer mixer;
  int pushed = 0;
  ASSERT_TRUE(mixer.push(colourFrame, maskFrame, pushed++));
  const ForkDuringFramesResult result = forkDuringFrames(
      childrenFor("qovmisetmatte"), kChildSeconds,
      [&] { return mixer.push(colourFrame, maskFrame, pushed++) && mixer.pull() == expected; },
      [&]() -> int {
        Mixer fresh;
        if (!fresh.push(colourFrame, maskFrame, 0) || !gst_harness_push_event(fresh.colour, gst_event_new_eos()) ||
            !gst_harness_push_event(fresh.mask, gst_event_new_eos()) || fresh.pull() != expected)
          return kNewFrame;
        return 0;
      });
  expectAllWell(result, childrenFor("qovmisetmatte"));
  expectNoGlibWarnings();
}

}  // namespace
}  // namespace qov::test
