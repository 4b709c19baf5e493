#include "commands.h"

void AddUnzipCommand(CLI::App&) {}
