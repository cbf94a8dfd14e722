// Tests made on Windows name Windows fonts: the font box shows the stored name
// marked as missing, the file keeps it, and the metric-compatible stand-in of
// the alias file beside the programs draws it.
#include <QtTest>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTextBlock>

#include "FontAliases.h"
#include "FormatCommands.h"
#include "MJvRichedit.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "TestFileFormat.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
// As the Windows editor writes a question in its default font with a line in Times New Roman.
const QByteArray WindowsRtf =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 MS Sans Serif;}"
    "{\\f1\\froman\\fcharset204 Times New Roman;}}\r\n"
    "\\viewkind4\\uc1\\pard\\f0\\fs16 Sans\\par\r\n\\f1\\fs24 Serif\\par\r\n}\r\n";

void SelectLine(TMJvRichEdit *e, int line)
{
    QTextCursor c(e->document()->findBlockByNumber(line));
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    e->setTextCursor(c);
}
}  // namespace

class TestWindowsFonts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The build puts the alias file beside the programs, as the package does.
        QVERIFY(FontAliases::Load(QStringLiteral(QE_BINARY_DIR "/bin")));
        QVERIFY(!FontAliases::Load(QStringLiteral(QE_BINARY_DIR "/no-such-folder")));
    }

    void windowsNamesAreDrawnWithTheirStandIns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("standIn");
        QTest::newRow("default font") << "MS Sans Serif" << "Liberation Sans";
        QTest::newRow("its later name") << "Microsoft Sans Serif" << "Liberation Sans";
        QTest::newRow("serif") << "Times New Roman" << "Liberation Serif";
        QTest::newRow("sans") << "Arial" << "Liberation Sans";
        QTest::newRow("mono") << "Courier New" << "Liberation Mono";
    }
    void windowsNamesAreDrawnWithTheirStandIns()
    {
        QFETCH(QString, name);
        QFETCH(QString, standIn);
        QVERIFY2(FontAliases::IsInstalled(standIn), "scripts/setup.sh installs fonts-liberation2");
        QVERIFY(!FontAliases::IsInstalled(name));
        QFont f(name);
        f.setPointSize(10);
        QCOMPARE(QFontInfo(f).family(), standIn);
        QFont s(standIn);
        s.setPointSize(10);
        const QString line = QStringLiteral("Сколько будет 2+2? Выберите ответ.");
        QCOMPARE(QFontMetrics(f).horizontalAdvance(line), QFontMetrics(s).horizontalAdvance(line));
    }

    void fontBoxShowsTheStoredNameAndTheFileKeepsIt()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        TQuestionPtr q = Question(QStringLiteral("Sans\nSerif"), {"a", "b"}, "! ");
        q->Body = RichRecord::FromRtf(WindowsRtf);
        const QString path = f.Path(QStringLiteral("windows.qe2"));
        WriteTest(path, {q});
        f.FileNames = {path};
        QVERIFY(f.W().OpenFile());
        TMJvRichEdit *text = f.W().Pane()->questionText();
        QComboBox *box = f.W().FormatCommands()->cbFont();
        text->setFocus();
        SelectLine(text, 0);
        QTRY_COMPARE(box->currentText(), QStringLiteral("MS Sans Serif (не установлен)"));
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(QFontInfo(text->textCursor().charFormat().font()).family(), QStringLiteral("Liberation Sans"));
        SelectLine(text, 1);
        QTRY_COMPARE(box->currentText(), QStringLiteral("Times New Roman (не установлен)"));
        QCOMPARE(QFontInfo(text->textCursor().charFormat().font()).family(), QStringLiteral("Liberation Serif"));
        // Both lines: no one name to show.
        text->selectAll();
        QTRY_COMPARE(box->currentText(), QString());
        // An installed font shows as itself.
        SelectLine(text, 0);
        box->setCurrentIndex(box->findText(QStringLiteral("Liberation Serif")));
        Q_EMIT box->activated(box->currentIndex());
        SelectLine(text, 1);
        SelectLine(text, 0);
        QTRY_COMPARE(box->currentText(), QStringLiteral("Liberation Serif"));
        // Undone, the stored name is back.
        text->undo();
        SelectLine(text, 0);
        QTRY_COMPARE(box->currentText(), QStringLiteral("MS Sans Serif (не установлен)"));

        // An edit elsewhere and a save keep both names as they were.
        text->moveCursor(QTextCursor::End);
        Type(text, QStringLiteral("!"));
        QVERIFY(f.W().SaveFile());
        TTestInfo info;
        TQuestionList back;
        QVERIFY(LoadTestFromFile(path, info, back).Ok);
        QVERIFY(back.at(0)->Body.contains("MS Sans Serif;"));
        QVERIFY(back.at(0)->Body.contains("Times New Roman;"));
        QVERIFY(!back.at(0)->Body.contains("Liberation"));
    }
};

QTEST_MAIN(TestWindowsFonts)
#include "tst_WindowsFonts.moc"
