// The subcommands of qovhost; each registers its options and its action on the app.
#pragma once

namespace CLI {
class App;
}

namespace qov::qovhost {

void addListCommand(CLI::App& app);
void addInfoCommand(CLI::App& app);
void addApplyCommand(CLI::App& app);
void addStreamCommand(CLI::App& app);
void addBenchCommand(CLI::App& app);
void addDemoCommand(CLI::App& app);

}  // namespace qov::qovhost
