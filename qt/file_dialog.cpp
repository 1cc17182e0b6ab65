#include "qt/file_dialog.h"

#include <QFileDialog>
#include <QStringList>

QString QtFileFilter(const QString& Filter) {
    const QStringList parts = Filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // A pattern list may hold several patterns separated by ';'; Qt wants blanks.
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        entries << parts[i] + QStringLiteral(" (") + patterns + u')';
    }
    return entries.join(QStringLiteral(";;"));
}

TQtFileDialog::TQtFileDialog(QWidget* Owner, TFileDialogKind Kind, const QString& Filter,
                             const QString& DefaultExt)
    : owner_(Owner), kind_(Kind), filter_(Filter), default_ext_(DefaultExt) {}

bool TQtFileDialog::Execute() {
    QFileDialog dialog(owner_);
    dialog.setNameFilter(QtFileFilter(filter_));
    dialog.setDefaultSuffix(default_ext_);
    if (kind_ == TFileDialogKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (!FileName.isEmpty())
        dialog.selectFile(FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().constFirst();
    return true;
}
