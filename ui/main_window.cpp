#include "ui/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "archive/archive_format.h"
#include "archive/staged_tables.h"
#include "backup/backup_run.h"
#include "backup/backup_worker.h"
#include "backup/staging.h"
#include "check/archive_check.h"
#include "check/messages.h"
#include "core/database.h"
#include "core/indonesian_time.h"
#include "core/platform.h"
#include "core/school_list.h"
#include "schedule/run_log.h"
#include "tools/tools.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/layout_zoom.h"
#include "ui/messages.h"

namespace pelantra {
namespace {

constexpr int kLayoutWidth = 404;
constexpr int kLayoutHeight = 220;
constexpr int kBackupFontUnits = 30;
// The steps' size; a step that does not fit the button beside its seconds
// puts them on a second line, and is drawn smaller only where it would not
// fit alone.
constexpr int kProgressFontUnits = 17;
// Inside the button, on each side of its text.
constexpr int kButtonTextMargin = 8;
// Failed schools a box lists; the details hold all.
constexpr std::size_t kMostFailedSchoolsShown = 8;
// While staging waits for the server, the window's events get this long in
// each turn.
constexpr int kServerWaitEventsMs = 50;

// Places a control with LeftPosZ/TopPosZ-style values in layout units.
void Place(QWidget* control, int left, int width, int top, int height)
{
    control->setGeometry(Zoomed(left), Zoomed(top), Zoomed(width), Zoomed(height));
}

// A list whose chosen entry, when too long for it, ends in "…" rather than
// in a cut letter; the whole name is its tooltip.
class ElidingComboBox final : public QComboBox {
public:
    explicit ElidingComboBox(QWidget* parent) : QComboBox(parent)
    {
        connect(this, &QComboBox::currentTextChanged, this, &QWidget::setToolTip);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, field.width());
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

// Carries the worker's reports over to the window's thread, in posting order.
class WindowObserver final : public BackupObserver {
public:
    explicit WindowObserver(MainWindowInfo info) : window_(info.window) { }

    void PostStatus(const std::string& text) override
    {
        MainWindow* window = window_;
        QMetaObject::invokeMethod(
            window, [window, text] { window->OnStatus(text); }, Qt::QueuedConnection);
    }

    void PostOutcome(const BackupOutcome& outcome) override
    {
        MainWindow* window = window_;
        QMetaObject::invokeMethod(
            window, [window, outcome] { window->OnOutcome(outcome); }, Qt::QueuedConnection);
    }

    void PostStep(BackupStep step) override
    {
        MainWindow* window = window_;
        QMetaObject::invokeMethod(
            window, [window, step] { window->OnStep(step); }, Qt::QueuedConnection);
    }

