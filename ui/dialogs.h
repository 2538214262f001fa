#pragma once

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

namespace pelantra {

// What a message box says: the fixed text, below it what happened and what
// to do, and the technical detail behind a button that shows it.
struct Message {
    enum class Kind { Information, Warning, Error, Question };
    Kind kind = Kind::Information;
    QString text;
    QString informative;
    QString detail;
    // A folder the box offers to open in the system's file manager.
    QString folder;
};

// The modal dialogs the program opens. Tests put their own in place so that
// nothing waits for a person.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The chosen folder with the system's separators, or the empty text when
    // the user cancelled.
    virtual QString SelectDirectory(QWidget* parent, const QString& title);
    // The chosen backup archive (*.std), or the empty text.
    virtual QString SelectArchive(QWidget* parent, const QString& title);
    // A box with one OK button (and "Buka folder" when it names a folder).
    virtual void Show(QWidget* parent, const Message& message);
    // A question answered with "Ya" or "Tidak" (the default, also Escape);
    // true for "Ya".
    virtual bool Ask(QWidget* parent, const Message& question);
    // Closes a question that is open as if "Tidak" had been chosen.
    virtual void DismissQuestion();

private:
    QMessageBox* openQuestion_ = nullptr;
};

// The box that Dialogs::Show and Dialogs::Ask open for `message`.
std::unique_ptr<QMessageBox> MessageBox(QWidget* parent, const Message& message);

// The dialogs in use; the default opens the real ones.
Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs);

} // namespace pelantra
