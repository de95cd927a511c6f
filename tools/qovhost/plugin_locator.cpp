// Plug-in lookup and loading.
#include "tools/qovhost/plugin_locator.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <system_error>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/known_plugins.h"
#include "tools/qovhost/nearest_name.h"

namespace qov::qovhost {
namespace {

constexpr const char* kLibrarySuffix = ".so";
constexpr const char* kInstalledPluginDirectory = "/../lib/freeframe";
// A frei0r plug-in's one entry point that every host calls.
constexpr const char* kFrei0rEntryPoint = "f0r_construct";

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

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string withoutSuffix(const std::string& name) {
  return endsWith(name, kLibrarySuffix) ? name.substr(0, name.size() - std::string(kLibrarySuffix).size()) : name;
}

// The plug-in name in the lookup folders nearest to `name`, or "" when none is near.
std::string nearestPluginName(const std::string& name) {
  std::vector<std::string> names;
  for (const std::string& directory : pluginDirectories())
    for (const std::string& file : libraryFiles(directory))
      names.push_back(withoutSuffix(std::filesystem::path(file).filename().string()));
  return nearestName(withoutSuffix(name), names);
}

// The library in `directory` that `name` names in any letter case, with or without ".so".
std::string findIgnoringCase(const std::string& directory, const std::string& name) {
  const std::string wanted = lowerCase(withoutSuffix(name));
  for (const std::string& file : libraryFiles(directory))
    if (lowerCase(withoutSuffix(std::filesystem::path(file).filename().string())) == wanted) return file;
  return std::string();
}

bool exportsFrei0r(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) return false;
  const bool found = dlsym(handle, kFrei0rEntryPoint) != nullptr;
  dlclose(handle);
  return found;
}

std::string frei0rEditionText(const std::string& path) {
  std::string text = path + " is a frei0r plug-in, for ffmpeg, melt and GStreamer, not a FreeFrame plug-in";
  const KnownPlugin* plugin = knownFrei0rEdition(withoutSuffix(std::filesystem::path(path).filename().string()));
  if (plugin != nullptr) text += std::string("; qovhost runs its FreeFrame edition, ") + plugin->name;
  return text;
}

}  // namespace

std::vector<std::string> pluginDirectories() {
  const std::string here = executableDirectory();
  const std::string installed = std::filesystem::path(here + kInstalledPluginDirectory).lexically_normal().string();
  // An installed qovhost sits among unrelated programs (/usr/bin): its plug-ins are in
  // the installation's own folder only. In a build tree, the plug-ins are beside it.
  if (isDirectory(installed)) return {installed};
  return {here};
}

std::vector<std::string> libraryFiles(const std::string& directory) {
  std::vector<std::string> files;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error))
    if (endsWith(entry->path().filename().string(), kLibrarySuffix) && isRegularFile(entry->path().string()))
      files.push_back(entry->path().string());
  std::sort(files.begin(), files.end());
  return files;
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
  for (const std::string& directory : pluginDirectories()) {
    const std::string found = findIgnoringCase(directory, argument);
    if (!found.empty()) return found;
  }
  std::string text = "plug-in not found: " + argument;
  const KnownPlugin* edition = knownFrei0rEdition(withoutSuffix(argument));
  const std::string nearest = nearestPluginName(argument);
  if (edition != nullptr)
    text += std::string(" (that is the name of a frei0r plug-in; qovhost runs its FreeFrame edition, ") +
            edition->name + ")";
  else if (!nearest.empty())
    text += "; did you mean " + nearest + "? (qovhost list shows the plug-ins found)";
  else
    text += " (no such file here, nor in " + looked + "; qovhost list shows the plug-ins found)";
  throw CommandError(text);
}

host::PluginLibrary openPlugin(const std::string& argument) {
  const std::string path = findPlugin(argument);
  try {
    host::PluginLibrary library(path);
    if (library.info() == nullptr)
      throw CommandError(path + ": not a FreeFrame plug-in (it does not describe itself)");
    return library;
  } catch (const host::LoadError& error) {
    if (exportsFrei0r(path)) throw CommandError(frei0rEditionText(path));
    throw CommandError(error.what());
  }
}

}  // namespace qov::qovhost
