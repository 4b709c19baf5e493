// setup: installs QRVX from the package setup.dat beside it. No arguments.
#include "Setup.h"

int main() {
  return SetupMain();
}
