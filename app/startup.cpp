#include "app/startup.h"

#include <QApplication>

#include "core/database.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace pelantra {

int RunApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("pelantra"));
    QApplication::setWindowIcon(AppIcon());

    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok()) {
        CurrentDialogs().Inform(nullptr, QString::fromUtf8(opened.failure().reason));
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
