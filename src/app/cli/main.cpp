// pagewright-cli: main only hands the command line to the commands.
#include "app/cli/cli.h"

int main(int argc, char** argv) {
  return pw::cli::Run(argc, argv);
}
