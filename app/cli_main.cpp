#include <QCoreApplication>

#include <iostream>

#include "app/cli.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    return pelantra::RunCli(argc, argv, std::cout, std::cerr);
}
