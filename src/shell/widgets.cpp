#include "shell/widgets.h"

#include "shell/dialogunits.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QStyle>
#include <QStringList>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

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

int runModal(QDialog& dialog)
{
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
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

void setScaledColumnWidth(QTreeWidget* list, int column, int originalPixels,
                          const QString& longestText, bool withIcon)
{
    // What the list's own items ask for to show the text uncut: the style's margins around
    // the text and, before it, the icon with its margins.
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.text = longestText;
    option.features = QStyleOptionViewItem::HasDisplay;
    option.displayAlignment = Qt::AlignCenter;
    if (withIcon) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = list->iconSize();
    }
    const int needed =
        list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list).width();
    const DialogUnits units(list->font());
    list->setColumnWidth(column, std::max(units.scaledWidth(originalPixels), needed));
}
