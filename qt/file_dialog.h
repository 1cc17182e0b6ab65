#pragma once
#include <QString>

class QWidget;

// A file dialog as the windows use it: Execute() asks the user and tells
// whether a file was chosen; FileName holds the choice and is kept between
// calls, so the next Execute() starts from it. The windows hold dialogs
// through this interface so that tests can answer without a modal dialog.
class TFileDialog {
public:
    virtual ~TFileDialog() = default;
    // True when the user chose a file, which is then in FileName; false when
    // the user cancelled, FileName unchanged.
    virtual bool Execute() = 0;

    QString FileName;  // absolute path of the last chosen file, "" before the first
};

// Turns a filter written as "description|pattern" pairs, all separated by
// '|', into the one that QFileDialog takes: "description (pattern)" entries
// separated by ";;". "形状ファイル|*.suf" gives "形状ファイル (*.suf)".
QString QtFileFilter(const QString& Filter);

// Kind of a TQtFileDialog.
enum class TFileDialogKind { Open, Save };

// The real dialog: a modal QFileDialog opening on FileName. An open dialog
// accepts only an existing file; a save dialog adds DefaultExt to a name
// without an extension and asks before replacing a file.
class TQtFileDialog : public TFileDialog {
public:
    TQtFileDialog(QWidget* Owner, TFileDialogKind Kind, const QString& Filter,
                  const QString& DefaultExt);
    bool Execute() override;

private:
    QWidget* owner_;
    TFileDialogKind kind_;
    QString filter_;
    QString default_ext_;
};
