#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

#include "core/database.h"
#include "schedule/run_log.h"
#include "support/gui_test_support.h"
#include "ui/artwork.h"
#include "ui/layout_zoom.h"
#include "ui/main_window.h"
#include "ui/messages.h"
#include "ui/qt_texts.h"

namespace pelantra {
namespace {

// No database behind the window: its school list stays empty.
PostgreSQLSession& NoDatabase()
{
    static PostgreSQLSession session;
    return session;
}

// A window whose pop-up menu is recorded instead of shown, and which can pick
// one of its items as if the user had.
class MenuWindow : public MainWindow {
public:
    MenuWindow() : MainWindow(NoDatabase()) { }

    QStringList shownItems;
    int menusShown = 0;
    QString choose;

protected:
    void ExecMenu(QMenu& menu, const QPoint&) override
    {
        ++menusShown;
        for (QAction* action : menu.actions()) {
            shownItems << action->text();
            if (!choose.isEmpty() && action->text() == choose)
                action->trigger();
        }
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        SetLayoutZoom(1.0);
    }
    void TearDown() override { SetLayoutZoom(0); }

    ScopedDialogs scoped;
    RecordingDialogs& dialogs = scoped.dialogs;
};

struct Expected {
    const char* name;
    const char* type;
    const char* text;
    QRect geometry;
};

QString TextOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        return box->title();
    return {};
}

TEST_F(MainWindowTest, ControlsFollowTheLayoutTable)
{
    MainWindow window(NoDatabase());
    EXPECT_EQ(window.objectName(), "MainWindowLayout");
    EXPECT_EQ(window.windowTitle(), "Pelantra");
    EXPECT_EQ(window.size(), QSize(404, 220));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window has a fixed size";

    const Expected table[] = {
        {"cmdBackup", "QPushButton", "Backup", QRect(16, 140, 372, 56)},
        {"strLocation", "QLineEdit", "", QRect(88, 116, 256, 19)},
        {"imc", "QLabel", "", QRect(4, 4, 396, 72)},
        {"dv___3", "QLabel", "Nama Sekolah", QRect(16, 92, 72, 19)},
        {"cbSekolah", "QComboBox", "", QRect(88, 92, 300, 19)},
        {"dv___5", "QLabel", "Lokasi Simpan", QRect(16, 116, 72, 19)},
        {"cmdCari", "QPushButton", "Cari", QRect(344, 116, 44, 20)},
        {"dv___7", "QGroupBox", "Pengaturan", QRect(8, 76, 388, 132)},
    };
    const QList<QWidget*> children = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), 8);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(table[i].name);
        EXPECT_EQ(children[i]->objectName(), table[i].name) << "stacking order";
        EXPECT_STREQ(children[i]->metaObject()->className(), table[i].type);
        EXPECT_EQ(TextOf(children[i]), table[i].text);
        EXPECT_EQ(children[i]->geometry(), table[i].geometry);
    }

    // Keyboard order follows the table among the controls that take focus.
    QStringList focusOrder;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
        if (w->parentWidget() == &window && w->focusPolicy() & Qt::TabFocus)
            focusOrder << w->objectName();
    EXPECT_EQ(focusOrder, QStringList({"cmdBackup", "cbSekolah", "cmdCari"}));

    const QFont font = window.cmdBackup->font();
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(font.pixelSize(), 30);
    EXPECT_EQ(font.styleHint(), QFont::SansSerif);

    const QPixmap banner = window.imc->pixmap();
    EXPECT_EQ(banner.size(), QSize(396, 53)); // 419 x 56 drawn to the room the window has
    EXPECT_TRUE(banner.hasAlphaChannel());
    EXPECT_FALSE(window.imc->hasScaledContents());
    EXPECT_EQ(window.imc->alignment(), Qt::AlignCenter);
}

TEST_F(MainWindowTest, GeometryScalesWithTheZoom)
{
    SetLayoutZoom(1.5);
    MainWindow window(NoDatabase());
    EXPECT_EQ(window.size(), QSize(606, 330));
    EXPECT_EQ(window.cmdCari->geometry(), QRect(516, 174, 66, 30));
    EXPECT_EQ(window.imc->geometry(), QRect(6, 6, 594, 108));
    EXPECT_EQ(window.cmdBackup->font().pixelSize(), 45);
    // Where there is room the banner is drawn at its own size; where a small
    // zoom leaves none, smaller, but always whole inside the window.
    EXPECT_EQ(window.imc->pixmap().size(), QSize(kBannerWidth, kBannerHeight));
}

