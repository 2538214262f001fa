#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <memory>

#include "app/startup.h"
#include "core/database.h"
#include "support/gui_test_support.h"
#include "support/test_database.h"
#include "support/work_folder.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace pelantra {
namespace {

class CountingDialogs : public Dialogs {
public:
    void Show(QWidget* parent, const Message& message) override
    {
        texts << message.text;
        informatives << message.informative;
        details << message.detail;
        parents << parent;
        windowsAtBox = WindowCount();
    }
    static int WindowCount()
    {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            count += qobject_cast<MainWindow*>(widget) != nullptr;
        return count;
    }
    QStringList texts;
    QStringList informatives;
    QStringList details;
    QList<QWidget*> parents;
    int windowsAtBox = -1;
};

// Runs the program in a fresh directory whose setting.ini names `port`.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        SetDialogs(&dialogs);
    }
    void TearDown() override
    {
        SetDialogs(nullptr);
        work.reset();
    }
    void WriteSettings(const std::string& port) { work = std::make_unique<WorkFolder>(port); }

    std::unique_ptr<WorkFolder> work;
    CountingDialogs dialogs;
};

TEST_F(StartupTest, RefusedConnectionSaysSoOnceAndShowsNoWindow)
{
    WriteSettings("1"); // nothing listens on port 1
    EXPECT_EQ(RunApplication(TestApp()), 0);
    EXPECT_EQ(dialogs.texts, QStringList({"Gagal melakukan koneksi database"}));
    EXPECT_EQ(dialogs.informatives,
              QStringList({"Periksa DefDBPort di setting.ini di folder " + QString::fromStdString(work->Path()) +
                           " dan pastikan server database berjalan."}));
    EXPECT_TRUE(dialogs.details.value(0).startsWith("127.0.0.1 port 1: ")) << dialogs.details.value(0).toStdString();
    EXPECT_EQ(dialogs.parents, QList<QWidget*>({nullptr}));
    EXPECT_EQ(dialogs.windowsAtBox, 0);
    EXPECT_EQ(CountingDialogs::WindowCount(), 0);
    EXPECT_EQ(DefaultSession(), nullptr);
    EXPECT_EQ(QApplication::applicationName(), "Pelantra");
}

TEST_F(StartupTest, RunsTheWindowUntilItIsClosed)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WriteSettings(port);
    bool sawWindow = false;
    bool sawSession = false;
    QTimer::singleShot(100, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<MainWindow*>(widget); window && window->isVisible()) {
                sawWindow = true;
                sawSession = DefaultSession() != nullptr && window->cbSekolah->count() > 0;
                window->Exit();
            }
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::exit(42); });
    guard.start(10000);

    EXPECT_EQ(RunApplication(TestApp()), 0);
    EXPECT_TRUE(guard.isActive()) << "the window never closed";
    EXPECT_TRUE(sawWindow);
    EXPECT_TRUE(sawSession);
    EXPECT_TRUE(dialogs.texts.isEmpty());
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_EQ(CountingDialogs::WindowCount(), 0) << "the window is destroyed before the program returns";
    EXPECT_EQ(DefaultSession(), nullptr);
}

} // namespace
} // namespace pelantra
