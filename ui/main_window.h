#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "archive/archive_grammar.h"
#include "backup/backup_outcome.h"
#include "backup/backup_worker.h"
#include "ui/dialogs.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QThread;

namespace pelantra {

class BackupRun;
class MainWindow;
class PostgreSQLSession;

// What a backup thread knows of the window that started it: it reaches the
// window only through queued calls and its `workers` count, which it
// decrements as its very last act.
struct MainWindowInfo {
    MainWindow* window;
};

// The program's one window: pick a school, pick a folder, back it up; or
// check an archive from the pop-up menu. The session serves its school list,
// backups and checks and must outlive it.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(PostgreSQLSession& session, QWidget* parent = nullptr);
    // Waits until no worker runs, then finishes a run whose end was never
    // handled (drops the staging schema, releases the backup lock).
    ~MainWindow() override;

    // Controls of MainWindowLayout, in layout order; the window owns them.
    QPushButton* cmdBackup;
    QLineEdit* strLocation;
    QLabel* imc;
    QLabel* dv___3;
    QComboBox* cbSekolah;
    QLabel* dv___5;
    QPushButton* cmdCari;
    QGroupBox* dv___7;

    // Started, unfinished workers (a backup's or a check's).
    std::atomic<int> workers{0};

    void DoCari();
    void DoBackup();
    // "Periksa arsip...": proves on a worker thread that a chosen archive
    // restores, as `pelantra-cli verify --replay` does.
    void DoPeriksa();
    // Every status text of a worker arrives here, on the GUI thread (virtual
    // so that a test can watch the protocol).
    virtual void OnStatus(std::string text);
    // The outcome of a run, on the GUI thread, just before "selesai".
    virtual void OnOutcome(BackupOutcome outcome);
    // A step of the run under way begins, on the GUI thread.
    virtual void OnStep(BackupStep step);
    // The disabled button tells the step under way and the seconds since
    // the work began, on one line or, where the button is too narrow, two.
    void SetStep(const QString& step);
    // The end of a check, on the GUI thread.
    virtual void OnCheckResult(std::string archive, Result<DumpFacts> result);
    void ContextMenu(QMenu& menu);
    void Exit();

    // Key of the selected school, empty when the list is empty.
    std::string SelectedSchoolId() const;
    // True from a successful staging until the run's end has been handled.
    bool RunOpen() const { return run_ != nullptr; }
    // A backup (staging included) or a check is under way.
    bool Busy() const { return staging_ || run_ != nullptr || checking_; }
    // The user chose to stop the work under way; workers read it.
    bool StopRequested() const { return stopRequested_.load(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // The first show tells a failed scheduled backup (TellFailedSchedule).
    void showEvent(QShowEvent* event) override;
    // Closing while work runs asks first; "Ya" stops the work, cleans up
    // and then closes, "Tidak" lets it go on.
    void closeEvent(QCloseEvent* event) override;

    // Shows the pop-up menu modally.
    virtual void ExecMenu(QMenu& menu, const QPoint& globalPos);
    // Starts `body` on the window's worker thread, a QThread, once the
    // previous one has ended; throws std::system_error when no thread can be
    // started.
    virtual void StartThread(std::function<void()> body);

private:
    void BuildLayout();
    void FillSchoolList();
    // The controls that start work are off until EndWork().
    void BeginWork();
    void EndWork();
    Message OutcomeMessage(const BackupOutcome& outcome) const;
    static Message CheckMessage(const std::string& archive, const Result<DumpFacts>& result);
    // Tells how the work ended: in a box, or, when the user chose to close,
    // by closing.
    void Conclude(const Message& message);
    // Appends the run that ended with `outcome` to pelantra.log.
    void LogRun(const BackupOutcome& outcome) const;
    // Once the window is first shown: the scheduled backups that failed
    // since a window last looked are told in one box over it.
    void TellFailedSchedule();
    void ShowProgress();

    PostgreSQLSession& session_;
    std::unique_ptr<BackupRun> run_;
    std::optional<BackupOutcome> outcome_;
    bool staging_ = false;
    bool checking_ = false;
    std::atomic<bool> stopRequested_{false};
    bool closeWhenDone_ = false;
    bool toldSchedule_ = false;
    // The question about closing during work is open, and what ended while it was.
    bool asking_ = false;
    std::optional<Message> endedWhileAsking_;
    QString runFolder_;
    QString step_;
    QElapsedTimer runTime_;
    QTimer progressTimer_;
    std::unique_ptr<QThread> thread_;
};

} // namespace pelantra
