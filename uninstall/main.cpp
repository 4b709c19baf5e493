// QRVXUnst: removes what setup installed. No arguments, no window of its own.
#include "Uninstall.h"

int main() {
  return UninstallMain();
}
