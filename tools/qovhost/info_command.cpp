// qovhost info PLUGIN [--json]: everything a host learns from a plug-in's descriptors.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "tools/qovhost/cli_options.h"
#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "host/plugin_instance.h"
#include "tools/qovhost/plugin_locator.h"

namespace qov::qovhost {
namespace {

constexpr uint32_t kJsonIndent = 2;
// A small frame for the instance that formats the current parameter values.
constexpr uint32_t kProbeSide = 64;

// What each capability code a host may ask about means. Our plug-ins answer non-zero
// values for codes that carry no meaning for a host (4, 16 to 21); they are labelled as
// such rather than left blank, so that no answer looks unexplained.
constexpr const char* kCapabilityMeanings[] = {
    "16-bit video",                             // 0
    "24-bit video",                             // 1
    "32-bit video",                             // 2
    "processFrameCopy",                         // 3
    "no meaning for hosts (answered as stored)",// 4
    "unused",                                   // 5
    "unused",                                   // 6
    "unused",                                   // 7
    "unused",                                   // 8
    "unused",                                   // 9
    "minimum input frames",                     // 10
    "maximum input frames",                     // 11
    "unused",                                   // 12
    "unused",                                   // 13
    "unused",                                   // 14
    "copy-or-in-place preference (3: both)",    // 15
    "no meaning for hosts (answered as stored)",// 16
    "no meaning for hosts (answered as stored)",// 17
    "no meaning for hosts (answered as stored)",// 18
    "no meaning for hosts (answered as stored)",// 19
    "no meaning for hosts (answered as stored)",// 20
    "no meaning for hosts (answered as stored)",// 21
};
constexpr uint32_t kCapabilityCount = sizeof kCapabilityMeanings / sizeof kCapabilityMeanings[0];

const char* capabilityMeaning(uint32_t code) { return kCapabilityMeanings[code]; }

constexpr uint32_t kSourceType = 1;

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
};

// The current display texts need an instance; a plug-in that takes neither depth has none.
std::vector<ParameterRow> parameterRows(const host::PluginLibrary& library) {
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
    rows.push_back(row);
  }
  return rows;
}

std::string number(float value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

void printJson(const host::PluginLibrary& library) {
  const PlugInfo& info = *library.info();
  const ExtendedInfo* extended = library.extendedInfo();
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
  for (const ParameterRow& row : parameterRows(library)) {
    nlohmann::ordered_json entry = {
        {"index", row.index}, {"name", row.name}, {"default", row.defaultValue}, {"type", row.type}};
    entry["display"] = row.display ? nlohmann::ordered_json(*row.display) : nlohmann::ordered_json();
    json["parameters"].push_back(entry);
  }
  json["capabilities"] = nlohmann::ordered_json::array();
  for (uint32_t code = 0; code < kCapabilityCount; ++code)
    json["capabilities"].push_back(
        {{"code", code}, {"value", library.capability(code)}, {"meaning", capabilityMeaning(code)}});
  std::cout << json.dump(kJsonIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

std::string formatRow(uint32_t code, uint32_t value, const char* meaning) {
  char line[128];
  std::snprintf(line, sizeof line, "  %-4u  %-6u  %s", code, value, meaning);
  std::string text = line;
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
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

void printTable(const host::PluginLibrary& library) {
  const PlugInfo& info = *library.info();
  const ExtendedInfo* extended = library.extendedInfo();
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
  std::printf("\nParameters\n  %-5s  %-16s  %-8s  %-4s  %s\n", "index", "name", "default", "type", "display");
  for (const ParameterRow& row : parameterRows(library))
    std::printf("  %-5u  %-16s  %-8s  %-4u  %s\n", row.index, row.name.c_str(), number(row.defaultValue).c_str(),
                row.type, row.display ? row.display->c_str() : "(no instance)");
  std::printf("\nCapabilities\n  %-4s  %-6s  %s\n", "code", "value", "meaning");
  for (uint32_t code = 0; code < kCapabilityCount; ++code) {
    const std::string line = formatRow(code, library.capability(code), capabilityMeaning(code));
    std::printf("%s\n", line.c_str());
  }
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
