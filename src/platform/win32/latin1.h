#pragma once
// The program's texts are ISO-8859-1; Windows wants UTF-16. Every Latin-1 byte is the code unit of
// the same value, so the conversion is one widening per byte.
#include <string>
#include <string_view>

namespace tv {

inline std::wstring WideFromLatin1(std::string_view text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

}  // namespace tv
