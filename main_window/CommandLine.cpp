#include "main_window/CommandLine.h"

#include "platform/DirListing.h"
#include "platform/FileNames.h"

namespace {

// Options that Qt itself reads, with a value after them.
bool isToolkitOptionWithValue(const QString& arg)
{
    static const QStringList options = {
        QStringLiteral("-platform"),    QStringLiteral("-platformpluginpath"), QStringLiteral("-platformtheme"),
        QStringLiteral("-plugin"),      QStringLiteral("-qwindowgeometry"),   QStringLiteral("-qwindowicon"),
        QStringLiteral("-qwindowtitle"), QStringLiteral("-style"),            QStringLiteral("-stylesheet"),
        QStringLiteral("-display"),     QStringLiteral("-geometry"),          QStringLiteral("-title"),
        QStringLiteral("-name"),        QStringLiteral("-session"),           QStringLiteral("-qmljsdebugger")};
    QString name = arg;
    if (name.startsWith(QLatin1String("--")))
        name.remove(0, 1);
    return options.contains(name);
}

CommandLine error(const QString& text)
{
    CommandLine c;
    c.action = CommandLine::Action::Error;
    c.message = QStringLiteral("tessaline: ") + text + QLatin1Char('\n') +
                QStringLiteral("Try 'tessaline --help' for more information.\n");
    return c;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Usage: tessaline [FOLDER]\n"
        "Put the pictures of a folder into an order by hand and rename them in that order.\n"
        "\n"
        "  FOLDER      open this folder at start\n"
        "  --help      show this text and exit\n"
        "  --version   show the version and exit\n");
}

QString versionText()
{
    return QStringLiteral("Tessaline " TESSALINE_VERSION "\n");
}

CommandLine parseCommandLine(const QStringList& args)
{
    CommandLine result;
    bool positionalOnly = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!positionalOnly && arg == QLatin1String("--")) {
            positionalOnly = true;
            continue;
        }
        if (!positionalOnly && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            result.action = CommandLine::Action::Help;
            result.message = usageText();
            return result;
        }
        if (!positionalOnly && (arg == QLatin1String("--version") || arg == QLatin1String("-v"))) {
            result.action = CommandLine::Action::Version;
            result.message = versionText();
            return result;
        }
        if (!positionalOnly && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            if (arg.startsWith(QLatin1String("--")) && !isToolkitOptionWithValue(arg))
                return error(QStringLiteral("unknown option '%1'").arg(arg));
            if (isToolkitOptionWithValue(arg))
                ++i;
            continue;
        }
        if (!result.folder.isEmpty())
            return error(QStringLiteral("only one folder can be opened"));
        result.folder = arg;
    }
    if (!result.folder.isEmpty() && !platform::isDirectory(platform::encodeName(result.folder)))
        return error(QStringLiteral("'%1' is not a folder").arg(platform::displayName(result.folder)));
    return result;
}
