// The page loader's record of one movie found in a page. The web list owns
// each record from the moment the loader adds it.
#pragma once

#include <string>

#include "framework/Component.h"

namespace vorra {

class TFlashItem : public TObject {
 public:
  std::string Name;      // the file name of Url; also the list's text
  std::string Url;       // absolute address of the movie
  std::string TempFile;  // the downloaded copy in TempFolder
};

}  // namespace vorra
