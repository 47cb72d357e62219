// How quickly the renaming prompt's list follows the keys at 10,000 files.
//
// The real prompt (offscreen) over a folder of 10,000 files; each key is sent to its field, and
// the time runs until the list has painted itself again: the names of the prefix, their check
// against the folder as the run checks them, the count and the rows in sight. Three folders:
// fresh names (IMG_00001.JPG ... typed over with "Urlaub 2024 " and erased again, down to the
// empty field), a folder numbered already and shown in reverse (each new name held by another
// file of the run) with "img" typed again, and a prefix with a slash (every row a problem).
// Baseline, in the same run: making the plain list of the same new names. Target: every key
// within 30 ms.
//
//   bench_rename_prompt [--files N] [--rounds R] [--dir DIR]

#include "MakeFile.h"
#include "platform/RenamePrompt.h"
#include "renaming/Names.h"
#include "renaming/Preview.h"
#include "renaming/Renamer.h"

#include "Stats.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Counts the paintings of a widget.
class PaintCount : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

struct Figures
{
    std::vector<double> keys;     // key to painted list
    std::vector<double> baseline; // the plain name list
};

// A key: a character to type, or '\b' to erase one.
void press(QLineEdit* field, char c)
{
    const Qt::Key key = c == '\b' ? Qt::Key_Backspace
                        : c == ' ' ? Qt::Key_Space
                                   : static_cast<Qt::Key>(QChar::fromLatin1(c).toUpper().unicode());
    const QString text = c == '\b' ? QString() : QString(QChar::fromLatin1(c));
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &down);
    QApplication::sendEvent(field, &up);
}

// Types the keys into a prompt over the sources, `rounds` times; the prompt starts with `start`.
bool typeInto(const QList<QByteArray>& sources, const QByteArray& folder, const QByteArray& state, const QString& start,
              const QByteArray& keys, int rounds, Figures* figures, double* openedMs)
{
    renaming::Renamer renamer(state);
    const renaming::Numbering numbering(sources, platform::ExtensionPattern("jpg"));
    QElapsedTimer opened;
    opened.start();
    renaming::Preview preview(renamer, numbering, folder);
    platform::RenamePrompt prompt(nullptr, QStringLiteral("Dateiprefix ('xxxx.jpg' wird automatisch angehängt)"), start,
                                  preview);
    prompt.show();
    *openedMs = opened.nsecsElapsed() / 1e6;
    auto* field = prompt.findChild<QLineEdit*>(QStringLiteral("renamePrefix"));
    auto* list = prompt.findChild<QListView*>(QStringLiteral("renameList"));
    PaintCount paints;
    list->viewport()->installEventFilter(&paints);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QApplication::processEvents();
    field->end(false);

    for (int round = 0; round < rounds; ++round) {
        for (const char c : keys) {
            const int before = paints.count;
            QElapsedTimer t;
            t.start();
            press(field, c);
            while (paints.count == before && t.elapsed() < 2000)
                QApplication::processEvents();
            if (paints.count == before) {
                std::fprintf(stderr, "the list was not painted again after a key\n");
                return false;
            }
            figures->keys.push_back(t.nsecsElapsed() / 1e6);

            const QByteArray prefix = field->text().toUtf8();
            t.restart();
            const QList<QByteArray> names = numbering.names(prefix);
            figures->baseline.push_back(t.nsecsElapsed() / 1e6);
            // What the list shows is what the run would give.
            if (preview.names() != names) {
                std::fprintf(stderr, "the list shows other names than the run would give\n");
                return false;
            }
        }
    }
    return true;
}

void report(const char* what, const Figures& f, double openedMs)
{
    const double key = median(f.keys);
    const double worst = *std::max_element(f.keys.cbegin(), f.keys.cend());
    const double base = median(f.baseline);
    std::printf("%s: key to painted list median %.1f ms, slowest %.1f ms (target <= 30); plain name list %.2f ms, "
                "ratio %.1f; prompt opened in %.0f ms\n",
                what, key, worst, base, key / base, openedMs);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int files = 10000;
    int rounds = 3;
    QString dir = QFileInfo::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QStringLiteral("--files"))
            files = args[i + 1].toInt();
        else if (args[i] == QStringLiteral("--rounds"))
            rounds = args[i + 1].toInt();
        else if (args[i] == QStringLiteral("--dir"))
            dir = args[i + 1];
    }
    if (files < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_rename_prompt [--files N] [--rounds R] [--dir DIR]\n");
        return 2;
    }
    QTemporaryDir state;
    const QByteArray statePath = QFile::encodeName(state.path());

    QTemporaryDir fresh(dir + QStringLiteral("/bench-prompt-XXXXXX"));
    const QByteArray freshPath = QFile::encodeName(fresh.path());
    QList<QByteArray> freshSources;
    for (int i = 1; i <= files; ++i) {
        freshSources.append(freshPath + "/IMG_" + QByteArray::number(i).rightJustified(5, '0') + ".JPG");
        makeFile(freshSources.last());
    }
    QTemporaryDir numbered(dir + QStringLiteral("/bench-prompt-XXXXXX"));
    const QByteArray numberedPath = QFile::encodeName(numbered.path());
    QList<QByteArray> numberedSources;
    for (int i = files; i >= 1; --i) {
        numberedSources.append(numberedPath + '/' + renaming::prefixedName("img", i, "jpg"));
        makeFile(numberedSources.last());
    }

    std::printf("%d files, %d rounds\n", files, rounds);
    Figures f;
    double opened = 0;
    if (!typeInto(freshSources, freshPath, statePath, QString(), "Urlaub 2024 \b\b\b\b\b\b\b\b\b\b\b\b", rounds, &f,
                  &opened))
        return 1;
    report("fresh names", f, opened);
    f = {};
    if (!typeInto(numberedSources, numberedPath, statePath, QStringLiteral("img"), "\b\b\bimg", rounds, &f, &opened))
        return 1;
    report("numbered again, in reverse", f, opened);
    f = {};
    if (!typeInto(freshSources, freshPath, statePath, QString(), "a/b\b\b\b", rounds, &f, &opened))
        return 1;
    report("a slash: every row a problem", f, opened);
    return 0;
}