TEST_F(MainWindowTest, TextsFitAtTheZoomOfTheApplicationFont)
{
    SetLayoutZoom(0);
    MainWindow window(NoDatabase());
    for (QWidget* control : {static_cast<QWidget*>(window.dv___3), static_cast<QWidget*>(window.dv___5)}) {
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_GE(control->width(), control->sizeHint().width());
        EXPECT_GE(control->height(), control->fontMetrics().height());
    }
    const QFontMetrics metrics(window.cmdCari->font());
    EXPECT_GE(window.cmdCari->width(), metrics.horizontalAdvance(window.cmdCari->text()));
}

TEST_F(MainWindowTest, EveryStepWithItsSecondsFitsTheButtonAtEverySize)
{
    for (const double zoom : {0.0, 0.75, 1.0, 1.25, 1.5, 2.0}) {
        SetLayoutZoom(zoom);
        MainWindow window(NoDatabase());
        window.cmdBackup->setEnabled(false);
        for (const char* step : {kStagingStep, kExportingStep, kArchivingStep, kTestingStep, kCheckOpeningStep,
                                 kCheckReplayingStep, kStoppingStep}) {
            SCOPED_TRACE(std::to_string(zoom) + " " + step);
            window.SetStep(QString::fromUtf8(step));
            // A long run's seconds: every line fits, and so do the lines together.
            const QString shown = window.cmdBackup->text().replace(QRegularExpression("[0-9]+"), "9999");
            const QFontMetrics metrics(window.cmdBackup->font());
            for (const QString& line : shown.split('\n'))
                EXPECT_LE(metrics.horizontalAdvance(line), window.cmdBackup->width() - 12) << line.toStdString();
            EXPECT_LE(metrics.lineSpacing() * (shown.count('\n') + 1), window.cmdBackup->height());
            EXPECT_TRUE(shown.startsWith(QString::fromUtf8(step))) << shown.toStdString();
        }
    }
    SetLayoutZoom(0);
}

TEST_F(MainWindowTest, WithoutSchoolsTheListIsEmptyAndTheWindowUsable)
{
    MainWindow window(NoDatabase());
    EXPECT_EQ(window.cbSekolah->count(), 0);
    EXPECT_EQ(window.SelectedSchoolId(), "");
    EXPECT_TRUE(window.cmdBackup->isEnabled());
    EXPECT_TRUE(window.cmdCari->isEnabled());
}

