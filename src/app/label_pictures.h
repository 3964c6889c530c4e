#pragma once
// The label pictures: white text with a soft dark halo, drawn over the piece of the window
// background that lies under each label, so that labels join the background without a seam.
#include <string_view>

#include "app/image_table.h"
#include "platform/text.h"

namespace tv {

// Draws `text` with its top-left corner at (x, y) of `target` in the current font: nine copies
// in translucent black around (x, y), then the text in opaque white.
void DrawOutlinedText(Image& target, TextRenderer& font, int x, int y, std::string_view text);

// Images 10, 1, 2, 3 and 4 from the backdrop (image 0) and the loaded font; none without the
// backdrop.
void BuildLabelPictures(ImageTable& images, TextRenderer& font);

// Image 9, the address pane's background: the part of the backdrop under the pane.
void BuildPaneBackdrop(ImageTable& images);

}  // namespace tv
