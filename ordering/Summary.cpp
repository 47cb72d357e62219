#include "ordering/Summary.h"

#include <QLocale>
#include <QStringList>

namespace ordering {

namespace {

QString number(qsizetype n)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(qint64(n));
}

QString extensionsOf(const platform::SkippedFiles& skipped)
{
    QStringList extensions;
    for (const auto* counts : {&skipped.photos, &skipped.clips})
        for (auto it = counts->cbegin(); it != counts->cend(); ++it)
            extensions.append(QLatin1Char('.') + QString::fromLatin1(it.key()));
    return extensions.join(QStringLiteral(", "));
}

} // namespace

QString picturesText(qsizetype pictures)
{
    if (pictures == 0)
        return QStringLiteral("Keine Bilder");
    return pictures == 1 ? QStringLiteral("1 Bild") : number(pictures) + QStringLiteral(" Bilder");
}

QString skippedText(const platform::SkippedFiles& skipped)
{
    const qsizetype photos = skipped.photoCount();
    const qsizetype clips = skipped.clipCount();
    if (photos == 0 && clips == 0)
        return QString();
    const QString photoText = photos == 1 ? QStringLiteral("1 weiteres Foto") : number(photos) + QStringLiteral(" weitere Fotos");
    QString text;
    if (photos > 0 && clips > 0)
        text = photoText + QStringLiteral(" und ") +
               (clips == 1 ? QStringLiteral("1 Video") : number(clips) + QStringLiteral(" Videos"));
    else if (photos > 0)
        text = photoText;
    else
        text = clips == 1 ? QStringLiteral("1 weiteres Video") : number(clips) + QStringLiteral(" weitere Videos");
    return text + QStringLiteral(" (") + extensionsOf(skipped) + QLatin1Char(')');
}

QString shownLine(qsizetype pictures, const platform::SkippedFiles& skipped)
{
    const QString others = skippedText(skipped);
    return others.isEmpty() ? picturesText(pictures)
                            : picturesText(pictures) + QStringLiteral(" · ") + others + QStringLiteral(" nicht angezeigt");
}

QString listingLine(qsizetype listedSoFar)
{
    return listedSoFar == 0 ? QStringLiteral("Der Ordner wird gelesen...")
                            : QStringLiteral("Der Ordner wird gelesen: ") + picturesText(listedSoFar);
}

QString readingTimesLine(qsizetype done, qsizetype of)
{
    return QStringLiteral("Aufnahmezeiten werden gelesen: %1 von %2").arg(number(done), number(of));
}

QString finishedText(qsizetype renamed, const QStringList& companions, const platform::SkippedFiles& skipped,
                     bool undo)
{
    const QString files = renamed == 0   ? QStringLiteral("keine Datei")
                          : renamed == 1 ? QStringLiteral("1 Datei")
                                         : number(renamed) + QStringLiteral(" Dateien");
    QString text = QStringLiteral("Fertig: ") + files +
                   (!undo          ? QStringLiteral(" umbenannt.")
                    : renamed == 1 ? QStringLiteral(" hat wieder ihren vorigen Namen.")
                                   : QStringLiteral(" haben wieder ihre vorigen Namen."));
    // The companions that went along right under the count, the first three by name.
    if (!companions.isEmpty()) {
        const QString first = companions.size() > 3 ? companions.mid(0, 3).join(QStringLiteral(", ")) + QStringLiteral(", …")
                                                    : companions.join(QStringLiteral(", "));
        text += companions.size() == 1
                    ? QStringLiteral("\n\n1 Begleitdatei ging mit: %1").arg(first)
                    : QStringLiteral("\n\n%1 Begleitdateien gingen mit: %2").arg(number(companions.size()), first);
    }
    const QString others = skippedText(skipped);
    if (!undo && !others.isEmpty())
        text += QStringLiteral("\n\n") + others +
                (skipped.photoCount() + skipped.clipCount() == 1
                     ? QStringLiteral(" des Ordners wurde nicht angezeigt und behält seinen Namen.")
                     : QStringLiteral(" des Ordners wurden nicht angezeigt und behalten ihre Namen."));
    return text;
}

} // namespace ordering
