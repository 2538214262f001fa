#pragma once

namespace pelantra {

// Qt's own texts in our boxes and the folder chooser (buttons, labels) in
// Indonesian: Qt's translation when the system has one, else ours for the
// few texts the program shows.
void UseIndonesianQtTexts();

} // namespace pelantra
