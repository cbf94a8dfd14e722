#include "fResults.h"
#include "ui_fResults.h"

#include "AnswersJournal.h"
#include "MessageBoxes.h"
#include "ResultsExport.h"
#include "ResultsFile.h"
#include "ResultsLoader.h"
#include "ResultsModel.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QThread>
#include <QSettings>
#include <QTextDocument>
#include <QTimer>
#include <QValueAxis>

namespace {
const QString SettingsGroup = QStringLiteral("Quizwright/Results");
const QString AllTests = QStringLiteral("Все тесты");
const QString AllExtras = QStringLiteral("Все");
const QString NoExtra = QStringLiteral("(не указано)");
const QString ChooseTest = QStringLiteral("Выберите тест в фильтре: в журнале ответов их несколько.");
const QString NoAnswers = QStringLiteral("В журнале ответов нет прохождений этого теста.");
const QString TestNotFound = QStringLiteral("Файл теста не найден: ");
// After a change, so that a player's write is read once, whole.
const int ReloadDelayMs = 300;

QChartView *MakeChart(QWidget *panel, const QString &name, const QStringList &categories, QBarSet **set)
{
    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    *set = new QBarSet(QString());
    auto *series = new QBarSeries;
    series->append(*set);
    chart->addSeries(series);
    auto *x = new QBarCategoryAxis;
    x->append(categories);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto *y = new QValueAxis;
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    auto *view = new QChartView(chart, panel);
    view->setObjectName(name);
    // The axis elides labels it has no room for ("9…"); ten ranges stand upright.
    if (categories.size() > 4)
        x->setLabelsAngle(-90);
    view->setRenderHint(QPainter::Antialiasing);
    auto *lay = new QVBoxLayout(panel);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(view);
    return view;
}

void SetBars(QChartView *view, QBarSet *set, const QList<int> &counts)
{
    set->remove(0, set->count());
    int top = 0;
    for (int c : counts) {
        set->append(c);
        top = std::max(top, c);
    }
    const QList<QAbstractAxis *> axes = view->chart()->axes(Qt::Vertical);
    if (auto *y = axes.isEmpty() ? nullptr : qobject_cast<QValueAxis *>(axes.first())) {
        // Whole runs on the axis: a tick per run up to ten, then per several.
        const int ticks = std::min(std::max(top, 1), 10);
        const int step = (std::max(top, 1) + ticks - 1) / ticks;
        y->setRange(0, step * ticks);
        y->setTickCount(ticks + 1);
    }
}
}  // namespace

