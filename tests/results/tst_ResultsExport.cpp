// The spreadsheet exports: the CSV text, and the workbook as LibreOffice reads it.
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include "ResultsExport.h"
#include "testutil_results.h"

#include <numeric>

#include <sys/stat.h>

using namespace ResultsTest;

class TestResultsExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void csvText();
    void xlsxAsLibreOfficeReadsIt();
    void failedWriteLeavesTheOldFile();
    void exportsGetAnOrdinaryFilesMode();
    void itemsSheetAsLibreOfficeReadsIt();

private:
    bool ConvertToCsv(const QString &xlsx, const QString &outdir);

    QTemporaryDir m_dir;
    QList<TResultRow> m_rows;
    QList<int> m_shown;
};

// The workbook as LibreOffice reads it: each sheet as UTF-8 CSV, cells as
// shown, into outdir. False when it could not (the test then skipped or failed).
bool TestResultsExport::ConvertToCsv(const QString &xlsx, const QString &outdir)
{
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty()) {
        QTest::qSkip("LibreOffice is not installed (scripts/setup.sh installs libreoffice-calc-nogui)", __FILE__,
                     __LINE__);
        return false;
    }
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.start(office, {QStringLiteral("-env:UserInstallation=file://") + m_dir.path() + QStringLiteral("/profile"),
                     QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                     QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1"),
                     QStringLiteral("--outdir"), m_dir.filePath(outdir), xlsx});
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        QTest::qFail(qPrintable(QStringLiteral("LibreOffice failed: ") + QString::fromLocal8Bit(p.readAllStandardError())),
                     __FILE__, __LINE__);
        return false;
    }
    return true;
}

void TestResultsExport::initTestCase()
{
    const QString path = m_dir.filePath(QStringLiteral("class.res"));
    TResultRecord quoted = Run(1, QStringLiteral("9 «Б», профиль"), 2, 3, QDate(2026, 12, 7), QTime(9, 5));
    quoted.LastName = QStringLiteral("Ёлкина \"Аня\"");
    QVERIFY(Append(path, quoted));
    QVERIFY(Append(path, Run(2, QStringLiteral("9А"), 13, 15, QDate(2027, 1, 31), QTime(14, 30), QStringLiteral("Физика"))));
    QVERIFY(Append(path, Run(3, QStringLiteral("9А"), 0, 20, QDate(2027, 2, 1), QTime(8, 0))));
    m_rows = Results::ReadFile(path).Table.Rows;
    QCOMPARE(m_rows.size(), 3);
    m_shown = {1, 0};  // filtered and sorted: the export follows the view
}

void TestResultsExport::csvText()
{
    const QByteArray bytes = Results::CsvBytes(m_rows, m_shown, TMarkScale());
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));  // so that spreadsheets take it for UTF-8
    const QString text = QString::fromUtf8(bytes.mid(3));
    const QString expected = QStringLiteral(
        "Дата,Время,Тест,Фамилия,Имя,Отчество,Доп. инф.,Балл,Возможный балл,Процент,Оценка\r\n"
        "2027-01-31,14:30,Физика,Ученик2,Пётр,Сергеевич,9А,13,15,86.67,5\r\n"
        "2026-12-07,09:05,Химия,\"Ёлкина \"\"Аня\"\"\",Пётр,Сергеевич,\"9 «Б», профиль\",2,3,66.67,3\r\n");
    QCOMPARE(text, expected);
    QVERIFY(Results::WriteCsv(m_dir.filePath(QStringLiteral("out.csv")), m_rows, m_shown, TMarkScale()));
    QCOMPARE(ReadRaw(m_dir.filePath(QStringLiteral("out.csv"))), bytes);
}

void TestResultsExport::xlsxAsLibreOfficeReadsIt()
{
    const QString xlsx = m_dir.filePath(QStringLiteral("Результаты 9А.xlsx"));
    QString error;
    QVERIFY2(Results::WriteXlsx(xlsx, m_rows, m_shown, TMarkScale{9000, 7000, 5000}, &error), qPrintable(error));
    QVERIFY(ReadRaw(xlsx).startsWith("PK"));
    QVERIFY(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".xlsx-")).isEmpty());

    if (!ConvertToCsv(xlsx, QStringLiteral("lo")))
        return;
    const QString results = QString::fromUtf8(ReadRaw(m_dir.filePath(QStringLiteral("lo/Результаты 9А-Результаты.csv"))));
    QCOMPARE(results, QStringLiteral(
        "Дата,Время,Тест,Фамилия,Имя,Отчество,Доп. инф.,Балл,Возможный балл,Процент,Оценка\n"
        "31.01.2027,14:30,Физика,Ученик2,Пётр,Сергеевич,9А,13,15,86.67,4\n"
        "07.12.2026,9:05,Химия,\"Ёлкина \"\"Аня\"\"\",Пётр,Сергеевич,\"9 «Б», профиль\",2,3,66.67,3\n"));
    const QString stats = QString::fromUtf8(ReadRaw(m_dir.filePath(QStringLiteral("lo/Результаты 9А-Статистика.csv"))));
    const QStringList lines = stats.split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("Показатель,Значение"));
    QCOMPARE(lines.value(1), QStringLiteral("Число результатов,2"));
    QCOMPARE(lines.value(2), QStringLiteral("Средний процент,76.67"));  // (86.67 + 66.67) / 2
    QCOMPARE(lines.value(3), QStringLiteral("Медиана,76.67"));
    QCOMPARE(lines.value(4), QStringLiteral("Минимум,66.67"));
    QCOMPARE(lines.value(5), QStringLiteral("Максимум,86.67"));
    QCOMPARE(lines.value(6), QStringLiteral("Стандартное отклонение,10.00"));
    QCOMPARE(lines.value(7), QStringLiteral("\"Оценка «5» (от 90,00 %)\",0"));
    QCOMPARE(lines.value(8), QStringLiteral("\"Оценка «4» (от 70,00 %)\",1"));
    QCOMPARE(lines.value(9), QStringLiteral("\"Оценка «3» (от 50,00 %)\",1"));
    QCOMPARE(lines.value(10), QStringLiteral("\"Оценка «2» (ниже 50,00 %)\",0"));
    QCOMPARE(lines.value(17), QStringLiteral("Процент 60–70,1"));
    QCOMPARE(lines.value(19), QStringLiteral("Процент 80–90,1"));
}