    bool StopRequested() const override { return window_->StopRequested(); }

private:
    MainWindow* window_;
};

} // namespace

MainWindow::MainWindow(PostgreSQLSession& session, QWidget* parent) : QWidget(parent), session_(session)
{
    BuildLayout();
    connect(cmdCari, &QPushButton::clicked, this, &MainWindow::DoCari);
    connect(cmdBackup, &QPushButton::clicked, this, &MainWindow::DoBackup);
    progressTimer_.setInterval(1000);
    connect(&progressTimer_, &QTimer::timeout, this, &MainWindow::ShowProgress);
    FillSchoolList();
    workers = 0;
}

MainWindow::~MainWindow()
{
    while (workers.load() != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (thread_)
        thread_->wait();
    // A run still open here never had its end handled: its "selesai" was
    // posted to an event loop that no longer runs. Its end leaves no staged
    // copy of the school's data and no lock behind.
    run_.reset();
}

void MainWindow::BuildLayout()
{
    setObjectName(QStringLiteral("MainWindowLayout"));
    setWindowTitle(tr(kProgramName));
    // A fixed size: no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    cmdBackup = new QPushButton(tr(kBackupButton), this);
    cmdBackup->setObjectName(QStringLiteral("cmdBackup"));
    Place(cmdBackup, 16, 372, 140, 56);
    QFont backupFont(QStringLiteral("sans-serif"));
    backupFont.setStyleHint(QFont::SansSerif);
    backupFont.setBold(true);
    backupFont.setPixelSize(Zoomed(kBackupFontUnits));
    cmdBackup->setFont(backupFont);
    // Enter presses the focused button, as Space does.
    cmdBackup->setAutoDefault(true);
    // The step under way reads on the disabled button as clearly as the label.
    QPalette steps = cmdBackup->palette();
    steps.setColor(QPalette::Disabled, QPalette::ButtonText, steps.color(QPalette::Active, QPalette::ButtonText));
    cmdBackup->setPalette(steps);

    strLocation = new QLineEdit(this);
    strLocation->setObjectName(QStringLiteral("strLocation"));
    Place(strLocation, 88, 256, 116, 19);
    strLocation->setReadOnly(true);
    strLocation->setFocusPolicy(Qt::NoFocus);

    imc = new QLabel(this);
    imc->setObjectName(QStringLiteral("imc"));
    // HSizePosZ(4, 4), inside the window, so that the banner shows whole; it
    // is drawn smaller where a small zoom leaves it no room.
    Place(imc, 4, kLayoutWidth - 8, 4, 72);
    imc->setAlignment(Qt::AlignCenter);
    imc->setScaledContents(false);
    imc->setPixmap(QPixmap::fromImage(BannerImage(std::min(kBannerWidth, imc->width()))));

    dv___3 = new QLabel(tr(kSchoolLabel), this);
    dv___3->setObjectName(QStringLiteral("dv___3"));
    Place(dv___3, 16, 72, 92, 19);

    cbSekolah = new ElidingComboBox(this);
    cbSekolah->setObjectName(QStringLiteral("cbSekolah"));
    Place(cbSekolah, 88, 300, 92, 19);

    dv___5 = new QLabel(tr(kFolderLabel), this);
    dv___5->setObjectName(QStringLiteral("dv___5"));
    Place(dv___5, 16, 72, 116, 19);

    cmdCari = new QPushButton(tr(kSearchButton), this);
    cmdCari->setObjectName(QStringLiteral("cmdCari"));
    cmdCari->setAutoDefault(true);
    Place(cmdCari, 344, 44, 116, 20);

    dv___7 = new QGroupBox(tr(kSettingsFrame), this);
    dv___7->setObjectName(QStringLiteral("dv___7"));
    Place(dv___7, 8, 388, 76, 132);
    // The frame comes last but lies under the controls it frames: it paints
    // no background and lets every mouse event through to what is below.
    dv___7->setAttribute(Qt::WA_TransparentForMouseEvents);
    dv___7->setFocusPolicy(Qt::NoFocus);

    setFixedSize(Zoomed(kLayoutWidth), Zoomed(kLayoutHeight));
}

void MainWindow::FillSchoolList()
{
    cbSekolah->clear();
    const Result<std::vector<SchoolEntry>> schools = LoadSchoolList(session_);
    // No box: an empty list says itself why it is empty.
    cbSekolah->setPlaceholderText(tr(schools.ok() ? kNoSchools : kSchoolListUnreadable));
    if (!schools.ok())
        return;
    for (const SchoolEntry& school : schools.value()) {
        const QString name = QString::fromStdString(school.name);
        cbSekolah->addItem(name, QString::fromStdString(school.id));
        cbSekolah->setItemData(cbSekolah->count() - 1, name, Qt::ToolTipRole);
    }
    if (cbSekolah->count() > 0)
        cbSekolah->setCurrentIndex(0);
}

std::string MainWindow::SelectedSchoolId() const
{
    const int index = cbSekolah->currentIndex();
    if (index < 0)
        return {};
    return cbSekolah->itemData(index).toString().toStdString();
}

void MainWindow::DoCari()
{
    const QString folder = CurrentDialogs().SelectDirectory(this, tr(kFolderChooserTitle));
    if (folder.isEmpty())
        return;
    strLocation->setText(folder);
    strLocation->setToolTip(folder); // a long path shows only its end
}

void MainWindow::DoBackup()
{
    const std::string folder = strLocation->text().toStdString();
    if (folder.empty())
        return;

    BeginWork();
    OnStep(BackupStep::Staging);

    const std::string schoolId = SelectedSchoolId();
    auto run = std::make_unique<BackupRun>(session_, schoolId);
    Status stage;
    {
        // Staging runs on this thread; the window goes on painting and
        // answering while the server works, and a stop cancels it there.
        staging_ = true;
        const ServerWaitScope turning(session_, [this] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, kServerWaitEventsMs);
            return StopRequested();
        });
        stage = run->Stage();
        staging_ = false;
    }
    if (StopRequested())
        stage = stage.ok() ? run->Finish(Failure{kStoppedReason, {}, FailureKind::Stopped}).failure()
                           : Failure{kStoppedReason, {}, FailureKind::Stopped};
    if (!stage.ok()) {
        LogRun(stage.failure());
        EndWork();
        Conclude(OutcomeMessage(stage.failure()));
        return;
    }

