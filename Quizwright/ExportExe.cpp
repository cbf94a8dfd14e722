#include "ExportExe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "Ansi.h"
#include "FileLocks.h"
#include "QeErrors.h"
#include "ResourceTrailer.h"

namespace ExportExe {
namespace {
TExportResult failed(const QString &message, const QString &detail = {})
{
    return {false, message, detail};
}

// The program is written by the trailer code through a temporary file beside
// the target; find out first whether the folder takes one, so that the copy's
// own failure is told as such and before the test file is touched.
bool CanCreateBeside(const QString &target, QString &why)
{
    const QFileInfo fi(target);
    if (fi.isDir()) {
        why = QStringLiteral("is a folder");
        return false;
    }
    QTemporaryFile probe(fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".XXXXXX"));
    if (!probe.open()) {
        why = probe.errorString();
        return false;
    }
    return true;
}

struct TMappedFile {
    QFile File;
    uchar *View = nullptr;
    ~TMappedFile()
    {
        if (View)
            File.unmap(View);
    }
};
}  // namespace

QString PlayerPath(const QString &programDir)
{
    return programDir + QDir::separator() + ExportTexts::PlayerFileName;
}

QByteArray TestNameResource(const QString &testFile)
{
    QByteArray b = ToAnsi(testFile);
    b.append('\0');
    return b;
}

TExportResult WriteProgram(const QString &player, const QString &testFile, const QString &target)
{
    const QString copyFailed = ExportTexts::CopyFailed.arg(player, target);
    {
        QFile src(player);
        if (!src.open(QIODevice::ReadOnly))
            return failed(copyFailed, src.errorString());
        QString why;
        if (!CanCreateBeside(target, why))
            return failed(copyFailed, why);
    }

    TMappedFile test;
    test.File.setFileName(testFile);
    if (!FileLocks::OpenSharedRead(test.File))
        return failed(ExportTexts::OpenFailed + testFile, test.File.errorString());
    const qint64 size = test.File.size();
    // A mapping of nothing cannot be made, as on Windows.
    if (size <= 0)
        return failed(ExportTexts::MappingFailed, QStringLiteral("empty file"));
    test.View = test.File.map(0, size);
    if (!test.View)
        return failed(ExportTexts::ViewFailed, test.File.errorString());

    // The bytes go to the trailer straight from the mapping.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(test.View), qsizetype(size));
    try {
        ResourceTrailer::AddResources(player, target,
                                      {{ExportTexts::TestResource, bytes},
                                       {ExportTexts::TestNameResource, TestNameResource(testFile)}});
    } catch (const EQuizError &e) {
        return failed(ExportTexts::UpdateFailed, e.message());
    } catch (const std::exception &e) {
        return failed(ExportTexts::UpdateFailed, QString::fromLocal8Bit(e.what()));
    }
    return {true, {}, {}};
}
}
