// The check that keeps a requested file name below the working directory.
//
// Input: the request target.
#include <filesystem>

#include "fuzz/fuzz_target.h"
#include "server/routes.h"

namespace tv::fuzz {
namespace {

// What Windows makes of a path part: trailing dots and spaces are dropped.
std::string_view AsWindowsOpensIt(std::string_view part) {
  while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
  return part;
}

// A reserved device, however it is spelt: the part before its first dot, without trailing
// blanks, in any letter case; COM and LPT also with the superscript digits of ISO-8859-1.
bool NamesADevice(std::string_view part) {
  std::string stem = AsciiLowered(part.substr(0, part.find('.')));
  while (stem.ends_with(' ')) stem.pop_back();
  for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"}) {
    if (stem == device) return true;
  }
  if (stem.size() != 4 || !(stem.starts_with("com") || stem.starts_with("lpt"))) return false;
  return std::string_view("0123456789\xB9\xB2\xB3").find(stem[3]) != std::string_view::npos;
}

// Letters, digits, '_', '-' and inner dots only: a name that can't mean anything special.
bool IsPlain(std::string_view part) {
  if (part.empty() || part.ends_with('.')) return false;
  for (char c : part) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

void CheckAcceptedFileName(Findings& findings, std::string_view target, const std::string& name) {
  std::string expected(target.substr(target.empty() ? 0 : 1));
  for (char& c : expected) c = c == '/' ? '\\' : c;
  findings.Check(name == expected, "the name is the target without its first character, with backslashes");
  findings.Check(!name.empty() && name.front() != '\\' && !name.ends_with('\\'), "the name is relative, not a folder");
  findings.Check(name.find(':') == std::string::npos, "no drive and no stream");
  findings.Check(name.find("\\\\") == std::string::npos, "no doubled backslash");
  for (unsigned char c : name) {
    findings.Check(
        c >= 0x20 && c != 0x7F && std::string_view("<>\"|?*").find(static_cast<char>(c)) == std::string_view::npos,
        "only characters a file name may hold");
  }
  std::filesystem::path path;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('\\', start), name.size());
    const std::string_view part = std::string_view(name).substr(start, end - start);
    const std::string_view opened = AsWindowsOpensIt(part);
    findings.Check(!opened.empty() && opened != "." && opened != "..", "no part steps out or stays put");
    findings.Check(opened == part, "Windows opens each part as it is written");
    findings.Check(!NamesADevice(part), "no part names a device");
    path /= std::string(part);
    start = end + 1;
  }
  const std::filesystem::path normal = path.lexically_normal();
  findings.Check(normal.is_relative() && !normal.empty() && *normal.begin() != "..", "the path stays below the folder");
}

std::string SafeFileNameInput(Input input) {
  const std::string_view target(reinterpret_cast<const char*>(input.data()), input.size());
  const std::optional<std::string> name = SafeFileName(target);
  Findings findings;
  if (name) CheckAcceptedFileName(findings, target, *name);

  // A name made only of plain parts, none of them a device, is never refused.
  bool plain = target.starts_with('/') && target.size() > 1;
  for (std::size_t start = 1; plain && start <= target.size();) {
    const std::size_t end = std::min(target.find('/', start), target.size());
    const std::string_view part = target.substr(start, end - start);
    plain = IsPlain(part) && !NamesADevice(part);
    start = end + 1;
  }
  findings.Check(!plain || name.has_value(), "a plain name below the folder is accepted");
  return findings.First();
}

}  // namespace tv::fuzz
