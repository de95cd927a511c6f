// Finding and loading the plug-in a command names: a path to a library file, or a bare
// plug-in name, in any letter case, looked up in ../lib/freeframe beside qovhost (an
// installation) or else beside qovhost (the build directory). A name that is not found is
// answered with the nearest one that is, and a frei0r plug-in is named as such.
#pragma once

#include <string>
#include <vector>

#include "host/plugin_library.h"

namespace qov::qovhost {

// Where bare plug-in names are looked up: ../lib/freeframe beside qovhost when there is
// one (an installation), else qovhost's own folder (a build tree).
std::vector<std::string> pluginDirectories();

// The library files (*.so) in `directory`, sorted; none when it cannot be read.
std::vector<std::string> libraryFiles(const std::string& directory);

// The library file `argument` stands for. Throws CommandError when there is none.
std::string findPlugin(const std::string& argument);

// Loads the library and checks that it answers as a FreeFrame plug-in. Throws
// CommandError with one readable line.
host::PluginLibrary openPlugin(const std::string& argument);

}  // namespace qov::qovhost