    run_ = std::move(run);
    outcome_.reset();
    runFolder_ = strLocation->text();
    ++workers;
    const MainWindowInfo info{this};
    PostgreSQLSession& session = session_;
    const StagedRows staged = run_->Rows();
    try {
        StartThread([info, &session, folder, schoolId, staged] {
            {
                WindowObserver observer(info);
                BackupWorker(observer, session, folder, schoolId, staged);
            }
            info.window->workers.fetch_sub(1);
        });
    } catch (const std::system_error& error) {
        --workers;
        const BackupOutcome outcome = run_->Finish(Failure{kRunNotStarted, error.what()});
        run_.reset();
        LogRun(outcome);
        EndWork();
        Conclude(OutcomeMessage(outcome));
    }
}

void MainWindow::DoPeriksa()
{
    if (Busy())
        return;
    const QString archive = CurrentDialogs().SelectArchive(this, tr(kArchiveChooserTitle));
    if (archive.isEmpty())
        return;
    BeginWork();
    SetStep(QString::fromUtf8(kCheckOpeningStep));
    if (const Status connected = Reconnect(session_); !connected.ok()) {
        OnCheckResult(archive.toStdString(), connected.failure());
        return;
    }
    checking_ = true;
    ++workers;
    try {
        StartThread([this, path = archive.toStdString()] {
            const ConfiguredTools tools;
            ToolWatch watch;
            watch.stopRequested = [this] { return StopRequested(); };
            const auto replaying = [this] {
                QMetaObject::invokeMethod(
                    this, [this] { SetStep(QString::fromUtf8(kCheckReplayingStep)); }, Qt::QueuedConnection);
            };
            const Result<DumpFacts> result =
                tools.Named().ok()
                    ? ReplayArchive(session_, tools.Archiver(), NativePath(path).Utf8(), watch, replaying)
                    : Result<DumpFacts>(tools.Named().failure());
            QMetaObject::invokeMethod(
                this, [this, path, result] { OnCheckResult(path, result); }, Qt::QueuedConnection);
            workers.fetch_sub(1);
        });
    } catch (const std::system_error& error) {
        --workers;
        OnCheckResult(archive.toStdString(), Failure{kCheckNotStarted, error.what()});
    }
}

void MainWindow::StartThread(std::function<void()> body)
{
    if (thread_)
        thread_->wait(); // the previous worker has done its work; its thread is ending
    thread_.reset(QThread::create(std::move(body)));
    thread_->start();
    if (!thread_->isRunning() && !thread_->isFinished()) {
        thread_.reset();
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "the worker thread cannot be started");
    }
}

void MainWindow::OnStep(BackupStep step)
{
    SetStep(QString::fromUtf8(StepText(step)));
}

void MainWindow::SetStep(const QString& step)
{
    // Once stopping, the steps the work still reaches are not news.
    step_ = closeWhenDone_ ? QString::fromUtf8(kStoppingStep) : step;
    ShowProgress();
}

void MainWindow::ShowProgress()
{
    if (cmdBackup->isEnabled())
        return;
    QFont font = cmdBackup->font();
    const QString seconds = QString::number(runTime_.elapsed() / 1000) + kSeconds;
    const int room = cmdBackup->width() - 2 * Zoomed(kButtonTextMargin);
    QString text;
    for (int size = Zoomed(kProgressFontUnits); size > 1; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        text = step_ + " " + seconds;
        if (metrics.horizontalAdvance(text) <= room)
            break;
        text = step_ + "\n" + seconds;
        if (metrics.horizontalAdvance(step_) <= room &&
            2 * metrics.lineSpacing() + Zoomed(kButtonTextMargin) <= cmdBackup->height())
            break;
    }
    cmdBackup->setFont(font);
    cmdBackup->setText(text);
}