TEST_F(MainWindowTest, LocationIsFilledOnlyByTheSelector)
{
    MainWindow window(NoDatabase());
    window.show();
    EXPECT_TRUE(window.strLocation->isReadOnly());
    EXPECT_EQ(window.strLocation->focusPolicy(), Qt::NoFocus);
    QTest::keyClicks(window.strLocation, "C:\\typed");
    EXPECT_EQ(window.strLocation->text(), "");

    dialogs.nextDirectory = "/srv/cadangan";
    QTest::mouseClick(window.cmdCari, Qt::LeftButton);
    EXPECT_EQ(window.strLocation->text(), "/srv/cadangan");

    dialogs.nextDirectory.clear(); // cancelled
    QTest::mouseClick(window.cmdCari, Qt::LeftButton);
    EXPECT_EQ(window.strLocation->text(), "/srv/cadangan");

    dialogs.nextDirectory = "/srv/lain";
    window.DoCari();
    EXPECT_EQ(window.strLocation->text(), "/srv/lain");
    EXPECT_EQ(dialogs.selectorTitles, std::vector<QString>(3, "Export Data"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainWindowTest, BackupWithoutFolderDoesNothing)
{
    MainWindow window(NoDatabase());
    window.show();
    QTest::mouseClick(window.cmdBackup, Qt::LeftButton);
    EXPECT_TRUE(window.cmdBackup->isEnabled());
    EXPECT_TRUE(window.cmdCari->isEnabled());
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(window.workers.load(), 0);
    EXPECT_FALSE(window.RunOpen());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainWindowTest, QtsOwnTextsInOurBoxesAreIndonesian)
{
    UseIndonesianQtTexts();
    QMessageBox box(QMessageBox::Warning, "pelantra", "Backup data gagal dilakukan", QMessageBox::Ok);
    box.setDetailedText("rincian");
    QStringList texts;
    for (QAbstractButton* button : box.buttons())
        texts << button->text();
    texts.sort();
    EXPECT_EQ(texts, QStringList({"OK", "Tampilkan rincian..."}));
}

TEST_F(MainWindowTest, KeyboardAloneAnswersBoxesAndPressesBackup)
{
    // Escape leaves a box as OK does, also beside "Buka folder", and a question as "Tidak".
    Message success;
    success.text = "Backup data telah berhasil dilakukan";
    success.folder = "/srv/cadangan";
    Message question;
    question.kind = Message::Kind::Question;
    question.text = "Backup sedang berjalan. Hentikan backup lalu tutup?";
    for (const auto& [message, role] : {std::pair{success, QMessageBox::AcceptRole}, {question, QMessageBox::NoRole}}) {
        const std::unique_ptr<QMessageBox> box = MessageBox(nullptr, message);
        box->open();
        QTest::keyClick(box.get(), Qt::Key_Escape);
        EXPECT_FALSE(box->isVisible());
        ASSERT_NE(box->clickedButton(), nullptr);
        EXPECT_EQ(box->buttonRole(box->clickedButton()), role);
    }

    // Enter on the focused Backup button presses it (here it fails: no settings).
    MainWindow window(NoDatabase());
    window.show();
    window.strLocation->setText("/srv/cadangan");
    window.cmdBackup->setFocus();
    QTest::keyClick(window.cmdBackup, Qt::Key_Return);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Backup data gagal dilakukan");
}

TEST_F(MainWindowTest, LongPathInABoxBreaksAtSeparatorsAndKeepsItsEnd)
{
    Message success;
    success.text = "Backup data telah berhasil dilakukan";
    success.informative =
        "Arsip: /srv/cadangan/" + QString("010101_Kab__Hulu_10100001_SMK_TEKNOLOGI_").repeated(6) + "INFORMASI.std";
    const std::unique_ptr<QMessageBox> box = MessageBox(nullptr, success);
    box->show();
    auto* label = box->findChild<QLabel*>("qt_msgbox_informativelabel");
    ASSERT_NE(label, nullptr);
    EXPECT_LE(box->width(), box->screen()->availableGeometry().width());
    // Every line it breaks into fits the label: nothing runs past its edge.
    const QRect laidOut =
        label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, label->text());
    EXPECT_LE(laidOut.width(), label->width());
    EXPECT_LE(laidOut.height(), label->height());
    EXPECT_TRUE(label->text().endsWith("INFORMASI.std"));
}

TEST_F(MainWindowTest, FinalStatusWithoutARunIsIgnored)
{
    MainWindow window(NoDatabase());
    window.OnStatus("selesai");
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(window.cmdBackup->isEnabled());
}

TEST_F(MainWindowTest, RightClickOnTheBackgroundOnlyOpensTheMenu)
{
    MenuWindow window;
    window.show();

    // Beside the group box, and inside its frame below the button: both are
    // the window's own background.
    QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(2, 215));
    QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(200, 202));
    EXPECT_EQ(window.menusShown, 2);
    EXPECT_EQ(window.shownItems.mid(0, 2), QStringList({"Panduan", "Keluar"}));

    // Controls let the right button through to the window; it must not count.
    for (QWidget* control : {static_cast<QWidget*>(window.cmdBackup), static_cast<QWidget*>(window.cmdCari),
                             static_cast<QWidget*>(window.imc), static_cast<QWidget*>(window.dv___3)}) {
        SCOPED_TRACE(control->objectName().toStdString());
        QTest::mouseClick(control, Qt::RightButton);
        EXPECT_EQ(window.menusShown, 2);
    }
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(2, 215));
    EXPECT_EQ(window.menusShown, 2);

    // The group box, added last, does not take the clicks meant for the controls.
    dialogs.nextDirectory = "/srv/x";
    QTest::mouseClick(window.cmdCari, Qt::LeftButton);
    EXPECT_EQ(window.strLocation->text(), "/srv/x");
}

class MenuItemTest : public MainWindowTest, public ::testing::WithParamInterface<const char*> { };

TEST_P(MenuItemTest, EndsTheEventLoop)
{
    MenuWindow window;
    window.choose = GetParam();
    window.show();
    QTimer::singleShot(0, &window, [&] { QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(2, 215)); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::exit(42); });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0) << "the loop was not ended by the menu";
    EXPECT_EQ(window.menusShown, 1);
    EXPECT_FALSE(window.isVisible());
}

INSTANTIATE_TEST_SUITE_P(BothItems, MenuItemTest, ::testing::Values("Panduan", "Keluar"));

TEST_F(MainWindowTest, AFailedScheduledBackupIsToldOnce)
{
    QTemporaryDir data;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const auto log = [](RunStart start, const std::string& school, const BackupOutcome& outcome) {
        AppendRunLog(MakeRunLogEntry(start, "id-" + school, school, outcome, std::chrono::seconds(3)));
        std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // the log counts whole seconds
    };
    const auto boxesOfANewWindow = [&] {
        dialogs.boxes.clear();
        dialogs.overShownWindow.clear();
        MainWindow window(NoDatabase());
        QApplication::processEvents();
        EXPECT_TRUE(dialogs.boxes.empty()) << "told before the window stands on the screen";
        window.show();
        QApplication::processEvents();
        for (const bool over : dialogs.overShownWindow)
            EXPECT_TRUE(over);
        return dialogs.boxes;
    };
    EXPECT_TRUE(boxesOfANewWindow().empty()) << "no log yet";

    log(RunStart::Schedule, "SD Satu", Failure{"Server database tidak dapat dihubungi", "port 5432"});
    log(RunStart::Schedule, "SD Dua", BackupArchive{"/tmp/dua.std", "SD Dua", {}, {}});
    log(RunStart::Window, "SD Tiga", Failure{"Sekolah tidak ditemukan", {}});
    const std::vector<Message> told = boxesOfANewWindow();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text.toStdString(), "Backup otomatis terakhir gagal");
    EXPECT_EQ(told[0].informative.section('\n', 0, 0).toStdString(), "Server database tidak dapat dihubungi");
    EXPECT_TRUE(told[0].informative.endsWith("\nSekolah: SD Satu")) << told[0].informative.toStdString();
    EXPECT_TRUE(boxesOfANewWindow().empty()) << "told twice";

    // Runs that failed in the window are the window's own news.
    log(RunStart::Window, "SD Tiga", Failure{"Sekolah tidak ditemukan", {}});
    EXPECT_TRUE(boxesOfANewWindow().empty());
    // Every school that failed in one scheduled run, in one box; the
    // details read as words, not as the log's line.
    log(RunStart::Schedule, "SD Dua", Failure{"Export data gagal", {}});
    log(RunStart::Schedule, "SD Satu",
        Failure{"Disk tujuan penuh; kosongkan sebagian disk atau pilih folder lain", {}});
    const std::vector<Message> both = boxesOfANewWindow();
    ASSERT_EQ(both.size(), 1u);
    EXPECT_TRUE(both[0].informative.endsWith(
        "\nSD Dua: Export data gagal\nSD Satu: Disk tujuan penuh; kosongkan sebagian disk atau pilih folder lain"))
        << both[0].informative.toStdString();
    EXPECT_FALSE(both[0].detail.contains('\t')) << both[0].detail.toStdString();
    EXPECT_TRUE(both[0].detail.contains("SD Dua (id-SD Dua)\nExport data gagal")) << both[0].detail.toStdString();
    qputenv("XDG_DATA_HOME", dataHome);
}

TEST_F(MainWindowTest, DestructorWaitsForRunningWorkers)
{
    auto* window = new MainWindow(NoDatabase());
    window->workers = 1;
    std::thread worker([window] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        window->workers.fetch_sub(1);
    });
    const auto start = std::chrono::steady_clock::now();
    delete window;
    const auto waited = std::chrono::steady_clock::now() - start;
    worker.join();
    EXPECT_GE(waited, std::chrono::milliseconds(240));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
}

} // namespace
} // namespace pelantra
