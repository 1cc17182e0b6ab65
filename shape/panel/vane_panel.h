#pragma once
#include <QWidget>
#include <memory>
#include <string>

#include "qt/file_dialog.h"

class QListWidget;
class QPushButton;

// Text for an object name read from a file, by the rule of every report
// (NameText): UTF-8 when the bytes are valid UTF-8, else Shift-JIS (CP932)
// when they are valid Shift-JIS, else one character per byte (Latin-1).
QString DecodeName(const std::string& Bytes);

// The shape library's test window: loads a shape file into TestSuf, lists
// the names of its objects, saves it again and releases it.
class TVANE_Panel : public QWidget {
    Q_OBJECT

public:
    explicit TVANE_Panel(QWidget* parent = nullptr);

    void FreeSufTestClick();
    void LoadTestClick();
    void SaveTestClick();
    void EndButtonClick();

    // Filter "形状ファイル|*.suf"; the save dialog adds "suf".
    std::unique_ptr<TFileDialog> OpenDialog1;
    std::unique_ptr<TFileDialog> SaveDialog1;

    QListWidget* ListBox1 = nullptr;
    QPushButton* FreeSufTest = nullptr;
    QPushButton* LoadTest = nullptr;
    QPushButton* SaveTest = nullptr;
    QPushButton* EndButton = nullptr;

private:
    void showLine(const QString& line);
};
