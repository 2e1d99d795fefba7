#include "BenchSetup.h"

#include "BenchFile.h"
#include "ToolError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QStringList BenchSetup::candidates()
{
    const QString name = QStringLiteral(KAVRA_TOOLS_SIM_FILE_NAME);
    const QDir here(QCoreApplication::applicationDirPath());
    QStringList paths{here.filePath(name), here.filePath(QStringLiteral("../lib/") + name),
        here.filePath(QStringLiteral("../" KAVRA_TOOLS_INSTALL_LIBDIR "/") + name),
        here.filePath(QStringLiteral("../sim/") + name),
        // The build tree this tool was built in.
        QStringLiteral(KAVRA_TOOLS_BUILD_SIM)};
    for (QString& path : paths)
        path = QDir::cleanPath(path);
    paths.removeDuplicates();
    return paths;
}

void BenchSetup::apply(const QString& benchFile)
{
    QString library;
    for (const QString& path : candidates()) {
        if (QFileInfo(path).isFile()) {
            library = path;
            break;
        }
    }
    if (library.isEmpty())
        throw ToolError::badInput(
            QStringLiteral("the virtual bench (%1) was not found; looked in: %2")
                .arg(QStringLiteral(KAVRA_TOOLS_SIM_FILE_NAME),
                    candidates().join(QStringLiteral(", "))));
    qputenv("KAVRA_D2XX_LIBRARY", QFile::encodeName(library));

    // A bench file named in the environment is held to the same rules as one given with --bench.
    const QString file
        = benchFile.isEmpty() ? QFile::decodeName(qgetenv("KAVRA_SIM_BENCH")) : benchFile;
    if (!file.isEmpty()) {
        BenchFile::check(file);
        qputenv("KAVRA_SIM_BENCH", QFile::encodeName(QFileInfo(file).absoluteFilePath()));
    }
}
