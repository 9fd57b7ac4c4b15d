#pragma once

namespace tessivox {

// Gives every window of the program the icon built from the superformula and
// names the desktop entry the program belongs to. After QApplication exists.
void setProgramIcon();

}  // namespace tessivox
