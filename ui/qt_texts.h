#pragma once

namespace pelantra {

// Qt's own texts in our boxes and the file choosers (buttons, labels, edit
// menus) in Indonesian: Qt's translation when the system has one, else ours
// for the few texts the program shows; dates and numbers as Indonesia
// writes them.
void UseIndonesianQtTexts();

} // namespace pelantra
