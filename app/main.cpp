#include <QApplication>

#include "app/startup.h"
#include "core/platform.h"

int main(int argc, char* argv[])
{
    int code = 0;
    {
        QApplication app(argc, argv);
        code = pelantra::RunApplication(app);
    }
    pelantra::EndProgram(code);
}