TfrmResults::TfrmResults(TSettingsOpener settings, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmResults>()), m_settings(std::move(settings)),
      m_model(new TResultsModel(this)), m_loader(new TResultsLoader(this)), m_watcher(new QFileSystemWatcher(this)),
      m_reloadTimer(new QTimer(this)), m_progress(new QProgressBar(this))
{
    ui->setupUi(this);
    ui->tvResults->setModel(m_model);
    ui->tvResults->horizontalHeader()->setSortIndicatorShown(true);
    ui->tvResults->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ui->tvResults->verticalHeader()->setDefaultSectionSize(ui->tvResults->fontMetrics().height() + 6);
    ui->tblBadLines->setHorizontalHeaderLabels({QStringLiteral("Строка"), QStringLiteral("Причина"), QStringLiteral("Текст")});
    ui->tblBadLines->horizontalHeader()->setStretchLastSection(true);
    ui->tblBadLines->verticalHeader()->hide();
    m_progress->setObjectName(QStringLiteral("pbRead"));
    m_progress->setRange(0, 100);
    m_progress->setMaximumWidth(200);
    m_progress->hide();
    ui->StatusBar->addPermanentWidget(m_progress);

    QStringList bins;
    for (int b = 0; b < 10; ++b)
        bins << Results::BinTitle(b);
    m_percentView = MakeChart(ui->panPercentChart, QStringLiteral("chvPercent"), bins, &m_percentSet);
    m_marksView = MakeChart(ui->panMarksChart, QStringLiteral("chvMarks"),
                            {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5")}, &m_marksSet);

    TMarkScale scale;
    if (m_settings) {
        const std::unique_ptr<QSettings> store = m_settings();
        store->beginGroup(SettingsGroup);
        const TMarkScale stored{store->value(QStringLiteral("Mark5"), scale.Five).toInt(),
                                store->value(QStringLiteral("Mark4"), scale.Four).toInt(),
                                store->value(QStringLiteral("Mark3"), scale.Three).toInt()};
        if (stored.IsValid())
            scale = stored;
    }
    ui->edMark5->setValue(scale.Five / 100.0);
    ui->edMark4->setValue(scale.Four / 100.0);
    ui->edMark3->setValue(scale.Three / 100.0);
    m_model->setScale(scale);

    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(ReloadDelayMs);
    connect(m_reloadTimer, &QTimer::timeout, this, &TfrmResults::btnReloadClick);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &TfrmResults::FileChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &TfrmResults::FileChanged);
    connect(m_loader, &TResultsLoader::progress, m_progress, &QProgressBar::setValue);
    connect(m_loader, &TResultsLoader::loaded, this, &TfrmResults::ReadDone);
    connect(m_model, &TResultsModel::shownChanged, this, &TfrmResults::ShownChanged);

    connect(ui->btnReload, &QPushButton::clicked, this, &TfrmResults::btnReloadClick);
    connect(ui->cbTest, &QComboBox::currentIndexChanged, this, &TfrmResults::FilterChanged);
    connect(ui->cbExtra, &QComboBox::currentIndexChanged, this, &TfrmResults::FilterChanged);
    connect(ui->edSearch, &QLineEdit::textChanged, this, &TfrmResults::FilterChanged);
    for (QCheckBox *c : {ui->chboxDateFrom, ui->chboxDateTo})
        connect(c, &QCheckBox::toggled, this, [this] {
            ui->edDateFrom->setEnabled(ui->chboxDateFrom->isChecked());
            ui->edDateTo->setEnabled(ui->chboxDateTo->isChecked());
            FilterChanged();
        });
    connect(ui->edDateFrom, &QDateEdit::dateChanged, this, &TfrmResults::FilterChanged);
    connect(ui->edDateTo, &QDateEdit::dateChanged, this, &TfrmResults::FilterChanged);
    for (QDoubleSpinBox *e : {ui->edMark5, ui->edMark4, ui->edMark3})
        connect(e, &QDoubleSpinBox::valueChanged, this, &TfrmResults::MarksChanged);
    connect(ui->btnExport, &QPushButton::clicked, this, &TfrmResults::btnExportClick);
    connect(ui->btnPrint, &QPushButton::clicked, this, &TfrmResults::btnPrintClick);
    connect(ui->btnPdf, &QPushButton::clicked, this, &TfrmResults::btnPdfClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnCopyPercent, &QPushButton::clicked, this, [this] { CopyChart(m_percentView); });
    connect(ui->btnCopyMarks, &QPushButton::clicked, this, [this] { CopyChart(m_marksView); });
    connect(ui->btnSavePercent, &QPushButton::clicked, this, [this] { SaveChart(m_percentView, QStringLiteral("проценты")); });
    connect(ui->btnSaveMarks, &QPushButton::clicked, this, [this] { SaveChart(m_marksView, QStringLiteral("оценки")); });

    QStringList itemTitles;
    for (int c = 0; c < int(TItemColumn::Count); ++c)
        itemTitles << ItemAnalysis::ColumnTitle(TItemColumn(c));
    ui->tblItems->setColumnCount(int(itemTitles.size()));
    ui->tblItems->setHorizontalHeaderLabels(itemTitles);
    ui->tblItems->horizontalHeader()->setStretchLastSection(true);
    ui->tblItems->verticalHeader()->hide();
    ui->tblItems->verticalHeader()->setDefaultSectionSize(ui->tblItems->fontMetrics().height() + 6);
    connect(ui->cbVersion, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            FillItems();
    });
    connect(ui->tblItems, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenItem(row); });
    ui->tabsResults->setTabVisible(ui->tabsResults->indexOf(ui->tabItems), false);
    ShownChanged();
}

