#include "support/scriptedprompts.h"

#include <QTest>

namespace {

void failTest(const QString& what)
{
    // Marks the running test function failed without unwinding out of the window's code.
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(what), __FILE__, __LINE__);
    else
        qWarning("%s", qPrintable(what));
}

}  // namespace

const char* kindName(ScriptedPrompts::Kind kind)
{
    switch (kind) {
    case ScriptedPrompts::Kind::Message:
        return "message";
    case ScriptedPrompts::Kind::Confirm:
        return "confirm";
    case ScriptedPrompts::Kind::OpenFile:
        return "open-file dialog";
    case ScriptedPrompts::Kind::SaveFile:
        return "save-file dialog";
    case ScriptedPrompts::Kind::Folder:
        return "folder picker";
    }
    return "prompt";
}

ScriptedPrompts::~ScriptedPrompts()
{
    if (!m_answers.empty())
        qWarning("ScriptedPrompts: %zu queued answer(s) never asked for, the first for a %s",
                 m_answers.size(), kindName(m_answers.front().kind));
}

void ScriptedPrompts::answerOpenFile(const QString& path)
{
    m_answers.push_back({Kind::OpenFile, path});
}

void ScriptedPrompts::answerSaveFile(const QString& path)
{
    m_answers.push_back({Kind::SaveFile, path});
}

void ScriptedPrompts::answerFolder(const QString& folder)
{
    m_answers.push_back({Kind::Folder, folder});
}

void ScriptedPrompts::answerConfirm(bool ok)
{
    m_answers.push_back({Kind::Confirm, {}, ok});
}

QStringList ScriptedPrompts::messages() const
{
    QStringList texts;
    for (const Record& r : m_records) {
        if (r.kind == Kind::Message)
            texts << r.text;
    }
    return texts;
}

const ScriptedPrompts::Record* ScriptedPrompts::lastMessage() const
{
    for (auto it = m_records.rbegin(); it != m_records.rend(); ++it) {
        if (it->kind == Kind::Message)
            return &*it;
    }
    return nullptr;
}

void ScriptedPrompts::clear()
{
    m_answers.clear();
    m_records.clear();
    m_unexpected.clear();
}

const ScriptedPrompts::Record& ScriptedPrompts::record(Record r)
{
    r.caption = messageCaption();
    m_records.push_back(std::move(r));
    if (onPrompt)
        onPrompt(m_records.back());
    return m_records.back();
}

bool ScriptedPrompts::take(Kind kind, Answer& answer)
{
    if (!m_answers.empty() && m_answers.front().kind == kind) {
        answer = m_answers.front();
        m_answers.pop_front();
        return true;
    }
    QString what = QStringLiteral("unexpected %1 (%2)")
                       .arg(QLatin1String(kindName(kind)), m_records.back().text);
    if (!m_answers.empty())
        what += QStringLiteral(": the next queued answer is for a %1")
                    .arg(QLatin1String(kindName(m_answers.front().kind)));
    else
        what += QStringLiteral(": no answer queued");
    m_unexpected << what;
    failTest(what);
    return false;
}

void ScriptedPrompts::message(QWidget* parent, const QString& text, Icon icon)
{
    record({Kind::Message, text, icon, {}, {}, parent});
}

bool ScriptedPrompts::confirm(QWidget* parent, const QString& text, Icon icon)
{
    record({Kind::Confirm, text, icon, {}, {}, parent});
    Answer answer;
    return take(Kind::Confirm, answer) && answer.ok;
}

QString ScriptedPrompts::openFile(QWidget* parent, const FileDialogOptions& options)
{
    record({Kind::OpenFile, options.initialName, Icon::Question, {}, options, parent});
    Answer answer;
    return take(Kind::OpenFile, answer) ? answer.text : QString();
}

QString ScriptedPrompts::saveFile(QWidget* parent, const FileDialogOptions& options)
{
    record({Kind::SaveFile, options.initialName, Icon::Question, {}, options, parent});
    Answer answer;
    return take(Kind::SaveFile, answer) ? answer.text : QString();
}

QString ScriptedPrompts::folder(QWidget* parent, const QString& title)
{
    record({Kind::Folder, title, Icon::Question, {}, {}, parent});
    Answer answer;
    return take(Kind::Folder, answer) ? answer.text : QString();
}
