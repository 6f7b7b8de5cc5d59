#include <iostream>

#include "cli/CliApp.h"

int main(int argc, char** argv) {
  return quorle::RunCli(argc, argv, quorle::ProgramFolder(argv[0]), std::cout, std::cerr);
}