TfrmResults::~TfrmResults()
{
    if (m_answersThread)
        m_answersThread->wait();
}

QTableWidget *TfrmResults::ItemsTable() const { return ui->tblItems; }

const TItemVersion *TfrmResults::ItemVersionShown() const
{
    const int at = ui->cbVersion->currentIndex();
    return at >= 0 && at < m_versions.size() ? &m_versions[at] : nullptr;
}

TfrmResults *TfrmResults::ChooseAndShow(QWidget *owner, TSettingsOpener settings, const QString &dir)
{
    QString path;
    const QString filter = QStringLiteral("Файлы результатов (*.res);;Все файлы (*)");
    if (FileNameInput)
        path = FileNameInput(false, filter, dir);
    else
        path = QFileDialog::getOpenFileName(owner, QStringLiteral("Результаты тестирования"), dir, filter);
    if (path.isEmpty())
        return nullptr;
    auto *w = new TfrmResults(std::move(settings), owner);
    w->setWindowFlag(Qt::Window);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    w->Open(path);
    return w;
}

QString TfrmResults::ResultsFileArgument(const QStringList &args)
{
    const qsizetype at = args.indexOf(QStringLiteral("--results"));
    if (at > 0)
        return args.value(at + 1);
    QStringList files;
    for (qsizetype i = 1; i < args.size(); ++i)
        if (!args.at(i).startsWith(u'-'))
            files << args.at(i);
    if (files.size() != 1)
        return {};
    if (files.first().endsWith(QLatin1String(".res"), Qt::CaseInsensitive))
        return files.first();
    QFile f(files.first());
    const QByteArray header = ResultsHeaderLine();
    return f.open(QIODevice::ReadOnly) && f.read(header.size()) == header ? files.first() : QString();
}

int TfrmResults::RunAlone(const QString &path, TSettingsOpener settings)
{
    TfrmResults w(std::move(settings));
    w.show();
    w.Open(path);
    return QApplication::exec();
}

TMarkScale TfrmResults::Scale() const { return m_model->scale(); }

bool TfrmResults::IsLoading() const { return m_loader->isLoading(); }

QString TfrmResults::BaseName() const { return QFileInfo(m_path).completeBaseName(); }

void TfrmResults::Open(const QString &path)
{
    m_path = QFileInfo(path).absoluteFilePath();
    setWindowTitle(QStringLiteral("Результаты тестирования - ") + QFileInfo(m_path).fileName());
    ui->labFile->setText(QDir::toNativeSeparators(m_path));
    Watch();
    btnReloadClick();
}

