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

namespace qov::qovhost {
namespace {

constexpr const char* kLibrarySuffix = ".so";
constexpr const char* kInstalledPluginDirectory = "/../lib/freeframe";
// A frei0r plug-in's one entry point that every host calls.
constexpr const char* kFrei0rEntryPoint = "f0r_construct";
// A name this many edits (or fewer) away from a plug-in's is suggested; a third of its
// length for long names, so that a wrong name is not answered with an unrelated one.
constexpr std::size_t kFewestSuggestedEdits = 2;
constexpr std::size_t kEditsPerLength = 3;

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

// Letters inserted, removed or replaced to turn one name into the other, in any case.
std::size_t editDistance(const std::string& a, const std::string& b) {
  const std::string x = lowerCase(a), y = lowerCase(b);
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

// The plug-in name in the lookup folders nearest to `name`, or "" when none is near.
std::string nearestName(const std::string& name) {
  std::string best;
  std::size_t bestDistance = std::max(kFewestSuggestedEdits, name.size() / kEditsPerLength) + 1;
  for (const std::string& directory : pluginDirectories())
    for (const std::string& file : libraryFiles(directory)) {
      const std::string candidate = withoutSuffix(std::filesystem::path(file).filename().string());
      const std::size_t distance = editDistance(withoutSuffix(name), candidate);
      if (distance < bestDistance) {
        best = candidate;
        bestDistance = distance;
      }
    }
  return best;
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
  return {here, std::filesystem::path(here + kInstalledPluginDirectory).lexically_normal().string()};
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
  const std::string nearest = nearestName(argument);
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
