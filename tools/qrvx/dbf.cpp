#include "commands.h"

void AddDbfCommand(CLI::App&) {}
