#pragma once
// Shared by the fuzz targets: a GUI application for readers that build a
// QTextDocument, a scratch file for readers that take a path, and a check
// that stops the run with a message libFuzzer records as a finding.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace Fuzz {
// Once per process, offscreen.
void EnsureGuiApplication();
// Silences Qt's debug and warning output, which would flood the run.
void QuietQtMessages();
// A file of this process whose content is replaced by each call.
QString ScratchFile(const uint8_t *data, size_t size);
QByteArray Bytes(const uint8_t *data, size_t size);
[[noreturn]] void Fail(const char *what, const QString &detail = {});
inline void Check(bool ok, const char *what, const QString &detail = {})
{
    if (!ok)
        Fail(what, detail);
}
}
