#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorra {

// vorra cache list [--json] | vorra cache clear
int CacheCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorra
