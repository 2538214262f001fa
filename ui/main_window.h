#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "backup/backup_outcome.h"
#include "backup/backup_worker.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

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

// The program's one window: pick a school, pick a folder, back it up. The
// session serves its school list and backups and must outlive it.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(PostgreSQLSession& session, QWidget* parent = nullptr);
    // Waits until no backup worker runs, then finishes a run whose end was
    // never handled (drops the staging schema, releases the backup lock).
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

    // Started, unfinished backup workers.
    std::atomic<int> workers{0};

    void DoCari();
    void DoBackup();
    // Every status text of a worker arrives here, on the GUI thread (virtual
    // so that a test can watch the protocol).
    virtual void OnStatus(std::string text);
    // The outcome of a run, on the GUI thread, just before "selesai".
    virtual void OnOutcome(BackupOutcome outcome);
    // A step of the run under way begins, on the GUI thread.
    virtual void OnStep(BackupStep step);
    void ContextMenu(QMenu& menu);
    void Exit();

    // Key of the selected school, empty when the list is empty.
    std::string SelectedSchoolId() const;
    // True from a successful staging until the run's end has been handled.
    bool RunOpen() const { return run_ != nullptr; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

    // Shows the pop-up menu modally.
    virtual void ExecMenu(QMenu& menu, const QPoint& globalPos);
    // Starts `body` on a new detached thread; throws std::system_error when
    // no thread can be started.
    virtual void StartThread(std::function<void()> body);

private:
    void BuildLayout();
    void FillSchoolList();
    void EndRun();
    void Show(const BackupOutcome& outcome);
    // The disabled button tells the step under way and the seconds since the run began.
    void ShowProgress();

    PostgreSQLSession& session_;
    std::unique_ptr<BackupRun> run_;
    std::optional<BackupOutcome> outcome_;
    BackupStep step_ = BackupStep::Staging;
    QElapsedTimer runTime_;
    QTimer progressTimer_;
};

} // namespace pelantra
