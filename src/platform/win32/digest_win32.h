#pragma once
#include "platform/digest.h"

namespace tv {

// The digest port on Win32 files and BCrypt, the system's CNG.
class BCryptFileDigest final : public FileDigest {
 public:
  std::int64_t FileSize(std::string_view name) override;
  std::string Md5OfFile(std::string_view name) override;
};

}  // namespace tv