void MainWindow::OnOutcome(BackupOutcome outcome)
{
    outcome_ = std::move(outcome);
}

void MainWindow::OnStatus(std::string text)
{
    if (text != kFinalStatus || !run_)
        return;
    const BackupOutcome outcome = run_->Finish(std::move(outcome_));
    run_.reset();
    outcome_.reset();
    LogRun(outcome);
    EndWork();
    Conclude(OutcomeMessage(outcome));
}

void MainWindow::OnCheckResult(std::string archive, Result<DumpFacts> result)
{
    checking_ = false;
    EndWork();
    Conclude(CheckMessage(archive, result));
}

Message MainWindow::OutcomeMessage(const BackupOutcome& outcome) const
{
    Message message;
    if (outcome.ok()) {
        message.text = QString::fromUtf8(kSuccessMessage);
        std::string text =
            FillIn(kSchoolLine, {outcome.value().school}) + "\n" + FillIn(kArchiveLine, {outcome.value().path});
        if (!outcome.value().kept.empty())
            text.append("\n").append(FillIn(
                kEarlierKeptLine, {QFileInfo(QString::fromStdString(outcome.value().kept)).fileName().toStdString()}));
        message.informative = QString::fromStdString(text + NoteLine(outcome.value()));
        message.folder = runFolder_;
    } else {
        message.kind = Message::Kind::Error;
        message.text = QString::fromUtf8(kFailureMessage);
        message.informative = QString::fromStdString(outcome.failure().reason);
    }
    message.detail = QString::fromStdString(OutcomeDetail(outcome));
    return message;
}

Message MainWindow::CheckMessage(const std::string& archive, const Result<DumpFacts>& result)
{
    Message message;
    const std::string archiveLine = FillIn(kArchiveLine, {archive});
    if (!result.ok()) {
        const bool blamed = result.failure().kind == FailureKind::ArchiveFault;
        message.kind = blamed ? Message::Kind::Error : Message::Kind::Warning;
        message.text = QString::fromUtf8(blamed ? kCheckFailed : kCheckNotDone);
        message.informative = QString::fromStdString(result.failure().reason + "\n" + archiveLine);
        message.detail = QString::fromStdString(result.failure().detail);
        return message;
    }
    const DumpFacts& facts = result.value();
    std::string text;
    if (facts.school)
        text.append(FillIn(kCheckSchoolLine, {facts.school->name, facts.school->npsn})).append("\n");
    if (const QDateTime packed = QDateTime::fromString(QString::fromStdString(facts.packedAt), kListingTimeFormat);
        packed.isValid())
        text.append(FillIn(kCheckPackedLine, {IndonesianDateTime(packed)})).append("\n");
    text.append(archiveLine).append("\n");
    for (const StagedTable& table : kStagedTableList)
        text.append("\n").append(
            FillIn(kCheckTableLine, {table.label, table.name, std::to_string(facts.RowsOf(table.name))}));
    message.text = QString::fromUtf8(kArchiveRestorable);
    message.informative = QString::fromStdString(text);
    if (facts.backslashValues > 0)
        message.detail = QString::fromStdString(FillIn(kBackslashValues, {std::to_string(facts.backslashValues)}));
    return message;
}

void MainWindow::LogRun(const BackupOutcome& outcome) const
{
    AppendRunLog(MakeRunLogEntry(RunStart::Window, SelectedSchoolId(), cbSekolah->currentText().toStdString(), outcome,
                                 std::chrono::milliseconds(runTime_.elapsed())));
}

