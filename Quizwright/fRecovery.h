#pragma once
// "Восстановление тестов": the recovery copies of editors that ended without
// saving, to open one or delete some. The caller opens and deletes.
#include <QDialog>
#include <functional>
#include <vector>

#include "RecoveryStore.h"

namespace Ui { class TfrmRecovery; }

namespace RecoveryTexts {
inline const QString DamagedCopy = QStringLiteral("Копия повреждена: ");
inline const QString UntitledOriginal = QStringLiteral("(не сохранялся)");
}

class TfrmRecovery : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRecovery(QWidget *parent = nullptr);
    ~TfrmRecovery() override;

    // One row per entry, in their order; damaged ones cannot be opened.
    void SetEntries(const std::vector<Recovery::TEntry> &entries);
    // Called by "Удалить" with the selected row; true when the entry went
    // (the caller then sets the entries again).
    std::function<bool(int row)> DeleteEntry;
    // Shows the list modally: the row to open, or -1.
    int Choose();

    Ui::TfrmRecovery *ui;

private:
    void updateButtons();
    std::vector<bool> m_damaged;
};
