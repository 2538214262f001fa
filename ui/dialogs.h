#pragma once

#include <QString>

class QWidget;

namespace pelantra {

// The modal dialogs the program opens. Tests put their own in place so that
// nothing waits for a person.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The chosen folder, or the empty text when the user cancelled.
    virtual QString SelectDirectory(QWidget* parent, const QString& title);
    // An information box with one OK button; `detail` goes below the text.
    virtual void Inform(QWidget* parent, const QString& text, const QString& detail = {});
};

// The dialogs in use; the default opens the real ones.
Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs);

} // namespace pelantra
