#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorra {

// vorra get URL [--out DIR] [--list] [--json]: the page loader's capture on
// the command line. 0: movies found (and saved); 2: the page has none, or a
// usage error; 1: the folder or the page could not be used, or a movie failed
// or is not a movie.
int GetCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorra
