#pragma once

#include <QFileDialog>

namespace ui {

// A dialog that opens one existing file, also one whose name is no UTF-8.
// Qt neither lists such a file nor lets its ExistingFile mode take a typed
// name for it; this dialog keeps the AnyFile mode (do not set another) and
// checks the choice itself: a name that ChosenPath finds as a file is
// taken, a folder is opened, anything else is refused with a warning. Read
// the choice with ChosenPath(selectedFiles().first()).
class TOpenFileDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit TOpenFileDialog(QWidget* parent);

protected:
    void accept() override;
};

} // namespace ui
