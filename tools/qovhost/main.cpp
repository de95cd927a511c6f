// qovhost: runs FreeFrame video-effect plug-ins on PNG pictures and raw video from the
// command line. Each subcommand lives in its own *_command.cpp.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"

int main(int argc, char** argv) {
  using namespace qov::qovhost;
  CLI::App app("qovhost: runs FreeFrame video-effect plug-ins on PNG pictures and on raw video", "qovhost");
  app.require_subcommand(1);
  addInfoCommand(app);
  addApplyCommand(app);
  addStreamCommand(app);
  addBenchCommand(app);
  addDemoCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitSuccess : kExitUsage;
  } catch (const CommandError& error) {
    std::fprintf(stderr, "qovhost: error: %s\n", error.what());
    return kExitFailure;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qovhost: error: %s\n", error.what());
    return kExitFailure;
  }
  return kExitSuccess;
}
