#include <QCoreApplication>

#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/messages.h"
#include "core/platform.h"
#include "schedule/run_log.h"

int main(int argc, char* argv[])
{
    pelantra::InstallStopHandlers();
    pelantra::UseUnicodeConsole();
    int code = 0;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(pelantra::kProgramName);
        const std::vector<std::string> arguments = pelantra::Utf8Arguments(argc, argv);
        std::vector<const char*> pointers;
        for (const std::string& argument : arguments)
            pointers.push_back(argument.c_str());
        code = pelantra::RunCli(static_cast<int>(pointers.size()), pointers.data(), std::cout, std::cerr,
                                pelantra::StandardOutputIsTerminal());
    }
    pelantra::EndProgram(code);
}
