#include "widgets/widgets.h"

#include "widgets/dialogunits.h"

#include <QDialog>
#include <QFontMetrics>
#include <QFile>
#include <QLabel>
#include <QStyle>
#include <QStringList>
#include <QStyleOptionViewItem>
#include <QTreeView>

#include <algorithm>

QString fromFileText(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toFileText(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

bool isFileText(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

int runModal(QDialog& dialog)
{
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

std::string toNativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString fromNativePath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QLabel* sunkenLabel(const char* objectName, const QString& text, const QRect& geometry,
                    QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

QString widestText(const QFontMetrics& metrics, const QString& characters, int count)
{
    QChar widest = characters.isEmpty() ? QLatin1Char(' ') : characters.front();
    for (const QChar c : characters) {
        if (metrics.horizontalAdvance(c) > metrics.horizontalAdvance(widest))
            widest = c;
    }
    return QString(count, widest);
}

QString widestAddressText(const QFontMetrics& metrics)
{
    const QString part = widestText(metrics, QStringLiteral("0123456789"), 3);
    return QStringList{part, part, part, part}.join(QLatin1Char('.'));
}

QString widestRowNumber(const QFontMetrics& metrics)
{
    return widestText(metrics, QStringLiteral("0123456789"), 3);
}

namespace {

// What the list's own items ask for to show text uncut: the style's margins around the text
// and, before it, the icon with its margins.
int neededWidth(const QTreeView* list, const QString& text, bool withIcon)
{
    if (text.isEmpty())
        return 0;
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.text = text;
    option.features = QStyleOptionViewItem::HasDisplay;
    option.displayAlignment = Qt::AlignCenter;
    if (withIcon) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = list->iconSize();
    }
    return list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list).width();
}

}  // namespace

void setScaledColumnWidths(QTreeView* list, const std::vector<ScaledColumn>& columns,
                           const QString& lastText)
{
    const DialogUnits units(list->font());
    std::vector<int> needed;
    std::vector<int> widths;
    int total = 0;
    for (const ScaledColumn& entry : columns) {
        needed.push_back(neededWidth(list, entry.longestText, entry.withIcon));
        widths.push_back(std::max(units.scaledWidth(entry.originalPixels), needed.back()));
        total += widths.back();
    }
    const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    const int rest = list->contentsRect().width() - scrollBar - total;
    int missing = neededWidth(list, lastText, false) - rest;
    for (std::size_t i = 0; i < widths.size() && missing > 0; ++i) {
        const int spare = std::min(missing, widths[i] - needed[i]);
        widths[i] -= spare;
        missing -= spare;
    }
    for (std::size_t i = 0; i < columns.size(); ++i)
        list->setColumnWidth(columns[i].column, widths[i]);
}
