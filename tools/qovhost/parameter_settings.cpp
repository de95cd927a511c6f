// Parsing and applying --set.
#include "tools/qovhost/parameter_settings.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tools/qovhost/command_error.h"

namespace qov::qovhost {
namespace {

constexpr float kLowest = 0.0f;
constexpr float kHighest = 1.0f;

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool allDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string validNames(const host::PluginLibrary& library) {
  std::ostringstream list;
  const uint32_t count = library.numParameters();
  for (uint32_t i = 0; i < count; ++i) list << (i == 0 ? "" : ", ") << '"' << library.parameterName(i) << '"';
  if (count == 0) return "it has no parameters";
  list << " (or an index 0.." << count - 1 << ")";
  return "valid names: " + list.str();
}

uint32_t findParameter(const host::PluginLibrary& library, const std::string& name) {
  const uint32_t count = library.numParameters();
  if (allDigits(name)) {
    unsigned long index = 0;
    const auto result = std::from_chars(name.data(), name.data() + name.size(), index);
    if (result.ec != std::errc() || index >= count)
      throw CommandError("parameter index " + name + " is out of range for " + library.name() + "; " +
                         validNames(library));
    return static_cast<uint32_t>(index);
  }
  for (uint32_t i = 0; i < count; ++i)
    if (sameIgnoringCase(library.parameterName(i), name)) return i;
  throw CommandError("unknown parameter \"" + name + "\" for " + library.name() + "; " + validNames(library));
}

// A number as the C library reads one (strtof: a sign, exponents, hexadecimal floats),
// all of the text. A value too small for a float becomes 0 or the nearest subnormal, as
// the plug-in would store it; one too large, and infinities and NaN, are refused.
// qovhost never sets a locale, so the decimal point is always ".".
float parseValue(const std::string& parameter, const std::string& text) {
  const char* first = text.c_str();
  char* end = nullptr;
  const float value = std::strtof(first, &end);
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || end != first + text.size() ||
      !std::isfinite(value))
    throw CommandError("the value of \"" + parameter + "\" must be a number, not \"" + text + "\"");
  return value;
}

}  // namespace

ParameterSetting parseSetting(const host::PluginLibrary& library, const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos)
    throw CommandError("--set takes NAME=VALUE, not \"" + text + "\"; " + validNames(library));
  const uint32_t index = findParameter(library, trim(text.substr(0, equals)));
  const std::string name = library.parameterName(index);
  const float value = parseValue(name, trim(text.substr(equals + 1)));
  if (value < kLowest || value > kHighest) {
    std::ostringstream note;
    note << '"' << name << "\" = " << value << " is outside 0..1; the plug-in clamps it to "
         << (value < kLowest ? kLowest : kHighest);
    warn(note.str());
  }
  return {index, value};
}

std::vector<ParameterSetting> parseSettings(const host::PluginLibrary& library,
                                            const std::vector<std::string>& texts) {
  std::vector<ParameterSetting> settings;
  settings.reserve(texts.size());
  for (const std::string& text : texts) settings.push_back(parseSetting(library, text));
  return settings;
}

void applySettings(const host::PluginInstance& instance, const std::vector<ParameterSetting>& settings) {
  for (const ParameterSetting& setting : settings)
    if (host::failed(instance.setParameter(setting.index, setting.value)))
      throw CommandError("the plug-in refused parameter " + std::to_string(setting.index));
}

}  // namespace qov::qovhost
