#include "commands.h"

void AddReceiveCommand(CLI::App&) {}
