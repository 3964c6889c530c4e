#pragma once
// The program's numbered images (0 to 13). A number holds no image until one is made for it.
#include <array>
#include <memory>

#include "platform/image.h"

namespace tv {

inline constexpr int kImageCount = 14;

class ImageTable {
 public:
  [[nodiscard]] std::shared_ptr<const Image> Get(int number) const { return images_.at(Slot(number)); }
  [[nodiscard]] bool Has(int number) const { return images_.at(Slot(number)) != nullptr; }
  void Set(int number, Image image) { images_.at(Slot(number)) = std::make_shared<const Image>(std::move(image)); }

 private:
  static std::size_t Slot(int number) { return static_cast<std::size_t>(number); }
  std::array<std::shared_ptr<const Image>, kImageCount> images_{};
};

}  // namespace tv
