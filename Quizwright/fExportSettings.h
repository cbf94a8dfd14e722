#pragma once
// The settings of the export to a word-processor document. Made once and kept
// while the editor runs, so the boxes remember their state between exports.
#include <QDialog>
#include <QStringList>
#include <memory>

#include "WordExport.h"

namespace Ui { class TfrmExportSettings; }

class TfrmExportSettings : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExportSettings(QWidget *parent = nullptr);
    ~TfrmExportSettings() override;

    // Template names shown in the list, the first selected.
    void SetTemplates(const QStringList &names);
    int TemplateIndex() const;
    // The boxes, templatePath left empty: the caller knows where the names lie.
    Docx::TWordExportSettings Values() const;

protected:
    void showEvent(QShowEvent *e) override;

private:
    std::unique_ptr<Ui::TfrmExportSettings> ui;
};
