#pragma once
#include "platform/shell.h"

namespace tv {

class Win32Shell final : public Shell {
 public:
  void OpenAddress(std::string_view address) override;
};

}  // namespace tv
