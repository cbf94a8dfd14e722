#pragma once
// The results window: a results file read-only, as a table that filters and
// sorts, with marks, statistics, two charts, export and printing. It never
// writes the results file; its marks thresholds live in the editor's
// preferences.
#include <QMainWindow>
#include <functional>
#include <memory>

#include "ItemAnalysis.h"
#include "ResultsAnalysis.h"

namespace Ui { class TfrmResults; }
class QChart;
class QChartView;
class QBarSet;
class QFileSystemWatcher;
class QPrinter;
class QProgressBar;
class QSettings;
class QTableWidget;
class QThread;
class QTimer;
class TResultsLoader;
class TResultsModel;
namespace Results { struct TReadOutcome; }
namespace AnswersJournal { struct TReadOutcome; }

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
    // The item analysis page: shown when the results file has its answers
    // journal; the versions of the test the filter shows, the one on show.
    QTableWidget *ItemsTable() const;
    const QList<TItemVersion> &ItemVersions() const { return m_versions; }
    const TItemVersion *ItemVersionShown() const;
    bool HasAnswers() const { return m_answers != nullptr; }

    // Opens the test at a question (1-based position in the file, checked
    // there by its text's hash). The editor that opened the window sets it;
    // without it a new editor is started on the test.
    std::function<void(const QString &testPath, int position, const QString &textHash)> OpenInEditor;
    // The test file of a version: <test name>.qe2 beside the results file,
    // else one the teacher chooses; empty when none.
    QString FindTestFile(const TItemVersion &v);
    // What a double click on row of the analysis does.
    void OpenItem(int row);

    // For tests: file dialogs (save: a path to write, or empty; open: a file to read).
    static inline std::function<QString(bool save, const QString &filter, const QString &suggested)> FileNameInput;

Q_SIGNALS:
    // A reading ended and the window shows it (or its failure).
    void Loaded();
    // The answers journal was read (or found missing) and the page follows it.
    void AnswersLoaded();

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

    void LoadAnswers();
    void AnswersRead(const std::shared_ptr<AnswersJournal::TReadOutcome> &outcome);
    void UpdateItems();
    void FillItems();
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
    TResultsFilter m_filter;
    std::shared_ptr<const TAnswersJournal> m_answers;
    QList<TItemVersion> m_versions;
    // What the versions were made from: a new search by surname needs no new analysis.
    QString m_itemsKey;
    const TAnswersJournal *m_itemsFrom = nullptr;
    QThread *m_answersThread = nullptr;
    bool m_answersPending = false;
};
