#pragma once

#include <iosfwd>

namespace vorra {

// Runs the verb named on the command line; returns the exit status.
int RunCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace vorra
