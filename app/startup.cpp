#include "app/startup.h"

#include <QApplication>

#include <string>

#include "app/database.h"
#include "app/settings.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

int RunApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("pelantra"));
    QApplication::setWindowIcon(AppIcon());

    PostgreSQLSession session;
    const std::string port = LoadIniFile(kSettingsFileName).Get(kPortKey);
    const std::string connect = ConnectionString(port);
    if (!session.Open(connect.c_str())) {
        CurrentDialogs().Inform(nullptr, QString::fromUtf8(kConnectionFailedMessage));
        return 0;
    }

    SetDefaultSession(&session);
    {
        MainWindow window;
        window.show();
        app.exec();
    }
    SetDefaultSession(nullptr);
    return 0;
}
