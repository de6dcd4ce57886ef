// ntsim: creates, shapes and inspects the worlds of the simulated host.
// Thin entry point: the option table lives with each group of commands.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "ntsim.h"

int main(int argc, char** argv) {
    CLI::App app{"ntsim - create, shape and inspect worlds of the simulated host"};
    app.require_subcommand(1);
    ntsim::Context context;
    app.add_option("--world", context.worldPath, "world file (default: $NTSIM_WORLD, else the per-user world)");
    ntsim::AddWorldCommands(app, context);
    ntsim::AddRegistryCommands(app, context);
    ntsim::AddShareCommands(app, context);
    ntsim::AddAccountCommands(app, context);
    ntsim::AddInspectCommands(app, context);
    ntsim::AddGenerateCommand(app, context);
    // The argument library reports bad arguments by exception; commands
    // report their own failures through context.status.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    std::fflush(stdout);
    return context.status;
}
