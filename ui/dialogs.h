#pragma once

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

namespace pelantra {

// What a message box says: the fixed text, below it what happened and what
// to do, and the technical detail behind a button that shows it.
struct Message {
    enum class Kind { Information, Warning };
    Kind kind = Kind::Information;
    QString text;
    QString informative;
    QString detail;
};

// The modal dialogs the program opens. Tests put their own in place so that
// nothing waits for a person.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The chosen folder with the system's separators, or the empty text when
    // the user cancelled.
    virtual QString SelectDirectory(QWidget* parent, const QString& title);
    // A box with one OK button.
    virtual void Show(QWidget* parent, const Message& message);
};

// The box that Dialogs::Show opens for `message`.
std::unique_ptr<QMessageBox> MessageBox(QWidget* parent, const Message& message);

// The dialogs in use; the default opens the real ones.
Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs);

} // namespace pelantra
