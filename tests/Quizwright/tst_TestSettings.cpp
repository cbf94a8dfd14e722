// The test settings dialog driven by its control names: loading from the
// header, the click rules, the locked password page and its closing check,
// and what OK writes back; the command in the main window.
#include <QtTest>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "MessageBoxes.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "fTestSettings.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
template <class T>
T *Control(QWidget &dlg, const char *name)
{
    T *w = dlg.findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}
QCheckBox *Box(QWidget &dlg, const char *name) { return Control<QCheckBox>(dlg, name); }
QSpinBox *Spin(QWidget &dlg, const char *name) { return Control<QSpinBox>(dlg, name); }

// A document with the given questions: "v" has variants, "i" is an information item.
void Fill(TQuizDocument &doc, const QString &kinds)
{
    for (QChar k : kinds) {
        auto q = std::make_unique<TNQuestion>();
        q->PlainLines.Add(QStringLiteral("Вопрос"));
        if (k == u'v') {
            q->Variants = QStringList{QStringLiteral("да"), QStringLiteral("нет")};
            q->RightMarks = QStringLiteral("! ");
        }
        doc.model()->appendQuestion(std::move(q), 0);
    }
    doc.SetModified(false);
}

// Key presses carrying any text (QTest's own take Latin-1 only).
void TypeText(QWidget *w, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

// Types into a spin box and leaves it, as the user does.
void TypeAndLeave(QSpinBox *sp, const QString &text)
{
    auto *edit = sp->findChild<QLineEdit *>();
    edit->setText(text);
    // Leaving the field: what losing the focus does.
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(sp, &out);
}

struct TDialog {
    TfrmTestSettings Dlg;
    QStringList Messages;
    TDialog()
    {
        SetMessageSink([this](QMessageBox::Icon, const QString &caption, const QString &text) {
            Messages.append(caption + u'\t' + text);
        });
    }
    ~TDialog() { SetMessageSink({}); }
    // Loads the dialog the way the command does and shows it.
    void Open(TQuizDocument &doc)
    {
        Dlg.Load(doc.header(), PrepareTestSettings(doc));
        Dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Dlg));
    }
    // OK; true when the dialog closed accepted, and then the header has the values.
    bool Confirm(TTestInfo &header)
    {
        Control<QPushButton>(Dlg, "btnOk")->click();
        if (Dlg.isVisible() || Dlg.result() != QDialog::Accepted)
            return false;
        ApplyTestSettings(header, Dlg.Values());
        return true;
    }
};
}  // namespace

class TestTestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void informationItemsAreNotRealQuestions()
    {
        TQuizDocument doc;
        Fill(doc, QStringLiteral("viv"));
        doc.header().RandomCount = 0xFFFF;
        TDialog d;
        d.Open(doc);
        // Reset at once, without a change mark, and kept by a cancel.
        QCOMPARE(doc.header().RandomCount, quint16(0));
        QVERIFY(!doc.isModified());
        QCOMPARE(doc.header().IQCount, 1u);
        QVERIFY(!Box(d.Dlg, "chboxRandomQOrder")->isEnabled());
        QVERIFY(!Box(d.Dlg, "chboxRandomQOrder")->isChecked());
        QVERIFY(!Spin(d.Dlg, "spedRandom")->isEnabled());
        QCOMPARE(Control<QLabel>(d.Dlg, "labTotalCount")->text(), QStringLiteral("2)"));
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().RandomCount, quint16(0));

        // Three real questions among information items: random order can be chosen.
        TQuizDocument three;
        Fill(three, QStringLiteral("ivivv"));
        three.header().RandomCount = 0xFFFF;
        TDialog d3;
        d3.Open(three);
        QCOMPARE(three.header().RandomCount, quint16(0xFFFF));
        QVERIFY(Box(d3.Dlg, "chboxRandomQOrder")->isEnabled());
        QVERIFY(Box(d3.Dlg, "chboxRandomQOrder")->isChecked());
        QCOMPARE(Control<QLabel>(d3.Dlg, "labTotalCount")->text(), QStringLiteral("3)"));
        // "вопросов (из 3)" reads with one space's gap, not two.
        {
            auto *before = Control<QLabel>(d3.Dlg, "labRandom2");
            auto *count = Control<QLabel>(d3.Dlg, "labTotalCount");
            const QFontMetrics fm(before->font());
            const int textEnd = before->x() + before->contentsRect().left() + fm.horizontalAdvance(before->text());
            const int gap = count->x() + count->contentsRect().left() - textEnd;
            QVERIFY2(gap > 0 && gap <= fm.horizontalAdvance(u' ') + 1, qPrintable(QString::number(gap)));
        }
        QCOMPARE(Spin(d3.Dlg, "spedRandom")->maximum(), 3);
        QCOMPARE(Spin(d3.Dlg, "spedRandom")->minimum(), 2);
    }

    void randomCount_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("typed");  // empty: left as shown
        QTest::addColumn<int>("result");
        QTest::newRow("all, unchanged") << 0xFFFF << true << 5 << QString() << 0xFFFF;
        QTest::newRow("all, then three") << 0xFFFF << true << 5 << QStringLiteral("3") << 3;
        QTest::newRow("three, back to all") << 3 << true << 3 << QStringLiteral("5") << 0xFFFF;
        QTest::newRow("more than the test has") << 7 << true << 5 << QString() << 0xFFFF;
        QTest::newRow("below the minimum typed") << 4 << true << 4 << QStringLiteral("1") << 2;
        QTest::newRow("stored order") << 0 << false << 5 << QString() << 0;
    }
    void randomCount()
    {
        QFETCH(int, stored);
        QFETCH(bool, ticked);
        QFETCH(int, shown);
        QFETCH(QString, typed);
        QFETCH(int, result);
        TQuizDocument doc;
        Fill(doc, QStringLiteral("vvivvv"));
        doc.header().RandomCount = quint16(stored);
        TDialog d;
        d.Open(doc);
        QCOMPARE(Box(d.Dlg, "chboxRandomQOrder")->isChecked(), ticked);
        QCOMPARE(Spin(d.Dlg, "spedRandom")->isEnabled(), ticked);
        QCOMPARE(Spin(d.Dlg, "spedRandom")->value(), shown);
        if (!typed.isEmpty())
            TypeAndLeave(Spin(d.Dlg, "spedRandom"), typed);
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(int(doc.header().RandomCount), result);
    }

    void randomOrderTickedAndCleared()
    {
        TQuizDocument doc;
        Fill(doc, QStringLiteral("vvvv"));
        doc.header().RandomCount = 0;
        TDialog d;
        d.Open(doc);
        QCheckBox *random = Box(d.Dlg, "chboxRandomQOrder");
        random->click();
        QVERIFY(Spin(d.Dlg, "spedRandom")->isEnabled());
        TypeAndLeave(Spin(d.Dlg, "spedRandom"), QStringLiteral("3"));
        random->click();
        QVERIFY(!Spin(d.Dlg, "spedRandom")->isEnabled());
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().RandomCount, quint16(0));
    }

    void timeLimit()
    {
        TQuizDocument doc;
        Fill(doc, QStringLiteral("v"));
        doc.header().TimeLimit = 0;
        TDialog d;
        d.Open(doc);
        QVERIFY(Box(d.Dlg, "chboxNoTimeLimit")->isChecked());
        QVERIFY(!Spin(d.Dlg, "spedTimeLimit")->isEnabled());
        QCOMPARE(Spin(d.Dlg, "spedTimeLimit")->value(), 1);
        Box(d.Dlg, "chboxNoTimeLimit")->click();
        QVERIFY(Spin(d.Dlg, "spedTimeLimit")->isEnabled());
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().TimeLimit, quint8(1));

        // A limit shown and kept; typed beyond the range, cut back to it.
        doc.header().TimeLimit = 45;
        d.Open(doc);
        QVERIFY(!Box(d.Dlg, "chboxNoTimeLimit")->isChecked());
        QCOMPARE(Spin(d.Dlg, "spedTimeLimit")->value(), 45);
        TypeAndLeave(Spin(d.Dlg, "spedTimeLimit"), QStringLiteral("500"));
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().TimeLimit, quint8(120));
        d.Open(doc);
        Box(d.Dlg, "chboxNoTimeLimit")->click();
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().TimeLimit, quint8(0));
    }

    void commentBoxes()
    {
        TQuizDocument doc;
        Fill(doc, QStringLiteral("v"));
        doc.header().Options = CanViewComments | CanAlwaysViewComments;
        TDialog d;
        d.Open(doc);
        QCheckBox *view = Box(d.Dlg, "chboxCanViewComments");
        QCheckBox *always = Box(d.Dlg, "chboxCanAlwaysViewComments");
        QVERIFY(always->isEnabled() && always->isChecked());
        view->click();
        QVERIFY(!always->isEnabled());
        QVERIFY(!always->isChecked());
        // Ticked again: the second box is free, and stays cleared.
        view->click();
        QVERIFY(always->isEnabled());
        QVERIFY(!always->isChecked());
        view->click();
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().Options & (CanViewComments | CanAlwaysViewComments), 0);

        // A header that allows comments during the run without allowing them at all.
        doc.header().Options = CanAlwaysViewComments;
        d.Open(doc);
        QVERIFY(!always->isEnabled());
        QVERIFY(!always->isChecked());
    }

    void everyBoxHasItsOwnBit_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("bit");
        QTest::newRow("errors") << "chboxCanViewErrors" << int(CanViewErrors);
        QTest::newRow("back") << "chboxEnableBackNavigation" << int(EnableBackNavigation);
        QTest::newRow("comments") << "chboxCanViewComments" << int(CanViewComments);
        QTest::newRow("variants") << "chboxRandomVOrder" << int(RandomVOrder);
        QTest::newRow("whole questions") << "chboxCountWholeQuestion" << int(CountWholeQuestion);
        QTest::newRow("window size") << "cboxSetCustomQSize" << int(SetCustomQSize);
    }
    void everyBoxHasItsOwnBit()
    {
        QFETCH(QString, box);
        QFETCH(int, bit);
        // Bits the dialog does not show survive both ways.
        const quint16 foreign = 0x8080;
        for (const quint16 start : {quint16(foreign), quint16(0xFFFF & ~CanAlwaysViewComments)}) {
            TQuizDocument doc;
            Fill(doc, QStringLiteral("v"));
            doc.header().Options = start;
            TDialog d;
            d.Open(doc);
            QCheckBox *b = Box(d.Dlg, box.toLatin1().constData());
            QCOMPARE(b->isChecked(), (start & bit) != 0);
            b->click();
            QVERIFY(d.Confirm(doc.header()));
            QCOMPARE(int(doc.header().Options), int(start ^ quint16(bit)));
        }
    }

    void interfacePage()
    {
        TQuizDocument doc;
        Fill(doc, QStringLiteral("v"));
        TTestInfo &h = doc.header();
        h.QWidth = 800;
        h.QHeight = 600;
        h.Zoom = 150;
        h.QScrollBars = 2;
        h.Options = 0;
        TDialog d;
        d.Open(doc);
        QCOMPARE(Spin(d.Dlg, "JvSpinEditQWidth")->value(), 800);
        QCOMPARE(Spin(d.Dlg, "JvSpinEditQHeight")->value(), 600);
        QCOMPARE(Spin(d.Dlg, "JvSpinEditZoom")->value(), 150);
        QCOMPARE(Control<QComboBox>(d.Dlg, "cboxQScrollBars")->currentIndex(), 2);
        QCOMPARE(Control<QComboBox>(d.Dlg, "cboxQScrollBars")->currentText(), QStringLiteral("Горизонтальная"));
        for (const char *name : {"JvSpinEditQWidth", "JvSpinEditQHeight", "labQWidth", "labQHeight"})
            QVERIFY2(!Control<QWidget>(d.Dlg, name)->isEnabled(), name);
        QVERIFY(Spin(d.Dlg, "JvSpinEditZoom")->isEnabled());
        Box(d.Dlg, "cboxSetCustomQSize")->click();
        for (const char *name : {"JvSpinEditQWidth", "JvSpinEditQHeight", "labQWidth", "labQHeight"})
            QVERIFY2(Control<QWidget>(d.Dlg, name)->isEnabled(), name);

        // Typed values beyond the limits come back to the nearest limit; the
        // zoom is one byte.
        TypeAndLeave(Spin(d.Dlg, "JvSpinEditZoom"), QStringLiteral("400"));
        QCOMPARE(Spin(d.Dlg, "JvSpinEditZoom")->value(), 255);
        TypeAndLeave(Spin(d.Dlg, "JvSpinEditQWidth"), QStringLiteral("100"));
        TypeAndLeave(Spin(d.Dlg, "JvSpinEditQHeight"), QStringLiteral("2500"));
        Control<QComboBox>(d.Dlg, "cboxQScrollBars")->setCurrentIndex(3);
        QVERIFY(d.Confirm(h));
        QCOMPARE(h.Zoom, quint8(255));
        QCOMPARE(h.QWidth, quint16(500));
        QCOMPARE(h.QHeight, quint16(2000));
        QCOMPARE(h.QScrollBars, quint8(3));
        QVERIFY(h.has(SetCustomQSize));

        d.Open(doc);
        TypeAndLeave(Spin(d.Dlg, "JvSpinEditZoom"), QStringLiteral("10"));
        QVERIFY(d.Confirm(h));
        QCOMPARE(h.Zoom, quint8(30));
    }

    void passwordPage()
    {
        TQuizDocument doc;
        Fill(doc, QStringLiteral("v"));
        TDialog d;
        QPushButton *button = Control<QPushButton>(d.Dlg, "btnChangePassword");
        QLineEdit *pass1 = Control<QLineEdit>(d.Dlg, "edPass1");
        QLineEdit *pass2 = Control<QLineEdit>(d.Dlg, "edPass2");
        d.Open(doc);
        QCOMPARE(button->text(), QStringLiteral("Задать пароль"));
        for (QWidget *w : {static_cast<QWidget *>(pass1), static_cast<QWidget *>(pass2),
                           Control<QWidget>(d.Dlg, "labEnterPassword"), Control<QWidget>(d.Dlg, "labReEnterPassword")})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(pass1->echoMode(), QLineEdit::Password);
        // Confirmed without pressing the button: still no password.
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().Password, QString());

        d.Open(doc);
        Control<QTabWidget>(d.Dlg, "PageControl")->setCurrentIndex(2);
        button->click();
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Введите новый пароль"));
        QVERIFY(pass1->isEnabled() && pass2->isEnabled());
        QVERIFY(Control<QWidget>(d.Dlg, "labEnterPassword")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), pass1);
        // Different entries: the dialog stays open with them as typed.
        TypeText(pass1, QStringLiteral("секрет"));
        TypeText(pass2, QStringLiteral("секрет1"));
        QVERIFY(!d.Confirm(doc.header()));
        QVERIFY(d.Dlg.isVisible());
        // A plain box whose caption is the application's title.
        QCOMPARE(d.Messages, QStringList{QGuiApplication::applicationDisplayName() + u'\t'
                                         + QStringLiteral("Введенные пароли различаются")});
        QCOMPARE(pass2->text(), QStringLiteral("секрет1"));
        QCOMPARE(doc.header().Password, QString());
        // Cancel always closes.
        Control<QPushButton>(d.Dlg, "btnCancel")->click();
        QVERIFY(!d.Dlg.isVisible());

        // The page is locked again, the entries gone; the same text twice is stored.
        d.Open(doc);
        QVERIFY(button->isEnabled() && !pass1->isEnabled() && pass1->text().isEmpty());
        button->click();
        TypeText(pass1, QStringLiteral("секрет"));
        TypeText(pass2, QStringLiteral("секрет"));
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().Password, QStringLiteral("секрет"));

        // A password is kept unless the button is pressed.
        d.Open(doc);
        QCOMPARE(button->text(), QStringLiteral("Изменить пароль"));
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().Password, QStringLiteral("секрет"));

        // Both entries left empty remove it.
        d.Open(doc);
        button->click();
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().Password, QString());
        d.Open(doc);
        QCOMPARE(button->text(), QStringLiteral("Задать пароль"));
        d.Dlg.reject();
    }

    void passwordOnlyAsTypedTwice()
    {
        // Regression: the fields stopped at 14 characters while masked, so a
        // teacher who typed 20 twice stored 14 and was locked out of the test.
        TQuizDocument doc;
        Fill(doc, QStringLiteral("v"));
        doc.header().Password = QStringLiteral("старый");
        TDialog d;
        d.Open(doc);
        Control<QPushButton>(d.Dlg, "btnChangePassword")->click();
        auto *pass1 = Control<QLineEdit>(d.Dlg, "edPass1");
        auto *pass2 = Control<QLineEdit>(d.Dlg, "edPass2");
        const QString typed = QStringLiteral("абвгдежзийклмнопрсту");  // 20
        TypeText(pass1, typed);
        TypeText(pass2, typed);
        QCOMPARE(pass1->text(), typed);
        QVERIFY(!d.Confirm(doc.header()));
        QVERIFY(d.Dlg.isVisible());
        QCOMPARE(d.Messages, QStringList{QGuiApplication::applicationDisplayName() + u'\t'
                                         + QStringLiteral("Пароль не может быть длиннее 14 символов.\rВведите пароль короче.")});
        QCOMPARE(doc.header().Password, QStringLiteral("старый"));

        // A character Windows-1251 has not would come back as "?".
        d.Messages.clear();
        pass1->setText(QStringLiteral("ключ日本"));
        pass2->setText(QStringLiteral("ключ日本"));
        QVERIFY(!d.Confirm(doc.header()));
        QCOMPARE(d.Messages.size(), 1);
        QVERIFY2(d.Messages[0].endsWith(QStringLiteral("Эти знаки нельзя использовать в пароле: 日本\rВведите пароль без них.")),
                 qPrintable(d.Messages[0]));

        // Fourteen, typed twice, is stored and reads back from the file as typed.
        pass1->setText(typed.left(14));
        pass2->setText(typed.left(14));
        QVERIFY(d.Confirm(doc.header()));
        QCOMPARE(doc.header().Password, typed.left(14));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.qe2"));
        QVERIFY(doc.SaveTestToFile(path).Ok);
        TTestInfo back;
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(ReadTestHeader(f, back), 0);
        QCOMPARE(back.Password, typed.left(14));
    }

    void commandMarksModifiedAndReopensOnFirstPage()
    {
        TEditorFixture f;
        const QString path = f.Path(QStringLiteral("t.qe2"));
        WriteTest(path, {Question(QStringLiteral("Один"), {"a", "b"}, "! "), Question(QStringLiteral("Два"), {"a", "b"}, " !"),
                         Question(QStringLiteral("Три"), {"a", "b"}, "! "), Question(QStringLiteral("Инфо"))},
                  {}, 0);
        QVERIFY(f.Start(path));
        QCOMPARE(f.W().Document()->questionCount(), 4);
        QAction *act = f.W().Action("actFileParameters");
        QVERIFY(act->isEnabled());
        QVERIFY(!f.W().windowTitle().contains(u'*'));

        auto *dlg = f.W().findChild<TfrmTestSettings *>();
        QVERIFY(dlg);
        QStringList seen;
        // On OK without a change the test is still marked modified.
        QTimer::singleShot(0, dlg, [&] {
            seen << QString::number(Control<QTabWidget>(*dlg, "PageControl")->currentIndex())
                 << Control<QLabel>(*dlg, "labTotalCount")->text();
            Control<QTabWidget>(*dlg, "PageControl")->setCurrentIndex(1);
            Control<QPushButton>(*dlg, "btnOk")->click();
        });
        act->trigger();
        QCOMPARE(seen, QStringList({QStringLiteral("0"), QStringLiteral("3)")}));
        QVERIFY(f.W().Document()->isModified());
        QVERIFY(f.W().windowTitle().contains(QStringLiteral("(4)*")));

        // Cancel applies nothing; the time limit set on OK is saved and read back.
        f.W().Document()->SetModified(false);
        QTimer::singleShot(0, dlg, [&] {
            seen << QString::number(Control<QTabWidget>(*dlg, "PageControl")->currentIndex());
            Box(*dlg, "chboxNoTimeLimit")->click();
            Control<QPushButton>(*dlg, "btnCancel")->click();
        });
        act->trigger();
        QCOMPARE(seen.last(), QStringLiteral("0"));
        QVERIFY(!f.W().Document()->isModified());
        QCOMPARE(f.W().Document()->header().TimeLimit, quint8(0));

        QTimer::singleShot(0, dlg, [&] {
            Box(*dlg, "chboxNoTimeLimit")->click();
            TypeAndLeave(Spin(*dlg, "spedTimeLimit"), QStringLiteral("25"));
            Control<QPushButton>(*dlg, "btnChangePassword")->click();
            TypeText(Control<QLineEdit>(*dlg, "edPass1"), QStringLiteral("пароль"));
            TypeText(Control<QLineEdit>(*dlg, "edPass2"), QStringLiteral("пароль"));
            Control<QPushButton>(*dlg, "btnOk")->click();
        });
        act->trigger();
        f.W().Action("actFileSave")->trigger();
        QVERIFY(!f.W().Document()->isModified());

        // Reopened: the test password is asked, and the settings are back.
        f.Passwords = {QStringLiteral("пароль")};
        f.PasswordLabels.clear();
        f.W().Action("actFileNew")->trigger();
        f.FileNames = {path};
        f.W().Action("actFileOpen")->trigger();
        QCOMPARE(f.PasswordLabels, QStringList{DocTexts::TestPasswordLabel});
        QCOMPARE(f.W().Document()->path(), path);
        QCOMPARE(f.W().Document()->header().TimeLimit, quint8(25));
        QCOMPARE(f.W().Document()->header().Password, QStringLiteral("пароль"));
    }
};

QTEST_MAIN(TestTestSettings)
#include "tst_TestSettings.moc"
