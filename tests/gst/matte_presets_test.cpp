// The matte elements' presets and weights: a luma key set by preset (the property, and
// gst-launch's @preset through the preset interface) or by integer weights gives the bytes
// of the FreeFrame plug-in with the luma key's recipe in amounts; the weights are another
// view of the amounts; the built-in presets cannot be overwritten.
#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <string>

#include "plugins/QovMISetMatte1/identity.h"
#include "plugins/QovSetMatte1/identity.h"
#include "tests/gst/gst_test_support.h"

namespace qov::test {
namespace {

// The luma key as the user's guide writes it in amounts: Alpha Amount 0, red, green and
// blue amounts just above weights 2, 5 and 1, every switch off.
const std::vector<float> kLumaKeyRecipe = {0.0f, 0.0000381f, 0.0000839f, 0.0000229f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

TEST(MattePresets, LumaKeyByPresetOrWeightsIsTheRecipesBytes) {
  constexpr int width = 37, height = 11;
  std::mt19937 rng(33);
  const NativeFrame frame = randomFrame(width, height, 4, rng);
  const std::vector<uint8_t> expected = freeFrameResult("QovSetMatte1", frame, kLumaKeyRecipe);
  for (const char* description :
       {"qovsetmatte preset=luma-key", "qovsetmatte @preset=luma-key",
        "qovsetmatte alpha-weight=0 red-weight=2 green-weight=5 blue-weight=1 invert-all=false "
        "invert-alpha=false invert-red=false invert-green=false invert-blue=false",
        // A property after the preset changes one value: here back to what the preset set.
        "qovsetmatte preset=inverse-luma-key invert-all=false"}) {
    SCOPED_TRACE(description);
    GstHarness* harness = gst_harness_new_parse(description);
    ASSERT_NE(harness, nullptr);
    gst_harness_set_src_caps_str(harness, capsString(GST_VIDEO_FORMAT_BGRA, width, height).c_str());
    ASSERT_EQ(gst_harness_push(harness, makeBuffer(frame, GST_VIDEO_FORMAT_BGRA, width * 4)), GST_FLOW_OK);
    GstBuffer* out = gst_harness_pull(harness);
    GstCaps* caps = gst_pad_get_current_caps(harness->sinkpad);
    EXPECT_TRUE(sameFrame(readBuffer(out, caps), expected));
    gst_caps_unref(caps);
    gst_buffer_unref(out);
    gst_harness_teardown(harness);
  }
  expectNoGlibWarnings();
}

TEST(MattePresets, WeightsAreTheAmountsInWholeUnits) {
  GstElement* element = gst_element_factory_make("qovmisetmatte", nullptr);
  ASSERT_NE(element, nullptr);
  gint weight = -1;
  double amount = -1.0;
  g_object_get(element, "green-weight", &weight, nullptr);
  EXPECT_EQ(weight, 58982);  // the default amount 0.9
  g_object_set(element, "red-weight", 2, nullptr);
  g_object_get(element, "red-amount", &amount, nullptr);
  EXPECT_EQ(amount, 2.0 / 65536.0);
  g_object_set(element, "blue-amount", 0.0000839, nullptr);
  g_object_get(element, "blue-weight", &weight, nullptr);
  EXPECT_EQ(weight, 5);
  g_object_set(element, "alpha-weight", 65536, nullptr);
  g_object_get(element, "alpha-amount", &amount, nullptr);
  EXPECT_EQ(amount, 1.0);
  gst_object_unref(element);
  expectNoGlibWarnings();
}

TEST(MattePresets, TheInterfaceListsLoadsAndKeepsTheBuiltInPresets) {
  for (const char* name : {"qovsetmatte", "qovmisetmatte"}) {
    SCOPED_TRACE(name);
    GstElement* element = gst_element_factory_make(name, nullptr);
    ASSERT_NE(element, nullptr);
    GstPreset* preset = GST_PRESET(element);
    gchar** names = gst_preset_get_preset_names(preset);
    ASSERT_NE(names, nullptr);
    ASSERT_GE(g_strv_length(names), 10u);
    EXPECT_STREQ(names[0], "defaults");
    EXPECT_STREQ(names[1], "luma-key");
    g_strfreev(names);
    gchar* comment = nullptr;
    EXPECT_TRUE(gst_preset_get_meta(preset, "alpha-from-red", "comment", &comment));
    EXPECT_STREQ(comment, "alpha = red");
    g_free(comment);

    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "switch-inputs") != nullptr)
      g_object_set(element, "switch-inputs", TRUE, nullptr);
    EXPECT_TRUE(gst_preset_load_preset(preset, "threshold-green"));
    gint weight = -1;
    gboolean invertGreen = FALSE, invertAll = FALSE, invertRed = TRUE;
    g_object_get(element, "green-weight", &weight, "invert-green", &invertGreen, "invert-all", &invertAll,
                 "invert-red", &invertRed, nullptr);
    EXPECT_EQ(weight, 512);
    EXPECT_TRUE(invertGreen);
    EXPECT_TRUE(invertAll);
    EXPECT_FALSE(invertRed);
    // The preset sets the matte rule only: which input is which stays.
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "switch-inputs") != nullptr) {
      gboolean switched = FALSE;
      g_object_get(element, "switch-inputs", &switched, nullptr);
      EXPECT_TRUE(switched);
    }

    EXPECT_FALSE(gst_preset_load_preset(preset, "no-such-preset"));
    EXPECT_FALSE(gst_preset_save_preset(preset, "luma-key"));
    EXPECT_FALSE(gst_preset_delete_preset(preset, "luma-key"));
    EXPECT_FALSE(gst_preset_rename_preset(preset, "luma-key", "mine"));
    gst_object_unref(element);
  }
  expectNoGlibWarnings();
}

}  // namespace
}  // namespace qov::test
