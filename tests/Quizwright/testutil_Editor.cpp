#include "testutil_Editor.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QKeyEvent>
#include <QtTest>

#include "Clock.h"
#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "fMain.h"

namespace EditorTest {
TQuestionPtr Question(const QString &text, const QStringList &variants, const QString &marks)
{
    auto q = std::make_shared<TNQuestion>();
    for (const QString &line : text.split(u'\n'))
        q->PlainLines.Add(line);
    q->Body = RichRecord::FromPlainText(text);
    q->Variants = variants;
    q->RightMarks = marks.leftJustified(int(variants.size()), u' ', true);
    q->ContentReady = true;
    return q;
}

void WriteTest(const QString &path, const TQuestionList &questions, const QString &password, quint8 timeLimit)
{
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = password;
    info.TimeLimit = timeLimit;
    SaveTestToFile(path, info, questions);
}

void Type(QWidget *w, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, ch == u'\n' ? Qt::Key_Return : 0, Qt::NoModifier,
                        ch == u'\n' ? QStringLiteral("\r") : QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, ch == u'\n' ? Qt::Key_Return : 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}
}  // namespace EditorTest

TEditorFixture::TEditorFixture()
{
    ConfigPath = Dir.filePath(ConfigFileName);
    // Preferences of this window alone, never the user's own.
    qputenv("QE_EDITOR_SETTINGS", QFile::encodeName(Dir.filePath(QStringLiteral("settings.ini"))));
    // Recovery copies of this window alone too: no copy of another test is offered at its start.
    qputenv("XDG_STATE_HOME", QFile::encodeName(Dir.filePath(QStringLiteral("state"))));
    TKMQuizEngineConfig config;
    config.AccessPassword = EditorTest::AccessPassword;
    config.SaveToFile(ConfigPath);
    QeClock::SetSleeper([](int) {});
    SetMessageSink([this](QMessageBox::Icon, const QString &caption, const QString &text) {
        Messages.append(caption + u'\t' + text);
    });
}

TEditorFixture::~TEditorFixture()
{
    if (Window) {
        Window->QuestionInput = [](const QString &, const QString &, QMessageBox::StandardButtons,
                                   QMessageBox::Icon) { return QMessageBox::No; };
        Window->close();
        Window.reset();
    }
    SetMessageSink({});
    QeClock::SetSleeper({});
}

QString TEditorFixture::TakeMessages()
{
    const QString all = Messages.join(u'\n');
    Messages.clear();
    return all;
}

bool TEditorFixture::Start(const QString &startFile)
{
    Passwords.push_front(EditorTest::AccessPassword);
    Window = std::make_unique<TfrmMain>();
    TfrmMain *w = Window.get();
    w->PasswordInput = [this](const QString &label) -> std::optional<QString> {
        PasswordLabels.append(label);
        if (OnPassword)
            OnPassword();
        if (Passwords.empty())
            return std::nullopt;
        std::optional<QString> p = Passwords.front();
        Passwords.pop_front();
        return p;
    };
    RealFileDialog = w->FileNameInput;
    w->FileNameInput = [this](bool save, const QString &dir, const QString &name) {
        FileDialogs.append((save ? QStringLiteral("save ") : QStringLiteral("open ")) + dir + u'|' + name);
        if (FileNames.empty())
            return QString();
        const QString f = FileNames.front();
        FileNames.pop_front();
        return f;
    };
    w->QuestionInput = [this](const QString &caption, const QString &text, QMessageBox::StandardButtons,
                              QMessageBox::Icon) {
        Questions.append(caption + u'\t' + text);
        if (Answers.empty())
            return QMessageBox::No;
        const QMessageBox::StandardButton b = Answers.front();
        Answers.pop_front();
        return b;
    };
    if (!startFile.isEmpty())
        w->SetStartFile(startFile);
    if (StartQuestion > 0)
        w->SetStartQuestion(StartQuestion, StartHash);
    if (!w->FormCreate(ConfigPath))
        return false;
    w->ShowCentred();
    QApplication::setActiveWindow(w);
    return QTest::qWaitFor([w] { return w->isWorking() || w->isEnding(); }) && w->isWorking();
}

bool StartWith(TEditorFixture &f, int n, const QList<int> &bad)
{
    using namespace EditorTest;
    if (!f.Start())
        return false;
    TQuestionList list;
    for (int i = 1; i <= n; ++i)
        list.push_back(bad.contains(i) ? Question(QStringLiteral("Q%1").arg(i), {"a"}, " ")
                                       : Question(QStringLiteral("Q%1").arg(i), {"a", "b"}, "! "));
    const QString path = f.Path(QStringLiteral("t.qe2"));
    WriteTest(path, list);
    f.FileNames = {path};
    return f.W().OpenFile() && !f.W().Document()->isModified();
}

QStringList Rows(TfrmMain &w)
{
    QStringList r;
    for (int i = 0; i < w.Model()->count(); ++i)
        r << w.Model()->data(w.Model()->index(i)).toString();
    return r;
}

TFileDialogDriver::TFileDialogDriver(std::deque<QString> names)
    : m_names(std::move(names)), m_timer(std::make_unique<QTimer>())
{
    m_timer->setInterval(20);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            // A box of the dialog's own, which the editor must not need.
            Seen << QStringLiteral("QMessageBox: ") + box->text();
            box->reject();
            return;
        }
        auto *dlg = qobject_cast<QFileDialog *>(modal);
        if (!dlg || !dlg->isVisible()) {
            m_ticks = 0;
            return;
        }
        // The dialog fills its name field itself once its folder is listed:
        // type only after that, and accept once the field still holds the name.
        if (++m_ticks < 10)
            return;
        auto *edit = dlg->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        const QString name = m_names.empty() ? QString() : m_names.front();
        if (name.isEmpty() || !edit) {
            Seen << dlg->objectName();
            if (!m_names.empty())
                m_names.pop_front();
            m_ticks = 0;
            dlg->reject();
            return;
        }
        if (edit->text() != name) {
            edit->setText(name);
            return;
        }
        Seen << dlg->objectName();
        m_names.pop_front();
        m_ticks = 0;
        static_cast<QDialog *>(dlg)->accept();  // the dialog's own accept: as Enter
    });
    m_timer->start();
}

TFileDialogDriver::~TFileDialogDriver() = default;
