#include "platform/CommandLine.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "platform/QtTranslation.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(platform::decodeName(argv[i]));
    const CommandLine command = parseCommandLine(args);
    switch (command.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        std::fputs(platform::encodeName(command.message).constData(), stdout);
        return 0;
    case CommandLine::Action::Error:
        std::fputs(platform::encodeName(command.message).constData(), stderr);
        return 2;
    case CommandLine::Action::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaline"));
    QApplication::setApplicationVersion(QStringLiteral(TESSALINE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tessaline"));
    platform::installQtTranslation();

    frmmain window;
    window.show();
    window.activateWindow();
    window.recoverInterruptedRenames();
    if (!command.folder.isEmpty())
        window.openFolder(command.folder);
    return app.exec();
}
