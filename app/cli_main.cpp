#include <QCoreApplication>

#include <iostream>

#include "app/cli.h"
#include "core/platform.h"

int main(int argc, char* argv[])
{
    pelantra::InstallStopHandlers();
    QCoreApplication app(argc, argv);
    return pelantra::RunCli(argc, argv, std::cout, std::cerr, pelantra::StandardOutputIsTerminal());
}
