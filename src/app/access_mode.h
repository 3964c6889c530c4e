#pragma once
// The three access-mode boxes: "all" excludes the other two, "list" and "range" may be ticked
// together, and all three may be clear (nobody is let in). The program's own changes to the boxes
// raise no control event.
#include "platform/ui.h"

namespace tv {

// After the user operated box 9, 10 or 11 (the box has already toggled itself).
void ApplyAccessModeRule(Ui& ui, int control);

// A left-button release at (x, y) of the main window over one of the three label bands toggles
// that label's box as a click on the box would.
void ApplyLabelBands(Ui& ui, int x, int y);

}  // namespace tv
