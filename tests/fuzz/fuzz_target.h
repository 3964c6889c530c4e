#pragma once
// The fuzz targets' bodies: bytes in, the first property that broke out (empty when all held).
// The libFuzzer programs (fuzz_main.cpp, the fuzz preset) abort on a broken property; the unit
// tests replay every corpus file through the same bodies.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tv::fuzz {

using Input = std::span<const std::uint8_t>;

[[nodiscard]] std::string RequestHeadInput(Input input);
[[nodiscard]] std::string DeviceTypeInput(Input input);
[[nodiscard]] std::string SafeFileNameInput(Input input);
[[nodiscard]] std::string TextBetweenInput(Input input);
[[nodiscard]] std::string ManifestInput(Input input);
[[nodiscard]] std::string FetchUrlInput(Input input);

struct Target {
  std::string_view name;  // also the folder of its corpus, tests/fuzz/corpus/<name>
  std::string (*body)(Input);
};

inline constexpr Target kTargets[] = {
    {"request_head", RequestHeadInput}, {"device_type", DeviceTypeInput}, {"safe_file_name", SafeFileNameInput},
    {"text_between", TextBetweenInput}, {"manifest", ManifestInput},      {"fetch_url", FetchUrlInput},
};

// Collects the first broken property of one input.
class Findings {
 public:
  void Check(bool holds, std::string_view property) {
    if (!holds && first_.empty()) first_ = property;
  }
  [[nodiscard]] std::string First() const { return first_; }

 private:
  std::string first_;
};

// Takes an input apart: single bytes as parameters, then runs of bytes.
class InputReader {
 public:
  explicit InputReader(Input input) : rest_(input) {}
  [[nodiscard]] bool Empty() const { return rest_.empty(); }
  // The next byte, 0 once the input is used up.
  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const std::uint8_t byte = rest_.front();
    rest_ = rest_.subspan(1);
    return byte;
  }
  // The next `count` bytes, or as many as are left.
  std::string_view Bytes(std::size_t count) {
    const std::size_t taken = count < rest_.size() ? count : rest_.size();
    const std::string_view bytes(reinterpret_cast<const char*>(rest_.data()), taken);
    rest_ = rest_.subspan(taken);
    return bytes;
  }
  std::string_view Rest() { return Bytes(rest_.size()); }

 private:
  Input rest_;
};

[[nodiscard]] inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

[[nodiscard]] inline std::string AsciiLowered(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

// The properties every accepted file name has, whichever way it reached the name check.
void CheckAcceptedFileName(Findings& findings, std::string_view target, const std::string& name);

}  // namespace tv::fuzz
