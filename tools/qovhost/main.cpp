// qovhost: runs FreeFrame video-effect plug-ins on PNG pictures and raw video from the
// command line. Each subcommand lives in its own *_command.cpp.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "tools/qovhost/stop_signals.h"

namespace {

using qov::qovhost::kExitFailure;
using qov::qovhost::kExitSuccess;
using qov::qovhost::kExitUsage;

void printError(const std::string& text) { std::fprintf(stderr, "qovhost: error: %s\n", text.c_str()); }

// "info, apply, stream, bench or demo".
std::string subcommandList(const CLI::App& app) {
  const std::vector<const CLI::App*> commands = app.get_subcommands([](const CLI::App*) { return true; });
  std::string list;
  for (std::size_t i = 0; i < commands.size(); ++i)
    list += (i == 0 ? "" : i + 1 == commands.size() ? " or " : ", ") + commands[i]->get_name();
  return list;
}

// The argument parser's message as one line, saying what was wrong and where to look:
// the subcommand word it did not know, or the subcommand whose --help explains it.
std::string parseErrorLine(const CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
  std::string word;  // the first argument that is not an option
  const CLI::App* command = nullptr;
  for (int i = 1; i < argc && word.empty(); ++i)
    if (argv[i][0] != '-') word = argv[i];
  if (!word.empty()) {
    try {
      command = app.get_subcommand(word);
    } catch (const CLI::OptionNotFound&) {
    }
  }
  if (command == nullptr) {
    const std::string wrong = word.empty() ? "a subcommand is required" : "unknown subcommand \"" + word + "\"";
    return wrong + " (" + subcommandList(app) + "); run 'qovhost --help' for more information";
  }
  std::string message = error.what();
  for (char& c : message)
    if (c == '\n') c = ' ';
  while (!message.empty() && message.back() == ' ') message.pop_back();
  return message + "; run 'qovhost " + word + " --help' for more information";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qov::qovhost;
  handleStopSignals();
  // A file grown past the size limit (ulimit -f) fails its write with "File too large",
  // which is reported, instead of ending the process and leaving the file unfinished.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app("qovhost: runs FreeFrame video-effect plug-ins on PNG pictures and on raw video", "qovhost");
  app.require_subcommand(1);
  // "program (package) version", the form that tools such as help2man read.
  app.set_version_flag("--version", std::string("qovhost (Qov) ") + QOV_VERSION, "Print qovhost's version and exit");
  addListCommand(app);
  addInfoCommand(app);
  addApplyCommand(app);
  addStreamCommand(app);
  addBenchCommand(app);
  addDemoCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version are "errors" that end the parse successfully.
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(error);
    printError(parseErrorLine(app, error, argc, argv));
    return kExitUsage;
  } catch (const CommandError& error) {
    printError(error.what());
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    printError("out of memory");
    return kExitFailure;
  } catch (const std::exception& error) {
    printError(error.what());
    return kExitFailure;
  }
  return kExitSuccess;
}
