// The elements' properties are the effects' parameter lists: names, nicks, explanations,
// kinds and defaults from the list, changeable while playing and by a controller; amounts
// clamped to [0, 1] as the other editions clamp them, NaN kept.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "plugins/QovMISetMatte1/identity.h"
#include "plugins/QovMLAA1/identity.h"
#include "plugins/QovSetMatte1/identity.h"
#include "tests/gst/gst_test_support.h"

namespace qov::test {
namespace {

struct ElementList {
  const char* element;
  const parameters::ParameterSpec* specs;
  std::size_t count;
};

std::ostream& operator<<(std::ostream& out, const ElementList& e) { return out << e.element; }

const ElementList kElements[] = {
    {"qovmlaa", mlaa1::kParameterSpecs.data(), mlaa1::kParameterSpecs.size()},
    {"qovsetmatte", setmatte1::kParameterSpecs.data(), setmatte1::kParameterSpecs.size()},
    {"qovmisetmatte", misetmatte1::kParameterSpecs.data(), misetmatte1::kParameterSpecs.size()},
};

class ElementProperties : public ::testing::TestWithParam<ElementList> {};

TEST_P(ElementProperties, FollowTheParameterList) {
  const ElementList& e = GetParam();
  GstElement* element = gst_element_factory_make(e.element, nullptr);
  ASSERT_NE(element, nullptr);
  for (std::size_t i = 0; i < e.count; ++i) {
    const parameters::ParameterSpec& parameter = e.specs[i];
    const std::string name = propertyName(parameter.name);
    GParamSpec* pspec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), name.c_str());
    ASSERT_NE(pspec, nullptr) << name;
    EXPECT_STREQ(g_param_spec_get_nick(pspec), parameter.name);
    EXPECT_STREQ(g_param_spec_get_blurb(pspec), parameter.explanation);
    EXPECT_TRUE(pspec->flags & GST_PARAM_CONTROLLABLE) << name;
    EXPECT_TRUE(pspec->flags & GST_PARAM_MUTABLE_PLAYING) << name;
    if (parameter.kind == parameters::Kind::kSwitch) {
      ASSERT_EQ(G_PARAM_SPEC_VALUE_TYPE(pspec), G_TYPE_BOOLEAN) << name;
      EXPECT_EQ(G_PARAM_SPEC_BOOLEAN(pspec)->default_value, parameters::switchOn(parameter.defaultValue)) << name;
      continue;
    }
    ASSERT_EQ(G_PARAM_SPEC_VALUE_TYPE(pspec), G_TYPE_DOUBLE) << name;
    const GParamSpecDouble* range = G_PARAM_SPEC_DOUBLE(pspec);
    EXPECT_EQ(range->minimum, 0.0);
    EXPECT_EQ(range->maximum, 1.0);
    EXPECT_EQ(range->default_value, static_cast<double>(parameter.defaultValue)) << name;
    const double nan = std::nan("");
    for (auto [set, expected] : {std::pair{1.5, 1.0}, {-0.5, 0.0}, {0.25, 0.25}, {nan, nan}}) {
      double read = -1.0;
      g_object_set(element, name.c_str(), set, nullptr);
      g_object_get(element, name.c_str(), &read, nullptr);
      if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(read)) << name;
      else
        EXPECT_EQ(read, expected) << name << " set to " << set;
    }
  }
  gst_object_unref(element);
  expectNoGlibWarnings();
}

INSTANTIATE_TEST_SUITE_P(Elements, ElementProperties, ::testing::ValuesIn(kElements),
                         [](const ::testing::TestParamInfo<ElementList>& info) { return info.param.element; });

}  // namespace
}  // namespace qov::test
