#pragma once
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <optional>

#include "qt/application.h"
#include "qt/file_dialog.h"

// Answers Execute() from a queue: a file name is chosen, std::nullopt (or an
// empty queue) is a cancel. Counts how often it was asked.
class TFakeDialog : public TFileDialog {
public:
    std::deque<std::optional<QString>> Answers;
    int Executed = 0;

    bool Execute() override {
        ++Executed;
        if (Answers.empty())
            return false;
        std::optional<QString> answer = Answers.front();
        Answers.pop_front();
        if (!answer)
            return false;
        FileName = *answer;
        return true;
    }
};

// Collects what would have been shown in message boxes while it lives.
class TErrorRecorder {
public:
    QStringList Messages;
    TErrorRecorder() {
        previous_ = SetErrorReport([this](const QString& message) { Messages << message; });
    }
    ~TErrorRecorder() { SetErrorReport(previous_); }

private:
    TErrorReport previous_;
};

// Writes Bytes into Dir/Name and returns the full path.
inline QString WriteShapeFile(const QTemporaryDir& Dir, const QString& Name, const char* Bytes) {
    QString path = Dir.filePath(Name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(Bytes);
    return path;
}

inline QByteArray ReadBytes(const QString& Path) {
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
