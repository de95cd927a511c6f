// How an effect describes its parameters once for every plug-in edition: for each one its
// name, default, kind and explanation, and which field of the effect's settings its value
// fills. Hosts hand over 32-bit floats meant to lie in [0, 1]; the rules for reading them
// (the clamp, the switch threshold) are written here and nowhere else.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace qov::parameters {

// The most parameters an effect may list: what a plug-in instance of either edition stores.
inline constexpr int kMaxParameters = 16;

enum class Kind {
  kAmount,  // a continuous value in [0, 1]
  kSwitch,  // off or on, by switchOn
};

// A switch is on strictly above one half: 0.5 itself and NaN are off.
inline constexpr float kSwitchThreshold = 0.5f;
constexpr bool switchOn(float value) { return value > kSwitchThreshold; }

// The value limited to [0, 1]. Written so that NaN and -0.0 pass unchanged: the effects'
// own conversions read NaN as off, or as no weight. The sign bit is tested beside the
// comparison because clang (14 at least) compiles the plain `value < 0 ? 0 : value` for
// AArch64 into one FMAX, which turns -0.0 into +0.0.
template <class Number>
Number clampToUnit(Number value) {
  if (value > Number{1}) return Number{1};
  if (std::signbit(value) && value < Number{0}) return Number{0};
  return value;
}

// One parameter as hosts and editors see it.
struct ParameterSpec {
  const char* name;
  float defaultValue;
  Kind kind;
  const char* explanation;  // what an editor shows next to the control
};

// One parameter of an effect whose per-frame settings are a `Settings`: what hosts see, and
// how its (clamped) value is stored into the settings.
template <class Settings>
struct Parameter {
  ParameterSpec shown;  // what hosts and editors see
  void (*store)(Settings& settings, float value);
};

namespace detail {

template <class Member>
struct MemberOf;
template <class Class, class Field>
struct MemberOf<Field Class::*> {
  using Owner = Class;
};
template <auto Field>
using Owner = typename MemberOf<decltype(Field)>::Owner;

inline float unchanged(float value) { return value; }

template <auto Field, auto Convert>
void storeAmount(Owner<Field>& settings, float value) {
  settings.*Field = Convert(value);
}

template <auto Field>
void storeSwitch(Owner<Field>& settings, float value) {
  settings.*Field = switchOn(value);
}

}  // namespace detail

// An amount stored into `Field` as `Convert` makes it (by default the value itself).
template <auto Field, auto Convert = &detail::unchanged>
constexpr Parameter<detail::Owner<Field>> amount(const char* name, float defaultValue, const char* explanation) {
  return {{name, defaultValue, Kind::kAmount, explanation}, &detail::storeAmount<Field, Convert>};
}

// A switch stored into the bool `Field` by switchOn.
template <auto Field>
constexpr Parameter<detail::Owner<Field>> onOff(const char* name, float defaultValue, const char* explanation) {
  return {{name, defaultValue, Kind::kSwitch, explanation}, &detail::storeSwitch<Field>};
}

// The settings for the values of a parameter list, given in its order.
template <class Settings, std::size_t N>
Settings settingsFrom(const Parameter<Settings> (&schema)[N], const float* values) {
  Settings settings;
  for (std::size_t i = 0; i < N; ++i) schema[i].store(settings, values[i]);
  return settings;
}

// The host-visible part of a parameter list.
template <class Settings, std::size_t N>
constexpr std::array<ParameterSpec, N> specsOf(const Parameter<Settings> (&schema)[N]) {
  std::array<ParameterSpec, N> specs{};
  for (std::size_t i = 0; i < N; ++i) specs[i] = schema[i].shown;
  return specs;
}

// One list followed by another, for an effect whose parameters extend another's.
template <std::size_t N, std::size_t M>
constexpr std::array<ParameterSpec, N + M> join(const std::array<ParameterSpec, N>& first,
                                                const std::array<ParameterSpec, M>& second) {
  std::array<ParameterSpec, N + M> joined{};
  for (std::size_t i = 0; i < N; ++i) joined[i] = first[i];
  for (std::size_t i = 0; i < M; ++i) joined[N + i] = second[i];
  return joined;
}

// The position of the parameter called `name`; a name not in the list does not compile
// where the index is a constant.
template <std::size_t N>
constexpr std::size_t indexOf(const std::array<ParameterSpec, N>& specs, const char* name) {
  for (std::size_t i = 0; i < N; ++i) {
    const char* a = specs[i].name;
    const char* b = name;
    while (*a != '\0' && *a == *b) ++a, ++b;
    if (*a == *b) return i;
  }
  throw "no parameter of that name";
}

}  // namespace qov::parameters
