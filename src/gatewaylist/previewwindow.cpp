#include "gatewaylist/previewwindow.h"

#include "base/atomicfile.h"
#include "widgets/prompts.h"
#include "widgets/widgets.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <ostream>

PreviewWindow::PreviewWindow(Prompts& prompts, const QString& text, QWidget* parent)
    : QDialog(parent), m_prompts(prompts)
{
    setObjectName(QStringLiteral("previewWindow"));
    setWindowTitle(QStringLiteral("Preview selection"));
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("previewText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setPlainText(text);

    auto* saveButton = new QPushButton(QStringLiteral("&Save..."), this);
    saveButton->setObjectName(QStringLiteral("previewSaveButton"));
    saveButton->setAutoDefault(false);
    connect(saveButton, &QPushButton::clicked, this, &PreviewWindow::save);
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("previewCloseButton"));
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    resize(640, 420);
}

QString PreviewWindow::text() const
{
    return m_text->toPlainText();
}

void PreviewWindow::save()
{
    const QString path = m_prompts.saveFile(
        this, {QStringLiteral("preview.txt"), QStringLiteral("Text (*.txt)"),
               QStringLiteral("txt")});
    if (path.isEmpty())
        return;
    const std::string bytes = text().toStdString() + "\n";
    const FileError error = writeFileAtomically(toNativePath(path), [&](std::ostream& out) {
        out << bytes;
        return true;
    });
    if (error != FileError::None)
        m_prompts.message(this, QString::fromStdString(fileErrorText(error, toNativePath(path))),
                          Prompts::Icon::Stop);
}

std::string previewText(const UpgradeOptions& options, const GatewayList& list,
                        const std::set<std::size_t>& selected, const std::vector<RowPlan>& plans)
{
    std::string text = std::string(options.fullFirmware ? "Full" : "Code")
                       + " firmware upgrade from " + options.sourcePath + "\n";
    std::set<std::size_t> reached;
    for (const RowPlan& planned : plans) {
        reached.insert(planned.row);
        text += std::to_string(planned.row + 1) + " " + planned.gateway.ipText + " "
                + firmwarePlanStatus(planned.plan) + "\n" + firmwarePlanText(planned.plan);
    }
    std::string notReached;
    for (std::size_t row : selected) {
        if (!reached.contains(row) && row < list.size())
            notReached += std::to_string(row + 1) + " " + list.record(row).ipText + " NotStarted\n";
    }
    if (!notReached.empty())
        text += "Stopped: these rows were not reached\n" + notReached;
    return text;
}
