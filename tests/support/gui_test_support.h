#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

#include "ui/dialogs.h"

namespace pelantra {

// The one application object of a test program (offscreen under CTest).
inline QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "pelantra-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Dialogs that answer at once and remember what they were asked.
class RecordingDialogs : public Dialogs {
public:
    using Box = Message;

    QString SelectDirectory(QWidget*, const QString& title) override
    {
        selectorTitles.push_back(title);
        return nextDirectory;
    }
    QString SelectArchive(QWidget*, const QString& title) override
    {
        selectorTitles.push_back(title);
        return nextArchive;
    }
    void Show(QWidget* parent, const Message& message) override
    {
        boxes.push_back(message);
        overShownWindow.push_back(parent && parent->isVisible());
    }
    bool Ask(QWidget*, const Message& question) override
    {
        questions.push_back(question);
        questionDismissed = false;
        if (whileAsking) // the question stays open while this runs
            whileAsking();
        return !questionDismissed && nextAnswer;
    }
    void DismissQuestion() override { questionDismissed = true; }

    QString nextDirectory;
    QString nextArchive;
    bool nextAnswer = false;
    std::function<void()> whileAsking;
    bool questionDismissed = false;
    std::vector<QString> selectorTitles;
    std::vector<Box> boxes;
    // Whether each box had a window on the screen to stand over.
    std::vector<bool> overShownWindow;
    std::vector<Message> questions;
};

// Puts RecordingDialogs in place for the lifetime of the object.
class ScopedDialogs {
public:
    ScopedDialogs() { SetDialogs(&dialogs); }
    ~ScopedDialogs() { SetDialogs(nullptr); }
    RecordingDialogs dialogs;
};

// Runs the event loop until `done` holds or `timeoutMs` has passed.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace pelantra
