// qe_mkzip OUT FILE...: a zip of the files (paths relative to the working
// folder become the entry names), written through a temporary file.
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <cstdio>

#include "DocxZip.h"
#include "QeErrors.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: qe_mkzip OUT FILE...\n");
        return 2;
    }
    Docx::TZipEntries entries;
    for (const QString &name : args.mid(1)) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "qe_mkzip: %s: %s\n", qPrintable(name), qPrintable(f.errorString()));
            return 1;
        }
        entries.append({name, f.readAll()});
    }
    try {
        const QByteArray zip = Docx::WriteZip(entries);
        QSaveFile out(args.first());
        if (!out.open(QIODevice::WriteOnly) || out.write(zip) != zip.size() || !out.commit()) {
            std::fprintf(stderr, "qe_mkzip: %s: %s\n", qPrintable(args.first()), qPrintable(out.errorString()));
            return 1;
        }
    } catch (const EQuizError &e) {
        std::fprintf(stderr, "qe_mkzip: %s\n", e.what());
        return 1;
    }
    return 0;
}
