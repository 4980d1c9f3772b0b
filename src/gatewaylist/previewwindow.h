#pragma once

#include <QDialog>

class Prompts;
class QPlainTextEdit;

// Shows a firmware push's preview, read-only, and saves it as a text file.
class PreviewWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewWindow)

public:
    PreviewWindow(Prompts& prompts, const QString& text, QWidget* parent = nullptr);

    QString text() const;
    // Asks for a file and writes the text into it, complete or not at all.
    void save();

private:
    Prompts& m_prompts;
    QPlainTextEdit* m_text = nullptr;
};
