#pragma once

class QApplication;

namespace pelantra {

// The program from start to end on an existing application object: connects
// with the port of "setting.ini" in the current directory, makes the session
// the default, and runs the main window until it is closed. When the database
// cannot be reached it says so once and shows no window. Returns the exit
// code, which is 0 either way.
int RunApplication(QApplication& app);

} // namespace pelantra
