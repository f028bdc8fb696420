#include "ui/OpenFileDialog.h"

#include "ui/ByteText.h"

#include <QMessageBox>

#include <filesystem>

namespace ui {

TOpenFileDialog::TOpenFileDialog(QWidget* parent) : QFileDialog(parent) {
    setFileMode(AnyFile);
    setAcceptMode(AcceptOpen);
}

void TOpenFileDialog::accept() {
    const QStringList files = selectedFiles();
    if (files.size() == 1 && !files.first().isEmpty()) {
        std::error_code error;
        const auto status = std::filesystem::status(ChosenPath(files.first()), error);
        if (std::filesystem::is_regular_file(status)) {
            QDialog::accept();
            return;
        }
        if (!std::filesystem::is_directory(status)) {
            QMessageBox::warning(this, windowTitle(),
                                 files.first() + QStringLiteral("\nFile not found."));
            return;
        }
    }
    QFileDialog::accept(); // opens the folder
}

} // namespace ui
