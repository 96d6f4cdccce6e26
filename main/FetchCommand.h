#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorra {

// vorra fetch URL [FILE]: one movie address into FILE, or into the default folder.
int FetchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorra
