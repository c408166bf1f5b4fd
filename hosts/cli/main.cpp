#include <iostream>

#include "cli/app.h"

int main(int argc, char** argv) { return drawlet::cli::runCli(argc, argv, std::cout, std::cerr); }
