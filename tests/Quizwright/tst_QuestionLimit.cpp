// A test holds at most 65 535 questions, the count the player reads: every way
// of adding questions refuses what would pass it, whole, and says so; a test
// of more (opened from a file made elsewhere) is not saved.
#include <QtTest>
#include <QAction>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QListView>
#include <QMimeData>

#include "InterchangeCommands.h"
#include "QuestionClipboard.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
constexpr int Limit = 65535;

const QString Refused = QStringLiteral(
    "Ошибка !\tТест может содержать не больше 65535 вопросов.\rВ тесте %1, добавить ещё %2 нельзя.");

// count questions put straight into the list, as if a file had held them.
void Fill(TfrmMain &w, int count)
{
    std::vector<TNodeRecord> records;
    records.reserve(count);
    const TQuestionPtr model = Question(QStringLiteral("Вопрос"), {"a", "b"}, "! ");
    for (int i = 0; i < count; ++i)
        records.push_back(TNodeRecord{std::make_unique<TNQuestion>(*model), 0});
    w.Model()->insertRecords(0, std::move(records));
    w.Document()->SetModified(false);
}

QByteArray TwoQuestions()
{
    TNodeRecord a{std::make_unique<TNQuestion>(*Question(QStringLiteral("A"), {"x", "y"}, " !"))};
    TNodeRecord b{std::make_unique<TNQuestion>(*Question(QStringLiteral("B"), {"x", "y"}, "! "))};
    return QuestionClipboard::EncodeBlock({&a, &b});
}

bool DropOn(TfrmMain &w, const QMimeData *data)
{
    QWidget *vp = w.QTree()->viewport();
    const QRect last = w.QTree()->visualRect(w.Model()->index(0));
    const QPoint pos(last.left() + 4, last.top() + 1);
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &drop);
    return drop.isAccepted();
}
}  // namespace

class TestQuestionLimit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyWayOfAddingStopsAtTheLimit()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        TfrmMain &w = f.W();
        Fill(w, Limit - 1);

        // Import: two questions do not fit, nothing of the file is added.
        const QString gift = f.Path(QStringLiteral("two.gift"));
        WriteAll(gift, "Первый? {=да ~нет}\n\nВторой? {=да ~нет}\n");
        auto *interchange = w.findChild<TInterchangeCommands *>();
        interchange->FileInput = [&](bool, const QString &, QString &filter) {
            filter = QStringLiteral("GIFT (*.gift *.txt)");
            return gift;
        };
        interchange->Import();
        QCOMPARE(w.Model()->count(), Limit - 1);
        QVERIFY(!w.Document()->isModified());
        QCOMPARE(f.TakeMessages(), Refused.arg(Limit - 1).arg(2));

        // Paste of two questions.
        auto *data = new QMimeData;
        data->setData(QuestionClipboard::MimeType, TwoQuestions());
        QGuiApplication::clipboard()->setMimeData(data);
        w.FocusRow(0);
        w.QTree()->setFocus();
        w.ButtonsState();
        QVERIFY(w.Action("actEditPaste")->isEnabled());
        w.Action("actEditPaste")->trigger();
        QCOMPARE(w.Model()->count(), Limit - 1);
        QCOMPARE(f.TakeMessages(), Refused.arg(Limit - 1).arg(2));

        // A drop from another editor is refused, so that editor keeps its rows;
        // the message comes once the drop is answered.
        QMimeData dropped;
        dropped.setData(QuestionClipboard::MimeType, TwoQuestions());
        QVERIFY(!DropOn(w, &dropped));
        QCOMPARE(w.Model()->count(), Limit - 1);
        QVERIFY(f.Messages.isEmpty());
        QTRY_VERIFY(!f.Messages.isEmpty());
        QCOMPARE(f.TakeMessages(), Refused.arg(Limit - 1).arg(2));
        QVERIFY(!w.Document()->isModified());

        // One more fits; then not even one.
        w.Action("actEditAddQuestion")->trigger();
        QCOMPARE(w.Model()->count(), Limit);
        QCOMPARE(f.TakeMessages(), QString());
        w.Action("actEditAddQuestion")->trigger();
        QCOMPARE(w.Model()->count(), Limit);
        QCOMPARE(f.TakeMessages(), Refused.arg(Limit).arg(1));
    }

    void moreThanThePlayerCountsIsNotSaved()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        TfrmMain &w = f.W();
        Fill(w, Limit + 1);
        w.SetModified(true);
        const QString path = f.Path(QStringLiteral("big.qe2"));
        f.FileNames = {path};
        QVERIFY(!w.SaveFileAs());
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(w.Document()->isModified());
        QVERIFY(w.Document()->isUntitled());
        const QString msg = f.TakeMessages();
        QVERIFY2(msg.startsWith(QStringLiteral("Error\tОшибка записи файла.")), qPrintable(msg));
        QVERIFY2(msg.contains(QStringLiteral("не больше 65535")), qPrintable(msg));
    }
};

QTEST_MAIN(TestQuestionLimit)
#include "tst_QuestionLimit.moc"
