// Removing what a test made: only a path strictly inside the test's own
// temporary directory is removed. An empty or relative path (QTemporaryDir's
// filePath of an absolute name, a path left empty by an earlier failure)
// would otherwise resolve to the working directory.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

inline void RemoveInside(const QTemporaryDir &dir, const QString &path)
{
    const QString root = QDir::cleanPath(QFileInfo(dir.path()).absoluteFilePath());
    const QString target = QDir::cleanPath(path);
    ASSERT_FALSE(root.isEmpty());
    ASSERT_TRUE(QFileInfo(path).isAbsolute() && target.startsWith(root + QLatin1Char('/')))
        << "not inside " << root.toStdString() << ": " << path.toStdString();
    QDir(target).removeRecursively();
}
