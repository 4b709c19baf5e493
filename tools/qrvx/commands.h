// Sub-commands of the qrvx front end. Each lives in its own file and adds
// itself to the application; main() only dispatches.
#pragma once

#include <CLI/CLI.hpp>

void AddReceiveCommand(CLI::App& app);
void AddDbfCommand(CLI::App& app);
void AddUnzipCommand(CLI::App& app);
void AddServerCommands(CLI::App& app);
void AddPackageCommand(CLI::App& app);
void AddCgiCommand(CLI::App& app);
