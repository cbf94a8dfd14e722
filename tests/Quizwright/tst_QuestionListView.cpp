// The question list measures rows once per text and font: what it answers
// must stay what a fresh measurement gives as texts, bold focus and fonts change.
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QtTest>

#include "QuestionListView.h"

class TestQuestionListView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowSizesFollowTextFontAndBold()
    {
        QStandardItemModel model;
        QPixmap icon(16, 16);
        icon.fill(Qt::blue);
        for (const char *t : {"Короткий", "Короткий", "Вопрос"})
            model.appendRow(new QStandardItem(QIcon(icon), QString::fromUtf8(t)));
        TQuestionListView view;
        view.setModel(&model);
        QStyledItemDelegate fresh;
        QStyleOptionViewItem opt;
        opt.initFrom(&view);
        opt.decorationSize = QSize(16, 16);
        auto cached = [&](int row) { return view.itemDelegate()->sizeHint(opt, model.index(row, 0)); };
        auto measured = [&](int row) { return fresh.sizeHint(opt, model.index(row, 0)); };
        auto allAgree = [&] {
            for (int r = 0; r < model.rowCount(); ++r)
                if (cached(r) != measured(r))
                    return false;
            return true;
        };

        QVERIFY(allAgree());
        const QSize plain = cached(0);
        QVERIFY(cached(2) != plain);

        // A longer text is measured again, though its row was measured before.
        model.item(0)->setText(QStringLiteral("Короткий вопрос стал намного длиннее"));
        QVERIFY(cached(0).width() > plain.width());
        QVERIFY(allAgree());

        // The bold focused row is measured in bold, and plain again after.
        QFont bold = view.font();
        bold.setBold(true);
        model.item(1)->setData(bold, Qt::FontRole);
        QVERIFY(cached(1).width() > plain.width());
        QVERIFY(allAgree());
        model.item(1)->setData(QVariant(), Qt::FontRole);
        QCOMPARE(cached(1), plain);

        // A larger list font, or another icon size, measure every row again.
        QFont big = view.font();
        big.setPointSize(big.pointSize() * 3);
        opt.font = big;
        QVERIFY(cached(1).height() > plain.height());
        QVERIFY(allAgree());
        opt.font = view.font();
        opt.decorationSize = QSize(64, 64);
        QVERIFY(allAgree());
    }
};

QTEST_MAIN(TestQuestionListView)
#include "tst_QuestionListView.moc"
