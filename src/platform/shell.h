#pragma once
// The shell port: other programs and the browser.
#include <string_view>

namespace tv {

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a web address with the system's default handler (the browser). Any thread.
  virtual void OpenAddress(std::string_view address) = 0;
  // Starts a program by file name with a parameter text, in the current working directory; the
  // command line is the name in double quotation marks, a space and the parameters. Does not wait.
  // False when it could not be started. Any thread.
  virtual bool StartProgram(std::string_view file, std::string_view parameters) = 0;
};

}  // namespace tv
