#include "widgets/widgets.h"

#include <QFile>
#include <QLabel>

QString fromFileText(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toFileText(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
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
