#pragma once

#include <QString>

class Prompts;
class QDialog;
class QWidget;

inline constexpr int HelpTopic = 100;

// The help file beside the executable: its name without extension, then ".html".
QString defaultHelpFile();

// Opens the program's one help viewer at topic 100, or brings it up again there when it is
// already open; "Failed to launch help." (over parent) when the file cannot be read.
void showHelp(QWidget* parent, Prompts& prompts, const QString& helpFile);
// The help viewer while it is open, else nullptr.
QDialog* helpViewer();
// Closes the help viewer, as the program ends.
void closeHelp();
