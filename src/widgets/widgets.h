#pragma once

#include <QString>

#include <string>
#include <vector>

class QDialog;
class QFontMetrics;
class QLabel;
class QRect;
class QTreeView;
class QWidget;

// Texts in the files are single bytes; each byte is shown as the character of the same value,
// and a character beyond one byte goes back as '?'.
QString fromFileText(const std::string& bytes);
std::string toFileText(const QString& text);
// True when every character of text has a single-byte value, so toFileText keeps it as it is.
bool isFileText(const QString& text);

// Runs dialog modally over its owners only (the window that opened it and theirs), never over
// the whole program: the help viewer, which no window owns, stays usable beside it.
int runModal(QDialog& dialog);

// A path as the operator or a file dialog gave it, as the file functions take it (the file
// system's bytes), and back.
std::string toNativePath(const QString& path);
QString fromNativePath(const std::string& path);

// The centred, sunken field labels of the FTP groups.
QLabel* sunkenLabel(const char* objectName, const QString& text, const QRect& geometry,
                    QWidget* parent);

// count copies of the widest of characters in metrics' font: the longest text a column of
// such characters can have to show.
QString widestText(const QFontMetrics& metrics, const QString& characters, int count);
// The widest dotted address (15 characters) and row number (3 digits) in metrics' font.
QString widestAddressText(const QFontMetrics& metrics);
QString widestRowNumber(const QFontMetrics& metrics);

// A list column whose width was given in pixels for the layouts' own font.
struct ScaledColumn {
    int column = 0;
    int originalPixels = 0;
    QString longestText;    // the longest text it has to show uncut
    bool withIcon = false;  // drawn after the list's icon
};

// Sets the columns to their pixel widths scaled with the list's font like a dialog unit, each
// widened where that would still cut its longest text. The list's last shown column stretches
// over the rest; should that rest, with a vertical scroll bar shown, be too narrow for
// lastText, the other columns give up what they hold beyond their own longest text.
void setScaledColumnWidths(QTreeView* list, const std::vector<ScaledColumn>& columns,
                           const QString& lastText = {});
