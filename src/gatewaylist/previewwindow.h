#pragma once

#include "gatewaylist/batch.h"

#include <QDialog>

#include <set>
#include <string>
#include <vector>

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

// The preview of a firmware upgrade of the selected rows: a heading, each plan with its status,
// and, when a stop left some rows out, which ones.
std::string previewText(const UpgradeOptions& options, const GatewayList& list,
                        const std::set<std::size_t>& selected, const std::vector<RowPlan>& plans);
