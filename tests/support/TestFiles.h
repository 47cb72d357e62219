#pragma once

#include <QFile>
#include <QTest>

// Writes a file for a test, or fails the test.
inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(content);
}
