#pragma once
// The digest port: what the update check needs to know of the files beside the program.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tv {

class FileDigest {
 public:
  virtual ~FileDigest() = default;
  // The size in bytes of the file `name` (relative to the working directory, or absolute); 0 for
  // an empty file, negative when the name is empty, nothing of that name exists, or it is a
  // directory or another thing that is no ordinary file.
  [[nodiscard]] virtual std::int64_t FileSize(std::string_view name) = 0;
  // The MD5 digest of the file's whole contents as 32 lower-case hexadecimal digits; the empty
  // text when it can't be opened or read, or is no ordinary file.
  [[nodiscard]] virtual std::string Md5OfFile(std::string_view name) = 0;
};

// A digest's bytes as lower-case hexadecimal digits, two a byte; for the adapters.
inline std::string LowerHex(std::span<const unsigned char> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

}  // namespace tv