void TfrmResults::Watch()
{
    // The folder too: a file made anew (or not there yet) is seen from it.
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    const QString dir = QFileInfo(m_path).absolutePath();
    m_watcher->addPath(dir);
    if (QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
    const QString answers = AnswersJournal::PathFor(m_path);
    if (QFileInfo::exists(answers))
        m_watcher->addPath(answers);
}

void TfrmResults::btnReloadClick()
{
    if (m_path.isEmpty())
        return;
    m_reloadTimer->stop();
    m_progress->setValue(0);
    m_progress->show();
    ui->StatusBar->showMessage(QStringLiteral(" Чтение файла результатов..."));
    m_loader->load(m_path);
}

void TfrmResults::FileChanged()
{
    for (const QString &p : {m_path, AnswersJournal::PathFor(m_path)})
        if (!m_watcher->files().contains(p) && QFileInfo::exists(p))
            m_watcher->addPath(p);
    if (ui->chboxAutoReload->isChecked())
        m_reloadTimer->start();
}

void TfrmResults::ReadDone(std::shared_ptr<const Results::TReadOutcome> outcome)
{
    m_progress->hide();
    ui->StatusBar->clearMessage();
    if (outcome->Status != Results::TReadStatus::Ok) {
        ui->StatusBar->showMessage(QLatin1Char(' ') + outcome->Error);
        // A file that is missing now and then is no news on every change.
        if (!m_reloadTimer->isActive())
            ShowError(outcome->Error);
        Q_EMIT Loaded();
        return;
    }
    auto table = std::shared_ptr<const TResultsTable>(outcome, &outcome->Table);
    FillChoices(*table);
    FillBadLines(*table);
    m_model->setTable(table);
    if (!table->HasHeader && !table->Rows.isEmpty())
        ui->StatusBar->showMessage(QStringLiteral(" Файл без строки заголовка"));
    // The player appends the answers after the line: they are read after it.
    LoadAnswers();
    Q_EMIT Loaded();
}

void TfrmResults::LoadAnswers()
{
    if (m_answersThread) {
        m_answersPending = true;
        return;
    }
    auto outcome = std::make_shared<AnswersJournal::TReadOutcome>();
    const QString path = AnswersJournal::PathFor(m_path);
    m_answersThread = QThread::create([outcome, path] { *outcome = AnswersJournal::ReadFile(path); });
    m_answersThread->setParent(this);
    connect(m_answersThread, &QThread::finished, this, [this, outcome] {
        m_answersThread->deleteLater();
        m_answersThread = nullptr;
        AnswersRead(outcome);
        if (m_answersPending) {
            m_answersPending = false;
            LoadAnswers();
        }
    });
    m_answersThread->start();
}

void TfrmResults::AnswersRead(const std::shared_ptr<AnswersJournal::TReadOutcome> &outcome)
{
    if (outcome->Status == AnswersJournal::TReadStatus::Ok) {
        m_answers = std::shared_ptr<const TAnswersJournal>(outcome, &outcome->Journal);
    } else {
        m_answers.reset();
        if (outcome->Status != AnswersJournal::TReadStatus::Missing)
            ui->StatusBar->showMessage(QLatin1Char(' ') + outcome->Error);
    }
    UpdateItems();
    Q_EMIT AnswersLoaded();
}

void TfrmResults::UpdateItems()
{
    const int tab = ui->tabsResults->indexOf(ui->tabItems);
    ui->tabsResults->setTabVisible(tab, m_answers != nullptr);
    const QString key = QStringList{m_filter.Test.value_or(QStringLiteral("\x01")), m_filter.Extra.value_or(QStringLiteral("\x01")),
                                    m_filter.From.toString(Qt::ISODate), m_filter.To.toString(Qt::ISODate)}
                            .join(u'\n');
    if (m_answers && m_answers.get() == m_itemsFrom && key == m_itemsKey)
        return;
    m_itemsFrom = m_answers.get();
    m_itemsKey = key;
    const QString kept = ItemVersionShown() ? ItemVersionShown()->TestHash : QString();
    m_versions.clear();
    QString info;
    if (m_answers) {
        // What the filter shows, the surname search aside: the analysis is of a class, not of a pupil.
        TResultsFilter f = m_filter;
        f.Surname.clear();
        QList<TAnswersRecord> records;
        QStringList tests;
        for (const TAnswersRecord &r : m_answers->Records) {
            TResultRow row;
            row.Date = r.When.date();
            row.TestName = r.TestName;
            row.LastName = r.LastName;
            row.Extra = r.Extra;
            if (!f.Accepts(row))
                continue;
            records.append(r);
            if (!tests.contains(r.TestName))
                tests.append(r.TestName);
        }
        if (!f.Test && tests.size() > 1)
            info = ChooseTest;
        else if (records.isEmpty())
            info = NoAnswers;
        else
            m_versions = ItemAnalysis::Analyse(records, f.Test);
        if (m_answers->BadCount > 0)
            info += QStringLiteral(" Повреждённых строк в журнале ответов: %1.").arg(m_answers->BadCount);
    }
    m_filling = true;
    ui->cbVersion->clear();
    int select = 0;
    for (int i = 0; i < m_versions.size(); ++i) {
        ui->cbVersion->addItem(ItemAnalysis::VersionTitle(m_versions[i]), m_versions[i].TestHash);
        if (m_versions[i].TestHash == kept)
            select = i;
    }
    // The latest version is what a teacher works on.
    if (kept.isEmpty() && !m_versions.isEmpty())
        select = int(m_versions.size()) - 1;
    ui->cbVersion->setCurrentIndex(m_versions.isEmpty() ? -1 : select);
    ui->cbVersion->setEnabled(m_versions.size() > 1);
    m_filling = false;
    ui->labItemsInfo->setText(info.trimmed());
    FillItems();
}

void TfrmResults::FillItems()
{
    QTableWidget *w = ui->tblItems;
    const TItemVersion *v = ItemVersionShown();
    w->setRowCount(v ? int(v->Items.size()) : 0);
    if (!v)
        return;
    const QColor flagged(255, 215, 215);
    for (int i = 0; i < v->Items.size(); ++i) {
        const TItemStats &it = v->Items[i];
        const QString flags = ItemAnalysis::FlagsText(it.Flags);
        const auto put = [&](TItemColumn c, const QVariant &value, Qt::Alignment align = Qt::AlignRight) {
            auto *cell = new QTableWidgetItem;
            cell->setData(Qt::DisplayRole, value);
            cell->setTextAlignment(align | Qt::AlignVCenter);
            if (it.Flags) {
                cell->setBackground(flagged);
                cell->setToolTip(flags);
            }
            w->setItem(i, int(c), cell);
        };
        put(TItemColumn::Position, it.Position);
        put(TItemColumn::Text, it.TextStart, Qt::AlignLeft);
        put(TItemColumn::Seen, it.Seen);
        put(TItemColumn::Answered, it.Answered);
        put(TItemColumn::Facility, ItemAnalysis::Number(it.Facility));
        put(TItemColumn::Discrimination, ItemAnalysis::Number(it.Discrimination));
        put(TItemColumn::PointBiserial, ItemAnalysis::Number(it.PointBiserial));
        put(TItemColumn::Variants, ItemAnalysis::VariantsText(it), Qt::AlignLeft);
        put(TItemColumn::Flags, flags, Qt::AlignLeft);
    }
    w->resizeColumnsToContents();
    w->setColumnWidth(int(TItemColumn::Text), std::min(w->columnWidth(int(TItemColumn::Text)), 320));
}

QString TfrmResults::FindTestFile(const TItemVersion &v)
{
    const QString dir = QFileInfo(m_path).absolutePath();
    const QString beside = dir + u'/' + v.TestName + QStringLiteral(".qe2");
    if (QFileInfo(beside).isFile())
        return beside;
    return AskFile(false, QStringLiteral("Тесты (*.qe2);;Все файлы (*)"), beside);
}

void TfrmResults::OpenItem(int row)
{
    const TItemVersion *v = ItemVersionShown();
    if (!v || row < 0 || row >= v->Items.size())
        return;
    const TItemStats it = v->Items[row];
    const QString test = FindTestFile(*v);
    if (test.isEmpty())
        return;
    if (!QFileInfo(test).isFile()) {
        ShowError(TestNotFound + test);
        return;
    }
    if (OpenInEditor) {
        OpenInEditor(test, it.Position, it.TextHash);
        return;
    }
    // The window alone: an editor of its own, which asks for the access password.
    const QStringList args{test, QStringLiteral("--question"), QString::number(it.Position),
                           QStringLiteral("--question-hash"), it.TextHash};
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), args))
        ShowError(QStringLiteral("Не удалось запустить редактор тестов"));
}

