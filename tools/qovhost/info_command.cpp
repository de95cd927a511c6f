// qovhost info PLUGIN [--json]: everything a host learns from a plug-in's descriptors, and
// for our own plug-ins each parameter's kind and explanation.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/qovhost/cli_options.h"
#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "host/plugin_instance.h"
#include "tools/qovhost/known_plugins.h"
#include "tools/qovhost/plugin_locator.h"

namespace qov::qovhost {
namespace {

constexpr uint32_t kJsonIndent = 2;
// Room for the shortest text of any float ("-1.1754944e-38" and the like).
constexpr std::size_t kShortestFloatChars = 32;
// A small frame for the instance that formats the current parameter values.
constexpr uint32_t kProbeSide = 64;

// What each capability code a host may ask about means. Our plug-ins answer non-zero
// values for codes that carry no meaning for a host (4, 16 to 21); the table groups them,
// and the unused codes, under one line each, and the JSON labels every code.
constexpr const char* kNoMeaning = "no meaning for hosts (answered as stored)";
constexpr const char* kUnused = "unused";
constexpr const char* kCapabilityMeanings[] = {
    "16-bit video",                           // 0
    "24-bit video",                           // 1
    "32-bit video",                           // 2
    "processFrameCopy",                       // 3
    kNoMeaning,                               // 4
    kUnused,                                  // 5
    kUnused,                                  // 6
    kUnused,                                  // 7
    kUnused,                                  // 8
    kUnused,                                  // 9
    "minimum input frames",                   // 10
    "maximum input frames",                   // 11
    kUnused,                                  // 12
    kUnused,                                  // 13
    kUnused,                                  // 14
    "copy-or-in-place preference (3: both)",  // 15
    kNoMeaning,                               // 16
    kNoMeaning,                               // 17
    kNoMeaning,                               // 18
    kNoMeaning,                               // 19
    kNoMeaning,                               // 20
    kNoMeaning,                               // 21
};
constexpr uint32_t kCapabilityCount = sizeof kCapabilityMeanings / sizeof kCapabilityMeanings[0];

const char* capabilityMeaning(uint32_t code) { return kCapabilityMeanings[code]; }

constexpr uint32_t kSourceType = 1;
// Explanations are wrapped to this many columns, under the parameter's row.
constexpr std::size_t kTextWidth = 100;
constexpr std::size_t kExplanationIndent = 9;
constexpr std::size_t kPresetIndent = 21;

std::string pluginTypeName(uint32_t type) {
  if (type == FF_EFFECT) return "effect";
  return type == kSourceType ? "source" : "unknown";
}

struct ParameterRow {
  uint32_t index;
  std::string name;
  float defaultValue;
  uint32_t type;
  std::optional<std::string> display;
  // From our own parameter list, when the plug-in is one of ours.
  const parameters::ParameterSpec* listed = nullptr;
};

// The current display texts need an instance; a plug-in that takes neither depth has none.
std::vector<ParameterRow> parameterRows(const host::PluginLibrary& library, const KnownPlugin* known) {
  std::optional<host::PluginInstance> instance;
  for (uint32_t depth : {FF_DEPTH_32, FF_DEPTH_24}) {
    try {
      instance.emplace(library, kProbeSide, kProbeSide, depth);
      break;
    } catch (const host::InstantiateError&) {
    }
  }
  std::vector<ParameterRow> rows;
  for (uint32_t i = 0; i < library.numParameters(); ++i) {
    ParameterRow row{i, library.parameterName(i), library.parameterDefault(i), library.parameterType(i), {}};
    if (instance) row.display = instance->parameterDisplay(i);
    if (known != nullptr) row.listed = &known->parameters[i];
    rows.push_back(row);
  }
  return rows;
}

// The shortest decimal that reads back as the same float: 0.9f is "0.9", not the
// 0.8999999761581421 of its exact value.
std::string number(float value) {
  char text[kShortestFloatChars];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The same for JSON, whose numbers are doubles: the double nearest to that decimal.
double shownNumber(float value) { return std::strtod(number(value).c_str(), nullptr); }

bool isSwitch(const ParameterRow& row) {
  return row.listed != nullptr && row.listed->kind == parameters::Kind::kSwitch;
}

std::string kindName(const ParameterRow& row) {
  if (row.listed == nullptr) return "type " + std::to_string(row.type);
  return isSwitch(row) ? "switch" : "amount";
}

std::string defaultText(const ParameterRow& row) {
  if (!isSwitch(row)) return number(row.defaultValue);
  return parameters::switchOn(row.defaultValue) ? "on" : "off";
}

void printJson(const host::PluginLibrary& library) {
  const PlugInfo& info = *library.info();
  const ExtendedInfo* extended = library.extendedInfo();
  const KnownPlugin* known = knownPlugin(library);
  nlohmann::ordered_json json;
  json["path"] = library.path();
  json["name"] = library.name();
  json["uniqueId"] = library.uniqueId();
  json["apiVersion"] = {{"major", info.apiMajorVersion}, {"minor", info.apiMinorVersion}};
  json["pluginType"] = info.pluginType;
  if (extended != nullptr) {
    json["version"] = {{"major", extended->pluginMajorVersion}, {"minor", extended->pluginMinorVersion}};
    json["description"] = extended->description != nullptr ? extended->description : "";
    json["about"] = extended->about != nullptr ? extended->about : "";
  }
  json["parameters"] = nlohmann::ordered_json::array();
  for (const ParameterRow& row : parameterRows(library, known)) {
    nlohmann::ordered_json entry = {
        {"index", row.index}, {"name", row.name}, {"default", shownNumber(row.defaultValue)}, {"type", row.type}};
    entry["display"] = row.display ? nlohmann::ordered_json(*row.display) : nlohmann::ordered_json();
    // Known only for our own plug-ins; null for others.
    entry["kind"] = row.listed != nullptr ? nlohmann::ordered_json(kindName(row)) : nlohmann::ordered_json();
    entry["explanation"] =
        row.listed != nullptr ? nlohmann::ordered_json(row.listed->explanation) : nlohmann::ordered_json();
    json["parameters"].push_back(entry);
  }
  if (known != nullptr && known->presetCount > 0) {
    json["presets"] = nlohmann::ordered_json::array();
    for (std::size_t p = 0; p < known->presetCount; ++p) {
      const matte::MattePreset& preset = known->presets[p];
      nlohmann::ordered_json values = nlohmann::ordered_json::object();
      for (std::size_t i = 0; i < preset.values.size(); ++i)
        values[known->parameters[i].name] = shownNumber(preset.values[i]);
      json["presets"].push_back({{"name", preset.name}, {"summary", preset.summary}, {"values", values}});
    }
  }
  json["capabilities"] = nlohmann::ordered_json::array();
  for (uint32_t code = 0; code < kCapabilityCount; ++code)
    json["capabilities"].push_back(
        {{"code", code}, {"value", library.capability(code)}, {"meaning", capabilityMeaning(code)}});
  std::cout << json.dump(kJsonIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

// Continuation lines of a multi-line text start under its first line.
std::string indented(const std::string& text, const std::string& indent) {
  std::string result;
  for (char c : text) {
    result.push_back(c);
    if (c == '\n') result += indent;
  }
  return result;
}

// `text` broken into lines of at most kTextWidth columns (words longer than that stay
// whole), each starting with `indent`.
std::string wrapped(const std::string& text, std::size_t indent) {
  std::istringstream words(text);
  std::string result, line, word;
  while (words >> word) {
    if (!line.empty() && indent + line.size() + 1 + word.size() > kTextWidth) {
      result += std::string(indent, ' ') + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty()) result += std::string(indent, ' ') + line + "\n";
  return result;
}

// "4, 16-21" for the codes {4, 16, ..., 21}.
std::string codeRanges(const std::vector<uint32_t>& codes) {
  std::string text;
  for (std::size_t i = 0; i < codes.size();) {
    std::size_t j = i;
    while (j + 1 < codes.size() && codes[j + 1] == codes[j] + 1) ++j;
    text += (text.empty() ? "" : ", ") + std::to_string(codes[i]);
    if (j > i) text += "-" + std::to_string(codes[j]);
    i = j + 1;
  }
  return text;
}

// One line for all codes of one meaning: their values, or "all 0".
void printCapabilityGroup(const host::PluginLibrary& library, const char* meaning) {
  std::vector<uint32_t> codes;
  std::string values;
  bool allZero = true;
  for (uint32_t code = 0; code < kCapabilityCount; ++code) {
    if (capabilityMeaning(code) != meaning) continue;
    const uint32_t value = library.capability(code);
    codes.push_back(code);
    values += (values.empty() ? "" : ", ") + std::to_string(value);
    allZero = allZero && value == 0;
  }
  std::printf("  %-12s  %s: %s\n", codeRanges(codes).c_str(), meaning, allZero ? "all 0" : values.c_str());
}

void printCapabilities(const host::PluginLibrary& library) {
  std::printf("\nCapabilities\n  %-4s  %-6s  %s\n", "code", "value", "meaning");
  for (uint32_t code = 0; code < kCapabilityCount; ++code) {
    const char* meaning = capabilityMeaning(code);
    if (meaning == kNoMeaning || meaning == kUnused) continue;
    std::printf("  %-4u  %-6u  %s\n", code, library.capability(code), meaning);
  }
  printCapabilityGroup(library, kNoMeaning);
  printCapabilityGroup(library, kUnused);
}

// What each preset does, and the values it sets: amounts as whole weights (amount x 65536),
// the switches that it turns on.
void printPresets(const KnownPlugin& known) {
  if (known.presetCount == 0) return;
  std::printf("\nPresets (--preset NAME; they set the first %zu parameters, a --set after them changes one)\n",
              known.presets[0].values.size());
  for (std::size_t p = 0; p < known.presetCount; ++p) {
    const matte::MattePreset& preset = known.presets[p];
    std::string values;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < preset.values.size(); ++i) {
      const parameters::ParameterSpec& parameter = known.parameters[i];
      const float value = preset.values[i];
      if (parameter.kind == parameters::Kind::kSwitch) {
        if (!parameters::switchOn(value)) continue;
        values += std::string(values.empty() ? "" : ", ") + parameter.name + " on";
      } else if (value != 0.0f) {
        values += std::string(values.empty() ? "" : ", ") + parameter.name + " " + number(value) + " (weight " +
                  std::to_string(matte::weightFromAmount(value)) + ")";
      } else {
        continue;
      }
      ++shown;
    }
    if (shown < preset.values.size()) values += "; the rest 0 and off";
    std::printf("  %-18s %s\n%s", preset.name, preset.summary, wrapped(values, kPresetIndent).c_str());
  }
}

void printTable(const host::PluginLibrary& library) {
  const PlugInfo& info = *library.info();
  const ExtendedInfo* extended = library.extendedInfo();
  const KnownPlugin* known = knownPlugin(library);
  const std::string indent(19, ' ');
  std::printf("%s (%s)\n", library.name().c_str(), library.path().c_str());
  std::printf("  unique ID        %s\n", library.uniqueId().c_str());
  std::printf("  plug-in type     %u (%s)\n", info.pluginType, pluginTypeName(info.pluginType).c_str());
  std::printf("  API version      %u.%u\n", info.apiMajorVersion, info.apiMinorVersion);
  if (extended != nullptr) {
    std::printf("  version          %u.%u\n", extended->pluginMajorVersion, extended->pluginMinorVersion);
    if (extended->description != nullptr)
      std::printf("  description      %s\n", indented(extended->description, indent).c_str());
    if (extended->about != nullptr) std::printf("  about            %s\n", indented(extended->about, indent).c_str());
  }
  std::printf("\nParameters%s\n  %-5s  %-16s  %-8s  %-8s  %s\n",
              known != nullptr ? " (amounts from 0 to 1; switches are on above 0.5)" : "", "index", "name", "kind",
              "default", "display");
  for (const ParameterRow& row : parameterRows(library, known)) {
    std::printf("  %-5u  %-16s  %-8s  %-8s  %s\n", row.index, row.name.c_str(), kindName(row).c_str(),
                defaultText(row).c_str(), row.display ? row.display->c_str() : "(no instance)");
    if (row.listed != nullptr) std::printf("%s", wrapped(row.listed->explanation, kExplanationIndent).c_str());
  }
  if (known == nullptr && library.numParameters() > 0)
    std::printf("  (a FreeFrame plug-in gives its parameters' names, defaults and type codes only)\n");
  if (known != nullptr) printPresets(*known);
  printCapabilities(library);
}

}  // namespace

void addInfoCommand(CLI::App& app) {
  struct Options {
    std::string plugin;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("info", "Show a plug-in's identity, texts, parameter table and capability table");
  addPluginArgument(*command, options->plugin);
  command->add_flag("--json", options->json, "Print JSON for scripts instead of tables");
  command->callback([options] {
    const host::PluginLibrary library = openPlugin(options->plugin);
    if (options->json)
      printJson(library);
    else
      printTable(library);
  });
}

}  // namespace qov::qovhost
