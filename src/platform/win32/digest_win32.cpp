#include "platform/win32/digest_win32.h"

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <vector>

#include "platform/win32/latin1.h"

namespace tv {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  [[nodiscard]] HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

class Md5Hash {
 public:
  Md5Hash() {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
      algorithm_ = nullptr;
      return;
    }
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) hash_ = nullptr;
  }
  ~Md5Hash() {
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Md5Hash(const Md5Hash&) = delete;
  Md5Hash& operator=(const Md5Hash&) = delete;

  [[nodiscard]] bool Usable() const { return hash_ != nullptr; }
  [[nodiscard]] bool Add(unsigned char* bytes, ULONG count) {
    return BCRYPT_SUCCESS(BCryptHashData(hash_, bytes, count, 0));
  }
  [[nodiscard]] bool Finish(std::array<unsigned char, 16>& digest) {
    return BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0));
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::int64_t BCryptFileDigest::FileSize(std::string_view name) {
  if (name.empty()) return -1;
  WIN32_FILE_ATTRIBUTE_DATA facts;
  if (!GetFileAttributesExW(WideFromLatin1(name).c_str(), GetFileExInfoStandard, &facts)) return -1;
  if (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<std::int64_t>(facts.nFileSizeHigh) << 32) | facts.nFileSizeLow;
}

std::string BCryptFileDigest::Md5OfFile(std::string_view name) {
  if (name.empty()) return {};
  // Other programs, the running Tastovolant.exe among them, may hold the file open: share every
  // kind of access with them.
  const FileHandle file(CreateFileW(WideFromLatin1(name).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  // The names come from the update server. Only files on a disk are read: a device name such as
  // CON or a pipe could keep the reading waiting for ever.
  if (file.Get() == INVALID_HANDLE_VALUE || GetFileType(file.Get()) != FILE_TYPE_DISK) return {};

  Md5Hash hash;
  if (!hash.Usable()) return {};
  std::vector<unsigned char> block(65536);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return {};
    if (got == 0) break;
    if (!hash.Add(block.data(), got)) return {};
  }
  std::array<unsigned char, 16> digest;
  if (!hash.Finish(digest)) return {};
  return LowerHex(digest);
}

}  // namespace tv