void TestResultsExport::failedWriteLeavesTheOldFile()
{
    const QString target = m_dir.filePath(QStringLiteral("old.xlsx"));
    WriteRaw(target, "old");
    // A folder under the target's name cannot be replaced; neither can a missing folder be written.
    QString error;
    QVERIFY(!Results::WriteXlsx(m_dir.filePath(QStringLiteral("нет/x.xlsx")), m_rows, m_shown, TMarkScale(), &error));
    QVERIFY(error.contains(QStringLiteral("нет/x.xlsx")));
    QVERIFY(!Results::WriteCsv(m_dir.filePath(QStringLiteral("нет/x.csv")), m_rows, m_shown, TMarkScale(), &error));
    const QFileInfo dirInfo(m_dir.path());
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool refused = !Results::WriteXlsx(target, m_rows, m_shown, TMarkScale(), &error);
    QFile::setPermissions(m_dir.path(), dirInfo.permissions());
    if (::geteuid() != 0)  // root writes anyway
        QVERIFY(refused);
    if (refused)
        QCOMPARE(ReadRaw(target), QByteArray("old"));
    QVERIFY(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".xlsx-")).isEmpty());
}

void TestResultsExport::exportsGetAnOrdinaryFilesMode()
{
    // A teacher's export is read by colleagues and the office suite: it is made
    // as any new file is, and a replaced one keeps its mode.
    const mode_t old = ::umask(022);
    const QString xlsx = m_dir.filePath(QStringLiteral("mode.xlsx"));
    const QString csv = m_dir.filePath(QStringLiteral("mode.csv"));
    QString error;
    QVERIFY2(Results::WriteXlsx(xlsx, m_rows, m_shown, TMarkScale(), &error), qPrintable(error));
    QVERIFY(Results::WriteCsv(csv, m_rows, m_shown, TMarkScale()));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(xlsx).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0644));
    QCOMPARE(::stat(QFile::encodeName(csv).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0644));
    QCOMPARE(::chmod(QFile::encodeName(xlsx).constData(), 0664), 0);
    QVERIFY2(Results::WriteXlsx(xlsx, m_rows, m_shown, TMarkScale(), &error), qPrintable(error));
    QCOMPARE(::stat(QFile::encodeName(xlsx).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0664));
    ::umask(old);
    QVERIFY(QDir::temp().entryList({QStringLiteral("qe-xlsx-*")}, QDir::Hidden | QDir::Files).isEmpty());
}

// The item analysis as a third sheet: numbers as numbers, a column per variant.
void TestResultsExport::itemsSheetAsLibreOfficeReadsIt()
{
    TItemVersion v;
    v.TestName = QStringLiteral("Химия");
    v.TestHash = QStringLiteral("3f2a9c01") + QString(56, u'0');
    v.Runs = 30;
    TItemStats a;
    a.Position = 4;
    a.TextStart = QStringLiteral("Формула воды, \"H2O\"");
    a.Seen = 30;
    a.Answered = 29;
    a.FullyRight = 5;
    a.Facility = 5 / 30.0;
    a.Discrimination = -0.25;
    a.Variants = {{5, true}, {20, false}, {4, false}};
    a.Flags = FlagTooHard | FlagMisleading;
    TItemStats b = a;
    b.Position = 5;
    b.Discrimination.reset();
    b.PointBiserial = 0.5;
    b.Variants = {{1, false}, {28, true}};
    b.Flags = 0;
    v.Items = {a, b};
    const QList<TItemVersion> items{v};
    const QString xlsx = m_dir.filePath(QStringLiteral("Анализ.xlsx"));
    QString error;
    QVERIFY2(Results::WriteXlsx(xlsx, m_rows, m_shown, TMarkScale(), &error, &items), qPrintable(error));
    if (!ConvertToCsv(xlsx, QStringLiteral("lo2")))
        return;
    const QString sheet = QString::fromUtf8(ReadRaw(m_dir.filePath(QStringLiteral("lo2/Анализ-Анализ вопросов.csv"))));
    QCOMPARE(sheet, QStringLiteral(
        "Тест,Версия,№,Вопрос,Видели,Ответили,Решаемость,Различение (27 %),Бисериальная r,"
        "Вариант 1,Вариант 2,Вариант 3,Замечания\n"
        "Химия,3f2a9c01,4,\"Формула воды, \"\"H2O\"\"\",30,29,0.17,-0.25,,5,20,4,"
        "слишком трудный; неверный вариант выбирают чаще верного\n"
        "Химия,3f2a9c01,5,\"Формула воды, \"\"H2O\"\"\",30,29,0.17,,0.50,1,28,,\n"));
}

QTEST_GUILESS_MAIN(TestResultsExport)
#include "tst_ResultsExport.moc"
