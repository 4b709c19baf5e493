#include "commands.h"

void AddServerCommands(CLI::App&) {}
