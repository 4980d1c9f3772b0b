#pragma once

#include <QString>

#include <string>

class QLabel;
class QRect;
class QWidget;

// Texts in the files are single bytes; each byte is shown as the character of the same value,
// and a character beyond one byte goes back as '?'.
QString fromFileText(const std::string& bytes);
std::string toFileText(const QString& text);

// A path as the operator or a file dialog gave it, as the file functions take it (the file
// system's bytes), and back.
std::string toNativePath(const QString& path);
QString fromNativePath(const std::string& path);

// The centred, sunken field labels of the FTP groups.
QLabel* sunkenLabel(const char* objectName, const QString& text, const QRect& geometry,
                    QWidget* parent);
