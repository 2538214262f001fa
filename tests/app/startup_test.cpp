#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "app/database.h"
#include "app/startup.h"
#include "support/test_database.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

#include <QComboBox>

namespace {

QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "startup-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class CountingDialogs : public Dialogs {
public:
    void Inform(QWidget* parent, const QString& text, const QString&) override
    {
        texts << text;
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
    QList<QWidget*> parents;
    int windowsAtBox = -1;
};

// Runs the program in a fresh directory holding `settings` as setting.ini.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        SetDialogs(&dialogs);
    }
    void TearDown() override
    {
        SetDialogs(nullptr);
        QDir::setCurrent(previous);
    }
    void WriteSettings(const std::string& text)
    {
        QFile file(dir.filePath("setting.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.c_str());
    }

    QTemporaryDir dir;
    QString previous;
    CountingDialogs dialogs;
};

TEST_F(StartupTest, RefusedConnectionSaysSoOnceAndShowsNoWindow)
{
    WriteSettings("DefDBPort=1\r\n"); // nothing listens on port 1
    EXPECT_EQ(RunApplication(TestApp()), 0);
    EXPECT_EQ(dialogs.texts, QStringList({"Gagal melakukan koneksi database"}));
    EXPECT_EQ(dialogs.parents, QList<QWidget*>({nullptr}));
    EXPECT_EQ(dialogs.windowsAtBox, 0);
    EXPECT_EQ(CountingDialogs::WindowCount(), 0);
    EXPECT_EQ(DefaultSession(), nullptr);
    EXPECT_EQ(QApplication::applicationName(), "pelantra");
}

TEST_F(StartupTest, RunsTheWindowUntilItIsClosed)
{
    PELANTRA_REQUIRE_DATABASE(port);
    WriteSettings("DefDBPort=" + port + "\r\n");
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
