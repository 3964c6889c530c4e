#pragma once
// The shell port: other programs and the browser.
#include <string_view>

namespace tv {

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a web address with the system's default handler (the browser). Any thread.
  virtual void OpenAddress(std::string_view address) = 0;
};

}  // namespace tv
