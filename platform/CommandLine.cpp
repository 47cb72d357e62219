#include "platform/CommandLine.h"

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
                QStringLiteral("\"tessaline --help\" zeigt, wie Tessaline aufgerufen wird.\n");
    return c;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Aufruf: tessaline [ORDNER]\n"
        "Bringt die Bilder eines Ordners von Hand in eine Reihenfolge und benennt sie so um,\n"
        "dass ihre Namen diese Reihenfolge tragen.\n"
        "\n"
        "  ORDNER          diesen Ordner beim Start öffnen\n"
        "  -h, --help      diesen Text zeigen und beenden\n"
        "  -v, --version   die Version zeigen und beenden\n"
        "  --              was folgt, ist der Ordner, auch wenn es mit - beginnt\n");
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
                return error(QStringLiteral("unbekannte Option \"%1\"").arg(platform::displayName(arg)));
            if (isToolkitOptionWithValue(arg))
                ++i;
            continue;
        }
        if (!result.folder.isEmpty())
            return error(QStringLiteral("es kann nur ein Ordner geöffnet werden"));
        result.folder = arg;
    }
    if (!result.folder.isEmpty() && !platform::isDirectory(platform::encodeName(result.folder)))
        return error(QStringLiteral("\"%1\" ist kein Ordner").arg(platform::displayName(result.folder)));
    return result;
}
