#include "platform/posix/digest_posix.h"

#include <array>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {
namespace {

// The names come from the update server. Only ordinary files are read: a pipe or a device such as
// /dev/zero could keep the reading going for ever.
bool IsOrdinaryFile(const struct stat& facts) { return S_ISREG(facts.st_mode); }

struct FileCloser {
  int file;
  ~FileCloser() { close(file); }
};

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::int64_t OpenSslFileDigest::FileSize(std::string_view name) {
  if (name.empty()) return -1;
  struct stat facts {};
  if (stat(std::string(name).c_str(), &facts) != 0 || !IsOrdinaryFile(facts)) return -1;
  return static_cast<std::int64_t>(facts.st_size);
}

std::string OpenSslFileDigest::Md5OfFile(std::string_view name) {
  if (name.empty()) return {};
  const int file = open(std::string(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (file < 0) return {};
  const FileCloser closer{file};
  struct stat facts {};
  if (fstat(file, &facts) != 0 || !IsOrdinaryFile(facts)) return {};

  const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) return {};
  std::array<unsigned char, 65536> block;
  for (;;) {
    const ssize_t n = read(file, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {};
    if (n == 0) break;
    if (EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(n)) != 1) return {};
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return {};
  return LowerHex(std::span(digest.data(), length));
}

}  // namespace tv
