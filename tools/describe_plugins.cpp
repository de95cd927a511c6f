// Prints what a host learns from each plug-in library given on the command line:
// identity, versions, texts and the parameter table.
#include <cstdio>
#include <exception>

#include "host/plugin_instance.h"
#include "host/plugin_library.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PLUGIN.so...\n", argv[0]);
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    try {
      qov::host::PluginLibrary library(argv[i]);
      const qov::ExtendedInfo* extended = library.extendedInfo();
      std::printf("%s  [%s]  version %u.%u\n", library.name().c_str(), library.uniqueId().c_str(),
                  extended->pluginMajorVersion, extended->pluginMinorVersion);
      std::printf("  %s\n", extended->description);
      qov::host::PluginInstance instance(library, 640, 480, qov::FF_DEPTH_32);
      for (uint32_t p = 0; p < library.numParameters(); ++p)
        std::printf("  %2u  %-16s default %s\n", p, library.parameterName(p).c_str(),
                    instance.parameterDisplay(p).c_str());
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      status = 1;
    }
  }
  return status;
}
