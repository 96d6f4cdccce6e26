// The program entry.
#include <exception>
#include <iostream>

#include "main/CommandLine.h"

int main(int argc, char** argv) {
  try {
    return vorra::RunCommandLine(argc, argv, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "vorra: " << e.what() << '\n';
    return 1;
  }
}
