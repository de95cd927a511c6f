// Plug-in lookup and loading.
#include "tools/qovhost/plugin_locator.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "tools/qovhost/command_error.h"

namespace qov::qovhost {
namespace {

constexpr const char* kLibrarySuffix = ".so";
constexpr const char* kInstalledPluginDirectory = "/../lib/freeframe";

bool isRegularFile(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool isDirectory(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string executableDirectory() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  const std::string executable(path, static_cast<std::size_t>(length));
  const std::size_t slash = executable.find_last_of('/');
  return slash == std::string::npos ? "." : executable.substr(0, slash);
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::vector<std::string> pluginDirectories() {
  const std::string here = executableDirectory();
  return {here, std::filesystem::path(here + kInstalledPluginDirectory).lexically_normal().string()};
}

std::string findPlugin(const std::string& argument) {
  if (isRegularFile(argument)) return argument;
  if (isDirectory(argument)) throw CommandError(argument + " is a directory, not a plug-in library");
  if (argument.empty() || argument.find('/') != std::string::npos)
    throw CommandError("plug-in not found: " + argument);
  std::string looked;
  for (const std::string& directory : pluginDirectories()) {
    if (isRegularFile(directory + "/" + argument)) return directory + "/" + argument;
    if (!endsWith(argument, kLibrarySuffix) && isRegularFile(directory + "/" + argument + kLibrarySuffix))
      return directory + "/" + argument + kLibrarySuffix;
    looked += (looked.empty() ? "" : ", ") + directory;
  }
  throw CommandError("plug-in not found: " + argument + " (no such file here, nor in " + looked + ")");
}

host::PluginLibrary openPlugin(const std::string& argument) {
  const std::string path = findPlugin(argument);
  try {
    host::PluginLibrary library(path);
    if (library.info() == nullptr)
      throw CommandError(path + ": not a FreeFrame plug-in (it does not describe itself)");
    return library;
  } catch (const host::LoadError& error) {
    throw CommandError(error.what());
  }
}

}  // namespace qov::qovhost
