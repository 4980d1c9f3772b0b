#pragma once

#include "widgets/prompts.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

// Prompts for window tests: the operator's answers are queued beforehand, every prompt is
// recorded in order, and nothing ever blocks. A prompt that finds no answer of its kind at the
// head of the queue fails the running test and is answered as if cancelled.
class ScriptedPrompts final : public Prompts {
public:
    enum class Kind { Message, Confirm, OpenFile, SaveFile, Folder };

    // One prompt as the window asked it.
    struct Record {
        Kind kind = Kind::Message;
        QString text;      // message or confirmation text, or the folder picker's title
        Icon icon = Icon::Warning;
        QString caption;   // what the real box would be captioned with
        FileDialogOptions options;
        QWidget* parent = nullptr;
    };

    ScriptedPrompts() = default;
    ~ScriptedPrompts() override;
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    // Answers, consumed in the order queued. An empty path or folder stands for Cancel.
    void answerOpenFile(const QString& path);
    void answerSaveFile(const QString& path);
    void answerFolder(const QString& folder);
    void answerConfirm(bool ok);

    const std::vector<Record>& records() const { return m_records; }
    // Texts of the message boxes (not confirmations) in the order shown.
    QStringList messages() const;
    const Record* lastMessage() const;
    std::size_t pendingAnswers() const { return m_answers.size(); }
    // Prompts that came with no matching answer, described for the test log.
    const QStringList& unexpected() const { return m_unexpected; }
    void clear();

    // Called at every prompt before it is answered, e.g. to look at the windows at that moment.
    std::function<void(const Record&)> onPrompt;

    void message(QWidget* parent, const QString& text, Icon icon) override;
    bool confirm(QWidget* parent, const QString& text, Icon icon) override;
    QString openFile(QWidget* parent, const FileDialogOptions& options) override;
    QString saveFile(QWidget* parent, const FileDialogOptions& options) override;
    QString folder(QWidget* parent, const QString& title) override;

private:
    struct Answer {
        Kind kind;
        QString text;
        bool ok = false;
    };

    const Record& record(Record record);
    // The queued answer for kind, or nothing (and a test failure) when the queue disagrees.
    bool take(Kind kind, Answer& answer);

    std::deque<Answer> m_answers;
    std::vector<Record> m_records;
    QStringList m_unexpected;
};

const char* kindName(ScriptedPrompts::Kind kind);