void TfrmResults::FillChoices(const TResultsTable &t)
{
    m_filling = true;
    const QString test = ui->cbTest->currentIndex() > 0 ? ui->cbTest->currentText() : QString();
    const QVariant extra = ui->cbExtra->currentIndex() > 0 ? ui->cbExtra->currentData() : QVariant();
    ui->cbTest->clear();
    ui->cbTest->addItem(AllTests);
    ui->cbTest->addItems(Results::Tests(t.Rows));
    ui->cbTest->setCurrentIndex(std::max(0, test.isEmpty() ? 0 : ui->cbTest->findText(test, Qt::MatchExactly)));
    ui->cbExtra->clear();
    ui->cbExtra->addItem(AllExtras);
    for (const QString &e : Results::Extras(t.Rows))
        ui->cbExtra->addItem(e.isEmpty() ? NoExtra : e, e);
    ui->cbExtra->setCurrentIndex(std::max(0, extra.isValid() ? ui->cbExtra->findData(extra) : 0));
    // The dates of the file, for a range that starts sensibly.
    if (!t.Rows.isEmpty() && !ui->chboxDateFrom->isChecked() && !ui->chboxDateTo->isChecked()) {
        QDate first = t.Rows.first().Date, last = first;
        for (const TResultRow &r : t.Rows) {
            first = std::min(first, r.Date);
            last = std::max(last, r.Date);
        }
        ui->edDateFrom->setDate(first);
        ui->edDateTo->setDate(last);
    }
    m_filling = false;
    FilterChanged();
}

