// The libFuzzer entry of one target, chosen by TASTOVOLANT_FUZZ_TARGET (its name in kTargets).
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_target.h"

namespace {

const tv::fuzz::Target& ThisTarget() {
  for (const tv::fuzz::Target& target : tv::fuzz::kTargets) {
    if (target.name == TASTOVOLANT_FUZZ_TARGET) return target;
  }
  std::fprintf(stderr, "no fuzz target named %s\n", TASTOVOLANT_FUZZ_TARGET);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const tv::fuzz::Target& target = ThisTarget();
  const std::string broken = target.body(tv::fuzz::Input(data, size));
  if (!broken.empty()) {
    std::fprintf(stderr, "%s: property broken: %s\n", TASTOVOLANT_FUZZ_TARGET, broken.c_str());
    std::abort();
  }
  return 0;
}
