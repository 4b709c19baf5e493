// qrvx: drives the QRVX components from the command line.

#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{"qrvx: receive multipart/form-data uploads, read ZIP archives and dBase tables"};
  app.set_version_flag("--version", std::string("qrvx ") + QRVX_VERSION);
  app.require_subcommand(1);
  AddReceiveCommand(app);
  AddDbfCommand(app);
  AddUnzipCommand(app);
  AddServerCommands(app);
  AddPackageCommand(app);
  AddCgiCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return 0;
}
