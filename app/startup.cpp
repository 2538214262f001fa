#include "app/startup.h"

#include <QApplication>

#include "core/database.h"
#include "core/messages.h"
#include "core/platform.h"
#include "schedule/run_log.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/messages.h"
#include "ui/qt_texts.h"

namespace pelantra {

int RunApplication(QApplication& app)
{
    // Names the folder of pelantra.log, which the window shares with pelantra-cli.
    QApplication::setApplicationName(kProgramName);
    QApplication::setWindowIcon(AppIcon());
    UseIndonesianQtTexts();

    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok()) {
        Message message;
        message.kind = Message::Kind::Warning;
        message.text = QString::fromUtf8(opened.failure().reason);
        message.informative = QString::fromStdString(FillIn(kStartupHint, {CurrentFolder()}));
        message.detail = QString::fromStdString(opened.failure().detail);
        CurrentDialogs().Show(nullptr, message);
        return 0;
    }

    SetDefaultSession(&session);
    {
        MainWindow window(session);
        window.show();
        app.exec();
    }
    SetDefaultSession(nullptr);
    return 0;
}

} // namespace pelantra
