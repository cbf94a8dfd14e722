// The question title dialog: how it is preset, what enables what, OK and cancel.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "QuestionListModel.h"
#include "fQuestionTitle.h"

namespace {
TNodeRecord Record(const QStringList &plain, bool hasTitle = false, const QString &title = {})
{
    TNodeRecord rec;
    rec.Question = std::make_unique<TNQuestion>();
    for (const QString &l : plain)
        rec.Question->PlainLines.Add(l);
    rec.Question->HasTitle = hasTitle;
    rec.Question->Title = title;
    rec.Question->ContentReady = true;
    return rec;
}

struct TDialog {
    TfrmQTitle dlg;
    QLineEdit *ed() { return dlg.findChild<QLineEdit *>(QStringLiteral("edText")); }
    QCheckBox *box() { return dlg.findChild<QCheckBox *>(QStringLiteral("cboxUseOriginalTitle")); }
    QPushButton *ok() { return dlg.findChild<QPushButton *>(QStringLiteral("btnOK")); }
    QPushButton *cancel() { return dlg.findChild<QPushButton *>(QStringLiteral("btnCancel")); }
    bool shown = false;
    // Runs Change with `act` done on the shown dialog.
    bool change(TNodeRecord &rec, std::function<void()> act)
    {
        shown = false;
        QTimer::singleShot(0, &dlg, [&] {
            shown = dlg.isVisible();
            act();
            if (dlg.isVisible())
                dlg.reject();
        });
        return dlg.Change(rec);
    }
};
} // namespace

class TestQuestionTitle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void looks();
    void presetFromQuestionText();
    void presetFromTitle();
    void presetWithoutText();
    void okFollowsTheFields();
    void confirmStoresTitle();
    void useTextAgain();
    void cancelChangesNothing();
};

void TestQuestionTitle::looks()
{
    TDialog d;
    QCOMPARE(d.dlg.windowTitle(), QStringLiteral("Заголовок вопроса"));
    QCOMPARE(d.box()->text(), QStringLiteral("Использовать текст вопроса"));
    QCOMPARE(d.cancel()->text(), QStringLiteral("Отмена"));
    QVERIFY(d.ok()->isDefault());
    QCOMPARE(d.dlg.minimumWidth(), 287);
    // resizable in width only
    QCOMPARE(d.dlg.minimumHeight(), d.dlg.maximumHeight());
    QVERIFY(d.dlg.maximumWidth() > 1000);
    d.dlg.show();
    d.dlg.resize(150, 400);
    QCOMPARE(d.dlg.width(), 287);
    QCOMPARE(d.dlg.height(), d.dlg.minimumHeight());
    d.dlg.resize(600, 50);
    QCOMPARE(d.dlg.width(), 600);
    QCOMPARE(d.dlg.height(), d.dlg.minimumHeight());
}

void TestQuestionTitle::presetFromQuestionText()
{
    TDialog d;
    // a character outside the code page shows as it will be stored
    TNodeRecord rec = Record({QStringLiteral("Сколько \u03C0?"), "second"});
    d.dlg.Preset(*rec.Question);
    QVERIFY(d.box()->isChecked());
    QCOMPARE(d.ed()->text(), QStringLiteral("Сколько ??"));
    QVERIFY(!d.ed()->isEnabled());
    QVERIFY(d.ok()->isEnabled());
    d.dlg.show();
    QApplication::setActiveWindow(&d.dlg);
    QVERIFY(QTest::qWaitForWindowActive(&d.dlg));
    QCOMPARE(QApplication::focusWidget(), d.box());
}