void MainWindow::TellFailedSchedule()
{
    const std::vector<RunLogEntry> failed = TakeUntoldScheduleFailures();
    if (failed.empty())
        return;
    const auto when = [](const RunLogEntry& entry) {
        const QDateTime ended = QDateTime::fromString(QString::fromStdString(entry.time), Qt::ISODate);
        return ended.isValid() ? IndonesianDateTime(ended) : entry.time;
    };
    Message message;
    message.kind = Message::Kind::Warning;
    message.text = QString::fromUtf8(kScheduleFailed);
    std::string text;
    if (failed.size() == 1) {
        text = failed.front().outcome;
        text.append("\n").append(FillIn(kScheduledRunLine, {when(failed.front())}));
        if (!failed.front().schoolName.empty())
            text.append("\n").append(FillIn(kSchoolLine, {failed.front().schoolName}));
    } else {
        text = FillIn(kScheduledRunLine, {when(failed.back())});
        const std::size_t shown =
            failed.size() <= kMostFailedSchoolsShown ? failed.size() : kMostFailedSchoolsShown - 1;
        for (std::size_t i = 0; i < shown; ++i)
            text.append("\n").append(FillIn(kFailedSchoolLine, {failed[i].schoolName, failed[i].outcome}));
        if (shown < failed.size())
            text.append("\n").append(FillIn(kMoreFailedSchools, {std::to_string(failed.size() - shown)}));
    }
    message.informative = QString::fromStdString(text);
    std::string details;
    for (const RunLogEntry& entry : failed)
        details.append(details.empty() ? "" : "\n\n")
            .append(FillIn(kFailedRunDetail, {when(entry), entry.schoolName, entry.schoolId, entry.outcome}));
    message.detail = QString::fromStdString(details);
    CurrentDialogs().Show(this, message);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Over the window, once it stands on the screen.
    if (!toldSchedule_) {
        toldSchedule_ = true;
        QTimer::singleShot(0, this, &MainWindow::TellFailedSchedule);
    }
}

void MainWindow::Conclude(const Message& message)
{
    if (asking_) {
        // The question about closing no longer holds; the user had asked
        // to close, so the outcome is shown and then the window closes.
        endedWhileAsking_ = message;
        CurrentDialogs().DismissQuestion();
        return;
    }
    if (closeWhenDone_) {
        close();
        return;
    }
    CurrentDialogs().Show(this, message);
}

void MainWindow::BeginWork()
{
    stopRequested_ = false;
    cmdCari->setEnabled(false);
    cmdBackup->setEnabled(false);
    cbSekolah->setEnabled(false); // the run keeps the school it started with
    setCursor(Qt::BusyCursor);
    runTime_.start();
    progressTimer_.start();
}

void MainWindow::EndWork()
{
    progressTimer_.stop();
    QFont font = cmdBackup->font();
    font.setPixelSize(Zoomed(kBackupFontUnits));
    cmdBackup->setFont(font);
    cmdBackup->setText(tr(kBackupButton));
    cmdCari->setEnabled(true);
    cmdBackup->setEnabled(true);
    cbSekolah->setEnabled(true);
    unsetCursor();
}

void MainWindow::ContextMenu(QMenu& menu)
{
    connect(menu.addAction(tr(kMenuGuide)), &QAction::triggered, this, &MainWindow::Exit);
    connect(menu.addAction(tr(kMenuExit)), &QAction::triggered, this, &MainWindow::Exit);
    QAction* check = menu.addAction(tr(kMenuCheck));
    check->setEnabled(!Busy());
    connect(check, &QAction::triggered, this, &MainWindow::DoPeriksa);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!Busy()) {
        event->accept();
        return;
    }
    event->ignore();
    if (closeWhenDone_)
        return; // already stopping; the window closes when the work has ended
    Message question;
    question.kind = Message::Kind::Question;
    question.text = tr(checking_ ? kCloseDuringCheck : kCloseDuringBackup);
    question.informative = checking_ ? QString() : tr(kEarlierArchiveKept);
    asking_ = true;
    const bool yes = CurrentDialogs().Ask(this, question);
    asking_ = false;
    if (endedWhileAsking_) {
        const Message ended = *std::exchange(endedWhileAsking_, std::nullopt);
        CurrentDialogs().Show(this, ended);
        event->accept();
        return;
    }
    if (!yes)
        return;
    closeWhenDone_ = true;
    stopRequested_ = true;
    SetStep(QString());
}

void MainWindow::Exit()
{
    // Closing the program's last window ends the application's event loop,
    // the same way the close box does.
    close();
}

void MainWindow::ExecMenu(QMenu& menu, const QPoint& globalPos)
{
    menu.exec(globalPos);
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    // Only the window's own background: a press that a control let through
    // (a button ignores the right button) does not count.
    if (event->button() == Qt::RightButton && !childAt(event->position().toPoint())) {
        event->accept();
        QMenu menu(this);
        ContextMenu(menu);
        ExecMenu(menu, event->globalPosition().toPoint());
        return;
    }
    QWidget::mousePressEvent(event);
}

} // namespace pelantra
