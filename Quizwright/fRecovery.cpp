#include "fRecovery.h"
#include "ui_fRecovery.h"

#include <QDir>
#include <QHeaderView>
#include <QPushButton>

TfrmRecovery::TfrmRecovery(QWidget *parent) : QDialog(parent), ui(new Ui::TfrmRecovery)
{
    ui->setupUi(this);
    ui->lvCopies->header()->setStretchLastSection(false);
    ui->lvCopies->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    connect(ui->btnOpen, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->lvCopies, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (ui->btnOpen->isEnabled())
            accept();
    });
    connect(ui->lvCopies, &QTreeWidget::currentItemChanged, this, &TfrmRecovery::updateButtons);
    connect(ui->btnDelete, &QPushButton::clicked, this, [this] {
        const int row = ui->lvCopies->indexOfTopLevelItem(ui->lvCopies->currentItem());
        if (row >= 0 && DeleteEntry && DeleteEntry(row) && ui->lvCopies->topLevelItemCount() == 0)
            reject();
    });
}

TfrmRecovery::~TfrmRecovery() { delete ui; }

void TfrmRecovery::SetEntries(const std::vector<Recovery::TEntry> &entries)
{
    ui->lvCopies->clear();
    m_damaged.clear();
    for (const Recovery::TEntry &e : entries) {
        auto *item = new QTreeWidgetItem(ui->lvCopies);
        m_damaged.push_back(e.Damaged);
        if (e.Damaged) {
            item->setText(0, RecoveryTexts::DamagedCopy + e.Problem);
            item->setText(1, QDir::toNativeSeparators(e.CopyPath));
            continue;
        }
        const Recovery::TDescription &d = e.Description;
        item->setText(0, d.Title);
        item->setText(1, d.OriginalPath.isEmpty() ? RecoveryTexts::UntitledOriginal
                                                  : QDir::toNativeSeparators(d.OriginalPath));
        item->setText(2, d.Time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
        item->setToolTip(1, item->text(1));
    }
    for (int c = 0; c < 3; c += 2)
        ui->lvCopies->resizeColumnToContents(c);
    if (ui->lvCopies->topLevelItemCount() > 0)
        ui->lvCopies->setCurrentItem(ui->lvCopies->topLevelItem(0));
    updateButtons();
}

void TfrmRecovery::updateButtons()
{
    const int row = ui->lvCopies->indexOfTopLevelItem(ui->lvCopies->currentItem());
    ui->btnOpen->setEnabled(row >= 0 && !m_damaged[size_t(row)]);
    ui->btnDelete->setEnabled(row >= 0);
}

int TfrmRecovery::Choose()
{
    if (exec() != QDialog::Accepted)
        return -1;
    const int row = ui->lvCopies->indexOfTopLevelItem(ui->lvCopies->currentItem());
    return row >= 0 && !m_damaged[size_t(row)] ? row : -1;
}
