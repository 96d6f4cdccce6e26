#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorra {

// vorra swfinfo [--json] FILE...: the header facts of each movie, one file a
// line. Exit status 0 when every file is a whole movie, 1 otherwise, 2 on bad usage.
int SwfInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorra
