#pragma once
// The results window: a results file read-only, as a table that filters and
// sorts, with marks, statistics, two charts, export and printing. It never
// writes the results file; its marks thresholds live in the editor's
// preferences.
#include <QMainWindow>
#include <functional>
#include <memory>

#include "ResultsAnalysis.h"

namespace Ui { class TfrmResults; }
class QChart;
class QChartView;
class QBarSet;
class QFileSystemWatcher;
class QPrinter;
class QProgressBar;
class QSettings;
class QTimer;
class TResultsLoader;
class TResultsModel;
namespace Results { struct TReadOutcome; }

class TfrmResults : public QMainWindow {
    Q_OBJECT
public:
    using TSettingsOpener = std::function<std::unique_ptr<QSettings>()>;
    explicit TfrmResults(TSettingsOpener settings, QWidget *parent = nullptr);
    ~TfrmResults() override;

    // Starts reading path on the worker thread; the table follows when it is read.
    void Open(const QString &path);
    // The editor's command: asks for a results file and shows a window of its
    // own for it (deleted on close). Null when the question was cancelled.
    static TfrmResults *ChooseAndShow(QWidget *owner, TSettingsOpener settings, const QString &dir = {});

    // The results file the command line names: "--results FILE", or a single
    // file that is one by its extension or its header; empty otherwise.
    static QString ResultsFileArgument(const QStringList &args);
    // The window alone, for that file: the application's event loop until it closes.
    static int RunAlone(const QString &path, TSettingsOpener settings);

    QString FilePath() const { return m_path; }
    TResultsModel *Model() const { return m_model; }
    TMarkScale Scale() const;
    bool IsLoading() const;
    QChartView *PercentChart() const { return m_percentView; }
    QChartView *MarksChart() const { return m_marksView; }

    // For tests: file dialogs (save: a path to write, or empty; open: a file to read).
    static inline std::function<QString(bool save, const QString &filter, const QString &suggested)> FileNameInput;

Q_SIGNALS:
    // A reading ended and the window shows it (or its failure).
    void Loaded();

private:
    void btnReloadClick();
    void FileChanged();
    void ReadDone(std::shared_ptr<const Results::TReadOutcome> outcome);
    void FilterChanged();
    void MarksChanged();
    void ShownChanged();
    void btnExportClick();
    void btnPrintClick();
    void btnPdfClick();
    void CopyChart(QChartView *view);
    void SaveChart(QChartView *view, const QString &name);

    void FillChoices(const TResultsTable &t);
    void FillBadLines(const TResultsTable &t);
    void UpdateStatistics();
    void PrintReport(QPrinter &printer);
    void Watch();
    QString AskFile(bool save, const QString &filter, const QString &suggested);
    QString BaseName() const;

    std::unique_ptr<Ui::TfrmResults> ui;
    TSettingsOpener m_settings;
    QString m_path;
    TResultsModel *m_model;
    TResultsLoader *m_loader;
    QFileSystemWatcher *m_watcher;
    QTimer *m_reloadTimer;
    QProgressBar *m_progress;
    QChartView *m_percentView;
    QChartView *m_marksView;
    QBarSet *m_percentSet;
    QBarSet *m_marksSet;
    bool m_filling = false;
};