void TfrmResults::FillBadLines(const TResultsTable &t)
{
    QTableWidget *w = ui->tblBadLines;
    w->setRowCount(int(t.Bad.size()));
    for (int i = 0; i < t.Bad.size(); ++i) {
        const TBadLine &b = t.Bad.at(i);
        auto *line = new QTableWidgetItem;
        line->setData(Qt::DisplayRole, b.Line);
        w->setItem(i, 0, line);
        w->setItem(i, 1, new QTableWidgetItem(b.Reason));
        w->setItem(i, 2, new QTableWidgetItem(b.Text));
    }
    w->resizeColumnToContents(0);
    w->resizeColumnToContents(1);
    QString title = QStringLiteral("Повреждённые строки");
    if (t.BadCount > 0)
        title += QStringLiteral(" (%1)").arg(t.BadCount);
    ui->tabsResults->setTabText(ui->tabsResults->indexOf(ui->tabBad), title);
}

void TfrmResults::FilterChanged()
{
    if (m_filling)
        return;
    TResultsFilter f;
    if (ui->cbTest->currentIndex() > 0)
        f.Test = ui->cbTest->currentText();
    if (ui->cbExtra->currentIndex() > 0)
        f.Extra = ui->cbExtra->currentData().toString();
    if (ui->chboxDateFrom->isChecked())
        f.From = ui->edDateFrom->date();
    if (ui->chboxDateTo->isChecked())
        f.To = ui->edDateTo->date();
    f.Surname = ui->edSearch->text();
    m_filter = f;
    m_model->setFilter(f);
    UpdateItems();
}

void TfrmResults::MarksChanged()
{
    const TMarkScale scale{int(std::lround(ui->edMark5->value() * 100)), int(std::lround(ui->edMark4->value() * 100)),
                           int(std::lround(ui->edMark3->value() * 100))};
    if (!scale.IsValid()) {
        ui->labMarksError->setText(QStringLiteral("<font color=red>Пороги должны убывать от «5» к «3»</font>"));
        return;
    }
    ui->labMarksError->clear();
    m_model->setScale(scale);
    if (m_settings) {
        const std::unique_ptr<QSettings> store = m_settings();
        store->beginGroup(SettingsGroup);
        store->setValue(QStringLiteral("Mark5"), scale.Five);
        store->setValue(QStringLiteral("Mark4"), scale.Four);
        store->setValue(QStringLiteral("Mark3"), scale.Three);
    }
}

