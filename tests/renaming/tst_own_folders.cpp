// The folders Tessaline makes for its own files are the user's alone from the first write,
// whichever part of the program writes first and whatever the umask.
#include "ordering/OrderStore.h"
#include "platform/OwnFolders.h"
#include "renaming/Renamer.h"
#include "settings/Settings.h"
#include "thumbnails/ThumbnailCache.h"

#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

enum class First { Rename, KeptOrder, ThumbnailCache, Settings };

// The mode bits of a path, or -1.
int modeOf(const QString& path)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Runs the test with a home of its own that holds nothing yet, and a umask.
class FreshHome
{
public:
    explicit FreshHome(mode_t mask) : m_mask(::umask(mask))
    {
        for (const char* name : {"HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
            m_saved.append({name, qgetenv(name)});
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/state")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/.cache")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    }
    ~FreshHome()
    {
        ::umask(m_mask);
        for (const auto& [name, value] : m_saved)
            qputenv(name, value);
    }
    QTemporaryDir home;

private:
    mode_t m_mask;
    QList<std::pair<const char*, QByteArray>> m_saved;
};

} // namespace

class TestOwnFolders : public QObject
{
    Q_OBJECT
private slots:
    // Every folder made on the way is 0700, and the program's own folder too.
    void firstWrite_data()
    {
        QTest::addColumn<First>("first");
        QTest::addColumn<int>("umask");
        QTest::addColumn<QStringList>("made"); // below the home
        const QStringList state{".local", ".local/state", ".local/state/Tessaline"};
        QTest::newRow("a rename") << First::Rename << 022 << state;
        QTest::newRow("a rename, umask 0277") << First::Rename << 0277 << state;
        QTest::newRow("a kept order") << First::KeptOrder << 022 << (state + QStringList{".local/state/Tessaline/orders"});
        QTest::newRow("a kept order, umask 0") << First::KeptOrder << 0 << (state + QStringList{".local/state/Tessaline/orders"});
        QTest::newRow("the thumbnail cache") << First::ThumbnailCache << 022 << QStringList{".cache", ".cache/Tessaline"};
        QTest::newRow("the settings") << First::Settings << 022 << QStringList{".config", ".config/Tessaline"};
    }
    void firstWrite()
    {
        QFETCH(First, first);
        QFETCH(int, umask);
        QFETCH(QStringList, made);
        const FreshHome fresh{mode_t(umask)};
        const QString home = fresh.home.path();
        QTemporaryDir photos;
        const QByteArray folder = QFile::encodeName(photos.path());
        writeNamedFiles(folder, {"b.jpg", "a.jpg"});
        switch (first) {
        case First::Rename:
            QVERIFY(renaming::Renamer().run({{folder + "/b.jpg", "img0001.jpg"}, {folder + "/a.jpg", "img0002.jpg"}}, folder).ok());
            QCOMPARE(modeOf(home + QStringLiteral("/.local/state/Tessaline/last-rename.undo")) & 0077, 0);
            break;
        case First::KeptOrder:
            QVERIFY(ordering::OrderStore(renaming::defaultStateFolder()).save(folder + '/', {"b.jpg", "a.jpg"}, {}));
            break;
        case First::ThumbnailCache: {
            const auto cache = std::make_shared<thumbs::ThumbnailCache>(thumbs::ThumbnailCache::userFileName(), 1 << 20);
            thumbs::ThumbnailCache::Connection connection(cache);
            std::optional<thumbs::FileStamp> stamp;
            connection.find(folder + "/a.jpg", 100, 100, stamp);
            QCOMPARE(modeOf(home + QStringLiteral("/.cache/Tessaline/thumbnails.sqlite")), 0600);
            break;
        }
        case First::Settings:
            QVERIFY(settings::Store::user().write({{settings::ShowFileName, QStringLiteral("0")}}));
            break;
        }
        for (const QString& level : made)
            QVERIFY2(modeOf(home + QLatin1Char('/') + level) == 0700, qPrintable(level + QStringLiteral(": ") +
                                                                                QString::number(modeOf(home + QLatin1Char('/') + level), 8)));
    }

    // A folder of the program's own that an earlier version made open to all becomes the user's
    // alone; folders above it that were there already are left as they are. A file in the way is
    // an error.
    void existingLevels()
    {
        const FreshHome fresh(022);
        const QString base = fresh.home.path() + QStringLiteral("/shared");
        QVERIFY(QDir().mkpath(base + QStringLiteral("/Tessaline")));
        QCOMPARE(::chmod(QFile::encodeName(base).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(base + QStringLiteral("/Tessaline")).constData(), 0755), 0);
        QCOMPARE(platform::makeOwnFolder(QFile::encodeName(base + QStringLiteral("/Tessaline"))), 0);
        QCOMPARE(modeOf(base), 0755);
        QCOMPARE(modeOf(base + QStringLiteral("/Tessaline")), 0700);
        writeFile(base + QStringLiteral("/file"), "x");
        QCOMPARE(platform::makeOwnFolder(QFile::encodeName(base + QStringLiteral("/file/Tessaline"))), ENOTDIR);
        QCOMPARE(platform::makeOwnFolder("relative/Tessaline"), EINVAL);
    }
};

QTEST_GUILESS_MAIN(TestOwnFolders)
#include "tst_own_folders.moc"
