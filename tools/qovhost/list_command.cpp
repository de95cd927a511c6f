// qovhost list: the FreeFrame plug-ins that bare names find, and the folder they are in.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "tools/qovhost/plugin_locator.h"

namespace qov::qovhost {
namespace {

// The last part of an installation's plug-in folder (lib/freeframe).
constexpr const char* kInstalledFolderName = "freeframe";

std::string versionText(const host::PluginLibrary& library) {
  const ExtendedInfo* extended = library.extendedInfo();
  if (extended == nullptr) return "-";
  return std::to_string(extended->pluginMajorVersion) + "." + std::to_string(extended->pluginMinorVersion);
}

// Libraries that load but are no FreeFrame plug-in (other libraries, frei0r plug-ins) are
// not ours to report; one that does not load at all may be a broken plug-in, and says why.
bool isOtherLibrary(const CommandError& error) {
  const std::string text = error.what();
  return text.find("not a FreeFrame plug-in") != std::string::npos;
}

void listDirectory(const std::string& directory, const char* role) {
  std::error_code error;
  if (!std::filesystem::is_directory(directory, error)) {
    std::printf("%s (%s): no such folder\n", directory.c_str(), role);
    return;
  }
  std::printf("%s (%s)\n", directory.c_str(), role);
  std::size_t found = 0;
  for (const std::string& file : libraryFiles(directory)) {
    const std::string fileName = std::filesystem::path(file).filename().string();
    try {
      const host::PluginLibrary library = openPlugin(file);
      std::printf("  %-16s  %-4s  %-8s  %s\n", library.name().c_str(), library.uniqueId().c_str(),
                  versionText(library).c_str(), fileName.c_str());
      ++found;
    } catch (const CommandError& notPlugin) {
      if (!isOtherLibrary(notPlugin)) std::printf("  (%s: %s)\n", fileName.c_str(), notPlugin.what());
    }
  }
  if (found == 0) std::printf("  no FreeFrame plug-ins\n");
}

}  // namespace

void addListCommand(CLI::App& app) {
  CLI::App* command = app.add_subcommand(
      "list", "List the FreeFrame plug-ins that qovhost finds by name: name, unique ID, version and file");
  command->callback([] {
    for (const std::string& directory : pluginDirectories()) {
      const bool installed = std::filesystem::path(directory).filename() == kInstalledFolderName;
      listDirectory(directory, installed ? "the installed plug-ins" : "beside qovhost");
    }
  });
}

}  // namespace qov::qovhost