void TfrmResults::ShownChanged()
{
    const TResultsTable &t = m_model->table();
    ui->StatusBar->showMessage(QStringLiteral(" Показано %1 из %2").arg(m_model->shown().size()).arg(t.Rows.size()));
    UpdateStatistics();
}

void TfrmResults::UpdateStatistics()
{
    const TResultsStats s = m_model->statistics();
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=3>");
    for (const auto &[label, value] : Results::StatisticsLines(s, m_model->scale()).mid(0, 10))
        html += QStringLiteral("<tr><td>%1</td><td align=right><b>%2</b></td></tr>").arg(label.toHtmlEscaped(), value);
    ui->labStats->setText(html + QStringLiteral("</table>"));
    SetBars(m_percentView, m_percentSet, QList<int>(s.Bins.begin(), s.Bins.end()));
    SetBars(m_marksView, m_marksSet, QList<int>(s.Marks.begin(), s.Marks.end()));
}

QString TfrmResults::AskFile(bool save, const QString &filter, const QString &suggested)
{
    if (FileNameInput)
        return FileNameInput(save, filter, suggested);
    return save ? QFileDialog::getSaveFileName(this, QString(), suggested, filter)
                : QFileDialog::getOpenFileName(this, QString(), suggested, filter);
}

void TfrmResults::btnExportClick()
{
    const QString xlsxFilter = QStringLiteral("Книга Excel (*.xlsx)");
    const QString csvFilter = QStringLiteral("Текст CSV в UTF-8 (*.csv)");
    QString path = AskFile(true, xlsxFilter + QStringLiteral(";;") + csvFilter,
                           QFileInfo(m_path).absolutePath() + u'/' + BaseName() + QStringLiteral(".xlsx"));
    if (path.isEmpty())
        return;
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    if (!csv && !path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        path += QStringLiteral(".xlsx");
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = csv ? Results::WriteCsv(path, m_model->rows(), m_model->shown(), m_model->scale(), &error)
                        : Results::WriteXlsx(path, m_model->rows(), m_model->shown(), m_model->scale(), &error,
                                             m_answers ? &m_versions : nullptr);
    QApplication::restoreOverrideCursor();
    if (!ok)
        ShowError(error);
    else
        ui->StatusBar->showMessage(QStringLiteral(" Сохранено: ") + QDir::toNativeSeparators(path));
}

void TfrmResults::PrintReport(QPrinter &printer)
{
    QTextDocument doc;
    doc.setHtml(Results::ReportHtml(windowTitle(), m_model->rows(), m_model->shown(), m_model->scale()));
    doc.print(&printer);
}

void TfrmResults::btnPrintClick()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted)
        PrintReport(printer);
}

void TfrmResults::btnPdfClick()
{
    QString path = AskFile(true, QStringLiteral("Документ PDF (*.pdf)"),
                           QFileInfo(m_path).absolutePath() + u'/' + BaseName() + QStringLiteral(".pdf"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setOutputFileName(path);
    PrintReport(printer);
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
        ShowError(QStringLiteral("Ошибка записи: ") + path);
}

void TfrmResults::CopyChart(QChartView *view)
{
    QApplication::clipboard()->setPixmap(view->grab());
}

void TfrmResults::SaveChart(QChartView *view, const QString &name)
{
    QString path = AskFile(true, QStringLiteral("Рисунок PNG (*.png)"),
                           QFileInfo(m_path).absolutePath() + u'/' + BaseName() + u' ' + name + QStringLiteral(".png"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += QStringLiteral(".png");
    if (!view->grab().save(path, "PNG"))
        ShowError(QStringLiteral("Ошибка записи: ") + path);
}
