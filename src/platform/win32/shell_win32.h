#pragma once
#include "platform/shell.h"

namespace tv {

class Win32Shell final : public Shell {
 public:
  void OpenAddress(std::string_view address) override;
  bool StartProgram(std::string_view file, std::string_view parameters) override;
};

}  // namespace tv
