// Parsing and applying --set.
#include "tools/qovhost/parameter_settings.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/known_plugins.h"
#include "tools/qovhost/nearest_name.h"

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
  std::vector<std::string> names;
  for (uint32_t i = 0; i < count; ++i) {
    if (sameIgnoringCase(library.parameterName(i), name)) return i;
    names.push_back(library.parameterName(i));
  }
  const std::string nearest = nearestName(name, names);
  if (!nearest.empty())
    throw CommandError("unknown parameter \"" + name + "\" for " + library.name() + "; did you mean \"" + nearest +
                       "\"? (" + validNames(library) + ")");
  throw CommandError("unknown parameter \"" + name + "\" for " + library.name() + "; " + validNames(library));
}

// The words for a switch's two states, in any letter case: those of everyday speech and of
// ffmpeg's frei0r filter (y, n).
constexpr const char* kOnWords[] = {"y", "yes", "on", "true"};
constexpr const char* kOffWords[] = {"n", "no", "off", "false"};

// 1 or 0 for a switch word, nothing for any other text.
std::optional<float> switchWord(const std::string& text) {
  for (const char* word : kOnWords)
    if (sameIgnoringCase(text, word)) return kHighest;
  for (const char* word : kOffWords)
    if (sameIgnoringCase(text, word)) return kLowest;
  return std::nullopt;
}

// A number as the C library reads one (strtof: a sign, exponents, hexadecimal floats),
// all of the text. A value too small for a float becomes 0 or the nearest subnormal, as
// the plug-in would store it; one too large for a float is out of range; infinities and
// NaN are refused. qovhost never sets a locale, so the decimal point is always ".".
float parseNumber(const std::string& parameter, const std::string& text, const std::string& expected) {
  const char* first = text.c_str();
  char* end = nullptr;
  errno = 0;
  const float value = std::strtof(first, &end);
  const bool whole = !text.empty() && !std::isspace(static_cast<unsigned char>(text[0])) && end == first + text.size();
  // strtof reads "inf" and "nan" as words and an overlong number as an overflow.
  const bool overflow = whole && errno == ERANGE && std::isinf(value);
  const bool isWord = whole && std::isalpha(static_cast<unsigned char>(text[text.find_first_not_of("+-")]));
  if (overflow && !isWord)
    throw CommandError("the value of \"" + parameter + "\" is out of range: " + text +
                       " lies beyond what the plug-in's number (a 32-bit float) holds; the plug-ins take 0 to 1");
  if (!whole || !std::isfinite(value))
    throw CommandError("the value of \"" + parameter + "\" must be " + expected + ", not \"" + text + "\"");
  return value;
}

// A number, or for a switch (and for any parameter of a plug-in whose switches qovhost does
// not know) one of the switch words.
float parseValue(const host::PluginLibrary& library, uint32_t index, const std::string& text) {
  const std::string parameter = library.parameterName(index);
  const std::optional<float> word = switchWord(text);
  const KnownPlugin* known = knownPlugin(library);
  const bool amount = known != nullptr && known->parameters[index].kind == parameters::Kind::kAmount;
  const bool onOff = known != nullptr && known->parameters[index].kind == parameters::Kind::kSwitch;
  if (!word)
    return parseNumber(parameter, text,
                       amount  ? "a number from 0 to 1"
                       : onOff ? "a switch word (yes/no, y/n, on/off, true/false) or a number (on above 0.5)"
                               : "a number, or for a switch yes/no, y/n, on/off or true/false");
  if (amount)
    throw CommandError("\"" + parameter + "\" is an amount: give a number from 0 to 1, not \"" + text +
                       "\" (words such as yes and no are for switches)");
  return *word;
}

}  // namespace

ParameterSetting parseSetting(const host::PluginLibrary& library, const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos)
    throw CommandError("--set takes NAME=VALUE, not \"" + text + "\"; " + validNames(library));
  const uint32_t index = findParameter(library, trim(text.substr(0, equals)));
  const std::string name = library.parameterName(index);
  const float value = parseValue(library, index, trim(text.substr(equals + 1)));
  if (value < kLowest || value > kHighest) {
    std::ostringstream note;
    note << '"' << name << "\" = " << value << " is outside 0..1; the plug-in clamps it to "
         << (value < kLowest ? kLowest : kHighest);
    warn(note.str());
  }
  return {index, value};
}

std::vector<ParameterSetting> presetSettings(const host::PluginLibrary& library, const std::string& name) {
  const KnownPlugin* known = knownPlugin(library);
  if (known == nullptr || known->presetCount == 0)
    throw CommandError(library.name() + " has no presets; QovSetMatte1 and QovMISetMatte1 have (qovhost info " +
                       "QovSetMatte1 lists them)");
  std::vector<std::string> names;
  for (std::size_t i = 0; i < known->presetCount; ++i) {
    const matte::MattePreset& preset = known->presets[i];
    names.push_back(preset.name);
    if (!sameIgnoringCase(name, preset.name)) continue;
    std::vector<ParameterSetting> settings;
    for (std::size_t p = 0; p < preset.values.size(); ++p)
      settings.push_back({static_cast<uint32_t>(p), preset.values[p]});
    return settings;
  }
  std::string list;
  for (const std::string& each : names) list += (list.empty() ? "" : ", ") + each;
  const std::string nearest = nearestName(name, names);
  throw CommandError("unknown preset \"" + name + "\" for " + library.name() + "; " +
                     (nearest.empty() ? "" : "did you mean " + nearest + "? (") + "presets: " + list +
                     (nearest.empty() ? "" : ")"));
}

std::vector<ParameterSetting> parseSettings(const host::PluginLibrary& library, const std::string& preset,
                                            const std::vector<std::string>& texts) {
  std::vector<ParameterSetting> settings;
  if (!preset.empty()) settings = presetSettings(library, preset);
  for (const std::string& text : texts) settings.push_back(parseSetting(library, text));
  return settings;
}

void applySettings(const host::PluginInstance& instance, const std::vector<ParameterSetting>& settings) {
  for (const ParameterSetting& setting : settings)
    if (host::failed(instance.setParameter(setting.index, setting.value)))
      throw CommandError("the plug-in refused parameter " + std::to_string(setting.index));
}

}  // namespace qov::qovhost