void TestQuestionTitle::presetFromTitle()
{
    TDialog d;
    TNodeRecord rec = Record({"text"}, true, QStringLiteral("Мой заголовок"));
    d.dlg.Preset(*rec.Question);
    QVERIFY(!d.box()->isChecked());
    QCOMPARE(d.ed()->text(), QStringLiteral("Мой заголовок"));
    QVERIFY(d.ed()->isEnabled());
    d.dlg.show();
    QApplication::setActiveWindow(&d.dlg);
    QVERIFY(QTest::qWaitForWindowActive(&d.dlg));
    QCOMPARE(QApplication::focusWidget(), d.ed());

    // a stored title that is not in use: the text is shown all the same
    TNodeRecord unused = Record({"text"}, false, QStringLiteral("old"));
    d.dlg.Preset(*unused.Question);
    QCOMPARE(d.ed()->text(), QStringLiteral("text"));
}

void TestQuestionTitle::presetWithoutText()
{
    TDialog d;
    TNodeRecord rec = Record({});
    d.dlg.Preset(*rec.Question);
    QCOMPARE(d.ed()->text(), QStringLiteral("#Текст не задан#"));
    QVERIFY(d.box()->isChecked());
}

void TestQuestionTitle::okFollowsTheFields()
{
    TDialog d;
    TNodeRecord rec = Record({"text"}, true, QStringLiteral("t"));
    d.dlg.Preset(*rec.Question);
    d.dlg.show();
    QVERIFY(d.ok()->isEnabled());
    d.ed()->clear();
    QVERIFY(!d.ok()->isEnabled());
    // the box ticked: an empty field does not matter any more
    d.box()->click();
    QVERIFY(d.ok()->isEnabled());
    QVERIFY(!d.ed()->isEnabled());
    d.box()->click();
    QVERIFY(!d.ok()->isEnabled());
    QVERIFY(d.ed()->isEnabled());
    QTest::keyClicks(d.ed(), "a");
    QVERIFY(d.ok()->isEnabled());
}

void TestQuestionTitle::confirmStoresTitle()
{
    TDialog d;
    TNodeRecord rec = Record({"first", "second"});
    const bool changed = d.change(rec, [&] {
        d.box()->click();
        d.ed()->setText(QStringLiteral("Свой \u4E2D"));
        QTest::keyClick(d.ed(), Qt::Key_Return);   // OK is the default button
    });
    QVERIFY(d.shown);
    QVERIFY(changed);
    QVERIFY(rec.Question->HasTitle);
    QCOMPARE(rec.Question->Title, QStringLiteral("Свой ?"));
    QCOMPARE(TQuestionListModel::RowText(*rec.Question), QStringLiteral("Свой ?"));
}

void TestQuestionTitle::useTextAgain()
{
    TDialog d;
    TNodeRecord rec = Record({"first", "second"}, true, QStringLiteral("custom"));
    QCOMPARE(TQuestionListModel::RowText(*rec.Question), QStringLiteral("custom"));
    QVERIFY(d.change(rec, [&] {
        d.box()->click();
        d.ok()->click();
    }));
    QVERIFY(d.shown);
    QVERIFY(!rec.Question->HasTitle);
    // the title is kept, though unused
    QCOMPARE(rec.Question->Title, QStringLiteral("custom"));
    QCOMPARE(TQuestionListModel::RowText(*rec.Question), QStringLiteral("first..."));
}

void TestQuestionTitle::cancelChangesNothing()
{
    TDialog d;
    TNodeRecord rec = Record({"first"}, true, QStringLiteral("custom"));
    QVERIFY(!d.change(rec, [&] {
        d.ed()->setText(QStringLiteral("other"));
        d.box()->click();
        d.cancel()->click();
    }));
    QVERIFY(d.shown);
    QVERIFY(rec.Question->HasTitle);
    QCOMPARE(rec.Question->Title, QStringLiteral("custom"));
    QVERIFY(!d.change(rec, [&] {
        d.ed()->setText(QStringLiteral("other"));
        QTest::keyClick(&d.dlg, Qt::Key_Escape);
    }));
    QVERIFY(d.shown);
    QCOMPARE(rec.Question->Title, QStringLiteral("custom"));
}

QTEST_MAIN(TestQuestionTitle)
#include "tst_QuestionTitle.moc"
