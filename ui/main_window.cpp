#include "ui/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include <chrono>
#include <system_error>
#include <thread>

#include "backup/backup_run.h"
#include "backup/backup_worker.h"
#include "backup/staging.h"
#include "core/school_list.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/layout_zoom.h"

namespace pelantra {
namespace {

constexpr int kLayoutWidth = 404;
constexpr int kLayoutHeight = 220;
constexpr int kBackupFontUnits = 30;
// Small enough for the longest step and a few digits of seconds to fit the button.
constexpr int kProgressFontUnits = 17;

// Places a control with LeftPosZ/TopPosZ-style values in layout units.
void Place(QWidget* control, int left, int width, int top, int height)
{
    control->setGeometry(Zoomed(left), Zoomed(top), Zoomed(width), Zoomed(height));
}

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
    // A run still open here never had its end handled: its "selesai" was
    // posted to an event loop that no longer runs. Its end leaves no staged
    // copy of the school's data and no lock behind.
    run_.reset();
}

void MainWindow::BuildLayout()
{
    setObjectName(QStringLiteral("MainWindowLayout"));
    setWindowTitle(tr("Pelantra"));

    cmdBackup = new QPushButton(tr("Backup"), this);
    cmdBackup->setObjectName(QStringLiteral("cmdBackup"));
    Place(cmdBackup, 16, 372, 140, 56);
    QFont backupFont(QStringLiteral("sans-serif"));
    backupFont.setStyleHint(QFont::SansSerif);
    backupFont.setBold(true);
    backupFont.setPixelSize(Zoomed(kBackupFontUnits));
    cmdBackup->setFont(backupFont);

    strLocation = new QLineEdit(this);
    strLocation->setObjectName(QStringLiteral("strLocation"));
    Place(strLocation, 88, 256, 116, 19);
    strLocation->setReadOnly(true);
    strLocation->setFocusPolicy(Qt::NoFocus);

    imc = new QLabel(this);
    imc->setObjectName(QStringLiteral("imc"));
    // HSizePosZ(4, -12): the right edge lies 12 units past the window's.
    const int imcLeft = Zoomed(4);
    imc->setGeometry(imcLeft, Zoomed(4), Zoomed(kLayoutWidth) - imcLeft - Zoomed(-12), Zoomed(72));
    imc->setAlignment(Qt::AlignCenter);
    imc->setScaledContents(false);
    imc->setPixmap(QPixmap::fromImage(BannerImage()));

    dv___3 = new QLabel(tr("Nama Sekolah"), this);
    dv___3->setObjectName(QStringLiteral("dv___3"));
    Place(dv___3, 16, 72, 92, 19);

    cbSekolah = new QComboBox(this);
    cbSekolah->setObjectName(QStringLiteral("cbSekolah"));
    Place(cbSekolah, 88, 300, 92, 19);

    dv___5 = new QLabel(tr("Lokasi Simpan"), this);
    dv___5->setObjectName(QStringLiteral("dv___5"));
    Place(dv___5, 16, 72, 116, 19);

    cmdCari = new QPushButton(tr("Cari"), this);
    cmdCari->setObjectName(QStringLiteral("cmdCari"));
    Place(cmdCari, 344, 44, 116, 20);

    dv___7 = new QGroupBox(tr("Pengaturan"), this);
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
    for (const SchoolEntry& school : LoadSchoolList(session_))
        cbSekolah->addItem(QString::fromStdString(school.name), QString::fromStdString(school.id));
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
    const QString folder = CurrentDialogs().SelectDirectory(this, tr("Export Data"));
    if (!folder.isEmpty())
        strLocation->setText(folder);
}

void MainWindow::DoBackup()
{
    const std::string folder = strLocation->text().toStdString();
    if (folder.empty())
        return;

    cmdCari->setEnabled(false);
    cmdBackup->setEnabled(false);
    setCursor(Qt::BusyCursor);
    runTime_.start();
    progressTimer_.start();
    OnStep(BackupStep::Staging);
    cmdBackup->repaint(); // staging holds this thread; show it first

    const std::string schoolId = SelectedSchoolId();
    auto run = std::make_unique<BackupRun>(session_, schoolId);
    if (const Status staged = run->Stage(); !staged.ok()) {
        EndRun();
        Show(staged.failure());
        return;
    }

    run_ = std::move(run);
    outcome_.reset();
    ++workers;
    const MainWindowInfo info{this};
    PostgreSQLSession& session = session_;
    const StagedRows staged = run_->Staged();
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
        const BackupOutcome outcome = run_->Finish(Failure{"Proses backup tidak dapat dimulai", error.what()});
        run_.reset();
        EndRun();
        Show(outcome);
    }
}

void MainWindow::StartThread(std::function<void()> body)
{
    std::thread(std::move(body)).detach();
}

void MainWindow::OnStep(BackupStep step)
{
    step_ = step;
    ShowProgress();
}

void MainWindow::ShowProgress()
{
    if (cmdBackup->isEnabled())
        return;
    QFont font = cmdBackup->font();
    font.setPixelSize(Zoomed(kProgressFontUnits));
    cmdBackup->setFont(font);
    cmdBackup->setText(QString::fromUtf8(StepText(step_)) + " " + QString::number(runTime_.elapsed() / 1000) +
                       " detik");
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
    EndRun();
    Show(outcome);
}

void MainWindow::Show(const BackupOutcome& outcome)
{
    Message message;
    if (outcome.ok()) {
        message.text = QString::fromUtf8(kSuccessMessage);
        message.informative = "Sekolah: " + QString::fromStdString(outcome.value().school) +
                              "\nArsip: " + QString::fromStdString(outcome.value().path);
    } else {
        message.kind = Message::Kind::Warning;
        message.text = QString::fromUtf8(kFailureMessage);
        message.informative = QString::fromStdString(outcome.failure().reason);
    }
    message.detail = QString::fromStdString(OutcomeDetail(outcome));
    CurrentDialogs().Show(this, message);
}

void MainWindow::EndRun()
{
    progressTimer_.stop();
    QFont font = cmdBackup->font();
    font.setPixelSize(Zoomed(kBackupFontUnits));
    cmdBackup->setFont(font);
    cmdBackup->setText(tr("Backup"));
    cmdCari->setEnabled(true);
    cmdBackup->setEnabled(true);
    unsetCursor();
}

void MainWindow::ContextMenu(QMenu& menu)
{
    connect(menu.addAction(tr("Panduan")), &QAction::triggered, this, &MainWindow::Exit);
    connect(menu.addAction(tr("Keluar")), &QAction::triggered, this, &MainWindow::Exit);
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
